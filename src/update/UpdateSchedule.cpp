// SPDX-License-Identifier: MIT
#include "UpdateSchedule.h"

#include "ErrorReporting.h"
#include "Files.h"
#include "Functions.h"
#include "IntegerText.h"

#include <bit>
#include <cmath>
#include <limits>

namespace {

constexpr std::int64_t MsPerDay = 86400000;
constexpr double FirstDay = -693593.0;     // 1 January 0001
constexpr double AfterLastDay = 2958466.0; // 1 January 10000

// The platform's string-to-integer rule widened to 64 bits: up to 16 significant hexadecimal
// digits taken as a bit pattern, or a decimal number within the signed 64-bit range.
std::optional<std::int64_t> TryStrToInt64(const QString& Text) {
    constexpr std::uint64_t limit = 9223372036854775808ull;
    const std::optional<TIntegerText> scanned = ScanIntegerText(Text, 16, limit);
    if (!scanned || (!scanned->Hex && !scanned->Negative && scanned->Magnitude == limit))
        return std::nullopt;
    // Two's complement wrap-around gives the negative value, also for a hexadecimal bit pattern.
    return static_cast<std::int64_t>(scanned->Negative ? 0 - scanned->Magnitude : scanned->Magnitude);
}

std::int64_t FloorDiv(std::int64_t A, std::int64_t B) {
    const std::int64_t q = A / B;
    return (A % B != 0 && (A < 0) != (B < 0)) ? q - 1 : q;
}

} // namespace

QString EncodeUpdateTime(double Value) {
    return QString::number(std::bit_cast<qint64>(Value));
}

std::optional<double> DecodeUpdateTime(const QString& Text) {
    const std::optional<std::int64_t> bits = TryStrToInt64(TrimControl(Text));
    if (!bits)
        return std::nullopt;
    return std::bit_cast<double>(*bits);
}

bool IsUsableDateTime(double Value) {
    return std::isfinite(Value) && Value >= FirstDay && Value < AfterLastDay;
}

std::int64_t DateTimeToMilliseconds(double Value) {
    const double days = std::trunc(Value);
    const auto time =
        static_cast<std::int64_t>(std::llround(std::fabs(Value - days) * static_cast<double>(MsPerDay)));
    return static_cast<std::int64_t>(days) * MsPerDay + time;
}

double MillisecondsToDateTime(std::int64_t Ms) {
    const std::int64_t day = FloorDiv(Ms, MsPerDay);
    const double fraction = static_cast<double>(Ms - day * MsPerDay) / static_cast<double>(MsPerDay);
    return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

bool IsUpdateCheckDue(double NextUpdateCheck, double Now) {
    if (!IsUsableDateTime(NextUpdateCheck))
        return true;
    return DateTimeToMilliseconds(NextUpdateCheck) <= DateTimeToMilliseconds(Now);
}

double OneDayLater(double Now) {
    return MillisecondsToDateTime(DateTimeToMilliseconds(Now) + MsPerDay);
}

TUpdateTimeFile UpdateTimeFileAt(QString Path) {
    return TUpdateTimeFile{
        [Path = std::move(Path)] { return Path; },
        [](const QString& Path) { return FileExists(Path); },
        [](const QString& Path) { return ReadFileText(Path); },
        [](const QString& Path, const QString& Text) { WriteFileText(Path, Text); },
    };
}

TUpdateSchedule::TUpdateSchedule(IPrompt& Prompt, const IClock& Clock, TUpdateTimeFile File,
                                 std::function<void()> StartCheck)
    : FPrompt(Prompt), FClock(Clock), FFile(std::move(File)), FStartCheck(std::move(StartCheck)) {}

void TUpdateSchedule::ReadNextUpdateCheck(const QString& Path) {
    QString text;
    if (FFile.Exists(Path)) {
        try {
            text = FFile.Read(Path);
        } catch (const std::exception& e) {
            ShowErrorDialog(
                FPrompt,
                QStringLiteral("Couldn't read next check-for-updates time from file \"%s\". Will check "
                               "for updates right now."),
                {Path}, e, {TDialogButton::Close});
        }
    }
    const std::optional<double> stored = DecodeUpdateTime(text);
    FNextUpdateCheck = stored ? *stored : FClock.Now();
}

void TUpdateSchedule::Tick() {
    const QString path = FFile.Path();
    if (FNextUpdateCheck == 0)
        ReadNextUpdateCheck(path);
    const double now = FClock.Now();
    if (!IsUpdateCheckDue(FNextUpdateCheck, now))
        return;
    // Moved ahead before the request: a failed check is not repeated before tomorrow.
    FNextUpdateCheck = OneDayLater(now);
    try {
        FFile.Write(path, EncodeUpdateTime(FNextUpdateCheck));
    } catch (const std::exception& e) {
        ShowErrorDialog(
            FPrompt,
            QStringLiteral("Couldn't write next check-for-updates time to file \"%s\". Please check if "
                           "Tallyvox is allowed to write to the application folder."),
            {path}, e, {TDialogButton::Close});
    }
    FStartCheck();
}
