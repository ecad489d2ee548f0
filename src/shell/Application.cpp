// SPDX-License-Identifier: MIT
#include "Application.h"

#include "Autostart.h"
#include "BackgroundCalls.h"
#include "CommandLine.h"
#include "ConsoleOutput.h"
#include "ErrorReporting.h"
#include "Files.h"
#include "GlobalHotKey.h"
#include "HistoryCommand.h"
#include "HotKey.h"
#include "InstanceChannelClient.h"
#include "LastInput.h"
#include "MainFormUnit.h"
#include "QtPrompt.h"
#include "SafeFile.h"
#include "SessionEndWatcher.h"
#include "Settings.h"
#include "SettingsFormUnit.h"
#include "SingleInstanceGuard.h"
#include "SystemTickCounter.h"
#include "TahomaFont.h"
#include "TrayImages.h"
#include "Upgrade.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

bool StartHidden() {
    return qEnvironmentVariable("TALLYVOX_START_HIDDEN") == QStringLiteral("1");
}

namespace {
const QString InstanceName = QStringLiteral("Vostrak_Tallyvox");

// StartCommand: a remote command this start was given while no instance ran; it is applied
// once the loop runs, as if a later start had sent it. Every service of the window is built here.
int RunFirstInstance(QApplication& App, TSingleInstanceGuard& Guard, const QString& StartCommand,
                     bool Hidden) {
    App.setQuitOnLastWindowClosed(false);
    App.setWindowIcon(ApplicationIcon());
    App.setFont(TahomaFont(11)); // every dialog's face, the input and message boxes included
    TBackgroundCallsPool pool;
    TQtPrompt prompt;
    const std::unique_ptr<ILastInputSource> lastInput = CreateLastInputSource(SystemTickCounter());
    const std::unique_ptr<IHotKeyBackend> hotKeys = CreateHotKeyBackend(); // outlives the window's hot keys

    const TFiles& files = DataFiles();
    TSettings& settings = TSettings::Instance();

    TMainFormServices services;
    services.Prompt = &prompt;
    services.Ticks = &SystemTickCounter();
    services.Files = &files;
    services.Settings = &settings;
    services.Upgrade = [&files] { TUpgrade::Upgrade(files); };
    services.UpdateTimeFile = UpdateTimeFileAt(files.Upd());
    services.LastInput = lastInput.get();
    services.CreateHotKey = GlobalHotKeyFactory(*hotKeys);
    services.TrayHostPresent = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    services.StatusChanged = [&Guard] { Guard.StatusChanged(); };
    TMainForm form(std::move(services));
    prompt.SetOwner(&form);

    std::unique_ptr<TSettingsForm> settingsForm;
    RunGuarded(prompt, [&] { settingsForm = std::make_unique<TSettingsForm>(&form, settings, prompt); });
    form.SetSettingsForm(settingsForm.get());

    Guard.SetStatusSource([&form] { return form.StatusNow(); });
    Guard.SetMessageHandler([&form] { form.ShowFromOutside(); });
    Guard.SetCommandHandler([&form](const QString& Word) { return form.RemoteCommand(Word); });
    QObject::connect(&form, &TMainForm::Terminate, &App, [] { QCoreApplication::exit(0); });
    // Log-off, shutdown and termination signals end the program without Exit's dialogs, but
    // never without saving the running task's time: the loop ends, and aboutToQuit saves once.
    TSessionEndWatcher signals([](int) { QCoreApplication::exit(0); });
    QObject::connect(&App, &QGuiApplication::commitDataRequest, &form, [&form] { form.SaveTasksQuietly(); });
    QObject::connect(&App, &QCoreApplication::aboutToQuit, &form, [&form] { form.SaveTasksQuietly(); });

    form.ShowAtStart(Hidden);
    if (!StartCommand.isEmpty())
        QTimer::singleShot(0, &form, [&form, StartCommand] { form.RemoteCommand(StartCommand); });
    const int code = App.exec();
    Guard.SetMessageHandler({});
    Guard.SetCommandHandler({});
    Guard.SetStatusSource({});
    return code;
}

QStringList ArgumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

const QString NoAnswerText = QStringLiteral("the running Tallyvox did not answer.");

// --status --follow: prints the state at once and at every change, for as long as it lives.
// A reader that went away (a bar that ended) ends it.
int RunFollow(TStatusFormat Format) {
    QByteArray last;
    TSingleInstanceGuard(InstanceName).Follow([&](const std::optional<QByteArray>& Answer) {
        const std::optional<QByteArray> output =
            StatusOutput(Answer.value_or(IdleStatusAnswer()), Format, true);
        if (!output || *output == last)
            return;
        last = *output;
        Write(stdout, last);
        std::fflush(stdout); // a bar shows each line as it comes
        if (std::ferror(stdout))
            std::exit(0);
    });
    return Fail(QStringLiteral("no private folder for the single-instance channel."), 1);
}

// --status asks the running instance and prints its answer; it never starts one.
int RunStatus(TStatusFormat Format, bool Follow) {
    if (Follow)
        return RunFollow(Format);
    const TInstanceReply reply =
        TSingleInstanceGuard(InstanceName).SendCommand(RemoteCommandWord(TRemoteCommand::Status));
    if (reply.State == TInstanceReply::TState::NobodyListens)
        return Fail(QStringLiteral("Tallyvox is not running."), 1);
    if (reply.State != TInstanceReply::TState::Answered)
        return Fail(NoAnswerText, 1);
    const std::optional<QByteArray> output = StatusOutput(reply.Text, Format);
    if (!output)
        return Fail(QStringLiteral("the running Tallyvox gave an answer this build does not understand."), 1);
    Write(stdout, *output);
    return 0;
}

// Help, version and bad arguments end here; nothing is started and nothing sent.
std::optional<int> AnswerWithoutRunning(const TCommandLine& Line) {
    switch (Line.Outcome) {
    case TCommandLine::TOutcome::Help:
    case TCommandLine::TOutcome::Version:
        Write(stdout, Line.Text.toLocal8Bit());
        return 0;
    case TCommandLine::TOutcome::Error:
        return Line.PointToHelp ? FailUsage(Line.Text) : Fail(Line.Text, 2);
    case TCommandLine::TOutcome::Run:
        break;
    }
    return std::nullopt;
}
} // namespace

int RunApplication(int argc, char** argv) {
    IgnoreFileSizeLimitSignal();
    if (const std::optional<int> code = RunAutostartOption(ArgumentsOf(argc, argv)))
        return *code;
    const TCommandLine line = ParseCommandLine(ArgumentsOf(argc, argv));
    if (const std::optional<int> code = AnswerWithoutRunning(line))
        return *code;
    if (line.History != THistoryCommand::None)
        return RunHistoryCommand(line, argc, argv);
    if (line.Command == TRemoteCommand::Status)
        return RunStatus(line.Format, line.Follow);
    const QString command = RemoteCommandWord(line.Command);
    if (!command.isEmpty()) {
        // A running instance applies it and this start ends; with none running, this start
        // becomes the instance and applies it itself.
        const TInstanceReply reply = TSingleInstanceGuard(InstanceName).SendCommand(command);
        if (reply.State == TInstanceReply::TState::Answered)
            return 0;
        if (reply.State == TInstanceReply::TState::NoAnswer)
            return Fail(NoAnswerText, 1);
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallyvox"));
    // No display name: Qt would append it to every window title, and the dialogs' captions
    // ("Error", "New task") must stand alone.
    QApplication::setDesktopFileName(QStringLiteral("tallyvox"));
    // The guard listens through the application's event loop, so it comes after the application object.
    TSingleInstanceGuard guard(InstanceName);
    if (!guard.CheckIfSingle(command))
        return guard.MessageAcknowledged() ? 0 : Fail(NoAnswerText, 1);
    // With no copy running, a command that shows the window starts with it shown, so a first
    // press never hides it; the tracking toggle starts in the tray, as the autostart entry does.
    switch (line.Command) {
    case TRemoteCommand::Show:
    case TRemoteCommand::ToggleWindow:
        return RunFirstInstance(app, guard, QString(), false);
    case TRemoteCommand::ToggleTracking:
        return RunFirstInstance(app, guard, command, true);
    default:
        return RunFirstInstance(app, guard, command, StartHidden());
    }
}
