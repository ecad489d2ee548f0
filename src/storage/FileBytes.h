// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// Whole-file reads of the data folder's files.

// Reads are capped far above any real file: a link to /dev/zero or a runaway file must not
// eat the memory.
constexpr qint64 MaxTaskFileBytes = 64 * 1024 * 1024;
constexpr qint64 MaxMarkerFileBytes = 4096;

// The whole file's bytes; only a regular file of at most MaxBytes is read, and a FIFO never
// blocks. Raises EFileError "Cannot open file \"%s\". %s" (with the system's reason, or
// "It is not a regular file"), "Cannot read file \"%s\". It is larger than %d bytes" or
// "Stream read error \"%s\". %s".
QByteArray ReadFileBytes(const QString& Path, qint64 MaxBytes = MaxTaskFileBytes);

// True for an existing file that is not a folder; links are followed.
bool FileExists(const QString& Path);

// Text of Bytes by their leading byte-order mark (UTF-8, UTF-16 LE, UTF-16 BE), else in the
// ANSI code page. Malformed sequences become U+FFFD.
QString DecodeFileText(const QByteArray& Bytes);
