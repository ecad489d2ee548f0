// SPDX-License-Identifier: MIT
// The history: a report over one year of it, in the process and as the command a user runs,
// set beside the sqlite3 command-line tool doing the same grouping; and the report's peak
// memory for one year and for ten, which must not grow with the history.
#include "History.h"
#include "HistoryReport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace {
constexpr int WorkingDays = 250;
constexpr int IntervalsADay = 8;
const QDate FirstDay(2025, 1, 6);

// A portable copy's data folder holding Years of working days, eight intervals a day.
struct THistoryFolder {
    explicit THistoryFolder(int Years) : Dir(QStringLiteral("/tmp/tallyvox-history-XXXXXX")) {
        QDir(Dir.path()).mkpath(QStringLiteral("AppData"));
        Path = Dir.filePath(QStringLiteral("AppData/history.sqlite"));
        QFile::link(QStringLiteral(TALLYVOX_BINARY), Dir.filePath(QStringLiteral("tallyvox")));
        THistoryStore store(Path);
        std::uint64_t seq = 0;
        for (int day = 0; day < Years * WorkingDays; ++day) {
            const QDate date = FirstDay.addDays(day / 5 * 7 + day % 5);
            const std::int64_t morning = QDateTime(date, QTime(8, 0), Qt::UTC).toMSecsSinceEpoch();
            for (int i = 0; i < IntervalsADay; ++i) {
                const std::int64_t start = morning + i * 3600000LL;
                store.Post({++seq, QStringLiteral("Client %1 work").arg(i % 5), start, 3600, start + 3000000,
                            3000000, true});
            }
            store.WriteDue(); // a day's worth at a time, as a day of tracking would
        }
        To = FirstDay.addDays(Years * 365 + 30);
    }
    QTemporaryDir Dir;
    QString Path;
    QDate To;
};

// Runs Argv with its output to /dev/null; its peak resident memory in KiB.
long Spawn(const std::vector<std::string>& Argv) {
    std::vector<char*> argv;
    for (const std::string& a : Argv)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        return -1;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
}

std::vector<std::string> ReportCommand(const THistoryFolder& Folder) {
    return {Folder.Dir.filePath(QStringLiteral("tallyvox")).toStdString(),
            "--report",
            "--from",
            FirstDay.toString(Qt::ISODate).toStdString(),
            "--to",
            Folder.To.toString(Qt::ISODate).toStdString(),
            "--by",
            "day"};
}

void HistoryReportYear(benchmark::State& State) {
    const THistoryFolder folder(1);
    const TReportRequest request{FirstDay, folder.To, TReportGrouping::Day, TReportFormat::Text};
    for (auto _ : State)
        benchmark::DoNotOptimize(HistoryReport(folder.Path, request));
}

void ReportCommand(benchmark::State& State) {
    const THistoryFolder folder(1);
    for (auto _ : State)
        if (Spawn(ReportCommand(folder)) < 0)
            State.SkipWithError("tallyvox --report failed");
}

// The same grouping by the sqlite3 tool: per local day and task, the seconds.
void RawReportCommand(benchmark::State& State) {
    const THistoryFolder folder(1);
    const std::string sql = "SELECT date(start_utc / 1000 + utc_offset, 'unixepoch') AS day, caption,"
                            " sum(charged_ms) / 1000 FROM interval WHERE start_utc >= " +
                            std::to_string(QDateTime(FirstDay, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch()) +
                            " AND start_utc < " +
                            std::to_string(QDateTime(folder.To, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch()) +
                            " GROUP BY day, caption ORDER BY day, caption";
    for (auto _ : State)
        if (Spawn({"sqlite3", "-readonly", folder.Path.toStdString(), sql}) < 0)
            State.SkipWithError("sqlite3 failed (not installed?)");
}

// Peak resident memory of the report over one year and over ten.
void ReportMemory(benchmark::State& State) {
    const THistoryFolder folder(static_cast<int>(State.range(0)));
    long kib = 0;
    for (auto _ : State)
        kib = Spawn(ReportCommand(folder));
    State.counters["maxrss_MiB"] = static_cast<double>(kib) / 1024.0;
}
} // namespace

// The writer's share of a tick with a task running: the running interval's new end, over a
// year of history. Processor time, set beside the bare transaction of the same write.
void HistoryTick(benchmark::State& State) {
    const THistoryFolder folder(1);
    THistoryStore store(folder.Path);
    THistoryInterval running{1, QStringLiteral("Client 1 work"), WallClockUtcMs(), 3600, 0, 0, false};
    for (auto _ : State) {
        running.EndUtcMs += 1000;
        running.ChargedMs += 1000;
        store.Post(running, false);
        store.WriteDue();
    }
    State.SetLabel("cpu time");
}

BENCHMARK(HistoryTick)->Unit(benchmark::kMicrosecond);
BENCHMARK(HistoryReportYear)->Unit(benchmark::kMillisecond);
BENCHMARK(ReportCommand)->Unit(benchmark::kMillisecond);
BENCHMARK(RawReportCommand)->Unit(benchmark::kMillisecond);
BENCHMARK(ReportMemory)->Arg(1)->Arg(10)->Iterations(3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
