// SPDX-License-Identifier: MIT
#include "SafeFile.h"

#include "Errors.h"
#include "FileHandle.h"
#include "Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Makes a completed rename survive a crash; best effort, a failure changes nothing visible.
void SyncFolder(const QString& Folder) {
    TFileHandle folder(::open(NativePath(Folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() >= 0)
        ::fsync(folder.Get());
}

// The file a link at Path points to, so that replacing keeps the user's link.
QString ResolvedTarget(const QString& Path) {
    struct stat st {};
    if (::lstat(NativePath(Path).constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        const QString target = QFileInfo(Path).canonicalFilePath();
        if (!target.isEmpty())
            return target;
    }
    return Path;
}

[[noreturn]] void RaiseCreateError(const QString& Path, const QString& Reason) {
    throw EFileError(QStringLiteral("Cannot create file \"%1\". %2").arg(Path, Reason));
}

[[noreturn]] void RaiseCreateError(const QString& Path, int Error) {
    RaiseCreateError(Path, SystemErrorText(Error));
}

const QString TemporaryInfix = QStringLiteral(".tmp-");
constexpr quint64 TemporaryNumberMask = 0xFFFFFFFFFFull;
constexpr int TemporaryNumberBase = 36;

// A fresh name beside Target for each save, created exclusively: a leftover of a killed save,
// or a link or folder planted under a fixed name, can neither block the save nor redirect it.
int CreateTemporary(const QString& Target, QByteArray& Name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        Name = NativePath(Target + TemporaryInfix +
                          QString::number(QRandomGenerator::global()->generate64() & TemporaryNumberMask,
                                          TemporaryNumberBase));
        const int fd = ::open(Name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

bool CopyFd(int From, int To) {
    return ReadFully(From, [To](const char* Data, std::size_t Size) { return WriteFully(To, Data, Size); });
}
} // namespace

void ReplaceFileAtomically(const QString& Path, const QByteArray& Bytes, TLinkRule Links) {
    if (Path.isEmpty())
        RaiseCreateError(Path, ENOENT);
    const QString target = Links == TLinkRule::Follow ? ResolvedTarget(Path) : Path;
    struct stat old {};
    const bool exists = ::lstat(NativePath(target).constData(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        RaiseCreateError(Path, EISDIR);
    // A device or a FIFO is never swapped for a file, and a read-only file is refused as a
    // read-only settings file is: the user meant it to stay as it is.
    if (exists && !S_ISREG(old.st_mode) && !S_ISLNK(old.st_mode))
        RaiseCreateError(Path, QStringLiteral("It is not a regular file"));
    if (exists && S_ISREG(old.st_mode) && (old.st_mode & 0222) == 0)
        RaiseCreateError(Path, EACCES);
    QByteArray temp;
    TFileHandle file(CreateTemporary(target, temp));
    if (file.Get() < 0)
        RaiseCreateError(Path, errno);
    // A list kept private must not become readable by others through a save.
    const bool kept = !exists || !S_ISREG(old.st_mode) || ::fchmod(file.Get(), old.st_mode & 07777) == 0;
    const bool written = kept &&
                         WriteFully(file.Get(), Bytes.constData(), static_cast<std::size_t>(Bytes.size())) &&
                         ::fsync(file.Get()) == 0 && file.Close();
    if (!written) {
        const int error = errno;
        ::unlink(temp.constData());
        RaiseWriteError(Path, error);
    }
    if (::rename(temp.constData(), NativePath(target).constData()) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        RaiseCreateError(Path, error);
    }
    // No fsync of the folder here: the rename alone already leaves the old or the new list
    // after a crash, and this runs every second (SyncFolderOf, for the saves that must last).
}

void SyncFolderOf(const QString& Path, TLinkRule Links) {
    SyncFolder(FolderOf(Links == TLinkRule::Follow ? ResolvedTarget(Path) : Path));
}

namespace {
// Exactly a name CreateTemporary makes for File (its infix, then 1 to 8 lower-case base-36
// digits), or the fixed name of an earlier build; letter case counts.
bool IsLeftoverName(const QString& Name, const QString& File) {
    if (Name == File + QStringLiteral(".tmp"))
        return true;
    const QString prefix = File + TemporaryInfix;
    if (!Name.startsWith(prefix, Qt::CaseSensitive))
        return false;
    const QString number = Name.mid(prefix.size());
    const QString largest = QString::number(TemporaryNumberMask, TemporaryNumberBase);
    if (number.isEmpty() || number.size() > largest.size())
        return false;
    for (const QChar c : number)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z')))
            return false;
    return number.size() < largest.size() || number <= largest;
}
} // namespace

void RemoveLeftoverTemporaries(const QString& Path) {
    const QFileInfo info(Path);
    const QString name = info.fileName();
    const QStringList found =
        QDir(info.path()).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString& leftover : found) {
        if (!IsLeftoverName(leftover, name))
            continue;
        const QByteArray path = NativePath(info.path() + u'/' + leftover);
        struct stat st {};
        if (::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
            ::unlink(path.constData());
    }
}

void RaiseWriteError(const QString& Path, int Error) {
    throw EFileError(QStringLiteral("Stream write error \"%1\". %2").arg(Path, SystemErrorText(Error)));
}

void IgnoreFileSizeLimitSignal() {
    std::signal(SIGXFSZ, SIG_IGN);
}

QString SetFileAside(const QString& Path, const QByteArray& Bytes) {
    constexpr int MaxCopies = 1000;
    for (int n = 0; n < MaxCopies; ++n) {
        const QString copy =
            Path + QStringLiteral(".bak") + (n == 0 ? QString() : QStringLiteral(".%1").arg(n));
        TFileHandle file(
            ::open(NativePath(copy).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (file.Get() < 0) {
            if (errno == EEXIST)
                continue;
            return {};
        }
        const bool written =
            WriteFully(file.Get(), Bytes.constData(), static_cast<std::size_t>(Bytes.size())) &&
            ::fsync(file.Get()) == 0;
        if (!written || ::close(file.Release()) != 0) {
            ::unlink(NativePath(copy).constData());
            return {};
        }
        SyncFolder(FolderOf(copy));
        return copy;
    }
    return {};
}

bool CopyFileNoReplace(const QString& Source, const QString& Target) {
    struct stat st {};
    if (::lstat(NativePath(Target).constData(), &st) == 0)
        return false;
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
    TFileHandle from(::open(NativePath(Source).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (from.Get() < 0 || ::fstat(from.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    QByteArray temp = NativePath(JoinPath(FolderOf(Target), QStringLiteral(".tallyvox-copy-XXXXXX")));
    TFileHandle to(::mkstemp(temp.data()));
    if (to.Get() < 0)
        return false;
    const bool copied = CopyFd(from.Get(), to.Get()) && ::fsync(to.Get()) == 0 &&
                        ::close(to.Release()) == 0 && RenameNoReplace(QFile::decodeName(temp), Target);
    if (!copied) {
        ::unlink(temp.constData());
        return false;
    }
    SyncFolder(FolderOf(Target));
    return true;
}

bool RenameNoReplace(const QString& Source, const QString& Target) {
    if (::renameat2(AT_FDCWD, NativePath(Source).constData(), AT_FDCWD, NativePath(Target).constData(),
                    RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // WORKAROUND: some file systems lack RENAME_NOREPLACE; link() never replaces either.
    if (::link(NativePath(Source).constData(), NativePath(Target).constData()) != 0)
        return false;
    ::unlink(NativePath(Source).constData());
    return true;
}
