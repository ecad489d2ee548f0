#include "SingleInstanceGuard.h"

#include "SingleInstance.h"

TSingleInstanceGuard* InstanceGuard = nullptr;

TSingleInstanceGuard::TSingleInstanceGuard(QString ApplicationIdName)
    : FApplicationIdName(std::move(ApplicationIdName)), FBroadcastMessage(InstanceChannelName(FApplicationIdName)) {}

// The channel goes first (removing its socket), then the lock: a start right after finds
// neither a dead socket nor a held lock.
TSingleInstanceGuard::~TSingleInstanceGuard() {
    FChannel.reset();
    Mutex.reset();
}

bool TSingleInstanceGuard::CheckIfSingle(const QString& Command) {
    const QString folder = InstanceRuntimeFolder();
    if (folder.isEmpty())
        qWarning("No private runtime folder for the single-instance lock");
    Mutex = TInstanceLock::Create(folder, FApplicationIdName);
    const QString channel = folder + u'/' + FBroadcastMessage;
    if (Mutex && Mutex->State() == TInstanceLock::TState::Acquired) {
        FChannel = std::make_unique<TInstanceChannelServer>(channel, FApplicationIdName);
        if (FHandler)
            FChannel->SetHandler(FHandler);
        if (FCommandHandler)
            FChannel->SetCommandHandler(FCommandHandler);
        FChannel->Listen(); // without the application object yet, SetMessageHandler retries
        return true;
    }
    // Held elsewhere, or no lock at all: either way this start tells the other one and ends.
    if (!Command.isEmpty())
        FAcknowledged = !folder.isEmpty() && RequestFromInstance(channel, InstanceCommandMessage(FApplicationIdName, Command),
                                                                 AckBound, true)
                                                     .State == TInstanceReply::TState::Answered;
    else
        FAcknowledged = !folder.isEmpty() && SendInstanceMessage(channel, FApplicationIdName, AckBound);
    return false;
}

TInstanceReply TSingleInstanceGuard::SendCommand(const QString& Command) const {
    const QString folder = InstanceRuntimeFolder();
    if (folder.isEmpty())
        return TInstanceReply{TInstanceReply::TState::NobodyListens, {}};
    return RequestFromInstance(folder + u'/' + FBroadcastMessage, InstanceCommandMessage(FApplicationIdName, Command),
                               AckBound, false);
}

void TSingleInstanceGuard::SetCommandHandler(std::function<std::optional<QByteArray>(const QString& Command)> Handler) {
    FCommandHandler = std::move(Handler);
    if (!FChannel)
        return;
    FChannel->SetCommandHandler(FCommandHandler);
    if (!FChannel->IsListening())
        FChannel->Listen();
}

void TSingleInstanceGuard::SetMessageHandler(std::function<void()> Handler) {
    FHandler = std::move(Handler);
    if (!FChannel)
        return;
    FChannel->SetHandler(FHandler);
    if (!FChannel->IsListening())
        FChannel->Listen();
}
