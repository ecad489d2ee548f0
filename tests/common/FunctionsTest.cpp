// SPDX-License-Identifier: MIT
#include "Functions.h"

#include <gtest/gtest.h>

namespace {
struct TPadCase {
    const char* In;
    int Width;
    const char* Out;
};

class PadLeftTest : public ::testing::TestWithParam<TPadCase> {};

TEST_P(PadLeftTest, FillsOnTheLeftOnlyWhenShorter) {
    EXPECT_EQ(PadLeft(QString::fromUtf8(GetParam().In), u'0', GetParam().Width),
              QString::fromUtf8(GetParam().Out));
}

INSTANTIATE_TEST_SUITE_P(Widths, PadLeftTest,
                         ::testing::Values(TPadCase{"", 4, "0000"}, TPadCase{"7", 4, "0007"},
                                           TPadCase{"123", 4, "0123"}, TPadCase{"1234", 4, "1234"},
                                           TPadCase{"12345", 4, "12345"}, TPadCase{"5", 0, "5"},
                                           TPadCase{"5", -3, "5"}, TPadCase{"ab", 3, "0ab"}));

TEST(FunctionsTest, PaddedVersionsCompareAsTexts) {
    QStringList older{QStringLiteral("2"), QStringLiteral("5"), QStringLiteral("2"), QStringLiteral("9")};
    QStringList newer{QStringLiteral("2"), QStringLiteral("5"), QStringLiteral("2"), QStringLiteral("24")};
    PadVersionParts(older);
    PadVersionParts(newer);
    EXPECT_EQ(older.join(u'.'), QStringLiteral("0002.0005.0002.0009"));
    EXPECT_LT(older.join(u'.'), newer.join(u'.'));
    QStringList wide{QStringLiteral("65535"), QString()};
    PadVersionParts(wide);
    EXPECT_EQ(wide, (QStringList{QStringLiteral("65535"), QStringLiteral("0000")}));
}

struct TSplitCase {
    const char* Text;
    QStringList Parts;
};

class SplitVersionTextTest : public ::testing::TestWithParam<TSplitCase> {};

TEST_P(SplitVersionTextTest, SplitsAtEveryDot) {
    EXPECT_EQ(SplitVersionText(QString::fromUtf8(GetParam().Text)), GetParam().Parts) << GetParam().Text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SplitVersionTextTest,
    ::testing::Values(TSplitCase{"", {}}, TSplitCase{"2", {QStringLiteral("2")}},
                      TSplitCase{"2.5.2.24",
                                 {QStringLiteral("2"), QStringLiteral("5"), QStringLiteral("2"),
                                  QStringLiteral("24")}},
                      TSplitCase{"2.5.", {QStringLiteral("2"), QStringLiteral("5")}},
                      TSplitCase{"a..b", {QStringLiteral("a"), QString(), QStringLiteral("b")}},
                      TSplitCase{".", {QString()}}, TSplitCase{".x", {QString(), QStringLiteral("x")}}));

TEST(FunctionsTest, JoinEndsEveryPartWithADot) {
    EXPECT_EQ(JoinVersionParts({}), QString());
    EXPECT_EQ(JoinVersionParts({QStringLiteral("2"), QStringLiteral("5")}), QStringLiteral("2.5."));
    EXPECT_EQ(SplitVersionText(JoinVersionParts({QStringLiteral("1"), QString(), QStringLiteral("3")})),
              (QStringList{QStringLiteral("1"), QString(), QStringLiteral("3")}));
}

TEST(FunctionsTest, IfThenStrPicksBySide) {
    const QString yes = QStringLiteral("yes"), no = QStringLiteral("no");
    EXPECT_EQ(&IfThenStr(true, yes, no), &yes);
    EXPECT_EQ(&IfThenStr(false, yes, no), &no);
}

TEST(FunctionsTest, VersionStringComesFromTheBuildOrIsEmpty) {
    EXPECT_EQ(GetFileVersionString(), QStringLiteral("2.5.2.24"));
    SetNoVersionResourceForTesting(true);
    EXPECT_EQ(GetFileVersionString(), QString());
    SetNoVersionResourceForTesting(false);
    EXPECT_EQ(GetFileVersionString(), QStringLiteral("2.5.2.24"));
}

struct TTrimCase {
    QString In, Out;
};

class TrimControlTest : public ::testing::TestWithParam<TTrimCase> {};

TEST_P(TrimControlTest, RemovesBlanksAndControlsAtBothEnds) {
    EXPECT_EQ(TrimControl(GetParam().In), GetParam().Out);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TrimControlTest,
    ::testing::Values(TTrimCase{QStringLiteral("2.5.2.24\r\n"), QStringLiteral("2.5.2.24")},
                      TTrimCase{QStringLiteral(" \t\x01 x y \x1f"), QStringLiteral("x y")},
                      TTrimCase{QStringLiteral("\r\n"), QString()}, TTrimCase{QString(), QString()},
                      TTrimCase{QString(QChar(0)) + u'a' + QChar(0), QStringLiteral("a")},
                      TTrimCase{QStringLiteral("\u00a0a\u00a0"), QStringLiteral("\u00a0a\u00a0")},
                      TTrimCase{QStringLiteral("\x7f"), QStringLiteral("\x7f")}));
} // namespace
