// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// File operations that never leave a half-written file where the program would read it.

// What replacing a file does with a link in its place.
enum class TLinkRule {
    Follow,  // the file the link points to is replaced; the user's link stays
    Replace, // the link itself is replaced by the new file
};

// Replaces Path by Bytes through a fresh temporary file in the same folder (write, fsync,
// close, rename), keeping the old file's permissions (a save that cannot keep them fails). A folder, a
// device, a FIFO or a read-only file at Path is never replaced. Raises EFileError "Cannot create file \"%s\".
// %s" or "Stream write error \"%s\". %s" with the system's reason; Path is unchanged then and the temporary
// file removed.
void ReplaceFileAtomically(const QString& Path, const QByteArray& Bytes, TLinkRule Links = TLinkRule::Follow);

// Makes the last replacement of Path survive a power cut: syncs the folder that holds the
// file replaced (the target of a link, with Follow). Best effort, like the rename it secures.
void SyncFolderOf(const QString& Path, TLinkRule Links = TLinkRule::Follow);

// Removes the temporary files that saves of Path killed before their rename left behind:
// only names exactly as the save makes them (Path + ".tmp-" and its random number, and an
// earlier build's Path + ".tmp"), in the same letter case, and only regular files of this user.
void RemoveLeftoverTemporaries(const QString& Path);

// Raises the write error above for Path and an errno value.
[[noreturn]] void RaiseWriteError(const QString& Path, int Error);

// Makes a write past the file-size limit fail with EFBIG instead of ending the process, so
// that it takes the way of any failed save. Called once at start.
void IgnoreFileSizeLimitSignal();

// Copies Bytes to Path + ".bak", or ".bak.1", ".bak.2", ... when that exists: an existing
// copy is never replaced. Returns the copy's path, empty when no copy could be made.
QString SetFileAside(const QString& Path, const QByteArray& Bytes);

// Copies Source into Target, which must not exist: through a temporary file in Target's
// folder, fsync, then linked into place without overwriting. False on any failure, with
// nothing left behind and Target untouched.
bool CopyFileNoReplace(const QString& Source, const QString& Target);

// Renames Source to Target unless Target exists (never overwrites).
bool RenameNoReplace(const QString& Source, const QString& Target);
