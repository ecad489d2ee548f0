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
