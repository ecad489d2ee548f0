#pragma once

#include <functional>

class IPrompt;
class ILastInputSource;
class ITickCounter;
class TSettings;
class TTaskTracker;

// The once-a-second check that stops the active task after the configured period without
// keyboard or mouse input, and says so in a warning box. Keeps nothing between checks: the
// settings are read afresh each time, so a change in the settings dialog applies at once.
class TInactivityCheck final {
public:
    // ExecuteTaskStop runs the stop command through its action rule and tells whether it ran.
    TInactivityCheck(const TTaskTracker& Tracker, TSettings& Settings, ILastInputSource& LastInput,
                     const ITickCounter& Ticks, IPrompt& Prompt, std::function<bool()> ExecuteTaskStop);

    // No active task: nothing is read. Detection off: stop there. Otherwise the last input,
    // the period and the tick count are read in that order; a user idle for longer than the
    // period gets the task stopped and the warning box (its answer is not used). A last-input
    // query that fails counts as recent input. The source is then told the limit, so one that
    // the desktop notifies only after a chosen idle time watches for the current period.
    void Check();

private:
    const TTaskTracker& FTracker;
    TSettings& FSettings;
    ILastInputSource& FLastInput;
    const ITickCounter& FTicks;
    IPrompt& FPrompt;
    std::function<bool()> FExecuteTaskStop;
};
