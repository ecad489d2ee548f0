// SPDX-License-Identifier: MIT
#include "TaskTracker.h"

#include "FakeTickCounter.h"

#include <gtest/gtest.h>

namespace {
class TCountingObserver final : public ITaskTrackerObserver {
public:
    void TrackingOutputsChanged() override { ++Outputs; }
    void TaskRowInserted(int Index) override { Inserted.push_back(Index); }
    void TaskRowRemoved(int Index) override { Removed.push_back(Index); }
    int Outputs = 0;
    std::vector<int> Inserted, Removed;
};

class TrackerFixture {
protected:
    TrackerFixture() : FTracker(FTicks) {
        FA = &FTracker.AppendTask(QStringLiteral("A"));
        FB = &FTracker.AppendTask(QStringLiteral("B"));
        FTracker.AddObserver(FObserver);
    }
    TFakeTickCounter FTicks{1000};
    TTaskTracker FTracker;
    TTaskRow* FA = nullptr;
    TTaskRow* FB = nullptr;
    TCountingObserver FObserver;
};

enum class TState { Fresh, RunningA, RunningALastB, PausedA };
enum class TRef { None, A, B };

struct TSwitchCase {
    const char* Name;
    TState State;
    TRef Target;
    bool Force;
    TRef Active, Last;
    std::uint32_t AElapsed; // after 5 s passed in the state
    const char* Title;
    int Outputs; // how often the outputs were refreshed by the call
};

class SetActiveTaskTest : public TrackerFixture, public ::testing::TestWithParam<TSwitchCase> {
protected:
    TTaskRow* RowOf(TRef Ref) const { return Ref == TRef::A ? FA : Ref == TRef::B ? FB : nullptr; }
    void Enter(TState State) {
        if (State == TState::RunningALastB)
            FTracker.SetActiveTask(FB, false);
        if (State != TState::Fresh)
            FTracker.SetActiveTask(FA, false);
        if (State == TState::PausedA)
            FTracker.SetActiveTask(nullptr, false);
        FObserver.Outputs = 0;
    }
};

TEST_P(SetActiveTaskTest, FollowsTheStateTable) {
    const TSwitchCase& c = GetParam();
    Enter(c.State);
    FTicks.Advance(5000);
    FTracker.SetActiveTask(RowOf(c.Target), c.Force);
    EXPECT_EQ(FTracker.ActiveTask(), RowOf(c.Active)) << c.Name;
    EXPECT_EQ(FTracker.LastActiveTask(), RowOf(c.Last)) << c.Name;
    EXPECT_EQ(FA->Clock().ElapsedMs, c.AElapsed) << c.Name;
    EXPECT_EQ(FB->Clock().ElapsedMs, 0u) << c.Name;
    EXPECT_EQ(FTracker.Title(), QString::fromLatin1(c.Title)) << c.Name;
    EXPECT_EQ(FTracker.TrayTip(), FTracker.Title()) << c.Name;
    EXPECT_EQ(FTracker.TrayImageIndex(), FTracker.ActiveTask() ? 0 : 1) << c.Name;
    EXPECT_EQ(FObserver.Outputs, c.Outputs) << c.Name;
}

const char* const Idle = "(idle) - Tallyvox";

INSTANTIATE_TEST_SUITE_P(Table, SetActiveTaskTest,
                         ::testing::Values(TSwitchCase{"fresh, none", TState::Fresh, TRef::None, false,
                                                       TRef::None, TRef::None, 0, "Tallyvox", 0},
                                           TSwitchCase{"fresh, none, forced", TState::Fresh, TRef::None, true,
                                                       TRef::None, TRef::None, 0, Idle, 1},
                                           TSwitchCase{"fresh, A", TState::Fresh, TRef::A, false, TRef::A,
                                                       TRef::None, 0, "A - Tallyvox", 1},
                                           TSwitchCase{"fresh, A, forced", TState::Fresh, TRef::A, true,
                                                       TRef::A, TRef::None, 0, "A - Tallyvox", 1},
                                           TSwitchCase{"running, none", TState::RunningA, TRef::None, false,
                                                       TRef::None, TRef::A, 5000, Idle, 1},
                                           TSwitchCase{"running, same", TState::RunningA, TRef::A, false,
                                                       TRef::A, TRef::None, 0, "A - Tallyvox", 0},
                                           TSwitchCase{"running, same, forced", TState::RunningA, TRef::A,
                                                       true, TRef::A, TRef::A, 5000, "A - Tallyvox", 1},
                                           TSwitchCase{"running, other", TState::RunningA, TRef::B, false,
                                                       TRef::B, TRef::A, 5000, "B - Tallyvox", 1},
                                           TSwitchCase{"running last B, none", TState::RunningALastB,
                                                       TRef::None, false, TRef::None, TRef::A, 5000, Idle, 1},
                                           TSwitchCase{"running last B, same", TState::RunningALastB, TRef::A,
                                                       false, TRef::A, TRef::B, 0, "A - Tallyvox", 0},
                                           TSwitchCase{"running last B, B", TState::RunningALastB, TRef::B,
                                                       false, TRef::B, TRef::A, 5000, "B - Tallyvox", 1},
                                           TSwitchCase{"paused, none", TState::PausedA, TRef::None, false,
                                                       TRef::None, TRef::A, 0, Idle, 0},
                                           TSwitchCase{"paused, none, forced", TState::PausedA, TRef::None,
                                                       true, TRef::None, TRef::None, 0, Idle, 1},
                                           TSwitchCase{"paused, resume", TState::PausedA, TRef::A, false,
                                                       TRef::A, TRef::None, 0, "A - Tallyvox", 1},
                                           TSwitchCase{"paused, other", TState::PausedA, TRef::B, false,
                                                       TRef::B, TRef::None, 0, "B - Tallyvox", 1}));

class TaskTrackerTest : public TrackerFixture, public ::testing::Test {};

TEST_F(TaskTrackerTest, NewRowShowsZeroAndIsNotActive) {
    TTaskRow& row = FTracker.AppendTask(QStringLiteral("C"));
    EXPECT_EQ(row.TimeText(), QStringLiteral("0:00"));
    EXPECT_EQ(row.Clock().ElapsedMs, 0u);
    EXPECT_EQ(FTracker.ActiveTask(), nullptr);
    EXPECT_EQ(FTracker.IndexOf(&row), 2);
    EXPECT_EQ(FObserver.Inserted, std::vector<int>{2});
}

TEST_F(TaskTrackerTest, TickCounterWrapCountsExactlyThePassedTime) {
    FTicks.Set(4294967040u);
    FTracker.SetActiveTask(FA, false);
    FTicks.Set(256);
    FTracker.Tick();
    EXPECT_EQ(FA->Clock().ElapsedMs, 512u);
    EXPECT_EQ(FA->Clock().LastTick, 256u);
}

TEST_F(TaskTrackerTest, ElapsedTimeSaturatesInsteadOfWrapping) {
    FTracker.SetElapsedMs(*FA, 4294966000u);
    FTracker.SetActiveTask(FA, false);
    FTicks.Advance(1000);
    FTracker.Tick();
    EXPECT_EQ(FA->Clock().ElapsedMs, 4294967000u);
    FTicks.Advance(4000);
    FTracker.Tick();
    EXPECT_EQ(FA->Clock().ElapsedMs, 4294967295u);
    EXPECT_EQ(FA->TimeText(), QStringLiteral("1193:02:47"));
    FTicks.Advance(4000000000u);
    FTracker.Tick();
    EXPECT_EQ(FA->Clock().ElapsedMs, 4294967295u);
}

TEST_F(TaskTrackerTest, IdleTimeIsCountedNowhere) {
    FTracker.SetActiveTask(FA, false);
    FTicks.Advance(3000);
    FTracker.SetActiveTask(nullptr, false);
    FTicks.Advance(60000);
    FTracker.SetActiveTask(FTracker.LastActiveTask(), false);
    FTicks.Advance(1500);
    FTracker.Tick();
    EXPECT_EQ(FA->Clock().ElapsedMs, 4500u);
    EXPECT_EQ(FTracker.LastActiveTask(), nullptr);
}

struct TTimeTextCase {
    std::uint32_t Ms;
    const char* Text;
};

class RefreshTaskTimeTest : public TrackerFixture, public ::testing::TestWithParam<TTimeTextCase> {};

TEST_P(RefreshTaskTimeTest, DropsPartsOfASecond) {
    FTracker.SetElapsedMs(*FA, GetParam().Ms);
    EXPECT_EQ(FA->TimeText(), QString::fromLatin1(GetParam().Text)) << GetParam().Ms;
}

INSTANTIATE_TEST_SUITE_P(Times, RefreshTaskTimeTest,
                         ::testing::Values(TTimeTextCase{0, "0:00"}, TTimeTextCase{999, "0:00"},
                                           TTimeTextCase{1000, "0:01"}, TTimeTextCase{59999, "0:59"},
                                           TTimeTextCase{60000, "1:00"}, TTimeTextCase{3599999, "59:59"},
                                           TTimeTextCase{3600000, "1:00:00"},
                                           TTimeTextCase{2147483648u, "596:31:23"},
                                           TTimeTextCase{4294967295u, "1193:02:47"}));

TEST_F(TaskTrackerTest, TipIsCutTo127WithoutSplittingASurrogatePair) {
    const QString longCaption(200, u'x');
    TTaskRow& row = FTracker.AppendTask(longCaption);
    FTracker.SetActiveTask(&row, false);
    EXPECT_EQ(FTracker.Title(), longCaption + QStringLiteral(" - Tallyvox"));
    EXPECT_EQ(FTracker.TrayTip(), QString(127, u'x'));
    // The 127th unit is the first half of an emoji: the whole character goes.
    const QString emoji = QString(126, u'y') + QStringLiteral("\U0001F600") + QStringLiteral("zz");
    FTracker.SetCaption(row, emoji);
    FTracker.SetActiveTask(&row, true);
    EXPECT_EQ(FTracker.TrayTip(), QString(126, u'y'));
    // A title of exactly 127 units is kept whole.
    FTracker.SetCaption(row, QString(127 - 11, u'w'));
    FTracker.SetActiveTask(&row, true);
    EXPECT_EQ(FTracker.TrayTip().size(), 127);
    EXPECT_EQ(FTracker.TrayTip(), FTracker.Title());
}

TEST_F(TaskTrackerTest, RemovingTheActiveAndLastTasksClearsThem) {
    FTracker.SetActiveTask(FA, false);
    FTracker.SetActiveTask(FB, false);
    ASSERT_EQ(FTracker.LastActiveTask(), FA);
    FTracker.RemoveTasks({FA});
    EXPECT_EQ(FTracker.LastActiveTask(), nullptr);
    EXPECT_EQ(FTracker.ActiveTask(), FB);
    EXPECT_EQ(FTracker.IndexOf(FB), 0);
    FTicks.Advance(2000);
    FTracker.RemoveTasks({FB});
    EXPECT_EQ(FTracker.ActiveTask(), nullptr);
    EXPECT_EQ(FTracker.LastActiveTask(), nullptr);
    EXPECT_EQ(FTracker.Title(), QStringLiteral("(idle) - Tallyvox"));
    EXPECT_EQ(FTracker.TrayImageIndex(), 1);
    EXPECT_EQ(FTracker.Count(), 0);
    EXPECT_EQ(FObserver.Removed, (std::vector<int>{0, 0}));
}

TEST_F(TaskTrackerTest, RemovingSeveralRowsKeepsTheOthersInOrder) {
    TTaskRow* c = &FTracker.AppendTask(QStringLiteral("C"));
    TTaskRow* d = &FTracker.AppendTask(QStringLiteral("D"));
    FTracker.RemoveTasks({d, FA, c});
    ASSERT_EQ(FTracker.Count(), 1);
    EXPECT_EQ(&FTracker.Row(0), FB);
    EXPECT_EQ(FObserver.Removed, (std::vector<int>{3, 2, 0}));
    EXPECT_EQ(FTracker.IndexOf(FA), -1);
}

TEST_F(TaskTrackerTest, ResetRestartsTheMeasurement) {
    FTracker.SetActiveTask(FA, false);
    FTicks.Advance(7000);
    FTracker.ResetTask(*FA);
    EXPECT_EQ(FA->TimeText(), QStringLiteral("0:00"));
    FTicks.Advance(2000);
    FTracker.Tick();
    EXPECT_EQ(FA->Clock().ElapsedMs, 2000u);
}

struct TCaptionCase {
    QString In, Out;
};

class SanitizeCaptionTest : public ::testing::TestWithParam<TCaptionCase> {};

TEST_P(SanitizeCaptionTest, LineBreaksBecomeBlanks) {
    EXPECT_EQ(SanitizeCaption(GetParam().In), GetParam().Out);
}

INSTANTIATE_TEST_SUITE_P(
    Captions, SanitizeCaptionTest,
    ::testing::Values(TCaptionCase{QStringLiteral("plain"), QStringLiteral("plain")},
                      TCaptionCase{QStringLiteral("a\r\nb"), QStringLiteral("a b")},
                      TCaptionCase{QStringLiteral("a\n\rb"), QStringLiteral("a  b")},
                      TCaptionCase{QStringLiteral("\ra\n"), QStringLiteral(" a ")},
                      TCaptionCase{QString(u'a') + QChar(0) + u'b', QStringLiteral("a b")},
                      TCaptionCase{QStringLiteral("  keep\tblanks  "), QStringLiteral("  keep\tblanks  ")},
                      TCaptionCase{QString(), QString()}));
} // namespace
