#include "TrayClick.h"

TTrayClickHandler::TTrayClickHandler(std::function<int()> DoubleClickInterval, std::function<void()> OnClick,
                                     std::function<void()> OnDoubleClick, QObject* Parent)
    : QObject(Parent), FDoubleClickInterval(std::move(DoubleClickInterval)), FOnClick(std::move(OnClick)),
      FOnDoubleClick(std::move(OnDoubleClick)) {
    FTimer.setSingleShot(true);
    FSwallowDoubleClick.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, &TTrayClickHandler::TrayClickTimerProc);
}

void TTrayClickHandler::TrayIconClick() {
    if (FTimer.isActive()) {
        FTimer.stop();
        FSwallowDoubleClick.start(FDoubleClickInterval());
        FOnDoubleClick();
        return;
    }
    FTimer.start(FDoubleClickInterval());
}

void TTrayClickHandler::TrayIconDblClick() {
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
