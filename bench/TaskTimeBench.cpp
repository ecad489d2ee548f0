// SPDX-License-Identifier: MIT
// Duration texts are rebuilt for the active row every second and for every row on load.
#include "TaskTime.h"

#include <benchmark/benchmark.h>

namespace {
void BuildComponents(benchmark::State& State) {
    std::int32_t seconds = 0;
    for (auto _ : State) {
        benchmark::DoNotOptimize(
            TTaskDuration::Build(seconds / 3600, seconds / 60 % 60, seconds % 60, false));
        seconds = (seconds + 7) % 400000;
    }
}

void BuildSeconds(benchmark::State& State) {
    std::int32_t seconds = 0;
    for (auto _ : State) {
        benchmark::DoNotOptimize(TTaskDuration::Build(seconds, true));
        seconds = (seconds + 7) % 400000;
    }
}

void Parse(benchmark::State& State) {
    const QString text = QStringLiteral("01:23:45");
    for (auto _ : State)
        benchmark::DoNotOptimize(TTaskDuration::Parse(text));
}
} // namespace

BENCHMARK(BuildComponents);
BENCHMARK(BuildSeconds);
BENCHMARK(Parse);

BENCHMARK_MAIN();
