// SPDX-License-Identifier: MIT
// The settings file's lookup and write rules on arbitrary bytes: no crash, a written value
// reads back, and a write keeps the other key's value.
#include "FuzzInput.h"
#include "IniFile.h"
#include "IntegerText.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const QByteArray content = FuzzBytes(Data, Size);
    const QString section = QStringLiteral("InactivityDetection");
    const std::optional<QString> period = IniLookup(content, section, QStringLiteral("Period"));
    if (period) {
        std::int32_t value = 0;
        (void)TryStrToInt(*period, value);
    }
    const std::optional<QString> enabledBefore = IniLookup(content, section, QStringLiteral("Enabled"));
    const QByteArray written = IniAssign(content, section, QStringLiteral("Period"), QStringLiteral("600"));
    if (IniLookup(written, section, QStringLiteral("Period")) != QStringLiteral("600"))
        std::abort();
    if (IniLookup(written, section, QStringLiteral("Enabled")) != enabledBefore)
        std::abort();
    return 0;
}
