// SPDX-License-Identifier: MIT
#include "Prompt.h"

int ModalResultOf(TDialogButton Button) {
    switch (Button) {
    case TDialogButton::Yes:
        return mrYes;
    case TDialogButton::No:
        return mrNo;
    case TDialogButton::OK:
        return mrOk;
    case TDialogButton::Cancel:
        return mrCancel;
    case TDialogButton::Abort:
        return mrAbort;
    case TDialogButton::Retry:
        return mrRetry;
    case TDialogButton::Ignore:
        return mrIgnore;
    case TDialogButton::All:
        return mrAll;
    case TDialogButton::NoToAll:
        return mrNoToAll;
    case TDialogButton::YesToAll:
        return mrYesToAll;
    case TDialogButton::Help:
        return mrHelp;
    case TDialogButton::Close:
        return mrClose;
    }
    return mrNone;
}

QString ButtonCaption(TDialogButton Button) {
    switch (Button) {
    case TDialogButton::Yes:
        return QStringLiteral("&Yes");
    case TDialogButton::No:
        return QStringLiteral("&No");
    case TDialogButton::OK:
        return QStringLiteral("OK");
    case TDialogButton::Cancel:
        return QStringLiteral("Cancel");
    case TDialogButton::Abort:
        return QStringLiteral("&Abort");
    case TDialogButton::Retry:
        return QStringLiteral("&Retry");
    case TDialogButton::Ignore:
        return QStringLiteral("&Ignore");
    case TDialogButton::All:
        return QStringLiteral("&All");
    case TDialogButton::NoToAll:
        return QStringLiteral("N&o to All");
    case TDialogButton::YesToAll:
        return QStringLiteral("Yes to &All");
    case TDialogButton::Help:
        return QStringLiteral("&Help");
    case TDialogButton::Close:
        return QStringLiteral("&Close");
    }
    return {};
}
