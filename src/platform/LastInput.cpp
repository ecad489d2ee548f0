// SPDX-License-Identifier: MIT
#include "LastInput.h"

#include "Logging.h"

#include <QByteArray>
#include <QtGlobal>

namespace {
class TNoLastInputSource final : public ILastInputSource {
public:
    std::optional<std::uint32_t> LastInputTick() override { return std::nullopt; }
};
} // namespace

bool IsWaylandSession() {
    return qgetenv("XDG_SESSION_TYPE").compare("wayland", Qt::CaseInsensitive) == 0 ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

std::unique_ptr<ILastInputSource> CreateLastInputSource(const ITickCounter& Ticks) {
    if (IsWaylandSession()) {
        if (auto wayland = CreateWaylandLastInputSource(Ticks)) {
            qCInfo(lcIdle, "idle time from the Wayland compositor");
            return wayland;
        }
        qCInfo(lcIdle, "idle time from the desktop's D-Bus idle monitor");
        return CreateDBusLastInputSource(Ticks);
    }
    if (auto x11 = CreateX11LastInputSource(Ticks)) {
        qCInfo(lcIdle, "idle time from the X screen saver extension");
        return x11;
    }
    qCInfo(lcIdle, "no idle source: the user always counts as active");
    return std::make_unique<TNoLastInputSource>();
}
