#include "SingleInstanceGuard.h"

#include "SingleInstance.h"

#include <cstdio>

TSingleInstanceGuard* InstanceGuard = nullptr;

TSingleInstanceGuard::TSingleInstanceGuard(QString ApplicationIdName)
    : FApplicationIdName(std::move(ApplicationIdName)), FBroadcastMessage(InstanceChannelName(FApplicationIdName)) {}

// The channel goes first (removing its socket), then the lock: a start right after finds
// neither a dead socket nor a held lock.
TSingleInstanceGuard::~TSingleInstanceGuard() {
    FChannel.reset();
    Mutex.reset();
}

bool TSingleInstanceGuard::CheckIfSingle() {
    const QString folder = InstanceRuntimeFolder();
    Mutex = TInstanceLock::Create(folder, FApplicationIdName);
    if (!Mutex)
        return RunWithoutGuarantee(folder);
    const QString channel = folder + u'/' + FBroadcastMessage;
    if (Mutex && Mutex->State() == TInstanceLock::TState::Acquired) {
        FChannel = std::make_unique<TInstanceChannelServer>(channel, FApplicationIdName);
        if (FHandler)
            FChannel->SetHandler(FHandler);
        FChannel->Listen(); // without the application object yet, SetMessageHandler retries
        return true;
    }
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

void TSingleInstanceGuard::SetMessageHandler(std::function<void()> Handler) {
    FHandler = std::move(Handler);
    if (!FChannel)
        return;
    FChannel->SetHandler(FHandler);
    if (!FChannel->IsListening())
        FChannel->Listen();
}
