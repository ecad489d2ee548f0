// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Full path of the running executable (from /proc/self/exe, links resolved).
QString ExecutableFilePath();

// Its folder, without a trailing "/" (the root keeps its "/").
QString ExecutableFolder();

// Its file name without the extension (everything from the last "." on); a name without
// "." is taken whole.
QString ExecutableBaseName();

// Tests point the executable at another path; an empty path restores the real one.
void SetExecutableFilePathForTesting(const QString& Path);
