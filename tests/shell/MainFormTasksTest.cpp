// SPDX-License-Identifier: MIT
#include "ErrorReporting.h"
#include "Errors.h"
#include "Functions.h"
#include "MainFormFixture.h"

#include <QApplication>
#include <QKeyEvent>

namespace {

struct TRuleCase {
    const char* Name;
    std::vector<int> Selected;
    int Active;     // row index or -1
    int LastActive; // row paused before (only when Active is -1), or -1
    bool Edit, Run, Stop, Delete, Reset, Copy, Toggle;
    const char* ToggleCaption;
};

const TRuleCase RuleCases[] = {
    {"FreshNothingSelected", {}, -1, -1, false, false, false, false, false, false, false, "Resume"},
    {"FreshOneSelected", {1}, -1, -1, true, true, false, true, true, true, false, "Resume"},
    {"RunningOtherSelected", {0}, 1, -1, true, true, true, true, true, true, true, "Pause"},
    {"RunningActiveSelected", {1}, 1, -1, true, false, true, true, true, true, true, "Pause"},
    {"RunningActiveFirstOfTwo", {1, 2}, 1, -1, true, false, true, true, true, true, true, "Pause"},
    {"RunningActiveSecondOfTwo", {0, 1}, 1, -1, true, true, true, true, true, true, true, "Pause"},
    {"RunningNothingSelected", {}, 2, -1, false, false, true, false, false, false, true, "Pause"},
    {"PausedNothingSelected", {}, -1, 2, false, false, false, false, false, false, true, "Resume"},
    {"PausedPausedSelected", {2}, -1, 2, true, true, false, true, true, true, true, "Resume"},
};

class UpdateRulesTest : public MainFormFixture, public ::testing::WithParamInterface<TRuleCase> {};

TEST_P(UpdateRulesTest, EnabledStatesAndCaptionFollowSelectionAndTracking) {
    const TRuleCase& c = GetParam();
    TMainForm& form =
        CreateFormWith({{QStringLiteral("A"), 0}, {QStringLiteral("B"), 0}, {QStringLiteral("C"), 0}});
    TTaskTracker& tracker = form.Tracker();
    if (c.Active >= 0)
        tracker.SetActiveTask(&tracker.Row(c.Active), false);
    if (c.LastActive >= 0) {
        tracker.SetActiveTask(&tracker.Row(c.LastActive), false);
        tracker.SetActiveTask(nullptr, false);
    }
    Select(c.Selected);
    for (TAction* action : form.Actions())
        action->Update();
    EXPECT_EQ(form.TaskEdit.Enabled(), c.Edit);
    EXPECT_EQ(form.TaskRun.Enabled(), c.Run);
    EXPECT_EQ(form.TaskStop.Enabled(), c.Stop);
    EXPECT_EQ(form.TaskDelete.Enabled(), c.Delete);
    EXPECT_EQ(form.TaskReset.Enabled(), c.Reset);
    EXPECT_EQ(form.ClipboardCopy.Enabled(), c.Copy);
    EXPECT_EQ(form.ClipboardCut.Enabled(), c.Copy);
    EXPECT_EQ(form.AppToggleTracking.Enabled(), c.Toggle);
    EXPECT_EQ(form.AppToggleTracking.Caption(), QString::fromLatin1(c.ToggleCaption));
    for (TAction* always : {&form.TaskAddAction, &form.TaskSelectAll, &form.AppExit, &form.AppSettings,
                            &form.AppToggleVisibility})
        EXPECT_TRUE(always->Enabled()) << always->Name().toStdString();
}

INSTANTIATE_TEST_SUITE_P(States, UpdateRulesTest, ::testing::ValuesIn(RuleCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

struct TNewTaskCase {
    const char* Name;
    std::optional<QString> Answer;
    bool Added;
    QString Caption;
};

class NewTaskTest : public MainFormFixture, public ::testing::WithParamInterface<TNewTaskCase> {};

TEST_P(NewTaskTest, AddsOnlyNonEmptyCaptionsAndSavesAtOnce) {
    const TNewTaskCase& c = GetParam();
    TMainForm& form = CreateForm();
    Prompt.InputAnswers.push_back(c.Answer);
    EXPECT_TRUE(form.ExecuteAction(form.TaskAddAction));
    ASSERT_EQ(Prompt.InputRequests.size(), 1u);
    EXPECT_EQ(Prompt.InputRequests[0].Caption, QStringLiteral("New task"));
    EXPECT_EQ(Prompt.InputRequests[0].Prompt, QStringLiteral("Caption"));
    EXPECT_EQ(Prompt.InputRequests[0].Default, QString());
    EXPECT_EQ(Prompt.InputRequests[0].MaxLength, 255);
    EXPECT_TRUE(Prompt.MessageRequests.empty());
    if (!c.Added) {
        EXPECT_EQ(form.Tracker().Count(), 0);
        EXPECT_FALSE(QFile::exists(TasksDb()));
        return;
    }
    ASSERT_EQ(form.Tracker().Count(), 1);
    EXPECT_EQ(form.Tracker().Row(0).Caption(), c.Caption);
    EXPECT_EQ(form.Tracker().Row(0).TimeText(), QStringLiteral("0:00"));
    EXPECT_EQ(form.Tracker().ActiveTask(), nullptr);
    EXPECT_EQ(StoredBytes(), ExpectedBytes());
}

const TNewTaskCase NewTaskCases[] = {
    {"Cancelled", std::nullopt, false, {}},
    {"EmptyField", QString(), false, {}},
    {"SpacesKept", QStringLiteral("  "), true, QStringLiteral("  ")},
    {"Plain", QStringLiteral("Write report"), true, QStringLiteral("Write report")},
    {"LineBreaksBecomeBlanks", QStringLiteral("a\r\nb\nc"), true, QStringLiteral("a b c")},
};
INSTANTIATE_TEST_SUITE_P(Answers, NewTaskTest, ::testing::ValuesIn(NewTaskCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(MainFormFixture, RenameChangesTheUpperSelectedRowOnly) {
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}, {QStringLiteral("B"), 0}});
    Select({0, 1});
    Prompt.InputAnswers.push_back(QStringLiteral("A2"));
    EXPECT_TRUE(form.ExecuteAction(form.TaskEdit));
    EXPECT_EQ(Prompt.InputRequests.at(0).Caption, QStringLiteral("Edit task"));
    EXPECT_EQ(Prompt.InputRequests.at(0).Default, QStringLiteral("A"));
    EXPECT_EQ(form.Tracker().Row(0).Caption(), QStringLiteral("A2"));
    EXPECT_EQ(form.Tracker().Row(1).Caption(), QStringLiteral("B"));
    EXPECT_EQ(StoredBytes(), ExpectedBytes());
}

TEST_F(MainFormFixture, AHugeCaptionIsShownByItsBeginningAndStoredWhole) {
    const QString huge =
        QString(DisplayLimit - 1, u'x') + QStringLiteral("\U0001F600") + QString(10'000'000, u'y');
    TMainForm& form = CreateFormWith({{huge, 0}});
    form.Tracker().SetActiveTask(&form.Tracker().Row(0), false);
    const QString shown = form.Model().data(form.Model().index(0, 0)).toString();
    EXPECT_EQ(shown, QString(DisplayLimit - 1, u'x')) << "no half of a surrogate pair";
    EXPECT_LE(form.windowTitle().size(), DisplayLimit);
    EXPECT_TRUE(form.windowTitle().startsWith(shown));
    Ticks.Advance(1000);
    form.Timer1Timer();
    EXPECT_EQ(StoredBytes(), ExpectedBytes()) << "the file keeps the whole caption";
}

TEST_F(MainFormFixture, RenameOfTheActiveTaskRetitlesWithoutLosingTime) {
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
    TTaskTracker& tracker = form.Tracker();
    tracker.SetActiveTask(&tracker.Row(0), false);
    Ticks.Advance(3000);
    Select({0});
    Prompt.InputAnswers.push_back(QStringLiteral("Renamed"));
    form.ExecuteAction(form.TaskEdit);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Renamed - Tallyvox"));
    EXPECT_EQ(tracker.ActiveTask(), &tracker.Row(0));
    EXPECT_EQ(tracker.LastActiveTask(), nullptr);
    EXPECT_EQ(tracker.Row(0).Clock().ElapsedMs, 3000u);
}

TEST_F(MainFormFixture, CancelledRenameStillSavesTheUnchangedCaption) {
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
    Select({0});
    EXPECT_TRUE(form.ExecuteAction(form.TaskEdit)); // empty answer queue cancels
    EXPECT_EQ(form.Tracker().Row(0).Caption(), QStringLiteral("A"));
    EXPECT_EQ(StoredBytes(), ExpectedBytes());
}

TEST_F(MainFormFixture, RunNeedsTheListFocusElseItStops) {
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}, {QStringLiteral("B"), 0}});
    TTaskTracker& tracker = form.Tracker();
    Select({1});
    EXPECT_TRUE(form.ExecuteAction(form.TaskRun));
    EXPECT_EQ(tracker.ActiveTask(), &tracker.Row(1));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("B - Tallyvox"));
    Select({0});
    form.ListView1->clearFocus();
    EXPECT_TRUE(form.ExecuteAction(form.TaskRun));
    EXPECT_EQ(tracker.ActiveTask(), nullptr);
    EXPECT_EQ(tracker.LastActiveTask(), &tracker.Row(1));
}

TEST_F(MainFormFixture, RemovingTheActiveTaskStopsAndDisablesResume) {
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}, {QStringLiteral("B"), 0}});
    TTaskTracker& tracker = form.Tracker();
    tracker.SetActiveTask(&tracker.Row(0), false);
    Select({0});
    EXPECT_TRUE(form.ExecuteAction(form.TaskDelete));
    ASSERT_EQ(tracker.Count(), 1);
    EXPECT_EQ(tracker.Row(0).Caption(), QStringLiteral("B"));
    EXPECT_EQ(tracker.ActiveTask(), nullptr);
    EXPECT_EQ(tracker.LastActiveTask(), nullptr);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("(idle) - Tallyvox"));
    EXPECT_FALSE(form.ExecuteAction(form.AppToggleTracking));
    EXPECT_EQ(StoredBytes(), ExpectedBytes());
}

TEST_F(MainFormFixture, RemovingWithNothingSelectedDoesNotRunOrSave) {
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
    Select({});
    EXPECT_FALSE(form.ExecuteAction(form.TaskDelete));
    EXPECT_EQ(form.Tracker().Count(), 1);
    EXPECT_FALSE(QFile::exists(TasksDb()));
}

TEST_F(MainFormFixture, ResetZeroesSelectedRowsAndTheActiveOneCountsOn) {
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 65000}, {QStringLiteral("B"), 7000}});
    TTaskTracker& tracker = form.Tracker();
    tracker.SetActiveTask(&tracker.Row(0), false);
    Select({0});
    EXPECT_TRUE(form.ExecuteAction(form.TaskReset));
    EXPECT_EQ(tracker.Row(0).TimeText(), QStringLiteral("0:00"));
    EXPECT_EQ(tracker.Row(1).TimeText(), QStringLiteral("0:07"));
    Ticks.Advance(2000);
    form.Timer1Timer();
    EXPECT_EQ(tracker.Row(0).Clock().ElapsedMs, 2000u);
    EXPECT_EQ(StoredBytes(), ExpectedBytes());
}

TEST_F(MainFormFixture, SelectAllMarksEveryRow) {
    TMainForm& form =
        CreateFormWith({{QStringLiteral("A"), 0}, {QStringLiteral("B"), 0}, {QStringLiteral("C"), 0}});
    Select({1});
    EXPECT_TRUE(form.ExecuteAction(form.TaskSelectAll));
    EXPECT_EQ(form.SelectedTasks().size(), 3u);
}

struct TCopyCase {
    const char* Name;
    std::vector<int> Selected;
    QString Expected;
};

class ClipboardCopyTest : public MainFormFixture, public ::testing::WithParamInterface<TCopyCase> {};

TEST_P(ClipboardCopyTest, TextIsCaptionTabTimeWithLineBreaksExceptAfterTheLastRow) {
    TMainForm& form = CreateFormWith(
        {{QStringLiteral("A"), 5000}, {QStringLiteral("B"), 130000}, {QStringLiteral("C"), 3600000}});
    Select(GetParam().Selected);
    EXPECT_TRUE(form.ExecuteAction(form.ClipboardCopy));
    EXPECT_EQ(Clipboard, GetParam().Expected);
    EXPECT_EQ(form.Tracker().Count(), 3);
}

const TCopyCase CopyCases[] = {
    {"FirstAndLast", {0, 2}, QStringLiteral("A\t0:05\r\nC\t1:00:00")},
    {"FirstTwo", {0, 1}, QStringLiteral("A\t0:05\r\nB\t2:10\r\n")},
    {"LastOnly", {2}, QStringLiteral("C\t1:00:00")},
    {"MiddleOnly", {1}, QStringLiteral("B\t2:10\r\n")},
    {"All", {0, 1, 2}, QStringLiteral("A\t0:05\r\nB\t2:10\r\nC\t1:00:00")},
};
INSTANTIATE_TEST_SUITE_P(Selections, ClipboardCopyTest, ::testing::ValuesIn(CopyCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(MainFormFixture, CopyWithNothingSelectedLeavesTheClipboardAlone) {
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
    Select({});
    EXPECT_FALSE(form.ExecuteAction(form.ClipboardCopy));
    EXPECT_EQ(ClipboardWrites, 0);
}

TEST_F(MainFormFixture, AnEmptyCaptionGivesTextStartingWithTab) {
    TMainForm& form = CreateFormWith({{QString(), 0}});
    Select({0});
    form.ExecuteAction(form.ClipboardCopy);
    EXPECT_EQ(Clipboard, QStringLiteral("\t0:00"));
}

TEST_F(MainFormFixture, CutOfAllRowsEmptiesListAndFile) {
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 5000}, {QStringLiteral("B"), 130000}});
    Select({0, 1});
    EXPECT_TRUE(form.ExecuteAction(form.ClipboardCut));
    EXPECT_EQ(Clipboard, QStringLiteral("A\t0:05\r\nB\t2:10"));
    EXPECT_EQ(form.Tracker().Count(), 0);
    EXPECT_EQ(StoredBytes(), ExpectedBytes());
    EXPECT_EQ(StoredBytes().size(), 3); // the byte-order mark alone
}

TEST_F(MainFormFixture, CutWhoseCopyFailsRemovesNothing) {
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
    Form->ClipboardCopy.SetOnExecute(
        [](TAction&) { throw EAppError(QStringLiteral("Cannot open clipboard: busy")); });
    Select({0});
    form.ExecuteAction(form.ClipboardCut);
    EXPECT_EQ(form.Tracker().Count(), 1);
    ASSERT_EQ(Prompt.MessageRequests.size(), 1u);
    EXPECT_EQ(Prompt.MessageRequests[0].Text, QStringLiteral("Cannot open clipboard: busy."));
}

TEST_F(MainFormFixture, PauseAndResumeTheSameTask) {
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
    TTaskTracker& tracker = form.Tracker();
    EXPECT_FALSE(form.ExecuteAction(form.AppToggleTracking)); // nothing to resume after start
    tracker.SetActiveTask(&tracker.Row(0), false);
    Ticks.Advance(1000);
    EXPECT_TRUE(form.ExecuteAction(form.AppToggleTracking));
    EXPECT_EQ(tracker.ActiveTask(), nullptr);
    EXPECT_EQ(StoredBytes(), ExpectedBytes()); // a pause saves like the tick
    Ticks.Advance(60000);
    EXPECT_TRUE(form.ExecuteAction(form.AppToggleTracking));
    EXPECT_EQ(tracker.ActiveTask(), &tracker.Row(0));
    EXPECT_EQ(tracker.LastActiveTask(), nullptr);
    EXPECT_EQ(tracker.Row(0).Clock().ElapsedMs, 1000u);
}

TEST_F(MainFormFixture, FailedSaveOfANewTaskKeepsTheRowAndShowsTheGeneralBox) {
    TMainForm& form = CreateForm();
    ASSERT_TRUE(QDir().mkpath(TasksDb())); // a folder where the file should be
    Prompt.InputAnswers.push_back(QStringLiteral("A"));
    form.ExecuteAction(form.TaskAddAction);
    EXPECT_EQ(form.Tracker().Count(), 1);
    EXPECT_TRUE(Prompt.MessageRequests.empty()) << "the window never waits for the disk";
    form.TaskStore().Flush();
    QCoreApplication::processEvents(); // the failure comes back from the writer
    ASSERT_EQ(Prompt.MessageRequests.size(), 1u);
    const TMessageBoxRequest& box = Prompt.MessageRequests[0];
    EXPECT_EQ(box.Caption, QStringLiteral("Tallyvox"));
    EXPECT_EQ(box.Icon, TMessageIcon::Error);
    EXPECT_EQ(box.Buttons, std::vector<TDialogButton>{TDialogButton::OK});
    EXPECT_TRUE(box.Text.startsWith(QStringLiteral("Cannot create file \""))) << box.Text.toStdString();
    EXPECT_TRUE(box.Text.endsWith(u'.')) << box.Text.toStdString();
}

struct TKeyCase {
    const char* Name;
    int Key;
    Qt::KeyboardModifiers Modifiers;
    bool Running;      // a task runs before the key
    bool RunningAfter; // and after it
};

class ShortCutKeyTest : public MainFormFixture, public ::testing::WithParamInterface<TKeyCase> {};

// Keys reach the actions through their rule; a disabled action's key is left to the list.
TEST_P(ShortCutKeyTest, KeysRunActionsThroughTheirRule) {
    const TKeyCase& c = GetParam();
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}, {QStringLiteral("B"), 0}});
    TTaskTracker& tracker = form.Tracker();
    if (c.Running)
        tracker.SetActiveTask(&tracker.Row(0), false);
    Select({1});
    QKeyEvent press(QEvent::KeyPress, c.Key, c.Modifiers);
    QApplication::sendEvent(form.ListView1, &press);
    EXPECT_EQ(tracker.ActiveTask() != nullptr, c.RunningAfter);
    EXPECT_EQ(tracker.Count(), 2);
}

const TKeyCase KeyCases[] = {
    {"SpaceStopsARunningTask", Qt::Key_Space, Qt::NoModifier, true, false},
    {"SpaceWhileIdleStartsNothing", Qt::Key_Space, Qt::NoModifier, false, false},
    {"EnterRunsTheSelectedRow", Qt::Key_Return, Qt::NoModifier, false, true},
    {"KeypadEnterRunsToo", Qt::Key_Enter, Qt::KeypadModifier, false, true},
    {"AltShiftSpacePauses", Qt::Key_Space, Qt::AltModifier | Qt::ShiftModifier, true, false},
    {"ShiftSpaceIsNoShortcut", Qt::Key_Space, Qt::ShiftModifier, true, true},
};
INSTANTIATE_TEST_SUITE_P(Keys, ShortCutKeyTest, ::testing::ValuesIn(KeyCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
