// SPDX-License-Identifier: MIT
#include "History.h"

#include "Files.h"
#include "Logging.h"
#include "Paths.h"
#include "TaskFileWriter.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iterator>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// A file another process keeps locked this many writes in a row is given up on.
constexpr int LockedAttempts = 30;
// Ticks between two commits that wait for the disk while a task runs.
constexpr int SyncEvery = 5;
// What waits while the file cannot be written; beyond it the oldest intervals go.
constexpr std::size_t PendingLimit = 100000;

// An interval an earlier run left open is extended by at most this much from the task file: the
// history updates that may not have reached the disk (a few ticks), with room for late ticks.
constexpr std::uint32_t LostUpdatesLimitMs = 60000;

// Each step takes the file from the version of its position to the next one; a new file takes
// them all, so there is one way to every version.
const char* const SchemaSteps[] = {
    // 1: the intervals
    "CREATE TABLE interval ("
    " id INTEGER PRIMARY KEY,"
    " caption TEXT NOT NULL,"
    " start_utc INTEGER NOT NULL,"  // ms since 1970, UTC
    " utc_offset INTEGER NOT NULL," // seconds east of UTC at the start
    " end_utc INTEGER NOT NULL,"
    " charged_ms INTEGER NOT NULL);"
    "CREATE INDEX interval_by_start ON interval(start_utc);",
    // 2: the task's clock at the end of an interval still open, null once it has ended
    "ALTER TABLE interval ADD COLUMN task_ms INTEGER;"
    "CREATE INDEX interval_open ON interval(id) WHERE task_ms IS NOT NULL;",
};
static_assert(std::size(SchemaSteps) == HistorySchemaVersion);

// Brings a file of version From (0: new) up to this build's, in one transaction.
int Upgrade(sqlite3* Db, int From) {
    std::string sql = "BEGIN IMMEDIATE;";
    for (int step = From; step < HistorySchemaVersion; ++step)
        sql += SchemaSteps[step];
    sql += "PRAGMA user_version = " + std::to_string(HistorySchemaVersion) + "; COMMIT;";
    const int rc = sqlite3_exec(Db, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK && !sqlite3_get_autocommit(Db))
        sqlite3_exec(Db, "ROLLBACK", nullptr, nullptr, nullptr);
    return rc;
}

bool IsRegularOrMissing(const QByteArray& Path) {
    struct stat st {};
    if (::lstat(Path.constData(), &st) != 0)
        return errno == ENOENT;
    return S_ISREG(st.st_mode);
}

bool Exists(const QByteArray& Path) {
    struct stat st {};
    return ::lstat(Path.constData(), &st) == 0;
}

// Renames without ever replacing what is at To.
bool RenameNoReplace(const QByteArray& From, const QByteArray& To) {
    return ::renameat2(AT_FDCWD, From.constData(), AT_FDCWD, To.constData(), RENAME_NOREPLACE) == 0;
}

int IntegerOf(sqlite3* Db, const char* Sql, int& Value) {
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(Db, Sql, -1, &statement, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(statement);
        if (rc == SQLITE_ROW) {
            Value = sqlite3_column_int(statement, 0);
            rc = SQLITE_OK;
        }
    }
    sqlite3_finalize(statement);
    return rc;
}

// SQLITE_OK, SQLITE_CORRUPT when the check finds damage, or the error met.
int QuickCheck(sqlite3* Db) {
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(Db, "PRAGMA quick_check", -1, &statement, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(statement);
        if (rc == SQLITE_ROW)
            rc = std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)), "ok") == 0
                     ? SQLITE_OK
                     : SQLITE_CORRUPT;
    }
    sqlite3_finalize(statement);
    return rc;
}
void BindTaskClock(sqlite3_stmt* Statement, int Index, const THistoryInterval& Interval) {
    if (Interval.Final)
        sqlite3_bind_null(Statement, Index);
    else
        sqlite3_bind_int64(Statement, Index, Interval.TaskMs);
}
} // namespace

std::int64_t WallClockUtcMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::int32_t LocalUtcOffsetSeconds(std::int64_t UtcMs) {
    const std::time_t seconds = static_cast<std::time_t>(UtcMs / 1000);
    std::tm local{};
    if (!::localtime_r(&seconds, &local))
        return 0;
    return static_cast<std::int32_t>(local.tm_gmtoff);
}

bool HistoryRecordingOff() {
    return qEnvironmentVariable("TALLYVOX_NO_HISTORY") == QStringLiteral("1");
}

THistoryStore::THistoryStore(QString Path) : FPath(std::move(Path)) {}

THistoryStore::~THistoryStore() {
    Close();
}

void THistoryStore::Post(const THistoryInterval& Interval, bool Urgent) {
    {
        const std::lock_guard lock(FMutex);
        if (!FPending.empty() && FPending.back().Seq == Interval.Seq)
            FPending.back() = Interval;
        else
            FPending.push_back(Interval);
        if (FPending.size() > PendingLimit)
            FPending.erase(FPending.begin());
    }
    if (FWake)
        FWake(Urgent);
}

void THistoryStore::SetLoadedClocks(std::vector<TLoadedTaskClock> Clocks) {
    const std::lock_guard lock(FMutex);
    FLoadedClocks = std::move(Clocks);
}

// The loaded clocks have done their part.
void THistoryStore::EarlierIntervalsClosed() {
    FEarlierClosed = true;
    const std::lock_guard lock(FMutex);
    FLoadedClocks = {};
}

// Runs once, at the first open, before this run writes anything: every interval still open
// then is an earlier run's.
int THistoryStore::CloseEarlierIntervals() {
    std::vector<TLoadedTaskClock> clocks;
    {
        const std::lock_guard lock(FMutex);
        clocks = FLoadedClocks;
    }
    struct TOpenInterval {
        std::int64_t Id;
        QString Caption;
        std::int64_t EndUtcMs;
        std::int64_t ChargedMs;
        std::uint32_t TaskMs;
    };
    std::vector<TOpenInterval> open;
    sqlite3_stmt* query = nullptr;
    int rc = sqlite3_prepare_v2(
        FDb, "SELECT id, caption, end_utc, charged_ms, task_ms FROM interval WHERE task_ms IS NOT NULL", -1,
        &query, nullptr);
    while (rc == SQLITE_OK && (rc = sqlite3_step(query)) == SQLITE_ROW) {
        rc = SQLITE_OK;
        open.push_back({sqlite3_column_int64(query, 0),
                        QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(query, 1))),
                        sqlite3_column_int64(query, 2), sqlite3_column_int64(query, 3),
                        static_cast<std::uint32_t>(sqlite3_column_int64(query, 4))});
    }
    sqlite3_finalize(query);
    if (rc != SQLITE_DONE)
        return rc;
    if (open.empty()) {
        EarlierIntervalsClosed();
        return SQLITE_OK;
    }
    rc = sqlite3_exec(FDb, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    for (auto interval = open.begin(); rc == SQLITE_OK && interval != open.end(); ++interval) {
        // What the task file shows beyond the interval's last update that reached the disk; a
        // clock that went back (reset) or far beyond it belongs to something else.
        std::uint32_t lost = 0;
        for (const TLoadedTaskClock& clock : clocks) {
            const std::uint32_t beyond = clock.ElapsedMs - interval->TaskMs; // modulo 2^32, as the clocks
            if (clock.Caption == interval->Caption && beyond <= LostUpdatesLimitMs) {
                lost = beyond;
                break;
            }
        }
        sqlite3_bind_int64(FUpdate, 1, interval->EndUtcMs + lost);
        sqlite3_bind_int64(FUpdate, 2, interval->ChargedMs + lost);
        sqlite3_bind_null(FUpdate, 3); // ended
        sqlite3_bind_int64(FUpdate, 4, interval->Id);
        rc = sqlite3_step(FUpdate);
        sqlite3_reset(FUpdate);
        rc = rc == SQLITE_DONE ? SQLITE_OK : rc;
    }
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(FDb, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK && !sqlite3_get_autocommit(FDb))
        sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        EarlierIntervalsClosed();
    return rc;
}

void THistoryStore::Requeue(std::vector<THistoryInterval> Due) {
    const std::lock_guard lock(FMutex);
    // A state posted meanwhile is newer than the one that failed.
    if (!FPending.empty() && !Due.empty() && Due.back().Seq == FPending.front().Seq)
        Due.pop_back();
    FPending.insert(FPending.begin(), Due.begin(), Due.end());
    if (FPending.size() > PendingLimit)
        FPending.erase(FPending.begin(),
                       FPending.begin() + static_cast<std::ptrdiff_t>(FPending.size() - PendingLimit));
}

void THistoryStore::WriteDue() {
    std::vector<THistoryInterval> due;
    {
        const std::lock_guard lock(FMutex);
        due.swap(FPending);
    }
    if (due.empty())
        return;
    TOutcome outcome = Write(due);
    // A file just set aside leaves the way free for a new one at once.
    if (outcome == TOutcome::Broken && SetAside()) {
        qCInfo(lcSave).noquote() << "history file set aside:" << FPath;
        outcome = Write(due);
    }
    if (outcome != TOutcome::Written) {
        qCInfo(lcSave).noquote() << "history not written, tried again later:" << FPath;
        Requeue(std::move(due));
    }
}

THistoryStore::TOutcome THistoryStore::Classify(int Code) {
    switch (Code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ++FBusyAttempts >= LockedAttempts ? TOutcome::Broken : TOutcome::Retry;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_READONLY:
    case SQLITE_ERROR: // no such table, or another program's database
    case SQLITE_SCHEMA:
    case SQLITE_MISMATCH:
    case SQLITE_CONSTRAINT:
    case SQLITE_FORMAT:
        return TOutcome::Broken;
    default: // full disk, I/O errors, no memory: the file itself may be fine
        Close();
        return TOutcome::Retry;
    }
}

THistoryStore::TOutcome THistoryStore::Open() {
    const QByteArray path = NativePath(FPath);
    for (const char* suffix : {"", "-wal", "-shm"})
        if (!IsRegularOrMissing(path + suffix))
            return TOutcome::Broken; // a link, a folder, a device: never written through
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX;
    int rc = sqlite3_open_v2(path.constData(), &FDb, flags, nullptr);
    if (rc != SQLITE_OK) {
        const TOutcome outcome = Classify(rc == SQLITE_CANTOPEN && Exists(path) ? SQLITE_NOTADB : rc);
        Close();
        return outcome == TOutcome::Broken ? outcome : TOutcome::Retry;
    }
    sqlite3_extended_result_codes(FDb, 1);
    if (sqlite3_db_readonly(FDb, "main") == 1)
        return TOutcome::Broken;
    // WAL: readers (reports) never block the tick's write, and a kill or a power cut never
    // damages the file. How often a commit waits for the disk is chosen per write.
    rc = sqlite3_exec(FDb, "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; PRAGMA cache_size = -256;",
                      nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = QuickCheck(FDb);
    int version = 0;
    if (rc == SQLITE_OK)
        rc = IntegerOf(FDb, "PRAGMA user_version", version);
    if (rc == SQLITE_OK && version == 0) {
        int tables = 0;
        rc = IntegerOf(FDb, "SELECT count(*) FROM sqlite_master", tables);
        if (rc == SQLITE_OK && tables != 0)
            rc = SQLITE_NOTADB; // someone else's database
    } else if (rc == SQLITE_OK && version > HistorySchemaVersion) {
        rc = SQLITE_NOTADB; // written by a newer build: kept aside, never written over
    }
    if (rc == SQLITE_OK && version < HistorySchemaVersion)
        rc = Upgrade(FDb, version);
    if (rc == SQLITE_OK)
        rc = sqlite3_prepare_v3(
            FDb,
            "INSERT INTO interval (caption, start_utc, utc_offset, end_utc, charged_ms, task_ms)"
            " VALUES (?, ?, ?, ?, ?, ?)",
            -1, SQLITE_PREPARE_PERSISTENT, &FInsert, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_prepare_v3(FDb,
                                "UPDATE interval SET end_utc = ?, charged_ms = ?, task_ms = ? WHERE id = ?",
                                -1, SQLITE_PREPARE_PERSISTENT, &FUpdate, nullptr);
    if (rc == SQLITE_OK && !FEarlierClosed)
        rc = CloseEarlierIntervals();
    if (rc == SQLITE_OK)
        return TOutcome::Written;
    const TOutcome outcome = Classify(rc);
    Close();
    return outcome;
}

THistoryStore::TOutcome THistoryStore::Write(const std::vector<THistoryInterval>& Due) {
    if (!FDb) {
        const TOutcome opened = Open();
        if (opened != TOutcome::Written)
            return opened;
    }
    // A start or an end of an interval reaches the disk at once; the tick's new end of the
    // running one only every few seconds: most ticks then cost no wait for the disk at all.
    // A killed program loses none of them; a power cut at most the last few seconds.
    const bool durable =
        FUnsynced + 1 >= SyncEvery || std::any_of(Due.begin(), Due.end(), [this](const THistoryInterval& I) {
            return I.Final || !FRowIds.contains(I.Seq);
        });
    int rc = sqlite3_exec(FDb, durable ? "PRAGMA synchronous = FULL" : "PRAGMA synchronous = NORMAL", nullptr,
                          nullptr, nullptr);
    const std::map<std::uint64_t, std::int64_t> rowIds = FRowIds;
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(FDb, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    for (auto it = Due.begin(); rc == SQLITE_OK && it != Due.end(); ++it) {
        const auto known = FRowIds.find(it->Seq);
        sqlite3_stmt* statement = known == FRowIds.end() ? FInsert : FUpdate;
        if (statement == FInsert) {
            const QByteArray caption = it->Caption.toUtf8();
            sqlite3_bind_text(statement, 1, caption.constData(), static_cast<int>(caption.size()),
                              SQLITE_TRANSIENT);
            sqlite3_bind_int64(statement, 2, it->StartUtcMs);
            sqlite3_bind_int(statement, 3, it->UtcOffsetS);
            sqlite3_bind_int64(statement, 4, it->EndUtcMs);
            sqlite3_bind_int64(statement, 5, it->ChargedMs);
            BindTaskClock(statement, 6, *it);
        } else {
            sqlite3_bind_int64(statement, 1, it->EndUtcMs);
            sqlite3_bind_int64(statement, 2, it->ChargedMs);
            BindTaskClock(statement, 3, *it);
            sqlite3_bind_int64(statement, 4, known->second);
        }
        rc = sqlite3_step(statement);
        sqlite3_reset(statement);
        if (rc != SQLITE_DONE)
            break;
        rc = SQLITE_OK;
        if (it->Final)
            FRowIds.erase(it->Seq);
        else if (statement == FInsert)
            FRowIds[it->Seq] = sqlite3_last_insert_rowid(FDb);
    }
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(FDb, "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        FBusyAttempts = 0;
        FUnsynced = durable ? 0 : FUnsynced + 1;
        return TOutcome::Written;
    }
    if (!sqlite3_get_autocommit(FDb))
        sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
    FRowIds = rowIds;
    return Classify(rc);
}

void THistoryStore::Close() {
    sqlite3_finalize(FInsert);
    sqlite3_finalize(FUpdate);
    FInsert = FUpdate = nullptr;
    if (FDb)
        sqlite3_close_v2(FDb);
    FDb = nullptr;
}

bool THistoryStore::SetAside() {
    Close();
    FRowIds.clear(); // the new file holds none of them
    FBusyAttempts = 0;
    const QByteArray path = NativePath(FPath);
    for (int n = 0; Exists(path) && n < 1000; ++n) {
        const QByteArray aside = path + ".bad" + (n ? "." + QByteArray::number(n) : QByteArray());
        if (Exists(aside))
            continue;
        if (!RenameNoReplace(path, aside))
            return false;
        for (const char* suffix : {"-wal", "-shm"})
            if (Exists(path + suffix) && !RenameNoReplace(path + suffix, aside + suffix))
                ::unlink((path + suffix).constData());
    }
    // A log left without its file would be replayed into the new one.
    for (const char* suffix : {"-wal", "-shm"})
        if (Exists(path + suffix) && ::unlink((path + suffix).constData()) != 0)
            return false;
    return !Exists(path);
}

THistoryRecorder::THistoryRecorder(TTaskTracker& Tracker, THistoryStore& Store,
                                   std::function<std::int64_t()> NowUtcMs)
    : FTracker(Tracker), FStore(Store), FNow(std::move(NowUtcMs)) {
    FTracker.AddObserver(*this);
    TrackingOutputsChanged(); // a task may already run
}

THistoryRecorder::~THistoryRecorder() {
    FTracker.RemoveObserver(*this);
}

void THistoryRecorder::TimeCharged(const TTaskRow& Task, std::uint32_t Ms) {
    if (&Task != FRow || !FCurrent)
        return;
    FCurrent->ChargedMs += Ms;
    FCurrent->TaskMs = Task.Clock().ElapsedMs;
    FCurrent->EndUtcMs = std::max(FCurrent->StartUtcMs, FNow());
    FStore.Post(*FCurrent, false);
}

void THistoryRecorder::TrackingOutputsChanged() {
    const TTaskRow* active = FTracker.ActiveTask();
    if (active == FRow)
        return; // a forced switch to the same task goes on with its interval
    const std::int64_t now = FNow();
    if (FCurrent) {
        FCurrent->EndUtcMs = std::max(FCurrent->StartUtcMs, now);
        FCurrent->Final = true;
        FStore.Post(*FCurrent);
        FCurrent.reset();
    }
    FRow = active;
    if (!active)
        return;
    FCurrent = THistoryInterval{FNextSeq++, active->Caption(),        now, LocalUtcOffsetSeconds(now), now, 0,
                                false,      active->Clock().ElapsedMs};
    FStore.Post(*FCurrent);
}

std::unique_ptr<THistory> THistory::Start(TTaskTracker& Tracker, TTaskFileWriter& Writer,
                                          const QString& DataFolder, std::function<std::int64_t()> NowUtcMs) {
    if (HistoryRecordingOff())
        return nullptr;
    return std::make_unique<THistory>(Tracker, Writer, JoinPath(DataFolder, HistoryFileName),
                                      std::move(NowUtcMs));
}

THistory::THistory(TTaskTracker& Tracker, TTaskFileWriter& Writer, const QString& Path,
                   std::function<std::int64_t()> NowUtcMs)
    : FStore(Path), FRecorder(Tracker, FStore, std::move(NowUtcMs)) {
    Writer.SetFollowUp([this] { FStore.WriteDue(); });
    FStore.SetWake([&Writer](bool Urgent) { Writer.Nudge(Urgent); });
}

void THistory::TasksLoaded(const TTaskTracker& Tracker) {
    std::vector<TLoadedTaskClock> clocks;
    clocks.reserve(static_cast<std::size_t>(Tracker.Count()));
    for (int i = 0; i < Tracker.Count(); ++i)
        clocks.push_back({Tracker.Row(i).Caption(), Tracker.Row(i).Clock().ElapsedMs});
    FStore.SetLoadedClocks(std::move(clocks));
}
