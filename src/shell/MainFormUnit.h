// SPDX-License-Identifier: MIT
#pragma once

#include "Action.h"
#include "TaskFileWriter.h"
#include "TaskStore.h"
#include "TaskTracker.h"
#include "TrayHost.h"
#include "UpdateSchedule.h"

#include <QMainWindow>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

class IPrompt;
class ITickCounter;
class ILastInputSource;
class IGlobalHotKey;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class TInactivityCheck;
class TFiles;
class TSettings;
class TSettingsForm;
class TTaskListModel;
class TTaskListView;
class TTrayClickHandler;
class TUpdateChecker;

// What the main window takes from the outside world; the application builds the real ones,
// tests hand in fakes.
struct TMainFormServices {
    IPrompt* Prompt = nullptr;
    const ITickCounter* Ticks = nullptr;
    const TFiles* Files = nullptr;                        // the data folder's files
    TSettings* Settings = nullptr;                        // the store the inactivity check reads
    std::function<void()> Upgrade;                        // none: no upgrade step at start-up
    TUpdateTimeFile UpdateTimeFile;                       // where the update check keeps its next time
    ILastInputSource* LastInput = nullptr;                // none: no inactivity check
    std::function<void(const QString&)> SetClipboardText; // none: the system clipboard
    std::function<int()> DoubleClickInterval;             // none: the desktop's double-click time
    std::function<bool()> TrayHostPresent;                // none: there always is a tray host
    std::function<TTrayWatcher()> AskTrayWatcher;         // none: the session bus's watcher
    std::function<void(QObject*, std::function<void(TTrayWatcher)>)> AskTrayWatcherLater; // likewise
    bool StartTimers = true;
    // Takes a system-wide hot key whose presses run OnPressed; none: the window takes no hot keys.
    std::function<std::shared_ptr<IGlobalHotKey>(const QString& Name, QWidget* Window,
                                                 std::uint32_t Modifiers, std::uint32_t Vk,
                                                 std::function<void()> OnPressed)>
        CreateHotKey;
    bool CheckForUpdates = true;
    TTaskFileWriter::TWrite TaskFileWrite; // none: the atomic replacement of the task file
    std::function<void()> StatusChanged;   // none: nobody follows the status from outside
};

// The program's only window: the task list, every command as an action, the context and
// tray menus, the tray icon and the timers.
class TMainForm final : public QMainWindow, private ITaskTrackerObserver {
    Q_OBJECT
public:
    explicit TMainForm(TMainFormServices Services, QWidget* Parent = nullptr);
    ~TMainForm() override;

    TTaskTracker& Tracker() { return FTracker; }
    TTaskListModel& Model() { return *FModel; }
    TTaskListView* ListView1 = nullptr;
    QMenu* PopupMenu = nullptr;
    QMenu* SystemTrayMenu = nullptr;
    QAction* TrayToggleVisibility = nullptr;
    QAction* TrayExit = nullptr;
    QAction* AppToggleTrackingContextMenuItem = nullptr;
    QSystemTrayIcon* TrayIcon = nullptr;
    TTrayClickHandler* TrayClick = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* UserInactivityCheckTimer = nullptr;
    QTimer* CheckForUpdatesTimer = nullptr;

    TAction TaskAddAction{QStringLiteral("TaskAddAction"), QStringLiteral("New task"),
                          QKeySequence(Qt::Key_Insert)};
    TAction TaskEdit{QStringLiteral("TaskEdit"), QStringLiteral("Edit task"), QKeySequence(Qt::Key_F2)};
    TAction TaskRun{QStringLiteral("TaskRun"), QStringLiteral("Run"), QKeySequence(Qt::Key_Return)};
    TAction TaskDelete{QStringLiteral("TaskDelete"), QStringLiteral("Remove"), QKeySequence(Qt::Key_Delete)};
    TAction TaskStop{QStringLiteral("TaskStop"), QStringLiteral("Stop"), QKeySequence(Qt::Key_Space)};
    TAction TaskReset{QStringLiteral("TaskReset"), QStringLiteral("Reset"),
                      QKeySequence(Qt::ALT | Qt::Key_Delete)};
    TAction TaskSelectAll{QStringLiteral("TaskSelectAll"), QStringLiteral("Select all"),
                          QKeySequence(Qt::CTRL | Qt::Key_A)};
    TAction ClipboardCopy{QStringLiteral("ClipboardCopy"), QStringLiteral("Copy"),
                          QKeySequence(Qt::CTRL | Qt::Key_C)};
    TAction ClipboardCut{QStringLiteral("ClipboardCut"), QStringLiteral("Cut"),
                         QKeySequence(Qt::CTRL | Qt::Key_X)};
    TAction AppExit{QStringLiteral("AppExit"), QStringLiteral("Exit"), QKeySequence(Qt::ALT | Qt::Key_X)};
    TAction AppToggleVisibility{QStringLiteral("AppToggleVisibility"), QStringLiteral("Hide"),
                                QKeySequence(Qt::Key_Escape)};
    TAction AppSettings{QStringLiteral("AppSettings"), QStringLiteral("Settings"), QKeySequence()};
    TAction AppToggleTracking{QStringLiteral("AppToggleTracking"), QStringLiteral("Pause"),
                              QKeySequence(Qt::ALT | Qt::SHIFT | Qt::Key_Space)};

    int TimeColumnWidth = 0;
    bool HideTipShown = false;

    // Runs an action through its rule inside the general error box; true when it ran.
    bool ExecuteAction(TAction& Action);
    std::vector<TAction*> Actions();

    // Task commands.
    void TaskAddActionExecute(TAction& Sender);
    void TaskEditExecute(TAction& Sender);
    void TaskEditUpdate(TAction& Sender);
    void TaskRunExecute(TAction& Sender);
    void TaskRunUpdate(TAction& Sender);
    void TaskStopExecute(TAction& Sender);
    void TaskStopUpdate(TAction& Sender);
    void TaskDeleteExecute(TAction& Sender);
    void TaskDeleteUpdate(TAction& Sender);
    void TaskResetExecute(TAction& Sender);
    void TaskResetUpdate(TAction& Sender);
    void TaskSelectAllExecute(TAction& Sender);
    void ClipboardCopyExecute(TAction& Sender);
    void ClipboardCopyUpdate(TAction& Sender);
    void ClipboardCutExecute(TAction& Sender);
    void ClipboardCutUpdate(TAction& Sender);
    void AppToggleTrackingExecute(TAction& Sender);
    void AppToggleTrackingUpdate(TAction& Sender);
    void AppSettingsExecute(TAction& Sender);
    std::vector<TTaskRow*> SelectedTasks(); // in list order
    TTaskRow* SelectedTaskIfFocused();
    static QString ClipboardText(const TTaskTracker& Tracker, const std::vector<bool>& Selected);

    // Visibility and tray.
    void AppToggleVisibilityExecute(TAction& Sender);
    void SetVisibilityState(bool Shown); // caption and shortcuts of the show/hide command
    void ShowFromOutside();              // a second start: show and bring to the front
    void ShowAndBringToFront();          // the bring-to-front hot key's work
    void ShowAtStart(bool Hidden);       // Hidden: only the tray icon, or the taskbar without a tray
    // Whether hiding leaves an icon to come back by. Without one, hiding minimizes instead.
    bool TrayHostPresent() const;
    bool ShownToUser() const { return isVisible() && !isMinimized(); }
    // A command from a later start (a word of the command line); the answer's text, or
    // nothing for a word this build does not know.
    std::optional<QByteArray> RemoteCommand(const QString& Word);
    // The status answer as of the last tick, for followers of the status.
    QByteArray StatusNow() const;
    void BringToFront();
    void ApplicationEventsMinimize();
    void UpdateTrayOutputs();
    static QString FirstHideTipText(const QKeySequence& ShortCut);
    // The tray icon's tip for a tip text, shown literally by the kind of tray in use.
    static QString TrayToolTip(const QString& Tip, bool XEmbedTray);

    // Start-up, timers, hot keys, exit.
    void FormCreate();
    void InitColumnWidths();
    void FitNameColumn();
    void Timer1Timer();
    void UserInactivityCheckTimerTimer();
    void CheckForUpdatesTimerTimer();
    void AppExitExecute(TAction& Sender);
    bool SaveTasksOrConfirmExit();
    void SaveTasksQuietly(); // session end and signals: stop tracking, save, no dialogs
    TTaskStore& TaskStore() { return FStore; }
    void SetSettingsForm(TSettingsForm* Form) { FSettingsForm = Form; }
    bool TerminateRequested() const { return FTerminating; }

Q_SIGNALS:
    // Exit decided that the program ends.
    void Terminate();

protected:
    void closeEvent(QCloseEvent* Event) override;
    void changeEvent(QEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void TrackingOutputsChanged() override; // title, tray tip and icon
    void TaskRowChanged(int Index, TTaskRowPart Part) override;
    void CreateActions();
    void CreateMenus();
    void CreateTrayIcon(); // now, or once a watcher that does not answer has answered
    void WaitForTrayWatcher();
    void MakeTrayIcon(TTrayWatcher Watcher);
    void CreateTimers();
    void LinkMenuItem(QMenu* Menu, TAction& Action, const QString& ItemName = QString());
    void UpdateActions(QMenu* Menu);
    bool HandleShortCut(QKeyEvent* Event);
    void LoadTaskList();
    void AnnounceSetAsideLists(); // raises the notice naming the copies of unread lists
    void RegisterHotKeys();
    void ShowFirstHideTip();

    TMainFormServices FServices;
    IPrompt& FPrompt;
    const TFiles& FFiles;
    TTaskTracker FTracker;
    TTaskStore FStore; // the list's file, its writer and the history
    TTaskListModel* FModel = nullptr;
    std::shared_ptr<IGlobalHotKey> BringToFrontGlobalHotKey;
    std::shared_ptr<IGlobalHotKey> ToggleTrackingGlobalHotKey;
    std::unique_ptr<TInactivityCheck> FInactivityCheck;
    std::unique_ptr<TUpdateChecker> FUpdateChecker;
    TSettingsForm* FSettingsForm = nullptr;
    bool FTerminating = false;
    bool FDeferHideTip = false; // a remote command hid the window: its sender must not wait for the tip
    bool FXEmbedTray = true;    // no StatusNotifierItem host: Qt's XEmbed tray icon
};
