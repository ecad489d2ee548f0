// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class TInstanceLock;
class TInstanceChannelServer;
struct TInstanceReply;

// Lets one copy of the program run per user. The first start holds the lock and listens; a
// later start tells the first one that it was started, waits for its answer and ends.
// The application object must exist before CheckIfSingle, so the first instance can listen.
class TSingleInstanceGuard final {
public:
    // How long a second start waits for the first instance to answer.
    static constexpr std::chrono::milliseconds AckBound{2500};

    explicit TSingleInstanceGuard(QString ApplicationIdName); // "Vostrak_Tallyvox"; takes no lock yet
    ~TSingleInstanceGuard();
    TSingleInstanceGuard(const TSingleInstanceGuard&) = delete;
    TSingleInstanceGuard& operator=(const TSingleInstanceGuard&) = delete;

    // True: this is the first instance, now listening; also when no lock can be made at all
    // (no private folder for it), said on stderr. False: another instance holds the lock and
    // has been told.
    // Command: a remote-command word that a losing start sends instead of the plain message,
    // so a start racing another one still has its command applied.
    bool CheckIfSingle(const QString& Command = QString());

    // Sends a remote-command word to the running instance and waits for its answer, without
    // taking the lock or starting anything. Needs no application object.
    TInstanceReply SendCommand(const QString& Command) const;
    // Follows the running instance's status for as long as the process lives (see
    // FollowInstance); returns only when there is no private folder for the channel.
    void Follow(const std::function<void(const std::optional<QByteArray>&)>& Show) const;

    // The first instance runs Handler on the UI thread for each second start, before that
    // start gets its answer. Messages that came before a handler was set run once it is.
    void SetMessageHandler(std::function<void()> Handler);
    // The same for remote commands; the handler returns the answer's text, or nothing for a
    // word it does not know.
    void SetCommandHandler(std::function<std::optional<QByteArray>(const QString& Command)> Handler);
    // What followers of the status are sent (the status command's answer), and the call that
    // tells them it may have changed. Cheap while nobody follows.
    void SetStatusSource(std::function<QByteArray()> Source);
    void StatusChanged();

    // The name of the second-start message's channel: the instance name and the user id.
    const QString& BroadcastMessage() const { return FBroadcastMessage; }
    // After a CheckIfSingle that returned false: whether the first instance answered in time.
    bool MessageAcknowledged() const { return FAcknowledged; }

private:
    static bool RunWithoutGuarantee(const QString& Folder);
    void HandOverHandlers();
    std::unique_ptr<TInstanceLock> Mutex; // null until CheckIfSingle ran, or when the lock failed
    QString FApplicationIdName;
    QString FBroadcastMessage;
    std::unique_ptr<TInstanceChannelServer> FChannel;
    std::function<void()> FHandler;
    std::function<std::optional<QByteArray>(const QString& Command)> FCommandHandler;
    std::function<QByteArray()> FStatusSource;
    bool FAcknowledged = false;
};
