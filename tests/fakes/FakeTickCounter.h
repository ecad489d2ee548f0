// SPDX-License-Identifier: MIT
#pragma once

#include "TickCounter.h"

// A tick counter that stands still until a test moves it, wrap-around included.
class TFakeTickCounter final : public ITickCounter {
public:
    explicit TFakeTickCounter(std::uint32_t Start = 1000) : FNow(Start) {}
    std::uint32_t Now() const override { return FNow; }
    void Set(std::uint32_t Value) { FNow = Value; }
    void Advance(std::uint32_t Ms) { FNow += Ms; }

private:
    std::uint32_t FNow;
};
