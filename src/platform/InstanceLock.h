// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <memory>

// The lock that only one process of this user can hold: an exclusive flock, which dies with its
// process, so a killed instance never blocks the next start.

// The private folder for the lock file and the channel: $XDG_RUNTIME_DIR when it is a safe
// folder, else "<temp>/tallyvox-<uid>", created with mode 0700. Empty when neither is safe.
QString InstanceRuntimeFolder();

// Creates Folder (mode 0700) when it is missing and accepts it only when it is a real folder
// (not a link) owned by this user that nobody else can enter.
bool EnsurePrivateFolder(const QString& Folder);

// The named lock. Its file stays behind on purpose: only the flock on it counts.
class TInstanceLock final {
public:
    enum class TState { Acquired, HeldElsewhere };

    // Opens "<Folder>/<InstanceName>.lock" and tries to lock it without waiting.
    // Returns nullptr when the lock file cannot be opened or locked at all.
    static std::unique_ptr<TInstanceLock> Create(const QString& Folder, const QString& InstanceName);
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

    TState State() const { return FState; }
    const QString& FileName() const { return FFileName; }

private:
    TInstanceLock(int Fd, TState State, QString FileName);
    int FFd;
    TState FState;
    QString FFileName;
};
