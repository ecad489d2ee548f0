// SPDX-License-Identifier: MIT
#pragma once

#include <condition_variable>
#include <mutex>

// A one-way gate: threads wait until a test opens it.
class TGate final {
public:
    void Open() {
        std::lock_guard lock(FLock);
        FOpen = true;
        FCond.notify_all();
    }
    void Wait() {
        std::unique_lock lock(FLock);
        FCond.wait(lock, [this] { return FOpen; });
    }

private:
    std::mutex FLock;
    std::condition_variable FCond;
    bool FOpen = false;
};
