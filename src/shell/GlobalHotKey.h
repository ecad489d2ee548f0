#pragma once

#include <QString>
#include <QtGlobal>
#include <cstdint>
#include <functional>
#include <memory>

class QWidget;

// A system-wide key combination, held from creation until the last reference goes.
class IGlobalHotKey {
public:
    virtual ~IGlobalHotKey() = default;
    // The hot key's identifier, as passed to the hot-key handler: the atom of its name.
    virtual std::int32_t Atom() const = 0;
};
using IGlobalHotKeyPtr = std::shared_ptr<IGlobalHotKey>;

constexpr std::uint32_t MOD_ALT = 1, MOD_CONTROL = 2, MOD_SHIFT = 4, VK_SPACE = 0x20;

class TGlobalHotKey final : public IGlobalHotKey {
public:
    // The atom is named AtomNamePrefix() + Name. A combination that cannot be taken (another
    // program holds it, no X session) is not reported: the hot key then simply never fires.
    // Presses reach the hot-key handler, not the window: WindowHandle only names the owner.
    TGlobalHotKey(const QString& Name, quintptr WindowHandle, std::uint32_t Modifiers, std::uint32_t Vk);
    ~TGlobalHotKey() override;
    TGlobalHotKey(const TGlobalHotKey&) = delete;
    TGlobalHotKey& operator=(const TGlobalHotKey&) = delete;

    std::int32_t Atom() const override { return FAtom; }
    bool Registered() const { return FRegistered; }

    // The executable's file name without its extension (from the last "." on), then "_".
    static QString AtomNamePrefix();

private:
    std::int32_t FAtom;
    bool FRegistered = false;
};

IGlobalHotKeyPtr CreateGlobalHotKey(const QString& Name, QWidget* Window, std::uint32_t Modifiers,
                                    std::uint32_t Vk);

// The main window's hot-key handler, run on the UI thread with the pressed hot key's Atom().
void SetHotKeyHandler(std::function<void(std::int32_t Id)> Handler);
