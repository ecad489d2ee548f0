// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

class ITickCounter;

// The time record of one task. ElapsedMs saturates at 4294967295 (1193:02:47) rather than
// wrapping, so a task that runs for weeks never loses its hours.
struct TTaskClock {
    std::uint32_t ElapsedMs = 0;
    std::uint32_t LastTick = 0; // meaningful only while the row is the active task
};

// One task: a caption, the time text shown beside it and its clock.
class TTaskRow final {
public:
    const QString& Caption() const { return FCaption; }
    const QString& TimeText() const { return FTimeText; }
    const TTaskClock& Clock() const { return FClock; }
    int Index() const { return FIndex; } // its position while it is in the list

private:
    friend class TTaskTracker;
    QString FCaption;
    QString FTimeText;
    TTaskClock FClock;
    int FIndex = -1; // position in the list, kept current by the tracker
};

// The cell of a row that changed: the tick changes only the time text.
enum class TTaskRowPart { Caption, TimeText };

// What a view of the tracker learns about. Called synchronously on the user-interface thread.
class ITaskTrackerObserver {
public:
    virtual ~ITaskTrackerObserver() = default;
    virtual void TaskRowAboutToBeInserted(int /*Index*/) {}
    virtual void TaskRowInserted(int /*Index*/) {}
    virtual void TaskRowAboutToBeRemoved(int /*Index*/) {}
    virtual void TaskRowRemoved(int /*Index*/) {}
    virtual void TaskRowChanged(int /*Index*/, TTaskRowPart /*Part*/) {}
    // AccumulateTime has just added Ms to Task's clock (less than the ticks when it was full).
    virtual void TimeCharged(const TTaskRow& /*Task*/, std::uint32_t /*Ms*/) {}
    // The window title, the tray tip (the title cut to 127 characters) and the tray image.
    virtual void TrackingOutputsChanged() {}
};

// Line breaks (and NUL, which ends the text when the list is read back) cannot be stored in
// the three-line records of the task file, so they become blanks wherever captions enter.
QString SanitizeCaption(const QString& Caption);

// The task rows, the active task and the clocks. Everything runs on the user-interface thread.
class TTaskTracker final {
public:
    static constexpr int TrayTipLimit = 127;
    static constexpr int ActiveImageIndex = 0;
    static constexpr int IdleImageIndex = 1;

    explicit TTaskTracker(const ITickCounter& Ticks, QString ApplicationTitle = QStringLiteral("Tallyvox"));
    ~TTaskTracker();
    TTaskTracker(const TTaskTracker&) = delete;
    TTaskTracker& operator=(const TTaskTracker&) = delete;

    // Every observer hears every change, in the order they were added. None is added or
    // removed while a notification runs.
    void AddObserver(ITaskTrackerObserver& Observer);
    void RemoveObserver(ITaskTrackerObserver& Observer);

    int Count() const { return static_cast<int>(FRows.size()); }
    TTaskRow& Row(int Index) { return *FRows.at(static_cast<std::size_t>(Index)); }
    const TTaskRow& Row(int Index) const { return *FRows.at(static_cast<std::size_t>(Index)); }
    int IndexOf(const TTaskRow* Row) const; // -1 when not in the list (any pointer, also a freed row's)

    TTaskRow* ActiveTask() const { return FActiveTask; }
    TTaskRow* LastActiveTask() const { return FLastActiveTask; }

    const QString& ApplicationTitle() const { return FApplicationTitle; }
    const QString& Title() const { return FTitle; }
    QString TrayTip() const;
    int TrayImageIndex() const { return FTrayImageIndex; }

    // Appends a row showing 0:00 with a fresh clock; neither selected nor started, not saved.
    TTaskRow& AppendTask(const QString& Caption);

    // Charges the ticks since LastTick (modulo 2^32) and refreshes the time text.
    void AccumulateTime(TTaskRow& Task);
    void RefreshTaskTime(TTaskRow& Task);

    // Makes Task (or none) the active task and updates title, tip and image. Without Force a
    // call for the task that already is active changes nothing.
    void SetActiveTask(TTaskRow* Task, bool Force);

    // The tracker's part of the one-second tick: charges the active task.
    void Tick();

    void SetCaption(TTaskRow& Task, const QString& Caption);
    void SetElapsedMs(TTaskRow& Task, std::uint32_t ElapsedMs); // and refreshes the time text
    void ResetTask(TTaskRow& Task);                             // 0:00, measuring again from now

    // Stops tracking if one of Tasks is active, forgets it as the last active task and
    // removes the rows, in list order.
    void RemoveTasks(const std::vector<TTaskRow*>& Tasks);

private:
    void NotifyRowChanged(const TTaskRow& Task, TTaskRowPart Part);
    template <class TCall> void Notify(TCall Call) {
        for (ITaskTrackerObserver* observer : FObservers)
            Call(*observer);
    }
    void RemoveRowAt(int Index);

    const ITickCounter& FTicks;
    QString FApplicationTitle;
    std::vector<std::unique_ptr<TTaskRow>> FRows;
    TTaskRow* FActiveTask = nullptr;
    TTaskRow* FLastActiveTask = nullptr;
    QString FTitle;
    int FTrayImageIndex = IdleImageIndex;
    std::vector<ITaskTrackerObserver*> FObservers;
};
