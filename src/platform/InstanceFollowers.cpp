#include "InstanceFollowers.h"

#include <QLocalSocket>
#include <algorithm>
#include <sys/socket.h>
#include <utility>

namespace {
// The system's buffer for a follower's unread lines: a few lines, so one that resumes reading
// after a stop catches up at once instead of reading a backlog of old states.
constexpr int FollowerBufferBytes = 4096;
} // namespace

void TInstanceFollowers::Add(QLocalSocket* Socket, const QByteArray& Line) {
    const int size = FollowerBufferBytes;
    ::setsockopt(static_cast<int>(Socket->socketDescriptor()), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    Prune();
    auto follower = std::make_unique<TFollower>();
    follower->Socket = Socket;
    QObject::connect(Socket, &QLocalSocket::bytesWritten, Socket, [this, Socket] { SendHeld(Socket); });
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
    if (!Follower.Socket)
        return;
    if (Follower.Socket->bytesToWrite() > 0) {
        Follower.Held = Line;
        return;
    }
    Follower.Socket->write(Line);
    Follower.Socket->flush();
}

void TInstanceFollowers::SendHeld(const QLocalSocket* Socket) {
    for (const std::unique_ptr<TFollower>& follower : FFollowers)
        if (follower->Socket == Socket && !follower->Held.isEmpty() && Socket->bytesToWrite() == 0)
            Send(*follower, std::exchange(follower->Held, QByteArray()));
}

// Followers that went away: their sockets delete themselves when they disconnect.
void TInstanceFollowers::Prune() {
    std::erase_if(FFollowers, [](const std::unique_ptr<TFollower>& F) {
        return F->Socket.isNull() || F->Socket->state() != QLocalSocket::ConnectedState;
    });
}
