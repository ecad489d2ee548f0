// SPDX-License-Identifier: MIT
#include "Upgrade.h"

#include "ExecutablePath.h"
#include "Files.h"
#include "Functions.h"
#include "IntegerText.h"
#include "Paths.h"
#include "SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// When the data folder is the executable's folder itself, the old files are the current ones.
bool DataFolderIsExecutableFolder(const QString& DataFolder) {
    const QString data = QFileInfo(DataFolder).canonicalFilePath();
    return !data.isEmpty() && data == QFileInfo(ExecutableFolder()).canonicalFilePath();
}

bool IsInside(const QString& Path, const QString& Folder) {
    return !Folder.isEmpty() && (Folder == QStringLiteral("/") || Path.startsWith(Folder + u'/'));
}

// The file that a move may read: a regular file, reached through links only when they stay
// within the executable's folder (a link elsewhere must never pull foreign data in).
bool IsMovableSource(const QString& Source) {
    struct stat st {};
    if (::lstat(NativePath(Source).constData(), &st) != 0)
        return false;
    if (S_ISLNK(st.st_mode)) {
        const QString target = QFileInfo(Source).canonicalFilePath();
        if (target.isEmpty() || !IsInside(target, QFileInfo(ExecutableFolder()).canonicalFilePath()))
            return false;
    }
    return ::stat(NativePath(Source).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(NativePath(Source).constData(), R_OK) == 0;
}
} // namespace

std::int32_t TUpgrade::GetBuildNumber(const QString& Version) {
    const qsizetype dot = Version.lastIndexOf(u'.');
    if (dot < 0)
        return -1;
    // The number at the start of the last part: blanks, a sign, digits; what follows is ignored.
    qsizetype i = dot + 1;
    while (i < Version.size() && (Version.at(i) == u' ' || Version.at(i) == u'\t'))
        ++i;
    const qsizetype start = i;
    const bool negative = i < Version.size() && Version.at(i) == u'-';
    if (i < Version.size() && (Version.at(i) == u'+' || Version.at(i) == u'-'))
        ++i;
    const qsizetype digits = i;
    while (i < Version.size() && Version.at(i) >= u'0' && Version.at(i) <= u'9')
        ++i;
    if (i == digits)
        return 0;
    constexpr std::uint64_t Limit = std::numeric_limits<std::int32_t>::max();
    const std::optional<TIntegerText> number = ScanIntegerText(Version.mid(start, i - start), 0, Limit + 1);
    // A number beyond 32 bits is as high as a build can be.
    const std::uint64_t magnitude = number ? number->Magnitude : Limit + 1;
    if (negative)
        return static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude));
    return static_cast<std::int32_t>(std::min(magnitude, Limit));
}

void TUpgrade::Upgrade(const TFiles& Files) {
    const QString versionFile = Files.Version();
    const QString running = GetFileVersionString();
    QString stored = QString::fromLatin1(DefaultStoredVersion);
    if (FileExists(versionFile))
        stored = TrimControl(ReadFileText(versionFile));
    if (stored != running)
        WriteFileText(versionFile, running);
    const std::int32_t runningBuild = GetBuildNumber(running);
    const std::int32_t storedBuild = GetBuildNumber(stored);
    if (storedBuild >= runningBuild || DataFolderIsExecutableFolder(Files.DataFolder()))
        return;
    if (storedBuild < 19)
        MigrateTxtTasksFile();
    if (storedBuild < 20)
        MigrateExeFolderFiles(Files.DataFolder());
    if (storedBuild < 22)
        MigrateSettingsFile(Files.DataFolder());
}

void TUpgrade::MigrateTxtTasksFile() {
    const QString oldFile = ExecutableFilePath() + QStringLiteral(".txt");
    const QString newFile = JoinPath(ExecutableFolder(), QStringLiteral("tasks.db"));
    struct stat st {};
    if (::stat(NativePath(oldFile).constData(), &st) == 0 && S_ISREG(st.st_mode))
        RenameNoReplace(oldFile, newFile);
}

void TUpgrade::MigrateExeFolderFiles(const QString& DataFolder) {
    for (const char* name : {"version", "upd", "notip"}) {
        const QString path = JoinPath(ExecutableFolder(), QString::fromLatin1(name));
        struct stat st {};
        if (::lstat(NativePath(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode))
            ::unlink(NativePath(path).constData());
    }
    MoveToDataFolder(DataFolder, QStringLiteral("tasks.db"));
}

void TUpgrade::MigrateSettingsFile(const QString& DataFolder) {
    MoveToDataFolder(DataFolder, QStringLiteral("settings.ini"));
}

bool TUpgrade::MoveToDataFolder(const QString& DataFolder, const QString& FileName) {
    const QString folder = ExecutableFolder();
    const QString source = JoinPath(folder, FileName);
    if (!IsMovableSource(source))
        return false;
    // A folder we may not change (a system-wide install) keeps its files; copying them
    // without deleting the source would leave two lists that drift apart.
    if (::access(NativePath(folder).constData(), W_OK | X_OK) != 0)
        return false;
    CreateFolderPrivate(DataFolder);
    const QString target = JoinPath(DataFolder, FileName);
    if (!CopyFileNoReplace(source, target))
        return false;
    if (::unlink(NativePath(source).constData()) != 0) {
        ::unlink(NativePath(target).constData());
        return false;
    }
    return true;
}
