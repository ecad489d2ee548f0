// SPDX-License-Identifier: MIT
#include "Files.h"

#include "AppData.h"
#include "Errors.h"
#include "ExecutablePath.h"
#include "FileTestUtil.h"
#include "Paths.h"
#include "TempDir.h"

#include <QDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// Sets an environment variable for one test and restores it afterwards.
class TEnvGuard final {
public:
    explicit TEnvGuard(const char* Name)
        : FName(Name), FWasSet(qEnvironmentVariableIsSet(Name)), FOld(qgetenv(Name)) {}
    ~TEnvGuard() {
        if (FWasSet)
            qputenv(FName, FOld);
        else
            qunsetenv(FName);
    }
    void Set(const QByteArray& Value) const { qputenv(FName, Value); }
    void Unset() const { qunsetenv(FName); }

private:
    const char* FName;
    bool FWasSet;
    QByteArray FOld;
};

enum class TAppDataEntry { None, Folder, File, LinkToFolder, DanglingLink };

struct TChoiceCase {
    const char* Name;
    TAppDataEntry Entry;
    bool Portable;
};

class ChooseDataFolderTest : public ::testing::TestWithParam<TChoiceCase> {};

TEST_P(ChooseDataFolderTest, PicksPortableOnlyForAFolder) {
    const TChoiceCase& c = GetParam();
    TTempDir dir;
    const QString exe = dir.File(QStringLiteral("exe"));
    QDir().mkpath(exe);
    QDir().mkpath(dir.File(QStringLiteral("elsewhere")));
    const QString portable = exe + QStringLiteral("/AppData");
    switch (c.Entry) {
    case TAppDataEntry::None:
        break;
    case TAppDataEntry::Folder:
        QDir().mkpath(portable);
        break;
    case TAppDataEntry::File:
        WriteBytes(portable, "x");
        break;
    case TAppDataEntry::LinkToFolder:
        QFile::link(dir.File(QStringLiteral("elsewhere")), portable);
        break;
    case TAppDataEntry::DanglingLink:
        QFile::link(dir.File(QStringLiteral("gone")), portable);
        break;
    }
    const QString chosen = ChooseDataFolder(exe, QStringLiteral("/home/u/roaming"));
    EXPECT_EQ(chosen, c.Portable ? portable : QStringLiteral("/home/u/roaming/Tallyvox")) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(Placements, ChooseDataFolderTest,
                         ::testing::Values(TChoiceCase{"none", TAppDataEntry::None, false},
                                           TChoiceCase{"folder", TAppDataEntry::Folder, true},
                                           TChoiceCase{"file", TAppDataEntry::File, false},
                                           TChoiceCase{"link", TAppDataEntry::LinkToFolder, true},
                                           TChoiceCase{"dangling", TAppDataEntry::DanglingLink, false}));

TEST(FilesTest, RootFolderJoinsWithoutDoubleSlash) {
    EXPECT_EQ(JoinPath(QStringLiteral("/"), QStringLiteral("AppData")), QStringLiteral("/AppData"));
    EXPECT_EQ(JoinPath(QStringLiteral("/opt"), QStringLiteral("x")), QStringLiteral("/opt/x"));
    EXPECT_EQ(ChooseDataFolder(QStringLiteral("/nonexistent-exe"), QStringLiteral("/")),
              QStringLiteral("/Tallyvox"));
}

TEST(FilesTest, FivePathsInTheCreatedPrivateFolder) {
    TTempDir dir;
    const QString appData = dir.File(QStringLiteral("a/b/c"));
    const TFiles files(dir.File(QStringLiteral("exe")), appData);
    const QString data = appData + QStringLiteral("/Tallyvox");
    EXPECT_EQ(files.DataFolder(), data);
    EXPECT_EQ(files.Version(), data + QStringLiteral("/version"));
    EXPECT_EQ(files.Upd(), data + QStringLiteral("/upd"));
    EXPECT_EQ(files.TasksDb(), data + QStringLiteral("/tasks.db"));
    EXPECT_EQ(files.NoTip(), data + QStringLiteral("/notip"));
    EXPECT_EQ(files.Settings(), data + QStringLiteral("/settings.ini"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(data).constData(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(FilesTest, DataFolderThatIsAFileFailsAtTheFirstWrite) {
    TTempDir dir;
    WriteBytes(dir.File(QStringLiteral("Tallyvox")), "not a folder");
    const TFiles files(dir.File(QStringLiteral("exe")), dir.Path());
    EXPECT_EQ(ErrorOf([&] { WriteFileText(files.Version(), QStringLiteral("2.5.2.24")); }),
              QStringLiteral("The specified path was not found"));
    EXPECT_EQ(ReadBytes(dir.File(QStringLiteral("Tallyvox"))), QByteArray("not a folder"));
}

TEST(FilesTest, DataFilesIsCreatedOnceFromTheEnvironment) {
    TTempDir dir;
    TEnvGuard appData("APPDATA");
    appData.Set(QFile::encodeName(dir.File(QStringLiteral("roaming"))));
    SetExecutableFilePathForTesting(dir.File(QStringLiteral("bin/tallyvox")));
    const QString first = DataFiles().TasksDb();
    EXPECT_EQ(first, dir.File(QStringLiteral("roaming/Tallyvox/tasks.db")));
    // A portable folder appearing later does not move the running program's files.
    QDir().mkpath(dir.File(QStringLiteral("bin/AppData")));
    EXPECT_EQ(DataFiles().TasksDb(), first);
    // The next start finds it.
    EXPECT_EQ(TFiles(ExecutableFolder(), AppDataFolder()).TasksDb(),
              dir.File(QStringLiteral("bin/AppData/tasks.db")));
    SetExecutableFilePathForTesting(QString());
}

struct TAppDataCase {
    const char* AppData;
    const char* XdgDataHome;
    const char* Expected; // "~" stands for $HOME
};

class AppDataFolderTest : public ::testing::TestWithParam<TAppDataCase> {};

TEST_P(AppDataFolderTest, FollowsTheVariablesInOrder) {
    const TAppDataCase& c = GetParam();
    TEnvGuard appData("APPDATA"), xdg("XDG_DATA_HOME"), home("HOME");
    home.Set("/home/tester");
    c.AppData ? appData.Set(c.AppData) : appData.Unset();
    c.XdgDataHome ? xdg.Set(c.XdgDataHome) : xdg.Unset();
    EXPECT_EQ(AppDataFolder(), QString::fromUtf8(c.Expected));
}

INSTANTIATE_TEST_SUITE_P(
    Variables, AppDataFolderTest,
    ::testing::Values(TAppDataCase{"/r/appdata", "/x/data", "/r/appdata"},
                      TAppDataCase{nullptr, "/x/data", "/x/data"}, TAppDataCase{"", "/x/data", "/x/data"},
                      TAppDataCase{nullptr, nullptr, "/home/tester/.local/share"},
                      TAppDataCase{nullptr, "relative/data", "/home/tester/.local/share"},
                      TAppDataCase{"", "", "/home/tester/.local/share"}));

struct TWriteCase {
    const char* Name;
    QString Text;
    QByteArray Bytes;
};

class WriteFileTextTest : public ::testing::TestWithParam<TWriteCase> {};

TEST_P(WriteFileTextTest, WritesExactlyTheUtf8Bytes) {
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("marker"));
    WriteBytes(path, "a much longer previous content that must go");
    WriteFileText(path, GetParam().Text);
    EXPECT_EQ(ReadBytes(path), GetParam().Bytes) << GetParam().Name;
    EXPECT_EQ(ReadFileText(path), GetParam().Text) << GetParam().Name;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, WriteFileTextTest,
    ::testing::Values(TWriteCase{"version", QStringLiteral("2.5.2.24"), QByteArray("2.5.2.24")},
                      TWriteCase{"empty", QString(), QByteArray()},
                      TWriteCase{"time", QStringLiteral("-1"), QByteArray("-1")},
                      TWriteCase{"accent", QStringLiteral("Caf\u00e9"), QByteArray("Caf\xC3\xA9")}));

struct TReadCase {
    const char* Name;
    QByteArray Bytes;
    QString Text;
};

class ReadFileTextTest : public ::testing::TestWithParam<TReadCase> {};

TEST_P(ReadFileTextTest, DecodesByTheByteOrderMark) {
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("marker"));
    WriteBytes(path, GetParam().Bytes);
    EXPECT_EQ(ReadFileText(path), GetParam().Text) << GetParam().Name;
}

INSTANTIATE_TEST_SUITE_P(
    Marks, ReadFileTextTest,
    ::testing::Values(TReadCase{"plain", QByteArray("2.5.2.24\r\n"), QStringLiteral("2.5.2.24\r\n")},
                      TReadCase{"utf8 mark",
                                QByteArray("\xEF\xBB\xBF"
                                           "2.5"),
                                QStringLiteral("2.5")},
                      TReadCase{"utf16le",
                                QByteArray("\xFF\xFE"
                                           "2\0.\0"
                                           "5\0",
                                           8),
                                QStringLiteral("2.5")},
                      TReadCase{"utf16be",
                                QByteArray("\xFE\xFF\0"
                                           "2\0.\0"
                                           "5",
                                           8),
                                QStringLiteral("2.5")},
                      TReadCase{"utf8 no mark", QByteArray("Caf\xC3\xA9"), QStringLiteral("Caf\u00e9")},
                      TReadCase{"cp1252", QByteArray("Caf\xE9 \x80"), QStringLiteral("Caf\u00e9 \u20ac")},
                      TReadCase{"empty", QByteArray(), QString()},
                      TReadCase{"only mark", QByteArray("\xEF\xBB\xBF"), QString()}));

struct TPathErrorCase {
    const char* Name;
    std::function<QString(const TTempDir&)> MakePath;
    const char* WriteError;
    const char* ReadError;
};

class PathErrorTest : public ::testing::TestWithParam<TPathErrorCase> {};

TEST_P(PathErrorTest, RaisesTheMessageOfTheFirstFailingCheck) {
    const TPathErrorCase& c = GetParam();
    TTempDir dir;
    WriteBytes(dir.File(QStringLiteral("plain")), "x");
    QDir().mkpath(dir.File(QStringLiteral("folder")));
    const QString path = c.MakePath(dir);
    EXPECT_EQ(ErrorOf([&] { WriteFileText(path, QStringLiteral("1")); }), QString::fromUtf8(c.WriteError))
        << c.Name;
    EXPECT_EQ(ErrorOf([&] { ReadFileText(path); }), QString::fromUtf8(c.ReadError)) << c.Name;
}

// A path of exactly Length characters in the temporary folder.
QString PathOfLength(const TTempDir& Dir, qsizetype Length) {
    const QString prefix = Dir.Path() + u'/';
    return prefix + QString(Length - prefix.size(), u'v');
}

INSTANTIATE_TEST_SUITE_P(
    Checks, PathErrorTest,
    ::testing::Values(
        TPathErrorCase{"248 chars", [](const TTempDir& d) { return PathOfLength(d, 248); },
                       "The specified path is too long", "The specified path is too long"},
        TPathErrorCase{"247 chars", [](const TTempDir& d) { return PathOfLength(d, 247); }, "<no error>",
                       "<no error>"},
        TPathErrorCase{"colon", [](const TTempDir& d) { return d.File(QStringLiteral("a:b")); },
                       "The path format is not supported", "The path format is not supported"},
        TPathErrorCase{"long and colon", [](const TTempDir& d) { return PathOfLength(d, 300) + u':'; },
                       "The specified path is too long", "The specified path is too long"},
        TPathErrorCase{"drive letter", [](const TTempDir&) { return QStringLiteral("C:/nowhere/version"); },
                       "The specified path was not found", "The specified path was not found"},
        TPathErrorCase{"tab", [](const TTempDir& d) { return d.File(QStringLiteral("a\tb")); },
                       "Invalid characters in path", "Invalid characters in path"},
        TPathErrorCase{"empty", [](const TTempDir&) { return QString(); }, "Invalid characters in path",
                       "Invalid characters in path"},
        TPathErrorCase{"blank", [](const TTempDir&) { return QStringLiteral("   "); },
                       "Invalid characters in path", "Invalid characters in path"},
        TPathErrorCase{"no folder", [](const TTempDir& d) { return d.File(QStringLiteral("none/version")); },
                       "The specified path was not found", "The specified path was not found"},
        TPathErrorCase{"folder is a file",
                       [](const TTempDir& d) { return d.File(QStringLiteral("plain/upd")); },
                       "The specified path was not found", "The specified path was not found"},
        TPathErrorCase{"missing file", [](const TTempDir& d) { return d.File(QStringLiteral("new")); },
                       "<no error>", "<no error>"}));

TEST(FilesTest, ReadOfAMissingFileOrAFolderIsNotFound) {
    TTempDir dir;
    QDir().mkpath(dir.File(QStringLiteral("folder")));
    for (const QString& name : {QStringLiteral("missing"), QStringLiteral("folder")})
        EXPECT_EQ(ErrorOf([&] { ReadFileText(dir.File(name)); }),
                  QStringLiteral("The specified file was not found"));
    EXPECT_FALSE(FileExists(dir.File(QStringLiteral("folder"))));
    EXPECT_FALSE(FileExists(dir.File(QStringLiteral("missing"))));
}

TEST(FilesTest, ExistenceFollowsLinks) {
    TTempDir dir;
    WriteBytes(dir.File(QStringLiteral("target")), "");
    QFile::link(dir.File(QStringLiteral("target")), dir.File(QStringLiteral("link")));
    QFile::link(dir.File(QStringLiteral("gone")), dir.File(QStringLiteral("dangling")));
    EXPECT_TRUE(FileExists(dir.File(QStringLiteral("link"))));
    EXPECT_FALSE(FileExists(dir.File(QStringLiteral("dangling"))));
}

TEST(FilesTest, CreateAndOpenErrorsNameTheFileAndTheSystemReason) {
    TTempDir dir;
    const QString folder = dir.File(QStringLiteral("folder"));
    QDir().mkpath(folder);
    EXPECT_EQ(ErrorOf([&] { WriteFileText(folder, QStringLiteral("x")); }),
              QStringLiteral("Cannot create file \"%1\". Is a directory").arg(folder));
    const QString locked = dir.File(QStringLiteral("locked"));
    WriteBytes(locked, "secret");
    ::chmod(QFile::encodeName(locked).constData(), 0);
    ::chmod(QFile::encodeName(dir.Path()).constData(), 0755);
    // As an ordinary user, so that the file's mode counts.
    const int code = RunInChild(
        [&] {
            const QString expectedRead =
                QStringLiteral("Cannot open file \"%1\". Permission denied").arg(locked);
            const QString expectedWrite =
                QStringLiteral("Cannot create file \"%1\". Permission denied").arg(locked);
            if (ErrorOf([&] { ReadFileText(locked); }) != expectedRead)
                return 1;
            return ErrorOf([&] { WriteFileText(locked, QStringLiteral("x")); }) == expectedWrite ? 0 : 2;
        },
        true);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadBytes(locked), QByteArray("secret"));
}

TEST(FilesTest, ADeviceIsNeverReplacedByAFile) {
    EXPECT_EQ(ErrorOf([] { WriteFileText(QStringLiteral("/dev/full"), QStringLiteral("2.5.2.24")); }),
              QStringLiteral("Cannot create file \"/dev/full\". It is not a regular file"));
    struct stat st {};
    ASSERT_EQ(::lstat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}
} // namespace
