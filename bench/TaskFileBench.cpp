// SPDX-License-Identifier: MIT
// Saving runs every second on the user-interface thread, so it is measured beside a plain
// write (and read) of the same bytes: the ratio is what the report shows.
#include "FakeTickCounter.h"
#include "TaskFile.h"
#include "TaskTracker.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {
struct TBenchList {
    explicit TBenchList(int Count) : Tracker(Ticks) {
        for (int i = 0; i < Count; ++i) {
            TTaskRow& row = Tracker.AppendTask(QStringLiteral("Task number %1 for the client").arg(i));
            Tracker.SetElapsedMs(row, static_cast<std::uint32_t>(i) * 7919u);
        }
        Path = Dir.filePath(QStringLiteral("tasks.db"));
        SaveTasks(Tracker, Path);
        Bytes = TaskFileBytes(Tracker);
        RawPath = QFile::encodeName(Dir.filePath(QStringLiteral("raw.db")));
    }
    TFakeTickCounter Ticks;
    TTaskTracker Tracker;
    QTemporaryDir Dir;
    QString Path;
    QByteArray Bytes;
    QByteArray RawPath;
};

TBenchList& ListOf(int Count) {
    static std::map<int, std::unique_ptr<TBenchList>> lists;
    auto& list = lists[Count];
    if (!list)
        list = std::make_unique<TBenchList>(Count);
    return *list;
}

void SaveTasks(benchmark::State& State) {
    TBenchList& list = ListOf(static_cast<int>(State.range(0)));
    for (auto _ : State)
        SaveTasks(list.Tracker, list.Path);
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * list.Bytes.size());
}

// The same bytes written the plain way, with the same durability (fsync) as a save.
void RawSaveTasks(benchmark::State& State) {
    TBenchList& list = ListOf(static_cast<int>(State.range(0)));
    for (auto _ : State) {
        const int fd = ::open(list.RawPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        benchmark::DoNotOptimize(
            ::write(fd, list.Bytes.constData(), static_cast<std::size_t>(list.Bytes.size())));
        ::fsync(fd);
        ::close(fd);
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * list.Bytes.size());
}

void LoadTasks(benchmark::State& State) {
    TBenchList& list = ListOf(static_cast<int>(State.range(0)));
    for (auto _ : State) {
        TTaskTracker tracker(list.Ticks);
        LoadTasks(tracker, list.Path);
        benchmark::DoNotOptimize(tracker.Count());
    }
}

void RawLoadTasks(benchmark::State& State) {
    TBenchList& list = ListOf(static_cast<int>(State.range(0)));
    const QByteArray path = QFile::encodeName(list.Path);
    std::vector<char> buffer(static_cast<std::size_t>(list.Bytes.size()) + 1);
    for (auto _ : State) {
        const int fd = ::open(path.constData(), O_RDONLY);
        benchmark::DoNotOptimize(::read(fd, buffer.data(), buffer.size()));
        ::close(fd);
    }
}

// Without the disk: what building the bytes costs on its own.
void TaskFileBytes(benchmark::State& State) {
    TBenchList& list = ListOf(static_cast<int>(State.range(0)));
    for (auto _ : State)
        benchmark::DoNotOptimize(TaskFileBytes(list.Tracker));
}
} // namespace

BENCHMARK(SaveTasks)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(RawSaveTasks)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(LoadTasks)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(RawLoadTasks)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(TaskFileBytes)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
