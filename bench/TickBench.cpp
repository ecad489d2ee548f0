// SPDX-License-Identifier: MIT
// The once-a-second tracking tick with a long list: charge the active task, rebuild its time
// text, write the whole list. It runs on the user-interface thread for as long as a task runs,
// so what counts is the processor time it takes, set beside a plain durable write of the same
// bytes (what any save must cost at least).
#include "FakeTickCounter.h"
#include "TaskFile.h"
#include "TaskFileWriter.h"
#include "TaskTracker.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

namespace {
// Labelled so that scripts/bench.sh shows processor time, not wall time, for these.
const char* const CpuTimeLabel = "cpu time";

struct TTickList {
    explicit TTickList(int Count) : Tracker(Ticks), Dir(QStringLiteral("/tmp/tallyvox-tick-XXXXXX")) {
        for (int i = 0; i < Count; ++i) {
            TTaskRow& row = Tracker.AppendTask(QStringLiteral("Task number %1 for the client").arg(i));
            Tracker.SetElapsedMs(row, static_cast<std::uint32_t>(i) * 7919u);
        }
        Tracker.SetActiveTask(&Tracker.Row(Count / 2), false);
        Path = Dir.filePath(QStringLiteral("tasks.db"));
        RawPath = QFile::encodeName(Dir.filePath(QStringLiteral("raw.db")));
    }
    TFakeTickCounter Ticks;
    TTaskTracker Tracker;
    QTemporaryDir Dir;
    QString Path;
    QByteArray RawPath;
};

void TrackingTick(benchmark::State& State) {
    TTickList list(static_cast<int>(State.range(0)));
    if (!list.Dir.isValid()) {
        State.SkipWithError("no temporary folder in /tmp");
        return;
    }
    for (auto _ : State) {
        list.Ticks.Advance(1000);
        list.Tracker.Tick(); // charges the active task and refreshes its time text
        SaveTasks(list.Tracker, list.Path);
    }
    State.SetLabel(CpuTimeLabel);
}

// The bytes one tick writes, put on disk with open, write, fsync, close and nothing else.
void RawTrackingTick(benchmark::State& State) {
    TTickList list(static_cast<int>(State.range(0)));
    if (!list.Dir.isValid()) {
        State.SkipWithError("no temporary folder in /tmp");
        return;
    }
    list.Ticks.Advance(1000);
    list.Tracker.Tick();
    const QByteArray bytes = TaskFileBytes(list.Tracker);
    for (auto _ : State) {
        const int fd = ::open(list.RawPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0) {
            State.SkipWithError("cannot create the raw file");
            break;
        }
        benchmark::DoNotOptimize(::write(fd, bytes.constData(), static_cast<std::size_t>(bytes.size())));
        ::fsync(fd);
        ::close(fd);
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * bytes.size());
    State.SetLabel(CpuTimeLabel);
}

// What the tick keeps the user-interface thread busy for: charge the active task, make the
// file's bytes and hand them to the background writer. Wall time, since the window waits for
// exactly this long; the writer meanwhile replaces the file on its own thread.
void GuiTrackingTick(benchmark::State& State) {
    TTickList list(static_cast<int>(State.range(0)));
    if (!list.Dir.isValid()) {
        State.SkipWithError("no temporary folder in /tmp");
        return;
    }
    TTaskFileWriter writer;
    for (auto _ : State) {
        list.Ticks.Advance(1000);
        list.Tracker.Tick();
        writer.Post(list.Path, TaskFileBytes(list.Tracker));
    }
}
} // namespace

BENCHMARK(GuiTrackingTick)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(TrackingTick)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(RawTrackingTick)->Arg(1000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
