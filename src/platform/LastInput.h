// SPDX-License-Identifier: MIT
#pragma once

#include "TickCounter.h"

#include <cstdint>
#include <memory>
#include <optional>

// When the user last touched the keyboard or the mouse anywhere on the desktop.
class ILastInputSource {
public:
    virtual ~ILastInputSource() = default;
    // The tick count (same counter as ITickCounter) of the last input; std::nullopt when no
    // source answers, which callers must treat as "the user is active".
    virtual std::optional<std::uint32_t> LastInputTick() = 0;
    // The idle limit the caller compares against, told after each query. Sources that are
    // told by the desktop only when a chosen time has passed (ext-idle-notify) watch for it.
    virtual void SetIdleLimit(std::uint32_t LimitMs) { static_cast<void>(LimitMs); }
    // True when an answer carries the real idle time, so that the caller may count on from it
    // with the clock. A source that learns only when the limit has passed answers "now" until
    // then, and has to be asked at every check (it answers without a round trip).
    virtual bool AnswersWithIdleTime() const { return true; }
};

// The source for the running session, chosen here and nowhere else. On Wayland: the
// compositor's ext-idle-notify-v1 or org_kde_kwin_idle, else the desktop's D-Bus idle monitor
// (never the X screen saver through XWayland: it does not see input to native Wayland windows).
// On X11 the XScreenSaver extension; otherwise a source that never answers.
std::unique_ptr<ILastInputSource> CreateLastInputSource(const ITickCounter& Ticks);

// The backends, each usable on its own (the factory picks one).
std::unique_ptr<ILastInputSource> CreateX11LastInputSource(const ITickCounter& Ticks);  // nullptr without X11
std::unique_ptr<ILastInputSource> CreateDBusLastInputSource(const ITickCounter& Ticks); // asynchronous
// nullptr when no Wayland compositor answers at $WAYLAND_DISPLAY (or WAYLAND_SOCKET) or it
// lacks wl_seat or both of ext_idle_notifier_v1 and org_kde_kwin_idle.
std::unique_ptr<ILastInputSource> CreateWaylandLastInputSource(const ITickCounter& Ticks);

// Last-input tick from an idle time: Now - IdleMs modulo 2^32.
constexpr std::uint32_t LastInputTickFromIdle(std::uint32_t Now, std::uint64_t IdleMs) {
    return Now - static_cast<std::uint32_t>(IdleMs);
}

// True when the session is a Wayland one (XDG_SESSION_TYPE=wayland or WAYLAND_DISPLAY set).
bool IsWaylandSession();
