// SPDX-License-Identifier: MIT
#include "TaskTime.h"

#include "Errors.h"

#include <gtest/gtest.h>
#include <limits>
#include <typeinfo>

namespace {
struct TComponentsCase {
    std::int32_t Hours, Minutes, Seconds;
    bool ForceHours;
    const char* Text;
};

class BuildComponentsTest : public ::testing::TestWithParam<TComponentsCase> {};

TEST_P(BuildComponentsTest, PrintsTheComponentsAsTheyStand) {
    const TComponentsCase& c = GetParam();
    EXPECT_EQ(TTaskDuration::Build(c.Hours, c.Minutes, c.Seconds, c.ForceHours), QString::fromLatin1(c.Text));
}

constexpr std::int32_t Min32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t Max32 = std::numeric_limits<std::int32_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Components, BuildComponentsTest,
    ::testing::Values(TComponentsCase{0, 0, 0, false, "0:00"}, TComponentsCase{0, 0, 0, true, "0:00:00"},
                      TComponentsCase{0, 5, 7, false, "5:07"}, TComponentsCase{1, 2, 3, false, "1:02:03"},
                      TComponentsCase{123, 4, 5, false, "123:04:05"},
                      TComponentsCase{0, 75, 3, false, "75:03"}, TComponentsCase{0, 59, 59, false, "59:59"},
                      TComponentsCase{0, -1, -5, false, "-1:-05"},
                      TComponentsCase{-1, 0, 0, false, "-1:00:00"},
                      TComponentsCase{0, 0, 100, false, "0:100"},
                      TComponentsCase{1193, 2, 47, false, "1193:02:47"},
                      TComponentsCase{Max32, Max32, Max32, false, "2147483647:2147483647:2147483647"},
                      TComponentsCase{0, Min32, Min32, false, "-2147483648:-2147483648"}));

struct TSecondsCase {
    std::int32_t Seconds;
    bool ForceHours;
    const char* Text;
};

class BuildSecondsTest : public ::testing::TestWithParam<TSecondsCase> {};

TEST_P(BuildSecondsTest, SplitsTruncatingTowardZero) {
    EXPECT_EQ(TTaskDuration::Build(GetParam().Seconds, GetParam().ForceHours),
              QString::fromLatin1(GetParam().Text))
        << GetParam().Seconds;
}

INSTANTIATE_TEST_SUITE_P(
    Seconds, BuildSecondsTest,
    ::testing::Values(TSecondsCase{0, false, "0:00"}, TSecondsCase{59, false, "0:59"},
                      TSecondsCase{60, false, "1:00"}, TSecondsCase{600, true, "0:10:00"},
                      TSecondsCase{3599, false, "59:59"}, TSecondsCase{3600, false, "1:00:00"},
                      TSecondsCase{3661, true, "1:01:01"}, TSecondsCase{-65, false, "-1:-05"},
                      TSecondsCase{-3600, false, "-1:00:00"}, TSecondsCase{Max32, false, "596523:14:07"},
                      TSecondsCase{Min32, false, "-596523:-14:-08"}));

struct TParseCase {
    const char* Text;
    std::int32_t Seconds;
};

class ParseTest : public ::testing::TestWithParam<TParseCase> {};

TEST_P(ParseTest, WeighsThePartsFromTheLeft) {
    EXPECT_EQ(TTaskDuration::Parse(QString::fromUtf8(GetParam().Text)), GetParam().Seconds)
        << GetParam().Text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseTest,
    ::testing::Values(TParseCase{"", 0}, TParseCase{"00:10:00", 600}, TParseCase{"1:2:3", 3723},
                      TParseCase{"0:99:99", 6039}, TParseCase{"-1:30", -1800}, TParseCase{" 7", 25200},
                      TParseCase{"5", 18000}, TParseCase{"10:00", 36000}, TParseCase{"0:0:59", 59},
                      TParseCase{"0:1:0", 60}, TParseCase{"0:0:60", 60}, TParseCase{"0:59:60", 3600},
                      TParseCase{"+1:+1:+1", 3661}, TParseCase{"007:000:009", 25209},
                      TParseCase{"$A:x1:0x2", 36062}, TParseCase{"0:0:2147483647", 2147483647},
                      TParseCase{"0:0:-2147483648", -2147483647 - 1},
                      TParseCase{"596523:14:07", 2147483647}));

struct TParseErrorCase {
    const char* Text;
    const char* Message;
    bool Conversion;
};

class ParseErrorTest : public ::testing::TestWithParam<TParseErrorCase> {};

TEST_P(ParseErrorTest, RaisesTheMessageOfTheFirstFault) {
    const TParseErrorCase& c = GetParam();
    try {
        TTaskDuration::Parse(QString::fromUtf8(c.Text));
        FAIL() << "no error for " << c.Text;
    } catch (const EAppError& e) {
        EXPECT_EQ(e.Message(), QString::fromUtf8(c.Message)) << c.Text;
        EXPECT_EQ(dynamic_cast<const EConvertError*>(&e) != nullptr, c.Conversion) << c.Text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseErrorTest,
    ::testing::Values(TParseErrorCase{"7 ", "'7 ' is not a valid integer value", true},
                      TParseErrorCase{"1::2", "'' is not a valid integer value", true},
                      TParseErrorCase{"1:", "'' is not a valid integer value", true},
                      TParseErrorCase{":", "'' is not a valid integer value", true},
                      TParseErrorCase{"a:00", "'a' is not a valid integer value", true},
                      TParseErrorCase{"1:b:c", "'b' is not a valid integer value", true},
                      TParseErrorCase{"\t1", "'\t1' is not a valid integer value", true},
                      TParseErrorCase{"1:2:3:4", "Invalid input string format 1:2:3:4", false},
                      TParseErrorCase{"x:y:z:w", "Invalid input string format x:y:z:w", false},
                      TParseErrorCase{"::::", "Invalid input string format ::::", false},
                      TParseErrorCase{"0:0:2147483648", "'2147483648' is not a valid integer value", true},
                      // Totals beyond 32 bits are refused rather than wrapped.
                      TParseErrorCase{"596524", "Invalid input string format 596524", false},
                      TParseErrorCase{"596523:14:08", "Invalid input string format 596523:14:08", false},
                      TParseErrorCase{"-596524", "Invalid input string format -596524", false}));

} // namespace
