// SPDX-License-Identifier: MIT
#pragma once

#include "SafeFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

class TTaskTracker;

// tasks.db: three lines per task (caption, time text, ElapsedMs in decimal), each line
// ending in CR LF, UTF-8 with a byte-order mark (our ANSI code page is UTF-8), no header.

// What the start-up load left of the stored list; decides how a save treats the file at Path.
enum class TStoredTasks {
    Loaded,    // loaded whole (or there was none): a save replaces it, following a link
    KeptAside, // not loaded, but a copy is kept aside: a save replaces it, a link included
    Unread,    // not loaded and not copied: a save first renames it to Path + ".unread[.N]"
};

// Writes every row of the list to Path, replacing the file atomically: a failed save leaves
// the previous file as it was. Raises EFileError "Cannot create file \"%s\". %s" or
// "Stream write error \"%s\". %s".
void SaveTasks(const TTaskTracker& Tracker, const QString& Path);
// The same by the rule of Stored, which becomes KeptAside once an unread file was moved aside.
void SaveTasks(const TTaskTracker& Tracker, const QString& Path, TStoredTasks& Stored);
// The same for bytes built beforehand by TaskFileBytes (for a save off the list's thread).
void SaveTaskFileBytes(const QByteArray& Bytes, const QString& Path, TStoredTasks& Stored);
// The first half of those saves, for a writer that replaces the file later: moves an unread
// file aside (raising as SaveTasks) and returns how the file is to be replaced.
TLinkRule PrepareTaskFileSave(const QString& Path, TStoredTasks& Stored);

// Appends the rows stored in Path. Only a regular file of at most MaxTaskFileBytes is read.
// A malformed file raises "List index out of bounds (2)", "'%s' is not a valid integer
// value", an encoding or NUL error naming the file; the rows before the fault stay in the
// list and the whole file is first copied aside to tasks.db.bak (or .bak.1, .bak.2, ... : an
// existing copy is never replaced). Stored, when given, tells what is left for the next save.
void LoadTasks(TTaskTracker& Tracker, const QString& Path, TStoredTasks* Stored = nullptr);

// LoadTasks without the file: Bytes as the content of Path (named in the errors), nothing
// set aside.
void LoadTasksFromBytes(TTaskTracker& Tracker, const QByteArray& Bytes, const QString& Path);

// The copies of Path that failed loads left behind (Path + ".bak[.N]", ".unread[.N]"), by name.
QStringList SetAsideTaskLists(const QString& Path);

// The exact bytes SaveTasks writes.
QByteArray TaskFileBytes(const TTaskTracker& Tracker);

// The lines of a task file's bytes: decoded by byte-order mark (UTF-8 when none and valid,
// else Windows-1252), split at CR LF, lone CR and lone LF, ended by a NUL. NulInsideRows
// tells a NUL that is more than padding after the last line break; the line it cut is
// dropped then. Raises EAppError naming Path when the bytes do not match their byte-order mark.
QStringList TaskFileLines(const QByteArray& Bytes, const QString& Path, bool* NulInsideRows = nullptr);

// Splits decoded text into lines by the task file's rules.
QStringList SplitTaskFileLines(QStringView Text, bool* CutAtNul = nullptr);

// A time line: optional leading spaces and "+", decimal digits (or a "$"/"0x" hexadecimal
// pattern of up to eight digits), 0 ... 4294967295, nothing after.
bool TryStrToUInt32(QStringView Text, std::uint32_t& Value);
