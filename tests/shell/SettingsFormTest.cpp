// SPDX-License-Identifier: MIT
#include "FakePrompt.h"
#include "FileTestUtil.h"
#include "Settings.h"
#include "SettingsFormUnit.h"
#include "TempDir.h"

#include <QCheckBox>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {
QByteArray Ini(const char* Enabled, const char* Period) {
    return QByteArray("[InactivityDetection]\r\nEnabled=") + Enabled + "\r\nPeriod=" + Period + "\r\n";
}

class SettingsFormTest : public ::testing::Test {
protected:
    std::unique_ptr<TSettingsForm> Open() {
        auto form = std::make_unique<TSettingsForm>(nullptr, Settings, Prompt);
        form->show();
        return form;
    }

    // Types Digits into the field from its first position, as a user would.
    static void Type(TSettingsForm& Form, const QString& Digits) {
        Form.InactivityDetectionPeriod->setFocus();
        Form.InactivityDetectionPeriod->setCursorPosition(0);
        QTest::keyClicks(Form.InactivityDetectionPeriod, Digits);
    }

    TTempDir Dir;
    QString Path = Dir.File(QStringLiteral("settings.ini"));
    TSettings Settings{Path};
    TFakePrompt Prompt;
};

TEST_F(SettingsFormTest, WindowLayout) {
    auto form = Open();
    EXPECT_EQ(QFontInfo(form->font()).family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(QFontInfo(form->font()).pixelSize(), 11);
    const int grow = 0; // the caption fits in Tahoma: nothing grows
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Settings"));
    EXPECT_EQ(form->size(), QSize(348 + grow, 99));
    EXPECT_EQ(form->InactivityDetectionEnabled->text(),
              QStringLiteral("Stop currently active task after inactivity period"));
    EXPECT_EQ(form->InactivityDetectionEnabled->geometry(), QRect(8, 8, 249 + grow, 17));
    EXPECT_EQ(form->InactivityDetectionPeriod->geometry(), QRect(263 + grow, 6, 58, 21));
    EXPECT_TRUE(form->InactivityDetectionPeriod->alignment() & Qt::AlignRight);
    EXPECT_EQ(form->Button1->text(), QStringLiteral("OK"));
    EXPECT_EQ(form->Button2->text(), QStringLiteral("Cancel"));
    EXPECT_TRUE(form->Button1->isDefault());
    EXPECT_EQ(form->Button1->geometry(), QRect(184 + grow, 66, 75, 25));
    EXPECT_EQ(form->Button2->geometry(), QRect(265 + grow, 66, 75, 25));
    form->resize(448, 149);
    EXPECT_EQ(form->Button1->geometry(), QRect(284, 116, 75, 25)) << "anchored right and bottom";
    EXPECT_EQ(form->Button2->geometry(), QRect(365, 116, 75, 25));
    EXPECT_EQ(form->InactivityDetectionPeriod->geometry(), QRect(263 + grow, 6, 58, 21));
}

TEST_F(SettingsFormTest, AWiderFaceGrowsTheControlsInsteadOfCuttingTheirText) {
    auto form = Open();
    QFont wide(QStringLiteral("DejaVu Sans"));
    wide.setPixelSize(15);
    form->setFont(wide);
    const QRect box = form->InactivityDetectionEnabled->geometry();
    const QRect field = form->InactivityDetectionPeriod->geometry();
    QStyleOptionButton option;
    option.initFrom(form->InactivityDetectionEnabled);
    const QRect label =
        form->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, form->InactivityDetectionEnabled);
    EXPECT_GE(label.width(), QFontMetrics(wide).horizontalAdvance(form->InactivityDetectionEnabled->text()))
        << "caption cut";
    EXPECT_GE(box.height(), QFontMetrics(wide).height());
    EXPECT_GT(field.left(), box.right()) << "the field covers the caption";
    EXPECT_GE(field.width(), QFontMetrics(wide).horizontalAdvance(QStringLiteral("00:00:00")));
    EXPECT_LE(field.right(), form->width());
    for (const QPushButton* button : {form->Button1, form->Button2}) {
        EXPECT_GT(button->y(), field.bottom()) << "the buttons cover the field";
        EXPECT_LE(button->geometry().bottom(), form->height());
        EXPECT_GE(button->width(), QFontMetrics(wide).horizontalAdvance(button->text()));
    }
    EXPECT_LT(form->Button1->geometry().right(), form->Button2->x());
}

struct TLoadCase {
    std::uint32_t Period;
    const char* Shown;
};

class SettingsFormLoadTest : public SettingsFormTest, public ::testing::WithParamInterface<TLoadCase> {};

TEST_P(SettingsFormLoadTest, ShowsThePeriodInTwoDigitParts) {
    Settings.SetInactivityDetectionPeriod(GetParam().Period);
    auto form = Open();
    EXPECT_EQ(form->InactivityDetectionPeriod->displayText(), QString::fromLatin1(GetParam().Shown));
}

INSTANTIATE_TEST_SUITE_P(Periods, SettingsFormLoadTest,
                         ::testing::Values(TLoadCase{600, "00:10:00"}, TLoadCase{3600, "01:00:00"},
                                           TLoadCase{5, "00:00:05"}, TLoadCase{0, "00:00:00"},
                                           TLoadCase{359999, "99:59:59"}, TLoadCase{360000, "00:00:00"},
                                           TLoadCase{362439, "00:40:39"},
                                           TLoadCase{4294967295u, "00:00:01"}));

TEST_F(SettingsFormTest, NoFileShowsDefaultsAndOkCreatesIt) {
    auto form = Open();
    EXPECT_TRUE(form->InactivityDetectionEnabled->isChecked());
    EXPECT_EQ(form->InactivityDetectionPeriod->displayText(), QStringLiteral("00:10:00"));
    EXPECT_FALSE(QFile::exists(Path));
    form->Button1->click();
    EXPECT_EQ(ReadBytes(Path), Ini("1", "600"));
    EXPECT_FALSE(form->isVisible());
}

struct TEditCase {
    const char* Typed;
    const char* Shown;
    const char* Stored;
};

class SettingsFormEditTest : public SettingsFormTest, public ::testing::WithParamInterface<TEditCase> {};

TEST_P(SettingsFormEditTest, OkStoresTheTypedPeriod) {
    auto form = Open();
    Type(*form, QString::fromLatin1(GetParam().Typed));
    EXPECT_EQ(form->InactivityDetectionPeriod->displayText(), QString::fromLatin1(GetParam().Shown));
    QTest::keyClick(form->InactivityDetectionPeriod, Qt::Key_Return);
    EXPECT_EQ(ReadBytes(Path), Ini("1", GetParam().Stored));
    EXPECT_FALSE(form->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Typing, SettingsFormEditTest,
    ::testing::Values(TEditCase{"999999", "99:99:99", "362439"}, TEditCase{"009000", "00:90:00", "5400"},
                      TEditCase{"0130", "01:30:00", "5400"}, TEditCase{"a1b2", "12:10:00", "43800"},
                      TEditCase{"00000000000", "00:00:00", "0"}, TEditCase{"1", "10:10:00", "36600"}));

TEST_F(SettingsFormTest, ClearingTheFieldStoresZero) {
    Settings.SetInactivityDetectionPeriod(3723);
    auto form = Open();
    QLineEdit* field = form->InactivityDetectionPeriod;
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    EXPECT_EQ(field->displayText(), QStringLiteral("00:00:00"));
    form->Button1->click();
    EXPECT_EQ(Settings.InactivityDetectionPeriod(), 0u);
}

TEST_F(SettingsFormTest, DeletingClearsDigitsWithoutShifting) {
    Settings.SetInactivityDetectionPeriod(12 * 3600 + 34 * 60 + 56);
    auto form = Open();
    QLineEdit* field = form->InactivityDetectionPeriod;
    EXPECT_EQ(field->displayText(), QStringLiteral("12:34:56"));
    field->setFocus();
    field->setCursorPosition(3);
    QTest::keyClick(field, Qt::Key_Delete);
    EXPECT_EQ(field->displayText(), QStringLiteral("12:04:56"));
    field->setCursorPosition(8);
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(field->displayText(), QStringLiteral("12:04:50"));
    field->setCursorPosition(3);
    QTest::keyClick(field, Qt::Key_Backspace); // the colon stays, the digit before it is cleared
    EXPECT_EQ(field->displayText(), QStringLiteral("10:04:50"));
    form->Button1->click();
    EXPECT_EQ(Settings.InactivityDetectionPeriod(), 10u * 3600 + 4 * 60 + 50);
}

TEST_F(SettingsFormTest, UntouchedLongPeriodIsWrittenBackUnchanged) {
    WriteBytes(Path, Ini("1", "362439"));
    auto form = Open();
    EXPECT_EQ(form->InactivityDetectionPeriod->displayText(), QStringLiteral("00:40:39"));
    form->InactivityDetectionEnabled->click();
    form->Button1->click();
    EXPECT_EQ(ReadBytes(Path), Ini("0", "362439"));
    EXPECT_EQ(form->InactivityDetectionPeriod->displayText(), QStringLiteral("00:40:39"));
}

TEST_F(SettingsFormTest, EditedLongPeriodStoresWhatIsShown) {
    WriteBytes(Path, Ini("1", "-1"));
    auto form = Open();
    Type(*form, QStringLiteral("000500"));
    form->Button1->click();
    EXPECT_EQ(ReadBytes(Path), Ini("1", "300"));
}

TEST_F(SettingsFormTest, UncheckingWritesZeroAndKeepsThePeriod) {
    Settings.SetInactivityDetectionPeriod(90);
    auto form = Open();
    form->InactivityDetectionEnabled->click();
    form->Button1->click();
    EXPECT_EQ(ReadBytes(Path), QByteArray("[InactivityDetection]\r\nPeriod=90\r\nEnabled=0\r\n"));
    EXPECT_FALSE(form->InactivityDetectionEnabled->isChecked());
}

enum class TCloseBy { CancelButton, EscapeKey, FrameClose };

class SettingsFormCloseTest : public SettingsFormTest, public ::testing::WithParamInterface<TCloseBy> {};

TEST_P(SettingsFormCloseTest, ClosingWithoutOkWritesNothingAndReloads) {
    WriteBytes(Path, Ini("1", "600"));
    auto form = Open();
    form->InactivityDetectionEnabled->click();
    Type(*form, QStringLiteral("11"));
    ASSERT_EQ(form->InactivityDetectionPeriod->displayText(), QStringLiteral("11:10:00"));
    switch (GetParam()) {
    case TCloseBy::CancelButton:
        form->Button2->click();
        break;
    case TCloseBy::EscapeKey:
        form->activateWindow();
        QTest::keyClick(form.get(), Qt::Key_Escape);
        break;
    case TCloseBy::FrameClose:
        form->close();
        break;
    }
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(ReadBytes(Path), Ini("1", "600"));
    EXPECT_TRUE(form->InactivityDetectionEnabled->isChecked());
    EXPECT_EQ(form->InactivityDetectionPeriod->displayText(), QStringLiteral("00:10:00"));
}

INSTANTIATE_TEST_SUITE_P(Ways, SettingsFormCloseTest,
                         ::testing::Values(TCloseBy::CancelButton, TCloseBy::EscapeKey,
                                           TCloseBy::FrameClose));

TEST_F(SettingsFormTest, ControlsAreNotReloadedWhenOpened) {
    auto form = Open();
    form->hide();
    WriteBytes(Path, Ini("0", "5"));
    form->show();
    EXPECT_TRUE(form->InactivityDetectionEnabled->isChecked());
    form->Button1->click();
    EXPECT_EQ(ReadBytes(Path), Ini("1", "600"));
}

TEST_F(SettingsFormTest, FailedWriteShowsTheErrorAndStaysOpen) {
    const QString missing = Dir.File(QStringLiteral("gone/settings.ini"));
    TSettings settings(missing);
    TSettingsForm form(nullptr, settings, Prompt);
    form.show();
    Type(form, QStringLiteral("02"));
    form.Button1->click();
    ASSERT_EQ(Prompt.MessageRequests.size(), 1u);
    EXPECT_EQ(Prompt.MessageRequests[0].Caption, QStringLiteral("Tallyvox"));
    EXPECT_EQ(Prompt.MessageRequests[0].Text, QStringLiteral("Unable to write to ") + missing + u'.');
    EXPECT_EQ(Prompt.MessageRequests[0].Icon, TMessageIcon::Error);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.InactivityDetectionPeriod->displayText(), QStringLiteral("02:10:00"))
        << "the edit survives";
}

} // namespace
