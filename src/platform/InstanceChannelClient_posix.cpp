// SPDX-License-Identifier: MIT
// The sending end of the single-instance channel: a second start's message, command requests
// and the status follower.
#include "FileHandle.h"
#include "InstanceChannelClient.h"
#include "InstanceProtocol.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {
using TClock = std::chrono::steady_clock;

// Longest answer line taken from the instance; a longer one is not ours.
constexpr qsizetype MaxReplyBytes = 1 << 20;

int MsLeft(TClock::time_point Deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - TClock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

void SleepUpTo(int Ms, TClock::time_point Deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(Ms, MsLeft(Deadline))));
}

enum class TConnect { Connected, Refused, Busy };

// Connects a non-blocking socket without waiting past Deadline. A blocking connect would wait
// without limit for a listener whose queue is full (a stopped or hung instance). Refused:
// nobody listens there. Busy: somebody listens but does not take the call in time.
TConnect ConnectBefore(int Fd, const QByteArray& Path, TClock::time_point Deadline) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (Path.isEmpty() || Path.size() >= static_cast<qsizetype>(sizeof addr.sun_path))
        return TConnect::Refused;
    std::memcpy(addr.sun_path, Path.constData(), static_cast<std::size_t>(Path.size()));
    for (;;) {
        if (::connect(Fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0)
            return TConnect::Connected;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN) { // the listen queue is full; it cannot be waited for with poll
            if (MsLeft(Deadline) == 0)
                return TConnect::Busy;
            SleepUpTo(20, Deadline);
            continue;
        }
        if (errno != EINPROGRESS)
            return TConnect::Refused;
        pollfd pfd{Fd, POLLOUT, 0};
        const int rc = ::poll(&pfd, 1, MsLeft(Deadline));
        if (rc <= 0)
            return TConnect::Busy;
        int error = 0;
        socklen_t size = sizeof error;
        ::getsockopt(Fd, SOL_SOCKET, SO_ERROR, &error, &size);
        return error == 0 ? TConnect::Connected : TConnect::Refused;
    }
}

TFileHandle NewSocket() {
    return TFileHandle(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
}

// Waits until Fd is ready for Events or Deadline passes; false at the deadline or on failure.
bool AwaitReady(int Fd, short Events, TClock::time_point Deadline) {
    for (;;) {
        pollfd pfd{Fd, Events, 0};
        const int rc = ::poll(&pfd, 1, MsLeft(Deadline));
        if (rc < 0 && errno == EINTR)
            continue;
        return rc > 0;
    }
}

bool SendAll(int Fd, const QByteArray& Data, TClock::time_point Deadline) {
    qsizetype sent = 0;
    while (sent < Data.size()) {
        const ssize_t n =
            ::send(Fd, Data.constData() + sent, static_cast<std::size_t>(Data.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN && AwaitReady(Fd, POLLOUT, Deadline))
            continue;
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

// The text of an answer line: empty for "ok", the rest for "ok\t<text>"; nothing otherwise.
std::optional<QByteArray> AnswerText(const QByteArray& Line) {
    const QByteArray ok = AckLine.chopped(1);
    if (Line == ok)
        return QByteArray();
    if (Line.startsWith(ok + '\t'))
        return Line.mid(ok.size() + 1);
    return std::nullopt;
}

// Collects answer lines from a connection. A line longer than an answer can be is not ours.
class TLineReader final {
public:
    enum class TResult { Line, Closed, TimedOut };
    explicit TLineReader(int Fd) : FFd(Fd) {}

    // The next whole line (without its line break) into Line, waiting until Deadline, or
    // without limit when Deadline is nothing.
    TResult Next(QByteArray& Line, std::optional<TClock::time_point> Deadline) {
        for (;;) {
            const qsizetype end = FBuffer.indexOf('\n');
            if (end >= 0) {
                Line = FBuffer.left(end);
                FBuffer.remove(0, end + 1);
                return TResult::Line;
            }
            if (FBuffer.size() > MaxReplyBytes)
                return TResult::Closed;
            pollfd pfd{FFd, POLLIN, 0};
            const int rc = ::poll(&pfd, 1, Deadline ? MsLeft(*Deadline) : -1);
            if (rc < 0 && errno == EINTR)
                continue;
            if (rc == 0)
                return TResult::TimedOut;
            char buffer[4096];
            const ssize_t n = rc < 0 ? -1 : ::recv(FFd, buffer, sizeof buffer, 0);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n <= 0)
                return TResult::Closed;
            FBuffer.append(buffer, n);
        }
    }

private:
    int FFd;
    QByteArray FBuffer;
};
} // namespace

QString InstanceCommandMessage(const QString& InstanceName, const QString& Command) {
    return InstanceName + u' ' + Command;
}

TInstanceReply RequestFromInstance(const QString& FullName, const QString& Message,
                                   std::chrono::milliseconds Bound, bool WaitForListener) {
    const TClock::time_point deadline = TClock::now() + Bound;
    const QByteArray path = QFile::encodeName(FullName);
    TInstanceReply result;
    for (;;) {
        TFileHandle fd = NewSocket();
        if (fd.Get() < 0)
            return result;
        switch (ConnectBefore(fd.Get(), path, deadline)) {
        case TConnect::Connected: {
            QByteArray line;
            if (!SendAll(fd.Get(), MessageLine(Message), deadline) ||
                TLineReader(fd.Get()).Next(line, deadline) != TLineReader::TResult::Line)
                return result;
            if (std::optional<QByteArray> text = AnswerText(line)) {
                result.State = TInstanceReply::TState::Answered;
                result.Text = std::move(*text);
            }
            return result;
        }
        case TConnect::Busy:
            return result;
        case TConnect::Refused:
            break;
        }
        if (!WaitForListener || MsLeft(deadline) == 0) {
            result.State = TInstanceReply::TState::NobodyListens;
            return result;
        }
        SleepUpTo(50, deadline);
    }
}

bool SendInstanceMessage(const QString& FullName, const QString& Message, std::chrono::milliseconds Bound) {
    // The plain message is a request whose answer is the bare acknowledgement.
    const TInstanceReply reply = RequestFromInstance(FullName, Message, Bound, true);
    return reply.State == TInstanceReply::TState::Answered && reply.Text.isEmpty();
}

// --- Following the status ------------------------------------------------------------------

namespace {
// How long a follower sleeps between looks for a new instance when nothing wakes it earlier
// (the folder watch is missing, or the instance ended without removing its socket).
constexpr int SlowLookMs = 30000;
constexpr int LookWithoutWatchMs = 2000;
// Sessions start at most this often, so a channel that keeps closing on us never spins.
constexpr auto SessionSpacing = std::chrono::seconds(1);

// Wakes when a file named Name appears in Folder, so a follower waits for a new instance
// without looking again and again.
class TChannelWatch final {
public:
    TChannelWatch(const QString& Folder, QString Name)
        : FFd(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)), FName(QFile::encodeName(Name)) {
        if (FFd.Get() >= 0 && ::inotify_add_watch(FFd.Get(), QFile::encodeName(Folder).constData(),
                                                  IN_CREATE | IN_MOVED_TO) < 0)
            FFd.Close();
    }

    // Waits until the name appears or the slow look is due. True when it appeared.
    bool Wait() {
        const TClock::time_point deadline =
            TClock::now() + std::chrono::milliseconds(FFd.Get() < 0 ? LookWithoutWatchMs : SlowLookMs);
        for (;;) {
            if (FFd.Get() < 0 || !AwaitReady(FFd.Get(), POLLIN, deadline)) {
                if (FFd.Get() < 0)
                    SleepUpTo(LookWithoutWatchMs, deadline);
                return false;
            }
            if (Drain())
                return true;
        }
    }

private:
    bool Drain() {
        alignas(inotify_event) char buffer[4096];
        bool seen = false;
        ssize_t n;
        while ((n = ::read(FFd.Get(), buffer, sizeof buffer)) > 0)
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                seen = seen || (event->len > 0 && FName == event->name);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        return seen;
    }

    TFileHandle FFd;
    QByteArray FName;
};

// One connection to a running instance: shows each state it pushes until it goes away.
void FollowSession(int Fd, const QString& Message, const std::function<void(const QByteArray&)>& Show) {
    const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(2500);
    if (!SendAll(Fd, MessageLine(Message), deadline))
        return;
    TLineReader reader(Fd);
    QByteArray line;
    while (reader.Next(line, std::nullopt) == TLineReader::TResult::Line) {
        const std::optional<QByteArray> text = AnswerText(line);
        if (!text)
            return;
        Show(*text);
    }
}

// Connects once, or again a few times shortly after the socket appeared: the instance makes
// the file a moment before it listens on it. The connected descriptor, or -1.
int ConnectSoon(const QByteArray& Path, int Attempts) {
    for (int i = 0;; ++i) {
        TFileHandle fd = NewSocket();
        const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(2500);
        if (fd.Get() >= 0 && ConnectBefore(fd.Get(), Path, deadline) == TConnect::Connected)
            return fd.Release();
        if (i + 1 >= Attempts)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}
// A follower lives as long as the status bar that runs it and wakes at every change. Under
// some hypervisors a wake-up costs in proportion to the pages the process has mapped, and this
// one mapped the whole toolkit to start. A child made by fork holds none of those library
// pages until it touches them, so the loop goes on in one; the parent, which the bar started
// and signals, only waits for it and ends with it, and the child ends with the parent.
void ContinueInLeanChild() {
    const pid_t parent = ::getpid();
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0)
        return; // no child: the loop runs here
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(0); // the parent ended before the line above
        return;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
}
} // namespace

void FollowInstance(const QString& FullName, const QString& Message,
                    const std::function<void(const std::optional<QByteArray>&)>& Show) {
    ContinueInLeanChild();
    const QByteArray path = QFile::encodeName(FullName);
    const QFileInfo channel(FullName);
    TChannelWatch watch(channel.path(), channel.fileName());
    TClock::time_point notBefore = TClock::now();
    bool appeared = false;
    for (;;) {
        std::this_thread::sleep_until(notBefore);
        TFileHandle fd(ConnectSoon(path, appeared ? 25 : 1));
        if (fd.Get() >= 0) {
            notBefore = TClock::now() + SessionSpacing;
            FollowSession(fd.Get(), Message, [&Show](const QByteArray& Text) { Show(Text); });
            fd.Close();
            Show(std::nullopt);
            appeared = false;
            continue;
        }
        Show(std::nullopt);
        appeared = watch.Wait();
    }
}
