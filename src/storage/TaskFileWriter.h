// SPDX-License-Identifier: MIT
#pragma once

#include "SafeFile.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// Writes the task file off the user-interface thread, so that a slow disk (a USB stick, a
// network home folder) never stalls the window in the once-a-second save.
//
// One writer thread, started on the first Post. Every list handed in is complete, so a list
// handed in while an older one still waits simply replaces it: the file may lag behind a slow
// disk, but an older list never replaces a newer one. Write runs on the caller's thread after
// the writer has finished, so its error reaches the caller and nothing older lands after it.
class TTaskFileWriter final {
public:
    using TWrite = std::function<void(const QString& Path, const QByteArray& Bytes, TLinkRule Links)>;

    // Write replaces the file (by default ReplaceFileAtomically); it is called on one thread
    // at a time.
    explicit TTaskFileWriter(TWrite Write = {});
    // Writes what still waits, then ends the thread.
    ~TTaskFileWriter();
    TTaskFileWriter(const TTaskFileWriter&) = delete;
    TTaskFileWriter& operator=(const TTaskFileWriter&) = delete;

    // Hands Bytes to the writer and returns at once (writes them itself when no thread can be
    // started). Errors are dropped: the next save retries.
    void Post(const QString& Path, QByteArray Bytes, TLinkRule Links = TLinkRule::Follow);

    // Drops a waiting (older) list, waits for a write in progress, then writes Bytes on the
    // calling thread. Raises the write's error. Not mixed with Save: WaitFor would not see the
    // end of a save it dropped.
    void Write(const QString& Path, const QByteArray& Bytes, TLinkRule Links = TLinkRule::Follow);

    // Waits until nothing waits and nothing is being written (the follow-up included).
    void Flush();
    // As Flush, for at most Timeout; false when a write is still running or waiting then.
    bool Flush(std::chrono::milliseconds Timeout);

    // How a save handed in with Save ended: its number and its error (none when it landed).
    using TFinished = std::function<void(std::uint64_t Number, std::exception_ptr Error)>;
    // Called after each save made with Report, on the writer's thread and with the writer's lock
    // held, before Flush and WaitFor return: it may only hand the outcome on (post it).
    void SetFinished(TFinished Finished);

    // As Post, but the save's outcome is kept for WaitFor (and told to Finished with Report);
    // SyncFolder: the folder is synced after the rename, for a list that must survive a power
    // cut. Returns the save's number. A later list that takes the place of a waiting one
    // inherits its Report and SyncFolder.
    std::uint64_t Save(const QString& Path, QByteArray Bytes, TLinkRule Links, bool Report, bool SyncFolder);
    // Waits at most Timeout until save Number, or a later one that took its place, has ended;
    // std::nullopt when it has not, else that save's error (null when it landed).
    std::optional<std::exception_ptr> WaitFor(std::uint64_t Number, std::chrono::milliseconds Timeout);

    // A job the writer thread runs after the task file whenever Nudge asked for it (the
    // history). It handles its own failures; the task file's saves never learn of them.
    // Without WakeNow it waits for the next list handed in, as the tick's work does.
    void SetFollowUp(std::function<void()> Job);
    void Nudge(bool WakeNow = true);

private:
    struct TJob {
        QString Path;
        QByteArray Bytes;
        TLinkRule Links;
        std::uint64_t Number = 0;
        bool Report = false;
        bool SyncFolder = false;
    };
    void Queue(TJob Job);                                          // with FMutex held and the thread running
    void Finish(const TJob& Job, const std::exception_ptr& Error); // with FMutex held
    bool StartThread();                                            // with FMutex held
    void Run();

    TWrite FWrite;
    std::mutex FMutex;
    std::condition_variable FWake; // a job waits, or the writer must end
    std::condition_variable FIdle; // a write has finished
    std::optional<TJob> FPending;
    std::function<void()> FFollowUp;
    bool FFollowUpDue = false;
    bool FWriting = false;
    bool FStopping = false;
    std::uint64_t FLastNumber = 0;     // of the last save handed in
    std::uint64_t FFinishedNumber = 0; // of the last save that ended
    std::exception_ptr FFinishedError; // and its error
    TFinished FFinished;
    std::thread FThread;
};
