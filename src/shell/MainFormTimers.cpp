// SPDX-License-Identifier: MIT
// Start-up sequence, timers, hot keys, exit and the quiet save at session end.
#include "ErrorReporting.h"
#include "Errors.h"
#include "Files.h"
#include "GlobalHotKey.h"
#include "InactivityCheck.h"
#include "LastInput.h"
#include "MainFormUnit.h"
#include "Prompt.h"
#include "SettingsFormUnit.h"
#include "TaskFile.h"
#include "TaskListModel.h"
#include "TaskListView.h"
#include "UpdateChecker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMenu>
#include <QTimer>
#include <cmath>

namespace {
const QString ExitMessage = QStringLiteral("Possible data loss.\r\n\r\nCouldn't save task data to file "
                                           "\"%s\". Please check that containing folder is "
                                           "writable.\r\n\r\nTo avoid data loss you can return back and copy "
                                           "tasks to clipboard.\r\n\r\nExit anyway?\r\n");

// A list that could not be read is never deleted, and never hidden either: every start names
// the copies until the user has moved them away.
const QString SetAsideMessage = QStringLiteral(
    "The task list could not be read to its end: the tasks after the damaged place are not in the "
    "list. The whole list as it was stored is kept in:\r\n%1"
    "Open the file to take over the missing tasks, then move it out of the data folder; until then "
    "this message comes at every start.");

// How long the window waits for the disk. Exit: long enough for a slow stick or a busy network
// folder to finish a save, short enough not to look hung; then the user decides. The quiet save
// at a signal or the session's end: no one can be asked then, and the session gives the
// program little time before it kills it. At the very end the store leaves a stuck writer behind.
constexpr std::chrono::milliseconds ExitSaveWait{3000};
constexpr std::chrono::milliseconds QuietSaveWait{5000};

QTimer* MakeTimer(QObject* Owner, const char* Name, int Interval) {
    auto* timer = new QTimer(Owner);
    timer->setObjectName(QString::fromLatin1(Name));
    timer->setInterval(Interval);
    return timer;
}
} // namespace

void TMainForm::CreateTimers() {
    Timer1 = MakeTimer(this, "Timer1", 1000);
    UserInactivityCheckTimer = MakeTimer(this, "UserInactivityCheckTimer", 1000);
    CheckForUpdatesTimer = MakeTimer(this, "CheckForUpdatesTimer", 10000);
    connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
    connect(UserInactivityCheckTimer, &QTimer::timeout, this, &TMainForm::UserInactivityCheckTimerTimer);
    connect(CheckForUpdatesTimer, &QTimer::timeout, this, &TMainForm::CheckForUpdatesTimerTimer);
    if (FServices.StartTimers) {
        Timer1->start();
        UserInactivityCheckTimer->start();
        if (FServices.CheckForUpdates)
            CheckForUpdatesTimer->start();
    }
}

void TMainForm::FormCreate() {
    // Every step runs even when an earlier one failed: a failed upgrade must not leave the
    // stored list unread (the next save would replace it with an empty one).
    if (FServices.Upgrade)
        RunGuarded(FPrompt, [this] { FServices.Upgrade(); });
    RunGuarded(FPrompt, [this] { RegisterHotKeys(); });
    AppExit.SetItemShortCut(TrayExit, QKeySequence());
    AppToggleVisibility.SetItemShortCut(TrayToggleVisibility, QKeySequence());
    RunGuarded(FPrompt, [this] { LoadTaskList(); });
    RunGuarded(FPrompt, [this] { AnnounceSetAsideLists(); });
    InitColumnWidths();
    FTracker.SetActiveTask(nullptr, true);
    RunGuarded(FPrompt, [this] {
        if (FServices.LastInput && FServices.Settings)
            FInactivityCheck = std::make_unique<TInactivityCheck>(
                FTracker, *FServices.Settings, *FServices.LastInput, *FServices.Ticks, FPrompt,
                [this] { return TaskStop.Execute(); });
    });
    if (FServices.CheckForUpdates)
        RunGuarded(FPrompt, [this] {
            FUpdateChecker = std::make_unique<TUpdateChecker>(this, FPrompt, FServices.UpdateTimeFile);
        });
}

// A press of either hot key (WMHotKey) runs its own action.
void TMainForm::RegisterHotKeys() {
    if (!FServices.CreateHotKey)
        return;
    BringToFrontGlobalHotKey =
        FServices.CreateHotKey(QStringLiteral("BringToFront"), this, MOD_CONTROL | MOD_SHIFT, VK_SPACE,
                               [this] { RunGuarded(FPrompt, [this] { ShowAndBringToFront(); }); });
    ToggleTrackingGlobalHotKey =
        FServices.CreateHotKey(QStringLiteral("ToggleTracking"), this, MOD_ALT | MOD_SHIFT, VK_SPACE,
                               [this] { RunGuarded(FPrompt, [this] { AppToggleTracking.Execute(); }); });
}

void TMainForm::LoadTaskList() {
    if (!FStore.PrepareLoad())
        return;
    struct TAppending {
        TTaskListModel& Model;
        ~TAppending() { Model.EndAppending(); }
    } appending{*FModel};
    FModel->BeginAppending();
    FStore.Load();
}

void TMainForm::AnnounceSetAsideLists() {
    const QStringList copies = FStore.SetAsideCopies();
    if (copies.isEmpty())
        return;
    constexpr int Named = 10;
    QString names;
    for (qsizetype i = 0; i < std::min<qsizetype>(copies.size(), Named); ++i)
        names += QStringLiteral("\"%1\"\r\n").arg(copies.at(i));
    if (copies.size() > Named)
        names += QStringLiteral("and %1 more in the same folder\r\n").arg(copies.size() - Named);
    throw EAppError(SetAsideMessage.arg(names));
}

void TMainForm::InitColumnWidths() {
    const int textWidth = QFontMetrics(ListView1->font()).horizontalAdvance(QStringLiteral("00:00:00"));
    TimeColumnWidth = static_cast<int>(std::lround(textWidth * 1.4));
    ListView1->header()->resizeSection(1, TimeColumnWidth);
    FitNameColumn();
}

void TMainForm::FitNameColumn() {
    if (TimeColumnWidth == 0)
        return; // before InitColumnWidths
    ListView1->header()->resizeSection(0, std::max(0, ListView1->viewport()->width() - TimeColumnWidth));
}

void TMainForm::Timer1Timer() {
    if (!FTracker.ActiveTask())
        return;
    FTracker.Tick();
    // Only the bytes are made here; a slow disk must not stall the window once a second.
    FStore.Post();
}

void TMainForm::UserInactivityCheckTimerTimer() {
    if (FInactivityCheck)
        RunGuarded(FPrompt, [this] { FInactivityCheck->Check(); });
}

void TMainForm::CheckForUpdatesTimerTimer() {
    if (!FUpdateChecker) {
        CheckForUpdatesTimer->stop();
        return;
    }
    RunGuarded(FPrompt, [this] { FUpdateChecker->CheckForUpdatesTimerTimer(*CheckForUpdatesTimer); });
}

void TMainForm::AppSettingsExecute(TAction& /*Sender*/) {
    if (!FSettingsForm)
        return;
    // The controls were loaded at creation and at the last close, not now: a hand edit of
    // the settings file made since then shows at the next close, after OK has written over it.
    FSettingsForm->exec();
}

bool TMainForm::SaveTasksOrConfirmExit() {
    for (;;) {
        try {
            FStore.SaveAndWait(ExitSaveWait);
            return true;
        } catch (const std::exception& e) {
            const int answer =
                ShowErrorDialog(FPrompt, ExitMessage, {FFiles.TasksDb()}, e,
                                {TDialogButton::Cancel, TDialogButton::Abort, TDialogButton::Retry});
            if (answer == mrAbort)
                return true;
            if (answer != mrRetry)
                return false;
        }
    }
}

void TMainForm::AppExitExecute(TAction& /*Sender*/) {
    FTracker.SetActiveTask(nullptr, false);
    if (!SaveTasksOrConfirmExit())
        return;
    FTerminating = true;
    Q_EMIT Terminate();
}

void TMainForm::SaveTasksQuietly() {
    if (FTerminating)
        return; // Exit has saved (or the user chose to end without saving)
    FTracker.SetActiveTask(nullptr, false);
    try {
        FStore.SaveAndWait(QuietSaveWait);
    } catch (const std::exception&) {
        // No one to ask at this point; a failing disk showed at the commands' saves.
    }
}
