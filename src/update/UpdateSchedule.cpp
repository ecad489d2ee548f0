#include "UpdateSchedule.h"

#include "ErrorDialog.h"
#include "Files.h"
#include "Functions.h"

#include <bit>
#include <cmath>
#include <limits>

namespace {

constexpr std::int64_t MsPerDay = 86400000;
constexpr double FirstDay = -693593.0;    // 1 January 0001
constexpr double AfterLastDay = 2958466.0; // 1 January 10000

int HexDigit(QChar C) {
    const char16_t c = C.unicode();
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// The platform's string-to-integer rule widened to 64 bits: one optional sign, then decimal
// digits, or a "$", "x", "X", "0x", "0X" prefix and up to 16 significant hexadecimal digits.
std::optional<std::int64_t> TryStrToInt64(const QString& Text) {
    qsizetype i = 0;
    const qsizetype n = Text.size();
    bool negative = false;
    if (i < n && (Text.at(i) == u'+' || Text.at(i) == u'-'))
        negative = Text.at(i++) == u'-';
    bool hex = false;
    if (i < n && (Text.at(i) == u'$' || Text.at(i) == u'x' || Text.at(i) == u'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && Text.at(i) == u'0' && (Text.at(i + 1) == u'x' || Text.at(i + 1) == u'X')) {
        hex = true;
        i += 2;
    }
    if (i >= n)
        return std::nullopt;
    std::uint64_t magnitude = 0;
    int significant = 0;
    constexpr std::uint64_t limit = 9223372036854775808ull;
    for (; i < n; ++i) {
        const int digit = HexDigit(Text.at(i));
        if (digit < 0 || (!hex && digit > 9))
            return std::nullopt;
        if (hex) {
            if ((magnitude != 0 || digit != 0) && ++significant > 16)
                return std::nullopt;
            magnitude = magnitude * 16 + static_cast<unsigned>(digit);
        } else {
            if (magnitude > (limit - static_cast<unsigned>(digit)) / 10)
                return std::nullopt;
            magnitude = magnitude * 10 + static_cast<unsigned>(digit);
        }
    }
    if (!hex && !negative && magnitude == limit)
        return std::nullopt;
    // Two's complement wrap-around gives the negative value, also for a hexadecimal bit pattern.
    return static_cast<std::int64_t>(negative ? 0 - magnitude : magnitude);
}

std::int64_t FloorDiv(std::int64_t A, std::int64_t B) {
    const std::int64_t q = A / B;
    return (A % B != 0 && (A < 0) != (B < 0)) ? q - 1 : q;
}

} // namespace

QString EncodeUpdateTime(double Value) { return QString::number(std::bit_cast<qint64>(Value)); }

std::optional<double> DecodeUpdateTime(const QString& Text) {
    const std::optional<std::int64_t> bits = TryStrToInt64(TrimControl(Text));
    if (!bits)
        return std::nullopt;
    return std::bit_cast<double>(*bits);
}

bool IsUsableDateTime(double Value) { return std::isfinite(Value) && Value >= FirstDay && Value < AfterLastDay; }

std::int64_t DateTimeToMilliseconds(double Value) {
    const double days = std::trunc(Value);
    const auto time = static_cast<std::int64_t>(std::llround(std::fabs(Value - days) * static_cast<double>(MsPerDay)));
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

double OneDayLater(double Now) { return MillisecondsToDateTime(DateTimeToMilliseconds(Now) + MsPerDay); }

TUpdateTimeFile DataFolderUpdateTimeFile() {
    return TUpdateTimeFile{
        [] { return DataFiles().Upd(); },
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
            ShowErrorDialog(FPrompt,
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
        ShowErrorDialog(FPrompt,
                        QStringLiteral("Couldn't write next check-for-updates time to file \"%s\". Please check if "
                                       "Tallyvox is allowed to write to the application folder."),
                        {path}, e, {TDialogButton::Close});
    }
    FStartCheck();
}
