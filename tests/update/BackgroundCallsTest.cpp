// SPDX-License-Identifier: MIT
#include "BackgroundCalls.h"

#include "Gate.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

struct TCapCase {
    unsigned Processors;
    int Workers;
};

class WorkerCapTest : public ::testing::TestWithParam<TCapCase> {};

TEST_P(WorkerCapTest, FourPerProcessorLessTwoCappedAt256) {
    EXPECT_EQ(MaxThreadsForProcessors(GetParam().Processors), GetParam().Workers);
}

INSTANTIATE_TEST_SUITE_P(Table, WorkerCapTest,
                         ::testing::Values(TCapCase{0, 2}, TCapCase{1, 2}, TCapCase{2, 6}, TCapCase{4, 14},
                                           TCapCase{8, 30}, TCapCase{64, 254}, TCapCase{65, 256},
                                           TCapCase{1000, 256}));

TEST(BackgroundCalls, PoolTakesItsCapFromTheProcessorCount) {
    TBackgroundCallsPool pool(4);
    EXPECT_EQ(pool.MaxThreads(), 14);
    EXPECT_EQ(pool.ThreadCount(), 0); // workers start on demand
}

TEST(BackgroundCalls, WithoutPoolRunRunsAtOnceOnTheCallingThread) {
    std::thread::id ranOn;
    IBackgroundCallPtr call = TBackgroundCalls::Run([&] { ranOn = std::this_thread::get_id(); });
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(call->Finished());
    EXPECT_EQ(call->Sync(), 0);
    call.Release();
}

TEST(BackgroundCalls, ReleaseWaitsForTheCallTakenByAWorker) {
    TBackgroundCallsPool pool(2);
    TGate started, go;
    std::atomic<bool> done{false};
    std::thread::id ranOn;
    IBackgroundCallPtr call = TBackgroundCalls::Run([&] {
        ranOn = std::this_thread::get_id();
        started.Open();
        go.Wait();
        done = true;
    });
    started.Wait();
    EXPECT_FALSE(call->Finished());
    std::thread opener([&] {
        std::this_thread::sleep_for(20ms); // lets the release begin its wait first
        go.Open();
    });
    call.Release();
    EXPECT_TRUE(done);
    EXPECT_NE(ranOn, std::this_thread::get_id());
    opener.join();
}

// Occupies every worker of a one-processor pool (two workers) until Free().
class TBusyWorkers {
public:
    explicit TBusyWorkers(int Count) {
        for (int i = 0; i < Count; ++i) {
            FCalls.push_back(TBackgroundCalls::Run([this] {
                ++FStarted;
                FRelease.Wait();
            }));
        }
    }
    bool AllStarted(int Count) {
        for (int i = 0; i < 5000 && FStarted.load() < Count; ++i)
            std::this_thread::sleep_for(1ms);
        return FStarted.load() == Count;
    }
    void Free() {
        FRelease.Open();
        for (IBackgroundCallPtr& call : FCalls)
            call.Release();
    }

private:
    TGate FRelease;
    std::atomic<int> FStarted{0};
    std::vector<IBackgroundCallPtr> FCalls;
};

TEST(BackgroundCalls, ReleaseOfACallNoWorkerTookRunsItOnTheReleasingThread) {
    TBackgroundCallsPool pool(1);
    TBusyWorkers busy(2);
    ASSERT_TRUE(busy.AllStarted(2));
    EXPECT_EQ(pool.ThreadCount(), 2);

    std::thread::id ranOn;
    IBackgroundCallPtr call = TBackgroundCalls::Run([&] { ranOn = std::this_thread::get_id(); });
    EXPECT_EQ(pool.ThreadCount(), 2); // the cap holds: no third worker
    call.Release();
    EXPECT_EQ(ranOn, std::this_thread::get_id());

    // The same from another thread than the main one.
    std::thread::id otherRanOn, otherThread;
    std::thread other([&] {
        otherThread = std::this_thread::get_id();
        IBackgroundCallPtr c = TBackgroundCalls::Run([&] { otherRanOn = std::this_thread::get_id(); });
        c.Release();
    });
    other.join();
    EXPECT_EQ(otherRanOn, otherThread);
    busy.Free();
}

TEST(BackgroundCalls, CallHandedToTheMainThreadRunsWhileTheMainThreadWaits) {
    TBackgroundCallsPool pool(2);
    const std::thread::id mainThread = std::this_thread::get_id();
    TGate started;
    std::thread::id dialogRanOn;
    std::atomic<bool> dialogDoneBeforeWorkerGoesOn{false};
    IBackgroundCallPtr call = TBackgroundCalls::Run([&] {
        started.Open();
        std::this_thread::sleep_for(10ms); // the main thread is in its release by now, or soon
        bool ran = false;
        IBackgroundCallPtr dialog = TBackgroundCalls::RunInMainThread([&] {
            dialogRanOn = std::this_thread::get_id();
            ran = true;
        });
        dialog.Release();
        dialogDoneBeforeWorkerGoesOn = ran;
    });
    started.Wait();
    call.Release();
    EXPECT_EQ(dialogRanOn, mainThread);
    EXPECT_TRUE(dialogDoneBeforeWorkerGoesOn);
}

TEST(BackgroundCalls, RunInMainThreadOnTheMainThreadRunsAtOnce) {
    TBackgroundCallsPool pool(2);
    bool ran = false;
    IBackgroundCallPtr call = TBackgroundCalls::RunInMainThread([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(call->Finished());
    EXPECT_EQ(call->Sync(), 0);
}

TEST(BackgroundCalls, ErrorOfAWorkerCallReachesTheReleasingThread) {
    TBackgroundCallsPool pool(2);
    TGate started, go;
    IBackgroundCallPtr call = TBackgroundCalls::Run([&] {
        started.Open();
        go.Wait();
        throw EAppError(QStringLiteral("worker failed"));
    });
    started.Wait();
    go.Open();
    try {
        call.Release();
        FAIL() << "the error was lost";
    } catch (const EAppError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("worker failed"));
    }
    EXPECT_FALSE(call); // the handle is gone all the same
}

TEST(BackgroundCalls, ErrorOfACallRunHereReachesTheReleasingThread) {
    TBackgroundCallsPool pool(1);
    TBusyWorkers busy(2);
    ASSERT_TRUE(busy.AllStarted(2));
    IBackgroundCallPtr call = TBackgroundCalls::Run([] { throw EAppError(QStringLiteral("here failed")); });
    EXPECT_THROW(call.Release(), EAppError);
    busy.Free();
}

TEST(BackgroundCalls, ErrorOfAHandedOverCallReachesTheMainThreadAndReleasesTheWorker) {
    TBackgroundCallsPool pool(2);
    TGate started;
    std::atomic<bool> workerReleased{false};
    IBackgroundCallPtr call = TBackgroundCalls::Run([&] {
        started.Open();
        IBackgroundCallPtr dialog =
            TBackgroundCalls::RunInMainThread([] { throw EAppError(QStringLiteral("dialog failed")); });
        dialog.Release(); // the call is finished with result 0: the worker goes on
        workerReleased = true;
    });
    started.Wait();
    bool caught = false;
    try {
        call.Release();
    } catch (const EAppError& e) {
        caught = e.Message() == QStringLiteral("dialog failed");
        // The outer handle is gone: wait for the worker's end through a fresh check.
    }
    EXPECT_TRUE(caught);
    for (int i = 0; i < 5000 && !workerReleased; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(workerReleased);
}

TEST(BackgroundCalls, OnlyTheLastReleaseSyncs) {
    TBackgroundCallsPool pool(2);
    TGate go;
    std::atomic<bool> done{false};
    IBackgroundCallPtr first = TBackgroundCalls::Run([&] {
        go.Wait();
        done = true;
    });
    IBackgroundCallPtr second = first;
    first.Release(); // not the last: returns although the call is blocked
    EXPECT_FALSE(done);
    go.Open();
    second.Release();
    EXPECT_TRUE(done);
}

TEST(BackgroundCalls, DestructorOfTheLastHandleWaitsAndSwallowsTheError) {
    TBackgroundCallsPool pool(2);
    std::atomic<bool> done{false};
    {
        IBackgroundCallPtr call = TBackgroundCalls::Run([&] {
            done = true;
            throw EAppError(QStringLiteral("swallowed"));
        });
    }
    EXPECT_TRUE(done);
}

TEST(BackgroundCalls, ManyShortCallsAllRunWithinTheCap) {
    TBackgroundCallsPool pool(1);
    std::atomic<int> count{0};
    std::vector<IBackgroundCallPtr> calls;
    for (int i = 0; i < 2000; ++i)
        calls.push_back(TBackgroundCalls::Run([&] { ++count; }));
    for (std::size_t i = 0; i < calls.size(); i += 2) // release out of order: half here, half from the end
        calls[i].Release();
    for (std::size_t i = calls.size(); i-- > 0;)
        calls[i].Release();
    EXPECT_EQ(count.load(), 2000);
    EXPECT_LE(pool.ThreadCount(), 2);
}

TEST(BackgroundCalls, ManyShortCallsFromSeveralThreads) {
    TBackgroundCallsPool pool(2);
    std::atomic<int> count{0};
    std::vector<std::thread> starters;
    for (int t = 0; t < 4; ++t) {
        starters.emplace_back([&] {
            for (int i = 0; i < 300; ++i)
                TBackgroundCalls::Run([&] { ++count; }).Release();
        });
    }
    for (std::thread& s : starters)
        s.join();
    EXPECT_EQ(count.load(), 1200);
    EXPECT_LE(pool.ThreadCount(), 6);
}

} // namespace
