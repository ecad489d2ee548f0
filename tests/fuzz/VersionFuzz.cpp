// SPDX-License-Identifier: MIT
// Version texts from the web site and the version file: splitting, padding, joining and the
// build number never crash, and padding never shortens a part.
#include "Functions.h"
#include "FuzzInput.h"
#include "Upgrade.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const QString text = TrimControl(FuzzText(Data, Size));
    QStringList parts = SplitVersionText(text);
    const QStringList original = parts;
    PadVersionParts(parts);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (parts.at(i).size() < 4 && !original.at(i).isEmpty() && parts.at(i).size() < original.at(i).size())
            std::abort();
        if (!parts.at(i).endsWith(original.at(i)))
            std::abort();
    }
    (void)JoinVersionParts(parts).compare(JoinVersionParts(original));
    (void)TUpgrade::GetBuildNumber(text);
    return 0;
}
