// SPDX-License-Identifier: MIT
// The settings reads the inactivity check makes every second while a task runs: Enabled and
// Period, each looking at settings.ini afresh (a stat, and a read when it changed).
#include "IniFile.h"
#include "Settings.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>
#include <thread>

namespace {
QString WriteSettingsFile(const QTemporaryDir& Dir, int ExtraSections) {
    QByteArray content;
    for (int i = 0; i < ExtraSections; ++i)
        content += "[Other" + QByteArray::number(i) + "]\r\nKey=Value\r\nMore = \"quoted\"\r\n";
    content += "[InactivityDetection]\r\nEnabled=1\r\nPeriod=600\r\n";
    const QString path = Dir.filePath(QStringLiteral("settings.ini"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        return {};
    return path;
}

void BM_InactivityCheckReads(benchmark::State& State) {
    QTemporaryDir dir;
    const QString path = WriteSettingsFile(dir, static_cast<int>(State.range(0)));
    if (path.isEmpty()) {
        State.SkipWithError("cannot write the settings file");
        return;
    }
    const TSettings settings(path);
    // As in use, the file has not changed for a while: a file changed within the last two
    // seconds is read again at every use.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    for (auto _ : State) {
        benchmark::DoNotOptimize(settings.InactivityDetectionEnabled());
        benchmark::DoNotOptimize(settings.InactivityDetectionPeriod());
    }
}
BENCHMARK(BM_InactivityCheckReads)->Arg(0)->Arg(50);

void BM_IniLookupInMemory(benchmark::State& State) {
    const QByteArray content = "; notes\r\n[InactivityDetection]\r\nEnabled = 1\r\nPeriod = \"0x258\"\r\n";
    const QString section = QStringLiteral("InactivityDetection");
    const QString key = QStringLiteral("Period");
    for (auto _ : State)
        benchmark::DoNotOptimize(IniLookup(content, section, key));
}
BENCHMARK(BM_IniLookupInMemory);
} // namespace

BENCHMARK_MAIN();
