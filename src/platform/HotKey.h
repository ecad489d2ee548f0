// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

// System-wide hot keys and the atoms that name them. Modifier flags and key codes are the
// Windows ones the program was built around: Alt 1, Ctrl 2, Shift 4, Win 8; Space 0x20,
// digits '0'..'9' and letters 'A'..'Z' as their character codes.
//
// On an X11 session the keys are grabbed on the root window. On a Wayland session they are
// bound through the desktop portal's GlobalShortcuts (asynchronously: Register only says the
// request went out; a refusal later is silent). Elsewhere (the offscreen platform)
// registration silently does nothing. Outside X11, atoms come from a table of the process,
// so identifiers stay distinct and nonzero.
class IHotKeyBackend {
public:
    virtual ~IHotKeyBackend() = default;

    // The atom for Name, the same value for the same name; 0 when none can be had.
    virtual std::int32_t AddAtom(const QString& Name) = 0;
    // The name of an atom, empty for an unknown one.
    virtual QString AtomName(std::int32_t Atom) = 0;
    // Atoms of the X server live as long as the server; only the process table forgets them.
    virtual void DeleteAtom(std::int32_t Atom) = 0;

    // Takes the combination for Id; each press runs OnPressed on the UI thread, from the event
    // loop. False, with nothing held, when the key cannot be taken (another program holds it,
    // unknown key, no X session).
    virtual bool Register(std::int32_t Id, std::uint32_t Modifiers, std::uint32_t Vk,
                          std::function<void()> OnPressed) = 0;
    // Gives the combination of Id back; unknown ids are ignored.
    virtual void Unregister(std::int32_t Id) = 0;
};

// The backend for this session, chosen from the running platform. Needs the application
// object for the X11 and portal backends, and outlives the hot keys registered with it;
// without an application object the silent backend is used.
std::unique_ptr<IHotKeyBackend> CreateHotKeyBackend();

// The backends CreateHotKeyBackend chooses from, and the hand-over of a press to its action.

// The X11 backend over Qt's X connection; nullptr when the application does not run on xcb.
std::unique_ptr<IHotKeyBackend> CreateX11HotKeyBackend();

// Hot keys through the desktop portal's GlobalShortcuts interface on the session bus.
std::unique_ptr<IHotKeyBackend> CreatePortalHotKeyBackend();

// Atoms from a table of the process; registration takes nothing and fails.
std::unique_ptr<IHotKeyBackend> CreateSilentHotKeyBackend();

// Queues a press's action on the UI thread's event loop.
void DispatchHotKeyPressed(std::function<void()> OnPressed);
