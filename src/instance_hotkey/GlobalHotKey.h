// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>
#include <cstdint>
#include <functional>
#include <memory>

class IHotKeyBackend;
class QWidget;

// A system-wide key combination, held from creation until the last reference goes.
class IGlobalHotKey {
public:
    virtual ~IGlobalHotKey() = default;
    // The hot key's identifier with the backend: the atom of its name.
    virtual std::int32_t Atom() const = 0;
};
using IGlobalHotKeyPtr = std::shared_ptr<IGlobalHotKey>;

constexpr std::uint32_t MOD_ALT = 1, MOD_CONTROL = 2, MOD_SHIFT = 4, VK_SPACE = 0x20;

class TGlobalHotKey final : public IGlobalHotKey {
public:
    // The atom is named AtomNamePrefix() + Name. A combination that cannot be taken (another
    // program holds it, no X session) is not reported: the hot key then simply never fires.
    // Each press runs OnPressed on the UI thread, never once the hot key is gone. WindowHandle
    // only names the owner. Backend outlives the hot key.
    TGlobalHotKey(IHotKeyBackend& Backend, const QString& Name, quintptr WindowHandle,
                  std::uint32_t Modifiers, std::uint32_t Vk, std::function<void()> OnPressed);
    ~TGlobalHotKey() override;
    TGlobalHotKey(const TGlobalHotKey&) = delete;
    TGlobalHotKey& operator=(const TGlobalHotKey&) = delete;

    std::int32_t Atom() const override { return FAtom; }
    bool Registered() const { return FRegistered; }

    // The executable's file name without its extension (from the last "." on), then "_".
    static QString AtomNamePrefix();

private:
    IHotKeyBackend& FBackend;
    std::shared_ptr<const std::function<void()>> FOnPressed; // presses still queued hold it weakly
    std::int32_t FAtom;
    bool FRegistered = false;
};

// Makes the window's hot keys: Name, the window, the combination and the press's action.
using THotKeyFactory =
    std::function<IGlobalHotKeyPtr(const QString& Name, QWidget* Window, std::uint32_t Modifiers,
                                   std::uint32_t Vk, std::function<void()> OnPressed)>;

// Hot keys taken with Backend, which outlives them.
THotKeyFactory GlobalHotKeyFactory(IHotKeyBackend& Backend);
