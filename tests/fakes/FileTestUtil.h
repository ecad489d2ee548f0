// SPDX-License-Identifier: MIT
#pragma once

#include "Errors.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

// Whole-file helpers for tests: bytes in, bytes out, no decoding. A file that cannot be
// written fails the test that wanted it.
inline void WriteBytes(const QString& Path, const QByteArray& Bytes) {
    QFile file(Path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(Bytes) != Bytes.size())
        ADD_FAILURE() << "cannot write " << Path.toStdString();
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

// The message of the program's error that Body raises, or "<no error>".
inline QString ErrorOf(const std::function<void()>& Body) {
    try {
        Body();
    } catch (const EAppError& e) {
        return e.Message();
    }
    return QStringLiteral("<no error>");
}

// Leaves a socket file at Path that nobody listens on, as a killed program would.
inline void LeaveDeadSocket(const QString& Path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(Path);
    ASSERT_LT(static_cast<std::size_t>(path.size()), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
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
