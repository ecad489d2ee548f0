// SPDX-License-Identifier: MIT
// Loading arbitrary bytes as tasks.db never crashes: it loads rows or raises a message, and
// a list that loaded saves back to bytes that load to the same list. All in memory, so a
// run reaches millions of inputs.
#include "Errors.h"
#include "FuzzInput.h"
#include "SystemTickCounter.h"
#include "TaskFile.h"
#include "TaskTracker.h"

#include <cstdlib>

namespace {
bool SameRows(const TTaskTracker& A, const TTaskTracker& B) {
    if (A.Count() != B.Count())
        return false;
    for (int i = 0; i < A.Count(); ++i) {
        if (A.Row(i).Caption() != B.Row(i).Caption() ||
            A.Row(i).Clock().ElapsedMs != B.Row(i).Clock().ElapsedMs)
            return false;
    }
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const QString path = QStringLiteral("/data/tasks.db");
    TTaskTracker loaded(SystemTickCounter());
    try {
        LoadTasksFromBytes(loaded, FuzzBytes(Data, Size), path);
    } catch (const EAppError&) {
        return 0;
    }
    TTaskTracker again(SystemTickCounter());
    LoadTasksFromBytes(again, TaskFileBytes(loaded), path);
    if (!SameRows(loaded, again))
        std::abort();
    return 0;
}
