#include "Application.h"

#include "Autostart.h"
#include "BackgroundCalls.h"
#include "CommandLine.h"
#include "ErrorDialog.h"
#include "Files.h"
#include "GlobalHotKey.h"
#include "LastInput.h"
#include "MainFormUnit.h"
#include "QtPrompt.h"
#include "SafeFile.h"
#include "SessionEndWatcher.h"
#include "Settings.h"
#include "SettingsFormUnit.h"
#include "SingleInstance.h"
#include "SingleInstanceGuard.h"
#include "SystemTickCounter.h"
#include "TahomaFont.h"
#include "TrayImages.h"
#include "Upgrade.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdio>
#include <memory>

bool StartHidden() {
    return qEnvironmentVariable("TALLYVOX_START_HIDDEN") == QStringLiteral("1");
}

namespace {
const QString InstanceName = QStringLiteral("Vostrak_Tallyvox");

// StartCommand: a remote command this start was given while no instance ran; it is applied
// once the loop runs, as if a later start had sent it. Every service of the window is built here.
int RunFirstInstance(QApplication& App, TSingleInstanceGuard& Guard, const QString& StartCommand) {
    App.setQuitOnLastWindowClosed(false);
    App.setWindowIcon(ApplicationIcon());
    App.setFont(TahomaFont(11)); // every dialog's face, the input and message boxes included
    TBackgroundCallsPool pool;
    TQtPrompt prompt;
    const std::unique_ptr<ILastInputSource> lastInput = CreateLastInputSource(SystemTickCounter());

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
    services.CreateHotKey = &CreateGlobalHotKey;
    services.SetHotKeyHandler = &SetHotKeyHandler;
    services.TrayHostPresent = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    TMainForm form(std::move(services));
    prompt.SetOwner(&form);

    std::unique_ptr<TSettingsForm> settingsForm;
    RunGuarded(prompt, [&] { settingsForm = std::make_unique<TSettingsForm>(&form, settings, prompt); });
    form.SetSettingsForm(settingsForm.get());

    Guard.SetMessageHandler([&form] { form.ShowFromOutside(); });
    Guard.SetCommandHandler([&form](const QString& Word) { return form.RemoteCommand(Word); });
    QObject::connect(&form, &TMainForm::Terminate, &App, [] { QCoreApplication::exit(0); });
    // Log-off, shutdown and termination signals end the program without Exit's dialogs, but
    // never without saving the running task's time.
    TSessionEndWatcher signals([&form](int) {
        form.SaveTasksQuietly();
        QCoreApplication::exit(0);
    });
    QObject::connect(&App, &QGuiApplication::commitDataRequest, &form, [&form] { form.SaveTasksQuietly(); });
    QObject::connect(&App, &QCoreApplication::aboutToQuit, &form, [&form] { form.SaveTasksQuietly(); });

    form.ShowAtStart(StartHidden());
    if (!StartCommand.isEmpty())
        QTimer::singleShot(0, &form, [&form, StartCommand] { form.RemoteCommand(StartCommand); });
    const int code = App.exec();
    Guard.SetMessageHandler({});
    Guard.SetCommandHandler({});
    return code;
}

QStringList ArgumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

void Write(std::FILE* Stream, const QByteArray& Bytes) {
    std::fwrite(Bytes.constData(), 1, static_cast<std::size_t>(Bytes.size()), Stream);
    std::fflush(Stream);
}

int Fail(const QString& Text, int Code) {
    Write(stderr, QStringLiteral("tallyvox: %1\n").arg(Text).toLocal8Bit());
    return Code;
}

const QString NoAnswerText = QStringLiteral("the running Tallyvox did not answer.");

// --status asks the running instance and prints its answer; it never starts one.
int RunStatus(bool Json) {
    const TInstanceReply reply =
        TSingleInstanceGuard(InstanceName).SendCommand(RemoteCommandWord(TRemoteCommand::Status));
    if (reply.State == TInstanceReply::TState::NobodyListens)
        return Fail(QStringLiteral("Tallyvox is not running."), 1);
    if (reply.State != TInstanceReply::TState::Answered)
        return Fail(NoAnswerText, 1);
    const std::optional<QByteArray> output = StatusOutput(reply.Text, Json);
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
        Fail(Line.Text + QStringLiteral("\nTry 'tallyvox --help' for more information."), 2);
        return 2;
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
    if (line.Command == TRemoteCommand::Status)
        return RunStatus(line.Json);
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
    if (!guard.CheckIfSingle(command)) {
        // Another start won the race and has been sent the command (a plain start ends
        // quietly, as it always did).
        if (!command.isEmpty() && !guard.MessageAcknowledged())
            return Fail(NoAnswerText, 1);
        return 0;
    }
    return RunFirstInstance(app, guard, command);
}
