// SPDX-License-Identifier: MIT
#include "UpdateDialogFormUnit.h"

#include "Prompt.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Runs the dialog modally and does Action inside its loop; a dialog still open after two
// seconds is closed with -1, so a broken key binding fails instead of hanging.
int RunWith(TUpdateDialogForm& Dialog, const std::function<void()>& Action) {
    QTimer::singleShot(0, &Dialog, [&] { Action(); });
    QTimer::singleShot(2000, &Dialog, [&] { Dialog.done(-1); });
    return Dialog.ShowModal();
}

TEST(TOKBottomDlg, TemplateLayout) {
    TOKBottomDlg dialog(nullptr);
    EXPECT_EQ(dialog.size(), QSize(313, 214));
    EXPECT_EQ(dialog.Bevel1->geometry(), QRect(8, 8, 297, 161));
    EXPECT_EQ(dialog.OKBtn->geometry(), QRect(79, 180, 75, 25));
    EXPECT_EQ(dialog.CancelBtn->geometry(), QRect(159, 180, 75, 25));
    EXPECT_TRUE(dialog.OKBtn->isDefault());
    EXPECT_EQ(dialog.OKBtn->text(), QStringLiteral("OK"));
    EXPECT_EQ(dialog.CancelBtn->text(), QStringLiteral("Cancel"));
}

TEST(TUpdateDialogForm, ChangesToTheTemplate) {
    TUpdateDialogForm dialog(nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("New version available"));
    EXPECT_EQ(dialog.size(), QSize(313, 84));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()); // fixed border
    EXPECT_TRUE(dialog.Bevel1->isHidden());
    EXPECT_EQ(dialog.Bevel1->height(), 72);
    EXPECT_EQ(dialog.Label1->text(),
              QStringLiteral("There is a new version of Tallyvox available. Would like to donwload it now?"));
    EXPECT_TRUE(dialog.Label1->wordWrap());
    EXPECT_EQ(dialog.Label1->geometry(), QRect(7, 7, 299, 70));
    EXPECT_EQ(dialog.Label1->font().family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(dialog.Label1->font().pixelSize(), 13);
    EXPECT_EQ(dialog.OKBtn->pos(), QPoint(86, 51));
    EXPECT_EQ(dialog.CancelBtn->pos(), QPoint(166, 51));
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowContextHelpButtonHint));
}

struct TKeyCase {
    const char* Name;
    std::function<void(TUpdateDialogForm&)> Act;
    int Result;
};

TEST(TUpdateDialogForm, KeysButtonsAndCloseBoxGiveTheirResults) {
    const std::vector<TKeyCase> cases = {
        {"Enter",
         [](TUpdateDialogForm& d) {
             QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &d, Qt::Key_Return);
         },
         mrOk},
        {"Esc", [](TUpdateDialogForm& d) { QTest::keyClick(&d, Qt::Key_Escape); }, mrCancel},
        {"OK button", [](TUpdateDialogForm& d) { d.OKBtn->click(); }, mrOk},
        {"Cancel button", [](TUpdateDialogForm& d) { d.CancelBtn->click(); }, mrCancel},
        {"Close box", [](TUpdateDialogForm& d) { d.close(); }, mrCancel},
    };
    for (const TKeyCase& c : cases) {
        TUpdateDialogForm dialog(nullptr);
        EXPECT_EQ(RunWith(dialog, [&] { c.Act(dialog); }), c.Result) << c.Name;
        EXPECT_FALSE(dialog.isVisible()) << c.Name;
    }
}

TEST(TUpdateDialogForm, ReusedForEveryOffer) {
    TUpdateDialogForm dialog(nullptr);
    EXPECT_EQ(RunWith(dialog, [&] { dialog.CancelBtn->click(); }), mrCancel);
    EXPECT_EQ(RunWith(dialog, [&] { dialog.OKBtn->click(); }), mrOk);
}

} // namespace
