// SPDX-License-Identifier: MIT
#include "IntegerText.h"

#include "Errors.h"

namespace {
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

std::optional<TIntegerText> ScanIntegerText(QStringView Text, int MaxHexDigits, std::uint64_t MaxDecimal) {
    TIntegerText result;
    qsizetype i = 0;
    const qsizetype n = Text.size();
    while (i < n && Text.at(i) == u' ')
        ++i;
    if (i < n && (Text.at(i) == u'+' || Text.at(i) == u'-'))
        result.Negative = Text.at(i++) == u'-';
    if (i < n && (Text.at(i) == u'$' || Text.at(i) == u'x' || Text.at(i) == u'X')) {
        result.Hex = true;
        ++i;
    } else if (i + 1 < n && Text.at(i) == u'0' && (Text.at(i + 1) == u'x' || Text.at(i + 1) == u'X')) {
        result.Hex = true;
        i += 2;
    }
    if (i >= n)
        return std::nullopt;
    int significant = 0;
    for (; i < n; ++i) {
        const int digit = HexDigit(Text.at(i));
        if (digit < 0 || (!result.Hex && digit > 9))
            return std::nullopt;
        const auto value = static_cast<unsigned>(digit);
        if (result.Hex) {
            if ((result.Magnitude != 0 || digit != 0) && ++significant > MaxHexDigits)
                return std::nullopt;
            result.Magnitude = result.Magnitude * 16 + value;
        } else {
            if (MaxDecimal < value || result.Magnitude > (MaxDecimal - value) / 10)
                return std::nullopt;
            result.Magnitude = result.Magnitude * 10 + value;
        }
    }
    return result;
}

bool TryStrToInt(const QString& Text, std::int32_t& Value) {
    const std::optional<TIntegerText> scanned = ScanIntegerText(Text, 8, 2147483648ull);
    if (!scanned)
        return false;
    if (scanned->Hex) {
        // A 32-bit pattern, negated when a "-" stood before the prefix.
        auto pattern = static_cast<std::uint32_t>(scanned->Magnitude);
        if (scanned->Negative)
            pattern = 0u - pattern;
        Value = static_cast<std::int32_t>(pattern);
        return true;
    }
    if (!scanned->Negative && scanned->Magnitude > 2147483647ull)
        return false;
    const auto magnitude = static_cast<std::int64_t>(scanned->Magnitude);
    Value = static_cast<std::int32_t>(scanned->Negative ? -magnitude : magnitude);
    return true;
}

std::int32_t StrToInt(const QString& Text) {
    std::int32_t value = 0;
    if (!TryStrToInt(Text, value))
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(Text));
    return value;
}
