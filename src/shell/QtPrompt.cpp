// SPDX-License-Identifier: MIT
#include "QtPrompt.h"

#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
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

// Modal towards the main window only: application-wide modality would also block the tray
// icon and its menu, which are windows of their own and must keep working while a box is open.
void MakeModalToOwner(QDialog& Dialog) {
    Dialog.setWindowModality(Qt::WindowModal);
}

// A message box that, when asked, stands in the centre of the screen holding its owner
// instead of over the owner.
class TMessageBox final : public QMessageBox {
public:
    using QMessageBox::QMessageBox;
    void SetScreenCentred(bool ScreenCentred) { FScreenCentred = ScreenCentred; }

protected:
    void showEvent(QShowEvent* Event) override {
        QMessageBox::showEvent(Event); // fixes the size and places the box over its owner
        if (!FScreenCentred)
            return;
        const QWidget* owner = parentWidget();
        const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
        if (screen)
            move(screen->geometry().center() - rect().center());
    }

private:
    bool FScreenCentred = false;
};
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
    MakeModalToOwner(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

int TQtPrompt::MessageBox(const TMessageBoxRequest& Request) {
    TMessageBox box(IconOf(Request.Icon), Request.Caption, Request.Text, QMessageBox::NoButton,
                    FOwner && FOwner->isVisible() ? FOwner : nullptr);
    box.setTextFormat(Qt::PlainText);
    box.SetScreenCentred(Request.ScreenCentred);
    MakeModalToOwner(box);
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
