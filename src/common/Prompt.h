// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <optional>
#include <vector>

// Dialog buttons in the order every dialog shows them, whatever order a caller names them in.
enum class TDialogButton { Yes, No, OK, Cancel, Abort, Retry, Ignore, All, NoToAll, YesToAll, Help, Close };

// Result codes of the dialogs, one per button; mrNone when a dialog is closed without one.
enum TModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrClose = 8,
    mrHelp = 9,
    mrAll = 12,
    mrNoToAll = 13,
    mrYesToAll = 14,
};

enum class TMessageIcon { None, Information, Warning, Error };

struct TMessageBoxRequest {
    QString Caption;
    QString Text;
    TMessageIcon Icon = TMessageIcon::None;
    std::vector<TDialogButton> Buttons{TDialogButton::OK}; // in display order
    std::optional<TDialogButton> DefaultButton;
    bool TopMost = false;       // above every window, also while the owner is hidden
    bool ScreenCentred = false; // in the centre of the owner's screen, not over the owner
};

// Every question the program asks the user goes through this interface, so tests answer
// dialogs without a person. Implementations run the dialog modally and return when it ends.
class IPrompt {
public:
    virtual ~IPrompt() = default;

    // Single-line input box with OK and Cancel; std::nullopt when cancelled or closed.
    virtual std::optional<QString> InputBox(const QString& Caption, const QString& Prompt,
                                            const QString& Default, int MaxLength) = 0;

    // Message dialog; returns the result code of the chosen button, mrNone if none was chosen.
    virtual int MessageBox(const TMessageBoxRequest& Request) = 0;
};

int ModalResultOf(TDialogButton Button);
QString ButtonCaption(TDialogButton Button);
