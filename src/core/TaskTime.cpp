#include "TaskTime.h"

#include "Errors.h"

#include <QStringList>

#include <limits>

namespace {
QString TwoDigits(std::int32_t value) {
    // "%.2d": at least two digits, the minus sign before the zeros.
    const std::int64_t wide = value;
    const QString digits = QString::number(wide < 0 ? -wide : wide).rightJustified(2, u'0');
    return wide < 0 ? QStringLiteral("-") + digits : digits;
}

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}
} // namespace

QString TTaskDuration::Build(std::int32_t Hours, std::int32_t Minutes, std::int32_t Seconds, bool ForceHours) {
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

bool TryStrToInt(const QString& Text, std::int32_t& Value) {
    qsizetype i = 0;
    const qsizetype n = Text.size();
    while (i < n && Text.at(i) == u' ')
        ++i;
    bool negative = false;
    if (i < n && (Text.at(i) == u'+' || Text.at(i) == u'-')) {
        negative = Text.at(i) == u'-';
        ++i;
    }
    bool hex = false;
    if (i < n && (Text.at(i) == u'$' || Text.at(i) == u'x' || Text.at(i) == u'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && Text.at(i) == u'0' && (Text.at(i + 1) == u'x' || Text.at(i + 1) == u'X')) {
        hex = true;
        i += 2;
    }
    if (i >= n)
        return false;
    std::uint64_t magnitude = 0;
    int significant = 0;
    for (; i < n; ++i) {
        const int digit = HexDigit(Text.at(i));
        if (digit < 0 || (!hex && digit > 9))
            return false;
        if (hex) {
            if (magnitude != 0 || digit != 0)
                ++significant;
            if (significant > 8)
                return false;
            magnitude = magnitude * 16 + static_cast<unsigned>(digit);
        } else {
            magnitude = magnitude * 10 + static_cast<unsigned>(digit);
            if (magnitude > 2147483648ull)
                return false;
        }
    }
    if (hex) {
        auto pattern = static_cast<std::uint32_t>(magnitude);
        if (negative)
            pattern = 0u - pattern;
        Value = static_cast<std::int32_t>(pattern);
        return true;
    }
    if (!negative && magnitude > 2147483647ull)
        return false;
    const auto signedValue = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    Value = static_cast<std::int32_t>(signedValue);
    return true;
}

std::int32_t StrToInt(const QString& Text) {
    std::int32_t value = 0;
    if (!TryStrToInt(Text, value))
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(Text));
    return value;
}
