// Hiding to the tray, showing again, the tray icon and its clicks.
#include "MainFormUnit.h"

#include "ErrorDialog.h"
#include "Files.h"
#include "Functions.h"
#include "Prompt.h"
#include "ShortcutText.h"
#include "TrayClick.h"
#include "TrayImages.h"
#include "WindowActivation.h"

#include <QCloseEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>

namespace {
const QKeySequence ShownShortCut(Qt::Key_Escape);
const QKeySequence HiddenShortCut(Qt::CTRL | Qt::SHIFT | Qt::Key_Space);
} // namespace

void TMainForm::CreateTrayIcon() {
    TrayIcon = new QSystemTrayIcon(TrayIconImage(FTracker.TrayImageIndex()), this);
    TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
    TrayIcon->setContextMenu(SystemTrayMenu);
    TrayIcon->setToolTip(FTracker.TrayTip());
    TrayClick = new TTrayClickHandler(
        FServices.DoubleClickInterval, [this] { ExecuteAction(AppToggleTracking); },
        [this] { ExecuteAction(AppToggleVisibility); }, this);
    connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason Reason) {
        switch (Reason) {
        case QSystemTrayIcon::Trigger: TrayClick->TrayIconClick(); break;
        case QSystemTrayIcon::DoubleClick:
        case QSystemTrayIcon::MiddleClick: TrayClick->TrayIconDblClick(); break;
        default: break;
        }
    });
    TrayIcon->show();
}

void TMainForm::UpdateTrayOutputs() {
    setWindowTitle(DisplayPrefix(FTracker.Title()));
    TrayIcon->setToolTip(FTracker.TrayTip());
    TrayIcon->setIcon(TrayIconImage(FTracker.TrayImageIndex()));
}

void TMainForm::SetVisibilityState(bool Shown) {
    AppToggleVisibility.SetCaption(Shown ? QStringLiteral("Hide") : QStringLiteral("Show"));
    AppToggleVisibility.SetShortCut(Shown ? ShownShortCut : HiddenShortCut);
    AppToggleVisibility.SetItemShortCut(TrayToggleVisibility, Shown ? QKeySequence() : HiddenShortCut);
}

QString TMainForm::FirstHideTipText(const QKeySequence& ShortCut) {
    return QStringLiteral("To see the window again just press ") + ShortCutToText(ShortCut) +
           QStringLiteral(". It works globally.");
}

void TMainForm::ShowFirstHideTip() {
    if (HideTipShown)
        return;
    HideTipShown = true;
    const QString noTip = DataFiles().NoTip();
    if (FileExists(noTip))
        return;
    TMessageBoxRequest tip;
    tip.Caption = QStringLiteral("Tallyvox");
    tip.Text = FirstHideTipText(AppToggleVisibility.ShortCut());
    tip.Icon = TMessageIcon::None;
    tip.TopMost = true; // the window it belongs to has just gone
    FPrompt.MessageBox(tip);
    WriteFileText(noTip, QString());
}

void TMainForm::AppToggleVisibilityExecute(TAction& /*Sender*/) {
    if (!isVisible()) {
        showNormal();
        BringToFront();
        SetVisibilityState(true);
        return;
    }
    hide();
    SetVisibilityState(false);
    ShowFirstHideTip();
}

void TMainForm::ShowFromOutside() {
    if (!isVisible())
        ExecuteAction(AppToggleVisibility);
    BringToFront();
}

void TMainForm::BringToFront() {
    raise();
    activateWindow();
    BringWindowToFront(windowHandle());
    // WORKAROUND: a window manager that is still mapping the window just shown may drop the
    // first request; ask once more when that is done.
    QTimer::singleShot(150, this, [this] {
        if (isVisible() && !isActiveWindow())
            BringWindowToFront(windowHandle());
    });
}

void TMainForm::ApplicationEventsMinimize() {
    hide();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    SetVisibilityState(false);
}

void TMainForm::closeEvent(QCloseEvent* Event) {
    if (FTerminating) {
        Event->accept();
        return;
    }
    Event->ignore();
    ExecuteAction(AppToggleVisibility);
}

void TMainForm::changeEvent(QEvent* Event) {
    QMainWindow::changeEvent(Event);
    if (Event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) && isVisible()) {
        // WORKAROUND: hiding inside the state change confuses some window managers; do it
        // once the event has been handled.
        QTimer::singleShot(0, this, [this] {
            if (isVisible() && (windowState() & Qt::WindowMinimized))
                RunGuarded(FPrompt, [this] { ApplicationEventsMinimize(); });
        });
    }
}
