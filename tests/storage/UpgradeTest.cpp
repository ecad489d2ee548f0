// SPDX-License-Identifier: MIT
#include "Upgrade.h"

#include "ErrorReporting.h"
#include "Errors.h"
#include "ExecutablePath.h"
#include "FakePrompt.h"
#include "FakeTickCounter.h"
#include "FileTestUtil.h"
#include "Files.h"
#include "Functions.h"
#include "TaskFile.h"
#include "TaskTracker.h"
#include "TempDir.h"

#include <QDir>
#include <gtest/gtest.h>
#include <optional>

namespace {
// A temporary executable folder ("bin", the program "bin/tallyvox") and user data folder ("roaming").
class UpgradeFixture {
protected:
    UpgradeFixture() {
        QDir().mkpath(Bin());
        SetExecutableFilePathForTesting(Bin(QStringLiteral("tallyvox")));
        SetNoVersionResourceForTesting(false);
    }
    ~UpgradeFixture() {
        SetExecutableFilePathForTesting(QString());
        SetNoVersionResourceForTesting(false);
    }
    // The program's files as a start now would fix them.
    TFiles Files() const { return TFiles(ExecutableFolder(), FDir.File(QStringLiteral("roaming"))); }
    QString Bin(const QString& Name = QString()) const {
        return Name.isEmpty() ? FDir.File(QStringLiteral("bin")) : FDir.File(QStringLiteral("bin/") + Name);
    }
    QString Data(const QString& Name) const { return FDir.File(QStringLiteral("roaming/Tallyvox/") + Name); }
    void MakeDataFolder() const { QDir().mkpath(FDir.File(QStringLiteral("roaming/Tallyvox"))); }

    TTempDir FDir;
};

class UpgradeTest : public UpgradeFixture, public ::testing::Test {};

struct TTransitionCase {
    const char* Name;
    std::optional<QByteArray> Stored; // nullopt: no version file
    bool Rewritten;
    bool TxtMigrated, ExeFolderMigrated, SettingsMigrated;
};

class UpgradeTransitionTest : public UpgradeFixture, public ::testing::TestWithParam<TTransitionCase> {};

TEST_P(UpgradeTransitionTest, RunsTheMigrationsBelowTheStoredBuild) {
    const TTransitionCase& c = GetParam();
    MakeDataFolder();
    if (c.Stored)
        WriteBytes(Data(QStringLiteral("version")), *c.Stored);
    WriteBytes(Bin(QStringLiteral("tallyvox.txt")), "Old\r\n0:00\r\n1\r\n");
    WriteBytes(Bin(QStringLiteral("upd")), "12345");
    WriteBytes(Bin(QStringLiteral("settings.ini")), "[InactivityDetection]\r\n");
    TUpgrade::Upgrade(Files());
    EXPECT_EQ(ReadBytes(Data(QStringLiteral("version"))),
              c.Rewritten ? QByteArray("2.5.2.24") : c.Stored.value_or("<missing>"))
        << c.Name;
    // The .txt list travels on into the data folder when the folder files move as well.
    EXPECT_EQ(PathExists(Bin(QStringLiteral("tallyvox.txt"))), !c.TxtMigrated) << c.Name;
    EXPECT_EQ(PathExists(Data(QStringLiteral("tasks.db"))), c.TxtMigrated && c.ExeFolderMigrated) << c.Name;
    EXPECT_EQ(PathExists(Bin(QStringLiteral("upd"))), !c.ExeFolderMigrated) << c.Name;
    EXPECT_EQ(PathExists(Bin(QStringLiteral("settings.ini"))), !c.SettingsMigrated) << c.Name;
    EXPECT_EQ(PathExists(Data(QStringLiteral("settings.ini"))), c.SettingsMigrated) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Transitions, UpgradeTransitionTest,
    ::testing::Values(
        TTransitionCase{"no version file", std::nullopt, true, true, true, true},
        TTransitionCase{"current", QByteArray("2.5.2.24"), false, false, false, false},
        TTransitionCase{"current with line break", FixtureBytes("version-current-crlf"), false, false, false,
                        false},
        TTransitionCase{"current with mark", FixtureBytes("version-current-bom"), false, false, false, false},
        TTransitionCase{"padded current", QByteArray(" \t2.5.2.24 \x01"), false, false, false, false},
        TTransitionCase{"21", FixtureBytes("version-2.5.2.21"), true, false, false, true},
        TTransitionCase{"19", QByteArray("2.5.2.19"), true, false, true, true},
        TTransitionCase{"18", QByteArray("2.4.0.18"), true, true, true, true},
        TTransitionCase{"22", QByteArray("2.5.2.22"), true, false, false, false},
        TTransitionCase{"other parts, low build", QByteArray("3.0.0.5"), true, true, true, true},
        TTransitionCase{"higher build", QByteArray("2.5.2.30"), true, false, false, false},
        TTransitionCase{"same build, other text", QByteArray("9.9.9.24"), true, false, false, false},
        TTransitionCase{"empty", QByteArray(), true, true, true, true},
        TTransitionCase{"garbage", QByteArray("\x01garbage\xff"), true, true, true, true},
        TTransitionCase{"trailing dot", QByteArray("2.5."), true, true, true, true},
        TTransitionCase{"fewer parts", QByteArray("2.21"), true, false, false, true},
        TTransitionCase{"more parts", QByteArray("2.5.2.24.19"), true, false, true, true},
        TTransitionCase{"part above 65535", QByteArray("2.5.2.65536"), true, false, false, false},
        TTransitionCase{"case differs", QByteArray("2.5.2.24a"), true, false, false, false}));

struct TBuildCase {
    const char* Text;
    std::int32_t Build;
};

class GetBuildNumberTest : public ::testing::TestWithParam<TBuildCase> {};

TEST_P(GetBuildNumberTest, ReadsTheNumberAfterTheLastDot) {
    EXPECT_EQ(TUpgrade::GetBuildNumber(QString::fromUtf8(GetParam().Text)), GetParam().Build)
        << GetParam().Text;
}

INSTANTIATE_TEST_SUITE_P(Texts, GetBuildNumberTest,
                         ::testing::Values(TBuildCase{"2.5.2.24", 24}, TBuildCase{"", -1},
                                           TBuildCase{"24", -1}, TBuildCase{"2.5.", 0}, TBuildCase{"2.x", 0},
                                           TBuildCase{"2.24a", 24}, TBuildCase{"1. 7", 7},
                                           TBuildCase{"1.-3", -3}, TBuildCase{"1.+3", 3},
                                           TBuildCase{"1.--3", 0}, TBuildCase{"1.2.3.4.5", 5},
                                           TBuildCase{"1.2147483647", 2147483647},
                                           TBuildCase{"1.99999999999999999999", 2147483647},
                                           TBuildCase{"1.-99999999999999999999", -2147483647 - 1}));

TEST_F(UpgradeTest, NewInstallationDeletesOldMarkersAndWritesTheVersion) {
    for (const char* name : {"version", "upd", "notip"})
        WriteBytes(Bin(QString::fromLatin1(name)), "old");
    TUpgrade::Upgrade(Files());
    EXPECT_EQ(ReadBytes(Data(QStringLiteral("version"))), QByteArray("2.5.2.24"));
    for (const char* name : {"version", "upd", "notip"})
        EXPECT_FALSE(PathExists(Bin(QString::fromLatin1(name)))) << name;
    EXPECT_FALSE(PathExists(Data(QStringLiteral("tasks.db"))));
}

TEST_F(UpgradeTest, ExistingDataFileIsNeverOverwritten) {
    MakeDataFolder();
    WriteBytes(Data(QStringLiteral("tasks.db")), "current");
    WriteBytes(Bin(QStringLiteral("tasks.db")), "old");
    WriteBytes(Data(QStringLiteral("settings.ini")), "current ini");
    WriteBytes(Bin(QStringLiteral("settings.ini")), "old ini");
    TUpgrade::Upgrade(Files());
    EXPECT_EQ(ReadBytes(Data(QStringLiteral("tasks.db"))), QByteArray("current"));
    EXPECT_EQ(ReadBytes(Bin(QStringLiteral("tasks.db"))), QByteArray("old"));
    EXPECT_EQ(ReadBytes(Data(QStringLiteral("settings.ini"))), QByteArray("current ini"));
    EXPECT_EQ(ReadBytes(Bin(QStringLiteral("settings.ini"))), QByteArray("old ini"));
}

TEST_F(UpgradeTest, TxtRenameDoesNotReplaceATasksDbBesideTheExecutable) {
    WriteBytes(Bin(QStringLiteral("tallyvox.txt")), "txt");
    WriteBytes(Bin(QStringLiteral("tasks.db")), "db");
    TUpgrade::MigrateTxtTasksFile();
    EXPECT_EQ(ReadBytes(Bin(QStringLiteral("tallyvox.txt"))), QByteArray("txt"));
    EXPECT_EQ(ReadBytes(Bin(QStringLiteral("tasks.db"))), QByteArray("db"));
}

TEST_F(UpgradeTest, PortableInstallationMovesIntoAppData) {
    QDir().mkpath(Bin(QStringLiteral("AppData")));
    WriteBytes(Bin(QStringLiteral("tasks.db")), "tasks");
    WriteBytes(Bin(QStringLiteral("settings.ini")), "ini");
    TUpgrade::Upgrade(Files());
    EXPECT_EQ(ReadBytes(Bin(QStringLiteral("AppData/tasks.db"))), QByteArray("tasks"));
    EXPECT_EQ(ReadBytes(Bin(QStringLiteral("AppData/settings.ini"))), QByteArray("ini"));
    EXPECT_EQ(ReadBytes(Bin(QStringLiteral("AppData/version"))), QByteArray("2.5.2.24"));
    EXPECT_FALSE(PathExists(Bin(QStringLiteral("tasks.db"))));
    EXPECT_FALSE(PathExists(FDir.File(QStringLiteral("roaming/Tallyvox"))));
}

TEST_F(UpgradeTest, OldTxtListIsLoadedInTheSameStart) {
    WriteBytes(Bin(QStringLiteral("tallyvox.txt")), "Old task\r\n1:00\r\n60000\r\n");
    TUpgrade::Upgrade(Files());
    ASSERT_TRUE(FileExists(Files().TasksDb()));
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    LoadTasks(tracker, Files().TasksDb());
    ASSERT_EQ(tracker.Count(), 1);
    EXPECT_EQ(tracker.Row(0).Caption(), QStringLiteral("Old task"));
    EXPECT_EQ(tracker.Row(0).Clock().ElapsedMs, 60000u);
    EXPECT_FALSE(PathExists(Bin(QStringLiteral("tasks.db"))));
}

TEST_F(UpgradeTest, NoVersionResourceWritesAnEmptyVersionAndMigratesNothing) {
    SetNoVersionResourceForTesting(true);
    WriteBytes(Bin(QStringLiteral("upd")), "1");
    WriteBytes(Bin(QStringLiteral("tasks.db")), "tasks");
    TUpgrade::Upgrade(Files());
    EXPECT_EQ(ReadBytes(Data(QStringLiteral("version"))), QByteArray());
    EXPECT_TRUE(PathExists(Bin(QStringLiteral("upd"))));
    EXPECT_TRUE(PathExists(Bin(QStringLiteral("tasks.db"))));
}

TEST_F(UpgradeTest, SourcesThatAreNotPlainFilesStay) {
    const QString outside = FDir.File(QStringLiteral("outside.db"));
    WriteBytes(outside, "foreign");
    WriteBytes(Bin(QStringLiteral("real.db")), "inside");
    const std::vector<std::pair<const char*, std::function<void(const QString&)>>> cases = {
        {"folder", [](const QString& s) { QDir().mkpath(s + QStringLiteral("/inner")); }},
        {"link out of the folder", [&](const QString& s) { QFile::link(outside, s); }},
        {"relative link out", [](const QString& s) { QFile::link(QStringLiteral("../outside.db"), s); }},
        {"dangling link", [](const QString& s) { QFile::link(QStringLiteral("gone.db"), s); }},
    };
    for (const auto& [name, make] : cases) {
        const QString source = Bin(QStringLiteral("tasks.db"));
        make(source);
        EXPECT_FALSE(TUpgrade::MoveToDataFolder(Files().DataFolder(), QStringLiteral("tasks.db"))) << name;
        EXPECT_FALSE(PathExists(Data(QStringLiteral("tasks.db")))) << name;
        EXPECT_TRUE(PathExists(source)) << name;
        QFile::remove(source);
        QDir(source).removeRecursively();
    }
    EXPECT_EQ(ReadBytes(outside), QByteArray("foreign"));
    // A link that stays within the executable's folder is followed.
    QFile::link(Bin(QStringLiteral("real.db")), Bin(QStringLiteral("tasks.db")));
    EXPECT_TRUE(TUpgrade::MoveToDataFolder(Files().DataFolder(), QStringLiteral("tasks.db")));
    EXPECT_EQ(ReadBytes(Data(QStringLiteral("tasks.db"))), QByteArray("inside"));
    EXPECT_FALSE(PathExists(Bin(QStringLiteral("tasks.db"))));
}

TEST_F(UpgradeTest, UnreadableFileAndReadOnlyFolderMoveNothingAndFailNothing) {
    ::chmod(QFile::encodeName(FDir.Path()).constData(), 0777);
    MakeDataFolder();
    ::chmod(QFile::encodeName(FDir.File(QStringLiteral("roaming/Tallyvox"))).constData(), 0777);
    WriteBytes(Bin(QStringLiteral("tasks.db")), "tasks");
    WriteBytes(Bin(QStringLiteral("settings.ini")), "ini");
    ::chmod(QFile::encodeName(Bin(QStringLiteral("settings.ini"))).constData(), 0);
    WriteBytes(Data(QStringLiteral("version")), "2.5.2.18");
    ::chmod(QFile::encodeName(Data(QStringLiteral("version"))).constData(), 0666);
    ::chmod(QFile::encodeName(Bin()).constData(), 0555); // as a system-wide install
    const int code = RunInChild([this] { return TUpgrade::Upgrade(Files()), 0; }, true);
    ::chmod(QFile::encodeName(Bin()).constData(), 0755);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadBytes(Data(QStringLiteral("version"))), QByteArray("2.5.2.24"));
    EXPECT_EQ(ReadBytes(Bin(QStringLiteral("tasks.db"))), QByteArray("tasks"));
    EXPECT_FALSE(PathExists(Data(QStringLiteral("tasks.db"))));
    EXPECT_FALSE(PathExists(Data(QStringLiteral("settings.ini"))));
}

TEST_F(UpgradeTest, DataFolderThatCannotBeCreatedRaisesPathNotFound) {
    WriteBytes(FDir.File(QStringLiteral("roaming")), "a file where the folder should be");
    try {
        TUpgrade::Upgrade(Files());
        FAIL() << "no error";
    } catch (const EAppError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("The specified path was not found"));
    }
}

TEST_F(UpgradeTest, FailingUpgradeIsReportedAndTheListStillLoads) {
    MakeDataFolder();
    QDir().mkpath(Data(QStringLiteral("version"))); // neither readable nor writable as a file
    WriteBytes(Data(QStringLiteral("tasks.db")), "Kept\r\n0:01\r\n1000\r\n");
    TFakePrompt prompt;
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    RunGuarded(prompt, [this] { TUpgrade::Upgrade(Files()); });
    RunGuarded(prompt, [&] {
        if (FileExists(Files().TasksDb()))
            LoadTasks(tracker, Files().TasksDb());
    });
    ASSERT_EQ(prompt.MessageRequests.size(), 1u);
    EXPECT_EQ(
        prompt.MessageRequests[0].Text,
        QStringLiteral("Cannot create file \"%1\". Is a directory.").arg(Data(QStringLiteral("version"))));
    ASSERT_EQ(tracker.Count(), 1);
    EXPECT_EQ(tracker.Row(0).Caption(), QStringLiteral("Kept"));
}

TEST_F(UpgradeTest, DataFolderBesideTheExecutableIsLeftAlone) {
    // An unusual install: the executable lives in the data folder itself.
    const QString data = FDir.File(QStringLiteral("roaming/Tallyvox"));
    QDir().mkpath(data);
    SetExecutableFilePathForTesting(data + QStringLiteral("/tallyvox"));
    WriteBytes(data + QStringLiteral("/upd"), "777");
    WriteBytes(data + QStringLiteral("/tasks.db"), "tasks");
    TUpgrade::Upgrade(Files());
    EXPECT_EQ(ReadBytes(data + QStringLiteral("/upd")), QByteArray("777"));
    EXPECT_EQ(ReadBytes(data + QStringLiteral("/version")), QByteArray("2.5.2.24"));
    EXPECT_EQ(ReadBytes(data + QStringLiteral("/tasks.db")), QByteArray("tasks"));
}
} // namespace
