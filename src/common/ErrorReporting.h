// SPDX-License-Identifier: MIT
#pragma once

#include "Prompt.h"

#include <QString>
#include <QStringList>
#include <exception>
#include <functional>
#include <initializer_list>

// The text of the error dialog: Msg with its "%s" placeholders filled from Args, CR LF,
// "Underlying error: " and the error's message taken literally.
QString ErrorDialogText(const QString& Msg, const QStringList& Args, const QString& ErrorMessage);

// The error dialog about a caught error: caption "Error", error icon, the buttons in their
// fixed order (default OK, else Yes, else Retry); returns the result code of the chosen button.
int ShowErrorDialog(IPrompt& Prompt, const QString& Msg, const QStringList& Args, const std::exception& E,
                    std::initializer_list<TDialogButton> Buttons);

// The general error box's text: a full stop is appended when the last character's code is
// above that of the full stop.
QString GeneralErrorText(const QString& Message);

// Shows an error that escaped a handler in the general error box: caption "Tallyvox", error icon, OK.
void ShowGeneralError(IPrompt& Prompt, const std::exception& E);

// Runs a handler (command, timer tick, tray click, hot key, start-up step) and shows any error
// that escapes it in the general error box; the program runs on. Qt must never see an exception.
void RunGuarded(IPrompt& Prompt, const std::function<void()>& Handler);
