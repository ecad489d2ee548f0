#pragma once

#include <QByteArray>
#include <QString>

// File operations that never leave a half-written file where the program would read it.

// Replaces Path by Bytes through a temporary file in the same folder (Path + ".tmp": write,
// fsync, rename), keeping the old file's permissions; a link at Path is followed, so the
// file it points to is replaced. Raises EFileError naming Path: "Cannot create file \"%s\". %s"
// or "Stream write error"; the temporary file is removed then and Path is unchanged.
void ReplaceFileAtomically(const QString& Path, const QByteArray& Bytes);

// Copies Bytes to Path + ".bak", or ".bak.1", ".bak.2", ... when that exists: an existing
// copy is never replaced. Returns the copy's path, empty when no copy could be made.
QString SetFileAside(const QString& Path, const QByteArray& Bytes);

// Copies Source into Target, which must not exist: through a temporary file in Target's
// folder, fsync, then linked into place without overwriting. False on any failure, with
// nothing left behind and Target untouched.
bool CopyFileNoReplace(const QString& Source, const QString& Target);

// Renames Source to Target unless Target exists (never overwrites).
bool RenameNoReplace(const QString& Source, const QString& Target);
