// SPDX-License-Identifier: MIT
// The stored time of the next update check: any text decodes or is refused, and a usable
// value encodes back to the same text's value.
#include "FuzzInput.h"
#include "UpdateSchedule.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::optional<double> value = DecodeUpdateTime(FuzzText(Data, Size));
    if (!value)
        return 0;
    const std::optional<double> again = DecodeUpdateTime(EncodeUpdateTime(*value));
    if (!again || std::memcmp(&*again, &*value, sizeof(double)) != 0)
        std::abort();
    if (IsUsableDateTime(*value)) {
        (void)IsUpdateCheckDue(*value, 46000.5);
        (void)OneDayLater(*value);
    }
    return 0;
}
