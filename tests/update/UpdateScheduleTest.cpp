// SPDX-License-Identifier: MIT
#include "UpdateSchedule.h"

#include "FakeClock.h"
#include "FakePrompt.h"
#include "FakeUpdateTimeFile.h"

#include <bit>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr double May7At10 = 41766.416666666664; // 7 May 2014 10:00:00.000
constexpr double May7At6 = 41766.25;
constexpr double OneMs = 1.0 / 86400000.0;

TEST(UpdateTime, StoredTextIsTheDecimalBitPattern) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(May7At10), 0x40E464CD55555555ull);
    EXPECT_EQ(EncodeUpdateTime(May7At10), QStringLiteral("4675973146180146517"));
    EXPECT_EQ(EncodeUpdateTime(0.0), QStringLiteral("0"));
    EXPECT_EQ(EncodeUpdateTime(-2.0), QStringLiteral("-4611686018427387904")); // sign bit set: negative
}

struct TDecodeCase {
    const char* Text;
    std::optional<std::uint64_t> Bits;
};

class DecodeUpdateTimeTest : public ::testing::TestWithParam<TDecodeCase> {};

TEST_P(DecodeUpdateTimeTest, ReadsOneSigned64BitInteger) {
    const std::optional<double> value = DecodeUpdateTime(QString::fromUtf8(GetParam().Text));
    ASSERT_EQ(value.has_value(), GetParam().Bits.has_value());
    if (value) {
        EXPECT_EQ(std::bit_cast<std::uint64_t>(*value), *GetParam().Bits);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeUpdateTimeTest,
    ::testing::Values(TDecodeCase{"4675973146180146517", 0x40E464CD55555555ull},
                      TDecodeCase{"  \t4675973146180146517\r\n", 0x40E464CD55555555ull},
                      TDecodeCase{"+4675973146180146517", 0x40E464CD55555555ull},
                      TDecodeCase{"$40E464CD55555555", 0x40E464CD55555555ull},
                      TDecodeCase{"0x40E464CD55555555", 0x40E464CD55555555ull}, TDecodeCase{"0", 0ull},
                      TDecodeCase{"-1", 0xFFFFFFFFFFFFFFFFull},
                      TDecodeCase{"9223372036854775807", 0x7FFFFFFFFFFFFFFFull},
                      TDecodeCase{"-9223372036854775808", 0x8000000000000000ull},
                      TDecodeCase{"9223372036854775808", std::nullopt}, // one past the top
                      TDecodeCase{"99999999999999999999", std::nullopt}, TDecodeCase{"", std::nullopt},
                      TDecodeCase{" \r\n", std::nullopt}, TDecodeCase{"abc", std::nullopt},
                      TDecodeCase{"4675973146180146517x", std::nullopt},
                      TDecodeCase{"46759 73146", std::nullopt}, TDecodeCase{"-", std::nullopt},
                      TDecodeCase{"$", std::nullopt},
                      TDecodeCase{"$10000000000000000", std::nullopt}, // 17 hex digits
                      TDecodeCase{"41766.416666666664", std::nullopt}));

TEST(UpdateTime, MillisecondsRoundTripAcrossDayAndSignBoundaries) {
    for (const std::int64_t ms :
         {std::int64_t{0}, std::int64_t{1}, std::int64_t{86399999}, std::int64_t{86400000}, std::int64_t{-1},
          std::int64_t{-86399999}, std::int64_t{-86400000}, std::int64_t{-86400001},
          std::int64_t{3608617536000000}}) {
        EXPECT_EQ(DateTimeToMilliseconds(MillisecondsToDateTime(ms)), ms) << ms;
    }
    // Before 30 December 1899 the time of day still counts forwards: -1.25 is 29 December, 06:00.
    EXPECT_EQ(DateTimeToMilliseconds(-1.25), -18 * 3600000LL);
    EXPECT_EQ(DateTimeToMilliseconds(May7At10), 41766LL * 86400000 + 10 * 3600000LL);
}

TEST(UpdateTime, OneDayLaterAddsExactly86400000Ms) {
    for (const double now : {May7At10, May7At6, 0.0, 0.9999999, -1.25, -0.5, 45000.999988425926}) {
        EXPECT_EQ(DateTimeToMilliseconds(OneDayLater(now)), DateTimeToMilliseconds(now) + 86400000) << now;
    }
}

struct TDueCase {
    double Next;
    double Now;
    bool Due;
};

class UpdateCheckDueTest : public ::testing::TestWithParam<TDueCase> {};

TEST_P(UpdateCheckDueTest, DueWhenTheNextCheckIsNotLater) {
    EXPECT_EQ(IsUpdateCheckDue(GetParam().Next, GetParam().Now), GetParam().Due);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UpdateCheckDueTest,
    ::testing::Values(TDueCase{May7At10, May7At6, false}, TDueCase{May7At10, May7At10, true},
                      TDueCase{May7At10, May7At10 - OneMs, false}, TDueCase{May7At10, May7At10 + OneMs, true},
                      TDueCase{May7At10 + 0.3 * OneMs, May7At10, true}, // same millisecond
                      TDueCase{0.0, May7At6, true},
                      TDueCase{std::numeric_limits<double>::quiet_NaN(), May7At6, true},
                      TDueCase{std::numeric_limits<double>::infinity(), May7At6, true},
                      TDueCase{-std::numeric_limits<double>::infinity(), May7At6, true},
                      TDueCase{1e300, May7At6, true}, TDueCase{2958466.0, May7At6, true},
                      TDueCase{2958465.5, May7At6, false}, TDueCase{-1e7, May7At6, true}));

TEST(SystemClock, ShowsALocalDateTimeOfThisCentury) {
    const double now = SystemClock().Now();
    EXPECT_GT(now, 43831.0); // 1 January 2020
    EXPECT_LT(now, 73051.0); // 1 January 2100
    EXPECT_DOUBLE_EQ(EncodeLocalDateTime(41766 - 25569, 10 * 3600000LL), May7At10);
    EXPECT_DOUBLE_EQ(EncodeLocalDateTime(-25569 - 1, 6 * 3600000LL), -1.25);
}

// ---- the tick over the states of "upd" ----------------------------------------------------

struct TTickCase {
    const char* Name;
    std::optional<QString> Content; // none: no file
    bool ReadFails;
    double Now;
    bool Check; // the check starts and "upd" gets now + 24 h
};

const QString Example = QStringLiteral("4675973146180146517");

class UpdateScheduleTickTest : public ::testing::TestWithParam<TTickCase> {};

TEST_P(UpdateScheduleTickTest, FirstTickOfTheRun) {
    const TTickCase& c = GetParam();
    TFakePrompt prompt;
    TFakeClock clock(c.Now);
    TFakeUpdateTimeFile file;
    file.Content = c.Content;
    file.ReadFails = c.ReadFails;
    int checks = 0;
    TUpdateSchedule schedule(prompt, clock, file.Bind(), [&] { ++checks; });

    schedule.Tick();

    EXPECT_EQ(checks, c.Check ? 1 : 0);
    if (c.Check) {
        EXPECT_EQ(file.Content, EncodeUpdateTime(OneDayLater(c.Now)));
        EXPECT_EQ(DateTimeToMilliseconds(schedule.NextUpdateCheck()),
                  DateTimeToMilliseconds(c.Now) + 86400000);
    } else {
        EXPECT_EQ(file.Writes, 0);
        EXPECT_EQ(file.Content, c.Content);
    }
    if (c.ReadFails) {
        ASSERT_EQ(prompt.MessageRequests.size(), 1u);
        const TMessageBoxRequest& box = prompt.MessageRequests[0];
        EXPECT_EQ(box.Caption, QStringLiteral("Error"));
        EXPECT_EQ(box.Icon, TMessageIcon::Error);
        EXPECT_EQ(box.Buttons, std::vector<TDialogButton>{TDialogButton::Close});
        EXPECT_EQ(box.Text,
                  QStringLiteral("Couldn't read next check-for-updates time from file \"/data/upd\". Will "
                                 "check for updates right now.\r\nUnderlying error: Cannot open file "
                                 "\"/data/upd\". Locked"));
    } else {
        EXPECT_TRUE(prompt.MessageRequests.empty());
    }
}

QString BitsText(double Value) {
    return EncodeUpdateTime(Value);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UpdateScheduleTickTest,
    ::testing::Values(
        TTickCase{"Missing", std::nullopt, false, May7At6, true},
        TTickCase{"Unreadable", Example, true, May7At6, true},
        TTickCase{"Past", BitsText(May7At6 - 1.0), false, May7At6, true},
        TTickCase{"Future", Example, false, May7At6, false},
        TTickCase{"ExactlyNow", Example, false, May7At10, true},
        TTickCase{"OneMsBefore", Example, false, May7At10 - OneMs, false},
        TTickCase{"BlanksAndLineBreak", QStringLiteral("   4675973146180146517\r\n"), false, May7At6, false},
        TTickCase{"Letters", QStringLiteral("tomorrow"), false, May7At6, true},
        TTickCase{"Empty", QString(), false, May7At6, true},
        TTickCase{"Zero", QStringLiteral("0"), false, May7At6, true},
        TTickCase{"NaN", BitsText(std::numeric_limits<double>::quiet_NaN()), false, May7At6, true},
        TTickCase{"Infinity", BitsText(std::numeric_limits<double>::infinity()), false, May7At6, true},
        TTickCase{"FarFuture", BitsText(1e300), false, May7At6, true},
        TTickCase{"FarPast", BitsText(-1e12), false, May7At6, true}),
    [](const ::testing::TestParamInfo<TTickCase>& Info) { return std::string(Info.param.Name); });

TEST(UpdateSchedule, UpdIsReadOncePerRunAndLaterTicksWaitForTheNextDay) {
    TFakePrompt prompt;
    TFakeClock clock(May7At6);
    TFakeUpdateTimeFile file;
    int checks = 0;
    TUpdateSchedule schedule(prompt, clock, file.Bind(), [&] { ++checks; });
    schedule.Tick();
    ASSERT_EQ(checks, 1);
    file.Content = QStringLiteral("0"); // an edit takes effect at the next start only
    clock.Set(May7At6 + 0.5);
    schedule.Tick();
    EXPECT_EQ(checks, 1);
    EXPECT_EQ(file.Reads, 0); // the first tick found no file
    clock.Set(May7At6 + 1.0 - OneMs);
    schedule.Tick();
    EXPECT_EQ(checks, 1);
    clock.Set(May7At6 + 1.0);
    schedule.Tick();
    EXPECT_EQ(checks, 2);
    EXPECT_EQ(file.Content, EncodeUpdateTime(OneDayLater(May7At6 + 1.0)));
}

TEST(UpdateSchedule, WriteFailureIsShownAndTheCheckRunsAllTheSame) {
    TFakePrompt prompt;
    TFakeClock clock(May7At6);
    TFakeUpdateTimeFile file;
    file.WriteFails = true;
    std::vector<int> order;
    prompt.OnMessage = [&](const TMessageBoxRequest&) {
        order.push_back(1);
        return mrClose;
    };
    TUpdateSchedule schedule(prompt, clock, file.Bind(), [&] { order.push_back(2); });
    schedule.Tick();
    EXPECT_EQ(order, (std::vector<int>{1, 2})); // written (and reported) before the check
    ASSERT_EQ(prompt.MessageRequests.size(), 1u);
    EXPECT_EQ(
        prompt.MessageRequests[0].Text,
        QStringLiteral("Couldn't write next check-for-updates time to file \"/data/upd\". Please check if "
                       "Tallyvox is allowed to write to the application folder.\r\nUnderlying error: Cannot "
                       "create file \"/data/upd\". Locked"));
    EXPECT_EQ(prompt.MessageRequests[0].Buttons, std::vector<TDialogButton>{TDialogButton::Close});
    clock.Set(May7At6 + 0.5);
    schedule.Tick(); // the new time stayed in memory
    EXPECT_EQ(order.size(), 2u);
}

} // namespace
