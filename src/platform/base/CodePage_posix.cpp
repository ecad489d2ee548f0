// SPDX-License-Identifier: MIT
#include "CodePage.h"

#include <cstdint>

namespace {
// 0x80 ... 0x9F of Windows-1252; the rest of the code page equals Latin-1.
constexpr char16_t HighControls[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                       0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool IsContinuation(std::uint8_t b) {
    return (b & 0xC0) == 0x80;
}
} // namespace

QByteArray EncodeAnsi(const QString& Text) {
    return Text.toUtf8();
}

bool IsValidUtf8(const QByteArray& Bytes) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(Bytes.constData());
    const qsizetype n = Bytes.size();
    for (qsizetype i = 0; i < n;) {
        const std::uint8_t b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        std::uint32_t min = 0;
        std::uint32_t code = 0;
        if ((b & 0xE0) == 0xC0) {
            length = 2, min = 0x80, code = b & 0x1Fu;
        } else if ((b & 0xF0) == 0xE0) {
            length = 3, min = 0x800, code = b & 0x0Fu;
        } else if ((b & 0xF8) == 0xF0) {
            length = 4, min = 0x10000, code = b & 0x07u;
        } else {
            return false;
        }
        if (i + length > n)
            return false;
        for (int k = 1; k < length; ++k) {
            if (!IsContinuation(p[i + k]))
                return false;
            code = (code << 6) | (p[i + k] & 0x3Fu);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

QString DecodeWindows1252(const QByteArray& Bytes) {
    QString text(Bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < Bytes.size(); ++i) {
        const auto b = static_cast<std::uint8_t>(Bytes.at(i));
        out[i] = (b >= 0x80 && b < 0xA0) ? QChar(HighControls[b - 0x80]) : QChar(char16_t(b));
    }
    return text;
}

QString DecodeAnsi(const QByteArray& Bytes) {
    if (IsValidUtf8(Bytes))
        return QString::fromUtf8(Bytes);
    return DecodeWindows1252(Bytes);
}
