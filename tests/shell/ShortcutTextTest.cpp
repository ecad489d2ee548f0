// SPDX-License-Identifier: MIT
#include "ShortcutText.h"

#include <gtest/gtest.h>

namespace {

struct TTextCase {
    QKeySequence ShortCut;
    const char* Text;
};

class ShortCutTextTest : public ::testing::TestWithParam<TTextCase> {};

TEST_P(ShortCutTextTest, MenuTextUsesShortKeyNamesAndTheFixedModifierOrder) {
    EXPECT_EQ(ShortCutToText(GetParam().ShortCut), QString::fromLatin1(GetParam().Text));
}

const TTextCase Cases[] = {
    {QKeySequence(Qt::Key_Insert), "Ins"},
    {QKeySequence(Qt::Key_Delete), "Del"},
    {QKeySequence(Qt::ALT | Qt::Key_Delete), "Alt+Del"},
    {QKeySequence(Qt::Key_F2), "F2"},
    {QKeySequence(Qt::Key_F12), "F12"},
    {QKeySequence(Qt::Key_Return), "Enter"},
    {QKeySequence(Qt::Key_Enter), "Enter"},
    {QKeySequence(Qt::Key_Space), "Space"},
    {QKeySequence(Qt::Key_Escape), "Esc"},
    {QKeySequence(Qt::CTRL | Qt::Key_A), "Ctrl+A"},
    {QKeySequence(Qt::ALT | Qt::Key_X), "Alt+X"},
    {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Space), "Shift+Ctrl+Space"},
    {QKeySequence(Qt::ALT | Qt::SHIFT | Qt::Key_Space), "Shift+Alt+Space"},
    {QKeySequence(Qt::ALT | Qt::CTRL | Qt::SHIFT | Qt::Key_9), "Shift+Ctrl+Alt+9"},
    {QKeySequence(Qt::Key_Backspace), "BkSp"},
    {QKeySequence(Qt::Key_PageUp), "PgUp"},
    {QKeySequence(Qt::Key_PageDown), "PgDn"},
    {QKeySequence(Qt::Key_Home), "Home"},
    {QKeySequence(Qt::Key_Left), "Left"},
    {QKeySequence(), ""},
};
INSTANTIATE_TEST_SUITE_P(Keys, ShortCutTextTest, ::testing::ValuesIn(Cases));

TEST(KeySequenceOfEvent, KeypadEnterIsReturnAndTheKeypadFlagIsDropped) {
    EXPECT_EQ(KeySequenceOfEvent(Qt::Key_Enter, Qt::KeypadModifier), QKeySequence(Qt::Key_Return));
    EXPECT_EQ(KeySequenceOfEvent(Qt::Key_Space, Qt::ShiftModifier | Qt::AltModifier),
              QKeySequence(Qt::ALT | Qt::SHIFT | Qt::Key_Space));
    EXPECT_NE(KeySequenceOfEvent(Qt::Key_Space, Qt::ShiftModifier), QKeySequence(Qt::Key_Space));
}

} // namespace
