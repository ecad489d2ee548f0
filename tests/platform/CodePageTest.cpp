// SPDX-License-Identifier: MIT
#include "CodePage.h"

#include <gtest/gtest.h>

namespace {
struct TUtf8Case {
    const char* Name;
    QByteArray Bytes;
    bool Valid;
};

class Utf8ValidityTest : public ::testing::TestWithParam<TUtf8Case> {};

TEST_P(Utf8ValidityTest, RejectsEveryMalformedForm) {
    EXPECT_EQ(IsValidUtf8(GetParam().Bytes), GetParam().Valid) << GetParam().Name;
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8ValidityTest,
    ::testing::Values(TUtf8Case{"empty", QByteArray(), true}, TUtf8Case{"ascii", QByteArray("Report"), true},
                      TUtf8Case{"two bytes", QByteArray("\xC3\xA9"), true},
                      TUtf8Case{"three bytes", QByteArray("\xE2\x82\xAC"), true},
                      TUtf8Case{"four bytes", QByteArray("\xF0\x9F\x98\x80"), true},
                      TUtf8Case{"largest", QByteArray("\xF4\x8F\xBF\xBF"), true},
                      TUtf8Case{"nul", QByteArray("a\0b", 3), true},
                      TUtf8Case{"lone continuation", QByteArray("\x80"), false},
                      TUtf8Case{"cp1252 e acute", QByteArray("Caf\xE9"), false},
                      TUtf8Case{"truncated", QByteArray("\xE2\x82"), false},
                      TUtf8Case{"overlong slash", QByteArray("\xC0\xAF"), false},
                      TUtf8Case{"overlong three", QByteArray("\xE0\x80\xAF"), false},
                      TUtf8Case{"surrogate", QByteArray("\xED\xA0\x80"), false},
                      TUtf8Case{"beyond U+10FFFF", QByteArray("\xF4\x90\x80\x80"), false},
                      TUtf8Case{"five byte lead", QByteArray("\xF8\x88\x80\x80\x80"), false},
                      TUtf8Case{"ff", QByteArray("\xFF"), false},
                      TUtf8Case{"bad continuation", QByteArray("\xC3\x28"), false}));

TEST(CodePageTest, InvalidUtf8IsReadAsWindows1252) {
    EXPECT_EQ(DecodeAnsi(QByteArray("Caf\xC3\xA9")), QStringLiteral("Caf\u00e9"));
    EXPECT_EQ(DecodeAnsi(QByteArray("Caf\xE9")), QStringLiteral("Caf\u00e9"));
    // The whole text switches, not just the bad byte: a Windows file is Windows-1252 throughout.
    EXPECT_EQ(DecodeAnsi(QByteArray("\xC3\xA9 \xE9")), QStringLiteral("\u00c3\u00a9 \u00e9"));
}

TEST(CodePageTest, Windows1252HighRangeAndUnassignedBytes) {
    const QString text = DecodeWindows1252(QByteArray("\x80\x81\x8D\x8F\x90\x9D\x9F\xA0\xFF"));
    EXPECT_EQ(text, QStringLiteral("\u20ac\u0081\u008d\u008f\u0090\u009d\u0178\u00a0\u00ff"));
    EXPECT_EQ(DecodeWindows1252(QByteArray("\x82\x85\x91\x92\x96\x97\x99")),
              QStringLiteral("\u201a\u2026\u2018\u2019\u2013\u2014\u2122"));
}

TEST(CodePageTest, EncodingIsUtf8SoEveryCharacterSurvives) {
    EXPECT_TRUE(AnsiCodePageIsUtf8);
    const QString text = QStringLiteral("Caf\u00e9 \u65e5\u672c \U0001F600");
    EXPECT_EQ(DecodeAnsi(EncodeAnsi(text)), text);
    EXPECT_EQ(EncodeAnsi(QStringLiteral("\u20ac")), QByteArray("\xE2\x82\xAC"));
}
} // namespace
