// SPDX-License-Identifier: MIT
// The shell's per-row work: the clipboard text of a selection and the list's reads of the rows.
#include "FakeTickCounter.h"
#include "MainFormUnit.h"
#include "TaskListModel.h"

#include <benchmark/benchmark.h>

namespace {
void FillTracker(TTaskTracker& Tracker, int Rows) {
    for (int i = 0; i < Rows; ++i)
        Tracker.SetElapsedMs(Tracker.AppendTask(QStringLiteral("Task number %1").arg(i)),
                             static_cast<std::uint32_t>(i) * 61000u);
}

void BM_ClipboardText(benchmark::State& State) {
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    const int rows = static_cast<int>(State.range(0));
    FillTracker(tracker, rows);
    const std::vector<bool> all(static_cast<std::size_t>(rows), true);
    for (auto _ : State)
        benchmark::DoNotOptimize(TMainForm::ClipboardText(tracker, all));
    State.SetItemsProcessed(State.iterations() * rows);
}
BENCHMARK(BM_ClipboardText)->Arg(10)->Arg(1000)->Arg(100000);

void BM_ModelReadsEveryCell(benchmark::State& State) {
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    const int rows = static_cast<int>(State.range(0));
    FillTracker(tracker, rows);
    TTaskListModel model(tracker);
    for (auto _ : State) {
        for (int row = 0; row < rows; ++row)
            for (int column = 0; column < 2; ++column)
                benchmark::DoNotOptimize(model.data(model.index(row, column)));
    }
    State.SetItemsProcessed(State.iterations() * rows * 2);
}
BENCHMARK(BM_ModelReadsEveryCell)->Arg(10)->Arg(1000);

void BM_TickOfTheActiveTaskThroughTheModel(benchmark::State& State) {
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    FillTracker(tracker, 100);
    TTaskListModel model(tracker);
    tracker.SetActiveTask(&tracker.Row(50), false);
    for (auto _ : State) {
        ticks.Advance(1000);
        tracker.Tick();
    }
}
BENCHMARK(BM_TickOfTheActiveTaskThroughTheModel);
} // namespace

BENCHMARK_MAIN();
