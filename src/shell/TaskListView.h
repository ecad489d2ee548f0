#pragma once

#include <QTreeView>
#include <functional>

// The report-style task list: hidden header, grid lines, whole rows selected, several at a
// time, no editing, the selection visible also without the focus.
class TTaskListView final : public QTreeView {
public:
    explicit TTaskListView(QWidget* Parent = nullptr);

    // Runs after every resize of the list, once its viewport has its new size.
    void SetOnResized(std::function<void()> Handler) { FOnResized = std::move(Handler); }

protected:
    void resizeEvent(QResizeEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void dataChanged(const QModelIndex& TopLeft, const QModelIndex& BottomRight,
                     const QList<int>& Roles = QList<int>()) override;

private:
    std::function<void()> FOnResized;
};
