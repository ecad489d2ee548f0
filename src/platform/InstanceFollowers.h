#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <memory>
#include <vector>

class QLocalSocket;

// The channel's connections that follow the status. Each gets the newest status line; one
// that does not read is never waited for: the system buffers only a few lines for it, and
// while they wait, each newer line replaces the one kept back, so memory stays bounded.
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
        QByteArray Last; // the newest line it was given
        QByteArray Held; // that line, while older ones are still going out
    };
    static void Send(TFollower& Follower, const QByteArray& Line);
    void SendHeld(const QLocalSocket* Socket);
    void Prune();

    std::vector<std::unique_ptr<TFollower>> FFollowers;
};
