// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QSize>
#include <QString>
#include <cstdint>

class IPrompt;
class QAction;
class QCheckBox;
class QLineEdit;
class QPushButton;
class TSettings;

// The settings dialog: inactivity detection on or off and its period as HH:MM:SS. Created
// once, hidden between uses; the controls are loaded at creation and at every close, so
// nothing typed survives a Cancel.
class TSettingsForm final : public QDialog {
    Q_OBJECT

public:
    TSettingsForm(QWidget* Parent, TSettings& Settings, IPrompt& Prompt);

    // Sets the controls from the store.
    void LoadFromSettings();
    // OK: writes Enabled, then Period, then closes. A failed write is shown in the general
    // error box and the dialog stays open.
    void SettingsUpdateExecute();
    // Cancel and Esc: closes without writing.
    void SettingsForgetExecute();

    // The field's text for a period: hours, minutes and seconds each in two digit positions,
    // a longer part keeping only its last two characters.
    static QString PeriodFieldText(std::uint32_t Seconds);

    QCheckBox* InactivityDetectionEnabled = nullptr;
    QLineEdit* InactivityDetectionPeriod = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QAction* SettingsUpdate = nullptr;
    QAction* SettingsForget = nullptr;

    // Every way of closing (OK, Cancel, Esc, the frame) ends here and reloads the controls.
    void done(int Result) override;

protected:
    void resizeEvent(QResizeEvent* Event) override;
    void changeEvent(QEvent* Event) override;

private:
    void CreateControls();
    void FitControlsToText();
    QSize CheckBoxNeeds() const;
    void PlaceButtons();

    TSettings& FSettings;
    IPrompt& FPrompt;
    // What was loaded: a period the field cannot show (100 hours or more) is written back
    // unchanged when the field was left as loaded.
    std::uint32_t FLoadedPeriod = 0;
    QString FLoadedPeriodText;
    QSize FButtonSize;
};
