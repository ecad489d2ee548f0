#include "CommandLine.h"

#include <gtest/gtest.h>

namespace {
using TOutcome = TCommandLine::TOutcome;

struct TParseCase {
    QStringList Arguments; // after the program's name
    TOutcome Outcome;
    TRemoteCommand Command;
    bool Json;
};

class ParseCommandLineTest : public ::testing::TestWithParam<TParseCase> {};

TEST_P(ParseCommandLineTest, GivesTheCommandOrRefuses) {
    const TCommandLine line = ParseCommandLine(QStringList{QStringLiteral("tallyvox")} + GetParam().Arguments);
    const std::string args = GetParam().Arguments.join(u' ').toStdString();
    EXPECT_EQ(line.Outcome, GetParam().Outcome) << args << ": " << line.Text.toStdString();
    EXPECT_EQ(line.Command, GetParam().Command) << args;
    EXPECT_EQ(line.Json, GetParam().Json) << args;
    EXPECT_EQ(line.Text.isEmpty(), GetParam().Outcome == TOutcome::Run) << args;
}

const TParseCase ParseCases[] = {
    {{}, TOutcome::Run, TRemoteCommand::None, false},
    {{QStringLiteral("--toggle-tracking")}, TOutcome::Run, TRemoteCommand::ToggleTracking, false},
    {{QStringLiteral("--status"), QStringLiteral("--format=json")}, TOutcome::Run, TRemoteCommand::Status, true},
    {{QStringLiteral("--status"), QStringLiteral("--format"), QStringLiteral("plain")}, TOutcome::Run,
     TRemoteCommand::Status, false},
    {{QStringLiteral("--show"), QStringLiteral("--show")}, TOutcome::Run, TRemoteCommand::Show, false},
    {{QStringLiteral("-session"), QStringLiteral("10d3"), QStringLiteral("--show"), QStringLiteral("-style=fusion"),
      QStringLiteral("--reverse")},
     TOutcome::Run, TRemoteCommand::Show, false},
    {{QStringLiteral("--version")}, TOutcome::Version, TRemoteCommand::None, false},
    {{QStringLiteral("--show"), QStringLiteral("--help")}, TOutcome::Help, TRemoteCommand::None, false},
    {{QStringLiteral("--bogus")}, TOutcome::Error, TRemoteCommand::None, false},
    {{QStringLiteral("--show"), QStringLiteral("stray")}, TOutcome::Error, TRemoteCommand::None, false},
    {{QStringLiteral("--show"), QStringLiteral("--toggle-window")}, TOutcome::Error, TRemoteCommand::None, false},
    {{QStringLiteral("--format=json")}, TOutcome::Error, TRemoteCommand::None, false},
    {{QStringLiteral("--status"), QStringLiteral("--format=JSON")}, TOutcome::Error, TRemoteCommand::None, false},
    {{QStringLiteral("--status"), QStringLiteral("--format")}, TOutcome::Error, TRemoteCommand::None, false},
};
INSTANTIATE_TEST_SUITE_P(Arguments, ParseCommandLineTest, ::testing::ValuesIn(ParseCases));

struct TStatusCase {
    QByteArray Answer;
    bool Json;
    std::optional<QByteArray> Output;
};

class StatusOutputTest : public ::testing::TestWithParam<TStatusCase> {};

TEST_P(StatusOutputTest, PrintsOneLineOrNothing) {
    EXPECT_EQ(StatusOutput(GetParam().Answer, GetParam().Json), GetParam().Output) << GetParam().Answer.toStdString();
}

const TStatusCase StatusCases[] = {
    {IdleStatusAnswer(), false, QByteArray()},
    {IdleStatusAnswer(), true, QByteArray(R"({"active": false, "caption": "", "time": "", "elapsed_ms": 0})" "\n")},
    {StatusAnswer(QStringLiteral("Fix\tbug"), QStringLiteral("1:00:00"), 3600000), false, QByteArray("Fix\tbug\t1:00:00\n")},
    {StatusAnswer(QStringLiteral("a\"b\\c\tü\r\nd"), QStringLiteral("0:05"), 4294967295u), true,
     QByteArray(R"({"active": true, "caption": "a\"b\\c\u0009ü  d", "time": "0:05", "elapsed_ms": 4294967295})"
                "\n")},
    {QByteArray("12\t0:00"), false, std::nullopt},
    {QByteArray("x\t0:00\tA"), true, std::nullopt},
    {QByteArray("4294967296\t0:00\tA"), true, std::nullopt},
};
INSTANTIATE_TEST_SUITE_P(Answers, StatusOutputTest, ::testing::ValuesIn(StatusCases));

TEST(RemoteCommandWordTest, EveryCommandTravelsAndComesBack) {
    for (TRemoteCommand command : {TRemoteCommand::ToggleTracking, TRemoteCommand::Show, TRemoteCommand::ToggleWindow,
                                   TRemoteCommand::Status})
        EXPECT_EQ(RemoteCommandOfWord(RemoteCommandWord(command)), command);
    EXPECT_EQ(RemoteCommandOfWord(QStringLiteral("exit")), TRemoteCommand::None);
}
} // namespace
