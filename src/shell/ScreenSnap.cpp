// SPDX-License-Identifier: MIT
#include "ScreenSnap.h"

#include "WindowActivation.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cstdlib>

namespace {
// How long a window must stand still before its move counts as ended.
constexpr int SettleMs = 150;

int SnapAxis(int Start, int Length, int EdgeStart, int EdgeLength, int Distance) {
    if (std::abs(Start - EdgeStart) <= Distance)
        return EdgeStart;
    const int end = Start + Length, edgeEnd = EdgeStart + EdgeLength;
    if (std::abs(end - edgeEnd) <= Distance)
        return edgeEnd - Length;
    return Start;
}
} // namespace

TScreenSnap::TScreenSnap(QWidget* Window) : QObject(Window), FWindow(Window) {
    FSettle.setSingleShot(true);
    connect(&FSettle, &QTimer::timeout, this, &TScreenSnap::MoveEnded);
    // Only an X11 client places its own window; a Wayland compositor ignores the request.
    if (QGuiApplication::platformName() == QStringLiteral("xcb"))
        FWindow->installEventFilter(this);
}

QPoint TScreenSnap::Snapped(const QRect& Frame, const QRect& WorkArea, int Distance) {
    return {SnapAxis(Frame.x(), Frame.width(), WorkArea.x(), WorkArea.width(), Distance),
            SnapAxis(Frame.y(), Frame.height(), WorkArea.y(), WorkArea.height(), Distance)};
}

bool TScreenSnap::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == FWindow && Event->type() == QEvent::Move && FWindow->isVisible())
        FSettle.start(SettleMs);
    return QObject::eventFilter(Watched, Event);
}

void TScreenSnap::MoveEnded() {
    if (!FWindow->isVisible() ||
        (FWindow->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)))
        return;
    if (AnyPointerButtonDown()) { // still dragging
        FSettle.start(SettleMs);
        return;
    }
    const QScreen* screen = FWindow->screen();
    if (!screen)
        return;
    const QRect frame = FWindow->frameGeometry();
    const QPoint target = Snapped(frame, screen->availableGeometry(), SnapBuffer);
    if (target != frame.topLeft())
        FWindow->move(target);
}
