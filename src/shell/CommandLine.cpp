// SPDX-License-Identifier: MIT
#include "CommandLine.h"

#include "Functions.h"

#include <QCommandLineParser>
#include <algorithm>
#include <iterator>

namespace {
struct TCommandOption {
    TRemoteCommand Command;
    const char* Name;
    const char* Description;
};

constexpr TCommandOption CommandOptions[] = {
    {TRemoteCommand::ToggleTracking, "toggle-tracking", "Pause the active task, or resume the last one."},
    {TRemoteCommand::Show, "show", "Show the window and bring it to the front."},
    {TRemoteCommand::ToggleWindow, "toggle-window", "Show the window, or hide it when it is shown."},
    {TRemoteCommand::Status, "status",
     "Print the active task and its time, then end. Never starts the program."},
};

QCommandLineOption ToOption(const TCommandOption& Option) {
    return QCommandLineOption(QString::fromLatin1(Option.Name), QString::fromLatin1(Option.Description));
}

TCommandLine Failure(const QString& Text, bool PointToHelp = true) {
    TCommandLine result;
    result.Outcome = TCommandLine::TOutcome::Error;
    result.Text = Text;
    result.PointToHelp = PointToHelp;
    return result;
}

// The history's options beside the command that takes them.
struct THistoryOption {
    const char* Name;
    const char* Value;
    const char* Description;
};

constexpr THistoryOption HistoryCommands[] = {
    {"report", nullptr, "Print the tracked time of a range of days (this week by default)."},
    {"export", nullptr, "Print every tracked interval of a range of days (all by default) as CSV."},
};
constexpr THistoryOption HistoryOptions[] = {
    {"from", "date", "With --report or --export: the first day, YYYY-MM-DD."},
    {"to", "date", "With --report or --export: the last day, YYYY-MM-DD."},
    {"by", "period", "With --report: a row per task and day, week, month, or per task alone."},
    {"open", nullptr, "With --report --format html: write the page to a temporary file and open it."},
};

QCommandLineOption ToOption(const THistoryOption& Option) {
    const QString name = QString::fromLatin1(Option.Name);
    const QString description = QString::fromLatin1(Option.Description);
    return Option.Value ? QCommandLineOption(name, description, QString::fromLatin1(Option.Value))
                        : QCommandLineOption(name, description);
}

std::optional<QDate> DateOption(const QCommandLineParser& Parser, const QString& Name, QString& Error) {
    if (!Parser.isSet(Name))
        return std::nullopt;
    const QString text = Parser.value(Name);
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid() && Error.isEmpty())
        Error = QStringLiteral("Invalid date '%1' for --%2: use YYYY-MM-DD.").arg(text, Name);
    return date;
}

template <class TEnum, std::size_t N>
bool Choice(const QCommandLineParser& Parser, const QString& Name, const char* const (&Names)[N],
            TEnum& Value) {
    if (!Parser.isSet(Name))
        return true;
    for (std::size_t i = 0; i < N; ++i)
        if (Parser.value(Name) == QLatin1StringView(Names[i])) {
            Value = static_cast<TEnum>(i);
            return true;
        }
    return false;
}

// --report or --export with their days, and the report's periods and format. A bad value is
// told in one line, without pointing at --help.
TCommandLine HistoryCommandLine(const QCommandLineParser& Parser, bool Exporting, QDate Today) {
    const QString by = QStringLiteral("by");
    const QString format = QStringLiteral("format");
    const QString open = QStringLiteral("open");
    if (Exporting && (Parser.isSet(by) || Parser.isSet(format) || Parser.isSet(open)))
        return Failure(QStringLiteral("--export takes only --from and --to."));
    TCommandLine result;
    result.History = Exporting ? THistoryCommand::Export : THistoryCommand::Report;
    QString error;
    result.From = DateOption(Parser, QStringLiteral("from"), error);
    result.To = DateOption(Parser, QStringLiteral("to"), error);
    if (!error.isEmpty())
        return Failure(error, false);
    static const char* const Groupings[] = {"day", "week", "month", "task"};
    static const char* const Formats[] = {"text", "csv", "json", "html"};
    TReportRequest& request = result.Report;
    if (!Choice(Parser, by, Groupings, request.By))
        return Failure(
            QStringLiteral("Unknown period '%1': use day, week, month or task.").arg(Parser.value(by)),
            false);
    if (!Choice(Parser, format, Formats, request.Format))
        return Failure(
            QStringLiteral("Unknown format '%1': use text, csv, json or html.").arg(Parser.value(format)),
            false);
    result.OpenReport = Parser.isSet(open);
    if (result.OpenReport && request.Format != TReportFormat::Html)
        return Failure(QStringLiteral("--open goes only with --format html."));
    const std::optional<QDate>& from = result.From;
    const std::optional<QDate>& to = result.To;
    request.From = from ? *from : to ? WeekStart(*to) : WeekStart(Today);
    request.To = to ? *to : from ? std::max(Today, *from) : WeekStart(Today).addDays(6);
    if ((from || to || !Exporting) && request.From > request.To)
        return Failure(QStringLiteral("The range ends before it starts: %1 is after %2.")
                           .arg(request.From.toString(Qt::ISODate), request.To.toString(Qt::ISODate)),
                       false);
    return result;
}

// Qt takes these options itself when the application object is made (a session manager
// restarts the program with -session, for one); the parser, which runs before, lets them pass.
QStringList WithoutToolkitOptions(const QStringList& Arguments) {
    static const QStringList withValue = {
        QStringLiteral("platform"),      QStringLiteral("platformpluginpath"),
        QStringLiteral("platformtheme"), QStringLiteral("plugin"),
        QStringLiteral("qmljsdebugger"), QStringLiteral("qwindowgeometry"),
        QStringLiteral("geometry"),      QStringLiteral("qwindowicon"),
        QStringLiteral("icon"),          QStringLiteral("qwindowtitle"),
        QStringLiteral("title"),         QStringLiteral("session"),
        QStringLiteral("display"),       QStringLiteral("name"),
        QStringLiteral("style"),         QStringLiteral("stylesheet")};
    static const QStringList flags = {QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                                      QStringLiteral("nograb"), QStringLiteral("dograb"),
                                      QStringLiteral("sync")};
    QStringList kept;
    for (qsizetype i = 0; i < Arguments.size(); ++i) {
        const QString& argument = Arguments[i];
        if (i == 0 || !argument.startsWith(u'-') || argument == QStringLiteral("--")) {
            kept << argument;
            continue;
        }
        const QString name = argument.mid(argument.startsWith(QStringLiteral("--")) ? 2 : 1);
        if (flags.contains(name) || withValue.contains(name.section(u'=', 0, 0)))
            i += withValue.contains(name) && i + 1 < Arguments.size() ? 1 : 0; // "-opt value" or "-opt=value"
        else
            kept << argument;
    }
    return kept;
}

// C0 controls, DEL and the C1 controls: what a terminal may take for the start of a command.
bool IsControl(QChar C) {
    return C.unicode() < 0x20 || (C.unicode() >= 0x7F && C.unicode() <= 0x9F);
}

QByteArray JsonString(const QString& Text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : Text) {
        if (c == u'"' || c == u'\\')
            out += u'\\';
        if (IsControl(c))
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QChar(u'0'));
        else
            out += c;
    }
    return (out + u'"').toUtf8();
}

QByteArray PlainText(QString Text, bool KeepTab) {
    for (QChar& c : Text)
        if (IsControl(c) && !(KeepTab && c == u'\t'))
            c = QChar::ReplacementCharacter;
    return Text.toUtf8();
}

const QString StatusFormats[] = {QStringLiteral("plain"), QStringLiteral("json"), QStringLiteral("waybar")};

QByteArray IdleOutput(TStatusFormat Format, bool Follow) {
    switch (Format) {
    case TStatusFormat::Plain:
        return Follow ? QByteArray("\n") : QByteArray();
    case TStatusFormat::Json:
        return R"({"active": false, "caption": "", "time": "", "elapsed_ms": 0})"
               "\n";
    case TStatusFormat::Waybar:
        return R"({"text": "", "tooltip": "(idle) - Tallyvox", "class": "idle", "alt": "idle"})"
               "\n";
    }
    return QByteArray();
}

QByteArray ActiveOutput(const QString& Caption, const QString& Time, qulonglong Elapsed,
                        TStatusFormat Format) {
    switch (Format) {
    case TStatusFormat::Plain:
        return PlainText(Caption, true) + '\t' + PlainText(Time, false) + '\n';
    case TStatusFormat::Json:
        return QByteArray(R"({"active": true, "caption": )") + JsonString(Caption) + R"(, "time": )" +
               JsonString(Time) + R"(, "elapsed_ms": )" + QByteArray::number(Elapsed) + "}\n";
    case TStatusFormat::Waybar:
        return QByteArray(R"({"text": )") + JsonString(Caption + u' ' + Time) + R"(, "tooltip": )" +
               JsonString(Caption + QStringLiteral(" - ") + Time + QStringLiteral(" (Tallyvox)")) +
               R"(, "class": "active", "alt": "active"})"
               "\n";
    }
    return QByteArray();
}

QString OneLine(QString Text) {
    Text.replace(u'\r', u' ');
    Text.replace(u'\n', u' ');
    return Text;
}
} // namespace

TCommandLine ParseCommandLine(const QStringList& Arguments, QDate Today) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A time tracker that lives in the tray. With a command it tells the running copy what to do "
        "(and starts it first when it does not run, --status excepted); without one it starts, or shows "
        "the running copy."));
    // Our own help and version options: Qt's would add --help-all for Qt's options, which a
    // start parsed before the application object exists does not take.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and end."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and end."));
    parser.addOption(help);
    parser.addOption(version);
    for (const TCommandOption& option : CommandOptions)
        parser.addOption(ToOption(option));
    const QCommandLineOption format(
        QStringLiteral("format"),
        QStringLiteral("Output of --status: plain, json or waybar; of --report: text, csv, json or html."),
        QStringLiteral("format"));
    parser.addOption(format);
    const QCommandLineOption follow(
        QStringLiteral("follow"),
        QStringLiteral("With --status: go on printing a line at every change, also across restarts."));
    parser.addOption(follow);
    parser.addOption(
        QCommandLineOption(QStringLiteral("autostart"),
                           QStringLiteral("Start hidden with the session (on) or not (off); without "
                                          "a value, print on or off."),
                           QStringLiteral("on|off")));
    for (const THistoryOption& option : HistoryCommands)
        parser.addOption(ToOption(option));
    for (const THistoryOption& option : HistoryOptions)
        parser.addOption(ToOption(option));

    if (!parser.parse(WithoutToolkitOptions(Arguments)))
        return Failure(parser.errorText());
    TCommandLine result;
    if (parser.isSet(help)) {
        result.Outcome = TCommandLine::TOutcome::Help;
        // Without an application object Qt does not know the program's name.
        result.Text =
            parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("tallyvox"));
        return result;
    }
    if (parser.isSet(version)) {
        result.Outcome = TCommandLine::TOutcome::Version;
        result.Text = QStringLiteral("Tallyvox ") + GetFileVersionString() + u'\n';
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return Failure(
            QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst()));
    const bool report = parser.isSet(QStringLiteral("report"));
    const bool exporting = parser.isSet(QStringLiteral("export"));
    int commands = int{report} + int{exporting};
    for (const TCommandOption& option : CommandOptions)
        if (parser.isSet(QString::fromLatin1(option.Name))) {
            result.Command = option.Command;
            ++commands;
        }
    if (commands > 1)
        return Failure(
            QStringLiteral("Give only one of --toggle-tracking, --show, --toggle-window, --status, "
                           "--report and --export."));
    if (report || exporting)
        return HistoryCommandLine(parser, exporting, Today);
    for (const THistoryOption& option : HistoryOptions)
        if (parser.isSet(QString::fromLatin1(option.Name)))
            return Failure(QStringLiteral("--%1 goes only with --report or --export.")
                               .arg(QString::fromLatin1(option.Name)));
    if (parser.isSet(format)) {
        if (result.Command != TRemoteCommand::Status)
            return Failure(QStringLiteral("--format goes only with --status or --report."));
        const QString value = parser.value(format);
        const auto known = std::find(std::begin(StatusFormats), std::end(StatusFormats), value);
        if (known == std::end(StatusFormats))
            return Failure(QStringLiteral("Unknown format '%1': use plain, json or waybar.").arg(value));
        result.Format = static_cast<TStatusFormat>(known - std::begin(StatusFormats));
    }
    if (parser.isSet(follow) && result.Command != TRemoteCommand::Status)
        return Failure(QStringLiteral("--follow goes only with --status."));
    result.Follow = parser.isSet(follow);
    return result;
}

QString RemoteCommandWord(TRemoteCommand Command) {
    for (const TCommandOption& option : CommandOptions)
        if (option.Command == Command)
            return QString::fromLatin1(option.Name);
    return QString();
}

TRemoteCommand RemoteCommandOfWord(const QString& Word) {
    for (const TCommandOption& option : CommandOptions)
        if (Word == QLatin1StringView(option.Name))
            return option.Command;
    return TRemoteCommand::None;
}

QByteArray StatusAnswer(const QString& Caption, const QString& TimeText, std::uint32_t ElapsedMs) {
    return QByteArray::number(ElapsedMs) + '\t' + OneLine(TimeText).toUtf8() + '\t' +
           OneLine(DisplayPrefix(Caption)).toUtf8();
}

QByteArray IdleStatusAnswer() {
    return QByteArray();
}

std::optional<QByteArray> StatusOutput(const QByteArray& Answer, TStatusFormat Format, bool Follow) {
    if (Answer.isEmpty())
        return IdleOutput(Format, Follow);
    const qsizetype firstTab = Answer.indexOf('\t');
    const qsizetype secondTab = firstTab < 0 ? -1 : Answer.indexOf('\t', firstTab + 1);
    if (secondTab < 0)
        return std::nullopt;
    bool ok = false;
    const qulonglong elapsed = Answer.left(firstTab).toULongLong(&ok);
    if (!ok || elapsed > 0xFFFFFFFFull)
        return std::nullopt;
    const QString time = QString::fromUtf8(Answer.mid(firstTab + 1, secondTab - firstTab - 1));
    const QString caption = QString::fromUtf8(Answer.mid(secondTab + 1));
    return ActiveOutput(caption, time, elapsed, Format);
}
