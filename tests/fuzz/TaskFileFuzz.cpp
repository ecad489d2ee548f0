// Loading arbitrary bytes as tasks.db never crashes: it loads rows or raises a message, and
// a list that loaded saves back to bytes that load to the same list.
#include "Errors.h"
#include "FuzzInput.h"
#include "TaskFile.h"
#include "TaskTracker.h"
#include "TickCounter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace {
bool SameRows(const TTaskTracker& A, const TTaskTracker& B) {
    if (A.Count() != B.Count())
        return false;
    for (int i = 0; i < A.Count(); ++i) {
        if (A.Row(i).Caption() != B.Row(i).Caption() || A.Row(i).Clock().ElapsedMs != B.Row(i).Clock().ElapsedMs)
            return false;
    }
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tasks.db"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(FuzzBytes(Data, Size));
    }
    TTaskTracker loaded(SystemTickCounter());
    bool ok = true;
    try {
        LoadTasks(loaded, path);
    } catch (const EAppError&) {
        ok = false;
    }
    // Copies set aside by a failed load would pile up over millions of runs.
    for (const QString& name : QDir(dir.path()).entryList({QStringLiteral("tasks.db.bak*")}))
        QFile::remove(dir.filePath(name));
    if (ok) {
        SaveTasks(loaded, path);
        TTaskTracker again(SystemTickCounter());
        LoadTasks(again, path);
        if (!SameRows(loaded, again))
            std::abort();
    }
    return 0;
}
