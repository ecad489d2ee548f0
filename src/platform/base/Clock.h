// SPDX-License-Identifier: MIT
#pragma once

// The wall clock as the program's date-time value: days since 30 December 1899, 00:00, local
// time, whose fraction is the time of day (millisecond resolution). Tests replace it.
class IClock {
public:
    virtual ~IClock() = default;
    virtual double Now() const = 0;
};

// The system's local time (CLOCK_REALTIME with the local time zone's offset).
class TSystemClock final : public IClock {
public:
    double Now() const override;
};

// The process-wide system clock.
IClock& SystemClock();

// The date-time value of a local calendar time; the fraction carries Ms milliseconds exactly as
// far as a double allows. Days before 30 December 1899 are negative with a positive time of day.
double EncodeLocalDateTime(long long DaysSinceEpoch1970, long long MsOfDay);
