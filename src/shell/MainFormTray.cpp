// SPDX-License-Identifier: MIT
// Hiding to the tray, showing again, the tray icon and its clicks.
#include "ErrorReporting.h"
#include "Files.h"
#include "Functions.h"
#include "Logging.h"
#include "MainFormUnit.h"
#include "Prompt.h"
#include "ShortcutText.h"
#include "TrayClickHandler.h"
#include "TrayHost.h"
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

// Qt takes "[*]" in a window title for its "modified" mark and drops it; doubled, each one
// shows as typed.
QString LiteralWindowTitle(const QString& Title) {
    QString title = Title;
    return title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}
} // namespace

void TMainForm::CreateTrayIcon() {
    const TTrayWatcher watcher = FServices.AskTrayWatcher ? FServices.AskTrayWatcher() : AskTrayWatcher();
    if (watcher != TTrayWatcher::NoAnswer) {
        MakeTrayIcon(watcher);
        return;
    }
    // Qt's tray icon would ask the mute watcher once more and wait 25 s for it, with the window
    // and the second-start channel not yet up: the icon comes once the watcher answers.
    WaitForTrayWatcher();
}

void TMainForm::WaitForTrayWatcher() {
    const std::function<void(QObject*, std::function<void(TTrayWatcher)>)> ask =
        FServices.AskTrayWatcherLater ? FServices.AskTrayWatcherLater : &AskTrayWatcherLater;
    ask(this, [this](TTrayWatcher Later) {
        if (Later == TTrayWatcher::NoAnswer)
            WaitForTrayWatcher();
        else
            MakeTrayIcon(Later);
    });
}

void TMainForm::MakeTrayIcon(TTrayWatcher Watcher) {
    TrayIcon = new QSystemTrayIcon(TrayIconImage(FTracker.TrayImageIndex()), this);
    TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
    TrayIcon->setContextMenu(SystemTrayMenu);
    FXEmbedTray = Watcher != TTrayWatcher::Host;
    qCInfo(lcTray, FXEmbedTray ? "tray icon for an XEmbed tray" : "tray icon as a StatusNotifierItem");
    TrayIcon->setToolTip(TrayToolTip(FTracker.TrayTip(), FXEmbedTray));
    TrayClick = new TTrayClickHandler(
        FServices.DoubleClickInterval, [this] { ExecuteAction(AppToggleTracking); },
        [this] { ExecuteAction(AppToggleVisibility); }, this);
    TrayClick->SetTwoTriggersMakeDoubleClick(!FXEmbedTray);
    if (FXEmbedTray)
        new TXEmbedTrayButtons(
            TrayIcon, SystemTrayMenu, [this] { TrayClick->TrayIconDblClick(); }, this);
    // A single middle click (MiddleClick) does nothing; only double clicks toggle the window.
    connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason Reason) {
        if (Reason == QSystemTrayIcon::Trigger)
            TrayClick->TrayIconClick();
        else if (Reason == QSystemTrayIcon::DoubleClick)
            TrayClick->TrayIconDblClick();
    });
    TrayIcon->show();
}

void TMainForm::UpdateTrayOutputs() {
    setWindowTitle(LiteralWindowTitle(DisplayPrefix(FTracker.Title())));
    if (!TrayIcon)
        return; // not yet: the watcher has not answered
    TrayIcon->setToolTip(TrayToolTip(FTracker.TrayTip(), FXEmbedTray));
    TrayIcon->setIcon(TrayIconImage(FTracker.TrayImageIndex()));
}

QString TMainForm::TrayToolTip(const QString& Tip, bool XEmbedTray) {
    // Qt shows an XEmbed tray's tip in a label that takes anything looking like markup for
    // rich text; so there the tip goes as rich text that reads exactly as the plain title.
    // A StatusNotifierItem's tip title is plain text and goes unchanged.
    if (!XEmbedTray)
        return Tip;
    return QStringLiteral("<p style='white-space:pre'>") + Tip.toHtmlEscaped() + QStringLiteral("</p>");
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
    if (FDeferHideTip) {
        QTimer::singleShot(0, this, [this] { RunGuarded(FPrompt, [this] { ShowFirstHideTip(); }); });
        return;
    }
    HideTipShown = true;
    const QString noTip = FFiles.NoTip();
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

bool TMainForm::TrayHostPresent() const {
    // Without the icon, asking Qt would wait for the mute watcher too.
    return TrayIcon && (!FServices.TrayHostPresent || FServices.TrayHostPresent());
}

void TMainForm::AppToggleVisibilityExecute(TAction& /*Sender*/) {
    if (!ShownToUser()) {
        showNormal();
        BringToFront();
        SetVisibilityState(true);
        return;
    }
    if (!TrayHostPresent()) {
        // With no icon to come back by, a hidden window would be lost: it goes to the taskbar,
        // and the tip about the icon has nothing to point at.
        showMinimized();
        SetVisibilityState(false);
        return;
    }
    hide();
    SetVisibilityState(false);
    ShowFirstHideTip();
}

void TMainForm::ShowFromOutside() {
    if (!ShownToUser())
        ExecuteAction(AppToggleVisibility);
    BringToFront();
}

void TMainForm::ShowAtStart(bool Hidden) {
    if (!Hidden)
        show();
    else if (!TrayHostPresent())
        showMinimized();
    SetVisibilityState(!Hidden);
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
    if (!TrayHostPresent()) {
        SetVisibilityState(false); // stays minimized on the taskbar
        return;
    }
    // The minimized state stays until the window is shown again (showNormal clears it):
    // clearing it on a hidden window makes Qt's XCB backend map the window again, and the
    // window manager would bring back a taskbar entry with an unpainted window behind it.
    hide();
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
    } else if (Event->type() == QEvent::WindowStateChange && ShownToUser()) {
        SetVisibilityState(true); // restored from the taskbar by the window manager
    }
}
