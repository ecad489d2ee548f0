// SPDX-License-Identifier: MIT
#include "HotKey.h"
#include "Logging.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QVariantMap>
#include <functional>
#include <vector>

// One entry of the portal's a(sa{sv}) shortcut lists: an id and its properties.
struct TPortalShortcut {
    QString Id;
    QVariantMap Properties;
};
Q_DECLARE_METATYPE(TPortalShortcut)

QDBusArgument& operator<<(QDBusArgument& Arg, const TPortalShortcut& S) {
    Arg.beginStructure();
    Arg << S.Id << S.Properties;
    Arg.endStructure();
    return Arg;
}

const QDBusArgument& operator>>(const QDBusArgument& Arg, TPortalShortcut& S) {
    Arg.beginStructure();
    Arg >> S.Id >> S.Properties;
    Arg.endStructure();
    return Arg;
}

namespace {
const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString ShortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString RequestInterface = QStringLiteral("org.freedesktop.portal.Request");

// "CTRL+SHIFT+space": the trigger notation of the XDG shortcuts convention.
QString TriggerText(std::uint32_t Modifiers, std::uint32_t Vk) {
    QString text;
    if (Modifiers & 2u)
        text += QStringLiteral("CTRL+");
    if (Modifiers & 1u)
        text += QStringLiteral("ALT+");
    if (Modifiers & 4u)
        text += QStringLiteral("SHIFT+");
    if (Modifiers & 8u)
        text += QStringLiteral("LOGO+");
    if (Vk == 0x20)
        return text + QStringLiteral("space");
    if ((Vk >= '0' && Vk <= '9') || (Vk >= 'A' && Vk <= 'Z'))
        return text + QChar(static_cast<char16_t>(Vk));
    return {};
}

// The settings page of the desktop lists the shortcuts by these texts.
QString Description(const QString& ShortcutId) {
    if (ShortcutId == QStringLiteral("BringToFront"))
        return QStringLiteral("Show the Tallyvox window and bring it to the front");
    if (ShortcutId == QStringLiteral("ToggleTracking"))
        return QStringLiteral("Pause or resume tracking the task");
    return ShortcutId;
}

QString ObjectPathText(const QVariant& V) {
    if (V.canConvert<QDBusObjectPath>())
        return V.value<QDBusObjectPath>().path();
    return V.toString(); // some portals send the session handle as a string
}

// Hot keys through the desktop portal's GlobalShortcuts interface, for Wayland sessions where
// no program may grab keys. Every call is asynchronous. The registrations of one event-loop pass
// are gathered, then one session is created with the whole list in its options (some desktops
// bind only from there), the portal is asked which shortcuts the session already holds, and
// only when one is missing are they bound (some desktops open their shortcut settings at every
// bind). Each press arrives as Activated. A portal that is missing, lacks the interface or
// refuses leaves the hot keys silent.
class TPortalHotKeyBackend final : public QObject, public IHotKeyBackend {
    Q_OBJECT

public:
    TPortalHotKeyBackend() : FAtoms(CreateSilentHotKeyBackend()), FBus(QDBusConnection::sessionBus()) {
        qDBusRegisterMetaType<TPortalShortcut>();
        qDBusRegisterMetaType<QList<TPortalShortcut>>();
        FBus.connect(PortalService, PortalPath, ShortcutsInterface, QStringLiteral("Activated"), this,
                     SLOT(OnActivated(QDBusMessage)));
    }

    std::int32_t AddAtom(const QString& Name) override { return FAtoms->AddAtom(Name); }
    QString AtomName(std::int32_t Atom) override { return FAtoms->AtomName(Atom); }
    void DeleteAtom(std::int32_t Atom) override { FAtoms->DeleteAtom(Atom); }

    bool Register(std::int32_t Id, std::uint32_t Modifiers, std::uint32_t Vk,
                  std::function<void()> OnPressed) override {
        // The shortcut id is the hot key's own name, the atom name without the program's prefix.
        const QString name = FAtoms->AtomName(Id);
        const QString shortcutId = name.mid(name.lastIndexOf(u'_') + 1);
        const QString trigger = TriggerText(Modifiers, Vk);
        if (!FBus.isConnected() || FFailed || shortcutId.isEmpty() || trigger.isEmpty())
            return false;
        FEntries.push_back({Id, shortcutId, trigger, std::move(OnPressed)});
        if (FState == TState::None) {
            FState = TState::Gathering;
            QTimer::singleShot(0, this, [this] { CreateSession(); });
        } else if (FState == TState::Ready) {
            BindShortcuts(); // a key registered after the first bind: bind the whole list again
        }
        return true;
    }

    void Unregister(std::int32_t Id) override {
        std::erase_if(FEntries, [Id](const TEntry& E) { return E.Id == Id; });
        if (FEntries.empty() && !FSession.isEmpty())
            CloseSession();
    }

private Q_SLOTS:
    void OnSessionResponse(uint Response, const QVariantMap& Results) {
        EndRequest();
        FSession = ObjectPathText(Results.value(QStringLiteral("session_handle")));
        qCInfo(lcHotKey) << "portal CreateSession answered" << Response << FSession;
        if (Response != 0 || FSession.isEmpty())
            return Fail();
        if (FEntries.empty())
            return CloseSession(); // every hot key was released while the session was created
        FState = TState::Ready;
        ListShortcuts();
    }

    void OnListResponse(uint Response, const QVariantMap& Results) {
        EndRequest();
        QSet<QString> held;
        if (Response == 0)
            for (const TPortalShortcut& s :
                 qdbus_cast<QList<TPortalShortcut>>(Results.value(QStringLiteral("shortcuts"))))
                held.insert(s.Id);
        qCInfo(lcHotKey) << "portal ListShortcuts answered" << Response << "bound:" << held.values();
        for (const TEntry& e : FEntries)
            if (!held.contains(e.ShortcutId))
                return BindShortcuts();
    }

    // A refused or cancelled bind (Response 1 or 2) is as silent as a key another program holds.
    void OnBindResponse(uint Response, const QVariantMap&) {
        qCInfo(lcHotKey) << "portal BindShortcuts answered" << Response;
        EndRequest();
    }

    // Activated(o session_handle, s shortcut_id, t timestamp, a{sv} options). A burst of them
    // runs each pressed hot key once, on the next pass of the event loop.
    void OnActivated(const QDBusMessage& Message) {
        const QVariantList args = Message.arguments();
        if (FSession.isEmpty() || args.size() < 2 || ObjectPathText(args.at(0)) != FSession)
            return;
        const QString shortcutId = args.at(1).toString();
        for (TEntry& e : FEntries)
            if (e.ShortcutId == shortcutId && !e.Pending) {
                e.Pending = true;
                QTimer::singleShot(0, this, [this, Id = e.Id] { RunPressed(Id); });
            }
    }

private:
    struct TEntry {
        std::int32_t Id;
        QString ShortcutId;
        QString Trigger;
        std::function<void()> OnPressed;
        bool Pending = false;
    };
    enum class TState { None, Gathering, Creating, Ready };

    void RunPressed(std::int32_t Id) {
        for (TEntry& e : FEntries)
            if (e.Id == Id && e.Pending) {
                e.Pending = false;
                DispatchHotKeyPressed(e.OnPressed);
            }
    }

    QList<TPortalShortcut> Shortcuts() const {
        QList<TPortalShortcut> shortcuts;
        for (const TEntry& e : FEntries)
            shortcuts.push_back({e.ShortcutId,
                                 {{QStringLiteral("description"), Description(e.ShortcutId)},
                                  {QStringLiteral("preferred_trigger"), e.Trigger}}});
        return shortcuts;
    }

    // The request object a call with Token will answer on; subscribed before the call is sent.
    QString RequestPath(const QString& Token) const {
        QString sender = FBus.baseService().mid(1);
        sender.replace(u'.', u'_');
        return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, Token);
    }

    QString NextToken() { return QStringLiteral("tallyvox%1").arg(++FTokenCounter); }

    // Calls Method; OnError runs when the portal refuses the call itself (no Response follows).
    void Call(const QString& Method, const QVariantList& Args, const char* Slot,
              std::function<void()> OnError = {}) {
        EndRequest();
        const QString token = NextToken();
        QVariantList args = Args;
        QVariantMap options = args.takeLast().toMap();
        options.insert(QStringLiteral("handle_token"), token);
        args.push_back(options);
        FRequest = RequestPath(token);
        FRequestSlot = Slot;
        FBus.connect(PortalService, FRequest, RequestInterface, QStringLiteral("Response"), this, Slot);
        QDBusMessage call =
            QDBusMessage::createMethodCall(PortalService, PortalPath, ShortcutsInterface, Method);
        call.setArguments(args);
        auto* watcher = new QDBusPendingCallWatcher(FBus.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, watcher, Slot, OnError = std::move(OnError)] {
                    watcher->deleteLater();
                    const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
                    if (reply.isError()) {
                        if (FRequestSlot == Slot)
                            EndRequest();
                        return OnError ? OnError() : Fail(); // no portal, or one without GlobalShortcuts
                    }
                    // Older portals answer on a path of their own choosing.
                    const QString path = reply.value().path();
                    if (FRequestSlot == Slot && path != FRequest) {
                        EndRequest();
                        FRequest = path;
                        FRequestSlot = Slot;
                        FBus.connect(PortalService, FRequest, RequestInterface, QStringLiteral("Response"),
                                     this, Slot);
                    }
                });
    }

    void EndRequest() {
        if (!FRequest.isEmpty())
            FBus.disconnect(PortalService, FRequest, RequestInterface, QStringLiteral("Response"), this,
                            FRequestSlot);
        FRequest.clear();
        FRequestSlot = nullptr;
    }

    void CreateSession() {
        if (FState != TState::Gathering)
            return;
        if (FEntries.empty()) {
            FState = TState::None;
            return;
        }
        FState = TState::Creating;
        // Names the program to portals that ask programs outside a sandbox who they are; older
        // portals lack the interface, which changes nothing. Sent first, so it arrives first.
        QDBusMessage registration = QDBusMessage::createMethodCall(
            PortalService, PortalPath, QStringLiteral("org.freedesktop.host.portal.Registry"),
            QStringLiteral("Register"));
        registration.setArguments({QStringLiteral("tallyvox"), QVariantMap()});
        FBus.send(registration); // its answer, an error on older portals, is not read
        // A fixed session token: desktops name the shortcut group after it, and keep the keys
        // the user chose for it from one start to the next.
        const QVariantMap options{{QStringLiteral("session_handle_token"), QStringLiteral("tallyvox")},
                                  {QStringLiteral("shortcuts"), QVariant::fromValue(Shortcuts())}};
        Call(QStringLiteral("CreateSession"), {options}, SLOT(OnSessionResponse(uint, QVariantMap)));
    }

    void ListShortcuts() {
        // A portal without the call gets the list bound as before.
        Call(QStringLiteral("ListShortcuts"), {QVariant::fromValue(QDBusObjectPath(FSession)), QVariantMap()},
             SLOT(OnListResponse(uint, QVariantMap)), [this] { BindShortcuts(); });
    }

    void BindShortcuts() {
        Call(QStringLiteral("BindShortcuts"),
             {QVariant::fromValue(QDBusObjectPath(FSession)), QVariant::fromValue(Shortcuts()), QString(),
              QVariantMap()},
             SLOT(OnBindResponse(uint, QVariantMap)));
    }

    void CloseSession() {
        EndRequest();
        FBus.send(QDBusMessage::createMethodCall(PortalService, FSession,
                                                 QStringLiteral("org.freedesktop.portal.Session"),
                                                 QStringLiteral("Close")));
        FSession.clear();
        FState = TState::None;
    }

    void Fail() {
        EndRequest();
        FFailed = true;
        FState = TState::None;
        FSession.clear();
    }

    std::unique_ptr<IHotKeyBackend> FAtoms;
    QDBusConnection FBus;
    std::vector<TEntry> FEntries;
    TState FState = TState::None;
    QString FSession;
    QString FRequest;
    const char* FRequestSlot = nullptr;
    int FTokenCounter = 0;
    bool FFailed = false;
};
} // namespace

std::unique_ptr<IHotKeyBackend> CreatePortalHotKeyBackend() {
    return std::make_unique<TPortalHotKeyBackend>();
}

#include "HotKey_portal.moc"
