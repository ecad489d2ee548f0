#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// Whole-file helpers for tests: bytes in, bytes out, no decoding.
inline void WriteBytes(const QString& Path, const QByteArray& Bytes) {
    QFile file(Path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(Bytes);
}

inline QByteArray ReadBytes(const QString& Path) {
    QFile file(Path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline bool PathExists(const QString& Path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(Path).constData(), &st) == 0;
}

inline QByteArray FixtureBytes(const char* Name) {
    return ReadBytes(QStringLiteral(TALLYVOX_TEST_DATA "/") + QString::fromLatin1(Name));
}

// Runs Body in a forked child and returns its exit code (-1 when it died of a signal).
// With Unprivileged the child first drops root, so file modes take effect as for a user.
inline int RunInChild(const std::function<int()>& Body, bool Unprivileged = false) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (Unprivileged && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(100);
        int code = 101;
        try {
            code = Body();
        } catch (...) {
            code = 102;
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
