// SPDX-License-Identifier: MIT
#include "TrayClickHandler.h"

#include <QCoreApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QSystemTrayIcon>

TTrayClickHandler::TTrayClickHandler(std::function<int()> DoubleClickInterval, std::function<void()> OnClick,
                                     std::function<void()> OnDoubleClick, QObject* Parent)
    : QObject(Parent), FDoubleClickInterval(std::move(DoubleClickInterval)), FOnClick(std::move(OnClick)),
      FOnDoubleClick(std::move(OnDoubleClick)) {
    FTimer.setSingleShot(true);
    FSwallowDoubleClick.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, &TTrayClickHandler::TrayClickTimerFired);
}

void TTrayClickHandler::TrayClickTimerFired() {
    // A starved process finds the timer due and the second press of a double click waiting
    // at the same time, and the event loop runs timers before the window system's input:
    // the click would act although the double click came in time. Input already received is
    // handled first; the click acts only if nothing came of it.
    const unsigned clicks = FClicks;
    FDeferred = true;
    QTimer::singleShot(0, this, [this, clicks] {
        FDeferred = false;
        if (clicks == FClicks)
            TrayClickTimerProc();
    });
}

void TTrayClickHandler::TrayIconClick() {
    ++FClicks;
    if (ClickPending() && FTwoTriggersMakeDoubleClick) {
        FTimer.stop();
        FSwallowDoubleClick.start(FDoubleClickInterval());
        FOnDoubleClick();
        return;
    }
    FTimer.start(FDoubleClickInterval());
}

void TTrayClickHandler::TrayIconDblClick() {
    ++FClicks;
    FTimer.stop();
    if (FSwallowDoubleClick.isActive()) {
        FSwallowDoubleClick.stop();
        return;
    }
    FOnDoubleClick();
}

void TTrayClickHandler::TrayClickTimerProc() {
    FTimer.stop();
    FOnClick();
}

TXEmbedTrayButtons::TXEmbedTrayButtons(QSystemTrayIcon* Icon, QMenu* TrayMenu,
                                       std::function<void()> OnDoubleClick, QObject* Parent)
    : QObject(Parent), FIcon(Icon), FTrayMenu(TrayMenu), FOnDoubleClick(std::move(OnDoubleClick)) {
    // The icon's widget is private to Qt, so it is recognised by its class among all events.
    QCoreApplication::instance()->installEventFilter(this);
}

TXEmbedTrayButtons::~TXEmbedTrayButtons() {
    QCoreApplication::instance()->removeEventFilter(this);
}

bool TXEmbedTrayButtons::eventFilter(QObject* Watched, QEvent* Event) {
    if (Event->type() != QEvent::MouseButtonDblClick)
        return false;
    const auto* mouse = static_cast<const QMouseEvent*>(Event);
    if (mouse->button() != Qt::RightButton && mouse->button() != Qt::MiddleButton)
        return false;
    if (Watched->inherits("QSystemTrayIconSys")) {
        FOnDoubleClick();
        return true;
    }
    // The right button's first press has opened the tray menu, which therefore receives the
    // second press of the double click, over the icon.
    if (Watched == FTrayMenu && mouse->button() == Qt::RightButton &&
        FIcon->geometry().contains(mouse->globalPosition().toPoint())) {
        FTrayMenu->close();
        FOnDoubleClick();
        return true;
    }
    return false;
}
