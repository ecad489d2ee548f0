// SPDX-License-Identifier: MIT
#include "WindowActivation.h"

#include <QGuiApplication>
#include <QWindow>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace {
xcb_atom_t InternAtom(xcb_connection_t* Connection, const char* Name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(Connection, 0, static_cast<std::uint16_t>(std::strlen(Name)), Name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(Connection, cookie, nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

// _NET_ACTIVE_WINDOW with the source "pager": window managers honour it as the user's own
// request, which a hot key or a second start is.
void SendActiveWindowRequest(xcb_connection_t* Connection, xcb_window_t Window) {
    const xcb_atom_t activeWindow = InternAtom(Connection, "_NET_ACTIVE_WINDOW");
    if (activeWindow == XCB_ATOM_NONE)
        return;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(Connection)).data;
    if (!screen)
        return;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = Window;
    event.type = activeWindow;
    event.data.data32[0] = 2; // source indication: pager
    event.data.data32[1] = XCB_CURRENT_TIME;
    event.data.data32[2] = XCB_NONE;
    xcb_send_event(Connection, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(Connection);
}
} // namespace

void BringWindowToFront(QWindow* Window) {
    if (!Window)
        return;
    Window->raise();
    Window->requestActivate();
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    SendActiveWindowRequest(x11->connection(), static_cast<xcb_window_t>(Window->winId()));
}

bool AnyPointerButtonDown() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return false;
    xcb_connection_t* connection = x11->connection();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen)
        return false;
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(connection, xcb_query_pointer(connection, screen->root), nullptr);
    if (!reply)
        return false;
    constexpr std::uint16_t Buttons =
        XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_2 | XCB_BUTTON_MASK_3 | XCB_BUTTON_MASK_4 | XCB_BUTTON_MASK_5;
    const bool down = (reply->mask & Buttons) != 0;
    std::free(reply);
    return down;
}
