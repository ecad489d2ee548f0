// SPDX-License-Identifier: MIT
#include "CommandLine.h"

#include <gtest/gtest.h>

namespace {
using TOutcome = TCommandLine::TOutcome;

struct TParseCase {
    QStringList Arguments; // after the program's name
    TOutcome Outcome;
    TRemoteCommand Command;
    THistoryCommand History = THistoryCommand::None;
};

class ParseCommandLineTest : public ::testing::TestWithParam<TParseCase> {};

// Bad options, --help and --version are checked end to end; these are the finer points.
TEST_P(ParseCommandLineTest, GivesTheCommandOrRefuses) {
    const TCommandLine line =
        ParseCommandLine(QStringList{QStringLiteral("tallyvox")} + GetParam().Arguments);
    EXPECT_EQ(line.Outcome, GetParam().Outcome) << GetParam().Arguments.join(u' ').toStdString();
    EXPECT_EQ(line.Command, GetParam().Command) << GetParam().Arguments.join(u' ').toStdString();
    EXPECT_EQ(line.History, GetParam().History) << GetParam().Arguments.join(u' ').toStdString();
}

QStringList Words(const char* Line) {
    return QString::fromLatin1(Line).split(u' ');
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
    {{QStringLiteral("--status"), QStringLiteral("--follow"), QStringLiteral("--format=waybar")},
     TOutcome::Run,
     TRemoteCommand::Status},
    {{QStringLiteral("--show"), QStringLiteral("--follow")}, TOutcome::Error, TRemoteCommand::None},
    {Words("--report --format csv --by month"), TOutcome::Run, TRemoteCommand::None, THistoryCommand::Report},
    {Words("--export --to 2026-03-01"), TOutcome::Run, TRemoteCommand::None, THistoryCommand::Export},
    {Words("--report --from 2026-02-30"), TOutcome::Error, TRemoteCommand::None},
    {Words("--report --from 2026-03-10 --to 2026-03-09"), TOutcome::Error, TRemoteCommand::None},
    {Words("--report --by year"), TOutcome::Error, TRemoteCommand::None},
    {Words("--report --format waybar"), TOutcome::Error, TRemoteCommand::None},
    {Words("--report --open"), TOutcome::Error, TRemoteCommand::None},
    {Words("--export --format csv"), TOutcome::Error, TRemoteCommand::None},
    {Words("--report --status"), TOutcome::Error, TRemoteCommand::None},
    {Words("--status --from 2026-03-01"), TOutcome::Error, TRemoteCommand::None},
};
INSTANTIATE_TEST_SUITE_P(Arguments, ParseCommandLineTest, ::testing::ValuesIn(ParseCases));

// Without days a report covers this ISO week, Monday first; one day given anchors the other.
TEST(ParseCommandLineTest, ReportRangeDefaultsToTheWeek) {
    const QDate sunday(2026, 3, 8);
    const auto parse = [&](const char* Line) {
        return ParseCommandLine(QStringList{QStringLiteral("tallyvox")} + Words(Line), sunday);
    };
    const auto range = [&](const char* Line) {
        const TReportRequest request = parse(Line).Report;
        return request.From.toString(Qt::ISODate) + u' ' + request.To.toString(Qt::ISODate);
    };
    EXPECT_EQ(range("--report"), QStringLiteral("2026-03-02 2026-03-08"));
    EXPECT_EQ(range("--report --to 2026-02-26"), QStringLiteral("2026-02-23 2026-02-26"));
    EXPECT_EQ(range("--report --from 2026-03-05"), QStringLiteral("2026-03-05 2026-03-08"));
    EXPECT_FALSE(parse("--report --by days").PointToHelp) << "a bad value is told in one line";
    EXPECT_TRUE(parse("--export --format csv").PointToHelp);
}

struct TOutputCase {
    QByteArray Answer;
    TStatusFormat Format;
    bool Follow;
    std::optional<QByteArray> Output;
};

class StatusOutputTest : public ::testing::TestWithParam<TOutputCase> {};

// A terminal or a bar must never get a caption's control characters or bad bytes raw.
TEST_P(StatusOutputTest, EscapesEveryFormatAndRefusesMalformedAnswers) {
    EXPECT_EQ(StatusOutput(GetParam().Answer, GetParam().Format, GetParam().Follow), GetParam().Output)
        << GetParam().Answer.toStdString();
}

const QByteArray Mixed = StatusAnswer(QStringLiteral("a\"b\\c\tü\r\nd"), QStringLiteral("0:05"), 4294967295u);
const QByteArray Hostile = "65000\t1:05\tR<b>\x1b]0;t\x07\xc2\x9b\x7f\xff";
const TOutputCase OutputCases[] = {
    {Mixed, TStatusFormat::Json, false,
     R"({"active": true, "caption": "a\"b\\c\u0009ü  d", "time": "0:05", "elapsed_ms": 4294967295})"
     "\n"},
    {Mixed, TStatusFormat::Plain, false, "a\"b\\c\tü  d\t0:05\n"},
    {Hostile, TStatusFormat::Plain, true,
     "R<b>\xef\xbf\xbd]0;t\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\t1:05\n"},
    {Hostile, TStatusFormat::Waybar, false,
     "{\"text\": \"R<b>\\u001b]0;t\\u0007\\u009b\\u007f\xef\xbf\xbd 1:05\", \"tooltip\": "
     "\"R<b>\\u001b]0;t\\u0007\\u009b\\u007f\xef\xbf\xbd - 1:05 (Tallyvox)\", \"class\": \"active\", "
     "\"alt\": \"active\"}\n"},
    {"", TStatusFormat::Plain, false, ""},
    {"", TStatusFormat::Plain, true, "\n"},
    {"", TStatusFormat::Waybar, true,
     R"({"text": "", "tooltip": "(idle) - Tallyvox", "class": "idle", "alt": "idle"})"
     "\n"},
    {"12\t0:00", TStatusFormat::Json, false, std::nullopt},
    {"x\t0:00\tA", TStatusFormat::Waybar, false, std::nullopt},
    {"4294967296\t0:00\tA", TStatusFormat::Json, false, std::nullopt},
};
INSTANTIATE_TEST_SUITE_P(Answers, StatusOutputTest, ::testing::ValuesIn(OutputCases));

// A caption far beyond what an answer may hold still gets its answer, cut as the window cuts it.
TEST(StatusAnswerTest, CutsAHugeCaptionToWhatTheWindowShows) {
    const QByteArray answer = StatusAnswer(QString(2 << 20, u'x'), QStringLiteral("0:00"), 0);
    EXPECT_EQ(StatusOutput(answer, TStatusFormat::Plain), QByteArray(1024, 'x') + "\t0:00\n");
}
} // namespace
