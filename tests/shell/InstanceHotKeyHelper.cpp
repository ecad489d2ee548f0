// SPDX-License-Identifier: MIT
// A tiny program the single-instance and hot-key tests start as real processes.
//   guard <messages>   start like the program: print "first", or "second acked"/"second noack"
//                      and end; a first instance prints "message" per second start and ends
//                      after <messages> of them
//   hung               a first instance whose handler never returns (never acknowledges)
//   modal              a first instance sitting in a modal dialog; a second start closes it
//   hotkey             register both hot keys (xcb), print "ready <bring> <toggle> <b-ok> <t-ok>",
//                      then "hotkey <id>" per press and "state <hex>" per root key press;
//                      "release" on stdin gives the bring-to-front key back
//   grab               an ordinary X client that grabs Ctrl+Shift+Space first, prints "grabbed"
#include "GlobalHotKey.h"
#include "HotKey.h"
#include "SingleInstanceGuard.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {
const QString InstanceName = QStringLiteral("Vostrak_Tallyvox");

void Say(const std::string& Line) {
    std::fprintf(stdout, "%s\n", Line.c_str());
    std::fflush(stdout);
}

// Returns -1 when this start is the first instance (the caller runs it), else the exit code.
int StartGuard(TSingleInstanceGuard& Guard) {
    if (Guard.CheckIfSingle()) {
        Say("first");
        return -1;
    }
    Say(Guard.MessageAcknowledged() ? "second acked" : "second noack");
    return 0;
}

int RunGuard(int Messages) {
    TSingleInstanceGuard guard(InstanceName);
    if (const int rc = StartGuard(guard); rc >= 0)
        return rc;
    int received = 0;
    guard.SetMessageHandler([&] {
        Say("message");
        if (++received >= Messages)
            QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
    });
    return QCoreApplication::exec();
}

int RunHung() {
    TSingleInstanceGuard guard(InstanceName);
    if (const int rc = StartGuard(guard); rc >= 0)
        return rc;
    guard.SetMessageHandler([] {
        Say("message");
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    });
    return QCoreApplication::exec();
}

int RunModal() {
    TSingleInstanceGuard guard(InstanceName);
    if (const int rc = StartGuard(guard); rc >= 0)
        return rc;
    QDialog dialog;
    guard.SetMessageHandler([&] {
        Say("message");
        dialog.done(QDialog::Accepted);
    });
    QTimer::singleShot(0, &dialog, [] { Say("modal"); });
    dialog.exec();
    Say("closed");
    return 0;
}

// Prints the modifier state of every key press on the root window, before the hot-key filter.
class TStatePrinter final : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& EventType, void* Message, qintptr*) override {
        if (EventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(Message);
        if ((event->response_type & 0x7f) == XCB_KEY_PRESS) {
            char line[32];
            std::snprintf(line, sizeof line, "state %x",
                          static_cast<const xcb_key_press_event_t*>(Message)->state);
            Say(line);
        }
        return false;
    }
};

int RunHotKey() {
    QWidget window;
    const auto backend = CreateHotKeyBackend();
    const auto handle = reinterpret_cast<quintptr>(&window);
    // Each press says which hot key's action ran, by the hot key's atom.
    std::int32_t bringAtom = 0, toggleAtom = 0;
    auto bring = std::make_shared<TGlobalHotKey>(
        *backend, QStringLiteral("BringToFront"), handle, MOD_CONTROL | MOD_SHIFT, VK_SPACE,
        [&bringAtom] { Say("hotkey " + std::to_string(bringAtom)); });
    const auto toggle = std::make_shared<TGlobalHotKey>(
        *backend, QStringLiteral("ToggleTracking"), handle, MOD_ALT | MOD_SHIFT, VK_SPACE,
        [&toggleAtom] { Say("hotkey " + std::to_string(toggleAtom)); });
    bringAtom = bring->Atom();
    toggleAtom = toggle->Atom();
    TStatePrinter printer;
    qApp->installNativeEventFilter(&printer);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &window, [&] {
        char buffer[64];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            QCoreApplication::quit();
            return;
        }
        if (std::string(buffer, static_cast<std::size_t>(n)).find("release") != std::string::npos) {
            bring.reset();
            Say("released");
        }
    });
    Say("ready " + std::to_string(bring->Atom()) + ' ' + std::to_string(toggle->Atom()) + ' ' +
        std::to_string(bring->Registered()) + ' ' + std::to_string(toggle->Registered()));
    return QCoreApplication::exec();
}

int RunGrab() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return 2;
    const KeyCode code = XKeysymToKeycode(display, XK_space);
    for (const unsigned lock : {0u, unsigned(LockMask), unsigned(Mod2Mask), unsigned(LockMask | Mod2Mask)})
        XGrabKey(display, code, ControlMask | ShiftMask | lock, XDefaultRootWindow(display), False,
                 GrabModeAsync, GrabModeAsync);
    XSync(display, False);
    Say("grabbed");
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
    }
}
} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "grab")
        return RunGrab();
    QApplication app(argc, argv);
    if (mode == "guard")
        return RunGuard(argc > 2 ? std::atoi(argv[2]) : 1);
    if (mode == "hung")
        return RunHung();
    if (mode == "modal")
        return RunModal();
    if (mode == "hotkey")
        return RunHotKey();
    std::fprintf(stderr, "unknown mode\n");
    return 2;
}
