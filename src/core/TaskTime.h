// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <cstdint>

// The one text form of every duration the user sees: H:MM:SS, or M:SS under an hour.
class TTaskDuration final {
public:
    TTaskDuration() = delete;

    // "%d:%.2d:%.2d" when Hours is not 0 or ForceHours, else "%d:%.2d" of Minutes and Seconds.
    // Components are printed as they stand, never normalised.
    static QString Build(std::int32_t Hours, std::int32_t Minutes, std::int32_t Seconds, bool ForceHours);
    static QString Build(std::int32_t Seconds, bool ForceHours);

    // Seconds of a text of up to three ":"-separated integers weighted 3600, 60, 1 from the
    // left. Raises EAppError "Invalid input string format %s" for more than three parts or a
    // total outside the signed 32-bit range, EConvertError for a part that is not an integer.
    static std::int32_t Parse(const QString& AsString);
};
