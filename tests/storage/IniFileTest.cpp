// SPDX-License-Identifier: MIT
#include "IniFile.h"

#include "Errors.h"
#include "FileTestUtil.h"
#include "TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString Section = QStringLiteral("InactivityDetection");
const QString Period = QStringLiteral("Period");

QByteArray Bytes(const char* Text) {
    return QByteArray(Text);
}

struct TLookupCase {
    const char* Name;
    QByteArray Content;
    const char* Section;
    const char* Key;
    std::optional<QString> Expected;
};

class IniLookupTest : public ::testing::TestWithParam<TLookupCase> {};

TEST_P(IniLookupTest, FindsTheValueByThePlatformRules) {
    const TLookupCase& c = GetParam();
    const auto found = IniLookup(c.Content, QString::fromLatin1(c.Section), QString::fromLatin1(c.Key));
    ASSERT_EQ(found.has_value(), c.Expected.has_value());
    if (found) {
        EXPECT_EQ(found->toStdString(), c.Expected->toStdString());
    }
}

const QString S600 = QStringLiteral("600");

INSTANTIATE_TEST_SUITE_P(
    HandEdited, IniLookupTest,
    ::testing::Values(
        TLookupCase{"Plain", Bytes("[InactivityDetection]\r\nEnabled=1\r\nPeriod=600\r\n"),
                    "InactivityDetection", "Period", S600},
        TLookupCase{"LowerCaseNames", Bytes("[inactivitydetection]\r\nperiod=600\r\n"), "InactivityDetection",
                    "Period", S600},
        TLookupCase{"UpperCaseLookup", Bytes("[InactivityDetection]\r\nPeriod=600\r\n"),
                    "INACTIVITYDETECTION", "PERIOD", S600},
        TLookupCase{"BlanksAroundEquals", Bytes("[InactivityDetection]\r\n  Period \t=  600 \t\r\n"),
                    "InactivityDetection", "Period", S600},
        TLookupCase{"BlanksInHeader", Bytes("  [ InactivityDetection ]  \r\nPeriod=600\r\n"),
                    "InactivityDetection", "Period", S600},
        TLookupCase{"DoubleQuotes", Bytes("[InactivityDetection]\r\nPeriod=\"600\"\r\n"),
                    "InactivityDetection", "Period", S600},
        TLookupCase{"SingleQuotes", Bytes("[InactivityDetection]\r\nPeriod= '600' \r\n"),
                    "InactivityDetection", "Period", S600},
        TLookupCase{"OnlyOnePairOfQuotes", Bytes("[InactivityDetection]\r\nPeriod=\"\"600\"\"\r\n"),
                    "InactivityDetection", "Period", QStringLiteral("\"600\"")},
        TLookupCase{"UnmatchedQuotesKept", Bytes("[InactivityDetection]\r\nPeriod=\"600'\r\n"),
                    "InactivityDetection", "Period", QStringLiteral("\"600'")},
        TLookupCase{"LoneQuoteKept", Bytes("[InactivityDetection]\r\nPeriod=\"\r\n"), "InactivityDetection",
                    "Period", QStringLiteral("\"")},
        TLookupCase{"EmptyValue", Bytes("[InactivityDetection]\r\nPeriod=\r\n"), "InactivityDetection",
                    "Period", QString()},
        TLookupCase{"EqualsInValue", Bytes("[InactivityDetection]\r\nPeriod=a=b\r\n"), "InactivityDetection",
                    "Period", QStringLiteral("a=b")},
        TLookupCase{"LfOnly", Bytes("[InactivityDetection]\nEnabled=0\nPeriod=600\n"), "InactivityDetection",
                    "Period", S600},
        TLookupCase{"NoFinalLineBreak", Bytes("[InactivityDetection]\r\nPeriod=600"), "InactivityDetection",
                    "Period", S600},
        TLookupCase{"Bom", Bytes("\xEF\xBB\xBF[InactivityDetection]\r\nPeriod=600\r\n"),
                    "InactivityDetection", "Period", S600},
        TLookupCase{"FirstDuplicateKeyWins", Bytes("[InactivityDetection]\r\nPeriod=600\r\nPeriod=5\r\n"),
                    "InactivityDetection", "Period", S600},
        TLookupCase{"FirstDuplicateSectionWins",
                    Bytes("[InactivityDetection]\r\nEnabled=0\r\n[InactivityDetection]\r\nPeriod=5\r\n"),
                    "InactivityDetection", "Period", std::nullopt},
        TLookupCase{"KeyOfAnotherSection",
                    Bytes("[Other]\r\nPeriod=5\r\n[InactivityDetection]\r\nEnabled=1\r\n"),
                    "InactivityDetection", "Period", std::nullopt},
        TLookupCase{"KeyAfterTheSectionEnds", Bytes("[InactivityDetection]\r\n[Other]\r\nPeriod=5\r\n"),
                    "InactivityDetection", "Period", std::nullopt},
        TLookupCase{"KeyBeforeAnySection", Bytes("Period=5\r\n[InactivityDetection]\r\n"),
                    "InactivityDetection", "Period", std::nullopt},
        TLookupCase{"KeyIsNotAPrefix", Bytes("[InactivityDetection]\r\nPeriodX=5\r\n"), "InactivityDetection",
                    "Period", std::nullopt},
        TLookupCase{"SectionIsNotAPrefix", Bytes("[InactivityDetectionX]\r\nPeriod=5\r\n"),
                    "InactivityDetection", "Period", std::nullopt},
        TLookupCase{"LineWithoutEquals", Bytes("[InactivityDetection]\r\nPeriod\r\n"), "InactivityDetection",
                    "Period", std::nullopt},
        TLookupCase{"EmptyFile", Bytes(""), "InactivityDetection", "Period", std::nullopt}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(IniLookupLimitTest, ValueIsCutAt2047Characters) {
    // 2046 zeros and a 1 are a valid number only if the cut falls exactly after the 1.
    const QByteArray value = QByteArray(2046, '0') + "1x";
    const auto found = IniLookup("[S]\r\nK=" + value + "\r\n", QStringLiteral("S"), QStringLiteral("K"));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->size(), 2047);
    EXPECT_EQ(found->right(2), QStringLiteral("01"));
}

struct TAssignCase {
    const char* Name;
    QByteArray Before;
    const char* Key;
    const char* Value;
    QByteArray After;
};

class IniAssignTest : public ::testing::TestWithParam<TAssignCase> {};

TEST_P(IniAssignTest, ChangesOnlyTheValueItWrites) {
    const TAssignCase& c = GetParam();
    const QByteArray after =
        IniAssign(c.Before, Section, QString::fromLatin1(c.Key), QString::fromLatin1(c.Value));
    EXPECT_EQ(after.toStdString(), c.After.toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    HandEdited, IniAssignTest,
    ::testing::Values(
        TAssignCase{"NewFile", Bytes(""), "Enabled", "1", Bytes("[InactivityDetection]\r\nEnabled=1\r\n")},
        TAssignCase{"KeyAppendedToSection", Bytes("[InactivityDetection]\r\nEnabled=1\r\n"), "Period", "600",
                    Bytes("[InactivityDetection]\r\nEnabled=1\r\nPeriod=600\r\n")},
        TAssignCase{"ValueReplacedInPlace", Bytes("[InactivityDetection]\r\nPeriod=5\r\nEnabled=1\r\n"),
                    "Period", "600", Bytes("[InactivityDetection]\r\nPeriod=600\r\nEnabled=1\r\n")},
        TAssignCase{"KeySpellingAndBlanksKept", Bytes("[inactivitydetection]\r\n  period = \"5\"  \r\n"),
                    "Period", "600", Bytes("[inactivitydetection]\r\n  period = 600\r\n")},
        TAssignCase{"EmptyValueFilled", Bytes("[InactivityDetection]\r\nPeriod=\r\n"), "Period", "-1",
                    Bytes("[InactivityDetection]\r\nPeriod=-1\r\n")},
        TAssignCase{"LfLinesKept", Bytes("; mine\n[InactivityDetection]\nPeriod=5\n"), "Period", "600",
                    Bytes("; mine\n[InactivityDetection]\nPeriod=600\n")},
        TAssignCase{"LfFileGetsCrLfLine", Bytes("[InactivityDetection]\nEnabled=1\n"), "Period", "600",
                    Bytes("[InactivityDetection]\nEnabled=1\nPeriod=600\r\n")},
        TAssignCase{"BomKept", Bytes("\xEF\xBB\xBF[InactivityDetection]\r\nPeriod=5\r\n"), "Period", "600",
                    Bytes("\xEF\xBB\xBF[InactivityDetection]\r\nPeriod=600\r\n")},
        TAssignCase{"BomOnlyFile", Bytes("\xEF\xBB\xBF"), "Enabled", "0",
                    Bytes("\xEF\xBB\xBF[InactivityDetection]\r\nEnabled=0\r\n")},
        TAssignCase{"SectionAppendedAfterOthers", Bytes("[Other]\r\nA=1\r\n"), "Enabled", "0",
                    Bytes("[Other]\r\nA=1\r\n[InactivityDetection]\r\nEnabled=0\r\n")},
        TAssignCase{"LastLineWithoutBreak", Bytes("[Other]\r\nA=1"), "Enabled", "0",
                    Bytes("[Other]\r\nA=1\r\n[InactivityDetection]\r\nEnabled=0\r\n")},
        TAssignCase{"KeyBeforeBlankLinesAndNextSection",
                    Bytes("[InactivityDetection]\r\nEnabled=1\r\n\r\n[Other]\r\nPeriod=7\r\n"), "Period",
                    "600",
                    Bytes("[InactivityDetection]\r\nEnabled=1\r\nPeriod=600\r\n\r\n[Other]\r\nPeriod=7\r\n")},
        TAssignCase{"KeyAfterUnterminatedLastLine", Bytes("[InactivityDetection]\r\nEnabled=1"), "Period",
                    "600", Bytes("[InactivityDetection]\r\nEnabled=1\r\nPeriod=600\r\n")},
        // Found by fuzzing: a last line ended by a lone CR must not get a second CR, which would
        // become part of that line's value and change a key nobody wrote.
        TAssignCase{"KeyAfterLastLineEndedByLoneCr", Bytes("[InactivityDetection]\r\nEnabled=0\r"), "Period",
                    "600", Bytes("[InactivityDetection]\r\nEnabled=0\r\nPeriod=600\r\n")},
        TAssignCase{"SectionAfterLastLineEndedByLoneCr", Bytes("[Other]\r\nA=1\r"), "Enabled", "0",
                    Bytes("[Other]\r\nA=1\r\n[InactivityDetection]\r\nEnabled=0\r\n")},
        TAssignCase{"FirstDuplicateKeyWritten", Bytes("[InactivityDetection]\r\nPeriod=1\r\nPeriod=2\r\n"),
                    "Period", "600", Bytes("[InactivityDetection]\r\nPeriod=600\r\nPeriod=2\r\n")},
        TAssignCase{
            "FirstDuplicateSectionWritten",
            Bytes("[InactivityDetection]\r\nEnabled=1\r\n[InactivityDetection]\r\nPeriod=2\r\n"), "Period",
            "600",
            Bytes(
                "[InactivityDetection]\r\nEnabled=1\r\nPeriod=600\r\n[InactivityDetection]\r\nPeriod=2\r\n")},
        TAssignCase{"CommentsAndOtherBytesKept",
                    Bytes("; \xC3\xA9t\xE9 \r\n[InactivityDetection] ; x\r\nfoo bar\r\nPeriod=1\r\n"),
                    "Period", "2",
                    Bytes("; \xC3\xA9t\xE9 \r\n[InactivityDetection] ; x\r\nfoo bar\r\nPeriod=2\r\n")}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(IniFileTest, MissingFileGivesDefaults) {
    TTempDir dir;
    const TIniFile ini(dir.File(QStringLiteral("settings.ini")));
    EXPECT_EQ(ini.ReadString(Section, Period, QStringLiteral("d")), QStringLiteral("d"));
    EXPECT_EQ(ini.ReadInteger(Section, Period, 600), 600);
    EXPECT_TRUE(ini.ReadBool(Section, Period, true));
    EXPECT_FALSE(ini.ReadBool(Section, Period, false));
}

TEST(IniFileTest, EveryReadOpensTheFile) {
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("settings.ini"));
    TIniFile ini(path);
    WriteBytes(path, "[InactivityDetection]\r\nPeriod=5\r\n");
    EXPECT_EQ(ini.ReadInteger(Section, Period, 600), 5);
    WriteBytes(path, "[InactivityDetection]\r\nPeriod=7\r\n");
    EXPECT_EQ(ini.ReadInteger(Section, Period, 600), 7);
    EXPECT_EQ(ini.ReadCount(), 2u);
}

TEST(IniFileTest, WritesCreateTheFileAndKeepOtherLines) {
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("settings.ini"));
    TIniFile ini(path);
    ini.WriteBool(Section, QStringLiteral("Enabled"), true);
    ini.WriteInteger(Section, Period, 600);
    EXPECT_EQ(ReadBytes(path), QByteArray("[InactivityDetection]\r\nEnabled=1\r\nPeriod=600\r\n"));
    ini.WriteInteger(Section, Period, -1);
    ini.WriteBool(Section, QStringLiteral("Enabled"), false);
    EXPECT_EQ(ReadBytes(path), QByteArray("[InactivityDetection]\r\nEnabled=0\r\nPeriod=-1\r\n"));
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".tmp-")));
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files | QDir::Hidden).size(), 1) << "no temporary file left";
}

TEST(IniFileTest, WriteKeepsTheFileModeAndFollowsLinks) {
    TTempDir dir;
    const QString real = dir.File(QStringLiteral("real.ini"));
    const QString link = dir.File(QStringLiteral("settings.ini"));
    WriteBytes(real, "[Other]\nA=1\n");
    ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), 0640), 0);
    ASSERT_TRUE(QFile::link(real, link));
    TIniFile(link).WriteInteger(Section, Period, 5);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadBytes(real), QByteArray("[Other]\nA=1\n[InactivityDetection]\r\nPeriod=5\r\n"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(real).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// Each failure names the full path, and the file that was there stays as it was.
struct TFailureCase {
    const char* Name;
    std::function<QString(const TTempDir&)> Prepare; // returns the settings path
};

class IniWriteFailureTest : public ::testing::TestWithParam<TFailureCase> {};

TEST_P(IniWriteFailureTest, RaisesUnableToWrite) {
    TTempDir dir;
    const QString path = GetParam().Prepare(dir);
    const QByteArray before = QFileInfo(path).isFile() ? ReadBytes(path) : QByteArray();
    TIniFile ini(path);
    try {
        ini.WriteInteger(Section, Period, 600);
        FAIL() << "write succeeded";
    } catch (const EFileError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Unable to write to ") + path);
    }
    if (QFileInfo(path).isFile()) {
        EXPECT_EQ(ReadBytes(path), before);
    }
    EXPECT_EQ(ini.ReadInteger(Section, Period, 42), QFileInfo(path).isFile() ? 5 : 42);
    ::chmod(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
            0755); // lets the folder be removed
}

INSTANTIATE_TEST_SUITE_P(
    Failures, IniWriteFailureTest,
    ::testing::Values(TFailureCase{"MissingFolder",
                                   [](const TTempDir& d) {
                                       return d.File(QStringLiteral("no/settings.ini"));
                                   }},
                      TFailureCase{"SettingsIsADirectory",
                                   [](const TTempDir& d) {
                                       QDir(d.Path()).mkdir(QStringLiteral("settings.ini"));
                                       return d.File(QStringLiteral("settings.ini"));
                                   }},
                      TFailureCase{"ReadOnlyFile",
                                   [](const TTempDir& d) {
                                       const QString p = d.File(QStringLiteral("settings.ini"));
                                       WriteBytes(p, "[InactivityDetection]\r\nPeriod=5\r\n");
                                       ::chmod(QFile::encodeName(p).constData(), 0444);
                                       return p;
                                   }},
                      TFailureCase{"ReadOnlyFolder",
                                   [](const TTempDir& d) {
                                       QDir(d.Path()).mkdir(QStringLiteral("ro"));
                                       const QString p = d.File(QStringLiteral("ro/settings.ini"));
                                       WriteBytes(p, "[InactivityDetection]\r\nPeriod=5\r\n");
                                       ::chmod(QFile::encodeName(d.File(QStringLiteral("ro"))).constData(),
                                               0555);
                                       return p;
                                   }},
                      TFailureCase{"FolderIsAFile",
                                   [](const TTempDir& d) {
                                       WriteBytes(d.File(QStringLiteral("f")), "x");
                                       return d.File(QStringLiteral("f/settings.ini"));
                                   }}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(IniFileTest, ReadsOfADirectoryGiveDefaults) {
    TTempDir dir;
    QDir(dir.Path()).mkdir(QStringLiteral("settings.ini"));
    const TIniFile ini(dir.File(QStringLiteral("settings.ini")));
    EXPECT_EQ(ini.ReadInteger(Section, Period, 600), 600);
}
} // namespace
