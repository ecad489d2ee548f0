#include "LastInput.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariant>

#include <array>

namespace {
// The UI thread waits for the answer once a second: keep the wait short.
constexpr int CallTimeoutMs = 250;

struct TIdleService {
    const char* Service;
    const char* Path;
    const char* Interface;
    const char* Method;
};

constexpr std::array<TIdleService, 2> IdleServices{{
    {"org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core", "org.gnome.Mutter.IdleMonitor",
     "GetIdletime"},
    {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
     "GetSessionIdleTime"},
}};

std::optional<std::uint64_t> QueryIdleMs(const TIdleService& S) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return std::nullopt;
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(S.Service), QString::fromLatin1(S.Path), QString::fromLatin1(S.Interface),
        QString::fromLatin1(S.Method));
    const QDBusMessage reply = bus.call(call, QDBus::Block, CallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    bool ok = false;
    const qulonglong ms = reply.arguments().constFirst().toULongLong(&ok);
    return ok ? std::optional<std::uint64_t>(ms) : std::nullopt;
}

// Idle time from the desktop's D-Bus idle monitor; the service that answered last is asked first.
class TDBusLastInputSource final : public ILastInputSource {
public:
    explicit TDBusLastInputSource(const ITickCounter& Ticks) : FTicks(Ticks) {}

    std::optional<std::uint32_t> LastInputTick() override {
        for (std::size_t n = 0; n < IdleServices.size(); ++n) {
            const std::size_t i = (FPreferred + n) % IdleServices.size();
            if (const auto idle = QueryIdleMs(IdleServices[i])) {
                FPreferred = i;
                return LastInputTickFromIdle(FTicks.Now(), *idle);
            }
        }
        return std::nullopt;
    }

private:
    const ITickCounter& FTicks;
    std::size_t FPreferred = 0;
};
} // namespace

std::unique_ptr<ILastInputSource> CreateDBusLastInputSource(const ITickCounter& Ticks) {
    return std::make_unique<TDBusLastInputSource>(Ticks);
}
