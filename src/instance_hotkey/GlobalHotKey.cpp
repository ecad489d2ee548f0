// SPDX-License-Identifier: MIT
#include "GlobalHotKey.h"

#include "ExecutablePath.h"
#include "HotKey.h"

TGlobalHotKey::TGlobalHotKey(IHotKeyBackend& Backend, const QString& Name, quintptr /*WindowHandle*/,
                             std::uint32_t Modifiers, std::uint32_t Vk, std::function<void()> OnPressed)
    : FBackend(Backend), FOnPressed(std::make_shared<const std::function<void()>>(std::move(OnPressed))),
      FAtom(Backend.AddAtom(AtomNamePrefix() + Name)) {
    if (FAtom == 0)
        return;
    // A press the backend has queued runs only while this hot key still exists.
    FRegistered = FBackend.Register(FAtom, Modifiers, Vk,
                                    [Weak = std::weak_ptr<const std::function<void()>>(FOnPressed)] {
                                        if (const auto action = Weak.lock(); action && *action)
                                            (*action)();
                                    });
}

TGlobalHotKey::~TGlobalHotKey() {
    if (FAtom == 0)
        return;
    if (FRegistered)
        FBackend.Unregister(FAtom);
    FBackend.DeleteAtom(FAtom);
}

QString TGlobalHotKey::AtomNamePrefix() {
    return ExecutableBaseName() + u'_';
}

THotKeyFactory GlobalHotKeyFactory(IHotKeyBackend& Backend) {
    return [&Backend](const QString& Name, QWidget* Window, std::uint32_t Modifiers, std::uint32_t Vk,
                      std::function<void()> OnPressed) -> IGlobalHotKeyPtr {
        // The window only identifies the owner; presses run OnPressed.
        return std::make_shared<TGlobalHotKey>(Backend, Name, reinterpret_cast<quintptr>(Window), Modifiers,
                                               Vk, std::move(OnPressed));
    };
}
