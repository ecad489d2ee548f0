// SPDX-License-Identifier: MIT
#pragma once

#include "BackgroundCallError.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

using TBackgroundProc = std::function<void()>;

// One started call. Reference-counted through IBackgroundCallPtr: the last release waits for the
// call (Sync) and re-raises what escaped it.
class IBackgroundCall {
public:
    virtual ~IBackgroundCall() = default;
    // Waits for the call: on the main thread running only calls handed back to it, elsewhere
    // plainly. Runs the call here when no worker has taken it yet. Re-raises its exception.
    virtual std::int32_t Sync() = 0;
    virtual bool Finished() = 0;

private:
    friend class IBackgroundCallPtr;
    std::atomic<int> FRefCount{0};
};

// The reference-counted handle. The last owner calls Release(), which syncs and lets the call's
// exception propagate; the record is freed either way. A handle destroyed without Release()
// syncs too but swallows the exception, because a destructor may run during unwinding.
class IBackgroundCallPtr final {
public:
    IBackgroundCallPtr() = default;
    explicit IBackgroundCallPtr(std::unique_ptr<IBackgroundCall> Call);
    IBackgroundCallPtr(const IBackgroundCallPtr& Other);
    IBackgroundCallPtr(IBackgroundCallPtr&& Other) noexcept;
    IBackgroundCallPtr& operator=(IBackgroundCallPtr Other) noexcept;
    ~IBackgroundCallPtr();

    void Release();
    IBackgroundCall* operator->() const { return FCall; }
    explicit operator bool() const { return FCall != nullptr; }

private:
    IBackgroundCall* FCall = nullptr;
};

class TBackgroundCalls final {
public:
    TBackgroundCalls() = delete;

    // Queues Proc for a pooled worker. Without a pool (or once its end began with no worker
    // started) Proc runs at once on the calling thread.
    static IBackgroundCallPtr Run(TBackgroundProc Proc);

    // Runs Proc on the main thread: at once when called there, else handed over to it. Raises
    // EBackgroundCallError when the pool is being destroyed.
    static IBackgroundCallPtr RunInMainThread(TBackgroundProc Proc);

    class TWorkerCallProc;
    class TMainThreadCallProc;
};

// Worker cap for a processor count: 4 x processors - 2, at most 256.
int MaxThreadsForProcessors(unsigned Processors);

class TThreadPool;

// The process's one pool: created in main() before the main window, destroyed after the loop.
// Destruction lets every worker finish the calls still queued and waits for all of them.
class TBackgroundCallsPool final {
public:
    TBackgroundCallsPool();
    explicit TBackgroundCallsPool(unsigned Processors); // tests choose the cap
    ~TBackgroundCallsPool();
    TBackgroundCallsPool(const TBackgroundCallsPool&) = delete;
    TBackgroundCallsPool& operator=(const TBackgroundCallsPool&) = delete;

    int MaxThreads() const;
    int ThreadCount() const;
    // True from the start of the pool's destruction; lets tests meet that moment.
    static bool Destroying();

private:
    std::unique_ptr<TThreadPool> FPool;
};
