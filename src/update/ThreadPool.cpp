// SPDX-License-Identifier: MIT
#include "ThreadPool.h"

#include <algorithm>
#include <system_error>

namespace {
std::atomic<TThreadPool*> gPool{nullptr};
} // namespace

TThreadPool* CurrentThreadPool() {
    return gPool.load();
}
void SetCurrentThreadPool(TThreadPool* Pool) {
    gPool.store(Pool);
}

int MaxThreadsForProcessors(unsigned Processors) {
    const long long cap = 4LL * std::max(Processors, 1u) - 2;
    return static_cast<int>(std::min(cap, 256LL));
}

// ---- TManualEvent ------------------------------------------------------------------------

void TManualEvent::Set() {
    std::lock_guard lock(FLock);
    FSignalled = true;
    FCond.notify_all();
}

bool TManualEvent::IsSet() const {
    std::lock_guard lock(FLock);
    return FSignalled;
}

void TManualEvent::Wait() const {
    std::unique_lock lock(FLock);
    FCond.wait(lock, [this] { return FSignalled; });
}

// ---- TInternalBackgroundCall ---------------------------------------------------------------

TInternalBackgroundCall::~TInternalBackgroundCall() {
    // A record is freed by its handle; if that happens before the call ended, wait for it
    // rather than leave a worker with a freed record.
    if (!IsFinished()) {
        try {
            Sync();
        } catch (...) {
        }
    }
}

void TInternalBackgroundCall::MarkFinished(std::int32_t Result) {
    FReturnValue = Result;
    TThreadPool* pool = CurrentThreadPool();
    FEvent.Set(); // from here on the record may be freed at any moment
    if (pool)
        pool->NotifyMainThread();
}

void TInternalBackgroundCall::FinishUnrun() {
    MarkFinished(0);
}

void TInternalBackgroundCall::RunOnWorker() {
    std::int32_t result = 0;
    try {
        result = RunCall();
    } catch (...) {
        FFatalException = std::current_exception();
        result = 0;
    }
    MarkFinished(result);
}

void TInternalBackgroundCall::RunHere() {
    std::int32_t result = 0;
    try {
        result = RunCall();
    } catch (...) {
        MarkFinished(0);
        throw;
    }
    MarkFinished(result);
}

bool TInternalBackgroundCall::IsFinished() const {
    return FEvent.IsSet();
}

bool TInternalBackgroundCall::TryRunHere() {
    if (IsFinished())
        return true;
    if (FOrphaned.exchange(false)) {
        RunHere();
        return true;
    }
    TThreadPool* pool = CurrentThreadPool();
    if (pool && pool->RemoveCall(this)) {
        RunHere();
        return true;
    }
    return false;
}

std::int32_t TInternalBackgroundCall::Sync() {
    if (!IsFinished() && !TryRunHere()) {
        TThreadPool* pool = CurrentThreadPool();
        bool signalled = true;
        if (pool && pool->IsMainThread())
            signalled = pool->MainThreadWait(*this);
        else
            FEvent.Wait();
        if (!signalled)
            throw EBackgroundCallError(QStringLiteral("The asynchronous call is not finished yet"));
    }
    if (FFatalException)
        std::rethrow_exception(std::exchange(FFatalException, nullptr));
    return FReturnValue;
}

// ---- TThreadPool ---------------------------------------------------------------------------

TThreadPool::TThreadPool(unsigned Processors)
    : FMainThreadId(std::this_thread::get_id()), FMainThreadWindow(std::make_unique<QObject>()) {
    FMaxThreads = MaxThreadsForProcessors(std::max(Processors, 1u));
}

TThreadPool::~TThreadPool() {
    {
        std::lock_guard lock(FThreadsLock);
        FMaxThreads = FThreadCount.load();
    }
    {
        // Under the hand-over lock, so no call can be handed to the main thread after the drain below.
        std::lock_guard lock(FMainLock);
        FDestroying = true;
    }
    // The main thread no longer dispatches: calls handed to it end unrun, releasing their waiters.
    FinishPendingMainThreadCalls();
    {
        std::lock_guard lock(FWakeLock);
        FThreadTerminateEvent = true;
    }
    FWakeCond.notify_all();
    for (int slot = FThreadCount.load() - 1; slot >= 0; --slot) {
        std::thread worker;
        {
            std::lock_guard lock(FThreadsLock);
            worker = std::move(FThreads[static_cast<std::size_t>(slot)]);
        }
        if (worker.joinable())
            worker.join();
    }
    std::lock_guard lock(FCallQueueLock);
    for (TInternalBackgroundCall* call = FCallHead; call;) {
        TInternalBackgroundCall* next = call->FNext;
        call->FNext = nullptr;
        call->FOrphaned = true;
        call = next;
    }
    FCallHead = FCallTail = nullptr;
    FMainThreadWindow.reset();
}

void TThreadPool::CheckDestroying() const {
    if (FDestroying)
        throw EBackgroundCallError(QStringLiteral("Cannot synchronize with the main thread anymore. Don't "
                                                  "call IBackgroundCall.Forget for functions that "
                                                  "access the user interface"));
}

void TThreadPool::AddCall(TInternalBackgroundCall* Call) {
    {
        std::lock_guard lock(FCallQueueLock);
        Call->FNext = nullptr;
        if (FCallTail)
            FCallTail->FNext = Call;
        else
            FCallHead = Call;
        FCallTail = Call;
    }
    if (FSleepingThreadCount.load() == 0 && FThreadCount.load() < FMaxThreads.load())
        StartWorker();
    WakeWorker();
}

bool TThreadPool::RemoveCall(TInternalBackgroundCall* Call) {
    std::lock_guard lock(FCallQueueLock);
    TInternalBackgroundCall* previous = nullptr;
    for (TInternalBackgroundCall* call = FCallHead; call; previous = call, call = call->FNext) {
        if (call != Call)
            continue;
        (previous ? previous->FNext : FCallHead) = call->FNext;
        if (FCallTail == call)
            FCallTail = previous;
        call->FNext = nullptr;
        return true;
    }
    return false;
}

void TThreadPool::StartWorker() {
    std::lock_guard lock(FThreadsLock);
    for (;;) {
        int n = FThreadCount.load();
        if (n >= FMaxThreads.load())
            return;
        if (!FThreadCount.compare_exchange_weak(n, n + 1))
            continue;
        try {
            FThreads[static_cast<std::size_t>(n)] = std::thread([this] { WorkerLoop(); });
        } catch (const std::system_error&) {
            // No thread to be had: the call stays queued and its release runs it.
            FThreadCount.store(n);
        }
        return;
    }
}

void TThreadPool::WakeWorker() {
    {
        std::lock_guard lock(FWakeLock);
        FWakeUpEvent = true;
    }
    FWakeCond.notify_one();
}

void TThreadPool::WaitForWork() {
    ++FSleepingThreadCount;
    {
        std::unique_lock lock(FWakeLock);
        FWakeCond.wait(lock, [this] { return FWakeUpEvent || FThreadTerminateEvent; });
        FWakeUpEvent = false;
    }
    --FSleepingThreadCount;
}

TInternalBackgroundCall* TThreadPool::TakeNextCall() {
    TInternalBackgroundCall* call = nullptr;
    bool more = false;
    {
        std::lock_guard lock(FCallQueueLock);
        call = FCallHead;
        if (call) {
            FCallHead = call->FNext;
            if (FCallTail == call)
                FCallTail = nullptr;
            call->FNext = nullptr;
        }
        more = FCallHead != nullptr;
    }
    if (more)
        WakeWorker();
    if (!call)
        WaitForWork();
    return call;
}

void TThreadPool::WorkerLoop() {
    for (;;) {
        TInternalBackgroundCall* call = TakeNextCall();
        if (!call) {
            bool terminating = false;
            {
                std::lock_guard lock(FWakeLock);
                terminating = FThreadTerminateEvent;
            }
            if (!terminating)
                continue;
            call = TakeNextCall();
            if (!call)
                return;
        }
        try {
            call->RunOnWorker();
        } catch (...) {
        }
    }
}

// ---- Hand-over to the main thread ----------------------------------------------------------

void TThreadPool::SendMainThreadSync(TInternalBackgroundCall* Call) {
    bool destroying = false;
    {
        std::lock_guard lock(FMainLock);
        destroying = FDestroying;
        if (!destroying)
            FMainThreadCalls.push_back(Call);
    }
    if (destroying) {
        Call->FinishUnrun();
        CheckDestroying();
    }
    // The posted message makes the main thread's own loop (or a modal loop) run the call; a main
    // thread waiting in MainThreadWait is woken by the sync event instead.
    const bool posted = QMetaObject::invokeMethod(
        FMainThreadWindow.get(),
        [this] {
            try {
                DispatchMainThreadCalls();
            } catch (const std::exception& e) {
                qWarning("%s", e.what());
            } catch (...) {
            }
        },
        Qt::QueuedConnection);
    if (!posted) {
        bool removed = false;
        {
            std::lock_guard lock(FMainLock);
            const auto it = std::find(FMainThreadCalls.begin(), FMainThreadCalls.end(), Call);
            removed = it != FMainThreadCalls.end();
            if (removed)
                FMainThreadCalls.erase(it);
        }
        if (removed)
            Call->FinishUnrun();
        return;
    }
    {
        std::lock_guard lock(FMainLock);
        FMainThreadSyncEvent = true;
    }
    FMainCond.notify_all();
}

void TThreadPool::DispatchMainThreadCalls() {
    for (;;) {
        TInternalBackgroundCall* call = nullptr;
        {
            std::lock_guard lock(FMainLock);
            if (FMainThreadCalls.empty())
                return;
            call = FMainThreadCalls.front();
            FMainThreadCalls.pop_front();
        }
        call->RunHere();
    }
}

void TThreadPool::FinishPendingMainThreadCalls() {
    std::deque<TInternalBackgroundCall*> pending;
    {
        std::lock_guard lock(FMainLock);
        pending.swap(FMainThreadCalls);
    }
    for (TInternalBackgroundCall* call : pending)
        call->FinishUnrun();
}

void TThreadPool::NotifyMainThread() {
    std::lock_guard lock(FMainLock);
    FMainCond.notify_all();
}

bool TThreadPool::MainThreadWait(const TInternalBackgroundCall& Call) {
    // Qt has no queue of synchronised calls apart from posted events, which this wait must not
    // run (they include input, painting and timers); the calls handed over here are the only ones.
    for (;;) {
        {
            std::unique_lock lock(FMainLock);
            FMainCond.wait(
                lock, [&] { return Call.IsFinished() || FMainThreadSyncEvent || !FMainThreadCalls.empty(); });
            if (Call.IsFinished())
                return true;
            FMainThreadSyncEvent = false;
        }
        DispatchMainThreadCalls();
    }
}
