// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// The system's ANSI code page. Here it is UTF-8, so every character survives a save.
constexpr bool AnsiCodePageIsUtf8 = true;

// Text in the ANSI code page (UTF-8).
QByteArray EncodeAnsi(const QString& Text);

// Bytes without a byte-order mark read in the ANSI code page. Files written on a Windows
// machine are usually Windows-1252, which is never mistaken for UTF-8 in practice: bytes
// that are not valid UTF-8 are decoded as Windows-1252 rather than rejected.
QString DecodeAnsi(const QByteArray& Bytes);

// True when Bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(const QByteArray& Bytes);

// Windows-1252 to Unicode; the five unassigned bytes map to the C1 control of the same code.
QString DecodeWindows1252(const QByteArray& Bytes);
