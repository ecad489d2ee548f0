// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// An integer text read by the platform's string-to-integer rule: leading spaces, one optional
// sign, then decimal digits or a "$", "x", "X", "0x", "0X" prefix and hexadecimal digits of
// either case, nothing after. Every integer the program reads from a user or a file goes
// through this one scanner; callers add their range and sign rules.
struct TIntegerText {
    bool Negative = false;
    bool Hex = false;
    std::uint64_t Magnitude = 0;
};

// std::nullopt when the text is not of that form, a hexadecimal number has more than
// MaxHexDigits significant digits, or a decimal number is above MaxDecimal.
std::optional<TIntegerText> ScanIntegerText(QStringView Text, int MaxHexDigits, std::uint64_t MaxDecimal);

// The platform's string-to-integer rule: leading spaces, one optional sign, then decimal
// digits (-2147483648 ... 2147483647) or a "$", "x", "X", "0x", "0X" prefix and up to eight
// significant hexadecimal digits taken as a 32-bit pattern. Nothing may follow.
bool TryStrToInt(const QString& Text, std::int32_t& Value);

// As TryStrToInt; raises EConvertError "'%s' is not a valid integer value" on failure.
std::int32_t StrToInt(const QString& Text);
