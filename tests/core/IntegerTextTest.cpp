// SPDX-License-Identifier: MIT
#include "IntegerText.h"

#include "Errors.h"

#include <gtest/gtest.h>

namespace {
struct TIntCase {
    const char* Text;
    bool Valid;
    std::int32_t Value;
};

class StrToIntTest : public ::testing::TestWithParam<TIntCase> {};

TEST_P(StrToIntTest, FollowsThePlatformRule) {
    std::int32_t value = 777;
    const bool valid = TryStrToInt(QString::fromUtf8(GetParam().Text), value);
    EXPECT_EQ(valid, GetParam().Valid) << GetParam().Text;
    EXPECT_EQ(value, GetParam().Valid ? GetParam().Value : 777) << GetParam().Text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StrToIntTest,
    ::testing::Values(TIntCase{"0", true, 0}, TIntCase{"42", true, 42}, TIntCase{"-42", true, -42},
                      TIntCase{"+42", true, 42}, TIntCase{"   5", true, 5}, TIntCase{"007", true, 7},
                      TIntCase{"2147483647", true, 2147483647},
                      TIntCase{"-2147483648", true, -2147483647 - 1}, TIntCase{"2147483648", false, 0},
                      TIntCase{"-2147483649", false, 0}, TIntCase{"99999999999999999999", false, 0},
                      TIntCase{"$FF", true, 255}, TIntCase{"xff", true, 255}, TIntCase{"Xff", true, 255},
                      TIntCase{"0x1A", true, 26}, TIntCase{"0X1a", true, 26}, TIntCase{"-$10", true, -16},
                      TIntCase{"$FFFFFFFF", true, -1}, TIntCase{"$80000000", true, -2147483647 - 1},
                      TIntCase{"$000000001", true, 1}, TIntCase{"$100000000", false, 0},
                      TIntCase{"$", false, 0}, TIntCase{"0x", false, 0}, TIntCase{"", false, 0},
                      TIntCase{" ", false, 0}, TIntCase{"-", false, 0}, TIntCase{"+-1", false, 0},
                      TIntCase{"1 ", false, 0}, TIntCase{"\t1", false, 0}, TIntCase{"1a", false, 0},
                      TIntCase{"$G", false, 0}, TIntCase{"1e3", false, 0}, TIntCase{"\xd9\xa3", false, 0}));

TEST(StrToIntTest, FailureQuotesTheText) {
    try {
        StrToInt(QStringLiteral(" 12x"));
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("' 12x' is not a valid integer value"));
    }
}
} // namespace
