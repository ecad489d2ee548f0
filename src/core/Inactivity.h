// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// Whether the user counts as inactive: the time since the last input is longer than the
// period. Both sides are taken modulo 2^32 like the tick counter, so a wrap of the counter
// between the two readings does no harm, and a period whose milliseconds exceed 32 bits wraps
// too (a stored -1 gives a limit 1000 ms short of 2^32). Idle time equal to the limit is not
// inactivity.
constexpr bool IsUserInactive(std::uint32_t Now, std::uint32_t LastInputTick, std::uint32_t PeriodSeconds) {
    const std::uint32_t idle = Now - LastInputTick;
    const std::uint32_t limit = PeriodSeconds * 1000u;
    return idle > limit;
}
