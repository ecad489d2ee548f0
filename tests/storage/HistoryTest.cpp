// SPDX-License-Identifier: MIT
#include "History.h"

#include "FakeTickCounter.h"
#include "FileTestUtil.h"
#include "HistoryReport.h"
#include "TaskFile.h"
#include "TaskFileWriter.h"
#include "TaskTracker.h"
#include "TempDir.h"

#include <QDateTime>
#include <QFileInfo>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
std::int64_t Utc(const char* Iso) {
    return QDateTime::fromString(QString::fromLatin1(Iso), Qt::ISODate).toMSecsSinceEpoch();
}

QDate Day(const char* Iso) {
    return QDate::fromString(QString::fromLatin1(Iso), Qt::ISODate);
}

QStringList Exported(const QString& Path) {
    QStringList rows;
    HistoryExport(Path, std::nullopt, std::nullopt,
                  [&](const QByteArray& Bytes) { rows << QString::fromUtf8(Bytes); });
    return rows;
}

// Sets TZ for one test and puts it back.
struct TTimeZone {
    explicit TTimeZone(const char* Zone) : Old(std::getenv("TZ") ? std::getenv("TZ") : "") {
        ::setenv("TZ", Zone, 1);
        ::tzset();
    }
    ~TTimeZone() {
        Old.empty() ? ::unsetenv("TZ") : ::setenv("TZ", Old.c_str(), 1);
        ::tzset();
    }
    std::string Old;
};
} // namespace

TEST(HistoryTest, LocalDaysFollowTheOffsetInForceAcrossADaylightSavingChange) {
    const TTimeZone berlin("Europe/Berlin"); // CET +1 until 2026-03-29 01:00 UTC, then CEST +2
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("history.sqlite"));
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    THistoryStore store(path);
    std::int64_t now = 0;
    THistoryRecorder recorder(tracker, store, [&] { return now; });
    tracker.AppendTask(QStringLiteral("A"));
    tracker.AppendTask(QStringLiteral("B"));
    const auto track = [&](int Row, const char* Start, std::uint32_t Ms) {
        now = Utc(Start);
        tracker.SetActiveTask(&tracker.Row(Row), false);
        ticks.Advance(Ms);
        now += Ms;
        tracker.SetActiveTask(nullptr, false);
    };
    track(0, "2026-03-28T22:30:00Z", 3600000); // 23:30 to 00:30 CET: half on each day
    track(1, "2026-03-29T21:00:00Z", 7200000); // 23:00 CEST to 01:00: half on each day
    store.WriteDue();
    const TReportRequest request{Day("2026-03-28"), Day("2026-03-30"), TReportGrouping::Day,
                                 TReportFormat::Csv};
    EXPECT_EQ(HistoryReport(path, request), QByteArray("period,task,seconds,time\n"
                                                       "2026-03-28,A,1800,0:30:00\n"
                                                       "2026-03-29,A,1800,0:30:00\n"
                                                       "2026-03-29,B,3600,1:00:00\n"
                                                       "2026-03-30,B,3600,1:00:00\n"));
    EXPECT_EQ(Exported(path).at(2),
              QStringLiteral("B,2026-03-29T23:00:00+02:00,2026-03-30T01:00:00+02:00,7200.000\n"));
}

// One history, one page per format: a day before the first record, a caption that needs
// quoting and escaping, an interval over midnight, and a week of one task only.
class HistoryGoldenTest
    : public ::testing::TestWithParam<std::tuple<TReportGrouping, TReportFormat, const char*>> {};

TEST_P(HistoryGoldenTest, ReportMatchesItsStoredPage) {
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("history.sqlite"));
    {
        THistoryStore store(path);
        std::uint64_t seq = 0;
        const auto add = [&](const char* Caption, const char* Start, std::int64_t Minutes,
                             std::int32_t Offset) {
            const std::int64_t start = Utc(Start);
            store.Post({++seq, QString::fromUtf8(Caption), start, Offset, start + Minutes * 60000,
                        Minutes * 60000 - 250, true});
        };
        add("Client \"Acme\", support", "2026-03-03T08:00:00Z", 90, 3600);
        add("<Write> & review", "2026-03-03T10:00:00Z", 45, 3600);
        add("Client \"Acme\", support", "2026-03-04T22:30:00Z", 60, 3600); // 23:30 to 00:30
        add("<Write> & review", "2026-03-10T07:00:00Z", 480, 3600);
        store.WriteDue();
    }
    const auto [by, format, golden] = GetParam();
    EXPECT_EQ(QString::fromUtf8(HistoryReport(path, {Day("2026-03-02"), Day("2026-03-15"), by, format})),
              QString::fromUtf8(FixtureBytes(golden)));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, HistoryGoldenTest,
    ::testing::Values(std::tuple{TReportGrouping::Day, TReportFormat::Text, "report-by-day.txt"},
                      std::tuple{TReportGrouping::Week, TReportFormat::Csv, "report-by-week.csv"},
                      std::tuple{TReportGrouping::Month, TReportFormat::Json, "report-by-month.json"},
                      std::tuple{TReportGrouping::Task, TReportFormat::Html, "report-by-task.html"}));

TEST(HistoryCrashTest, KilledTrackingLeavesASoundHistoryAsCurrentAsTheTaskFile) {
    TTempDir dir;
    const QString tasks = dir.File(QStringLiteral("tasks.db"));
    const QString history = dir.File(QStringLiteral("history.sqlite"));
    TFakeTickCounter ticks;
    {
        TTaskTracker first(ticks);
        first.AppendTask(QStringLiteral("Killed"));
        SaveTasks(first, tasks);
    }
    std::mt19937 random(20261211);
    std::uniform_int_distribution<int> delayUs(5000, 60000);
    std::uint32_t before = 0;
    qsizetype intervals = 0;
    for (int round = 0; round < 50; ++round) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            TTaskTracker tracker(ticks);
            LoadTasks(tracker, tasks);
            std::int64_t now = Utc("2026-03-02T08:00:00Z") + round * 3600000LL;
            TTaskFileWriter writer;
            THistory recorded(tracker, writer, history, [&] { return now; });
            tracker.SetActiveTask(&tracker.Row(0), false);
            for (;;) { // the tick, one a millisecond
                ticks.Advance(1000);
                now += 1000;
                tracker.Tick();
                writer.Post(tasks, TaskFileBytes(tracker));
                writer.Flush();
                ::usleep(1000);
            }
        }
        ::usleep(static_cast<useconds_t>(delayUs(random)));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        TTaskTracker loaded(ticks);
        LoadTasks(loaded, tasks);
        const std::uint32_t total = loaded.Row(0).Clock().ElapsedMs;
        const QStringList rows = QFileInfo::exists(history) ? Exported(history) : QStringList{QString()};
        ASSERT_LE(rows.size() - 1, intervals + 1) << "at most one interval a run";
        const bool recorded = rows.size() - 1 == intervals + 1; // else killed before its first write
        const double charged = recorded ? rows.back().section(u',', 3).toDouble() * 1000 : 0.0;
        EXPECT_LE(std::abs(charged - (total - before)), 1000.0) << "round " << round;
        intervals = rows.size() - 1;
        before = total;
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(history).constData(), &db, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    sqlite3_stmt* check = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
    ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
    sqlite3_finalize(check);
    sqlite3_close(db);
}

// A power cut loses the history's updates not yet on the disk but not the task file's last save:
// an interval left open is closed at the next start with what the task file shows beyond it.
TEST(HistoryTest, IntervalLeftOpenIsClosedWithWhatTheTaskFileShowsBeyondIt) {
    struct TCase {
        const char* What;
        std::uint32_t StoredMs; // the task's clock in the last update that reached the disk
        const char* LoadedCaption;
        std::uint32_t LoadedMs; // and in the task file
        double Seconds;
    };
    const TCase cases[] = {
        {"three ticks lost", 20000, "A", 23000, 13.0},
        {"three ticks lost across the clock's wrap", 4294966296u, "A", 2000, 13.0},
        {"clock reset since", 20000, "A", 1500, 10.0},
        {"clock far beyond the interval", 20000, "A", 620000, 10.0},
        {"no task of that caption", 20000, "B", 23000, 10.0},
    };
    const std::int64_t start = Utc("2026-03-02T08:00:00Z");
    for (const TCase& c : cases) {
        TTempDir dir;
        const QString path = dir.File(QStringLiteral("history.sqlite"));
        const auto startWith = [&](std::uint32_t LoadedMs) {
            THistoryStore store(path);
            store.SetLoadedClocks({{QString::fromUtf8(c.LoadedCaption), LoadedMs}});
            store.Post({1, QStringLiteral("next"), start + 3600000, 0, start + 3600000, 0, true});
            store.WriteDue();
        };
        {
            THistoryStore store(path);
            store.Post({1, QStringLiteral("A"), start, 0, start + 10000, 10000, false, c.StoredMs});
            store.WriteDue();
        }
        startWith(c.LoadedMs);
        startWith(c.LoadedMs + 3000); // closed once: a later start changes nothing
        const QStringList rows = Exported(path);
        ASSERT_EQ(rows.size(), 4) << c.What;
        EXPECT_EQ(rows.at(1).section(u',', 3).toDouble(), c.Seconds) << c.What;
        EXPECT_EQ(rows.at(1).section(u',', 2, 2),
                  QDateTime::fromMSecsSinceEpoch(start + static_cast<std::int64_t>(c.Seconds * 1000), Qt::UTC)
                      .toString(Qt::ISODate)
                      .replace(u'Z', QStringLiteral("+00:00")))
            << c.What;
    }
}

TEST(HistoryTest, HistoryOfTheFirstVersionIsKeptAndWrittenOn) {
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("history.sqlite"));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db,
                     "PRAGMA journal_mode = WAL;"
                     "CREATE TABLE interval (id INTEGER PRIMARY KEY, caption TEXT NOT NULL,"
                     " start_utc INTEGER NOT NULL, utc_offset INTEGER NOT NULL,"
                     " end_utc INTEGER NOT NULL, charged_ms INTEGER NOT NULL);"
                     "CREATE INDEX interval_by_start ON interval(start_utc);"
                     "INSERT INTO interval VALUES (1, 'Old', 1772438400000, 3600, 1772442000000, 3600000);"
                     "PRAGMA user_version = 1;",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    THistoryStore store(path);
    store.Post({1, QStringLiteral("New"), 1772445600000, 3600, 1772449200000, 3600000, true});
    store.WriteDue();
    EXPECT_EQ(Exported(path).mid(1).join(QString()),
              QStringLiteral("Old,2026-03-02T09:00:00+01:00,2026-03-02T10:00:00+01:00,3600.000\n"
                             "New,2026-03-02T11:00:00+01:00,2026-03-02T12:00:00+01:00,3600.000\n"));
    EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral(".bad")));
}
