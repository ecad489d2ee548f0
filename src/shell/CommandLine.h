// SPDX-License-Identifier: MIT
#pragma once

#include "HistoryReport.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// What a start was asked to do besides starting: a command for the running instance.
enum class TRemoteCommand { None, ToggleTracking, Show, ToggleWindow, Status };

// How --status prints: "<caption>\t<time>", one JSON object, or the object waybar reads.
enum class TStatusFormat { Plain, Json, Waybar };

// --report and --export read the history file alone; they never start or ask the program.
enum class THistoryCommand { None, Report, Export };

struct TCommandLine {
    enum class TOutcome { Run, Help, Version, Error };
    TOutcome Outcome = TOutcome::Run;
    TRemoteCommand Command = TRemoteCommand::None;
    TStatusFormat Format = TStatusFormat::Plain; // --status --format=...
    bool Follow = false;                         // --status --follow
    THistoryCommand History = THistoryCommand::None;
    TReportRequest Report;         // --report: its days (defaults filled in), periods and format
    std::optional<QDate> From, To; // the days as given: --export without them prints everything
    bool OpenReport = false;       // --report --format html --open
    QString Text;                  // the help text, the version line or the error message
    bool PointToHelp = true;       // an error that --help explains, rather than a bad value
};

// Arguments as the process got them, the program's name first; Today anchors the report's
// default week. Needs no application object.
TCommandLine ParseCommandLine(const QStringList& Arguments, QDate Today = QDate::currentDate());

// The word a command travels as over the single-instance channel, and back.
QString RemoteCommandWord(TRemoteCommand Command);
TRemoteCommand RemoteCommandOfWord(const QString& Word);

// The running instance's answer to "status": "<elapsed ms>\t<time text>\t<caption>" for the
// active task, empty when none runs. Line breaks would end the answer early, so they go; the
// caption is cut to what the window shows, so a huge one never outgrows the answer.
QByteArray StatusAnswer(const QString& Caption, const QString& TimeText, std::uint32_t ElapsedMs);
QByteArray IdleStatusAnswer();

// What --status prints for an answer: "<caption>\t<time text>\n" or nothing, or one JSON line.
// Nothing at all when the answer is malformed. Control characters and bytes that are not
// UTF-8 never reach the output as they are: JSON escapes the controls, plain text shows each
// as U+FFFD (a Tab inside the caption excepted), and either shows bad bytes as U+FFFD.
// Following, the idle state of plain text is an empty line rather than nothing.
std::optional<QByteArray> StatusOutput(const QByteArray& Answer, TStatusFormat Format, bool Follow = false);
