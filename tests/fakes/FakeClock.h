// SPDX-License-Identifier: MIT
#pragma once

#include "Clock.h"

// A wall clock that shows whatever date-time value a test sets.
class TFakeClock final : public IClock {
public:
    explicit TFakeClock(double Now = 41766.25) : FNow(Now) {}
    double Now() const override { return FNow; }
    void Set(double Now) { FNow = Now; }

private:
    double FNow;
};
