// SPDX-License-Identifier: MIT
#pragma once

#include "TaskTracker.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
class TTaskFileWriter;

// One stretch of time during which a task was active.
struct THistoryInterval {
    std::uint64_t Seq = 0;       // its number within this run of the program
    QString Caption;             // as it was when the interval started
    std::int64_t StartUtcMs = 0; // wall clock, milliseconds since 1970-01-01 UTC
    std::int32_t UtcOffsetS = 0; // the local time's offset from UTC at the start
    std::int64_t EndUtcMs = 0;
    std::int64_t ChargedMs = 0; // what the tracker added to the task's clock meanwhile
    bool Final = false;         // ended: no later state of it follows
    std::uint32_t TaskMs = 0;   // the task's clock at EndUtcMs
};

// A task's clock as the task file held it when the program started.
struct TLoadedTaskClock {
    QString Caption;
    std::uint32_t ElapsedMs = 0;
};

inline const QString HistoryFileName = QStringLiteral("history.sqlite");
constexpr int HistorySchemaVersion = 2;

std::int64_t WallClockUtcMs();
// The local time zone's offset from UTC at UtcMs (the TZ rules, daylight saving included).
std::int32_t LocalUtcOffsetSeconds(std::int64_t UtcMs);

// TALLYVOX_NO_HISTORY=1 switches recording off; it exists for measuring what recording costs.
bool HistoryRecordingOff();

// The history file. Post may be called on any thread; the file itself is opened and written
// only where WriteDue runs (the task file's writer thread).
class THistoryStore final {
public:
    explicit THistoryStore(QString Path);
    ~THistoryStore();
    THistoryStore(const THistoryStore&) = delete;
    THistoryStore& operator=(const THistoryStore&) = delete;

    // Queues the latest state of an interval, then calls the wake-up; Urgent is false for the
    // tick's update of a running interval, which the writer takes along with the tick's save.
    void Post(const THistoryInterval& Interval, bool Urgent = true);
    void SetWake(std::function<void(bool Urgent)> Wake) { FWake = std::move(Wake); }

    // The clocks of the task file just loaded. An interval an earlier run left open (killed, or
    // a power cut) is closed when the file is first opened, and extended by what its task's
    // clock in the task file shows beyond it: the tick's history update reaches the disk only
    // every few seconds, the task file every second.
    void SetLoadedClocks(std::vector<TLoadedTaskClock> Clocks);

    // Writes what waits. Never raises: what could not be written is tried again at the next
    // call; a file that cannot be the history (not a database, damaged, read-only, not a
    // regular file, locked for long) is set aside and a new one started.
    void WriteDue();

    const QString& Path() const { return FPath; }

private:
    enum class TOutcome { Written, Retry, Broken };
    TOutcome Write(const std::vector<THistoryInterval>& Due);
    TOutcome Open();
    TOutcome Classify(int Code);
    int CloseEarlierIntervals();
    void EarlierIntervalsClosed();
    bool SetAside();
    void Close();
    void Requeue(std::vector<THistoryInterval> Due);

    QString FPath;
    std::function<void(bool Urgent)> FWake;
    std::mutex FMutex;
    std::vector<THistoryInterval> FPending; // by Seq, one state per interval
    std::vector<TLoadedTaskClock> FLoadedClocks;

    // The writer's own state.
    sqlite3* FDb = nullptr;
    sqlite3_stmt* FInsert = nullptr;
    sqlite3_stmt* FUpdate = nullptr;
    std::map<std::uint64_t, std::int64_t> FRowIds; // intervals still open, by Seq
    int FBusyAttempts = 0;
    int FUnsynced = 0; // commits since the last one that waited for the disk
    bool FEarlierClosed = false;
};

// Turns the tracker's switches of the active task and its ticks into intervals: one starts
// and one ends exactly where the active task changes, and the running one is posted every
// time its task is charged. Reset and removal change nothing that was recorded.
class THistoryRecorder final : private ITaskTrackerObserver {
public:
    THistoryRecorder(TTaskTracker& Tracker, THistoryStore& Store, std::function<std::int64_t()> NowUtcMs);
    ~THistoryRecorder() override;
    THistoryRecorder(const THistoryRecorder&) = delete;
    THistoryRecorder& operator=(const THistoryRecorder&) = delete;

private:
    void TimeCharged(const TTaskRow& Task, std::uint32_t Ms) override;
    void TrackingOutputsChanged() override;

    TTaskTracker& FTracker;
    THistoryStore& FStore;
    std::function<std::int64_t()> FNow;
    const TTaskRow* FRow = nullptr; // the task of FCurrent, only while it is the active task
    std::optional<THistoryInterval> FCurrent;
    std::uint64_t FNextSeq = 1;
};

// The history of one data folder joined to the writer that saves its task file.
class THistory final {
public:
    // None when recording is switched off. The history must outlive the writer's thread.
    static std::unique_ptr<THistory> Start(TTaskTracker& Tracker, TTaskFileWriter& Writer,
                                           const QString& DataFolder,
                                           std::function<std::int64_t()> NowUtcMs = WallClockUtcMs);
    THistory(TTaskTracker& Tracker, TTaskFileWriter& Writer, const QString& Path,
             std::function<std::int64_t()> NowUtcMs);

    // Tracker holds the task file just loaded (see THistoryStore::SetLoadedClocks).
    void TasksLoaded(const TTaskTracker& Tracker);

private:
    THistoryStore FStore;
    THistoryRecorder FRecorder;
};
