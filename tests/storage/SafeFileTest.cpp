#include "SafeFile.h"

#include "Errors.h"
#include "FakeTickCounter.h"
#include "StorageTestUtil.h"
#include "TaskFile.h"
#include "TaskTracker.h"
#include "TempDir.h"

#include <QDir>

#include <gtest/gtest.h>

#include <csignal>
#include <random>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {
QString SaveError(const TTaskTracker& Tracker, const QString& Path) {
    try {
        SaveTasks(Tracker, Path);
    } catch (const EAppError& e) {
        return e.Message();
    }
    return QStringLiteral("<no error>");
}

// A list big enough that writing it takes many system calls.
void FillList(TTaskTracker& Tracker, int Count, const QString& Prefix) {
    for (int i = 0; i < Count; ++i)
        Tracker.SetElapsedMs(Tracker.AppendTask(Prefix + QString::number(i)), static_cast<std::uint32_t>(i) * 1000u);
}

class SaveFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        FillList(FOld, 3, QStringLiteral("old "));
        SaveTasks(FOld, FPath);
        FOldBytes = ReadBytes(FPath);
        FillList(FNew, 5, QStringLiteral("new "));
    }
    TTempDir FDir;
    QString FPath = FDir.File(QStringLiteral("tasks.db"));
    TFakeTickCounter FTicks;
    TTaskTracker FOld{FTicks};
    TTaskTracker FNew{FTicks};
    QByteArray FOldBytes;
};

TEST_F(SaveFailureTest, TemporaryFileThatCannotBeCreatedLeavesTheOldFile) {
    QDir().mkpath(FPath + QStringLiteral(".tmp"));
    EXPECT_EQ(SaveError(FNew, FPath), QStringLiteral("Cannot create file \"%1\". Is a directory").arg(FPath));
    EXPECT_EQ(ReadBytes(FPath), FOldBytes);
}

TEST_F(SaveFailureTest, FileThatIsAFolderIsNotReplaced) {
    const QString folder = FDir.File(QStringLiteral("sub"));
    QDir().mkpath(folder + QStringLiteral("/tasks.db/inner"));
    const QString path = folder + QStringLiteral("/tasks.db");
    EXPECT_TRUE(SaveError(FNew, path).startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(path)));
    EXPECT_TRUE(QFileInfo(path + QStringLiteral("/inner")).isDir());
    EXPECT_FALSE(PathExists(path + QStringLiteral(".tmp")));
}

TEST_F(SaveFailureTest, MissingFolderNamesTheFile) {
    const QString path = FDir.File(QStringLiteral("none/tasks.db"));
    EXPECT_EQ(SaveError(FNew, path), QStringLiteral("Cannot create file \"%1\". No such file or directory").arg(path));
}

TEST_F(SaveFailureTest, FileSizeLimitFailsTheSaveAndKeepsTheOldFile) {
    TTaskTracker big(FTicks);
    FillList(big, 2000, QStringLiteral("a longer caption for a larger file "));
    const int code = RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return SaveError(big, FPath) == QStringLiteral("Stream write error") ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadBytes(FPath), FOldBytes);
    EXPECT_FALSE(PathExists(FPath + QStringLiteral(".tmp")));
}

TEST_F(SaveFailureTest, SaveReplacesTheFileALinkPointsTo) {
    const QString real = FDir.File(QStringLiteral("real.db"));
    WriteBytes(real, "");
    const QString link = FDir.File(QStringLiteral("link.db"));
    QFile::link(real, link);
    ::chmod(QFile::encodeName(real).constData(), 0640);
    SaveTasks(FNew, link);
    EXPECT_EQ(ReadBytes(real), TaskFileBytes(FNew));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    struct stat st {};
    ::stat(QFile::encodeName(real).constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(CrashSafetyTest, KilledSavesLeaveTheOldOrTheNewList) {
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("tasks.db"));
    TFakeTickCounter ticks;
    TTaskTracker first(ticks), second(ticks);
    FillList(first, 3000, QStringLiteral("first list task "));
    FillList(second, 2500, QStringLiteral("second list, another task "));
    const QByteArray firstBytes = TaskFileBytes(first);
    const QByteArray secondBytes = TaskFileBytes(second);
    SaveTasks(first, path);
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> delayUs(0, 4000);
    for (int round = 0; round < 60; ++round) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (int i = 0;; ++i)
                SaveTasks(i % 2 ? first : second, path);
        }
        ::usleep(static_cast<useconds_t>(delayUs(random)));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        const QByteArray bytes = ReadBytes(path);
        ASSERT_TRUE(bytes == firstBytes || bytes == secondBytes) << "round " << round << ": " << bytes.size();
        TTaskTracker loaded(ticks);
        LoadTasks(loaded, path);
        ASSERT_TRUE(loaded.Count() == first.Count() || loaded.Count() == second.Count());
    }
}

TEST(SetFileAsideTest, NamesCountUpAndNeverReplace) {
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("tasks.db"));
    WriteBytes(path + QStringLiteral(".bak"), "kept");
    WriteBytes(path + QStringLiteral(".bak.1"), "kept too");
    EXPECT_EQ(SetFileAside(path, "copy"), path + QStringLiteral(".bak.2"));
    EXPECT_EQ(ReadBytes(path + QStringLiteral(".bak")), QByteArray("kept"));
    EXPECT_EQ(ReadBytes(path + QStringLiteral(".bak.1")), QByteArray("kept too"));
    EXPECT_EQ(ReadBytes(path + QStringLiteral(".bak.2")), QByteArray("copy"));
    EXPECT_EQ(SetFileAside(dir.File(QStringLiteral("none/tasks.db")), "x"), QString());
}

TEST(CopyFileNoReplaceTest, CopiesOnlyToAFreeName) {
    TTempDir dir;
    const QString source = dir.File(QStringLiteral("source"));
    const QString target = dir.File(QStringLiteral("target"));
    WriteBytes(source, "content");
    EXPECT_TRUE(CopyFileNoReplace(source, target));
    EXPECT_EQ(ReadBytes(target), QByteArray("content"));
    WriteBytes(source, "changed");
    EXPECT_FALSE(CopyFileNoReplace(source, target));
    EXPECT_EQ(ReadBytes(target), QByteArray("content"));
    EXPECT_FALSE(CopyFileNoReplace(dir.File(QStringLiteral("missing")), dir.File(QStringLiteral("t2"))));
    EXPECT_FALSE(PathExists(dir.File(QStringLiteral("t2"))));
    QDir().mkpath(dir.File(QStringLiteral("folder")));
    EXPECT_FALSE(CopyFileNoReplace(dir.File(QStringLiteral("folder")), dir.File(QStringLiteral("t3"))));
    // No temporary file is left behind by any of them.
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);
}

TEST(CopyFileNoReplaceTest, FailedCopyLeavesNothing) {
    TTempDir dir;
    const QString source = dir.File(QStringLiteral("source"));
    WriteBytes(source, QByteArray(20000, 'x'));
    const QString target = dir.File(QStringLiteral("target"));
    const int code = RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{8192, 8192};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return CopyFileNoReplace(source, target) ? 1 : 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(PathExists(target));
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              QStringList{QStringLiteral("source")});
}

TEST(RenameNoReplaceTest, NeverOverwrites) {
    TTempDir dir;
    WriteBytes(dir.File(QStringLiteral("a")), "a");
    WriteBytes(dir.File(QStringLiteral("b")), "b");
    EXPECT_FALSE(RenameNoReplace(dir.File(QStringLiteral("a")), dir.File(QStringLiteral("b"))));
    EXPECT_EQ(ReadBytes(dir.File(QStringLiteral("b"))), QByteArray("b"));
    EXPECT_TRUE(RenameNoReplace(dir.File(QStringLiteral("a")), dir.File(QStringLiteral("c"))));
    EXPECT_EQ(ReadBytes(dir.File(QStringLiteral("c"))), QByteArray("a"));
    EXPECT_FALSE(PathExists(dir.File(QStringLiteral("a"))));
}
} // namespace
