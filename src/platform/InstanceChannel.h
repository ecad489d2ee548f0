// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

// The running instance's end of the channel over which a later start tells it that it was
// started, sends it a command, or follows its status.

// The channel's name for an instance name: the instance name and the user id.
QString InstanceChannelName(const QString& InstanceName);

// The listening end, kept by the instance that holds the lock. Each message runs the handler on
// the thread that created the server (the UI thread), then the sender gets its acknowledgement;
// so the sender's wait is synchronous, like a sent window message. Messages that arrive while no
// handler is set wait (unacknowledged) until one is.
class TInstanceChannelServer final {
public:
    TInstanceChannelServer(QString FullName, QString Message);
    ~TInstanceChannelServer();
    TInstanceChannelServer(const TInstanceChannelServer&) = delete;
    TInstanceChannelServer& operator=(const TInstanceChannelServer&) = delete;

    // Removes a socket left by a killed instance, then listens. Call only while holding the
    // lock: otherwise it would take the channel away from a living instance. Needs the
    // application object. False when the channel cannot be opened.
    bool Listen();
    bool IsListening() const;
    void SetHandler(std::function<void()> Handler);

    // Runs for each command request (the instance name, a blank and a command word) and
    // returns the answer's text (one line, may be empty), or nothing for a word it does not
    // know, which drops the request like a foreign message. Requests that come while no
    // command handler is set wait for one, as plain messages do.
    using TCommandHandler = std::function<std::optional<QByteArray>(const QString& Command)>;
    void SetCommandHandler(TCommandHandler Handler);

    // Followers of the status (the word "follow") get Source's text at once and again after
    // each StatusChanged, at most once per pass of the event loop and only when it differs.
    // A follower that stops reading never holds the program up: the system keeps a few lines
    // for it, and beyond them only its newest state waits. Without a source, follow requests
    // wait for one, as commands do.
    void SetStatusSource(std::function<QByteArray()> Source);
    void StatusChanged();
    int FollowerCount() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};
