// SPDX-License-Identifier: MIT
#include "SingleInstanceGuard.h"

#include "FileTestUtil.h"
#include "HelperProcess.h"
#include "TempDir.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
const QString InstanceName = QStringLiteral("Vostrak_Tallyvox");

// Every test gets its own runtime folder, so tests never meet each other or a running program.
class SingleInstanceGuardTest : public ::testing::Test {
protected:
    QProcessEnvironment Env() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), FRuntime.Path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }
    QString ChannelPath() const {
        return FRuntime.File(InstanceName + QStringLiteral("-%1").arg(::geteuid()));
    }
    QString LockPath() const { return FRuntime.File(InstanceName + QStringLiteral(".lock")); }

    // A second start: its verdict line, and it must end by itself with code 0.
    QString SecondStart() {
        THelperProcess second({QStringLiteral("guard")}, Env());
        const QString verdict = second.ReadLine();
        EXPECT_EQ(second.WaitForExit(), 0) << "the second start did not end by itself";
        return verdict;
    }

    TTempDir FRuntime;
};

TEST_F(SingleInstanceGuardTest, SecondStartTellsTheFirstAndEndsFalse) {
    THelperProcess first({QStringLiteral("guard"), QStringLiteral("2")}, Env());
    ASSERT_EQ(first.ReadLine(), QStringLiteral("first"));

    EXPECT_EQ(SecondStart(), QStringLiteral("second acked"));
    EXPECT_EQ(first.ReadLine(), QStringLiteral("message"));
    EXPECT_EQ(SecondStart(), QStringLiteral("second acked"));
    EXPECT_EQ(first.ReadLine(), QStringLiteral("message"));
    EXPECT_EQ(first.WaitForExit(), 0);

    // The first instance is gone and took its socket along: the next start is first again.
    EXPECT_FALSE(QFileInfo::exists(ChannelPath()));
    THelperProcess next({QStringLiteral("guard")}, Env());
    EXPECT_EQ(next.ReadLine(), QStringLiteral("first"));
}

// What a previous run may have left behind; none of it may block the next start.
enum class TLeftover { LockFileWithText, DeadSocket, KilledInstance };
void PrintTo(TLeftover Leftover, std::ostream* Out) {
    *Out << static_cast<int>(Leftover);
}

class StaleLeftoversTest : public SingleInstanceGuardTest, public ::testing::WithParamInterface<TLeftover> {};

TEST_P(StaleLeftoversTest, DoNotBlockTheNextStart) {
    switch (GetParam()) {
    case TLeftover::LockFileWithText: {
        QFile lock(LockPath());
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write("12345\n");
        break;
    }
    case TLeftover::DeadSocket:
        LeaveDeadSocket(ChannelPath());
        break;
    case TLeftover::KilledInstance: {
        THelperProcess killed({QStringLiteral("guard")}, Env());
        ASSERT_EQ(killed.ReadLine(), QStringLiteral("first"));
        killed.Kill(); // SIGKILL: no clean-up runs
        break;
    }
    }
    if (GetParam() != TLeftover::LockFileWithText) {
        ASSERT_TRUE(QFileInfo::exists(ChannelPath())) << "the leftover socket file is missing";
    }

    THelperProcess next({QStringLiteral("guard")}, Env());
    ASSERT_EQ(next.ReadLine(), QStringLiteral("first"));
    // And the new first instance is reachable through the reclaimed channel.
    EXPECT_EQ(SecondStart(), QStringLiteral("second acked"));
    EXPECT_EQ(next.ReadLine(), QStringLiteral("message"));
    EXPECT_EQ(next.WaitForExit(), 0);
}

INSTANTIATE_TEST_SUITE_P(Leftovers, StaleLeftoversTest,
                         ::testing::Values(TLeftover::LockFileWithText, TLeftover::DeadSocket,
                                           TLeftover::KilledInstance),
                         [](const ::testing::TestParamInfo<TLeftover>& Info) {
                             switch (Info.param) {
                             case TLeftover::LockFileWithText:
                                 return "LockFileWithText";
                             case TLeftover::DeadSocket:
                                 return "DeadSocket";
                             case TLeftover::KilledInstance:
                                 break;
                             }
                             return "KilledInstance";
                         });

TEST_F(SingleInstanceGuardTest, HungFirstInstanceDoesNotHangTheSecond) {
    THelperProcess hung({QStringLiteral("hung")}, Env());
    ASSERT_EQ(hung.ReadLine(), QStringLiteral("first"));
    EXPECT_EQ(SecondStart(), QStringLiteral("second noack"));
    EXPECT_EQ(hung.ReadLine(), QStringLiteral("message")); // it did get the message, it just never answered
}

TEST_F(SingleInstanceGuardTest, FirstInstanceInAModalDialogStillAnswers) {
    THelperProcess first({QStringLiteral("modal")}, Env());
    ASSERT_EQ(first.ReadLine(), QStringLiteral("first"));
    ASSERT_EQ(first.ReadLine(), QStringLiteral("modal"));
    EXPECT_EQ(SecondStart(), QStringLiteral("second acked"));
    EXPECT_EQ(first.ReadLine(), QStringLiteral("message"));
    EXPECT_EQ(first.ReadLine(), QStringLiteral("closed"));
    EXPECT_EQ(first.WaitForExit(), 0);
}

// No private place for the lock at all (another user took the shared fallback): the program
// still starts, without the one-copy guarantee.
TEST_F(SingleInstanceGuardTest, NoPrivatePlaceForTheLockStillStarts) {
    TTempDir tmp;
    QFile blocker(tmp.File(QStringLiteral("tallyvox-%1").arg(::geteuid())));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the fallback folder belongs
    blocker.close();
    QFile notAFolder(tmp.File(QStringLiteral("runtime")));
    ASSERT_TRUE(notAFolder.open(QIODevice::WriteOnly));
    notAFolder.close();
    QProcessEnvironment env = Env();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), notAFolder.fileName());
    env.insert(QStringLiteral("TMPDIR"), tmp.Path());
    env.insert(QStringLiteral("XDG_CACHE_HOME"), notAFolder.fileName());
    THelperProcess start({QStringLiteral("guard")}, env);
    EXPECT_EQ(start.ReadLine(), QStringLiteral("first"));
    start.Kill();
}

// In one process: the guard's lock and channel live exactly as long as the guard.
TEST_F(SingleInstanceGuardTest, DestroyingTheGuardFreesLockAndChannel) {
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(FRuntime.Path()));
    {
        auto guard = std::make_unique<TSingleInstanceGuard>(InstanceName);
        EXPECT_EQ(guard->BroadcastMessage(), InstanceName + QStringLiteral("-%1").arg(::geteuid()));
        ASSERT_TRUE(guard->CheckIfSingle());
        EXPECT_TRUE(QFileInfo::exists(ChannelPath()));
        // While it holds the lock, another process is a second start.
        EXPECT_EQ(THelperProcess({QStringLiteral("guard")}, Env()).ReadLine(),
                  QStringLiteral("second noack"));
        guard.reset();
        EXPECT_FALSE(QFileInfo::exists(ChannelPath()));
        TSingleInstanceGuard again(InstanceName);
        EXPECT_TRUE(again.CheckIfSingle());
    }
    qputenv("XDG_RUNTIME_DIR", saved);
}
} // namespace
