#pragma once

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

// Folder + "/" + Name, without doubling the "/" of the root.
QString JoinPath(const QString& Folder, const QString& Name);

// Creates Folder and its missing parents with mode 0700; false when it is not a folder afterwards.
bool CreateFolderPrivate(const QString& Folder);

// The process-wide paths, created on the first call from ExecutableFolder() and AppDataFolder().
TFiles& DataFiles();
// The next DataFiles() call creates the object anew.
void ResetDataFilesForTesting();

// Writes Text as the whole file, UTF-8 without a byte-order mark or added line break.
// Raises EAppError for a bad path and EFileError "Cannot create file \"%s\". %s" or
// "Stream write error".
void WriteFileText(const QString& Path, const QString& Text);

// The whole file as text, decoded by its byte-order mark, else in the ANSI code page.
// Raises EAppError for a bad or missing path, EFileError "Cannot open file \"%s\". %s".
QString ReadFileText(const QString& Path);

// The whole file's bytes. Raises EFileError "Cannot open file \"%s\". %s" or "Stream read error".
QByteArray ReadFileBytes(const QString& Path);

// True for an existing file that is not a folder; links are followed.
bool FileExists(const QString& Path);

// Text of Bytes by their leading byte-order mark (UTF-8, UTF-16 LE, UTF-16 BE), else in the
// ANSI code page. Malformed sequences become U+FFFD.
QString DecodeFileText(const QByteArray& Bytes);

// The system's text for an errno value.
QString SystemErrorText(int Error);
