// SPDX-License-Identifier: MIT
#include "LastInput.h"

#include <QGuiApplication>
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace {
struct TXFree {
    void operator()(void* P) const { XFree(P); }
};

// Idle time from the XScreenSaver extension on the display Qt already has open.
class TX11LastInputSource final : public ILastInputSource {
public:
    TX11LastInputSource(const ITickCounter& Ticks, Display* Dpy) : FTicks(Ticks), FDisplay(Dpy) {}

    std::optional<std::uint32_t> LastInputTick() override {
        std::unique_ptr<XScreenSaverInfo, TXFree> info(XScreenSaverAllocInfo());
        if (!info || XScreenSaverQueryInfo(FDisplay, XDefaultRootWindow(FDisplay), info.get()) == 0)
            return std::nullopt;
        return LastInputTickFromIdle(FTicks.Now(), info->idle);
    }

private:
    const ITickCounter& FTicks;
    Display* FDisplay;
};
} // namespace

std::unique_ptr<ILastInputSource> CreateX11LastInputSource(const ITickCounter& Ticks) {
    auto* app = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* dpy = app ? app->display() : nullptr;
    if (!dpy)
        return nullptr;
    int eventBase = 0;
    int errorBase = 0;
    if (!XScreenSaverQueryExtension(dpy, &eventBase, &errorBase))
        return nullptr;
    return std::make_unique<TX11LastInputSource>(Ticks, dpy);
}
