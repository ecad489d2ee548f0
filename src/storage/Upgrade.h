// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class TFiles;

#include <cstdint>

// Records the running version in the data folder's "version" file and, when the build
// number went up, moves what older builds left beside the executable into the data folder.
class TUpgrade final {
public:
    TUpgrade() = delete;

    // The whole upgrade, once per run before anything reads the data folder. Raises the
    // errors of ReadFileText / WriteFileText for the "version" file; the migrations never raise.
    static void Upgrade(const TFiles& Files);

    // The number after the last ".": leading blanks and a sign allowed, then the leading
    // digits (0 when there are none); -1 for a text without ".".
    static std::int32_t GetBuildNumber(const QString& Version);

    // Builds below 19: "<executable>.txt" beside the executable becomes "tasks.db" there.
    static void MigrateTxtTasksFile();
    // Builds below 20: drops "version", "upd", "notip" beside the executable, moves "tasks.db".
    static void MigrateExeFolderFiles(const QString& DataFolder);
    // Builds below 22: moves "settings.ini".
    static void MigrateSettingsFile(const QString& DataFolder);

    // Moves FileName from the executable's folder into DataFolder without overwriting.
    // Skipped silently for folders, unreadable files, links that lead out of the executable's
    // folder and sources that cannot be deleted. True when the file was moved.
    static bool MoveToDataFolder(const QString& DataFolder, const QString& FileName);

    static constexpr const char* DefaultStoredVersion = "2.4.0.18";
};
