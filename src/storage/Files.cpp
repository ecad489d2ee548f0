// SPDX-License-Identifier: MIT
#include "Files.h"

#include "AppData.h"
#include "CodePage.h"
#include "Errors.h"
#include "ExecutablePath.h"
#include "FileHandle.h"
#include "Functions.h"
#include "Paths.h"
#include "SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr qsizetype MaxPathLength = 248;

bool IsDriveLetter(QChar c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// The checks a path passes before any file operation, in their fixed order.
void CheckPath(const QString& Path) {
    if (Path.size() >= MaxPathLength)
        throw EAppError(QStringLiteral("The specified path is too long"));
    for (qsizetype i = 0; i < Path.size(); ++i) {
        if (Path.at(i) == u':' && !(i == 1 && IsDriveLetter(Path.at(0))))
            throw EAppError(QStringLiteral("The path format is not supported"));
    }
    bool blank = true;
    for (QChar c : Path) {
        // Control characters (NUL included) are never part of a sensible path.
        if (c.unicode() < 32)
            throw EAppError(QStringLiteral("Invalid characters in path"));
        if (c != u' ')
            blank = false;
    }
    if (blank)
        throw EAppError(QStringLiteral("Invalid characters in path"));
    if (!QFileInfo(FolderOf(Path)).isDir())
        throw EAppError(QStringLiteral("The specified path was not found"));
}

} // namespace

QString ChooseDataFolder(const QString& ExecutableFolder, const QString& AppData) {
    const QString portable = JoinPath(ExecutableFolder, QStringLiteral("AppData"));
    const QString user = JoinPath(AppData, QStringLiteral("Tallyvox"));
    return IfThenStr(QFileInfo(portable).isDir(), portable, user);
}

bool CreateFolderPrivate(const QString& Folder) {
    if (QFileInfo(Folder).isDir())
        return true;
    const QString parent = FolderOf(Folder);
    if (parent != Folder && !parent.isEmpty() && parent != QStringLiteral("."))
        CreateFolderPrivate(parent);
    ::mkdir(NativePath(Folder).constData(), 0700);
    return QFileInfo(Folder).isDir();
}

TFiles::TFiles(const QString& ExecutableFolder, const QString& AppData)
    : FDataFolder(ChooseDataFolder(ExecutableFolder, AppData)),
      FVersion(JoinPath(FDataFolder, QStringLiteral("version"))),
      FUpd(JoinPath(FDataFolder, QStringLiteral("upd"))),
      FTasksDb(JoinPath(FDataFolder, QStringLiteral("tasks.db"))),
      FNoTip(JoinPath(FDataFolder, QStringLiteral("notip"))),
      FSettings(JoinPath(FDataFolder, QStringLiteral("settings.ini"))) {
    CreateFolderPrivate(FDataFolder);
}

TFiles& DataFiles() {
    static TFiles instance(ExecutableFolder(), AppDataFolder());
    return instance;
}

void WriteFileText(const QString& Path, const QString& Text) {
    CheckPath(Path);
    // Atomic like every other file: a failed write of "version" must never leave it empty,
    // which would count as a data folder of an old build and run the migrations again.
    ReplaceFileAtomically(Path, Text.toUtf8(), TLinkRule::Replace);
}

QString ReadFileText(const QString& Path) {
    CheckPath(Path);
    if (!FileExists(Path))
        throw EAppError(QStringLiteral("The specified file was not found"));
    return DecodeFileText(ReadFileBytes(Path, MaxMarkerFileBytes));
}
