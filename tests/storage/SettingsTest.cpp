// SPDX-License-Identifier: MIT
#include "Settings.h"

#include "Errors.h"
#include "FileTestUtil.h"
#include "TempDir.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {
struct TPeriodCase {
    const char* Value; // the text after "Period="
    std::uint32_t Expected;
};

class SettingsPeriodTest : public ::testing::TestWithParam<TPeriodCase> {};

TEST_P(SettingsPeriodTest, ReadsHandEditedValues) {
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("settings.ini"));
    WriteBytes(path, QByteArray("[InactivityDetection]\r\nPeriod=") + GetParam().Value + "\r\n");
    EXPECT_EQ(TSettings(path).InactivityDetectionPeriod(), GetParam().Expected) << GetParam().Value;
}

INSTANTIATE_TEST_SUITE_P(
    HandEdited, SettingsPeriodTest,
    ::testing::Values(TPeriodCase{"600", 600}, TPeriodCase{"0x258", 600}, TPeriodCase{"0X258", 600},
                      TPeriodCase{"$258", 600}, TPeriodCase{"x258", 600}, TPeriodCase{"X258", 600},
                      TPeriodCase{"  600  ", 600}, TPeriodCase{"\"0x258\"", 600}, TPeriodCase{"+5", 5},
                      TPeriodCase{"0", 0}, TPeriodCase{"10m", 600}, TPeriodCase{"", 600},
                      TPeriodCase{"0x", 600}, TPeriodCase{"$", 600}, TPeriodCase{"1 0", 600},
                      TPeriodCase{"-1", 4294967295u}, TPeriodCase{"-2147483648", 2147483648u},
                      TPeriodCase{"2147483647", 2147483647u}, TPeriodCase{"2147483648", 600},
                      TPeriodCase{"-2147483649", 600}, TPeriodCase{"$FFFFFFFF", 4294967295u},
                      TPeriodCase{"0xFFFFFFFF", 4294967295u}, TPeriodCase{"$1FFFFFFFF", 600},
                      TPeriodCase{"$0000000025", 37}, TPeriodCase{"-$1", 4294967295u},
                      TPeriodCase{"6.0", 600}, TPeriodCase{"\xD9\xA6", 600}));

struct TEnabledCase {
    const char* Value;
    bool Expected;
};

class SettingsEnabledTest : public ::testing::TestWithParam<TEnabledCase> {};

TEST_P(SettingsEnabledTest, ReadsHandEditedValues) {
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("settings.ini"));
    WriteBytes(path, QByteArray("[inactivitydetection]\nenabled = ") + GetParam().Value + "\n");
    EXPECT_EQ(TSettings(path).InactivityDetectionEnabled(), GetParam().Expected) << GetParam().Value;
}

INSTANTIATE_TEST_SUITE_P(HandEdited, SettingsEnabledTest,
                         ::testing::Values(TEnabledCase{"0", false}, TEnabledCase{"00", false},
                                           TEnabledCase{"$0", false}, TEnabledCase{"0x0", false},
                                           TEnabledCase{"1", true}, TEnabledCase{"2", true},
                                           TEnabledCase{"-1", true}, TEnabledCase{"false", true},
                                           TEnabledCase{"no", true}, TEnabledCase{"off", true},
                                           TEnabledCase{"", true}));

TEST(SettingsTest, NoFileGivesDetectionOnAndTenMinutes) {
    TTempDir dir;
    const TSettings settings(dir.File(QStringLiteral("settings.ini")));
    EXPECT_TRUE(settings.InactivityDetectionEnabled());
    EXPECT_EQ(settings.InactivityDetectionPeriod(), 600u);
    EXPECT_FALSE(QFile::exists(dir.File(QStringLiteral("settings.ini")))) << "reads never create the file";
}

TEST(SettingsTest, FirstWritesCreateTheThreeLines) {
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("settings.ini"));
    TSettings settings(path);
    settings.SetInactivityDetectionEnabled(true);
    settings.SetInactivityDetectionPeriod(600);
    EXPECT_EQ(ReadBytes(path), QByteArray("[InactivityDetection]\r\nEnabled=1\r\nPeriod=600\r\n"));
}

struct TRoundTrip {
    std::uint32_t Period;
    const char* Stored;
};

class SettingsWriteTest : public ::testing::TestWithParam<TRoundTrip> {};

TEST_P(SettingsWriteTest, PeriodIsWrittenAsSignedDecimal) {
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("settings.ini"));
    TSettings settings(path);
    settings.SetInactivityDetectionPeriod(GetParam().Period);
    EXPECT_EQ(ReadBytes(path), QByteArray("[InactivityDetection]\r\nPeriod=") + GetParam().Stored + "\r\n");
    EXPECT_EQ(settings.InactivityDetectionPeriod(), GetParam().Period);
}

INSTANTIATE_TEST_SUITE_P(Values, SettingsWriteTest,
                         ::testing::Values(TRoundTrip{0, "0"}, TRoundTrip{600, "600"},
                                           TRoundTrip{362439, "362439"},
                                           TRoundTrip{2147483647u, "2147483647"},
                                           TRoundTrip{2147483648u, "-2147483648"},
                                           TRoundTrip{4294967295u, "-1"}));

TEST(SettingsTest, DisablingKeepsTheUserLines) {
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("settings.ini"));
    WriteBytes(path, "\xEF\xBB\xBF; my notes\n[InactivityDetection]\nPeriod = 0x258\n");
    TSettings settings(path);
    settings.SetInactivityDetectionEnabled(false);
    EXPECT_EQ(ReadBytes(path),
              QByteArray("\xEF\xBB\xBF; my notes\n[InactivityDetection]\nPeriod = 0x258\nEnabled=0\r\n"));
    EXPECT_FALSE(settings.InactivityDetectionEnabled());
    EXPECT_EQ(settings.InactivityDetectionPeriod(), 600u);
}

TEST(SettingsTest, FailedWriteNamesTheSettingsFile) {
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("missing/settings.ini"));
    TSettings settings(path);
    try {
        settings.SetInactivityDetectionPeriod(5);
        FAIL() << "write succeeded";
    } catch (const EAppError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Unable to write to ") + path);
    }
}
} // namespace
