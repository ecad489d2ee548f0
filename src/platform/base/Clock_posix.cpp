// SPDX-License-Identifier: MIT
#include "Clock.h"

#include <time.h>

namespace {
constexpr long long MsPerDay = 86400000;
constexpr long long DaysFrom1899To1970 = 25569;
} // namespace

double EncodeLocalDateTime(long long DaysSinceEpoch1970, long long MsOfDay) {
    const long long days = DaysSinceEpoch1970 + DaysFrom1899To1970;
    const double fraction = static_cast<double>(MsOfDay) / static_cast<double>(MsPerDay);
    // Before the epoch day the whole part counts backwards while the time of day still counts forwards.
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

double TSystemClock::Now() const {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    const time_t seconds = ts.tv_sec;
    localtime_r(&seconds, &local);
    const long long localMs =
        (static_cast<long long>(ts.tv_sec) + local.tm_gmtoff) * 1000 + ts.tv_nsec / 1000000;
    long long days = localMs / MsPerDay;
    long long msOfDay = localMs % MsPerDay;
    if (msOfDay < 0) {
        msOfDay += MsPerDay;
        --days;
    }
    return EncodeLocalDateTime(days, msOfDay);
}

IClock& SystemClock() {
    static TSystemClock clock;
    return clock;
}
