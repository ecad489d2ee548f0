// SPDX-License-Identifier: MIT
#pragma once

#include <QKeySequence>
#include <QString>

// The text a menu shows for a shortcut: the modifiers present in the fixed order "Shift+",
// "Ctrl+", "Alt+", then the key's short name ("Ins", "Del", "Esc", "Enter", "Space", "F2", "A").
// Empty for no shortcut.
QString ShortCutToText(const QKeySequence& ShortCut);

// The same key combination as a key event gives it: Return and the keypad's Enter are one
// key, and the keypad modifier is ignored.
QKeySequence KeySequenceOfEvent(int Key, Qt::KeyboardModifiers Modifiers);
