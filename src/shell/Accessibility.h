// SPDX-License-Identifier: MIT
#pragma once

#include <QLineEdit>

// What screen readers are told where Qt's own account would mislead them. Called once,
// before the first window shows; repeated calls do nothing.
//
// Menu items show their caption and, after a Tab, their shortcut text (the shortcut is only
// shown; keys reach the actions through the window): their name is the caption and the
// shortcut text their key binding, not "New task\tIns".
//
// A masked line edit whose blank character is a digit ("00:00:00;0") drops every zero from
// its text: its accessible value and text are the shown text, "00:10:00", not ":1:". Such a
// field is a TMaskedLineEdit (Qt's own account of a QLineEdit cannot be replaced).
void InstallAccessibility();

class TMaskedLineEdit final : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;
};
