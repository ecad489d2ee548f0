// SPDX-License-Identifier: MIT
#include "TaskFile.h"

#include "Errors.h"
#include "FakeTickCounter.h"
#include "FileTestUtil.h"
#include "TaskTracker.h"
#include "TempDir.h"

#include <QDir>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {
using TRows = std::vector<std::pair<QString, std::uint32_t>>;

TRows RowsOf(const TTaskTracker& Tracker) {
    TRows rows;
    for (int i = 0; i < Tracker.Count(); ++i)
        rows.emplace_back(Tracker.Row(i).Caption(), Tracker.Row(i).Clock().ElapsedMs);
    return rows;
}

void Fill(TTaskTracker& Tracker, const TRows& Rows) {
    for (const auto& [caption, ms] : Rows)
        Tracker.SetElapsedMs(Tracker.AppendTask(caption), ms);
}

QString LoadError(TTaskTracker& Tracker, const QString& Path) {
    try {
        LoadTasks(Tracker, Path);
    } catch (const EAppError& e) {
        return e.Message();
    }
    return QStringLiteral("<no error>");
}

TEST(TaskFileTest, EmptyListIsTheByteOrderMarkAlone) {
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    TTempDir dir;
    SaveTasks(tracker, dir.File(QStringLiteral("tasks.db")));
    EXPECT_EQ(ReadBytes(dir.File(QStringLiteral("tasks.db"))), QByteArray("\xEF\xBB\xBF"));
}

TEST(TaskFileTest, ExactBytesOfAFile) {
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    Fill(tracker, {{QStringLiteral("Caf\u00e9"), 3723000},
                   {QString(), 999},
                   {QStringLiteral("Max"), 4294967295u},
                   {QStringLiteral("Invoices, Z\u00fcrich \u6f22 and Bern"), 0}}); // beyond eight ASCII units
    EXPECT_EQ(TaskFileBytes(tracker),
              QByteArray("\xEF\xBB\xBF"
                         "Caf\xC3\xA9\r\n1:02:03\r\n3723000\r\n"
                         "\r\n0:00\r\n999\r\n"
                         "Max\r\n1193:02:47\r\n4294967295\r\n"
                         "Invoices, Z\xC3\xBCrich \xE6\xBC\xA2 and Bern\r\n0:00\r\n0\r\n"));
}

TEST(TaskFileTest, RoundTripKeepsEveryCaptionAndTime) {
    const TRows rows = {{QStringLiteral("Caf\u00e9"), 0},
                        {QString(), 1},
                        {QStringLiteral("  padded  "), 59999},
                        {QStringLiteral("\u65e5\u672c\u8a9e \U0001F600"), 2147483647u},
                        {QStringLiteral("tab\there"), 2147483648u},
                        {QStringLiteral("\u20ac \u0152 \u017e"), 4294967295u}};
    TFakeTickCounter ticks;
    TTaskTracker saved(ticks);
    Fill(saved, rows);
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("tasks.db"));
    SaveTasks(saved, path);
    const QByteArray bytes = ReadBytes(path);
    TTaskTracker loaded(ticks);
    LoadTasks(loaded, path);
    EXPECT_EQ(RowsOf(loaded), rows);
    EXPECT_EQ(loaded.Row(5).TimeText(), QStringLiteral("1193:02:47"));
    EXPECT_EQ(loaded.ActiveTask(), nullptr);
    EXPECT_EQ(ReadBytes(path), bytes) << "loading never writes the file";
    EXPECT_FALSE(PathExists(path + QStringLiteral(".bak")));
}

TEST(TaskFileTest, LineBreaksInCaptionsBecomeBlanksSoTheFileLoadsBack) {
    TFakeTickCounter ticks;
    TTaskTracker saved(ticks);
    Fill(saved, {{QStringLiteral("two\r\nlines"), 5000}, {QStringLiteral("cr\rlf\n"), 7000}});
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("tasks.db"));
    SaveTasks(saved, path);
    TTaskTracker loaded(ticks);
    LoadTasks(loaded, path);
    EXPECT_EQ(RowsOf(loaded), (TRows{{QStringLiteral("two lines"), 5000}, {QStringLiteral("cr lf "), 7000}}));
}

struct TLoadCase {
    const char* Name;
    QByteArray Bytes;
    TRows Rows;
    const char* Error; // nullptr: loads without error
};

class LoadTasksTest : public ::testing::TestWithParam<TLoadCase> {};

TEST_P(LoadTasksTest, LoadsRowsUpToTheFault) {
    const TLoadCase& c = GetParam();
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("tasks.db"));
    WriteBytes(path, c.Bytes);
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    const QString error = LoadError(tracker, path);
    EXPECT_EQ(error, c.Error ? QString::fromUtf8(c.Error).arg(path) : QStringLiteral("<no error>")) << c.Name;
    EXPECT_EQ(RowsOf(tracker), c.Rows) << c.Name;
    EXPECT_EQ(ReadBytes(path), c.Bytes) << c.Name;
    // A failed load keeps the whole unread file aside.
    EXPECT_EQ(ReadBytes(path + QStringLiteral(".bak")), c.Error ? c.Bytes : QByteArray("<missing>"))
        << c.Name;
}

const QString A = QStringLiteral("A");
const QString B = QStringLiteral("B");

INSTANTIATE_TEST_SUITE_P(
    Files, LoadTasksTest,
    ::testing::Values(
        TLoadCase{"empty", QByteArray(), {}, nullptr},
        TLoadCase{"mark only", QByteArray("\xEF\xBB\xBF"), {}, nullptr},
        TLoadCase{
            "crlf", QByteArray("A\r\n0:01\r\n1000\r\nB\r\n0:00\r\n2\r\n"), {{A, 1000}, {B, 2}}, nullptr},
        TLoadCase{"no final break", QByteArray("A\r\n0:01\r\n1000"), {{A, 1000}}, nullptr},
        TLoadCase{"lone cr", QByteArray("A\r0:01\r1000\r"), {{A, 1000}}, nullptr},
        TLoadCase{"mixed", QByteArray("A\n\r\n7\rB\r\n\n8"), {{A, 7}, {B, 8}}, nullptr},
        TLoadCase{"wrong time text", QByteArray("A\r\n99:99:99\r\n61000\r\n"), {{A, 61000}}, nullptr},
        TLoadCase{"nul ends text", QByteArray("A\r\n\r\n5\r\n\0\0\0", 11), {{A, 5}}, nullptr},
        TLoadCase{"nul padding cuts the last row",
                  QByteArray("A\r\n\r\n5\r\nB\r\n\r\n6100\0\0", 19),
                  {{A, 5}},
                  "Cannot read file \"%1\". It holds a NUL character within its rows"},
        TLoadCase{"utf16le",
                  QByteArray("\xFF\xFE"
                             "A\0\n\0\n\0"
                             "9\0",
                             10),
                  {{A, 9}},
                  nullptr},
        TLoadCase{"utf16be",
                  QByteArray("\xFE\xFF\0"
                             "A\0\n\0\n\0"
                             "9",
                             10),
                  {{A, 9}},
                  nullptr},
        TLoadCase{"cp1252", QByteArray("Caf\xE9\r\n\r\n3\r\n"), {{QStringLiteral("Caf\u00e9"), 3}}, nullptr},
        TLoadCase{"spaces and plus", QByteArray("A\r\n\r\n  +42\r\n"), {{A, 42}}, nullptr},
        TLoadCase{"only caption", QByteArray("A\r\n"), {{A, 0}}, "List index out of bounds (2)"},
        TLoadCase{"two lines", QByteArray("A\r\n0:00\r\n"), {{A, 0}}, "List index out of bounds (2)"},
        TLoadCase{"caption as time",
                  QByteArray("A\r\n0:00\r\nB\r\n0:00\r\n"),
                  {{A, 0}},
                  "'B' is not a valid integer value"},
        TLoadCase{"blank line after a task",
                  QByteArray("A\r\n0:00\r\n4\r\n\r\n"),
                  {{A, 4}, {QString(), 0}},
                  "List index out of bounds (2)"},
        TLoadCase{"not a number",
                  QByteArray("A\r\n\r\n1\r\nB\r\n\r\nabc\r\nC\r\n\r\n3\r\n"),
                  {{A, 1}, {B, 0}},
                  "'abc' is not a valid integer value"},
        TLoadCase{"beyond 32 bits",
                  QByteArray("A\r\n\r\n4294967296\r\n"),
                  {{A, 0}},
                  "'4294967296' is not a valid integer value"},
        TLoadCase{"negative", QByteArray("A\r\n\r\n-1\r\n"), {{A, 0}}, "'-1' is not a valid integer value"},
        TLoadCase{
            "trailing blank", QByteArray("A\r\n\r\n5 \r\n"), {{A, 0}}, "'5 ' is not a valid integer value"},
        TLoadCase{"empty time", QByteArray("A\r\n\r\n\r\n"), {{A, 0}}, "'' is not a valid integer value"},
        TLoadCase{"bad utf8 after mark",
                  QByteArray("\xEF\xBB\xBF"
                             "Caf\xE9\r\n\r\n1\r\n"),
                  {},
                  "Cannot read file \"%1\". It is not valid UTF-8 text"},
        TLoadCase{"utf32 mark",
                  QByteArray("\xFF\xFE\0\0A\0\0\0", 8),
                  {},
                  "Cannot read file \"%1\". It is not valid UTF-16 text"},
        TLoadCase{"odd utf16",
                  QByteArray("\xFF\xFE"
                             "A\0\n",
                             5),
                  {},
                  "Cannot read file \"%1\". It is not valid UTF-16 text"},
        TLoadCase{"lone surrogate",
                  QByteArray("\xFF\xFE\x00\xD8"
                             "A\0",
                             6),
                  {},
                  "Cannot read file \"%1\". It is not valid UTF-16 text"}));

struct TFixtureCase {
    const char* File;
    TRows Rows;
};

class TaskFileFixtureTest : public ::testing::TestWithParam<TFixtureCase> {};

TEST_P(TaskFileFixtureTest, UsersFilesLoadAndSaveBackInTheCurrentFormat) {
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("tasks.db"));
    WriteBytes(path, FixtureBytes(GetParam().File));
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    LoadTasks(tracker, path);
    ASSERT_EQ(RowsOf(tracker), GetParam().Rows);
    SaveTasks(tracker, path);
    QByteArray saved = ReadBytes(path);
    EXPECT_TRUE(saved.startsWith("\xEF\xBB\xBF"));
    EXPECT_FALSE(saved.contains("\n\n") || saved.replace("\r\n", "").contains('\n'));
    TTaskTracker again(ticks);
    LoadTasks(again, path);
    EXPECT_EQ(RowsOf(again), GetParam().Rows);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, TaskFileFixtureTest,
                         ::testing::Values(TFixtureCase{"tasks-bom.db",
                                                        {{QStringLiteral("Caf\u00e9"), 3723000},
                                                         {QStringLiteral("Report"), 4294967295u}}},
                                           TFixtureCase{"tasks-lf.db",
                                                        {{QStringLiteral("Write docs"), 125000},
                                                         {QStringLiteral("Meeting"), 60000}}},
                                           TFixtureCase{"tasks-cp1252.db",
                                                        {{QStringLiteral("Caf\u00e9"), 3723000}}}));

TEST(TaskFileTest, TimeTextIsRecomputedOnLoad) {
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("tasks.db"));
    WriteBytes(path, FixtureBytes("tasks-lf.db"));
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    LoadTasks(tracker, path);
    EXPECT_EQ(tracker.Row(0).TimeText(), QStringLiteral("2:05"));
    EXPECT_EQ(tracker.Row(1).TimeText(), QStringLiteral("1:00"));
}

TEST(TaskFileTest, RepeatedFailuresNeverOverwriteAnEarlierCopy) {
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("tasks.db"));
    const std::vector<QByteArray> contents = {"first\r\n", "second\r\n", "third\r\n"};
    for (const QByteArray& bytes : contents) {
        WriteBytes(path, bytes);
        TFakeTickCounter ticks;
        TTaskTracker tracker(ticks);
        EXPECT_EQ(LoadError(tracker, path), QStringLiteral("List index out of bounds (2)"));
    }
    EXPECT_EQ(ReadBytes(path + QStringLiteral(".bak")), contents[0]);
    EXPECT_EQ(ReadBytes(path + QStringLiteral(".bak.1")), contents[1]);
    EXPECT_EQ(ReadBytes(path + QStringLiteral(".bak.2")), contents[2]);
}

TEST(TaskFileTest, TextAfterANulIsALoadErrorAndKeptAside) {
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("tasks.db"));
    const QByteArray bytes("A\r\n\r\n5\r\n\0B\r\n\r\n6\r\n", 17);
    WriteBytes(path, bytes);
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    EXPECT_EQ(LoadError(tracker, path),
              QStringLiteral("Cannot read file \"%1\". It holds a NUL character within its rows").arg(path));
    EXPECT_EQ(RowsOf(tracker), (TRows{{A, 5}}));
    EXPECT_EQ(ReadBytes(path + QStringLiteral(".bak")), bytes);
}

TEST(TaskFileTest, UnreadableFileRaisesTheOpenErrorAndAddsNothing) {
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("none/tasks.db"));
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    EXPECT_EQ(LoadError(tracker, path),
              QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(path));
    EXPECT_EQ(tracker.Count(), 0);
}

struct TTimeLineCase {
    const char* Text;
    bool Valid;
    std::uint32_t Value;
};

class TimeLineTest : public ::testing::TestWithParam<TTimeLineCase> {};

TEST_P(TimeLineTest, AcceptsOnlyUnsigned32BitNumbers) {
    std::uint32_t value = 12345;
    EXPECT_EQ(TryStrToUInt32(QString::fromUtf8(GetParam().Text), value), GetParam().Valid) << GetParam().Text;
    if (GetParam().Valid) {
        EXPECT_EQ(value, GetParam().Value) << GetParam().Text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TimeLineTest,
    ::testing::Values(TTimeLineCase{"0", true, 0}, TTimeLineCase{"4294967295", true, 4294967295u},
                      TTimeLineCase{"004294967295", true, 4294967295u}, TTimeLineCase{"4294967296", false, 0},
                      TTimeLineCase{"99999999999999999999", false, 0},
                      TTimeLineCase{"$FFFFFFFF", true, 4294967295u}, TTimeLineCase{"0x1f", true, 31},
                      TTimeLineCase{"$100000000", false, 0}, TTimeLineCase{"1f", false, 0},
                      TTimeLineCase{"", false, 0}, TTimeLineCase{" ", false, 0}, TTimeLineCase{"+", false, 0},
                      TTimeLineCase{"-0", false, 0}, TTimeLineCase{"\t5", false, 0},
                      TTimeLineCase{"5\t", false, 0}, TTimeLineCase{"1 2", false, 0}));
} // namespace
