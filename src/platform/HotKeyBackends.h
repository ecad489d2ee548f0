#pragma once

#include "HotKey.h"

#include <memory>

// Internal to the hot-key service: the backends and the hand-over of a press to its action.

// The X11 backend over Qt's X connection; nullptr when the application does not run on xcb.
std::unique_ptr<IHotKeyBackend> CreateX11HotKeyBackend();

// Hot keys through the desktop portal's GlobalShortcuts interface on the session bus.
std::unique_ptr<IHotKeyBackend> CreatePortalHotKeyBackend();

// Atoms from a table of the process; registration takes nothing and fails.
std::unique_ptr<IHotKeyBackend> CreateSilentHotKeyBackend();

// Queues a press's action on the UI thread's event loop.
void DispatchHotKeyPressed(std::function<void()> OnPressed);
