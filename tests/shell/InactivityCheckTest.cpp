// SPDX-License-Identifier: MIT
#include "InactivityCheck.h"

#include "FakePrompt.h"
#include "FakeTickCounter.h"
#include "LastInput.h"
#include "Settings.h"
#include "TaskTracker.h"
#include "TempDir.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {
// Records each query together with how many settings reads came before it.
class TFakeLastInput final : public ILastInputSource {
public:
    explicit TFakeLastInput(const TSettings& Settings) : FSettings(Settings) {}
    std::optional<std::uint32_t> LastInputTick() override {
        ReadsBeforeQuery.push_back(FSettings.IniFile().ReadCount());
        return Tick;
    }
    void SetIdleLimit(std::uint32_t LimitMs) override { Limits.push_back(LimitMs); }
    bool AnswersWithIdleTime() const override { return !OnlyTellsPassedLimit; }
    std::optional<std::uint32_t> Tick = 0;
    bool OnlyTellsPassedLimit = false;
    std::vector<std::uint32_t> Limits;
    std::vector<std::uint64_t> ReadsBeforeQuery;

private:
    const TSettings& FSettings;
};

class TLoggingTicks final : public ITickCounter {
public:
    explicit TLoggingTicks(const TSettings& Settings) : FSettings(Settings) {}
    std::uint32_t Now() const override {
        ReadsBeforeNow.push_back(FSettings.IniFile().ReadCount());
        return Value;
    }
    std::uint32_t Value = 0;
    mutable std::vector<std::uint64_t> ReadsBeforeNow;

private:
    const TSettings& FSettings;
};

class InactivityCheckTest : public ::testing::Test {
protected:
    void SetUp() override { Row = &Tracker.AppendTask(QStringLiteral("Write report")); }

    void WriteSettings(const QByteArray& Lines) {
        QFile f(Path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[InactivityDetection]\r\n" + Lines);
    }

    void Start(std::uint32_t Tick) {
        TrackerTicks.Set(Tick);
        Tracker.SetActiveTask(Row, true);
    }

    // One check with the counter at Now and the last input at LastInput.
    void CheckAt(std::uint32_t Now, std::optional<std::uint32_t> LastInput) {
        Ticks.Value = Now;
        TrackerTicks.Set(Now);
        Input.Tick = LastInput;
        Check.Check();
    }

    TTempDir Dir;
    QString Path = Dir.File(QStringLiteral("settings.ini"));
    TSettings Settings{Path};
    TFakeTickCounter TrackerTicks{0};
    TTaskTracker Tracker{TrackerTicks};
    TTaskRow* Row = nullptr;
    TFakeLastInput Input{Settings};
    TLoggingTicks Ticks{Settings};
    TFakePrompt Prompt;
    int Stops = 0;
    std::size_t BoxesBeforeStop = 0;
    TInactivityCheck Check{Tracker, Settings, Input, Ticks, Prompt, [this] {
                               ++Stops;
                               BoxesBeforeStop = Prompt.MessageRequests.size();
                               Tracker.SetActiveTask(nullptr, false);
                               return true;
                           }};
};

TEST_F(InactivityCheckTest, NoActiveTaskReadsNothing) {
    CheckAt(4'000'000'000u, 0);
    EXPECT_EQ(Settings.IniFile().ReadCount(), 0u);
    EXPECT_TRUE(Input.ReadsBeforeQuery.empty());
    EXPECT_TRUE(Ticks.ReadsBeforeNow.empty());
    EXPECT_EQ(Stops, 0);
    EXPECT_TRUE(Prompt.MessageRequests.empty());
}

TEST_F(InactivityCheckTest, DetectionOffStopsAfterReadingEnabled) {
    WriteSettings("Enabled=0\r\nPeriod=0\r\n");
    Start(0);
    CheckAt(4'000'000'000u, 0);
    EXPECT_EQ(Settings.IniFile().ReadCount(), 1u);
    EXPECT_TRUE(Input.ReadsBeforeQuery.empty());
    EXPECT_EQ(Stops, 0);
    EXPECT_EQ(Tracker.ActiveTask(), Row);
}

TEST_F(InactivityCheckTest, ReadsEnabledThenQueriesThenPeriodThenTicks) {
    Start(0);
    CheckAt(10'000, 9'000);
    EXPECT_EQ(Input.ReadsBeforeQuery, std::vector<std::uint64_t>{1});
    EXPECT_EQ(Ticks.ReadsBeforeNow, std::vector<std::uint64_t>{2});
    EXPECT_EQ(Stops, 0);
}

struct TStopCase {
    const char* Name;
    QByteArray Settings;
    std::uint32_t LastInput;
    std::uint32_t Now;
    bool Stops;
};

class InactivityStopTest : public InactivityCheckTest, public ::testing::WithParamInterface<TStopCase> {};

TEST_P(InactivityStopTest, StopsOnlyWhenIdleLongerThanThePeriod) {
    const TStopCase& c = GetParam();
    WriteSettings(c.Settings);
    Start(c.LastInput);
    CheckAt(c.Now, c.LastInput);
    EXPECT_EQ(Stops, c.Stops ? 1 : 0);
    EXPECT_EQ(Prompt.MessageRequests.size(), c.Stops ? 1u : 0u);
    EXPECT_EQ(Tracker.ActiveTask(), c.Stops ? nullptr : Row);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InactivityStopTest,
    ::testing::Values(TStopCase{"DefaultPeriodEqual", "", 1'000, 601'000, false},
                      TStopCase{"DefaultPeriodOver", "", 1'000, 601'001, true},
                      TStopCase{"HandEditedHex", "Period=0x3C\r\n", 1'000, 61'001, true},
                      TStopCase{"WrapOfTheCounterNotYet", "Period=600\r\n", 0xFFFFFF00u, 599'000, false},
                      TStopCase{"WrapOfTheCounterOver", "Period=600\r\n", 0xFFFFFF00u, 600'000, true},
                      TStopCase{"PeriodZeroSameTick", "Period=0\r\n", 5'000, 5'000, false},
                      TStopCase{"PeriodZeroNextTick", "Period=0\r\n", 5'000, 5'001, true},
                      TStopCase{"MinusOneNeverInPractice", "Period=-1\r\n", 0, 4'233'600'000u, false},
                      TStopCase{"ProductWrapsToShortLimit", "Period=4294968\r\n", 0, 705, true},
                      TStopCase{"EnabledWordIsOn", "Enabled=false\r\nPeriod=1\r\n", 0, 1'001, true},
                      TStopCase{"DisabledNeverStops", "Enabled=0\r\nPeriod=0\r\n", 0, 4'000'000'000u, false}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(InactivityCheckTest, StopThenWarningBoxOnTop) {
    Start(1'000);
    CheckAt(700'000, 1'000);
    ASSERT_EQ(Stops, 1);
    EXPECT_EQ(BoxesBeforeStop, 0u) << "the task is stopped before the box is shown";
    ASSERT_EQ(Prompt.MessageRequests.size(), 1u);
    const TMessageBoxRequest& box = Prompt.MessageRequests.front();
    EXPECT_EQ(box.Caption, QStringLiteral("Tallyvox activity detection"));
    EXPECT_EQ(box.Text, QStringLiteral("We have detected no activity for the past time.\r\n"
                                       "The currently active task is stopped for now."));
    EXPECT_EQ(box.Icon, TMessageIcon::Warning);
    EXPECT_EQ(box.Buttons, std::vector<TDialogButton>{TDialogButton::OK});
    EXPECT_TRUE(box.TopMost);
    // The idle period stays counted, and the stopped task is the one a resume continues.
    EXPECT_EQ(Row->Clock().ElapsedMs, 699'000u);
    EXPECT_EQ(Tracker.LastActiveTask(), Row);
    // The next check finds no active task: no second box.
    CheckAt(701'000, 1'000);
    EXPECT_EQ(Prompt.MessageRequests.size(), 1u);
}

TEST_F(InactivityCheckTest, FailedQueryCountsAsActive) {
    Start(0);
    CheckAt(4'000'000'000u, std::nullopt);
    EXPECT_EQ(Stops, 0);
    EXPECT_EQ(Tracker.ActiveTask(), Row);
}

TEST_F(InactivityCheckTest, NoBoxWhenTheStopDidNotRun) {
    TInactivityCheck check(Tracker, Settings, Input, Ticks, Prompt, [] { return false; });
    Start(0);
    Ticks.Value = 4'000'000'000u;
    check.Check();
    EXPECT_TRUE(Prompt.MessageRequests.empty());
}

TEST_F(InactivityCheckTest, SettingChangeAppliesAtTheNextCheck) {
    WriteSettings("Period=600\r\n");
    Start(0);
    CheckAt(120'000, 0);
    EXPECT_EQ(Stops, 0);
    WriteSettings("Period=60\r\n");
    CheckAt(120'000, 0);
    EXPECT_EQ(Stops, 1);
}

// A compositor's idle notification answers "now" until the limit has passed, so an earlier
// answer says nothing about the idle time to come.
TEST_F(InactivityCheckTest, ASourceThatOnlyTellsAPassedLimitIsAskedAtEveryCheck) {
    Input.OnlyTellsPassedLimit = true;
    Start(0);
    CheckAt(300'000, 300'000);
    EXPECT_EQ(Stops, 0);
    CheckAt(600'001, 0);
    EXPECT_EQ(Stops, 1);
    EXPECT_EQ(Input.Limits, (std::vector<std::uint32_t>{600'000, 600'000}));
}

} // namespace
