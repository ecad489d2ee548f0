// SPDX-License-Identifier: MIT
#include "HistoryCommand.h"

#include "AppData.h"
#include "CommandLine.h"
#include "ConsoleOutput.h"
#include "Errors.h"
#include "ExecutablePath.h"
#include "Files.h"
#include "History.h"
#include "HistoryReport.h"
#include "Paths.h"

#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QTemporaryFile>
#include <QUrl>
#include <cstdio>

namespace {
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

int RunHistoryCommand(const TCommandLine& Line, int& argc, char** argv) {
    // Found as the program finds it, but never created: a report writes nothing.
    const QString path = JoinPath(ChooseDataFolder(ExecutableFolder(), AppDataFolder()), HistoryFileName);
    try {
        if (Line.History == THistoryCommand::Export) {
            HistoryExport(path, Line.From, Line.To, [](const QByteArray& Bytes) { Write(stdout, Bytes); });
            return 0;
        }
        NameSetAsideHistories(path);
        const QByteArray report = HistoryReport(path, Line.Report);
        if (Line.OpenReport)
            return OpenInBrowser(argc, argv, report);
        Write(stdout, report);
        return 0;
    } catch (const EAppError& e) {
        return Fail(e.Message(), 1);
    }
}
