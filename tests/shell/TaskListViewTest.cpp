// SPDX-License-Identifier: MIT
#include "TaskListView.h"

#include "FakeTickCounter.h"
#include "TaskListModel.h"

#include <QItemSelectionModel>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct TMoveCase {
    const char* Name;
    Qt::Key Key;
    int SelectedRow;
};

class TaskListViewMoveTest : public ::testing::TestWithParam<TMoveCase> {};

// The view makes row 0 current without selecting it when it first gets the focus; a move key
// must still leave a selected row, or Enter afterwards runs nothing.
TEST_P(TaskListViewMoveTest, MoveKeyOnAnUntouchedListSelectsItsRow) {
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    TTaskListModel model(tracker);
    for (const char* caption : {"A", "B", "C"})
        tracker.AppendTask(QString::fromLatin1(caption));
    TTaskListView view;
    view.setModel(&model);
    view.setCurrentIndex(model.index(0, 0));
    view.selectionModel()->clearSelection();
    QTest::keyClick(&view, GetParam().Key);
    const QModelIndexList rows = view.selectionModel()->selectedRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.front().row(), GetParam().SelectedRow);
}

INSTANTIATE_TEST_SUITE_P(Keys, TaskListViewMoveTest,
                         ::testing::Values(TMoveCase{"HomeOnCurrentRow", Qt::Key_Home, 0},
                                           TMoveCase{"UpAtTheTop", Qt::Key_Up, 0},
                                           TMoveCase{"Down", Qt::Key_Down, 1},
                                           TMoveCase{"End", Qt::Key_End, 2}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(TaskListView, ShiftMoveStillExtendsTheSelection) {
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    TTaskListModel model(tracker);
    for (const char* caption : {"A", "B", "C"})
        tracker.AppendTask(QString::fromLatin1(caption));
    TTaskListView view;
    view.setModel(&model);
    view.setCurrentIndex(model.index(0, 0));
    QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(view.selectionModel()->selectedRows().size(), 2);
}

} // namespace
