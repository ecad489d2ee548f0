// SPDX-License-Identifier: MIT
#include "TaskTime.h"

#include "Errors.h"
#include "IntegerText.h"

#include <QStringList>
#include <limits>

namespace {
QString TwoDigits(std::int32_t value) {
    // "%.2d": at least two digits, the minus sign before the zeros.
    const std::int64_t wide = value;
    const QString digits = QString::number(wide < 0 ? -wide : wide).rightJustified(2, u'0');
    return wide < 0 ? QStringLiteral("-") + digits : digits;
}

// Writes Value in decimal at Out, at least MinDigits digits; returns the end.
char16_t* PutDecimal(char16_t* Out, std::uint32_t Value, int MinDigits) {
    char16_t digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char16_t>(u'0' + Value % 10);
        Value /= 10;
    } while (Value != 0);
    for (; n < MinDigits; --MinDigits)
        *Out++ = u'0';
    while (n > 0)
        *Out++ = digits[--n];
    return Out;
}
} // namespace

QString TTaskDuration::Build(std::int32_t Hours, std::int32_t Minutes, std::int32_t Seconds,
                             bool ForceHours) {
    // Every list row is built here, at load and once a second: the usual non-negative values
    // are written into one buffer, with a single allocation.
    if (Hours >= 0 && Minutes >= 0 && Seconds >= 0) {
        char16_t text[32];
        char16_t* p = text;
        if (Hours != 0 || ForceHours) {
            p = PutDecimal(p, static_cast<std::uint32_t>(Hours), 1);
            *p++ = u':';
            p = PutDecimal(p, static_cast<std::uint32_t>(Minutes), 2);
        } else {
            p = PutDecimal(p, static_cast<std::uint32_t>(Minutes), 1);
        }
        *p++ = u':';
        p = PutDecimal(p, static_cast<std::uint32_t>(Seconds), 2);
        return QString(reinterpret_cast<const QChar*>(text), p - text);
    }
    if (Hours != 0 || ForceHours)
        return QString::number(Hours) + u':' + TwoDigits(Minutes) + u':' + TwoDigits(Seconds);
    return QString::number(Minutes) + u':' + TwoDigits(Seconds);
}

QString TTaskDuration::Build(std::int32_t Seconds, bool ForceHours) {
    return Build(Seconds / 3600, (Seconds % 3600) / 60, Seconds % 60, ForceHours);
}

std::int32_t TTaskDuration::Parse(const QString& AsString) {
    if (AsString.isEmpty())
        return 0;
    const QStringList parts = AsString.split(u':');
    const auto invalidFormat = [&] {
        return EAppError(QStringLiteral("Invalid input string format %1").arg(AsString));
    };
    if (parts.size() > 3)
        throw invalidFormat();
    static constexpr std::int64_t Weights[] = {3600, 60, 1};
    std::int64_t total = 0;
    for (qsizetype i = 0; i < parts.size(); ++i)
        total += static_cast<std::int64_t>(StrToInt(parts.at(i))) * Weights[i];
    // Wrapping would turn an absurd entry into an arbitrary period; refuse it instead.
    if (total < std::numeric_limits<std::int32_t>::min() || total > std::numeric_limits<std::int32_t>::max())
        throw invalidFormat();
    return static_cast<std::int32_t>(total);
}
