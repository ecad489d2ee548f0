// SPDX-License-Identifier: MIT
#include "FileTestUtil.h"
#include "InstanceChannel.h"
#include "InstanceChannelClient.h"
#include "InstanceLock.h"
#include "TempDir.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <atomic>
#include <cstring>
#include <future>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace {
const QString Name = QStringLiteral("Vostrak_Tallyvox");

unsigned ModeOf(const QString& Path) {
    struct stat st {};
    EXPECT_EQ(::lstat(QFile::encodeName(Path).constData(), &st), 0);
    return st.st_mode & 07777;
}

// --- Private folder ------------------------------------------------------------------------

enum class TFolder { Missing, Private, OpenToGroup, OpenToAll, LinkToPrivate, RegularFile, EmptyPath };

struct TFolderCase {
    TFolder Kind;
    bool Accepted;
};
void PrintTo(const TFolderCase& Case, std::ostream* Out) {
    *Out << "kind " << static_cast<int>(Case.Kind) << (Case.Accepted ? " accepted" : " refused");
}

class PrivateFolderTest : public ::testing::TestWithParam<TFolderCase> {};

TEST_P(PrivateFolderTest, AcceptsOnlyAPrivateRealFolderOfOurs) {
    TTempDir tmp;
    const QString folder = tmp.File(QStringLiteral("f"));
    const QByteArray path = QFile::encodeName(folder);
    switch (GetParam().Kind) {
    case TFolder::Missing:
    case TFolder::EmptyPath:
        break;
    case TFolder::Private:
        ASSERT_EQ(::mkdir(path.constData(), 0700), 0);
        break;
    case TFolder::OpenToGroup:
    case TFolder::OpenToAll:
        ASSERT_EQ(::mkdir(path.constData(), 0700), 0);
        ASSERT_EQ(::chmod(path.constData(), GetParam().Kind == TFolder::OpenToAll ? 0777 : 0750), 0);
        break;
    case TFolder::LinkToPrivate:
        ASSERT_EQ(::mkdir(QFile::encodeName(tmp.File(QStringLiteral("real"))).constData(), 0700), 0);
        ASSERT_EQ(::symlink("real", path.constData()), 0);
        break;
    case TFolder::RegularFile:
        ASSERT_TRUE(QFile(folder).open(QIODevice::WriteOnly));
        break;
    }
    EXPECT_EQ(EnsurePrivateFolder(GetParam().Kind == TFolder::EmptyPath ? QString() : folder),
              GetParam().Accepted);
    if (GetParam().Kind == TFolder::Missing) {
        EXPECT_EQ(ModeOf(folder), 0700u); // created private
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, PrivateFolderTest,
    ::testing::Values(TFolderCase{TFolder::Missing, true}, TFolderCase{TFolder::Private, true},
                      TFolderCase{TFolder::OpenToGroup, false}, TFolderCase{TFolder::OpenToAll, false},
                      TFolderCase{TFolder::LinkToPrivate, false}, TFolderCase{TFolder::RegularFile, false},
                      TFolderCase{TFolder::EmptyPath, false}));

// Sets an environment variable for one test and puts the old value back.
class TEnvOverride final {
public:
    TEnvOverride(const char* Name, const QString& Value)
        : FName(Name), FHad(qEnvironmentVariableIsSet(Name)), FOld(qgetenv(Name)) {
        qputenv(Name, QFile::encodeName(Value));
    }
    ~TEnvOverride() {
        if (FHad)
            qputenv(FName, FOld);
        else
            qunsetenv(FName);
    }

private:
    const char* FName;
    bool FHad;
    QByteArray FOld;
};

TEST(InstanceRuntimeFolderTest, UsesAPrivateXdgRuntimeDir) {
    TTempDir runtime;
    TEnvOverride xdg("XDG_RUNTIME_DIR", runtime.Path());
    EXPECT_EQ(InstanceRuntimeFolder(), runtime.Path());
}

TEST(InstanceRuntimeFolderTest, FallsBackToAPrivateFolderInTheUsersCache) {
    TTempDir runtime, cache, tmp;
    ASSERT_EQ(::chmod(QFile::encodeName(runtime.Path()).constData(), 0755), 0); // not private: refused
    TEnvOverride xdg("XDG_RUNTIME_DIR", runtime.Path());
    TEnvOverride cacheHome("XDG_CACHE_HOME", cache.Path());
    TEnvOverride temp("TMPDIR", tmp.Path());
    // Another user's folder in the shared temporary folder does not matter.
    ASSERT_EQ(
        ::mkdir(QFile::encodeName(tmp.Path() + QStringLiteral("/tallyvox-%1").arg(::geteuid())).constData(),
                0777),
        0);
    const QString expected = cache.Path() + QStringLiteral("/tallyvox");
    EXPECT_EQ(InstanceRuntimeFolder(), expected);
    EXPECT_EQ(ModeOf(expected), 0700u);
}

TEST(InstanceRuntimeFolderTest, IsEmptyWhenNoFallbackIsOurs) {
    TTempDir tmp;
    const QString fallback = tmp.Path() + QStringLiteral("/tallyvox-%1").arg(::geteuid());
    ASSERT_EQ(::mkdir(QFile::encodeName(fallback).constData(), 0777), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(fallback).constData(), 0777), 0);
    ASSERT_TRUE(
        QFile(tmp.File(QStringLiteral("tallyvox"))).open(QIODevice::WriteOnly)); // a file, not a folder
    TEnvOverride xdg("XDG_RUNTIME_DIR", tmp.File(QStringLiteral("missing")));
    TEnvOverride cacheHome("XDG_CACHE_HOME", tmp.Path());
    TEnvOverride temp("TMPDIR", tmp.Path());
    EXPECT_TRUE(InstanceRuntimeFolder().isEmpty());
}

TEST(InstanceChannelNameTest, CarriesTheInstanceNameAndTheUserId) {
    EXPECT_EQ(InstanceChannelName(Name), Name + u'-' + QString::number(::geteuid()));
}

// --- Lock ----------------------------------------------------------------------------------

TEST(InstanceLockTest, OnlyOneHolderAtATime) {
    TTempDir dir;
    auto first = TInstanceLock::Create(dir.Path(), Name);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->State(), TInstanceLock::TState::Acquired);
    EXPECT_EQ(first->FileName(), dir.File(Name + QStringLiteral(".lock")));

    auto second = TInstanceLock::Create(dir.Path(), Name);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->State(), TInstanceLock::TState::HeldElsewhere);

    auto other = TInstanceLock::Create(dir.Path(), QStringLiteral("Other_Name"));
    ASSERT_TRUE(other);
    EXPECT_EQ(other->State(), TInstanceLock::TState::Acquired);

    first.reset();
    second.reset();
    auto third = TInstanceLock::Create(dir.Path(), Name);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->State(), TInstanceLock::TState::Acquired);
}

TEST(InstanceLockTest, AnUnlockedLeftoverFileDoesNotBlock) {
    TTempDir dir;
    QFile leftover(dir.File(Name + QStringLiteral(".lock")));
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    leftover.write("4242\n");
    leftover.close();
    auto lock = TInstanceLock::Create(dir.Path(), Name);
    ASSERT_TRUE(lock);
    EXPECT_EQ(lock->State(), TInstanceLock::TState::Acquired);
}

TEST(InstanceLockTest, FailsWithoutAUsableFile) {
    TTempDir dir;
    EXPECT_FALSE(TInstanceLock::Create(QString(), Name));
    EXPECT_FALSE(TInstanceLock::Create(dir.File(QStringLiteral("missing")), Name));
    // A link planted in place of the lock file is never followed.
    ASSERT_EQ(::symlink("elsewhere", QFile::encodeName(dir.File(Name + QStringLiteral(".lock"))).constData()),
              0);
    EXPECT_FALSE(TInstanceLock::Create(dir.Path(), Name));
    EXPECT_FALSE(QFileInfo::exists(dir.File(QStringLiteral("elsewhere"))));
}

// --- Channel -------------------------------------------------------------------------------

// Sends from another thread while this thread's event loop serves the channel.
template <class TSend> auto WhileServing(TSend Send) {
    auto result = std::async(std::launch::async, Send);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (result.wait_for(0ms) == std::future_status::ready)
            loop.quit();
    });
    poll.start(5);
    loop.exec();
    return result.get();
}

bool SendWhileServing(const QString& Path, const QString& Message, std::chrono::milliseconds Bound) {
    return WhileServing([&] { return SendInstanceMessage(Path, Message, Bound); });
}

TInstanceReply RequestWhileServing(const QString& Path, const QString& Message) {
    return WhileServing([&] { return RequestFromInstance(Path, Message, 3000ms, false); });
}

class InstanceChannelTest : public ::testing::Test {
protected:
    QString Path() const { return FDir.File(InstanceChannelName(Name)); }
    TTempDir FDir;
};

TEST_F(InstanceChannelTest, HandlerRunsOncePerMessageBeforeTheAcknowledgement) {
    TInstanceChannelServer server(Path(), Name);
    std::atomic<int> handled{0};
    server.SetHandler([&] { ++handled; });
    ASSERT_TRUE(server.Listen());
    EXPECT_TRUE(SendWhileServing(Path(), Name, 3000ms));
    EXPECT_EQ(handled.load(), 1);
    EXPECT_TRUE(SendWhileServing(Path(), Name, 3000ms));
    EXPECT_EQ(handled.load(), 2);
}

TEST_F(InstanceChannelTest, ForeignMessageIsRefusedWithoutRunningTheHandler) {
    TInstanceChannelServer server(Path(), Name);
    int handled = 0;
    server.SetHandler([&] { ++handled; });
    ASSERT_TRUE(server.Listen());
    for (const QString& message : {QStringLiteral("Other_Program"), QStringLiteral("Vostrak_Tallyvo"),
                                   QStringLiteral("Vostrak_TallyvoxX"), QString(300, u'x')})
        EXPECT_FALSE(SendWhileServing(Path(), message, 3000ms)) << message.left(20).toStdString();
    EXPECT_EQ(handled, 0);
}

TEST_F(InstanceChannelTest, NobodyListeningFailsWithinTheBound) {
    EXPECT_FALSE(SendInstanceMessage(Path(), Name, 200ms));
    EXPECT_FALSE(
        SendInstanceMessage(FDir.File(QString(200, u'n')), Name, 50ms)); // too long for a socket name
}

TEST_F(InstanceChannelTest, DeadSocketFileIsReplaced) {
    LeaveDeadSocket(Path());
    ASSERT_TRUE(QFileInfo::exists(Path()));

    TInstanceChannelServer server(Path(), Name);
    int handled = 0;
    server.SetHandler([&] { ++handled; });
    ASSERT_TRUE(server.Listen());
    EXPECT_TRUE(SendWhileServing(Path(), Name, 3000ms));
    EXPECT_EQ(handled, 1);
}

TEST_F(InstanceChannelTest, MessageBeforeTheHandlerWaitsForIt) {
    TInstanceChannelServer server(Path(), Name);
    ASSERT_TRUE(server.Listen());
    int handled = 0;
    QTimer::singleShot(100, qApp, [&] { server.SetHandler([&] { ++handled; }); });
    EXPECT_TRUE(SendWhileServing(Path(), Name, 3000ms));
    EXPECT_EQ(handled, 1);
}

TEST_F(InstanceChannelTest, FailingHandlerStillAnswersAndTheServerRunsOn) {
    TInstanceChannelServer server(Path(), Name);
    int calls = 0;
    server.SetHandler([&] {
        ++calls;
        throw std::runtime_error("broken");
    });
    ASSERT_TRUE(server.Listen());
    EXPECT_TRUE(SendWhileServing(Path(), Name, 3000ms));
    EXPECT_TRUE(SendWhileServing(Path(), Name, 3000ms));
    EXPECT_EQ(calls, 2);
}

// Runs the event loop for about Ms milliseconds.
void Serve(int Ms) {
    QEventLoop loop;
    QTimer::singleShot(Ms, &loop, &QEventLoop::quit);
    loop.exec();
}

TEST_F(InstanceChannelTest, KeepsListeningAfterRunningOutOfDescriptors) {
    TInstanceChannelServer server(Path(), Name);
    int handled = 0;
    server.SetHandler([&] { ++handled; });
    ASSERT_TRUE(server.Listen());
    // One ordinary caller first. (The sanitizers' runtime needs descriptors of its own to check
    // a type it has not yet seen, so the dropped caller's path is one it has seen.)
    ASSERT_TRUE(SendWhileServing(Path(), Name, 3000ms));
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowest = ::dup(0);
    ::close(lowest);
    const rlimit low{static_cast<rlim_t>(lowest + 24), saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(Path());
    std::memcpy(addr.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    // Idle callers take half the descriptors, the rest are filled; then one more calls.
    std::vector<int> fds;
    for (int i = 0; i < 8; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
        fds.push_back(fd);
        Serve(5);
    }
    const int last = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(last, 0);
    for (int fd; (fd = ::dup(0)) >= 0;)
        fds.push_back(fd);
    EXPECT_EQ(errno, EMFILE);
    ASSERT_EQ(::connect(last, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    Serve(200); // accept() fails with EMFILE here
    for (int fd : fds)
        ::close(fd);
    ::close(last);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_TRUE(server.IsListening());
    EXPECT_TRUE(QFileInfo::exists(Path()));
    EXPECT_TRUE(SendWhileServing(Path(), Name, 3000ms));
    EXPECT_EQ(handled, 2);
}

TEST_F(InstanceChannelTest, CommandRequestsGetTheHandlersAnswerAndPlainStartsStayAsTheyWere) {
    TInstanceChannelServer server(Path(), Name);
    int plain = 0;
    QStringList commands;
    server.SetHandler([&] { ++plain; });
    server.SetCommandHandler([&](const QString& Command) -> std::optional<QByteArray> {
        commands << Command;
        if (Command == QStringLiteral("status"))
            return QByteArray("5\t0:00\tA\tB");
        if (Command == QStringLiteral("show"))
            return QByteArray();
        return std::nullopt;
    });
    ASSERT_TRUE(server.Listen());
    using TState = TInstanceReply::TState;
    TInstanceReply reply =
        RequestWhileServing(Path(), InstanceCommandMessage(Name, QStringLiteral("status")));
    EXPECT_EQ(reply.State, TState::Answered);
    EXPECT_EQ(reply.Text, QByteArray("5\t0:00\tA\tB"));
    reply = RequestWhileServing(Path(), InstanceCommandMessage(Name, QStringLiteral("show")));
    EXPECT_EQ(reply.State, TState::Answered);
    EXPECT_EQ(reply.Text, QByteArray());
    // Unknown words, words that are no words, and lines of another program are dropped.
    for (const QString& message : {InstanceCommandMessage(Name, QStringLiteral("exit")),
                                   InstanceCommandMessage(Name, QStringLiteral("Show")),
                                   InstanceCommandMessage(Name, QStringLiteral("a b")),
                                   InstanceCommandMessage(Name, QString()), QStringLiteral("Other show")})
        EXPECT_EQ(RequestWhileServing(Path(), message).State, TState::NoAnswer) << message.toStdString();
    EXPECT_EQ(commands,
              (QStringList{QStringLiteral("status"), QStringLiteral("show"), QStringLiteral("exit")}));
    // A plain second start, of this build or an older one, gets exactly "ok\n".
    EXPECT_TRUE(SendWhileServing(Path(), Name, 3000ms));
    reply = RequestWhileServing(Path(), Name);
    EXPECT_EQ(reply.State, TState::Answered);
    EXPECT_EQ(reply.Text, QByteArray());
    EXPECT_EQ(plain, 2);
}

// A follower gets the current state, then one line per change and none for a repeat; one
// that never reads does not hold the server up while hundreds of changes pile up.
TEST_F(InstanceChannelTest, FollowersGetEachChangeOnceAndAStuckOneHoldsNothingUp) {
    TInstanceChannelServer server(Path(), Name);
    QByteArray status = "5\t0:00\tA";
    server.SetStatusSource([&] { return status; });
    server.SetCommandHandler([](const QString&) { return std::optional<QByteArray>(); });
    ASSERT_TRUE(server.Listen());
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(Path());
    std::memcpy(addr.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    const QByteArray request = InstanceCommandMessage(Name, QStringLiteral("follow")).toUtf8() + '\n';
    int fds[2];
    for (int& fd : fds) {
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_EQ(::send(fd, request.constData(), static_cast<std::size_t>(request.size()), 0),
                  request.size());
    }
    Serve(100);
    EXPECT_EQ(server.FollowerCount(), 2);
    const auto received = [&] {
        QByteArray all;
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fds[0], buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
            all.append(buffer, n);
        return all;
    };
    EXPECT_EQ(received(), QByteArray("ok\t5\t0:00\tA\n"));
    status = "1005\t0:01\tA";
    server.StatusChanged();
    server.StatusChanged();
    Serve(50);
    server.StatusChanged();
    Serve(50);
    EXPECT_EQ(received(), QByteArray("ok\t1005\t0:01\tA\n"));
    for (int i = 0; i < 500; ++i) { // fds[1] never reads
        status = QByteArray::number(i) + QByteArray(100, 'x');
        server.StatusChanged();
        Serve(1);
        received();
    }
    status.clear();
    server.StatusChanged();
    Serve(50);
    EXPECT_TRUE(received().endsWith("ok\n"));
    EXPECT_EQ(server.FollowerCount(), 2);
    for (const int fd : fds)
        ::close(fd);
}

TEST_F(InstanceChannelTest, ClosingTheServerRemovesItsSocket) {
    {
        TInstanceChannelServer server(Path(), Name);
        ASSERT_TRUE(server.Listen());
        EXPECT_TRUE(server.IsListening());
        EXPECT_TRUE(QFileInfo::exists(Path()));
    }
    EXPECT_FALSE(QFileInfo::exists(Path()));
}
} // namespace
