// SPDX-License-Identifier: MIT
#include "InactivityCheck.h"

#include "Inactivity.h"
#include "LastInput.h"
#include "Prompt.h"
#include "Settings.h"
#include "TaskTracker.h"

#include <utility>

TInactivityCheck::TInactivityCheck(const TTaskTracker& Tracker, TSettings& Settings,
                                   ILastInputSource& LastInput, const ITickCounter& Ticks, IPrompt& Prompt,
                                   std::function<bool()> ExecuteTaskStop)
    : FTracker(Tracker), FSettings(Settings), FLastInput(LastInput), FTicks(Ticks), FPrompt(Prompt),
      FExecuteTaskStop(std::move(ExecuteTaskStop)) {}

void TInactivityCheck::Check() {
    if (!FTracker.ActiveTask())
        return;
    if (!FSettings.InactivityDetectionEnabled())
        return;
    if (FHaveAnswer && FLastInput.AnswersWithIdleTime()) {
        const std::uint32_t since = FTicks.Now() - FAnswerTick;
        // Asked again two checks before the period could pass, so that a source answering
        // from its previous (asynchronous) reply is fresh when it counts.
        constexpr std::uint64_t Margin = 2000;
        const std::uint64_t mostIdle = std::uint64_t{FAnswerIdle} + since + Margin;
        if (mostIdle <= std::uint64_t{FSettings.InactivityDetectionPeriod() * 1000u})
            return;
    }
    const std::optional<std::uint32_t> lastInput = FLastInput.LastInputTick();
    const std::uint32_t period = FSettings.InactivityDetectionPeriod();
    const std::uint32_t now = FTicks.Now();
    FHaveAnswer = lastInput.has_value();
    if (lastInput) {
        FAnswerIdle = now - *lastInput;
        FAnswerTick = now;
    }
    FLastInput.SetIdleLimit(period * 1000u);
    // Without an answer the user counts as active: a failed query must never stop a busy user's task.
    if (!lastInput || !IsUserInactive(now, *lastInput, period))
        return;
    FHaveAnswer = false;
    // The box says the task was stopped, so it is shown only when the stop really ran.
    if (!FExecuteTaskStop || !FExecuteTaskStop())
        return;
    TMessageBoxRequest request;
    request.Caption = QStringLiteral("Tallyvox activity detection");
    request.Text = QStringLiteral("We have detected no activity for the past time.\r\n"
                                  "The currently active task is stopped for now.");
    request.Icon = TMessageIcon::Warning;
    request.Buttons = {TDialogButton::OK};
    request.TopMost = true;
    FPrompt.MessageBox(request);
}
