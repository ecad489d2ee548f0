// SPDX-License-Identifier: MIT
#include "InstanceFollowers.h"

#include <QLocalSocket>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <sys/socket.h>
#include <utility>

namespace {
// The system's buffer for a follower's unread lines: a few lines, so one that resumes reading
// after a stop catches up at once instead of reading a backlog of old states.
constexpr int FollowerBufferBytes = 4096;
} // namespace

// Lines go out with one non-blocking send each, past the socket's own buffering: a tick with
// many followers costs one system call per follower and nothing more.
void TInstanceFollowers::Add(QLocalSocket* Socket, const QByteArray& Line) {
    Prune();
    auto follower = std::make_unique<TFollower>();
    follower->Socket = Socket;
    follower->Fd = static_cast<int>(Socket->socketDescriptor());
    const int size = FollowerBufferBytes;
    ::setsockopt(follower->Fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    follower->Writable = new QSocketNotifier(follower->Fd, QSocketNotifier::Write, Socket);
    follower->Writable->setEnabled(false);
    QObject::connect(follower->Writable, &QSocketNotifier::activated, Socket,
                     [this, Socket] { Resume(Socket); });
    Send(*follower, Line);
    FFollowers.push_back(std::move(follower));
}

void TInstanceFollowers::Publish(const QByteArray& Line) {
    Prune();
    for (const std::unique_ptr<TFollower>& follower : FFollowers)
        if (follower->Last != Line)
            Send(*follower, Line);
}

int TInstanceFollowers::Count() {
    Prune();
    return static_cast<int>(FFollowers.size());
}

bool TInstanceFollowers::Contains(const QLocalSocket* Socket) const {
    return std::any_of(FFollowers.begin(), FFollowers.end(),
                       [Socket](const std::unique_ptr<TFollower>& F) { return F->Socket == Socket; });
}

void TInstanceFollowers::Send(TFollower& Follower, const QByteArray& Line) {
    Follower.Last = Line;
    if (!Follower.Unsent.isEmpty())
        Follower.Held = Line;
    else
        Write(Follower, Line);
}

void TInstanceFollowers::Write(TFollower& Follower, const QByteArray& Data) {
    if (!Follower.Socket)
        return;
    ssize_t sent;
    do
        sent = ::send(Follower.Fd, Data.constData(), static_cast<std::size_t>(Data.size()),
                      MSG_DONTWAIT | MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent < 0 && errno != EAGAIN) {
        Follower.Socket->abort(); // gone; its socket deletes itself
        return;
    }
    Follower.Unsent = Data.mid(std::max<ssize_t>(sent, 0));
    Follower.Writable->setEnabled(!Follower.Unsent.isEmpty());
}

void TInstanceFollowers::Resume(const QLocalSocket* Socket) {
    for (const std::unique_ptr<TFollower>& follower : FFollowers) {
        if (follower->Socket != Socket || follower->Unsent.isEmpty())
            continue;
        Write(*follower, std::exchange(follower->Unsent, QByteArray()));
        if (follower->Unsent.isEmpty() && !follower->Held.isEmpty())
            Write(*follower, std::exchange(follower->Held, QByteArray()));
    }
}

// Followers that went away: their sockets delete themselves when they disconnect.
void TInstanceFollowers::Prune() {
    std::erase_if(FFollowers, [](const std::unique_ptr<TFollower>& F) {
        return F->Socket.isNull() || F->Socket->state() != QLocalSocket::ConnectedState;
    });
}
