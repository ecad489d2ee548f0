// SPDX-License-Identifier: MIT
#include "ThreadPool.h"

#include "BackgroundCalls.h"
#include "Gate.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

bool WaitFor(const std::function<bool()>& Condition) {
    for (int i = 0; i < 5000; ++i) {
        if (Condition())
            return true;
        std::this_thread::sleep_for(1ms);
    }
    return Condition();
}

TEST(ManualEvent, StaysSetForEveryWaiter) {
    TManualEvent event;
    EXPECT_FALSE(event.IsSet());
    std::thread setter([&] { event.Set(); });
    event.Wait();
    event.Wait();
    EXPECT_TRUE(event.IsSet());
    setter.join();
}

// Both workers of a one-processor pool blocked, so the queue's order shows in what runs.
class QueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 2; ++i)
            FBlockers.push_back(TBackgroundCalls::Run([this] {
                ++FStarted;
                FGate.Wait();
            }));
        ASSERT_TRUE(WaitFor([this] { return FStarted.load() == 2; }));
    }
    void TearDown() override {
        FGate.Open();
        for (IBackgroundCallPtr& call : FBlockers)
            call.Release();
    }
    IBackgroundCallPtr Queue(int Id) {
        return TBackgroundCalls::Run([this, Id] {
            std::lock_guard lock(FOrderLock);
            FOrder.push_back(Id);
        });
    }
    std::vector<int> Order() {
        std::lock_guard lock(FOrderLock);
        return FOrder;
    }

    TBackgroundCallsPool FPool{1};
    TGate FGate;
    std::atomic<int> FStarted{0};
    std::vector<IBackgroundCallPtr> FBlockers;
    std::mutex FOrderLock;
    std::vector<int> FOrder;
};

TEST_F(QueueTest, ReleasesTakeCallsOutOfTheHeadMiddleAndTail) {
    IBackgroundCallPtr a = Queue(1), b = Queue(2), c = Queue(3), d = Queue(4);
    b.Release(); // middle
    d.Release(); // tail: the tail must move back to c
    IBackgroundCallPtr e = Queue(5);
    a.Release(); // head
    EXPECT_EQ(Order(), (std::vector<int>{2, 4, 1}));
    FGate.Open(); // the workers take what is left in queue order
    c.Release();
    e.Release();
    const std::vector<int> order = Order();
    ASSERT_EQ(order.size(), 5u);
    EXPECT_EQ(std::vector<int>(order.begin(), order.begin() + 3), (std::vector<int>{2, 4, 1}));
    EXPECT_EQ(std::count(order.begin(), order.end(), 3), 1);
    EXPECT_EQ(std::count(order.begin(), order.end(), 5), 1);
}

TEST(PoolEnd, WorkersRunTheCallsStillQueuedBeforeTheyEnd) {
    std::atomic<int> count{0};
    std::vector<IBackgroundCallPtr> calls;
    {
        TBackgroundCallsPool pool(1);
        for (int i = 0; i < 200; ++i)
            calls.push_back(TBackgroundCalls::Run([&] {
                std::this_thread::yield();
                ++count;
            }));
    }
    EXPECT_EQ(count.load(), 200); // every call ran before the pool was gone
    for (IBackgroundCallPtr& call : calls) {
        EXPECT_TRUE(call->Finished());
        call.Release();
    }
}

TEST(PoolEnd, HandOverDuringTheEndRaisesOnTheWorker) {
    std::optional<QString> message;
    IBackgroundCallPtr call;
    {
        TBackgroundCallsPool pool(1);
        TGate started;
        call = TBackgroundCalls::Run([&] {
            started.Open();
            WaitFor([] { return TBackgroundCallsPool::Destroying(); });
            try {
                TBackgroundCalls::RunInMainThread([] {
                    ADD_FAILURE() << "ran after the end began";
                }).Release();
            } catch (const EBackgroundCallError& e) {
                message = e.Message();
            }
        });
        started.Wait();
    }
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(*message,
              QStringLiteral("Cannot synchronize with the main thread anymore. Don't call "
                             "IBackgroundCall.Forget for functions that access the user interface"));
    call.Release();
}

TEST(PoolEnd, CallHandedOverButNotYetRunEndsUnrunAndReleasesItsWorker) {
    std::atomic<bool> ran{false}, workerDone{false};
    IBackgroundCallPtr call;
    {
        TBackgroundCallsPool pool(1);
        TGate posted;
        call = TBackgroundCalls::Run([&] {
            IBackgroundCallPtr dialog = TBackgroundCalls::RunInMainThread([&] { ran = true; });
            posted.Open();
            dialog.Release();
            workerDone = true;
        });
        posted.Wait();
        // The main thread ends the pool without ever dispatching the handed-over call.
    }
    EXPECT_FALSE(ran);
    EXPECT_TRUE(workerDone);
    call.Release();
}

TEST(PoolEnd, RunAfterTheEndRunsAtOnce) {
    { TBackgroundCallsPool pool(1); }
    bool ran = false;
    TBackgroundCalls::Run([&] { ran = true; }).Release();
    EXPECT_TRUE(ran);
}

} // namespace
