// SPDX-License-Identifier: MIT
#include "HotKey.h"

#include "LastInput.h"
#include "Logging.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHash>
#include <QMetaObject>
#include <exception>

namespace {
// Where no hot key can be grabbed: atoms from a table of the process, reference-counted like
// global atoms, numbered from 0xC000 like string atoms; registration does nothing.
class TSilentHotKeyBackend final : public IHotKeyBackend {
public:
    std::int32_t AddAtom(const QString& Name) override {
        if (Name.isEmpty())
            return 0;
        auto it = FAtoms.find(Name);
        if (it == FAtoms.end())
            it = FAtoms.insert(Name, TEntry{FNext++, 0});
        ++it->Count;
        return it->Atom;
    }
    QString AtomName(std::int32_t Atom) override {
        for (auto it = FAtoms.cbegin(); it != FAtoms.cend(); ++it)
            if (it->Atom == Atom)
                return it.key();
        return {};
    }
    void DeleteAtom(std::int32_t Atom) override {
        for (auto it = FAtoms.begin(); it != FAtoms.end(); ++it)
            if (it->Atom == Atom) {
                if (--it->Count == 0)
                    FAtoms.erase(it);
                return;
            }
    }
    bool Register(std::int32_t, std::uint32_t, std::uint32_t, std::function<void()>) override {
        return false;
    }
    void Unregister(std::int32_t) override {}

private:
    struct TEntry {
        std::int32_t Atom;
        int Count;
    };
    QHash<QString, TEntry> FAtoms;
    std::int32_t FNext = 0xC000;
};

} // namespace

std::unique_ptr<IHotKeyBackend> CreateHotKeyBackend() {
    if (qGuiApp == nullptr)
        return CreateSilentHotKeyBackend();
    const QString platform = QGuiApplication::platformName();
    // Under XWayland an X grab fires only while one of the X windows has the focus: a Wayland
    // session takes its hot keys from the desktop portal, whichever platform Qt runs on.
    if (platform.startsWith(QStringLiteral("wayland")) ||
        (platform == QStringLiteral("xcb") && IsWaylandSession())) {
        qCInfo(lcHotKey, "hot keys through the desktop portal's global shortcuts");
        return CreatePortalHotKeyBackend();
    }
    if (platform == QStringLiteral("xcb"))
        if (std::unique_ptr<IHotKeyBackend> x11 = CreateX11HotKeyBackend()) {
            qCInfo(lcHotKey, "hot keys grabbed on the X root window");
            return x11;
        }
    qCInfo(lcHotKey) << "no hot keys on the platform" << platform;
    return CreateSilentHotKeyBackend();
}

std::unique_ptr<IHotKeyBackend> CreateSilentHotKeyBackend() {
    return std::make_unique<TSilentHotKeyBackend>();
}

void DispatchHotKeyPressed(std::function<void()> OnPressed) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || !OnPressed)
        return;
    // Queued, so the action (which may open a modal box) never runs inside X event processing.
    QMetaObject::invokeMethod(
        app, [OnPressed = std::move(OnPressed)] { RunLoggingFailure("Hot key handler", OnPressed); },
        Qt::QueuedConnection);
}
