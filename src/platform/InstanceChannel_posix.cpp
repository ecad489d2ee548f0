// SPDX-License-Identifier: MIT
#include "FileHandle.h"
#include "InstanceChannel.h"
#include "InstanceFollowers.h"
#include "InstanceProtocol.h"
#include "Logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {
// Longest message a sender may send; anything longer is not ours.
constexpr qsizetype MaxMessageBytes = 256;
// A connection that sends nothing useful is dropped after this long.
constexpr int IdleConnectionMs = 5000;
} // namespace

QString InstanceChannelName(const QString& InstanceName) {
    return InstanceName + QStringLiteral("-%1").arg(::geteuid());
}

struct TInstanceChannelServer::TImpl {
    QString FullName;
    TCommandHandler CommandHandler;
    std::vector<std::pair<QPointer<QLocalSocket>, QString>> WaitingCommands; // not yet answered
    QObject CommandContext; // context of the call that answers waiting commands
    QByteArray Message;
    std::function<void()> Handler;
    std::unique_ptr<QObject> Context;            // owns the connections; context of the timers
    std::vector<QPointer<QLocalSocket>> Waiting; // complete messages not yet handled

    // The listening socket is kept by hand: QLocalServer closes it for good, and removes its
    // file, the first time accept() fails, which a flood at the open-file limit makes happen.
    int ListenFd = -1;
    ino_t SocketInode = 0;
    QSocketNotifier* Notifier = nullptr;
    QTimer* Retry = nullptr; // after running out of descriptors
    QTimer* Watch = nullptr; // re-creates a socket file that went away
    int BackOffMs = 0;
    std::deque<QPointer<QLocalSocket>> Connections; // oldest first
    TInstanceFollowers Followers;
    std::function<QByteArray()> StatusSource;
    bool PublishPending = false;

    bool OpenListener();
    void CloseListener();
    void Accept();
    bool DropOldestIdle();
    void BackOff();
    void WatchSocketFile();
    void Read(QLocalSocket* Socket);
    void Answer(QLocalSocket* Socket);
    void AnswerWaiting();
    bool ReadCommand(QLocalSocket* Socket, const QByteArray& Line);
    void AnswerCommand(QLocalSocket* Socket, const QString& Command);
    void Follow(QLocalSocket* Socket);
    void PublishStatus();
};

bool TInstanceChannelServer::TImpl::OpenListener() {
    CloseListener();
    const QByteArray path = QFile::encodeName(FullName);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.isEmpty() || path.size() >= static_cast<qsizetype>(sizeof addr.sun_path))
        return false;
    std::memcpy(addr.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    TFileHandle fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.Get() < 0)
        return false;
    ::unlink(path.constData()); // a socket left by a killed instance; we hold the lock
    struct stat st {};
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd.Get(), 64) != 0 || ::lstat(path.constData(), &st) != 0)
        return false;
    ListenFd = fd.Release();
    SocketInode = st.st_ino;
    Notifier = new QSocketNotifier(ListenFd, QSocketNotifier::Read, Context.get());
    QObject::connect(Notifier, &QSocketNotifier::activated, Context.get(), [this] { Accept(); });
    return true;
}

void TInstanceChannelServer::TImpl::CloseListener() {
    if (ListenFd < 0)
        return;
    delete Notifier;
    Notifier = nullptr;
    struct stat st {};
    const QByteArray path = QFile::encodeName(FullName);
    if (::lstat(path.constData(), &st) == 0 && st.st_ino == SocketInode)
        ::unlink(path.constData());
    ::close(ListenFd);
    ListenFd = -1;
}

void TInstanceChannelServer::TImpl::Accept() {
    for (;;) {
        const int fd = ::accept4(ListenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                if (DropOldestIdle())
                    continue;
                BackOff();
            }
            return; // EAGAIN: all taken
        }
        BackOffMs = 0;
        auto* socket = new QLocalSocket(Context.get());
        if (!socket->setSocketDescriptor(fd)) {
            ::close(fd);
            delete socket;
            continue;
        }
        std::erase_if(Connections, [](const QPointer<QLocalSocket>& C) { return C.isNull(); });
        Connections.emplace_back(socket);
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] { Read(socket); });
        QTimer::singleShot(IdleConnectionMs, socket, [this, socket] {
            if (!Followers.Contains(socket))
                socket->abort();
        });
        Read(socket);
    }
}

// Frees a descriptor for the newest caller: the oldest connection that has not yet sent a
// whole message goes (a second start never waits that long).
bool TInstanceChannelServer::TImpl::DropOldestIdle() {
    while (!Connections.empty()) {
        QPointer<QLocalSocket> oldest = Connections.front();
        Connections.pop_front();
        if (!oldest || std::find(Waiting.begin(), Waiting.end(), oldest) != Waiting.end())
            continue;
        oldest->abort();
        oldest->deleteLater();
        return true;
    }
    return false;
}

// Out of descriptors with nothing to drop: stop watching the socket (it would stay readable and
// spin) and try again a little later, waiting longer each time up to a second.
void TInstanceChannelServer::TImpl::BackOff() {
    BackOffMs = std::clamp(BackOffMs * 2, 20, 1000);
    Notifier->setEnabled(false);
    Retry->start(BackOffMs);
}

void TInstanceChannelServer::TImpl::WatchSocketFile() {
    struct stat st {};
    if (ListenFd >= 0 && ::lstat(QFile::encodeName(FullName).constData(), &st) == 0 &&
        st.st_ino == SocketInode)
        return;
    OpenListener();
}

void TInstanceChannelServer::TImpl::Read(QLocalSocket* Socket) {
    if (!Socket->canReadLine()) {
        if (Socket->bytesAvailable() > MaxMessageBytes)
            Socket->abort();
        return;
    }
    const QByteArray line = Socket->readLine(MaxMessageBytes + 1);
    if (line != Message) {
        if (!ReadCommand(Socket, line))
            Socket->abort();
        return;
    }
    if (!Handler) {
        Waiting.emplace_back(Socket);
        return;
    }
    Answer(Socket);
}

namespace {
QByteArray AnswerLine(const QByteArray& Text) {
    QByteArray line = AckLine.chopped(1);
    if (!Text.isEmpty())
        line += '\t' + Text;
    return line + '\n';
}

// The whole answer goes out before the connection is closed from our side.
void Reply(QLocalSocket& Socket, const QByteArray& Line) {
    Socket.write(Line);
    Socket.flush();
    Socket.disconnectFromServer();
}
} // namespace

void TInstanceChannelServer::TImpl::Answer(QLocalSocket* Socket) {
    QPointer<QLocalSocket> guard(Socket);
    RunLoggingFailure("Second-start message handler", Handler);
    // The handler may run a nested loop in which the sender gave up and the socket went.
    if (!guard || guard->state() != QLocalSocket::ConnectedState)
        return;
    Reply(*guard, AckLine);
}

void TInstanceChannelServer::TImpl::AnswerWaiting() {
    std::vector<QPointer<QLocalSocket>> waiting;
    waiting.swap(Waiting);
    for (const QPointer<QLocalSocket>& socket : waiting)
        if (socket && Handler)
            Answer(socket);
}

// --- Command requests ----------------------------------------------------------------------

namespace {
// The word of "<instance name> <word>\n"; empty when the line is anything else.
QString CommandOfLine(const QByteArray& Message, const QByteArray& Line) {
    const QByteArray prefix = Message.chopped(1) + ' ';
    if (!Line.startsWith(prefix) || !Line.endsWith('\n'))
        return QString();
    const QByteArray word = Line.mid(prefix.size()).chopped(1);
    if (word.isEmpty() || word.size() > 32)
        return QString();
    for (const char c : word)
        if (!((c >= 'a' && c <= 'z') || c == '-'))
            return QString();
    return QString::fromLatin1(word);
}
} // namespace

bool TInstanceChannelServer::TImpl::ReadCommand(QLocalSocket* Socket, const QByteArray& Line) {
    const QString command = CommandOfLine(Message, Line);
    if (command.isEmpty())
        return false;
    if (!CommandHandler)
        WaitingCommands.emplace_back(Socket, command);
    else
        AnswerCommand(Socket, command);
    return true;
}

void TInstanceChannelServer::TImpl::AnswerCommand(QLocalSocket* Socket, const QString& Command) {
    if (Command == FollowWord) {
        Follow(Socket);
        return;
    }
    QPointer<QLocalSocket> guard(Socket);
    std::optional<QByteArray> text;
    RunLoggingFailure("Remote command handler", [&] { text = CommandHandler(Command); });
    if (!guard || guard->state() != QLocalSocket::ConnectedState)
        return;
    if (!text) {
        guard->abort(); // a word this build does not know, or the handler failed: no answer
        return;
    }
    Reply(*guard, AnswerLine(*text));
}

void TInstanceChannelServer::TImpl::Follow(QLocalSocket* Socket) {
    if (!StatusSource || Socket->state() != QLocalSocket::ConnectedState) {
        Socket->abort();
        return;
    }
    Followers.Add(Socket, AnswerLine(StatusSource()));
}

void TInstanceChannelServer::TImpl::PublishStatus() {
    PublishPending = false;
    if (StatusSource)
        Followers.Publish(AnswerLine(StatusSource()));
}

void TInstanceChannelServer::SetStatusSource(std::function<QByteArray()> Source) {
    FImpl->StatusSource = std::move(Source);
}

void TInstanceChannelServer::StatusChanged() {
    if (FImpl->PublishPending || FImpl->Followers.Count() == 0)
        return;
    FImpl->PublishPending = true;
    QTimer::singleShot(0, &FImpl->CommandContext, [impl = FImpl.get()] { impl->PublishStatus(); });
}

int TInstanceChannelServer::FollowerCount() const {
    return FImpl->Followers.Count();
}

void TInstanceChannelServer::SetCommandHandler(TCommandHandler Handler) {
    FImpl->CommandHandler = std::move(Handler);
    if (!FImpl->CommandHandler || FImpl->WaitingCommands.empty())
        return;
    QTimer::singleShot(0, &FImpl->CommandContext, [impl = FImpl.get()] {
        std::vector<std::pair<QPointer<QLocalSocket>, QString>> waiting;
        waiting.swap(impl->WaitingCommands);
        for (const auto& [socket, command] : waiting)
            if (socket && impl->CommandHandler)
                impl->AnswerCommand(socket, command);
    });
}

TInstanceChannelServer::TInstanceChannelServer(QString FullName, QString Message)
    : FImpl(std::make_unique<TImpl>()) {
    FImpl->FullName = std::move(FullName);
    FImpl->Message = MessageLine(Message);
}

TInstanceChannelServer::~TInstanceChannelServer() {
    FImpl->CloseListener(); // removes the socket file
    FImpl->Context.reset();
}

bool TInstanceChannelServer::Listen() {
    if (IsListening())
        return true;
    if (QCoreApplication::instance() == nullptr)
        return false;
    if (!FImpl->Context) {
        FImpl->Context = std::make_unique<QObject>();
        TImpl* impl = FImpl.get();
        impl->Retry = new QTimer(impl->Context.get());
        impl->Retry->setSingleShot(true);
        QObject::connect(impl->Retry, &QTimer::timeout, impl->Context.get(), [impl] {
            if (impl->Notifier)
                impl->Notifier->setEnabled(true);
            impl->Accept();
        });
        // A temporary-file cleaner may remove the socket file; a rare look puts it back.
        impl->Watch = new QTimer(impl->Context.get());
        impl->Watch->setInterval(30000);
        impl->Watch->setTimerType(Qt::VeryCoarseTimer);
        QObject::connect(impl->Watch, &QTimer::timeout, impl->Context.get(),
                         [impl] { impl->WatchSocketFile(); });
    }
    if (!FImpl->OpenListener())
        return false;
    FImpl->Watch->start();
    return true;
}

bool TInstanceChannelServer::IsListening() const {
    return FImpl->ListenFd >= 0;
}

void TInstanceChannelServer::SetHandler(std::function<void()> Handler) {
    FImpl->Handler = std::move(Handler);
    if (FImpl->Handler && !FImpl->Waiting.empty() && FImpl->Context)
        QTimer::singleShot(0, FImpl->Context.get(), [impl = FImpl.get()] { impl->AnswerWaiting(); });
}
