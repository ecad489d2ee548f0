// SPDX-License-Identifier: MIT
#include "SingleInstanceGuard.h"

#include "InstanceChannel.h"
#include "InstanceChannelClient.h"
#include "InstanceLock.h"
#include "InstanceProtocol.h"

#include <cstdio>

TSingleInstanceGuard::TSingleInstanceGuard(QString ApplicationIdName)
    : FApplicationIdName(std::move(ApplicationIdName)),
      FBroadcastMessage(InstanceChannelName(FApplicationIdName)) {}

// The channel goes first (removing its socket), then the lock: a start right after finds
// neither a dead socket nor a held lock.
TSingleInstanceGuard::~TSingleInstanceGuard() {
    FChannel.reset();
    Mutex.reset();
}

bool TSingleInstanceGuard::CheckIfSingle(const QString& Command) {
    const QString folder = InstanceRuntimeFolder();
    Mutex = TInstanceLock::Create(folder, FApplicationIdName);
    if (!Mutex)
        return RunWithoutGuarantee(folder);
    const QString channel = folder + u'/' + FBroadcastMessage;
    if (Mutex->State() == TInstanceLock::TState::Acquired) {
        FChannel = std::make_unique<TInstanceChannelServer>(channel, FApplicationIdName);
        if (FHandler)
            FChannel->SetHandler(FHandler);
        FChannel->SetStatusSource(FStatusSource);
        if (FCommandHandler)
            FChannel->SetCommandHandler(FCommandHandler);
        FChannel->Listen(); // without the application object yet, SetMessageHandler retries
        return true;
    }
    // Held elsewhere: this start tells the other one and ends.
    if (!Command.isEmpty())
        FAcknowledged =
            RequestFromInstance(channel, InstanceCommandMessage(FApplicationIdName, Command), AckBound, true)
                .State == TInstanceReply::TState::Answered;
    else
        FAcknowledged = SendInstanceMessage(channel, FApplicationIdName, AckBound);
    return false;
}

// Without a lock nobody can tell whether another copy runs. Refusing to start would let anyone
// who can plant a folder in a shared temporary folder keep the user from their tasks.
bool TSingleInstanceGuard::RunWithoutGuarantee(const QString& Folder) {
    if (Folder.isEmpty())
        std::fprintf(stderr, "tallyvox: no private folder for the single-instance lock ($XDG_RUNTIME_DIR, "
                             "~/.cache/tallyvox); running without the one-copy guarantee\n");
    else
        std::fprintf(stderr, "tallyvox: cannot lock \"%s\"; running without the one-copy guarantee\n",
                     qPrintable(Folder));
    return true;
}

TInstanceReply TSingleInstanceGuard::SendCommand(const QString& Command) const {
    const QString folder = InstanceRuntimeFolder();
    if (folder.isEmpty())
        return TInstanceReply{TInstanceReply::TState::NobodyListens, {}};
    return RequestFromInstance(folder + u'/' + FBroadcastMessage,
                               InstanceCommandMessage(FApplicationIdName, Command), AckBound, false);
}

void TSingleInstanceGuard::Follow(const std::function<void(const std::optional<QByteArray>&)>& Show) const {
    const QString folder = InstanceRuntimeFolder();
    if (!folder.isEmpty())
        FollowInstance(folder + u'/' + FBroadcastMessage,
                       InstanceCommandMessage(FApplicationIdName, FollowWord), Show);
}

void TSingleInstanceGuard::SetCommandHandler(
    std::function<std::optional<QByteArray>(const QString& Command)> Handler) {
    FCommandHandler = std::move(Handler);
    HandOverHandlers();
}

void TSingleInstanceGuard::SetStatusSource(std::function<QByteArray()> Source) {
    FStatusSource = std::move(Source);
    if (FChannel)
        FChannel->SetStatusSource(FStatusSource);
}

void TSingleInstanceGuard::StatusChanged() {
    if (FChannel)
        FChannel->StatusChanged();
}

void TSingleInstanceGuard::SetMessageHandler(std::function<void()> Handler) {
    FHandler = std::move(Handler);
    HandOverHandlers();
}

// Gives the channel both handlers; it listens from the first one on (it could not before the
// application object existed).
void TSingleInstanceGuard::HandOverHandlers() {
    if (!FChannel)
        return;
    FChannel->SetHandler(FHandler);
    FChannel->SetCommandHandler(FCommandHandler);
    if (!FChannel->IsListening())
        FChannel->Listen();
}
