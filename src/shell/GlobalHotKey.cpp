#include "GlobalHotKey.h"

#include "ExecutablePath.h"
#include "HotKey.h"

TGlobalHotKey::TGlobalHotKey(const QString& Name, quintptr /*WindowHandle*/, std::uint32_t Modifiers,
                             std::uint32_t Vk)
    : FAtom(HotKeyBackend().AddAtom(AtomNamePrefix() + Name)) {
    if (FAtom != 0)
        FRegistered = HotKeyBackend().Register(FAtom, Modifiers, Vk);
}

TGlobalHotKey::~TGlobalHotKey() {
    if (FAtom == 0)
        return;
    if (FRegistered)
        HotKeyBackend().Unregister(FAtom);
    HotKeyBackend().DeleteAtom(FAtom);
}

QString TGlobalHotKey::AtomNamePrefix() {
    return ExecutableBaseName() + u'_';
}

IGlobalHotKeyPtr CreateGlobalHotKey(const QString& Name, QWidget* Window, std::uint32_t Modifiers,
                                    std::uint32_t Vk) {
    // The window only identifies the receiver; presses reach the handler set below.
    return std::make_shared<TGlobalHotKey>(Name, reinterpret_cast<quintptr>(Window), Modifiers, Vk);
}

void SetHotKeyHandler(std::function<void(std::int32_t Id)> Handler) {
    SetHotKeyPressedHandler(std::move(Handler));
}
