// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QPointer>
#include <memory>
#include <vector>

class QLocalSocket;
class QSocketNotifier;

// The channel's connections that follow the status. Each gets the newest status line; one
// that does not read is never waited for: the system buffers only a few lines for it, and
// beyond them at most the line in progress and the newest one wait here, each newer line
// replacing the one kept back, so memory stays bounded whatever the follower does.
class TInstanceFollowers final {
public:
    TInstanceFollowers() = default;
    TInstanceFollowers(const TInstanceFollowers&) = delete;
    TInstanceFollowers& operator=(const TInstanceFollowers&) = delete;

    // Takes Socket over as a follower and sends it Line.
    void Add(QLocalSocket* Socket, const QByteArray& Line);
    // Sends Line to every follower that was last given another one.
    void Publish(const QByteArray& Line);
    int Count();
    bool Contains(const QLocalSocket* Socket) const;

private:
    struct TFollower {
        QPointer<QLocalSocket> Socket;
        int Fd = -1;
        QSocketNotifier* Writable = nullptr; // enabled while part of a line waits to go out
        QByteArray Last;                     // the newest line it was given
        QByteArray Unsent;                   // the rest of the line going out
        QByteArray Held;                     // the newest line, while another one goes out
    };
    static void Send(TFollower& Follower, const QByteArray& Line);
    static void Write(TFollower& Follower, const QByteArray& Data);
    void Resume(const QLocalSocket* Socket);
    void Prune();

    std::vector<std::unique_ptr<TFollower>> FFollowers;
};
