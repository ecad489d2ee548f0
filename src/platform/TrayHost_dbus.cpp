#include "TrayHost.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QString>

namespace {
const QString Watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
constexpr int CallTimeoutMs = 1000;
} // namespace

bool StatusNotifierHostRegistered() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(Watcher))
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(Watcher, QStringLiteral("/StatusNotifierWatcher"),
                                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("Get"));
    call << Watcher << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(call, QDBus::Block, CallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}
