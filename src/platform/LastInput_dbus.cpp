#include "LastInput.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QObject>
#include <QString>
#include <QVariant>
#include <array>

namespace {
// The desktop answers on its own time; an answer later than this counts as none.
constexpr int CallTimeoutMs = 5000;

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

std::optional<std::uint64_t> IdleMsOf(const QDBusMessage& Reply) {
    if (Reply.type() != QDBusMessage::ReplyMessage || Reply.arguments().isEmpty())
        return std::nullopt;
    bool ok = false;
    const qulonglong ms = Reply.arguments().constFirst().toULongLong(&ok);
    return ok ? std::optional<std::uint64_t>(ms) : std::nullopt;
}

// Idle time from the desktop's D-Bus idle monitor, asked asynchronously: the check runs on the
// UI thread every second and must never wait for the desktop. Each query returns the last
// answer that arrived and sends the next question when none is in flight. The service that
// answered last is asked first; when neither answers, the user counts as active.
class TDBusLastInputSource final : public ILastInputSource {
public:
    explicit TDBusLastInputSource(const ITickCounter& Ticks) : FTicks(Ticks) {}

    std::optional<std::uint32_t> LastInputTick() override {
        if (!FInFlight)
            Ask(FPreferred, 0);
        return FLastInput;
    }

private:
    // Asks service Index; on failure the next one, until Tried services have all failed.
    void Ask(std::size_t Index, std::size_t Tried) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (Tried == IdleServices.size() || !bus.isConnected()) {
            FLastInput.reset();
            FInFlight = false;
            return;
        }
        const TIdleService& s = IdleServices[Index];
        const QDBusMessage call =
            QDBusMessage::createMethodCall(QString::fromLatin1(s.Service), QString::fromLatin1(s.Path),
                                           QString::fromLatin1(s.Interface), QString::fromLatin1(s.Method));
        FInFlight = true;
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, CallTimeoutMs), &FContext);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &FContext,
                         [this, watcher, Index, Tried] {
                             watcher->deleteLater();
                             if (const auto idle = IdleMsOf(watcher->reply())) {
                                 FPreferred = Index;
                                 FLastInput = LastInputTickFromIdle(FTicks.Now(), *idle);
                                 FInFlight = false;
                             } else {
                                 Ask((Index + 1) % IdleServices.size(), Tried + 1);
                             }
                         });
    }

    const ITickCounter& FTicks;
    QObject FContext; // owns the watchers; answers after the source is gone go nowhere
    std::size_t FPreferred = 0;
    bool FInFlight = false;
    std::optional<std::uint32_t> FLastInput;
};
} // namespace

std::unique_ptr<ILastInputSource> CreateDBusLastInputSource(const ITickCounter& Ticks) {
    return std::make_unique<TDBusLastInputSource>(Ticks);
}
