// SPDX-License-Identifier: MIT
#pragma once

#include <QTreeView>
#include <functional>

// The report-style task list: hidden header, grid lines, whole rows selected, several at a
// time, no editing, the selection visible also without the focus.
class TTaskListView final : public QTreeView {
public:
    explicit TTaskListView(QWidget* Parent = nullptr);

    // Runs after every change of the list's own size, once its viewport has its new size; not
    // when only the viewport changes (a scroll bar coming or going).
    void SetOnResized(std::function<void()> Handler) { FOnResized = std::move(Handler); }

protected:
    void resizeEvent(QResizeEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void dataChanged(const QModelIndex& TopLeft, const QModelIndex& BottomRight,
                     const QList<int>& Roles = QList<int>()) override;

private:
    std::function<void()> FOnResized;
    QSize FNotifiedSize;
};
