// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

class QMenu;
class QSystemTrayIcon;

// Tells single from double clicks on the tray icon in one place for every tray host.
// A single click acts only after the double-click interval, so a double click can cancel it.
// XEmbed trays report a double click as Trigger then DoubleClick; StatusNotifierItem hosts
// report only Trigger, so there a second Trigger within the interval counts as the double click.
class TTrayClickHandler final : public QObject {
    Q_OBJECT
public:
    TTrayClickHandler(std::function<int()> DoubleClickInterval, std::function<void()> OnClick,
                      std::function<void()> OnDoubleClick, QObject* Parent = nullptr);

    void TrayIconClick();      // a Trigger activation
    void TrayIconDblClick();   // a DoubleClick activation
    void TrayClickTimerProc(); // the single click's delayed action
    bool ClickPending() const { return FTimer.isActive() || FDeferred; }
    // XEmbed trays report real double clicks, with the system's distance rule: there a second
    // Trigger within the interval is a click of its own and restarts the wait.
    void SetTwoTriggersMakeDoubleClick(bool Enabled) { FTwoTriggersMakeDoubleClick = Enabled; }

private:
    void TrayClickTimerFired();

    std::function<int()> FDoubleClickInterval;
    std::function<void()> FOnClick;
    std::function<void()> FOnDoubleClick;
    QTimer FTimer;
    // After a double click made of two Triggers, a host that also reports DoubleClick for the
    // same press must not toggle a second time.
    QTimer FSwallowDoubleClick;
    bool FTwoTriggersMakeDoubleClick = true;
    unsigned FClicks = 0;   // activations so far, to see whether one came meanwhile
    bool FDeferred = false; // the timer has fired; input already received goes first
};

// Qt's XEmbed tray icon reports only the left button's double click; this watches the icon's
// widget, and the tray menu that a right press opens, for the right and middle buttons' ones.
class TXEmbedTrayButtons final : public QObject {
    Q_OBJECT
public:
    TXEmbedTrayButtons(QSystemTrayIcon* Icon, QMenu* TrayMenu, std::function<void()> OnDoubleClick,
                       QObject* Parent = nullptr);
    ~TXEmbedTrayButtons() override;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    QSystemTrayIcon* FIcon;
    QMenu* FTrayMenu;
    std::function<void()> FOnDoubleClick;
};
