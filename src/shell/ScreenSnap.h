// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QTimer>

class QWidget;

// Screen snapping of a top-level window: moved to within SnapBuffer pixels of an edge of its
// screen's work area, it ends at that edge. It acts once a move has ended (no mouse button
// held), so it never fights the window manager during an interactive drag.
class TScreenSnap final : public QObject {
public:
    static constexpr int SnapBuffer = 7;

    explicit TScreenSnap(QWidget* Window);

    // Where a frame ends: each coordinate moves to a work-area edge within Distance of it.
    static QPoint Snapped(const QRect& Frame, const QRect& WorkArea, int Distance);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void MoveEnded();

    QWidget* FWindow;
    QTimer FSettle;
};
