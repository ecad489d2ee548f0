// SPDX-License-Identifier: MIT
#include "TaskStore.h"

#include "Errors.h"
#include "FileBytes.h"
#include "History.h"
#include "SafeFile.h"

#include <QMetaObject>
#include <QObject>
#include <algorithm>
#include <optional>

namespace {
// How long the window waits for the writer when it goes: a disk that does not answer must not
// keep the process from ending.
constexpr std::chrono::milliseconds EndWriterWait{1000};

const QString DiskDoesNotAnswer = QStringLiteral("the disk does not answer");
} // namespace

// Hands the failures of command saves from the writer's thread to the store's own, once each:
// a save whose outcome a bounded wait already reported is not reported again.
class TTaskStore::TFailureRelay final : public QObject {
public:
    void Failed(std::uint64_t Number, const std::exception_ptr& Error) {
        if (Number <= FShownUpTo)
            return;
        FShownUpTo = Number;
        if (FHandler)
            FHandler(Error);
    }
    void Shown(std::uint64_t Number) { FShownUpTo = std::max(FShownUpTo, Number); }

    std::function<void(const std::exception_ptr&)> FHandler;

private:
    std::uint64_t FShownUpTo = 0;
};

TTaskStore::TTaskStore(TTaskTracker& Tracker, QString TasksDb, const QString& DataFolder,
                       TTaskFileWriter::TWrite Write)
    : FTracker(Tracker), FTasksDb(std::move(TasksDb)), FRelay(std::make_unique<TFailureRelay>()),
      FWriter(std::make_unique<TTaskFileWriter>(std::move(Write))) {
    FHistory = THistory::Start(FTracker, *FWriter, DataFolder);
    // Runs on the writer's thread with its lock held: it only posts the outcome.
    FWriter->SetFinished([relay = FRelay.get()](std::uint64_t Number, std::exception_ptr Error) {
        if (Error)
            QMetaObject::invokeMethod(
                relay, [relay, Number, Error] { relay->Failed(Number, Error); }, Qt::QueuedConnection);
    });
}

TTaskStore::~TTaskStore() {
    FWriter->SetFinished({});
    if (!FWriter->Flush(EndWriterWait)) {
        static_cast<void>(FWriter.release());
        static_cast<void>(FHistory.release()); // the stuck thread may still write it
    }
}

bool TTaskStore::PrepareLoad() {
    // A save killed before its rename (power loss, SIGKILL) leaves its temporary file.
    RemoveLeftoverTemporaries(FTasksDb);
    if (FileExists(FTasksDb))
        return true;
    FStored = TStoredTasks::Loaded;
    return false;
}

void TTaskStore::Load() {
    LoadTasks(FTracker, FTasksDb, &FStored);
    if (FHistory)
        FHistory->TasksLoaded(FTracker);
}

QStringList TTaskStore::SetAsideCopies() const {
    return SetAsideTaskLists(FTasksDb);
}

void TTaskStore::Post() {
    try {
        const TLinkRule links = PrepareTaskFileSave(FTasksDb, FStored);
        FWriter->Post(FTasksDb, TaskFileBytes(FTracker), links);
    } catch (const std::exception&) {
        // As for the writer's own failures: the next save tries again.
    }
}

void TTaskStore::Save() {
    const TLinkRule links = PrepareTaskFileSave(FTasksDb, FStored);
    FWriter->Save(FTasksDb, TaskFileBytes(FTracker), links, true, false);
}

void TTaskStore::SaveAndWait(std::chrono::milliseconds Bound) {
    const TLinkRule links = PrepareTaskFileSave(FTasksDb, FStored);
    const std::uint64_t number = FWriter->Save(FTasksDb, TaskFileBytes(FTracker), links, false, true);
    const std::optional<std::exception_ptr> outcome = FWriter->WaitFor(number, Bound);
    if (!outcome)
        throw EAppError(DiskDoesNotAnswer);
    // Reported here; the same failure must not come back later through the handler.
    FRelay->Shown(number);
    if (*outcome)
        std::rethrow_exception(*outcome);
}

void TTaskStore::Flush() {
    FWriter->Flush();
}

void TTaskStore::SetFailureHandler(std::function<void(const std::exception_ptr& Error)> Handler) {
    FRelay->FHandler = std::move(Handler);
}
