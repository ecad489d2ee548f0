// SPDX-License-Identifier: MIT
#include "HistoryCommand.h"

#include "AppData.h"
#include "Errors.h"
#include "ExecutablePath.h"
#include "Files.h"
#include "History.h"
#include "HistoryReport.h"
#include "Paths.h"

#include <QCommandLineParser>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QTemporaryFile>
#include <QUrl>
#include <cstdio>

namespace {
struct TOptionName {
    const char* Name;
    const char* Value;
    const char* Description;
};

constexpr TOptionName Options[] = {
    {"report", nullptr, "Print the tracked time of a range of days (this week by default)."},
    {"export", nullptr, "Print every recorded interval of a range of days as CSV."},
    {"from", "date", "First day, YYYY-MM-DD."},
    {"to", "date", "Last day, YYYY-MM-DD."},
    {"by", "period", "Report rows per day, week, month or task."},
    {"format", "format", "Report as text, csv, json or html."},
    {"open", nullptr, "Write the html report to a temporary file and open it in the browser."},
};

void Write(std::FILE* Stream, const QByteArray& Bytes) {
    std::fwrite(Bytes.constData(), 1, static_cast<std::size_t>(Bytes.size()), Stream);
}

int Fail(const QString& Text, int Code) {
    Write(stderr, QStringLiteral("tallyvox: %1\n").arg(Text).toLocal8Bit());
    return Code;
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
bool Choice(const QCommandLineParser& Parser, const char* Name, const char* const (&Names)[N], TEnum& Value) {
    if (!Parser.isSet(QLatin1StringView(Name)))
        return true;
    for (std::size_t i = 0; i < N; ++i)
        if (Parser.value(QLatin1StringView(Name)) == QLatin1StringView(Names[i])) {
            Value = static_cast<TEnum>(i);
            return true;
        }
    return false;
}

// The set-aside copies of histories that could not be written, named at every report until moved.
void NameSetAsideHistories(const QString& Path) {
    const QFileInfo file(Path);
    for (const QString& name : file.dir().entryList({file.fileName() + QStringLiteral(".bad*")},
                                                    QDir::Files | QDir::System, QDir::Name))
        if (!name.endsWith(QStringLiteral("-wal")) && !name.endsWith(QStringLiteral("-shm")))
            Fail(QStringLiteral(
                     "a history that could not be written is kept aside as \"%1\"; its time is not in "
                     "this report until it is moved out of the data folder.")
                     .arg(file.dir().filePath(name)),
                 0);
}

int OpenInBrowser(int& argc, char** argv, const QByteArray& Page) {
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/tallyvox-report-XXXXXX.html"));
    file.setAutoRemove(false);
    if (!file.open() || file.write(Page) != Page.size() || !file.flush())
        return Fail(QStringLiteral("cannot write the report to a temporary file."), 1);
    Write(stdout, (file.fileName() + u'\n').toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return Fail(QStringLiteral("no desktop session to open the report in."), 1);
    const QGuiApplication app(argc, argv);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file.fileName()))
               ? 0
               : Fail(QStringLiteral("the desktop has no browser to open the report in."), 1);
}
} // namespace

std::optional<int> RunHistoryCommand(int& argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!arguments.contains(QStringLiteral("--report")) && !arguments.contains(QStringLiteral("--export")))
        return std::nullopt;
    QCommandLineParser parser;
    for (const TOptionName& option : Options)
        parser.addOption(
            option.Value
                ? QCommandLineOption(QLatin1StringView(option.Name), QLatin1StringView(option.Description),
                                     QLatin1StringView(option.Value))
                : QCommandLineOption(QLatin1StringView(option.Name), QLatin1StringView(option.Description)));
    if (!parser.parse(arguments))
        return Fail(parser.errorText(), 2);
    if (!parser.positionalArguments().isEmpty())
        return Fail(
            QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst()), 2);
    const bool exporting = parser.isSet(QStringLiteral("export"));
    if (exporting && parser.isSet(QStringLiteral("report")))
        return Fail(QStringLiteral("Give only one of --report and --export."), 2);
    if (exporting && (parser.isSet(QStringLiteral("by")) || parser.isSet(QStringLiteral("format")) ||
                      parser.isSet(QStringLiteral("open"))))
        return Fail(QStringLiteral("--export takes only --from and --to."), 2);
    QString error;
    const std::optional<QDate> from = DateOption(parser, QStringLiteral("from"), error);
    const std::optional<QDate> to = DateOption(parser, QStringLiteral("to"), error);
    if (!error.isEmpty())
        return Fail(error, 2);
    TReportRequest request;
    static const char* const Groupings[] = {"day", "week", "month", "task"};
    static const char* const Formats[] = {"text", "csv", "json", "html"};
    if (!Choice(parser, "by", Groupings, request.By))
        return Fail(QStringLiteral("Unknown period '%1': use day, week, month or task.")
                        .arg(parser.value(QStringLiteral("by"))),
                    2);
    if (!Choice(parser, "format", Formats, request.Format))
        return Fail(QStringLiteral("Unknown format '%1': use text, csv, json or html.")
                        .arg(parser.value(QStringLiteral("format"))),
                    2);
    const bool open = parser.isSet(QStringLiteral("open"));
    if (open && request.Format != TReportFormat::Html)
        return Fail(QStringLiteral("--open goes only with --format html."), 2);
    const QDate today = QDate::currentDate();
    request.From = from ? *from : to ? WeekStart(*to) : WeekStart(today);
    request.To = to ? *to : from ? std::max(today, *from) : WeekStart(today).addDays(6);
    if ((from || to || !exporting) && request.From > request.To)
        return Fail(QStringLiteral("The range ends before it starts: %1 is after %2.")
                        .arg(request.From.toString(Qt::ISODate), request.To.toString(Qt::ISODate)),
                    2);
    // Found as the program finds it, but never created: a report writes nothing.
    const QString path = JoinPath(ChooseDataFolder(ExecutableFolder(), AppDataFolder()), HistoryFileName);
    try {
        if (exporting) {
            HistoryExport(path, from, to, [](const QByteArray& Bytes) { Write(stdout, Bytes); });
            return 0;
        }
        NameSetAsideHistories(path);
        const QByteArray report = HistoryReport(path, request);
        if (open)
            return OpenInBrowser(argc, argv, report);
        Write(stdout, report);
        return 0;
    } catch (const EAppError& e) {
        return Fail(e.Message(), 1);
    }
}
