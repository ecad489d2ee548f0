// SPDX-License-Identifier: MIT
#include "ErrorReporting.h"

#include "Errors.h"

#include <algorithm>

QString ErrorDialogText(const QString& Msg, const QStringList& Args, const QString& ErrorMessage) {
    QString text;
    qsizetype next = 0;
    for (qsizetype i = 0; i < Msg.size(); ++i) {
        if (Msg.at(i) == u'%' && i + 1 < Msg.size() && Msg.at(i + 1) == u's' && next < Args.size()) {
            text += Args.at(next++);
            ++i;
        } else {
            text += Msg.at(i);
        }
    }
    return text + QStringLiteral("\r\nUnderlying error: ") + ErrorMessage;
}

int ShowErrorDialog(IPrompt& Prompt, const QString& Msg, const QStringList& Args, const std::exception& E,
                    std::initializer_list<TDialogButton> Buttons) {
    TMessageBoxRequest request;
    request.Caption = QStringLiteral("Error");
    request.Text = ErrorDialogText(Msg, Args, ErrorMessage(E));
    request.Icon = TMessageIcon::Error;
    request.ScreenCentred = true;
    request.Buttons.assign(Buttons.begin(), Buttons.end());
    std::sort(request.Buttons.begin(), request.Buttons.end());
    request.Buttons.erase(std::unique(request.Buttons.begin(), request.Buttons.end()), request.Buttons.end());
    const auto has = [&](TDialogButton b) {
        return std::find(request.Buttons.begin(), request.Buttons.end(), b) != request.Buttons.end();
    };
    for (TDialogButton candidate : {TDialogButton::OK, TDialogButton::Yes, TDialogButton::Retry}) {
        if (has(candidate)) {
            request.DefaultButton = candidate;
            break;
        }
    }
    return Prompt.MessageBox(request);
}

QString GeneralErrorText(const QString& Message) {
    if (!Message.isEmpty() && Message.back().unicode() > u'.')
        return Message + u'.';
    return Message;
}

void ShowGeneralError(IPrompt& Prompt, const std::exception& E) {
    TMessageBoxRequest request;
    request.Caption = QStringLiteral("Tallyvox");
    request.Text = GeneralErrorText(ErrorMessage(E));
    request.Icon = TMessageIcon::Error;
    Prompt.MessageBox(request);
}

void RunGuarded(IPrompt& Prompt, const std::function<void()>& Handler) {
    try {
        Handler();
    } catch (const std::exception& e) {
        ShowGeneralError(Prompt, e);
    }
}
