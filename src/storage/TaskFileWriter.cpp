// SPDX-License-Identifier: MIT
#include "TaskFileWriter.h"

#include "Errors.h"
#include "Logging.h"
#include "SafeFile.h"

#include <csignal>
#include <pthread.h>
#include <system_error>
#include <utility>

namespace {
void LogFailure(const std::exception_ptr& Error) {
    try {
        std::rethrow_exception(Error);
    } catch (const std::exception& e) {
        qCInfo(lcSave).noquote() << "save failed:" << ErrorMessage(e);
    } catch (...) {
        qCInfo(lcSave, "save failed");
    }
}
} // namespace

TTaskFileWriter::TTaskFileWriter(TWrite Write)
    : FWrite(Write ? std::move(Write)
                   : TWrite([](const QString& Path, const QByteArray& Bytes, TLinkRule Links) {
                         ReplaceFileAtomically(Path, Bytes, Links);
                     })) {}

TTaskFileWriter::~TTaskFileWriter() {
    {
        const std::lock_guard lock(FMutex);
        FStopping = true;
    }
    FWake.notify_one();
    if (FThread.joinable())
        FThread.join();
}

bool TTaskFileWriter::StartThread() {
    // The termination signals are meant for the user-interface thread, which saves and ends;
    // the writer must never be the thread they interrupt.
    sigset_t ending, old;
    sigemptyset(&ending);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&ending, signal);
    pthread_sigmask(SIG_BLOCK, &ending, &old);
    try {
        FThread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // No thread to be had (process limits): the caller writes as before.
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return FThread.joinable();
}

void TTaskFileWriter::Post(const QString& Path, QByteArray Bytes, TLinkRule Links) {
    std::unique_lock lock(FMutex);
    if (!FThread.joinable() && !StartThread()) {
        lock.unlock();
        try {
            Write(Path, Bytes, Links);
        } catch (...) {
            LogFailure(std::current_exception());
            // Dropped as a background write's error would be.
        }
        lock.lock();
        if (std::exchange(FFollowUpDue, false)) {
            lock.unlock();
            FFollowUp();
        }
        return;
    }
    Queue(TJob{Path, std::move(Bytes), Links});
    lock.unlock();
    FWake.notify_one();
}

void TTaskFileWriter::Queue(TJob Job) {
    Job.Number = ++FLastNumber;
    if (FPending) {
        Job.Report = Job.Report || FPending->Report;
        Job.SyncFolder = Job.SyncFolder || FPending->SyncFolder;
    }
    FPending = std::move(Job);
}

void TTaskFileWriter::SetFinished(TFinished Finished) {
    const std::lock_guard lock(FMutex);
    FFinished = std::move(Finished);
}

std::uint64_t TTaskFileWriter::Save(const QString& Path, QByteArray Bytes, TLinkRule Links, bool Report,
                                    bool SyncFolder) {
    std::unique_lock lock(FMutex);
    if (!FThread.joinable() && !StartThread()) {
        const std::uint64_t number = ++FLastNumber;
        lock.unlock();
        TJob job{Path, std::move(Bytes), Links, number, Report, SyncFolder};
        std::exception_ptr error;
        try {
            Write(job.Path, job.Bytes, job.Links);
            if (job.SyncFolder)
                SyncFolderOf(job.Path, job.Links);
        } catch (...) {
            error = std::current_exception();
            LogFailure(error);
        }
        lock.lock();
        Finish(job, error);
        if (std::exchange(FFollowUpDue, false)) {
            lock.unlock();
            FFollowUp();
        }
        return number;
    }
    Queue(TJob{Path, std::move(Bytes), Links, 0, Report, SyncFolder});
    const std::uint64_t number = FLastNumber;
    lock.unlock();
    FWake.notify_one();
    return number;
}

std::optional<std::exception_ptr> TTaskFileWriter::WaitFor(std::uint64_t Number,
                                                           std::chrono::milliseconds Timeout) {
    std::unique_lock lock(FMutex);
    if (!FIdle.wait_for(lock, Timeout, [this, Number] { return FFinishedNumber >= Number; }))
        return std::nullopt;
    return FFinishedError;
}

void TTaskFileWriter::Finish(const TJob& Job, const std::exception_ptr& Error) {
    if (Job.Number > FFinishedNumber) {
        FFinishedNumber = Job.Number;
        FFinishedError = Error;
    }
    if (Job.Report && FFinished)
        FFinished(Job.Number, Error);
    FIdle.notify_all();
}

void TTaskFileWriter::Write(const QString& Path, const QByteArray& Bytes, TLinkRule Links) {
    std::unique_lock lock(FMutex);
    FPending.reset(); // older than Bytes
    FIdle.wait(lock, [this] { return !FWriting; });
    FWriting = true;
    lock.unlock();
    struct TDone {
        TTaskFileWriter& Writer;
        ~TDone() {
            {
                const std::lock_guard done(Writer.FMutex);
                Writer.FWriting = false;
            }
            Writer.FIdle.notify_all();
            Writer.FWake.notify_one();
        }
    } done{*this};
    FWrite(Path, Bytes, Links);
}

void TTaskFileWriter::Flush() {
    std::unique_lock lock(FMutex);
    FIdle.wait(lock, [this] { return !FWriting && !FPending && !FFollowUpDue; });
}

void TTaskFileWriter::SetFollowUp(std::function<void()> Job) {
    const std::lock_guard lock(FMutex);
    FFollowUp = std::move(Job);
}

void TTaskFileWriter::Nudge(bool WakeNow) {
    std::unique_lock lock(FMutex);
    if (!FFollowUp)
        return;
    FFollowUpDue = true;
    if (!WakeNow)
        return;
    if (!FThread.joinable() && !StartThread()) {
        FFollowUpDue = false;
        const std::function<void()> job = FFollowUp;
        lock.unlock();
        job();
        return;
    }
    lock.unlock();
    FWake.notify_one();
}

bool TTaskFileWriter::Flush(std::chrono::milliseconds Timeout) {
    std::unique_lock lock(FMutex);
    return FIdle.wait_for(lock, Timeout, [this] { return !FWriting && !FPending && !FFollowUpDue; });
}

void TTaskFileWriter::Run() {
    std::unique_lock lock(FMutex);
    for (;;) {
        FWake.wait(lock, [this] { return !FWriting && (FPending || FFollowUpDue || FStopping); });
        if (!FPending && !FFollowUpDue)
            return; // stopping, and nothing is left to write
        std::optional<TJob> job = std::move(FPending);
        FPending.reset();
        const bool followUp = std::exchange(FFollowUpDue, false);
        FWriting = true;
        lock.unlock();
        std::exception_ptr error;
        if (job) {
            try {
                FWrite(job->Path, job->Bytes, job->Links);
                if (job->SyncFolder)
                    SyncFolderOf(job->Path, job->Links);
            } catch (...) {
                // Kept for whoever waits for this save; a tick's is dropped, the next save retries.
                error = std::current_exception();
                LogFailure(error);
            }
        }
        if (followUp)
            FFollowUp();
        lock.lock();
        FWriting = false;
        if (job)
            Finish(*job, error);
        else
            FIdle.notify_all();
    }
}
