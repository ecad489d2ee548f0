#pragma once

#include <cstdint>

// The system's millisecond tick counter: unsigned 32 bits since the machine started,
// wrapping to 0 after 4294967295 (about every 49.7 days). Every difference of two
// readings is taken modulo 2^32.
class ITickCounter {
public:
    virtual ~ITickCounter() = default;
    virtual std::uint32_t Now() const = 0;
};

// CLOCK_BOOTTIME in milliseconds, truncated to 32 bits.
class TSystemTickCounter final : public ITickCounter {
public:
    std::uint32_t Now() const override;
};

// The process-wide system counter.
ITickCounter& SystemTickCounter();
