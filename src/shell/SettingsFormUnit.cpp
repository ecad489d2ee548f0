// SPDX-License-Identifier: MIT
#include "SettingsFormUnit.h"

#include "Accessibility.h"
#include "ErrorReporting.h"
#include "Settings.h"
#include "TahomaFont.h"
#include "TaskTime.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>

namespace {
constexpr int ClientWidth = 348;
constexpr int ClientHeight = 99;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 25;
// Distances of the buttons from the right and bottom edges, kept when the dialog is resized.
constexpr int Button1Right = ClientWidth - 184;
constexpr int Button2Right = ClientWidth - 265;
constexpr int ButtonsBottom = ClientHeight - 66;
constexpr int BoxLeft = 8, BoxTop = 8, BoxWidth = 249, BoxHeight = 17;
constexpr int FieldGap = 263 - (BoxLeft + BoxWidth), FieldTop = 6, FieldWidth = 58, FieldHeight = 21;
constexpr int FieldRight = ClientWidth - (263 + FieldWidth);
constexpr int ButtonsGap = 66 - (FieldTop + FieldHeight);

QString TwoDigitPart(const QString& Part) {
    QString digits = Part.size() >= 2 ? Part.right(2) : Part.rightJustified(2, u'0');
    // Only a period above the signed range (hand-edited) builds a "-"; the field holds digits only.
    for (QChar& c : digits) {
        if (!c.isDigit())
            c = u'0';
    }
    return digits;
}
} // namespace

TSettingsForm::TSettingsForm(QWidget* Parent, TSettings& Settings, IPrompt& Prompt)
    : QDialog(Parent), FSettings(Settings), FPrompt(Prompt) {
    // Blocks the main window only; the tray icon and its menu keep working while it is open.
    setWindowModality(Qt::WindowModal);
    CreateControls();
    LoadFromSettings();
}

void TSettingsForm::CreateControls() {
    setWindowTitle(QStringLiteral("Settings"));
    setFont(TahomaFont(11));
    resize(ClientWidth, ClientHeight);

    InactivityDetectionEnabled =
        new QCheckBox(QStringLiteral("Stop currently active task after inactivity period"), this);
    InactivityDetectionEnabled->setObjectName(QStringLiteral("InactivityDetectionEnabled"));

    InactivityDetectionPeriod = new TMaskedLineEdit(this);
    InactivityDetectionPeriod->setObjectName(QStringLiteral("InactivityDetectionPeriod"));
    InactivityDetectionPeriod->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    InactivityDetectionPeriod->setAccessibleName(QStringLiteral("Inactivity period"));
    // Six optional digit positions around two fixed colons; an empty position shows "0",
    // so a cleared digit and a typed zero look and count the same.
    InactivityDetectionPeriod->setInputMask(QStringLiteral("00:00:00;0"));

    SettingsUpdate = new QAction(QStringLiteral("OK"), this);
    SettingsUpdate->setObjectName(QStringLiteral("SettingsUpdate"));
    SettingsForget = new QAction(QStringLiteral("Cancel"), this);
    SettingsForget->setObjectName(QStringLiteral("SettingsForget"));
    SettingsForget->setShortcut(QKeySequence(Qt::Key_Escape));
    addAction(SettingsForget);
    connect(SettingsUpdate, &QAction::triggered, this, [this] { SettingsUpdateExecute(); });
    connect(SettingsForget, &QAction::triggered, this, [this] { SettingsForgetExecute(); });

    Button1 = new QPushButton(SettingsUpdate->text(), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, SettingsUpdate, &QAction::trigger);
    Button2 = new QPushButton(SettingsForget->text(), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAutoDefault(false);
    connect(Button2, &QPushButton::clicked, SettingsForget, &QAction::trigger);

    setTabOrder(InactivityDetectionEnabled, InactivityDetectionPeriod);
    setTabOrder(InactivityDetectionPeriod, Button1);
    setTabOrder(Button1, Button2);
    FitControlsToText();
}

void TSettingsForm::FitControlsToText() {
    // The designed sizes fit Tahoma; a wider face grows the controls to their text, pushing the
    // period field and the dialog's edges along, so that no caption is cut.
    const QFontMetrics metrics(font());
    const QSize box = CheckBoxNeeds().expandedTo(QSize(BoxWidth, BoxHeight));
    const QSize field = QSize(metrics.horizontalAdvance(QStringLiteral("00:00:00")) + 12,
                              InactivityDetectionPeriod->minimumSizeHint().height())
                            .expandedTo(QSize(FieldWidth, FieldHeight));
    int buttonWidth = ButtonWidth;
    for (const QPushButton* button : {Button1, Button2})
        buttonWidth = std::max(buttonWidth, metrics.horizontalAdvance(button->text()) + 16);
    FButtonSize = QSize(buttonWidth, std::max(ButtonHeight, metrics.height() + 10));
    InactivityDetectionEnabled->setGeometry(BoxLeft, BoxTop, box.width(), box.height());
    const int fieldLeft = BoxLeft + box.width() + FieldGap;
    InactivityDetectionPeriod->setGeometry(fieldLeft, FieldTop, field.width(), field.height());
    const int top = std::max(BoxTop + box.height(), FieldTop + field.height()) + ButtonsGap;
    const int grownWidth = FButtonSize.width() - ButtonWidth;
    const QSize needed(
        std::max(fieldLeft + field.width() + FieldRight, BoxLeft + Button1Right + 2 * grownWidth),
        top + FButtonSize.height() + ButtonsBottom - ButtonHeight);
    setMinimumSize(needed);
    resize(size().expandedTo(needed));
    PlaceButtons();
}

QSize TSettingsForm::CheckBoxNeeds() const {
    // What the caption really takes: the style's room for the indicator, then the text. The
    // style's size hint adds margins for a focus frame on top, which would grow the box (and
    // move the field) even where the caption fits.
    QStyleOptionButton option;
    option.initFrom(InactivityDetectionEnabled);
    option.rect = QRect(0, 0, BoxWidth, BoxHeight);
    option.text = InactivityDetectionEnabled->text();
    const QStyle* style = InactivityDetectionEnabled->style();
    const QRect label =
        style->subElementRect(QStyle::SE_CheckBoxContents, &option, InactivityDetectionEnabled);
    const QFontMetrics metrics(InactivityDetectionEnabled->font());
    const int indicatorHeight =
        style->pixelMetric(QStyle::PM_IndicatorHeight, &option, InactivityDetectionEnabled);
    return {BoxWidth - label.width() + metrics.horizontalAdvance(option.text),
            std::max(metrics.height(), indicatorHeight)};
}

void TSettingsForm::changeEvent(QEvent* Event) {
    QDialog::changeEvent(Event);
    if (Event->type() == QEvent::FontChange && Button2)
        FitControlsToText();
}

QString TSettingsForm::PeriodFieldText(std::uint32_t Seconds) {
    const QStringList parts = TTaskDuration::Build(static_cast<std::int32_t>(Seconds), true).split(u':');
    QStringList field;
    for (const QString& part : parts)
        field << TwoDigitPart(part);
    return field.join(u':');
}

void TSettingsForm::LoadFromSettings() {
    InactivityDetectionEnabled->setChecked(FSettings.InactivityDetectionEnabled());
    FLoadedPeriod = FSettings.InactivityDetectionPeriod();
    InactivityDetectionPeriod->setText(PeriodFieldText(FLoadedPeriod));
    FLoadedPeriodText = InactivityDetectionPeriod->displayText();
}

void TSettingsForm::SettingsUpdateExecute() {
    RunGuarded(FPrompt, [this] {
        FSettings.SetInactivityDetectionEnabled(InactivityDetectionEnabled->isChecked());
        // The display text has every empty position as "0", so it always is HH:MM:SS in digits.
        const QString shown = InactivityDetectionPeriod->displayText();
        const std::uint32_t period = shown == FLoadedPeriodText
                                         ? FLoadedPeriod
                                         : static_cast<std::uint32_t>(TTaskDuration::Parse(shown));
        FSettings.SetInactivityDetectionPeriod(period);
        accept();
    });
}

void TSettingsForm::SettingsForgetExecute() {
    reject();
}

void TSettingsForm::done(int Result) {
    QDialog::done(Result);
    LoadFromSettings();
}

void TSettingsForm::resizeEvent(QResizeEvent* Event) {
    QDialog::resizeEvent(Event);
    PlaceButtons();
}

void TSettingsForm::PlaceButtons() {
    // Anchored to the right and bottom edges; wider buttons grow to the left and upwards.
    if (!FButtonSize.isValid())
        return; // not fitted yet
    const int grownWidth = FButtonSize.width() - ButtonWidth;
    const int top = height() - ButtonsBottom - (FButtonSize.height() - ButtonHeight);
    Button2->setGeometry(width() - Button2Right - grownWidth, top, FButtonSize.width(), FButtonSize.height());
    Button1->setGeometry(width() - Button1Right - 2 * grownWidth, top, FButtonSize.width(),
                         FButtonSize.height());
}
