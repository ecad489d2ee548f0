// SPDX-License-Identifier: MIT
#pragma once

#include "Clock.h"
#include "Prompt.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

// The text stored in "upd": the decimal signed 64-bit integer with the same bits as the date-time.
QString EncodeUpdateTime(double Value);

// The date-time whose bits a stored text holds, after removing blanks and control characters
// around it; none when the rest is not an integer.
std::optional<double> DecodeUpdateTime(const QString& Text);

// A finite date-time between 1 January 0001 and 31 December 9999.
bool IsUsableDateTime(double Value);

// Whole milliseconds on one line of time, and back (days before 30 December 1899 count
// backwards while their time of day counts forwards).
std::int64_t DateTimeToMilliseconds(double Value);
double MillisecondsToDateTime(std::int64_t Ms);

// True when the next check is not later than Now, at millisecond resolution. A stored value
// that is no usable date-time cannot be compared and counts as due, so it gets rewritten.
bool IsUpdateCheckDue(double NextUpdateCheck, double Now);

// Now plus 24 hours, added in whole milliseconds.
double OneDayLater(double Now);

// Where and how "upd" is read and written; tests replace the file system.
struct TUpdateTimeFile {
    std::function<QString()> Path;
    std::function<bool(const QString&)> Exists;
    std::function<QString(const QString&)> Read;
    std::function<void(const QString&, const QString&)> Write;
};

// "upd" at Path (the data folder's), through the marker-file operations.
TUpdateTimeFile UpdateTimeFileAt(QString Path);

// The daily rhythm of the update check, kept across runs in "upd". Main thread only.
class TUpdateSchedule final {
public:
    TUpdateSchedule(IPrompt& Prompt, const IClock& Clock, TUpdateTimeFile File,
                    std::function<void()> StartCheck);

    // One tick: reads "upd" once per run, and when a check is due moves the next one a day
    // ahead, stores it and only then starts the check. File errors are shown with a Close button.
    void Tick();

    // 0 until "upd" has been read.
    double NextUpdateCheck() const { return FNextUpdateCheck; }

private:
    void ReadNextUpdateCheck(const QString& Path);

    IPrompt& FPrompt;
    const IClock& FClock;
    TUpdateTimeFile FFile;
    std::function<void()> FStartCheck;
    double FNextUpdateCheck = 0;
};
