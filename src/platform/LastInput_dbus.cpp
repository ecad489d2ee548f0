// SPDX-License-Identifier: MIT
#include "LastInput.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
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

enum class TOwner { Unknown, None, Present };

// Idle time from the desktop's D-Bus idle monitor, asked asynchronously: the check runs on the
// UI thread every second and must never wait for the desktop. Each query returns the last
// answer that arrived and sends the next question when none is in flight. Only services that
// have an owner on the bus are asked (a desktop offers one or none), the one that answered last
// first; with none, the user counts as active without a call, until one appears.
class TDBusLastInputSource final : public ILastInputSource {
public:
    explicit TDBusLastInputSource(const ITickCounter& Ticks)
        : FTicks(Ticks), FBus(QDBusConnection::sessionBus()) {
        if (!FBus.isConnected())
            return;
        QStringList names;
        for (const TIdleService& s : IdleServices)
            names.push_back(QString::fromLatin1(s.Service));
        FWatcher = std::make_unique<QDBusServiceWatcher>();
        FWatcher->setConnection(FBus);
        FWatcher->setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
        FWatcher->setWatchedServices(names);
        QObject::connect(FWatcher.get(), &QDBusServiceWatcher::serviceOwnerChanged, &FContext,
                         [this](const QString& Name, const QString&, const QString& NewOwner) {
                             SetOwner(Name, NewOwner.isEmpty() ? TOwner::None : TOwner::Present);
                         });
        for (const QString& name : names)
            AskOwner(name);
    }

    std::optional<std::uint32_t> LastInputTick() override {
        FWanted = true;
        if (!FInFlight)
            Ask(FPreferred, 0);
        return FLastInput;
    }

private:
    // The owner as known before any change was seen; a change that came first wins.
    void AskOwner(const QString& Name) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
        call << Name;
        auto* watcher = new QDBusPendingCallWatcher(FBus.asyncCall(call, CallTimeoutMs), &FContext);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &FContext, [this, watcher, Name] {
            watcher->deleteLater();
            const QDBusMessage reply = watcher->reply();
            const bool owned = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
                               reply.arguments().constFirst().toBool();
            if (FOwners[IndexOf(Name)] == TOwner::Unknown)
                SetOwner(Name, owned ? TOwner::Present : TOwner::None);
        });
    }

    static std::size_t IndexOf(const QString& Name) {
        for (std::size_t i = 0; i < IdleServices.size(); ++i)
            if (Name == QLatin1String(IdleServices[i].Service))
                return i;
        return 0;
    }

    void SetOwner(const QString& Name, TOwner Owner) {
        FOwners[IndexOf(Name)] = Owner;
        // A check that found nobody to ask is answered as soon as somebody is there.
        if (Owner == TOwner::Present && FWanted && !FInFlight)
            Ask(IndexOf(Name), 0);
    }

    // Asks service Index, or the next one that has an owner; on failure the one after, until
    // Tried services have all been passed.
    void Ask(std::size_t Index, std::size_t Tried) {
        while (Tried < IdleServices.size() && FOwners[Index] != TOwner::Present) {
            Index = (Index + 1) % IdleServices.size();
            ++Tried;
        }
        if (Tried == IdleServices.size()) {
            FLastInput.reset();
            FInFlight = false;
            return;
        }
        const TIdleService& s = IdleServices[Index];
        QDBusMessage call =
            QDBusMessage::createMethodCall(QString::fromLatin1(s.Service), QString::fromLatin1(s.Path),
                                           QString::fromLatin1(s.Interface), QString::fromLatin1(s.Method));
        call.setAutoStartService(false);
        FInFlight = true;
        FWanted = false;
        auto* watcher = new QDBusPendingCallWatcher(FBus.asyncCall(call, CallTimeoutMs), &FContext);
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
    QDBusConnection FBus;
    QObject FContext; // owns the watchers; answers after the source is gone go nowhere
    std::unique_ptr<QDBusServiceWatcher> FWatcher;
    std::array<TOwner, IdleServices.size()> FOwners{};
    std::size_t FPreferred = 0;
    bool FInFlight = false;
    bool FWanted = false; // a check came while nobody could be asked
    std::optional<std::uint32_t> FLastInput;
};
} // namespace

std::unique_ptr<ILastInputSource> CreateDBusLastInputSource(const ITickCounter& Ticks) {
    return std::make_unique<TDBusLastInputSource>(Ticks);
}
