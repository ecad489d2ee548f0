#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// The per-user single-instance services: a lock that only one process of this user can hold
// (an exclusive flock; it dies with its process, so a killed instance never blocks the next
// start) and a message channel over which a later start tells the holder that it was started.

// The private folder for the lock file and the channel: $XDG_RUNTIME_DIR when it is a safe
// folder, else "<temp>/tallyvox-<uid>", created with mode 0700. Empty when neither is safe.
QString InstanceRuntimeFolder();

// Creates Folder (mode 0700) when it is missing and accepts it only when it is a real folder
// (not a link) owned by this user that nobody else can enter.
bool EnsurePrivateFolder(const QString& Folder);

// The channel's name for an instance name: the instance name and the user id.
QString InstanceChannelName(const QString& InstanceName);

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

// The listening end, kept by the instance that holds the lock. Each message runs the handler on
// the thread that created the server (the UI thread), then the sender gets its acknowledgement;
// so the sender's wait is synchronous, like a sent window message. Messages that arrive while no
// handler is set wait (unacknowledged) until one is.
class TInstanceChannelServer final {
public:
    TInstanceChannelServer(QString FullName, QString Message);
    ~TInstanceChannelServer();
    TInstanceChannelServer(const TInstanceChannelServer&) = delete;
    TInstanceChannelServer& operator=(const TInstanceChannelServer&) = delete;

    // Removes a socket left by a killed instance, then listens. Call only while holding the
    // lock: otherwise it would take the channel away from a living instance. Needs the
    // application object. False when the channel cannot be opened.
    bool Listen();
    bool IsListening() const;
    void SetHandler(std::function<void()> Handler);

    // Runs for each command request (the instance name, a blank and a command word) and
    // returns the answer's text (one line, may be empty), or nothing for a word it does not
    // know, which drops the request like a foreign message. Requests that come while no
    // command handler is set wait for one, as plain messages do.
    using TCommandHandler = std::function<std::optional<QByteArray>(const QString& Command)>;
    void SetCommandHandler(TCommandHandler Handler);

    // Followers of the status (the word "follow") get Source's text at once and again after
    // each StatusChanged, at most once per pass of the event loop and only when it differs.
    // A follower that stops reading never holds the program up: the system keeps a few lines
    // for it, and beyond them only its newest state waits. Without a source, follow requests
    // wait for one, as commands do.
    void SetStatusSource(std::function<QByteArray()> Source);
    void StatusChanged();
    int FollowerCount() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

// The sending end: connects to FullName, sends Message and waits for the acknowledgement, all
// within Bound, so a hung first instance cannot hang a second start. Retries the connection
// within the bound, for a holder still starting up. True when the acknowledgement came.
// Works without an application object.
bool SendInstanceMessage(const QString& FullName, const QString& Message, std::chrono::milliseconds Bound);

// A command request for the running instance: the instance name, a blank and the word.
QString InstanceCommandMessage(const QString& InstanceName, const QString& Command);

// What a command request got back.
struct TInstanceReply {
    enum class TState { Answered, NobodyListens, NoAnswer };
    TState State = TState::NoAnswer;
    QByteArray Text; // the answer's text, without "ok" and the line break
};

// Sends a command request and waits for the one-line answer within Bound. WaitForListener
// retries the connection within the bound (a holder still starting up); without it a channel
// that nobody listens on answers NobodyListens at once. Works without an application object.
TInstanceReply RequestFromInstance(const QString& FullName, const QString& Message,
                                   std::chrono::milliseconds Bound, bool WaitForListener);

// Follows the status of the instance listening on FullName for as long as the process lives,
// never starting one. Message is the follow request (InstanceCommandMessage with "follow").
// Show runs with the text of each status line the instance sends (the current one first, then
// one per change), and with nothing when no instance runs or the one followed has ended. A new
// instance is noticed through a watch on the channel's folder, without looking again and again.
void FollowInstance(const QString& FullName, const QString& Message,
                    const std::function<void(const std::optional<QByteArray>&)>& Show);
