#include "QtPrompt.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <map>

namespace {
QMessageBox::Icon IconOf(TMessageIcon Icon) {
    switch (Icon) {
    case TMessageIcon::None:
        return QMessageBox::NoIcon;
    case TMessageIcon::Information:
        return QMessageBox::Information;
    case TMessageIcon::Warning:
        return QMessageBox::Warning;
    case TMessageIcon::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

bool IsEscapeButton(TDialogButton Button) {
    return Button == TDialogButton::Cancel || Button == TDialogButton::Close;
}
} // namespace

std::optional<QString> TQtPrompt::InputBox(const QString& Caption, const QString& Prompt,
                                           const QString& Default, int MaxLength) {
    QInputDialog dialog(FOwner && FOwner->isVisible() ? FOwner : nullptr);
    dialog.setWindowTitle(Caption);
    dialog.setLabelText(Prompt);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(Default);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Cancel"));
    if (auto* edit = dialog.findChild<QLineEdit*>())
        edit->setMaxLength(MaxLength);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

int TQtPrompt::MessageBox(const TMessageBoxRequest& Request) {
    QMessageBox box(IconOf(Request.Icon), Request.Caption, Request.Text, QMessageBox::NoButton,
                    FOwner && FOwner->isVisible() && !Request.TopMost ? FOwner : nullptr);
    box.setTextFormat(Qt::PlainText);
    if (Request.TopMost)
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    std::map<QAbstractButton*, int> results;
    for (TDialogButton button : Request.Buttons) {
        // One role for all: Qt reorders buttons of different roles by the desktop's convention,
        // and these dialogs show their buttons in their own fixed order.
        QPushButton* pushButton = box.addButton(ButtonCaption(button), QMessageBox::ActionRole);
        results[pushButton] = ModalResultOf(button);
        if (IsEscapeButton(button))
            box.setEscapeButton(pushButton);
        if (Request.DefaultButton == button)
            box.setDefaultButton(pushButton);
    }
    if (Request.TopMost) {
        box.show();
        box.raise();
        box.activateWindow();
    }
    box.exec();
    const auto it = results.find(box.clickedButton());
    return it == results.end() ? mrNone : it->second;
}
