// SPDX-License-Identifier: MIT
#include "MainFormUnit.h"

#include "Accessibility.h"
#include "ErrorReporting.h"
#include "Files.h"
#include "GlobalHotKey.h"
#include "History.h"
#include "InactivityCheck.h"
#include "Prompt.h"
#include "ScreenSnap.h"
#include "ShortcutText.h"
#include "TahomaFont.h"
#include "TaskListModel.h"
#include "TaskListView.h"
#include "TickCounter.h"
#include "TrayClickHandler.h"
#include "TrayImages.h"
#include "UpdateChecker.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <QStyleHints>
#include <QSystemTrayIcon>

TMainForm::TMainForm(TMainFormServices Services, QWidget* Parent)
    : QMainWindow(Parent), FServices(std::move(Services)), FPrompt(*FServices.Prompt),
      FFiles(*FServices.Files), FTracker(*FServices.Ticks, QStringLiteral("Tallyvox")),
      FStore(FTracker, FFiles.TasksDb(), FFiles.DataFolder(), FServices.TaskFileWrite) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Tallyvox"));
    setWindowIcon(ApplicationIcon());
    setFont(TahomaFont(11));
    if (!FServices.SetClipboardText)
        FServices.SetClipboardText = [](const QString& Text) { QGuiApplication::clipboard()->setText(Text); };
    if (!FServices.DoubleClickInterval)
        FServices.DoubleClickInterval = [] {
            return QGuiApplication::styleHints()->mouseDoubleClickInterval();
        };

    FModel = new TTaskListModel(FTracker, this);
    ListView1 = new TTaskListView(this);
    ListView1->setAccessibleName(QStringLiteral("Tasks"));
    ListView1->setModel(FModel);
    setCentralWidget(ListView1);
    ListView1->installEventFilter(this);
    installEventFilter(this); // keys that reach the window itself, with no list focus
    ListView1->SetOnResized([this] { FitNameColumn(); });
    FTracker.AddObserver(*this);
    resize(580, 383);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    new TScreenSnap(this);

    // A command's save that failed shows in the general error box once the writer is done.
    FStore.SetFailureHandler([this](const std::exception_ptr& Error) {
        RunGuarded(FPrompt, [&Error] { std::rethrow_exception(Error); });
    });
    CreateActions();
    CreateMenus();
    CreateTrayIcon();
    CreateTimers();
    FormCreate();
    ListView1->setFocus();
}

TMainForm::~TMainForm() {
    // Presses still queued find their hot keys gone and do nothing.
    BringToFrontGlobalHotKey.reset();
    ToggleTrackingGlobalHotKey.reset();
    FUpdateChecker.reset(); // its dialog belongs to this window
    removeEventFilter(this);
    ListView1->removeEventFilter(this);
    ListView1->SetOnResized({});
    FTracker.RemoveObserver(*this);
    // The model observes the tracker; it goes before the rows do.
    ListView1->setModel(nullptr);
    delete FModel;
    FModel = nullptr;
}

std::vector<TAction*> TMainForm::Actions() {
    return {&TaskAddAction,       &TaskEdit,      &TaskRun,          &TaskDelete,   &TaskStop,
            &TaskReset,           &TaskSelectAll, &ClipboardCopy,    &ClipboardCut, &AppExit,
            &AppToggleVisibility, &AppSettings,   &AppToggleTracking};
}

void TMainForm::CreateActions() {
    const auto bind = [this](void (TMainForm::*Handler)(TAction&)) {
        return [this, Handler](TAction& Sender) { (this->*Handler)(Sender); };
    };
    TaskAddAction.SetOnExecute(bind(&TMainForm::TaskAddActionExecute));
    TaskEdit.SetOnExecute(bind(&TMainForm::TaskEditExecute));
    TaskEdit.SetOnUpdate(bind(&TMainForm::TaskEditUpdate));
    TaskRun.SetOnExecute(bind(&TMainForm::TaskRunExecute));
    TaskRun.SetOnUpdate(bind(&TMainForm::TaskRunUpdate));
    TaskDelete.SetOnExecute(bind(&TMainForm::TaskDeleteExecute));
    TaskDelete.SetOnUpdate(bind(&TMainForm::TaskDeleteUpdate));
    TaskStop.SetOnExecute(bind(&TMainForm::TaskStopExecute));
    TaskStop.SetOnUpdate(bind(&TMainForm::TaskStopUpdate));
    TaskReset.SetOnExecute(bind(&TMainForm::TaskResetExecute));
    TaskReset.SetOnUpdate(bind(&TMainForm::TaskResetUpdate));
    TaskSelectAll.SetOnExecute(bind(&TMainForm::TaskSelectAllExecute));
    ClipboardCopy.SetOnExecute(bind(&TMainForm::ClipboardCopyExecute));
    ClipboardCopy.SetOnUpdate(bind(&TMainForm::ClipboardCopyUpdate));
    ClipboardCut.SetOnExecute(bind(&TMainForm::ClipboardCutExecute));
    ClipboardCut.SetOnUpdate(bind(&TMainForm::ClipboardCutUpdate));
    AppExit.SetOnExecute(bind(&TMainForm::AppExitExecute));
    AppToggleVisibility.SetOnExecute(bind(&TMainForm::AppToggleVisibilityExecute));
    AppSettings.SetOnExecute(bind(&TMainForm::AppSettingsExecute));
    AppToggleTracking.SetOnExecute(bind(&TMainForm::AppToggleTrackingExecute));
    AppToggleTracking.SetOnUpdate(bind(&TMainForm::AppToggleTrackingUpdate));
}

void TMainForm::LinkMenuItem(QMenu* Menu, TAction& Action, const QString& ItemName) {
    QAction* item = Menu->addAction(Action.Caption());
    item->setObjectName(ItemName.isEmpty() ? Action.Name() + QStringLiteral("MenuItem") : ItemName);
    Action.Link(item);
    connect(item, &QAction::triggered, this, [this, &Action] { ExecuteAction(Action); });
    if (&Action == &AppToggleTracking && Menu == SystemTrayMenu)
        AppToggleTrackingContextMenuItem = item;
    if (&Action == &AppToggleVisibility && Menu == SystemTrayMenu)
        TrayToggleVisibility = item;
    if (&Action == &AppExit && Menu == SystemTrayMenu)
        TrayExit = item;
}

void TMainForm::CreateMenus() {
    InstallAccessibility();
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    LinkMenuItem(PopupMenu, TaskAddAction);
    PopupMenu->addSeparator();
    LinkMenuItem(PopupMenu, TaskRun, QStringLiteral("TaskRunContextMenuItem"));
    LinkMenuItem(PopupMenu, TaskStop, QStringLiteral("TaskStopContextMenuItem"));
    LinkMenuItem(PopupMenu, TaskEdit, QStringLiteral("TaskEditContextMenuItem"));
    LinkMenuItem(PopupMenu, TaskDelete, QStringLiteral("TaskRemoveContextMenuItem"));
    LinkMenuItem(PopupMenu, TaskReset, QStringLiteral("TaskResetContextMenuItem"));
    PopupMenu->addSeparator();
    LinkMenuItem(PopupMenu, ClipboardCopy);
    LinkMenuItem(PopupMenu, ClipboardCut);
    LinkMenuItem(PopupMenu, TaskSelectAll);
    PopupMenu->addSeparator();
    LinkMenuItem(PopupMenu, AppSettings);
    PopupMenu->addSeparator();
    LinkMenuItem(PopupMenu, AppToggleTracking);
    LinkMenuItem(PopupMenu, AppToggleVisibility);
    LinkMenuItem(PopupMenu, AppExit);
    connect(PopupMenu, &QMenu::aboutToShow, this, [this] { UpdateActions(PopupMenu); });
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& Position) {
        PopupMenu->popup(ListView1->viewport()->mapToGlobal(Position));
    });

    SystemTrayMenu = new QMenu(this);
    SystemTrayMenu->setObjectName(QStringLiteral("SystemTrayMenu"));
    LinkMenuItem(SystemTrayMenu, AppToggleTracking, QStringLiteral("AppToggleTrackingContextMenuItem"));
    LinkMenuItem(SystemTrayMenu, AppToggleVisibility, QStringLiteral("TrayToggleVisibility"));
    LinkMenuItem(SystemTrayMenu, AppSettings, QStringLiteral("Settings1"));
    LinkMenuItem(SystemTrayMenu, AppExit, QStringLiteral("TrayExit"));
    SystemTrayMenu->setDefaultAction(AppToggleTrackingContextMenuItem);
    QFont bold = AppToggleTrackingContextMenuItem->font();
    bold.setBold(true);
    AppToggleTrackingContextMenuItem->setFont(bold);
    connect(SystemTrayMenu, &QMenu::aboutToShow, this, [this] { UpdateActions(SystemTrayMenu); });
}

void TMainForm::UpdateActions(QMenu* /*Menu*/) {
    RunGuarded(FPrompt, [this] {
        for (TAction* action : Actions())
            action->Update();
    });
}

bool TMainForm::ExecuteAction(TAction& Action) {
    bool ran = false;
    RunGuarded(FPrompt, [&] { ran = Action.Execute(); });
    return ran;
}

bool TMainForm::HandleShortCut(QKeyEvent* Event) {
    const QKeySequence pressed = KeySequenceOfEvent(Event->key(), Event->modifiers());
    for (TAction* action : Actions()) {
        if (action->ShortCut().isEmpty() || action->ShortCut() != pressed)
            continue;
        // A disabled action leaves the key to the list, as an ordinary key press.
        bool enabled = false;
        RunGuarded(FPrompt, [&] {
            action->Update();
            enabled = action->Enabled();
        });
        if (!enabled)
            return false;
        ExecuteAction(*action);
        return true;
    }
    return false;
}

bool TMainForm::eventFilter(QObject* Watched, QEvent* Event) {
    // A hidden list has nothing to repaint; its rows catch up when it shows again.
    if (Watched == ListView1 && (Event->type() == QEvent::Show || Event->type() == QEvent::Hide))
        FModel->SetViewHidden(Event->type() == QEvent::Hide);
    // A key the list left alone travels on to the window: it was handled at the list already.
    const bool fromList = Watched == this && QApplication::focusWidget() == ListView1;
    if (Event->type() == QEvent::KeyPress && !fromList) {
        auto* key = static_cast<QKeyEvent*>(Event);
        if (HandleShortCut(key))
            return true;
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
            close(); // refused by closeEvent, which hides instead
            return true;
        }
    }
    return QMainWindow::eventFilter(Watched, Event);
}
