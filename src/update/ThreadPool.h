// SPDX-License-Identifier: MIT
#pragma once

#include "BackgroundCallError.h"

#include <QObject>
#include <array>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

// A manual-reset event. Set() is the last touch of its setter, so a waiter that has seen it
// set may free the event at once.
class TManualEvent final {
public:
    void Set();
    bool IsSet() const;
    void Wait() const;

private:
    mutable std::mutex FLock;
    mutable std::condition_variable FCond;
    bool FSignalled = false;
};

// One call. Thread priorities, per-thread COM set-up and raise addresses are Windows notions
// without a counterpart here, so they are left out.
class TInternalBackgroundCall {
public:
    TInternalBackgroundCall() = default;
    virtual ~TInternalBackgroundCall();
    TInternalBackgroundCall(const TInternalBackgroundCall&) = delete;
    TInternalBackgroundCall& operator=(const TInternalBackgroundCall&) = delete;

    void RunOnWorker(); // stores an escaping exception for Sync
    void RunHere();     // lets an escaping exception propagate; the call is finished either way
    bool IsFinished() const;
    bool TryRunHere();
    std::int32_t Sync();
    void FinishUnrun(); // ends a call that will never run, releasing its waiters

    TInternalBackgroundCall* FNext = nullptr; // guarded by the pool's queue lock
    std::atomic<bool> FOrphaned{false};       // unlinked by the pool's end: its release runs it

protected:
    virtual std::int32_t RunCall() = 0;

private:
    void MarkFinished(std::int32_t Result);

    TManualEvent FEvent;
    std::int32_t FReturnValue = 0;
    std::exception_ptr FFatalException;
};

class TThreadPool final {
public:
    explicit TThreadPool(unsigned Processors);
    ~TThreadPool();
    TThreadPool(const TThreadPool&) = delete;
    TThreadPool& operator=(const TThreadPool&) = delete;

    int MaxThreads() const { return FMaxThreads.load(); }
    int ThreadCount() const { return FThreadCount.load(); }
    bool Destroying() const { return FDestroying.load(); }
    bool IsMainThread() const { return std::this_thread::get_id() == FMainThreadId; }

    void AddCall(TInternalBackgroundCall* Call);
    bool RemoveCall(TInternalBackgroundCall* Call);
    void SendMainThreadSync(TInternalBackgroundCall* Call);
    void CheckDestroying() const;
    // Waits on the main thread until Call has finished, running meanwhile only the calls
    // handed over to the main thread. False when the wait cannot go on.
    bool MainThreadWait(const TInternalBackgroundCall& Call);
    // Wakes a main thread waiting in MainThreadWait after a call has finished.
    void NotifyMainThread();
    void DispatchMainThreadCalls();

private:
    TInternalBackgroundCall* TakeNextCall();
    void WaitForWork();
    void StartWorker();
    void WakeWorker();
    void WorkerLoop();
    void FinishPendingMainThreadCalls();

    // Wake-up (auto-reset) and terminate (manual-reset) events of the workers.
    std::mutex FWakeLock;
    std::condition_variable FWakeCond;
    bool FWakeUpEvent = false;
    bool FThreadTerminateEvent = false;

    std::atomic<int> FSleepingThreadCount{0};
    std::atomic<int> FMaxThreads{0};
    std::atomic<bool> FDestroying{false};
    std::atomic<int> FThreadCount{0};
    std::mutex FThreadsLock; // slots are filled and emptied under it
    std::array<std::thread, 256> FThreads;

    std::mutex FCallQueueLock;
    TInternalBackgroundCall* FCallHead = nullptr;
    TInternalBackgroundCall* FCallTail = nullptr;

    std::thread::id FMainThreadId;

    // Hand-over to the main thread: the calls posted to it, its sync event, and the QObject of
    // the main thread that stands in for the hidden window receiving the posted messages.
    std::mutex FMainLock;
    std::condition_variable FMainCond;
    std::deque<TInternalBackgroundCall*> FMainThreadCalls;
    bool FMainThreadSyncEvent = false;
    std::unique_ptr<QObject> FMainThreadWindow;
};

// The pool of the running process, or none.
TThreadPool* CurrentThreadPool();
void SetCurrentThreadPool(TThreadPool* Pool);
