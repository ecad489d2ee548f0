// SPDX-License-Identifier: MIT
#include "TrayHost.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QString>

namespace {
const QString Watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
constexpr int CallTimeoutMs = 1000;
constexpr int LaterCallTimeoutMs = 30000;

QDBusMessage HostRegisteredCall() {
    QDBusMessage call = QDBusMessage::createMethodCall(Watcher, QStringLiteral("/StatusNotifierWatcher"),
                                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("Get"));
    call << Watcher << QStringLiteral("IsStatusNotifierHostRegistered");
    return call;
}

TTrayWatcher AnswerOf(const QDBusMessage& Reply) {
    if (Reply.type() == QDBusMessage::ErrorMessage &&
        (Reply.errorName() == QDBusError::errorString(QDBusError::NoReply) ||
         Reply.errorName() == QDBusError::errorString(QDBusError::Timeout)))
        return TTrayWatcher::NoAnswer;
    if (Reply.type() != QDBusMessage::ReplyMessage || Reply.arguments().isEmpty())
        return TTrayWatcher::NoHost;
    return Reply.arguments().constFirst().value<QDBusVariant>().variant().toBool() ? TTrayWatcher::Host
                                                                                   : TTrayWatcher::NoHost;
}
} // namespace

TTrayWatcher AskTrayWatcher() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // One bounded call: without a watcher on the bus it fails at once with an error reply.
    if (!bus.isConnected())
        return TTrayWatcher::NoHost;
    return AnswerOf(bus.call(HostRegisteredCall(), QDBus::Block, CallTimeoutMs));
}

bool StatusNotifierHostRegistered() {
    return AskTrayWatcher() == TTrayWatcher::Host;
}

void AskTrayWatcherLater(QObject* Context, std::function<void(TTrayWatcher)> Done) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        Done(TTrayWatcher::NoHost);
        return;
    }
    auto* watcher =
        new QDBusPendingCallWatcher(bus.asyncCall(HostRegisteredCall(), LaterCallTimeoutMs), Context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, Context,
                     [Done = std::move(Done)](QDBusPendingCallWatcher* Call) {
                         Call->deleteLater();
                         Done(AnswerOf(QDBusPendingReply<QDBusVariant>(*Call).reply()));
                     });
}
