#include "CommandLine.h"

#include <gtest/gtest.h>

namespace {
using TOutcome = TCommandLine::TOutcome;

struct TParseCase {
    QStringList Arguments; // after the program's name
    TOutcome Outcome;
    TRemoteCommand Command;
};

class ParseCommandLineTest : public ::testing::TestWithParam<TParseCase> {};

// Bad options, --help and --version are checked end to end; these are the finer points.
TEST_P(ParseCommandLineTest, GivesTheCommandOrRefuses) {
    const TCommandLine line =
        ParseCommandLine(QStringList{QStringLiteral("tallyvox")} + GetParam().Arguments);
    EXPECT_EQ(line.Outcome, GetParam().Outcome) << GetParam().Arguments.join(u' ').toStdString();
    EXPECT_EQ(line.Command, GetParam().Command) << GetParam().Arguments.join(u' ').toStdString();
}

const TParseCase ParseCases[] = {
    // Qt's own options, as a session manager restarts the program, pass to Qt.
    {{QStringLiteral("-session"), QStringLiteral("10d3"), QStringLiteral("--show"),
      QStringLiteral("-style=fusion")},
     TOutcome::Run,
     TRemoteCommand::Show},
    {{QStringLiteral("--show"), QStringLiteral("--show")}, TOutcome::Run, TRemoteCommand::Show},
    {{QStringLiteral("--status"), QStringLiteral("--format=JSON")}, TOutcome::Error, TRemoteCommand::None},
    {{QStringLiteral("--status"), QStringLiteral("--format")}, TOutcome::Error, TRemoteCommand::None},
    {{QStringLiteral("--show"), QStringLiteral("--toggle-window")}, TOutcome::Error, TRemoteCommand::None},
};
INSTANTIATE_TEST_SUITE_P(Arguments, ParseCommandLineTest, ::testing::ValuesIn(ParseCases));

TEST(StatusOutputTest, EscapesJsonAndRefusesMalformedAnswers) {
    const QByteArray answer =
        StatusAnswer(QStringLiteral("a\"b\\c\tü\r\nd"), QStringLiteral("0:05"), 4294967295u);
    EXPECT_EQ(
        StatusOutput(answer, true),
        QByteArray(
            R"({"active": true, "caption": "a\"b\\c\u0009ü  d", "time": "0:05", "elapsed_ms": 4294967295})"
            "\n"));
    EXPECT_EQ(StatusOutput(answer, false), QByteArray("a\"b\\c\tü  d\t0:05\n"));
    for (const QByteArray& bad :
         {QByteArray("12\t0:00"), QByteArray("x\t0:00\tA"), QByteArray("4294967296\t0:00\tA")})
        EXPECT_EQ(StatusOutput(bad, true), std::nullopt) << bad.toStdString();
}
} // namespace
