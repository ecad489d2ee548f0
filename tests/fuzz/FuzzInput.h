// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

// Fuzzer bytes as the raw bytes of a file and as text typed or stored by a user.
inline QByteArray FuzzBytes(const std::uint8_t* Data, std::size_t Size) {
    return QByteArray(reinterpret_cast<const char*>(Data), static_cast<qsizetype>(Size));
}

inline QString FuzzText(const std::uint8_t* Data, std::size_t Size) {
    return QString::fromUtf8(FuzzBytes(Data, Size));
}
