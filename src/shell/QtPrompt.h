// SPDX-License-Identifier: MIT
#pragma once

#include "Prompt.h"

class QWidget;

// The dialogs of the program as Qt shows them: QInputDialog and QMessageBox.
class TQtPrompt final : public IPrompt {
public:
    explicit TQtPrompt(QWidget* Owner = nullptr) : FOwner(Owner) {}
    void SetOwner(QWidget* Owner) { FOwner = Owner; }

    std::optional<QString> InputBox(const QString& Caption, const QString& Prompt, const QString& Default,
                                    int MaxLength) override;
    int MessageBox(const TMessageBoxRequest& Request) override;

private:
    QWidget* FOwner;
};
