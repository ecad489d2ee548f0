// SPDX-License-Identifier: MIT
#include "MainFormFixture.h"
#include "TrayClickHandler.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextDocumentFragment>

namespace {
// The tray tip as the tray shows it: an XEmbed tray's label renders rich text.
QString ShownTrayTip(const TMainForm& Form) {
    const QString tip = Form.TrayIcon->toolTip();
    return Qt::mightBeRichText(tip) ? QTextDocumentFragment::fromHtml(tip).toPlainText() : tip;
}

const QString FirstHideTip =
    QStringLiteral("To see the window again just press Shift+Ctrl+Space. It works globally.");

void ExpectStateMatchesVisibility(TMainForm& Form, const char* Path) {
    const bool shown = Form.ShownToUser();
    EXPECT_EQ(Form.AppToggleVisibility.Caption(), shown ? QStringLiteral("Hide") : QStringLiteral("Show"))
        << Path;
    EXPECT_EQ(Form.AppToggleVisibility.ShortCut(),
              shown ? QKeySequence(Qt::Key_Escape) : QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Space))
        << Path;
    EXPECT_EQ(Form.TrayToggleVisibility->text(),
              shown ? QStringLiteral("Hide") : QStringLiteral("Show\tShift+Ctrl+Space"))
        << Path;
}

struct TVisibilityPath {
    const char* Name;
    bool StartShown;
    std::function<void(TMainForm&)> Act;
    bool ShownAfter;
    bool TrayHost = true;     // without one, the window never leaves the taskbar
    bool MuteWatcher = false; // no icon to hide to until the watcher answers
};

class VisibilityTest : public MainFormFixture, public ::testing::WithParamInterface<TVisibilityPath> {};

TEST_P(VisibilityTest, CaptionAndShortcutsMatchTheWindowOnEveryPath) {
    const TVisibilityPath& c = GetParam();
    QDir().mkpath(DataFolder());
    WriteFileText(DataFolder() + QStringLiteral("/notip"), QString());
    TrayHost = c.TrayHost;
    MuteTrayWatcher = c.MuteWatcher;
    TMainForm& form = CreateForm();
    EXPECT_EQ(form.TrayIcon == nullptr, c.MuteWatcher);
    if (c.StartShown) {
        form.show();
        form.SetVisibilityState(true);
    } else {
        form.SetVisibilityState(false);
    }
    ExpectStateMatchesVisibility(form, "start");
    c.Act(form);
    QCoreApplication::processEvents();
    EXPECT_EQ(form.ShownToUser(), c.ShownAfter);
    if (!c.TrayHost || c.MuteWatcher) {
        EXPECT_TRUE(form.isVisible() && (c.ShownAfter || form.isMinimized())) << c.Name;
    }
    ExpectStateMatchesVisibility(form, c.Name);
    EXPECT_TRUE(Prompt.MessageRequests.empty());
}

const TVisibilityPath VisibilityPaths[] = {
    {"ToggleHides", true, [](TMainForm& F) { F.ExecuteAction(F.AppToggleVisibility); }, false},
    {"MuteWatcherToggleMinimizes", true, [](TMainForm& F) { F.ExecuteAction(F.AppToggleVisibility); }, false,
     true, true},
    {"ToggleShows", false, [](TMainForm& F) { F.ExecuteAction(F.AppToggleVisibility); }, true},
    {"CloseHides", true, [](TMainForm& F) { F.close(); }, false},
    {"EscHides", true,
     [](TMainForm& F) {
         QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
         QApplication::sendEvent(F.ListView1, &esc);
     },
     false},
    {"MinimizeHides", true, [](TMainForm& F) { F.ApplicationEventsMinimize(); }, false},
    {"MinimizeButtonHides", true, [](TMainForm& F) { F.setWindowState(Qt::WindowMinimized); }, false},
    {"EscOnTheWindowHides", true,
     [](TMainForm& F) {
         QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
         QApplication::sendEvent(&F, &esc);
     },
     false},
    {"SecondStartShowsHidden", false, [](TMainForm& F) { F.ShowFromOutside(); }, true},
    {"SecondStartKeepsShown", true, [](TMainForm& F) { F.ShowFromOutside(); }, true},
    {"TrayDoubleClickShows", false, [](TMainForm& F) { F.TrayClick->TrayIconDblClick(); }, true},
    {"TrayDoubleClickHides", true, [](TMainForm& F) { F.TrayClick->TrayIconDblClick(); }, false},
    {"NoTrayCloseMinimizes", true, [](TMainForm& F) { F.close(); }, false, false},
    {"NoTrayMinimizeStaysOnTheTaskbar", true, [](TMainForm& F) { F.setWindowState(Qt::WindowMinimized); },
     false, false},
    {"NoTrayToggleRestores", true,
     [](TMainForm& F) {
         F.close();
         F.ExecuteAction(F.AppToggleVisibility);
     },
     true, false},
    {"NoTraySecondStartRestores", true,
     [](TMainForm& F) {
         F.close();
         F.ShowFromOutside();
     },
     true, false},
    {"NoTrayRestoredByTheTaskbar", true,
     [](TMainForm& F) {
         F.close();
         F.setWindowState(Qt::WindowNoState);
     },
     true, false},
};
INSTANTIATE_TEST_SUITE_P(Paths, VisibilityTest, ::testing::ValuesIn(VisibilityPaths),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(MainFormFixture, FirstHideShowsTheTipOnceAndWritesTheMarker) {
    TMainForm& form = CreateForm();
    form.show();
    form.ExecuteAction(form.AppToggleVisibility);
    ASSERT_EQ(Prompt.MessageRequests.size(), 1u);
    const TMessageBoxRequest& tip = Prompt.MessageRequests[0];
    EXPECT_EQ(tip.Caption, QStringLiteral("Tallyvox"));
    EXPECT_EQ(tip.Text, FirstHideTip);
    EXPECT_EQ(tip.Icon, TMessageIcon::None);
    EXPECT_EQ(tip.Buttons, std::vector<TDialogButton>{TDialogButton::OK});
    EXPECT_TRUE(form.HideTipShown);
    const QFileInfo marker(DataFolder() + QStringLiteral("/notip"));
    EXPECT_TRUE(marker.isFile());
    EXPECT_EQ(marker.size(), 0);
    form.ExecuteAction(form.AppToggleVisibility);
    form.ExecuteAction(form.AppToggleVisibility);
    EXPECT_EQ(Prompt.MessageRequests.size(), 1u);
}

TEST_F(MainFormFixture, NoTipWhenTheMarkerExists) {
    QDir().mkpath(DataFolder());
    WriteFileText(DataFolder() + QStringLiteral("/notip"), QString());
    TMainForm& form = CreateForm();
    form.show();
    form.ExecuteAction(form.AppToggleVisibility);
    EXPECT_TRUE(Prompt.MessageRequests.empty());
    EXPECT_TRUE(form.HideTipShown);
}

TEST_F(MainFormFixture, MinimizingShowsNoTip) {
    TMainForm& form = CreateForm();
    form.show();
    form.ApplicationEventsMinimize();
    EXPECT_TRUE(Prompt.MessageRequests.empty());
    EXPECT_FALSE(form.HideTipShown);
}

TEST_F(MainFormFixture, WithoutATrayHostNoTipUntilOneAppears) {
    TrayHost = false;
    TMainForm& form = CreateForm();
    form.show();
    form.ExecuteAction(form.AppToggleVisibility);
    EXPECT_TRUE(Prompt.MessageRequests.empty());
    EXPECT_FALSE(form.HideTipShown);
    TrayHost = true;
    form.ExecuteAction(form.AppToggleVisibility);
    form.ExecuteAction(form.AppToggleVisibility);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(Prompt.MessageRequests.size(), 1u);
}

TEST_F(MainFormFixture, StartedHiddenWithoutATrayHostTheWindowWaitsOnTheTaskbar) {
    TrayHost = false;
    TMainForm& form = CreateForm();
    form.ShowAtStart(true);
    EXPECT_TRUE(form.isVisible() && form.isMinimized());
    ExpectStateMatchesVisibility(form, "started hidden");
}

TEST_F(MainFormFixture, AMarkerThatCannotBeWrittenIsReportedAndTheWindowStaysHidden) {
    ASSERT_TRUE(
        QDir().mkpath(DataFolder() + QStringLiteral("/notip"))); // a folder is no marker, and blocks it
    TMainForm& form = CreateForm();
    form.show();
    form.ExecuteAction(form.AppToggleVisibility);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.HideTipShown);
    ASSERT_EQ(Prompt.MessageRequests.size(), 2u);
    EXPECT_EQ(Prompt.MessageRequests[0].Text, FirstHideTip);
    EXPECT_EQ(Prompt.MessageRequests[1].Caption, QStringLiteral("Tallyvox"));
    EXPECT_EQ(Prompt.MessageRequests[1].Icon, TMessageIcon::Error);
    ExpectStateMatchesVisibility(form, "after the failed marker");
}

TEST_F(MainFormFixture, SingleTrayClickTogglesTrackingAfterTheInterval) {
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
    form.Tracker().SetActiveTask(&form.Tracker().Row(0), false);
    form.TrayClick->TrayIconClick();
    EXPECT_TRUE(form.TrayClick->ClickPending());
    EXPECT_NE(form.Tracker().ActiveTask(), nullptr) << "nothing happens before the interval has passed";
    form.TrayClick->TrayClickTimerProc();
    EXPECT_EQ(form.Tracker().ActiveTask(), nullptr);
    EXPECT_EQ(ShownTrayTip(form), QStringLiteral("(idle) - Tallyvox"));
    form.TrayClick->TrayIconClick();
    form.TrayClick->TrayClickTimerProc();
    EXPECT_EQ(form.Tracker().ActiveTask(), &form.Tracker().Row(0));
}

TEST_F(MainFormFixture, PendingTrayClickFiresOnItsOwnTimer) {
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
    form.Tracker().SetActiveTask(&form.Tracker().Row(0), false);
    form.TrayClick->TrayIconClick();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.TrayClick->ClickPending(); }, 5000));
    EXPECT_FALSE(form.TrayClick->ClickPending());
    EXPECT_EQ(form.Tracker().ActiveTask(), nullptr);
}

struct TClickCase {
    const char* Name;
    std::vector<QSystemTrayIcon::ActivationReason> Reasons;
    bool ShownAfter;
    bool StatusNotifierHost = false; // which counts two Triggers as a double click
};

class TrayClickSequenceTest : public MainFormFixture, public ::testing::WithParamInterface<TClickCase> {};

TEST_P(TrayClickSequenceTest, DoubleClicksToggleTheWindowAndLeaveTrackingAlone) {
    QDir().mkpath(DataFolder());
    WriteFileText(DataFolder() + QStringLiteral("/notip"), QString());
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
    form.Tracker().SetActiveTask(&form.Tracker().Row(0), false);
    form.show();
    form.TrayClick->SetTwoTriggersMakeDoubleClick(GetParam().StatusNotifierHost);
    for (QSystemTrayIcon::ActivationReason reason : GetParam().Reasons)
        Q_EMIT form.TrayIcon->activated(reason);
    EXPECT_FALSE(form.TrayClick->ClickPending());
    EXPECT_EQ(form.isVisible(), GetParam().ShownAfter);
    EXPECT_NE(form.Tracker().ActiveTask(), nullptr);
}

const TClickCase ClickCases[] = {
    {"XEmbedTriggerThenDoubleClick", {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick}, false},
    {"StatusNotifierTwoTriggers", {QSystemTrayIcon::Trigger, QSystemTrayIcon::Trigger}, false, true},
    {"TwoTriggersAndADoubleClickToggleOnce",
     {QSystemTrayIcon::Trigger, QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick},
     false,
     true},
    {"TwoDoubleClicksToggleTwice",
     {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::Trigger,
      QSystemTrayIcon::DoubleClick},
     true},
    {"SingleMiddleClickDoesNothing", {QSystemTrayIcon::MiddleClick}, true},
};
INSTANTIATE_TEST_SUITE_P(Sequences, TrayClickSequenceTest, ::testing::ValuesIn(ClickCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(MainFormFixture, TrayTipIsTheTitleCutTo127Characters) {
    TMainForm& form = CreateFormWith({{QString(130, u'x'), 0}, {QString(130, u'&'), 0}});
    form.Tracker().SetActiveTask(&form.Tracker().Row(0), false);
    EXPECT_EQ(form.windowTitle(), QString(130, u'x') + QStringLiteral(" - Tallyvox"));
    EXPECT_EQ(ShownTrayTip(form), QString(127, u'x'));
    form.Tracker().SetActiveTask(&form.Tracker().Row(1), false);
    EXPECT_EQ(ShownTrayTip(form), QString(127, u'&')) << "the cut counts the title, not markup";
}

QStringList MenuTexts(const QMenu* Menu) {
    QStringList texts;
    for (const QAction* item : Menu->actions())
        texts << (item->isSeparator() ? QStringLiteral("-") : item->text());
    return texts;
}

TEST_F(MainFormFixture, ContextMenuShowsTheSeventeenEntriesWithTheirShortcutTexts) {
    TMainForm& form = CreateForm();
    form.show();
    form.SetVisibilityState(true);
    Q_EMIT form.PopupMenu->aboutToShow();
    const QStringList expected = {QStringLiteral("New task\tIns"),
                                  QStringLiteral("-"),
                                  QStringLiteral("Run\tEnter"),
                                  QStringLiteral("Stop\tSpace"),
                                  QStringLiteral("Edit task\tF2"),
                                  QStringLiteral("Remove\tDel"),
                                  QStringLiteral("Reset\tAlt+Del"),
                                  QStringLiteral("-"),
                                  QStringLiteral("Copy\tCtrl+C"),
                                  QStringLiteral("Cut\tCtrl+X"),
                                  QStringLiteral("Select all\tCtrl+A"),
                                  QStringLiteral("-"),
                                  QStringLiteral("Settings"),
                                  QStringLiteral("-"),
                                  QStringLiteral("Resume\tShift+Alt+Space"),
                                  QStringLiteral("Hide\tEsc"),
                                  QStringLiteral("Exit\tAlt+X")};
    EXPECT_EQ(MenuTexts(form.PopupMenu), expected);
    EXPECT_FALSE(form.PopupMenu->findChild<QAction*>(QStringLiteral("TaskRunContextMenuItem"))->isEnabled());
}

TEST_F(MainFormFixture, TrayMenuHasFourEntriesBoldDefaultAndNoExitShortcut) {
    TMainForm& form = CreateFormWith({{QStringLiteral("A"), 0}});
    form.Tracker().SetActiveTask(&form.Tracker().Row(0), false);
    form.show();
    form.SetVisibilityState(true);
    Q_EMIT form.SystemTrayMenu->aboutToShow();
    EXPECT_EQ(MenuTexts(form.SystemTrayMenu),
              (QStringList{QStringLiteral("Pause\tShift+Alt+Space"), QStringLiteral("Hide"),
                           QStringLiteral("Settings"), QStringLiteral("Exit")}));
    EXPECT_EQ(form.SystemTrayMenu->defaultAction(), form.AppToggleTrackingContextMenuItem);
    EXPECT_TRUE(form.AppToggleTrackingContextMenuItem->font().bold());
    EXPECT_EQ(form.TrayExit->objectName(), QStringLiteral("TrayExit"));
}

} // namespace
