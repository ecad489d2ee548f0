#include "Upgrade.h"

#include "ExecutablePath.h"
#include "Files.h"
#include "Functions.h"
#include "SafeFile.h"

#include <QFile>
#include <QFileInfo>

#include <limits>

#include <sys/stat.h>
#include <unistd.h>

namespace {
QByteArray Native(const QString& Path) { return QFile::encodeName(Path); }

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
    if (::lstat(Native(Source).constData(), &st) != 0)
        return false;
    if (S_ISLNK(st.st_mode)) {
        const QString target = QFileInfo(Source).canonicalFilePath();
        if (target.isEmpty() || !IsInside(target, QFileInfo(ExecutableFolder()).canonicalFilePath()))
            return false;
    }
    return ::stat(Native(Source).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(Native(Source).constData(), R_OK) == 0;
}
} // namespace

std::int32_t TUpgrade::GetBuildNumber(const QString& Version) {
    const qsizetype dot = Version.lastIndexOf(u'.');
    if (dot < 0)
        return -1;
    qsizetype i = dot + 1;
    while (i < Version.size() && (Version.at(i) == u' ' || Version.at(i) == u'\t'))
        ++i;
    bool negative = false;
    if (i < Version.size() && (Version.at(i) == u'+' || Version.at(i) == u'-')) {
        negative = Version.at(i) == u'-';
        ++i;
    }
    std::int64_t value = 0;
    constexpr std::int64_t Limit = std::numeric_limits<std::int32_t>::max();
    for (; i < Version.size() && Version.at(i) >= u'0' && Version.at(i) <= u'9'; ++i)
        value = std::min(value * 10 + (Version.at(i).unicode() - u'0'), Limit + 1);
    // A number beyond 32 bits is as high as a build can be.
    if (negative)
        return static_cast<std::int32_t>(-std::min(value, Limit + 1));
    return static_cast<std::int32_t>(std::min(value, Limit));
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
    if (::stat(Native(oldFile).constData(), &st) == 0 && S_ISREG(st.st_mode))
        RenameNoReplace(oldFile, newFile);
}

void TUpgrade::MigrateExeFolderFiles(const QString& DataFolder) {
    for (const char* name : {"version", "upd", "notip"}) {
        const QString path = JoinPath(ExecutableFolder(), QString::fromLatin1(name));
        struct stat st {};
        if (::lstat(Native(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode))
            ::unlink(Native(path).constData());
    }
    MoveToDataFolder(DataFolder, QStringLiteral("tasks.db"));
}

void TUpgrade::MigrateSettingsFile(const QString& DataFolder) { MoveToDataFolder(DataFolder, QStringLiteral("settings.ini")); }

bool TUpgrade::MoveToDataFolder(const QString& DataFolder, const QString& FileName) {
    const QString folder = ExecutableFolder();
    const QString source = JoinPath(folder, FileName);
    if (!IsMovableSource(source))
        return false;
    // A folder we may not change (a system-wide install) keeps its files; copying them
    // without deleting the source would leave two lists that drift apart.
    if (::access(Native(folder).constData(), W_OK | X_OK) != 0)
        return false;
    CreateFolderPrivate(DataFolder);
    const QString target = JoinPath(DataFolder, FileName);
    if (!CopyFileNoReplace(source, target))
        return false;
    if (::unlink(Native(source).constData()) != 0) {
        ::unlink(Native(target).constData());
        return false;
    }
    return true;
}
