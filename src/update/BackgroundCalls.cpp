// SPDX-License-Identifier: MIT
#include "BackgroundCalls.h"

#include "ThreadPool.h"

#include <QCoreApplication>
#include <QThread>
#include <utility>

// ---- The handle ----------------------------------------------------------------------------

IBackgroundCallPtr::IBackgroundCallPtr(std::unique_ptr<IBackgroundCall> Call) : FCall(Call.release()) {
    if (FCall)
        FCall->FRefCount.fetch_add(1);
}

IBackgroundCallPtr::IBackgroundCallPtr(const IBackgroundCallPtr& Other) : FCall(Other.FCall) {
    if (FCall)
        FCall->FRefCount.fetch_add(1);
}

IBackgroundCallPtr::IBackgroundCallPtr(IBackgroundCallPtr&& Other) noexcept
    : FCall(std::exchange(Other.FCall, nullptr)) {}

IBackgroundCallPtr& IBackgroundCallPtr::operator=(IBackgroundCallPtr Other) noexcept {
    // The old call is released through Other's destructor, which never throws.
    std::swap(FCall, Other.FCall);
    return *this;
}

IBackgroundCallPtr::~IBackgroundCallPtr() {
    try {
        Release();
    } catch (...) {
    }
}

void IBackgroundCallPtr::Release() {
    IBackgroundCall* call = std::exchange(FCall, nullptr);
    if (!call || call->FRefCount.fetch_sub(1) != 1)
        return;
    const std::unique_ptr<IBackgroundCall> last(call); // freed also when Sync raises
    last->Sync();
}

namespace {

// The handle of a queued or handed-over call; owns its record.
class TBackgroundCall final : public IBackgroundCall {
public:
    explicit TBackgroundCall(std::unique_ptr<TInternalBackgroundCall> Call) : FCall(std::move(Call)) {}
    std::int32_t Sync() override { return FCall->Sync(); }
    bool Finished() override { return FCall->IsFinished(); }

private:
    std::unique_ptr<TInternalBackgroundCall> FCall;
};

// The handle of a call that has already run.
class TSyncCall final : public IBackgroundCall {
public:
    std::int32_t Sync() override { return FReturnValue; }
    bool Finished() override { return true; }

private:
    std::int32_t FReturnValue = 0;
};

IBackgroundCallPtr MakeSyncCall() {
    return IBackgroundCallPtr(std::make_unique<TSyncCall>());
}

bool OnApplicationThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

std::atomic<bool> gPoolDestroying{false};

} // namespace

namespace {
// A call whose work is a procedure; the two kinds differ only in the thread that runs them.
class TProcCall : public TInternalBackgroundCall {
public:
    explicit TProcCall(TBackgroundProc AProc) : FProc(std::move(AProc)) {}

protected:
    std::int32_t RunCall() override {
        FProc();
        return 0;
    }

private:
    TBackgroundProc FProc;
};
} // namespace

class TBackgroundCalls::TWorkerCallProc final : public TProcCall {
public:
    using TProcCall::TProcCall;
};

class TBackgroundCalls::TMainThreadCallProc final : public TProcCall {
public:
    using TProcCall::TProcCall;
};

IBackgroundCallPtr TBackgroundCalls::Run(TBackgroundProc Proc) {
    TThreadPool* pool = CurrentThreadPool();
    if (!pool || pool->MaxThreads() == 0) {
        Proc();
        return MakeSyncCall();
    }
    auto record = std::make_unique<TWorkerCallProc>(std::move(Proc));
    TInternalBackgroundCall* queued = record.get();
    IBackgroundCallPtr handle(std::make_unique<TBackgroundCall>(std::move(record)));
    pool->AddCall(queued);
    return handle;
}

IBackgroundCallPtr TBackgroundCalls::RunInMainThread(TBackgroundProc Proc) {
    TThreadPool* pool = CurrentThreadPool();
    const bool mainThread = pool ? pool->IsMainThread() : OnApplicationThread();
    if (mainThread) {
        Proc();
        return MakeSyncCall();
    }
    if (!pool)
        throw EBackgroundCallError(QStringLiteral("Cannot synchronize with the main thread anymore. Don't "
                                                  "call IBackgroundCall.Forget for functions that "
                                                  "access the user interface"));
    pool->CheckDestroying();
    auto record = std::make_unique<TMainThreadCallProc>(std::move(Proc));
    TInternalBackgroundCall* posted = record.get();
    pool->SendMainThreadSync(posted); // on failure the record is already finished and simply freed
    return IBackgroundCallPtr(std::make_unique<TBackgroundCall>(std::move(record)));
}

// ---- The process's pool --------------------------------------------------------------------

TBackgroundCallsPool::TBackgroundCallsPool() : TBackgroundCallsPool(std::thread::hardware_concurrency()) {}

TBackgroundCallsPool::TBackgroundCallsPool(unsigned Processors)
    : FPool(std::make_unique<TThreadPool>(Processors)) {
    gPoolDestroying = false;
    SetCurrentThreadPool(FPool.get());
}

TBackgroundCallsPool::~TBackgroundCallsPool() {
    gPoolDestroying = true;
    FPool.reset(); // waits for every worker; the pool stays current until they have ended
    SetCurrentThreadPool(nullptr);
}

int TBackgroundCallsPool::MaxThreads() const {
    return FPool ? FPool->MaxThreads() : 0;
}
int TBackgroundCallsPool::ThreadCount() const {
    return FPool ? FPool->ThreadCount() : 0;
}
bool TBackgroundCallsPool::Destroying() {
    return gPoolDestroying.load();
}
