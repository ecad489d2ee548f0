// SPDX-License-Identifier: MIT
#pragma once

#include "TaskFile.h"
#include "TaskFileWriter.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

class TTaskTracker;
class THistory;

// The task list on disk: the file's path, what was last stored there, the writer thread that
// saves it and the history that is written along with it. The window makes one call per save
// and never waits for the disk, except for Exit's and the quiet save's bounded wait.
class TTaskStore final {
public:
    // Write replaces the file (by default atomically); DataFolder holds the history.
    TTaskStore(TTaskTracker& Tracker, QString TasksDb, const QString& DataFolder,
               TTaskFileWriter::TWrite Write = {});
    // Waits a short while for the writer; one stuck in the disk is left to the end of the
    // process, which joining it would hold until the disk answers, maybe never.
    ~TTaskStore();
    TTaskStore(const TTaskStore&) = delete;
    TTaskStore& operator=(const TTaskStore&) = delete;

    // Removes what saves killed before their rename left, and tells whether there is a list
    // to load; without one, the (empty) list counts as loaded.
    bool PrepareLoad();
    // Appends the stored rows to the tracker; raises the load's error (the rows before the
    // fault stay, the file is kept aside).
    void Load();
    // The copies of unreadable lists in the data folder, by name.
    QStringList SetAsideCopies() const;

    // The tick's save: written in the background, a failure dropped (the next tick retries).
    void Post();
    // A command's save: written in the background; a failure reaches the failure handler.
    void Save();
    // Saves, syncs the folder after the rename and waits at most Bound; raises the save's
    // error, or "the disk does not answer" when it has not ended by then. Its failure is not
    // handed to the failure handler as well.
    void SaveAndWait(std::chrono::milliseconds Bound);
    // Until nothing waits and nothing is being written.
    void Flush();

    // Gets the failures of command saves, on the thread that created the store, once each.
    void SetFailureHandler(std::function<void(const std::exception_ptr& Error)> Handler);

    const QString& TasksDb() const { return FTasksDb; }

private:
    class TFailureRelay;
    TTaskTracker& FTracker;
    const QString FTasksDb;
    TStoredTasks FStored = TStoredTasks::Unread; // until the start-up load ran
    std::unique_ptr<TFailureRelay> FRelay;
    std::unique_ptr<THistory> FHistory; // written by FWriter's thread, so it outlives it
    std::unique_ptr<TTaskFileWriter> FWriter;
};
