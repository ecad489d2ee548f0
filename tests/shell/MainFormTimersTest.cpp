// SPDX-License-Identifier: MIT
#include "ErrorReporting.h"
#include "Errors.h"
#include "GlobalHotKey.h"
#include "HotKey.h"
#include "MainFormFixture.h"
#include "SafeFile.h"
#include "ScreenSnap.h"
#include "SettingsFormUnit.h"
#include "TaskTracker.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

const QString ExitMessage = QStringLiteral("Possible data loss.\r\n\r\nCouldn't save task data to file "
                                           "\"%s\". Please check that containing folder is "
                                           "writable.\r\n\r\nTo avoid data loss you can return back and copy "
                                           "tasks to clipboard.\r\n\r\nExit anyway?\r\n");

// Stores a list the way the program does, before the window starts.
void StoreTasks(const QString& Path, const std::vector<std::pair<QString, std::uint32_t>>& Tasks) {
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    for (const auto& [caption, ms] : Tasks)
        tracker.SetElapsedMs(tracker.AppendTask(caption), ms);
    QDir().mkpath(QFileInfo(Path).path());
    SaveTasks(tracker, Path);
}

TEST_F(MainFormFixture, StartUpLoadsTheListAndEndsIdle) {
    StoreTasks(TasksDb(), {{QStringLiteral("A"), 5000}, {QStringLiteral("B"), 3600000}});
    TMainForm& form = CreateForm();
    ASSERT_EQ(form.Tracker().Count(), 2);
    EXPECT_EQ(form.Tracker().Row(1).TimeText(), QStringLiteral("1:00:00"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("(idle) - Tallyvox"));
    EXPECT_EQ(form.Tracker().TrayImageIndex(), 1);
    EXPECT_EQ(form.Tracker().ActiveTask(), nullptr);
    EXPECT_EQ(form.Tracker().LastActiveTask(), nullptr);
    EXPECT_TRUE(Prompt.MessageRequests.empty());
}

TEST_F(MainFormFixture, AFailedUpgradeStillLoadsTheList) {
    StoreTasks(TasksDb(), {{QStringLiteral("Kept"), 5000}});
    ASSERT_TRUE(
        QDir().mkpath(DataFolder() + QStringLiteral("/version"))); // the upgrade cannot record its version
    Upgrade = [this] { WriteFileText(Files.Version(), QStringLiteral("2.5.2.24")); };
    TMainForm& form = CreateForm();
    ASSERT_EQ(Prompt.MessageRequests.size(), 1u);
    EXPECT_EQ(Prompt.MessageRequests[0].Caption, QStringLiteral("Tallyvox"));
    ASSERT_EQ(form.Tracker().Count(), 1);
    EXPECT_EQ(form.Tracker().Row(0).Caption(), QStringLiteral("Kept"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("(idle) - Tallyvox"));
}

TEST_F(MainFormFixture, AListThatFailsToLoadIsReportedOnceAndNeverLostBySaving) {
    QDir().mkpath(DataFolder());
    const QByteArray stored = QByteArrayLiteral("A\r\n0:05\r\n5000\r\nB\r\n0:07\r\nnot a number\r\n");
    {
        QFile file(TasksDb());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(stored);
    }
    TMainForm& form = CreateForm();
    ASSERT_EQ(Prompt.MessageRequests.size(), 2u);
    EXPECT_EQ(Prompt.MessageRequests[0].Text, QStringLiteral("'not a number' is not a valid integer value."));
    // The copy is named, so the user knows where the unread rows are.
    EXPECT_TRUE(Prompt.MessageRequests[1].Text.contains(u'"' + TasksDb() + QStringLiteral(".bak\"")));
    EXPECT_TRUE(Prompt.MessageRequests[1].Text.contains(QStringLiteral("the tasks after the damaged place")))
        << "the rows before the fault are in the list";
    ASSERT_GE(form.Tracker().Count(), 1); // the rows read before the fault
    EXPECT_EQ(form.Tracker().Row(0).Clock().ElapsedMs, 5000u);
    Prompt.InputAnswers.push_back(QStringLiteral("C"));
    form.ExecuteAction(form.TaskAddAction);
    EXPECT_EQ(StoredBytes(), ExpectedBytes());
    const QStringList aside = QDir(DataFolder()).entryList({QStringLiteral("tasks.db.*")}, QDir::Files);
    ASSERT_FALSE(aside.isEmpty());
    QFile copy(DataFolder() + u'/' + aside.front());
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), stored);
}

TEST_F(MainFormFixture, AnUnreadListWithoutABackupIsMovedAsideBeforeTheFirstSave) {
    QDir().mkpath(DataFolder());
    const QByteArray stored = QByteArrayLiteral("A\r\n0:05\r\nbad\r\n");
    const auto writeFile = [](const QString& Path, const QByteArray& Bytes) {
        QFile file(Path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(Bytes);
    };
    writeFile(TasksDb(), stored);
    // Every backup name is taken, so the loader cannot set the file aside.
    writeFile(TasksDb() + QStringLiteral(".bak"), QByteArray());
    for (int n = 1; n < 1000; ++n)
        writeFile(TasksDb() + QStringLiteral(".bak.") + QString::number(n), QByteArray());
    TMainForm& form = CreateForm();
    ASSERT_EQ(Prompt.MessageRequests.size(), 2u);
    EXPECT_TRUE(Prompt.MessageRequests[1].Text.contains(QStringLiteral("and 990 more in the same folder")));
    Prompt.InputAnswers.push_back(QStringLiteral("C"));
    form.ExecuteAction(form.TaskAddAction);
    EXPECT_EQ(StoredBytes(), ExpectedBytes());
    QFile aside(TasksDb() + QStringLiteral(".unread"));
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), stored);
}

TEST_F(MainFormFixture, TickChargesTheActiveTaskAndSaves) {
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
    form.Timer1Timer();
    EXPECT_FALSE(QFile::exists(TasksDb())) << "nothing is saved while no task runs";
    form.Tracker().SetActiveTask(&form.Tracker().Row(0), false);
    Ticks.Advance(1500);
    form.Timer1Timer();
    EXPECT_EQ(form.Tracker().Row(0).Clock().ElapsedMs, 1500u);
    EXPECT_EQ(StoredBytes(), ExpectedBytes());
}

TEST_F(MainFormFixture, TickAcrossTheTickCounterWrapChargesTheTrueInterval) {
    Ticks.Set(4294967040u);
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
    form.Tracker().SetActiveTask(&form.Tracker().Row(0), false);
    Ticks.Set(256);
    form.Timer1Timer();
    EXPECT_EQ(form.Tracker().Row(0).Clock().ElapsedMs, 512u);
}

TEST_F(MainFormFixture, TickSwallowsSaveErrors) {
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
    ASSERT_TRUE(QDir().mkpath(TasksDb()));
    form.Tracker().SetActiveTask(&form.Tracker().Row(0), false);
    Ticks.Advance(1000);
    form.Timer1Timer();
    form.Timer1Timer();
    EXPECT_TRUE(Prompt.MessageRequests.empty());
    EXPECT_EQ(form.Tracker().Row(0).Clock().ElapsedMs, 1000u);
}

TEST_F(MainFormFixture, ExitSavesTheRunningTimeAndEnds) {
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
    form.Tracker().SetActiveTask(&form.Tracker().Row(0), false);
    Ticks.Advance(4000);
    bool ended = false;
    QObject::connect(&form, &TMainForm::Terminate, &form, [&] { ended = true; });
    EXPECT_TRUE(form.ExecuteAction(form.AppExit));
    EXPECT_TRUE(ended);
    EXPECT_EQ(form.Tracker().Row(0).Clock().ElapsedMs, 4000u);
    EXPECT_EQ(StoredBytes(), ExpectedBytes());
    EXPECT_TRUE(Prompt.MessageRequests.empty());
}

// Holds the first write of the task file until released; logs every completed write.
struct THeldFirstWrite {
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Entered = false;
    bool Released = false;
    std::vector<QByteArray> Completed;

    TTaskFileWriter::TWrite Function() {
        return [this](const QString& Path, const QByteArray& Bytes, TLinkRule Links) {
            std::unique_lock lock(Mutex);
            if (!Entered) {
                Entered = true;
                Changed.notify_all();
                Changed.wait(lock, [this] { return Released; });
            }
            ReplaceFileAtomically(Path, Bytes, Links);
            Completed.push_back(Bytes);
        };
    }
    void WaitUntilEntered() {
        std::unique_lock lock(Mutex);
        Changed.wait(lock, [this] { return Entered; });
    }
    void Release() {
        const std::lock_guard lock(Mutex);
        Released = true;
        Changed.notify_all();
    }
};

// A form with one running task whose tick has handed its list (Running) to the writer, which
// now holds it in the middle of the write.
class HeldWriteTest : public MainFormFixture {
protected:
    TMainForm& TickIntoAHeldWrite(THeldFirstWrite& Held, QByteArray& Running) {
        TaskFileWrite = Held.Function();
        TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
        form.Tracker().SetActiveTask(&form.Tracker().Row(0), false);
        Ticks.Advance(1000);
        form.Timer1Timer();
        Running = ExpectedBytes();
        Held.WaitUntilEntered();
        return form;
    }
};

TEST_F(HeldWriteTest, AStopRightAfterATickLeavesTheStoppedStateOnDisk) {
    THeldFirstWrite held;
    QByteArray running;
    TMainForm& form = TickIntoAHeldWrite(held, running);
    Ticks.Advance(300);
    ASSERT_TRUE(form.ExecuteAction(form.TaskStop));
    const QByteArray stopped = ExpectedBytes();
    ASSERT_NE(stopped, running);
    held.Release();
    EXPECT_EQ(StoredBytes(), stopped);
    EXPECT_EQ(held.Completed, (std::vector<QByteArray>{running, stopped}));
}

TEST_F(HeldWriteTest, ExitWaitsForABackgroundWriteInProgress) {
    THeldFirstWrite held;
    QByteArray running;
    TMainForm& form = TickIntoAHeldWrite(held, running);
    // Released a little later from elsewhere: an Exit that did not wait would have written
    // first and then been overwritten by the older list.
    std::thread releaser([&held] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        held.Release();
    });
    Ticks.Advance(700);
    const bool ran = form.ExecuteAction(form.AppExit);
    releaser.join();
    ASSERT_TRUE(ran);
    EXPECT_TRUE(form.TerminateRequested());
    const QByteArray atExit = ExpectedBytes();
    EXPECT_EQ(form.Tracker().Row(0).Clock().ElapsedMs, 1700u);
    EXPECT_EQ(held.Completed, (std::vector<QByteArray>{running, atExit}));
    EXPECT_EQ(StoredBytes(), atExit);
}

struct TExitCase {
    const char* Name;
    std::vector<int> Answers; // one per dialog; Retry with RemoveCause mends the folder first
    bool RemoveCauseOnRetry;
    bool Ends;
    bool Saved;
};

class ExitDialogTest : public MainFormFixture, public ::testing::WithParamInterface<TExitCase> {};

TEST_P(ExitDialogTest, UnwritableTaskFileAsksAbortRetryCancel) {
    const TExitCase& c = GetParam();
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
    form.Tracker().SetActiveTask(&form.Tracker().Row(0), false);
    ASSERT_TRUE(QDir().mkpath(TasksDb()));
    std::size_t asked = 0;
    Prompt.OnMessage = [&](const TMessageBoxRequest&) {
        const int answer = c.Answers.at(asked++);
        if (answer == mrRetry && c.RemoveCauseOnRetry)
            QDir(TasksDb()).removeRecursively();
        return answer;
    };
    bool ended = false;
    QObject::connect(&form, &TMainForm::Terminate, &form, [&] { ended = true; });
    form.ExecuteAction(form.AppExit);
    EXPECT_EQ(asked, c.Answers.size());
    EXPECT_EQ(ended, c.Ends);
    EXPECT_EQ(QFileInfo(TasksDb()).isFile(), c.Saved);
    EXPECT_EQ(form.Tracker().ActiveTask(), nullptr);
    const TMessageBoxRequest& box = Prompt.MessageRequests.at(0);
    EXPECT_EQ(box.Caption, QStringLiteral("Error"));
    EXPECT_EQ(box.Icon, TMessageIcon::Error);
    EXPECT_EQ(box.Buttons, (std::vector<TDialogButton>{TDialogButton::Cancel, TDialogButton::Abort,
                                                       TDialogButton::Retry}));
    EXPECT_EQ(box.DefaultButton, TDialogButton::Retry);
    const QString expectedStart = QString(ExitMessage).replace(QStringLiteral("%s"), TasksDb()) +
                                  QStringLiteral("\r\nUnderlying error: Cannot create file \"");
    EXPECT_TRUE(box.Text.startsWith(expectedStart)) << box.Text.toStdString();
    if (!c.Ends) {
        EXPECT_TRUE(form.ExecuteAction(form.AppToggleTracking)) << "Resume stays available";
        EXPECT_EQ(form.Tracker().ActiveTask(), &form.Tracker().Row(0));
    }
}

const TExitCase ExitCases[] = {
    {"RetryAfterTheCauseIsGone", {mrRetry}, true, true, true},
    {"RetryWhileItPersistsAsksAgain", {mrRetry, mrRetry, mrCancel}, false, false, false},
    {"AbortEndsWithoutSaving", {mrAbort}, false, true, false},
    {"CancelKeepsRunning", {mrCancel}, false, false, false},
    {"ClosedWithoutButtonKeepsRunning", {mrNone}, false, false, false},
};
INSTANTIATE_TEST_SUITE_P(Answers, ExitDialogTest, ::testing::ValuesIn(ExitCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(MainFormFixture, QuietSaveAtSessionEndStopsTrackingWithoutDialogs) {
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
    form.Tracker().SetActiveTask(&form.Tracker().Row(0), false);
    Ticks.Advance(2500);
    form.SaveTasksQuietly();
    EXPECT_EQ(form.Tracker().ActiveTask(), nullptr);
    EXPECT_EQ(form.Tracker().Row(0).Clock().ElapsedMs, 2500u);
    EXPECT_EQ(StoredBytes(), ExpectedBytes());
    QFile::remove(TasksDb());
    ASSERT_TRUE(QDir().mkpath(TasksDb()));
    form.SaveTasksQuietly();
    EXPECT_TRUE(Prompt.MessageRequests.empty());
}

TEST_F(MainFormFixture, TimeColumnIsOnePointFourTimesTheWidestTimeText) {
    TMainForm& form = CreateForm();
    const int text = QFontMetrics(form.ListView1->font()).horizontalAdvance(QStringLiteral("00:00:00"));
    EXPECT_EQ(form.TimeColumnWidth, static_cast<int>(std::lround(text * 1.4)));
    EXPECT_EQ(form.ListView1->header()->sectionSize(1), form.TimeColumnWidth);
}

TEST(ScreenSnap, FramesWithinSevenPixelsOfAWorkAreaEdgeEndAtIt) {
    const QRect area(0, 24, 1280, 776); // a panel above
    struct {
        QPoint From, To;
    } cases[] = {
        {{7, 300}, {0, 300}},     {{8, 300}, {8, 300}},     {{-7, 300}, {0, 300}},  {{-8, 300}, {-8, 300}},
        {{300, 31}, {300, 24}},   {{300, 17}, {300, 24}},   {{300, 16}, {300, 16}}, {{693, 300}, {700, 300}},
        {{707, 300}, {700, 300}}, {{692, 300}, {692, 300}}, {{4, 407}, {0, 400}},   {{0, 24}, {0, 24}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TScreenSnap::Snapped(QRect(c.From, QSize(580, 400)), area, 7), c.To)
            << c.From.x() << "," << c.From.y();
}

TEST_F(MainFormFixture, WindowAndListAreDrawnInTahoma) {
    TMainForm& form = CreateForm();
    EXPECT_EQ(QFontInfo(form.font()).family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(QFontInfo(form.font()).pixelSize(), 11);
    EXPECT_EQ(QFontInfo(form.ListView1->font()).family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(QFontInfo(form.ListView1->font()).pixelSize(), 13);
}

TEST_F(MainFormFixture, SettingsOpenWithWhatTheLastCloseLoaded) {
    TMainForm& form = CreateForm();
    TSettingsForm settings(&form, Settings, Prompt);
    form.SetSettingsForm(&settings);
    const QString path = Files.Settings();
    const auto store = [&](const QByteArray& Data) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(Data);
    };
    store("[InactivityDetection]\r\nEnabled=0\r\nPeriod=5\r\n"); // by hand, after the load
    bool shownChecked = false;
    QTimer::singleShot(0, &settings, [&] {
        shownChecked = settings.InactivityDetectionEnabled->isChecked();
        settings.Button1->click();
    });
    form.ExecuteAction(form.AppSettings);
    EXPECT_TRUE(shownChecked) << "the hand edit is not shown at the opening";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("[InactivityDetection]\r\nEnabled=1\r\nPeriod=600\r\n"))
        << "OK writes the dialog's values over it";
}

TEST_F(MainFormFixture, ResizingRefitsTheNameColumnNeverBelowZero) {
    TMainForm& form = CreateForm();
    form.show();
    for (int width : {580, 900, 300, 60, 20}) {
        form.resize(width, 383);
        QCoreApplication::processEvents();
        const int client = form.ListView1->viewport()->width();
        EXPECT_EQ(form.ListView1->header()->sectionSize(0), std::max(0, client - form.TimeColumnWidth))
            << "width " << width;
        EXPECT_EQ(form.ListView1->header()->sectionSize(1), form.TimeColumnWidth);
    }
}

TEST_F(MainFormFixture, AVerticalScrollBarDoesNotRefitTheNameColumn) {
    TMainForm& form = CreateForm();
    form.show();
    const int fitted = form.ListView1->header()->sectionSize(0);
    for (int i = 0; i < 60 && !form.ListView1->verticalScrollBar()->isVisible();
         ++i, QCoreApplication::processEvents())
        form.Tracker().AppendTask(QStringLiteral("Row"));
    ASSERT_TRUE(form.ListView1->verticalScrollBar()->isVisible());
    EXPECT_EQ(form.ListView1->header()->sectionSize(0), fitted);
}

TEST_F(MainFormFixture, WindowHasTheDesignedClientSize) {
    TMainForm& form = CreateForm();
    EXPECT_EQ(form.size(), QSize(580, 383));
    EXPECT_EQ(form.ListView1->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(form.ListView1->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(form.ListView1->header()->isHidden());
}

TEST_F(MainFormFixture, UpdateTimerRunsHourlyAfterItsFirstTickAndStaysQuietWithoutASite) {
    qputenv("TALLYVOX_SITE_URL", QByteArray());
    CheckForUpdates = true;
    TMainForm& form = CreateForm();
    EXPECT_EQ(form.CheckForUpdatesTimer->interval(), 10000);
    form.CheckForUpdatesTimerTimer();
    EXPECT_EQ(form.CheckForUpdatesTimer->interval(), 3600001);
    EXPECT_TRUE(Prompt.MessageRequests.empty());
    EXPECT_EQ(form.Timer1->interval(), 1000);
    EXPECT_EQ(form.UserInactivityCheckTimer->interval(), 1000);
}

class HotKeyTest : public MainFormFixture {
protected:
    // A press of one of the window's hot keys; one it never registered does nothing.
    void Press(const char* Name) {
        const auto action = HotKeyActions.find(QString::fromLatin1(Name));
        if (action != HotKeyActions.end())
            action->second();
    }
};

TEST_F(HotKeyTest, BringToFrontShowsAHiddenWindowInTheShownStateWithoutTip) {
    RegisterHotKeys = true;
    TMainForm& form = CreateForm();
    form.SetVisibilityState(false);
    Press("BringToFront");
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.AppToggleVisibility.Caption(), QStringLiteral("Hide"));
    EXPECT_EQ(form.AppToggleVisibility.ShortCut(), QKeySequence(Qt::Key_Escape));
    EXPECT_TRUE(Prompt.MessageRequests.empty());
    Press("BringToFront");
    EXPECT_TRUE(form.isVisible()) << "a shown window stays shown";
}

TEST_F(HotKeyTest, ToggleTrackingPausesAndResumesAndDoesNothingAfterStart) {
    RegisterHotKeys = true;
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
    Press("ToggleTracking");
    EXPECT_EQ(form.Tracker().ActiveTask(), nullptr);
    form.Tracker().SetActiveTask(&form.Tracker().Row(0), false);
    Press("ToggleTracking");
    EXPECT_EQ(form.Tracker().ActiveTask(), nullptr);
    Press("ToggleTracking");
    EXPECT_EQ(form.Tracker().ActiveTask(), &form.Tracker().Row(0));
    EXPECT_FALSE(form.isVisible()) << "the tracking key never shows the window";
}

TEST_F(HotKeyTest, EachHotKeyDoesOnlyItsOwnThing) {
    RegisterHotKeys = true;
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
    form.Tracker().SetActiveTask(&form.Tracker().Row(0), false);
    form.SetVisibilityState(false);
    Press("BringToFront");
    EXPECT_TRUE(form.isVisible());
    EXPECT_NE(form.Tracker().ActiveTask(), nullptr) << "bringing to front never pauses";
}

TEST_F(HotKeyTest, WithoutRegisteredHotKeysNothingReacts) {
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
    form.Tracker().SetActiveTask(&form.Tracker().Row(0), false);
    Press("ToggleTracking");
    EXPECT_TRUE(HotKeyActions.empty());
    EXPECT_NE(form.Tracker().ActiveTask(), nullptr);
}

} // namespace
