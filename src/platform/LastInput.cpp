#include "LastInput.h"

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
        if (auto wayland = CreateWaylandLastInputSource(Ticks))
            return wayland;
        return CreateDBusLastInputSource(Ticks);
    }
    if (auto x11 = CreateX11LastInputSource(Ticks))
        return x11;
    return std::make_unique<TNoLastInputSource>();
}
