// SPDX-License-Identifier: MIT
// Parse of any text either yields seconds or raises one of its two errors, and whatever
// Build makes of three components parses back when the hours are shown.
#include "Errors.h"
#include "FuzzInput.h"
#include "IntegerText.h"
#include "TaskTime.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const QString text = FuzzText(Data, Size);
    try {
        (void)TTaskDuration::Parse(text);
    } catch (const EAppError&) {
    }
    std::int32_t value = 0;
    if (TryStrToInt(text, value)) {
        const std::int32_t seconds = value % 360000;
        const QString built = TTaskDuration::Build(seconds < 0 ? -seconds : seconds, true);
        if (TTaskDuration::Parse(built) != (seconds < 0 ? -seconds : seconds))
            std::abort();
    }
    return 0;
}
