// SPDX-License-Identifier: MIT
// Commands that a later start of the program sends over the single-instance channel.
#include "CommandLine.h"
#include "ErrorReporting.h"
#include "MainFormUnit.h"

void TMainForm::ShowAndBringToFront() {
    if (!ShownToUser()) {
        showNormal();
        SetVisibilityState(true);
    }
    BringToFront();
}

std::optional<QByteArray> TMainForm::RemoteCommand(const QString& Word) {
    switch (RemoteCommandOfWord(Word)) {
    case TRemoteCommand::ToggleTracking:
        ExecuteAction(AppToggleTracking);
        return QByteArray();
    case TRemoteCommand::Show:
        RunGuarded(FPrompt, [this] { ShowAndBringToFront(); });
        return QByteArray();
    // A double click on the tray icon, without touching a single click the user has pending
    // there. The first-hide tip waits for the user, so it comes once the answer has gone.
    case TRemoteCommand::ToggleWindow:
        FDeferHideTip = true;
        ExecuteAction(AppToggleVisibility);
        FDeferHideTip = false;
        return QByteArray();
    case TRemoteCommand::Status:
        // Charged up to now, as the next tick would, so a bar polling between ticks is exact.
        if (TTaskRow* active = FTracker.ActiveTask())
            FTracker.AccumulateTime(*active);
        return StatusNow();
    case TRemoteCommand::None:
        break;
    }
    return std::nullopt;
}

QByteArray TMainForm::StatusNow() const {
    const TTaskRow* active = FTracker.ActiveTask();
    if (!active)
        return IdleStatusAnswer();
    return StatusAnswer(active->Caption(), active->TimeText(), active->Clock().ElapsedMs);
}

// Followers hear of every change of the active task, its caption and its time text.
void TMainForm::TrackingOutputsChanged() {
    UpdateTrayOutputs();
    if (FServices.StatusChanged)
        FServices.StatusChanged();
}

void TMainForm::TaskRowChanged(int Index, TTaskRowPart /*Part*/) {
    const TTaskRow* active = FTracker.ActiveTask();
    if (FServices.StatusChanged && active && active->Index() == Index)
        FServices.StatusChanged();
}
