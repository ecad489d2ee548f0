// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>

// What the command-line paths print, before any window exists: to a terminal, a script or a bar.
void Write(std::FILE* Stream, const QByteArray& Bytes);
// "tallyvox: <Text>" on stderr; returns Code, the exit code that goes with it.
int Fail(const QString& Text, int Code);
// A mistake in the options: the message, a pointer to --help, and exit code 2.
int FailUsage(const QString& Text);
