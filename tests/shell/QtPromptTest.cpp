// SPDX-License-Identifier: MIT
#include "QtPrompt.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Runs Answer on the dialog once it is up, from inside its own event loop.
void WhenModalShows(std::function<void(QWidget*)> Answer) {
    QTimer::singleShot(0, qApp, [Answer = std::move(Answer)] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        Answer(modal);
    });
}

TEST(QtPrompt, InputBoxShowsCaptionPromptDefaultAndLimitAndReturnsTheTypedText) {
    TQtPrompt prompt;
    WhenModalShows([](QWidget* Modal) {
        auto* dialog = qobject_cast<QInputDialog*>(Modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Edit task"));
        EXPECT_EQ(dialog->labelText(), QStringLiteral("Caption"));
        auto* edit = dialog->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), QStringLiteral("Old"));
        EXPECT_EQ(edit->maxLength(), 255);
        edit->setText(QStringLiteral("  New  "));
        dialog->accept();
    });
    EXPECT_EQ(
        prompt.InputBox(QStringLiteral("Edit task"), QStringLiteral("Caption"), QStringLiteral("Old"), 255),
        std::optional<QString>(QStringLiteral("  New  ")));
}

TEST(QtPrompt, CancelledInputBoxGivesNothing) {
    TQtPrompt prompt;
    WhenModalShows([](QWidget* Modal) { qobject_cast<QDialog*>(Modal)->reject(); });
    EXPECT_EQ(prompt.InputBox(QStringLiteral("New task"), QStringLiteral("Caption"), QString(), 255),
              std::nullopt);
}

struct TButtonCase {
    const char* Caption;
    int Result;
};

class QtPromptButtonTest : public ::testing::TestWithParam<TButtonCase> {};

TEST_P(QtPromptButtonTest, MessageBoxShowsButtonsInOrderAndReturnsTheChosenCode) {
    TQtPrompt prompt;
    TMessageBoxRequest request;
    request.Caption = QStringLiteral("Error");
    request.Text = QStringLiteral("Line 1\r\nUnderlying error: 100% <b>full</b>");
    request.Icon = TMessageIcon::Error;
    request.Buttons = {TDialogButton::Cancel, TDialogButton::Abort, TDialogButton::Retry};
    request.DefaultButton = TDialogButton::Retry;
    const QString wanted = QString::fromLatin1(GetParam().Caption);
    WhenModalShows([wanted](QWidget* Modal) {
        auto* box = qobject_cast<QMessageBox*>(Modal);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Error"));
        EXPECT_EQ(box->textFormat(), Qt::PlainText) << "error texts are never read as markup";
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        ASSERT_NE(box->defaultButton(), nullptr);
        EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("&Retry"));
        QList<QAbstractButton*> buttons = box->buttons();
        std::sort(buttons.begin(), buttons.end(), [](QAbstractButton* A, QAbstractButton* B) {
            return A->mapToGlobal(QPoint(0, 0)).x() < B->mapToGlobal(QPoint(0, 0)).x();
        });
        QStringList captions;
        for (QAbstractButton* button : buttons)
            captions << button->text();
        EXPECT_EQ(captions,
                  (QStringList{QStringLiteral("Cancel"), QStringLiteral("&Abort"), QStringLiteral("&Retry")}))
            << "left to right in the fixed order, whatever the desktop's convention";
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == wanted)
                button->click();
        }
    });
    EXPECT_EQ(prompt.MessageBox(request), GetParam().Result);
}

INSTANTIATE_TEST_SUITE_P(Buttons, QtPromptButtonTest,
                         ::testing::Values(TButtonCase{"Cancel", mrCancel}, TButtonCase{"&Abort", mrAbort},
                                           TButtonCase{"&Retry", mrRetry}));

TEST(QtPrompt, MessageBoxClosedWithoutAButtonGivesNone) {
    TQtPrompt prompt;
    TMessageBoxRequest request;
    request.Buttons = {TDialogButton::Abort, TDialogButton::Retry};
    WhenModalShows([](QWidget* Modal) { qobject_cast<QDialog*>(Modal)->done(0); });
    EXPECT_EQ(prompt.MessageBox(request), mrNone);
}

} // namespace
