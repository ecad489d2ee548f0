// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>

class IPrompt;
class ILastInputSource;
class ITickCounter;
class TSettings;
class TTaskTracker;

// The once-a-second check that stops the active task after the configured period without
// keyboard or mouse input, and says so in a warning box. The settings are read afresh each
// time, so a change in the settings dialog applies at once.
class TInactivityCheck final {
public:
    // ExecuteTaskStop runs the stop command through its action rule and tells whether it ran.
    TInactivityCheck(const TTaskTracker& Tracker, TSettings& Settings, ILastInputSource& LastInput,
                     const ITickCounter& Ticks, IPrompt& Prompt, std::function<bool()> ExecuteTaskStop);

    // No active task: nothing is read. Detection off: stop there. Otherwise the last input,
    // the period and the tick count are read in that order; a user idle for longer than the
    // period gets the task stopped and the warning box (its answer is not used). A last-input
    // query that fails counts as recent input. The idle time grows at most as fast as the
    // clock, so while the last answer plus the time since cannot pass the period the system
    // is not asked again: the stop comes at exactly the same check, without a round trip to
    // the display server every second.
    // A source that learns only when the limit has passed is asked at every check and told the
    // current limit each time, so that it watches for the current period.
    void Check();

private:
    const TTaskTracker& FTracker;
    TSettings& FSettings;
    ILastInputSource& FLastInput;
    const ITickCounter& FTicks;
    IPrompt& FPrompt;
    std::function<bool()> FExecuteTaskStop;
    // The idle time of the last answer and the tick count it was measured against.
    bool FHaveAnswer = false;
    std::uint32_t FAnswerIdle = 0;
    std::uint32_t FAnswerTick = 0;
};
