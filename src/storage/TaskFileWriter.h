#pragma once

#include "SafeFile.h"

#include <QByteArray>
#include <QString>
#include <condition_variable>
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
    // calling thread. Raises the write's error.
    void Write(const QString& Path, const QByteArray& Bytes, TLinkRule Links = TLinkRule::Follow);

    // Waits until nothing waits and nothing is being written (the follow-up included).
    void Flush();

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
    };
    bool StartThread(); // with FMutex held
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
    std::thread FThread;
};
