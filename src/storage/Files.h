// SPDX-License-Identifier: MIT
#pragma once

#include "FileBytes.h"

#include <QByteArray>
#include <QString>

// The full paths of the program's five files, fixed when the object is created.
class TFiles final {
public:
    // Applies the data-folder rule and creates the folder (mode 0700); a failure to create
    // it is silent and shows at the first file operation in it.
    TFiles(const QString& ExecutableFolder, const QString& AppData);

    const QString& Version() const { return FVersion; }
    const QString& Upd() const { return FUpd; }
    const QString& TasksDb() const { return FTasksDb; }
    const QString& NoTip() const { return FNoTip; }
    const QString& Settings() const { return FSettings; }
    QString DataFolder() const { return FDataFolder; }

private:
    QString FDataFolder;
    QString FVersion;
    QString FUpd;
    QString FTasksDb;
    QString FNoTip;
    QString FSettings;
};

// "AppData" beside the executable when that is a folder (links followed), else
// AppData + "/Tallyvox".
QString ChooseDataFolder(const QString& ExecutableFolder, const QString& AppData);

// Creates Folder and its missing parents with mode 0700; false when it is not a folder afterwards.
bool CreateFolderPrivate(const QString& Folder);

// The process-wide paths, created on the first call from ExecutableFolder() and AppDataFolder().
TFiles& DataFiles();

// Writes Text as the whole file, UTF-8 without a byte-order mark or added line break, replaced
// atomically; a link at Path is replaced, not followed. Raises EAppError for a bad path and
// the EFileError texts of ReplaceFileAtomically.
void WriteFileText(const QString& Path, const QString& Text);

// The whole marker file as text, decoded by its byte-order mark, else in the ANSI code page.
// Raises EAppError for a bad or missing path and the EFileError texts of ReadFileBytes.
QString ReadFileText(const QString& Path);
