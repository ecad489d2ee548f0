// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// A path as the system calls take it (the file-name encoding of the locale).
QByteArray NativePath(const QString& Path);

// Folder + "/" + Name, without doubling the "/" of the root.
QString JoinPath(const QString& Folder, const QString& Name);

// The folder part of Path: "." for a bare name, "/" for a name in the root.
QString FolderOf(const QString& Path);
