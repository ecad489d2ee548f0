// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// The system's millisecond tick counter: unsigned 32 bits since the machine started,
// wrapping to 0 after 4294967295 (about every 49.7 days). Every difference of two
// readings is taken modulo 2^32. The system's counter is in platform (SystemTickCounter.h).
class ITickCounter {
public:
    virtual ~ITickCounter() = default;
    virtual std::uint32_t Now() const = 0;
};
