// SPDX-License-Identifier: MIT
#include "SafeFile.h"

#include "Errors.h"
#include "FakeTickCounter.h"
#include "FileTestUtil.h"
#include "Files.h"
#include "History.h"
#include "HistoryReport.h"
#include "IniFile.h"
#include "Settings.h"
#include "TaskFile.h"
#include "TaskTracker.h"
#include "TempDir.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <csignal>
#include <cstddef>
#include <functional>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <random>
#include <sqlite3.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>

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
        Tracker.SetElapsedMs(Tracker.AppendTask(Prefix + QString::number(i)),
                             static_cast<std::uint32_t>(i) * 1000u);
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
    EXPECT_EQ(SaveError(FNew, path),
              QStringLiteral("Cannot create file \"%1\". No such file or directory").arg(path));
}

// What a hostile environment puts in the data folder: Prepare sets up a fresh folder whose
// tasks.db holds OldList, Act returns the error met, Check tells what must hold afterwards.
struct THostileCase {
    const char* Name;
    std::function<void(const QString& Path)> Prepare;
    std::function<QString(const QString& Path)> Act;
    const char* Error; // %1: Path
    std::function<void(const QString& Path)> Check;
};
void PrintTo(const THostileCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

const QByteArray OldList("\xEF\xBB\xBF"
                         "old\r\n0:01\r\n1000\r\n");
const QByteArray NewList("\xEF\xBB\xBF"
                         "new\r\n0:02\r\n2000\r\n");
const QByteArray NulInRow("A\r\n\r\n5\r\nB\r\n\r\n6100\0"
                          "00\r\nC\r\n\r\n7\r\n",
                          29);

QString SaveNew(const QString& Path, TStoredTasks Stored = TStoredTasks::Loaded) {
    TFakeTickCounter ticks;
    TTaskTracker list(ticks);
    list.SetElapsedMs(list.AppendTask(QStringLiteral("new")), 2000);
    return ErrorOf([&] { SaveTasks(list, Path, Stored); });
}

// The start-up load and the first save after it, as the main window runs them.
QString LoadThenSave(const QString& Path) {
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    TStoredTasks stored = TStoredTasks::Loaded;
    const QString error = ErrorOf([&] { LoadTasks(tracker, Path, &stored); });
    EXPECT_EQ(SaveNew(Path, stored), QStringLiteral("<no error>"));
    return error;
}

// fchmod fails, as on a file system that keeps no modes.
void DenyFchmod() {
    sock_filter filter[] = {{BPF_LD | BPF_W | BPF_ABS, 0, 0, offsetof(seccomp_data, nr)},
                            {BPF_JMP | BPF_JEQ | BPF_K, 0, 1, SYS_fchmod},
                            {BPF_RET | BPF_K, 0, 0, SECCOMP_RET_ERRNO | EPERM},
                            {BPF_RET | BPF_K, 0, 0, SECCOMP_RET_ALLOW}};
    const sock_fprog program{std::size(filter), filter};
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program);
}

// Body's error in a child whose file-size limit is Bytes, with SIGXFSZ handled as the program
// does, and Restrict run first.
QString UnderFileSizeLimit(
    rlim_t Bytes, const std::function<QString()>& Body, void (*Restrict)() = [] {}) {
    TTempDir dir;
    RunInChild([&] {
        Restrict();
        IgnoreFileSizeLimitSignal();
        rlimit limit{Bytes, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const QString error = Body();
        limit.rlim_cur = RLIM_INFINITY;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        WriteBytes(dir.File(QStringLiteral("error")), error.toUtf8());
        return 0;
    });
    return QString::fromUtf8(ReadBytes(dir.File(QStringLiteral("error"))));
}

QString Beside(const QString& Path, const char* Name) {
    return QFileInfo(Path).absolutePath() + u'/' + QString::fromUtf8(Name);
}
const auto Outside = [](const QString& Path) { return Beside(Path, "../outside.txt"); };
const auto Nothing = [](const QString&) {};
const auto Relinked = [](const char* Target, const char* Name) {
    return [=](const QString& Path) {
        QFile::remove(Beside(Path, Name));
        QFile::link(Target ? QString::fromUtf8(Target) : Outside(Path), Beside(Path, Name));
    };
};

// One second of task "T" recorded in a history beside Path (Writes attempts to write it), then
// the list saved as the tick saves it.
QString TrackWithHistory(const QString& Path, int Writes = 1,
                         const std::function<void()>& BeforeLastWrite = {}) {
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    tracker.AppendTask(QStringLiteral("T"));
    THistoryStore store(Beside(Path, "history.sqlite"));
    THistoryRecorder recorder(tracker, store, [&ticks] { return 1700000000000LL + ticks.Now(); });
    tracker.SetActiveTask(&tracker.Row(0), false);
    ticks.Advance(1000);
    tracker.SetActiveTask(nullptr, false);
    for (int i = 0; i < Writes; ++i) {
        if (i + 1 == Writes && BeforeLastWrite)
            BeforeLastWrite();
        store.WriteDue();
    }
    return SaveNew(Path);
}

// Two ticks' writes of the history fail for want of room, the third finds it again.
QString TrackOnAFullDisk(const QString& Path) {
    return UnderFileSizeLimit(1024, [&] {
        return TrackWithHistory(Path, 3, [] {
            const rlimit none{RLIM_INFINITY, RLIM_INFINITY};
            ::setrlimit(RLIMIT_FSIZE, &none);
        });
    });
}

// A history the user the test runs as may not write (root may write anything, so it runs as
// nobody then, in folders anybody may write).
void ReadOnlyHistory(const QString& Path) {
    TrackWithHistory(Path);
    ::chmod(QFile::encodeName(Beside(Path, "history.sqlite")).constData(), 0444);
    for (const char* name : {"..", ".", "tasks.db"})
        ::chmod(QFile::encodeName(Beside(Path, name)).constData(), 0777);
}
QString TrackAsNobody(const QString& Path) {
    const int code =
        RunInChild([&] { return TrackWithHistory(Path) == QStringLiteral("<no error>") ? 0 : 1; }, true);
    return code == 0 ? QStringLiteral("<no error>") : QStringLiteral("tracking failed");
}

// The broken history is kept as Aside (none: nothing set aside), a new one holds the interval,
// the list is saved as ever.
const auto HistoryStartedAnew = [](const char* Aside, std::function<void(const QString&)> More = {}) {
    return [=](const QString& Path) {
        EXPECT_EQ(ReadBytes(Path), NewList);
        const QFileInfo aside(Beside(Path, Aside ? Aside : "history.sqlite.bad"));
        EXPECT_EQ(aside.exists() || aside.isSymLink(), Aside != nullptr);
        QStringList rows;
        HistoryExport(Beside(Path, "history.sqlite"), std::nullopt, std::nullopt,
                      [&](const QByteArray& Bytes) { rows << QString::fromUtf8(Bytes); });
        EXPECT_EQ(rows.size(), 2);
        EXPECT_TRUE(rows.back().startsWith(QStringLiteral("T,"))) << rows.back().toStdString();
        if (More)
            More(Path);
    };
};

// A history of this program whose second page (the intervals) is overwritten.
void DamagedHistory(const QString& Path) {
    TrackWithHistory(Path);
    QFile file(Beside(Path, "history.sqlite"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(4096);
    file.write(QByteArray(4096, '\xA5'));
}

class HostileEnvironmentTest : public ::testing::TestWithParam<THostileCase> {};

TEST_P(HostileEnvironmentTest, NothingIsLostHiddenOrBlocked) {
    const THostileCase& c = GetParam();
    TTempDir dir;
    QDir().mkpath(dir.File(QStringLiteral("data")));
    const QString path = dir.File(QStringLiteral("data/tasks.db"));
    WriteBytes(path, OldList);
    WriteBytes(Outside(path), "the user's document");
    c.Prepare(path);
    EXPECT_EQ(c.Act(path), QString::fromUtf8(c.Error).replace(QStringLiteral("%1"), path));
    c.Check(path);
    const QRegularExpression temporary(QStringLiteral("^tasks\\.db\\.tmp-[0-9a-z]+$"));
    for (const QFileInfo& entry :
         QDir(dir.File(QStringLiteral("data"))).entryInfoList(QDir::Files | QDir::Hidden))
        EXPECT_FALSE(temporary.match(entry.fileName()).hasMatch() && !entry.isSymLink())
            << "temporary file left";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileEnvironmentTest,
    ::testing::Values(
        THostileCase{
            "size limit", Nothing,
            [](const QString& Path) { return UnderFileSizeLimit(16, [&] { return SaveNew(Path); }); },
            "Stream write error \"%1\". File too large",
            [](const QString& Path) { EXPECT_EQ(ReadBytes(Path), OldList); }},
        THostileCase{"fifo",
                     [](const QString& Path) {
                         QFile::remove(Path);
                         ::mkfifo(QFile::encodeName(Path).constData(), 0600);
                     },
                     LoadThenSave, "Cannot open file \"%1\". It is not a regular file",
                     [](const QString& Path) {
                         EXPECT_EQ(ReadBytes(Path), NewList);
                         EXPECT_EQ(SetAsideTaskLists(Path), QStringList{Path + QStringLiteral(".unread")});
                     }},
        THostileCase{"dev zero link", Relinked("/dev/zero", "tasks.db"),
                     [](const QString& Path) {
                         Relinked("/dev/zero", "version")(Path);
                         EXPECT_EQ(ErrorOf([&] { ReadFileText(Beside(Path, "version")); }),
                                   QStringLiteral("Cannot open file \"%1\". It is not a regular file")
                                       .arg(Beside(Path, "version")));
                         return LoadThenSave(Path);
                     },
                     "Cannot open file \"%1\". It is not a regular file",
                     [](const QString& Path) {
                         EXPECT_EQ(ReadBytes(Path), NewList);
                         EXPECT_TRUE(QFileInfo(Path + QStringLiteral(".unread")).isSymLink());
                     }},
        THostileCase{"size cap",
                     [](const QString& Path) {
                         QFile(Path).resize(MaxTaskFileBytes + 1); // sparse: costs no disk
                         WriteBytes(Beside(Path, "upd"), QByteArray(MaxMarkerFileBytes + 1, ' '));
                     },
                     [](const QString& Path) {
                         EXPECT_EQ(ErrorOf([&] { ReadFileText(Beside(Path, "upd")); }),
                                   QStringLiteral("Cannot read file \"%1\". It is larger than 4096 bytes")
                                       .arg(Beside(Path, "upd")));
                         return LoadThenSave(Path);
                     },
                     "Cannot read file \"%1\". It is larger than 67108864 bytes",
                     [](const QString& Path) {
                         EXPECT_EQ(QFileInfo(Path + QStringLiteral(".unread")).size(), MaxTaskFileBytes + 1);
                     }},
        THostileCase{
            "nul inside a row", [](const QString& Path) { WriteBytes(Path, NulInRow); }, LoadThenSave,
            "Cannot read file \"%1\". It holds a NUL character within its rows",
            [](const QString& Path) { EXPECT_EQ(ReadBytes(Path + QStringLiteral(".bak")), NulInRow); }},
        THostileCase{"symlink after a failed load",
                     [](const QString& Path) {
                         WriteBytes(Outside(Path), "not a task list\r\n");
                         Relinked(nullptr, "tasks.db")(Path);
                     },
                     LoadThenSave, "List index out of bounds (2)",
                     [](const QString& Path) {
                         EXPECT_EQ(ReadBytes(Outside(Path)), QByteArray("not a task list\r\n"));
                         EXPECT_FALSE(QFileInfo(Path).isSymLink());
                     }},
        THostileCase{"leftover temporary of the wrong type",
                     [](const QString& Path) {
                         QDir().mkpath(Path + QStringLiteral(".tmp/inner"));
                         Relinked(nullptr, "tasks.db.tmp-0")(Path);
                     },
                     [](const QString& Path) { return SaveNew(Path); }, "<no error>",
                     [](const QString& Path) {
                         EXPECT_EQ(ReadBytes(Path), NewList);
                         EXPECT_EQ(ReadBytes(Outside(Path)), QByteArray("the user's document"));
                     }},
        THostileCase{
            "user's files named like temporaries",
            [](const QString& Path) {
                for (const char* name : {"tasks.db.tmp-mynotes.txt", "TASKS.DB.TMP-Upper", "Tasks.db.tmp",
                                         "tasks.db.tmp-Notes", "tasks.db.tmp-0ab9z", "tasks.db.tmp"})
                    WriteBytes(Beside(Path, name), name);
            },
            [](const QString& Path) { return ErrorOf([&] { RemoveLeftoverTemporaries(Path); }); },
            "<no error>",
            [](const QString& Path) {
                QStringList kept = QFileInfo(Path).dir().entryList({QStringLiteral("*.tmp*")}, QDir::Files);
                kept.sort();
                EXPECT_EQ(kept.join(u' '), QStringLiteral("TASKS.DB.TMP-Upper Tasks.db.tmp "
                                                          "tasks.db.tmp-Notes tasks.db.tmp-mynotes.txt"));
            }},
        THostileCase{"fchmod refused",
                     [](const QString& Path) { ::chmod(QFile::encodeName(Path).constData(), 0600); },
                     [](const QString& Path) {
                         return UnderFileSizeLimit(
                             RLIM_INFINITY, [&] { return SaveNew(Path); }, DenyFchmod);
                     },
                     "Stream write error \"%1\". Operation not permitted",
                     [](const QString& Path) {
                         EXPECT_EQ(ReadBytes(Path), OldList);
                         EXPECT_EQ(QFileInfo(Path).permissions() & QFileDevice::ReadOther, 0);
                     }},
        THostileCase{"settings over the cap",
                     [](const QString& Path) {
                         WriteBytes(Beside(Path, "settings.ini"), "[InactivityDetection]\r\nPeriod=5\r\n");
                         QFile(Beside(Path, "settings.ini")).resize(MaxSettingsFileBytes + 1);
                     },
                     [](const QString& Path) {
                         TSettings settings(Beside(Path, "settings.ini"));
                         EXPECT_EQ(settings.InactivityDetectionPeriod(), 600u);
                         return ErrorOf([&] { settings.SetInactivityDetectionPeriod(7); })
                             .replace(Beside(Path, "settings.ini"), Path);
                     },
                     "Unable to write to %1. It is larger than 1048576 bytes",
                     [](const QString& Path) {
                         EXPECT_EQ(QFileInfo(Beside(Path, "settings.ini")).size(), MaxSettingsFileBytes + 1);
                     }},
        THostileCase{"read-only task file",
                     [](const QString& Path) { ::chmod(QFile::encodeName(Path).constData(), 0400); },
                     [](const QString& Path) { return SaveNew(Path); },
                     "Cannot create file \"%1\". Permission denied",
                     [](const QString& Path) { EXPECT_EQ(ReadBytes(Path), OldList); }},
        THostileCase{"history that is not a database",
                     [](const QString& Path) { WriteBytes(Beside(Path, "history.sqlite"), "my notes\n"); },
                     [](const QString& Path) { return TrackWithHistory(Path); }, "<no error>",
                     HistoryStartedAnew("history.sqlite.bad",
                                        [](const QString& Path) {
                                            EXPECT_EQ(ReadBytes(Beside(Path, "history.sqlite.bad")),
                                                      QByteArray("my notes\n"));
                                        })},
        THostileCase{"damaged history", DamagedHistory,
                     [](const QString& Path) { return TrackWithHistory(Path); }, "<no error>",
                     HistoryStartedAnew("history.sqlite.bad")},
        THostileCase{"history is a link", Relinked(nullptr, "history.sqlite"),
                     [](const QString& Path) { return TrackWithHistory(Path); }, "<no error>",
                     HistoryStartedAnew("history.sqlite.bad",
                                        [](const QString& Path) {
                                            EXPECT_EQ(ReadBytes(Outside(Path)),
                                                      QByteArray("the user's document"));
                                        })},
        THostileCase{"history locked by another program", [](const QString& Path) { TrackWithHistory(Path); },
                     [](const QString& Path) {
                         sqlite3* other = nullptr;
                         sqlite3_open(QFile::encodeName(Beside(Path, "history.sqlite")).constData(), &other);
                         sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
                         const QString error =
                             TrackWithHistory(Path, 40); // retried at every tick, then given up
                         sqlite3_close_v2(other);
                         return error;
                     },
                     "<no error>", HistoryStartedAnew("history.sqlite.bad")},
        THostileCase{"history on a full disk", Nothing, TrackOnAFullDisk, "<no error>",
                     HistoryStartedAnew(nullptr)},
        THostileCase{"read-only history", ReadOnlyHistory, TrackAsNobody, "<no error>",
                     HistoryStartedAnew("history.sqlite.bad")},
        THostileCase{"empty version",
                     [](const QString& Path) {
                         WriteBytes(Beside(Path, "version"), "2.5.2.21");
                         Relinked(nullptr, "upd")(Path);
                     },
                     [](const QString& Path) {
                         WriteFileText(Beside(Path, "upd"), QStringLiteral("1"));
                         const QString version = Beside(Path, "version");
                         return UnderFileSizeLimit(4,
                                                   [&] {
                                                       return ErrorOf([&] {
                                                           WriteFileText(version, QStringLiteral("2.5.2.24"));
                                                       });
                                                   })
                             .replace(version, Path); // the table's texts name Path
                     },
                     "Stream write error \"%1\". File too large",
                     [](const QString& Path) {
                         EXPECT_EQ(ReadBytes(Beside(Path, "version")), QByteArray("2.5.2.21"))
                             << "never left empty";
                         EXPECT_FALSE(QFileInfo(Beside(Path, "upd")).isSymLink()) << "a link is replaced";
                         EXPECT_EQ(ReadBytes(Outside(Path)), QByteArray("the user's document"));
                     }}));

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
    // What the killed saves left is removed at the next start; a link under such a name is not ours.
    const QString outside = dir.File(QStringLiteral("document"));
    WriteBytes(outside, "keep");
    ASSERT_TRUE(QFile::link(outside, path + QStringLiteral(".tmp-planted")));
    RemoveLeftoverTemporaries(path);
    EXPECT_EQ(QDir(dir.Path()).entryList({QStringLiteral("tasks.db.tmp*")}, QDir::Files | QDir::System),
              QStringList{QStringLiteral("tasks.db.tmp-planted")});
    EXPECT_EQ(ReadBytes(outside), QByteArray("keep"));
    EXPECT_TRUE(QFileInfo::exists(path));
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
