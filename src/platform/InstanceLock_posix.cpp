// SPDX-License-Identifier: MIT
#include "InstanceLock.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

bool EnsurePrivateFolder(const QString& Folder) {
    if (Folder.isEmpty())
        return false;
    const QByteArray path = QFile::encodeName(Folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

namespace {
// The user's cache folder: nobody else can create a folder in it ahead of us, as anyone can in
// a shared temporary folder.
QString CacheFallback() {
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty() || !cache.startsWith(u'/')) {
        const QString home = qEnvironmentVariable("HOME");
        if (home.isEmpty())
            return {};
        cache = home + QStringLiteral("/.cache");
    }
    QDir().mkpath(cache);
    return cache + QStringLiteral("/tallyvox");
}
} // namespace

QString InstanceRuntimeFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists() && EnsurePrivateFolder(runtime))
        return runtime;
    const QString cache = CacheFallback();
    if (EnsurePrivateFolder(cache))
        return cache;
    const QString temp = QDir::tempPath() + QStringLiteral("/tallyvox-%1").arg(::geteuid());
    return EnsurePrivateFolder(temp) ? temp : QString();
}

TInstanceLock::TInstanceLock(int Fd, TState State, QString FileName)
    : FFd(Fd), FState(State), FFileName(std::move(FileName)) {}

TInstanceLock::~TInstanceLock() {
    ::close(FFd);
}

std::unique_ptr<TInstanceLock> TInstanceLock::Create(const QString& Folder, const QString& InstanceName) {
    if (Folder.isEmpty())
        return nullptr;
    const QString fileName = Folder + u'/' + InstanceName + QStringLiteral(".lock");
    // O_NOFOLLOW: a link planted in place of the lock file must not make us open another file.
    const int fd =
        ::open(QFile::encodeName(fileName).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return nullptr;
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc == 0)
        return std::unique_ptr<TInstanceLock>(new TInstanceLock(fd, TState::Acquired, fileName));
    if (errno == EWOULDBLOCK)
        return std::unique_ptr<TInstanceLock>(new TInstanceLock(fd, TState::HeldElsewhere, fileName));
    ::close(fd);
    return nullptr;
}
