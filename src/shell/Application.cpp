#include "Application.h"

#include "BackgroundCalls.h"
#include "ErrorDialog.h"
#include "LastInput.h"
#include "MainFormUnit.h"
#include "QtPrompt.h"
#include "SafeFile.h"
#include "SessionEnd.h"
#include "Settings.h"
#include "SettingsFormUnit.h"
#include "SingleInstanceGuard.h"
#include "TickCounter.h"
#include "TrayImages.h"

#include <QApplication>

#include <memory>

bool StartHidden() { return qEnvironmentVariable("TALLYVOX_START_HIDDEN") == QStringLiteral("1"); }

namespace {
// Takes the guard out of InstanceGuard before it goes, on every path.
struct TGuardOwner {
    std::unique_ptr<TSingleInstanceGuard> Guard;
    ~TGuardOwner() {
        InstanceGuard = nullptr;
        Guard.reset();
    }
};

int RunFirstInstance(QApplication& App) {
    App.setQuitOnLastWindowClosed(false);
    App.setWindowIcon(ApplicationIcon());
    TBackgroundCallsPool pool;
    TQtPrompt prompt;
    const std::unique_ptr<ILastInputSource> lastInput = CreateLastInputSource(SystemTickCounter());

    TMainFormServices services;
    services.Prompt = &prompt;
    services.Ticks = &SystemTickCounter();
    services.LastInput = lastInput.get();
    TMainForm form(std::move(services));
    prompt.SetOwner(&form);

    std::unique_ptr<TSettingsForm> settingsForm;
    RunGuarded(prompt, [&] { settingsForm = std::make_unique<TSettingsForm>(&form, TSettings::Instance(), prompt); });
    form.SetSettingsForm(settingsForm.get());

    if (InstanceGuard)
        InstanceGuard->SetMessageHandler([&form] { form.ShowFromOutside(); });
    QObject::connect(&form, &TMainForm::Terminate, &App, [] { QCoreApplication::exit(0); });
    // Log-off, shutdown and termination signals end the program without Exit's dialogs, but
    // never without saving the running task's time.
    TSessionEndWatcher signals([&form](int) {
        form.SaveTasksQuietly();
        QCoreApplication::exit(0);
    });
    QObject::connect(&App, &QGuiApplication::commitDataRequest, &form, [&form] { form.SaveTasksQuietly(); });
    QObject::connect(&App, &QCoreApplication::aboutToQuit, &form, [&form] { form.SaveTasksQuietly(); });

    if (StartHidden())
        form.SetVisibilityState(false);
    else
        form.show();
    const int code = App.exec();
    if (InstanceGuard)
        InstanceGuard->SetMessageHandler({});
    return code;
}
} // namespace

int RunApplication(int argc, char** argv) {
    IgnoreFileSizeLimitSignal();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallyvox"));
    // No display name: Qt would append it to every window title, and the dialogs' captions
    // ("Error", "New task") must stand alone.
    QApplication::setDesktopFileName(QStringLiteral("tallyvox"));
    // The guard listens through the application's event loop, so it comes after the application object.
    TGuardOwner owner;
    owner.Guard = std::make_unique<TSingleInstanceGuard>(QStringLiteral("Vostrak_Tallyvox"));
    InstanceGuard = owner.Guard.get();
    if (!InstanceGuard->CheckIfSingle())
        return 0;
    return RunFirstInstance(app);
}
