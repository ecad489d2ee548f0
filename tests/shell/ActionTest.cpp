// SPDX-License-Identifier: MIT
#include "Action.h"

#include <QAction>
#include <QMenu>
#include <gtest/gtest.h>

namespace {

struct TRuleCase {
    const char* Name;
    bool EnabledByRule;
    bool HasHandler;
    bool Runs;
};

class ActionRuleTest : public ::testing::TestWithParam<TRuleCase> {};

TEST_P(ActionRuleTest, UpdateFirstThenTheHandlerOnlyWhenEnabled) {
    const TRuleCase& c = GetParam();
    TAction action(QStringLiteral("A"), QStringLiteral("Caption"), QKeySequence(Qt::Key_F2));
    std::vector<std::string> order;
    action.SetOnUpdate([&](TAction& Sender) {
        order.push_back("update");
        Sender.SetEnabled(c.EnabledByRule);
    });
    if (c.HasHandler)
        action.SetOnExecute([&](TAction& Sender) {
            EXPECT_EQ(&Sender, &action);
            order.push_back("execute");
        });
    EXPECT_EQ(action.Execute(), c.Runs);
    std::vector<std::string> expected{"update"};
    if (c.Runs)
        expected.push_back("execute");
    EXPECT_EQ(order, expected);
}

const TRuleCase RuleCases[] = {
    {"Enabled", true, true, true},
    {"Disabled", false, true, false},
    {"NoHandler", true, false, false},
};
INSTANTIATE_TEST_SUITE_P(Rules, ActionRuleTest, ::testing::ValuesIn(RuleCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(Action, LinkedItemsFollowCaptionEnabledAndShortcutUntilSetApart) {
    QMenu menu;
    QAction* first = menu.addAction(QString());
    QAction* second = menu.addAction(QString());
    TAction action(QStringLiteral("AppToggleVisibility"), QStringLiteral("Hide"),
                   QKeySequence(Qt::Key_Escape));
    action.Link(first);
    action.Link(second);
    EXPECT_EQ(first->text(), QStringLiteral("Hide\tEsc"));
    action.SetItemShortCut(second, QKeySequence());
    EXPECT_EQ(second->text(), QStringLiteral("Hide"));
    action.SetCaption(QStringLiteral("Show"));
    EXPECT_EQ(second->text(), QStringLiteral("Show")) << "a caption change keeps the item's own shortcut";
    action.SetShortCut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Space));
    EXPECT_EQ(first->text(), QStringLiteral("Show\tShift+Ctrl+Space"));
    EXPECT_EQ(second->text(), QStringLiteral("Show\tShift+Ctrl+Space"))
        << "a new action shortcut reaches every item";
    action.SetEnabled(false);
    EXPECT_FALSE(first->isEnabled());
    EXPECT_FALSE(second->isEnabled());
    EXPECT_TRUE(first->shortcut().isEmpty())
        << "keys go through the window's filter, never Qt's shortcut map";
}

} // namespace
