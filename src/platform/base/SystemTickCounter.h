// SPDX-License-Identifier: MIT
#pragma once

#include "TickCounter.h"

// CLOCK_BOOTTIME in milliseconds, truncated to 32 bits.
class TSystemTickCounter final : public ITickCounter {
public:
    std::uint32_t Now() const override;
};

// The process-wide system counter.
ITickCounter& SystemTickCounter();
