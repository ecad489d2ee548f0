// SPDX-License-Identifier: MIT
// Marker and task files are decoded by their byte-order mark or the code page; any bytes
// decode to some text without crashing.
#include "Errors.h"
#include "Files.h"
#include "FuzzInput.h"
#include "TaskFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const QByteArray bytes = FuzzBytes(Data, Size);
    (void)DecodeFileText(bytes);
    try {
        (void)TaskFileLines(bytes, QStringLiteral("/tmp/tasks.db"));
    } catch (const EAppError&) {
    }
    return 0;
}
