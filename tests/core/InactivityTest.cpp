// SPDX-License-Identifier: MIT
#include "Inactivity.h"

#include <gtest/gtest.h>

namespace {
struct TIdleCase {
    const char* Name;
    std::uint32_t Now;
    std::uint32_t LastInput;
    std::uint32_t Period;
    bool Inactive;
};

class InactivityTest : public ::testing::TestWithParam<TIdleCase> {};

TEST_P(InactivityTest, ComparesIdleTimeWithThePeriod) {
    const TIdleCase& c = GetParam();
    EXPECT_EQ(IsUserInactive(c.Now, c.LastInput, c.Period), c.Inactive);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InactivityTest,
    ::testing::Values(TIdleCase{"JustBelow", 1'000'000 + 599'999, 1'000'000, 600, false},
                      TIdleCase{"EqualDoesNotCount", 1'000'000 + 600'000, 1'000'000, 600, false},
                      TIdleCase{"OneMsOver", 1'000'000 + 600'001, 1'000'000, 600, true},
                      TIdleCase{"WrapEqualToTheLimit", 598'999, 0xFFFFFFFFu - 1'000, 600, false},
                      TIdleCase{"WrapAndOver", 599'000, 0xFFFFFFFFu - 1'000, 600, true},
                      TIdleCase{"PeriodZeroNoMove", 5'000, 5'000, 0, false},
                      TIdleCase{"PeriodZeroOneMs", 5'001, 5'000, 0, true},
                      // 4294967295 s (a stored -1) * 1000 = 2^32 - 1000 ms: practically never.
                      TIdleCase{"MinusOneOverTheLimit", 4294966297u, 0, 4294967295u, true},
                      TIdleCase{"MinusOneAtTheLimit", 4294966296u, 0, 4294967295u, false},
                      TIdleCase{"MinusOneFortyNineDays", 4'233'600'000u, 0, 4294967295u, false},
                      // 4294968 s * 1000 wraps to 704 ms: a hand-edited value can give a short limit.
                      TIdleCase{"ProductWrapsShort", 705, 0, 4294968u, true},
                      TIdleCase{"ProductWrapsShortEqual", 704, 0, 4294968u, false},
                      // An input tick "after" now (a source slightly ahead) is a huge idle time.
                      TIdleCase{"InputAheadOfNow", 1'000, 1'001, 600, true}),
    [](const auto& Info) { return std::string(Info.param.Name); });

static_assert(!IsUserInactive(600'000, 0, 600));
static_assert(IsUserInactive(600'001, 0, 600));
} // namespace
