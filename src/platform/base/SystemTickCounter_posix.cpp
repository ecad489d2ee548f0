// SPDX-License-Identifier: MIT
#include "SystemTickCounter.h"

#include <time.h>

std::uint32_t TSystemTickCounter::Now() const {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    const auto ms =
        static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

ITickCounter& SystemTickCounter() {
    static TSystemTickCounter counter;
    return counter;
}
