// SPDX-License-Identifier: MIT
#include "HotKey.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QGuiApplication>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <cstdlib>
#include <functional>
#include <vector>
#include <xcb/xcb.h>

namespace {
// Qt's X connection, or nothing once the application is gone (a hot key released late).
struct TX11Connection {
    Display* Dpy = nullptr;
    xcb_connection_t* Conn = nullptr;
};

TX11Connection QtConnection() {
    if (qGuiApp == nullptr)
        return {};
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->display() == nullptr || x11->connection() == nullptr)
        return {};
    return {x11->display(), x11->connection()};
}

std::uint16_t X11Modifiers(std::uint32_t Modifiers) {
    std::uint16_t mods = 0;
    if (Modifiers & 1u)
        mods |= XCB_MOD_MASK_1; // Alt
    if (Modifiers & 2u)
        mods |= XCB_MOD_MASK_CONTROL;
    if (Modifiers & 4u)
        mods |= XCB_MOD_MASK_SHIFT;
    if (Modifiers & 8u)
        mods |= XCB_MOD_MASK_4; // Win / Super
    return mods;
}

KeySym KeySymOf(std::uint32_t Vk) {
    if (Vk == 0x20)
        return XK_space;
    if (Vk >= '0' && Vk <= '9')
        return XK_0 + (Vk - '0');
    if (Vk >= 'A' && Vk <= 'Z')
        return XK_a + (Vk - 'A');
    return NoSymbol;
}

// The modifiers that decide a match; NumLock (Mod2), CapsLock (Lock) and the rest are ignored.
constexpr std::uint16_t MatchedModifiers =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
// Each combination is grabbed once per state of NumLock and CapsLock.
constexpr std::uint16_t LockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                          XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

class TX11HotKeyBackend final : public IHotKeyBackend, public QAbstractNativeEventFilter {
public:
    explicit TX11HotKeyBackend(xcb_window_t Root) : FRoot(Root) {}
    ~TX11HotKeyBackend() override {
        if (FFilterInstalled && qGuiApp != nullptr)
            qGuiApp->removeNativeEventFilter(this);
    }
    TX11HotKeyBackend(const TX11HotKeyBackend&) = delete;
    TX11HotKeyBackend& operator=(const TX11HotKeyBackend&) = delete;

    std::int32_t AddAtom(const QString& Name) override {
        const TX11Connection x = QtConnection();
        if (x.Dpy == nullptr || Name.isEmpty())
            return 0;
        const Atom atom = XInternAtom(x.Dpy, Name.toUtf8().constData(), False);
        return static_cast<std::int32_t>(atom); // X atoms have at most 29 bits
    }

    QString AtomName(std::int32_t Atom) override {
        const TX11Connection x = QtConnection();
        if (x.Conn == nullptr || Atom <= 0)
            return {};
        const xcb_get_atom_name_cookie_t cookie = xcb_get_atom_name(x.Conn, static_cast<xcb_atom_t>(Atom));
        std::unique_ptr<xcb_get_atom_name_reply_t, decltype(&std::free)> reply(
            xcb_get_atom_name_reply(x.Conn, cookie, nullptr), &std::free);
        if (!reply)
            return {};
        return QString::fromUtf8(xcb_get_atom_name_name(reply.get()),
                                 xcb_get_atom_name_name_length(reply.get()));
    }

    void DeleteAtom(std::int32_t) override {}

    bool Register(std::int32_t Id, std::uint32_t Modifiers, std::uint32_t Vk,
                  std::function<void()> OnPressed) override {
        const TX11Connection x = QtConnection();
        const KeySym sym = KeySymOf(Vk);
        if (x.Dpy == nullptr || sym == NoSymbol)
            return false;
        const KeyCode code = XKeysymToKeycode(x.Dpy, sym);
        if (code == 0)
            return false;
        TGrab grab{Id, code, X11Modifiers(Modifiers), std::move(OnPressed)};
        if (!Grab(x.Conn, grab))
            return false;
        FGrabs.push_back(std::move(grab));
        if (!FFilterInstalled) {
            qGuiApp->installNativeEventFilter(this);
            FFilterInstalled = true;
        }
        return true;
    }

    void Unregister(std::int32_t Id) override {
        const TX11Connection x = QtConnection();
        for (auto it = FGrabs.begin(); it != FGrabs.end();) {
            if (it->Id != Id) {
                ++it;
                continue;
            }
            if (x.Conn != nullptr)
                Ungrab(x.Conn, *it);
            it = FGrabs.erase(it);
        }
        if (x.Conn != nullptr)
            xcb_flush(x.Conn);
    }

    bool nativeEventFilter(const QByteArray& EventType, void* Message, qintptr*) override {
        if (EventType != "xcb_generic_event_t" || Message == nullptr)
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(Message);
        if ((event->response_type & 0x7f) != XCB_KEY_PRESS)
            return false;
        const auto* key = static_cast<const xcb_key_press_event_t*>(Message);
        if (key->event != FRoot)
            return false; // an ordinary key of one of our own windows
        const std::uint16_t mods = key->state & MatchedModifiers;
        for (const TGrab& grab : FGrabs)
            if (grab.Code == key->detail && grab.Mods == mods) {
                DispatchHotKeyPressed(grab.OnPressed);
                return true;
            }
        return false;
    }

private:
    struct TGrab {
        std::int32_t Id;
        KeyCode Code;
        std::uint16_t Mods;
        std::function<void()> OnPressed;
    };

    // WORKAROUND: Qt lets XCB own the event queue, so the errors of Xlib's XGrabKey would go to
    // Qt's event reader (which only prints them) instead of a temporary Xlib error handler. The
    // grabs are therefore sent as checked XCB requests, which hand their error straight back.
    bool Grab(xcb_connection_t* Conn, const TGrab& G) {
        std::vector<xcb_void_cookie_t> cookies;
        for (const std::uint16_t lock : LockVariants)
            cookies.push_back(xcb_grab_key_checked(Conn, 1, FRoot, G.Mods | lock, G.Code, XCB_GRAB_MODE_ASYNC,
                                                   XCB_GRAB_MODE_ASYNC));
        bool ok = true;
        for (const xcb_void_cookie_t cookie : cookies)
            if (xcb_generic_error_t* error = xcb_request_check(Conn, cookie)) {
                ok = false; // typically BadAccess: another program holds the combination
                std::free(error);
            }
        if (!ok) {
            Ungrab(Conn, G); // gives back the variants that were taken; others' grabs stay
            xcb_flush(Conn);
        }
        return ok;
    }

    void Ungrab(xcb_connection_t* Conn, const TGrab& G) {
        for (const std::uint16_t lock : LockVariants)
            xcb_ungrab_key(Conn, G.Code, FRoot, G.Mods | lock);
    }

    xcb_window_t FRoot;
    std::vector<TGrab> FGrabs;
    bool FFilterInstalled = false;
};
} // namespace

std::unique_ptr<IHotKeyBackend> CreateX11HotKeyBackend() {
    const TX11Connection x = QtConnection();
    if (x.Dpy == nullptr)
        return nullptr;
    return std::make_unique<TX11HotKeyBackend>(static_cast<xcb_window_t>(XDefaultRootWindow(x.Dpy)));
}
