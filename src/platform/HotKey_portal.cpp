#include "HotKeyBackends.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QList>
#include <QObject>
#include <QVariantMap>
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
// no program may grab keys. Every call is asynchronous: the session is created at the first
// registration, the shortcuts are bound when it exists, and each press arrives as Activated.
// A portal that is missing, lacks the interface or refuses leaves the hot keys silent.
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

    bool Register(std::int32_t Id, std::uint32_t Modifiers, std::uint32_t Vk) override {
        // The shortcut id is the hot key's own name, the atom name without the program's prefix.
        const QString name = FAtoms->AtomName(Id);
        const QString shortcutId = name.mid(name.lastIndexOf(u'_') + 1);
        const QString trigger = TriggerText(Modifiers, Vk);
        if (!FBus.isConnected() || FFailed || shortcutId.isEmpty() || trigger.isEmpty())
            return false;
        FEntries.push_back({Id, shortcutId, trigger});
        if (FState == TState::None)
            CreateSession();
        else if (FState == TState::Ready)
            BindShortcuts(); // a key registered after the first bind: bind the whole list again
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
        if (Response != 0 || FSession.isEmpty())
            return Fail();
        if (FEntries.empty())
            return CloseSession(); // every hot key was released while the session was created
        FState = TState::Ready;
        BindShortcuts();
    }

    // A refused or cancelled bind (Response 1 or 2) is as silent as a key another program holds.
    void OnBindResponse(uint, const QVariantMap&) { EndRequest(); }

    // Activated(o session_handle, s shortcut_id, t timestamp, a{sv} options)
    void OnActivated(const QDBusMessage& Message) {
        const QVariantList args = Message.arguments();
        if (FSession.isEmpty() || args.size() < 2 || ObjectPathText(args.at(0)) != FSession)
            return;
        const QString shortcutId = args.at(1).toString();
        for (const TEntry& e : FEntries)
            if (e.ShortcutId == shortcutId)
                DispatchHotKeyPressed(e.Id);
    }

private:
    struct TEntry {
        std::int32_t Id;
        QString ShortcutId;
        QString Trigger;
    };
    enum class TState { None, Creating, Ready };

    // The request object a call with Token will answer on; subscribed before the call is sent.
    QString RequestPath(const QString& Token) const {
        QString sender = FBus.baseService().mid(1);
        sender.replace(u'.', u'_');
        return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, Token);
    }

    QString NextToken() { return QStringLiteral("tallyvox%1").arg(++FTokenCounter); }

    void Call(const QString& Method, const QVariantList& Args, const QString& Token, const char* Slot) {
        EndRequest();
        FRequest = RequestPath(Token);
        FRequestSlot = Slot;
        FBus.connect(PortalService, FRequest, RequestInterface, QStringLiteral("Response"), this, Slot);
        QDBusMessage call =
            QDBusMessage::createMethodCall(PortalService, PortalPath, ShortcutsInterface, Method);
        call.setArguments(Args);
        auto* watcher = new QDBusPendingCallWatcher(FBus.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, Slot] {
            watcher->deleteLater();
            const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
            if (reply.isError())
                return Fail(); // no portal, or one without GlobalShortcuts
            // Older portals answer on a path of their own choosing.
            const QString path = reply.value().path();
            if (FRequestSlot == Slot && path != FRequest) {
                EndRequest();
                FRequest = path;
                FRequestSlot = Slot;
                FBus.connect(PortalService, FRequest, RequestInterface, QStringLiteral("Response"), this,
                             Slot);
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
        FState = TState::Creating;
        // Names the program to portals that ask programs outside a sandbox who they are; older
        // portals lack the call, which changes nothing. Sent first, so it arrives first.
        QDBusMessage registration = QDBusMessage::createMethodCall(
            PortalService, PortalPath, QStringLiteral("org.freedesktop.host.portal.Registry"),
            QStringLiteral("Register"));
        registration.setArguments({QStringLiteral("tallyvox"), QVariantMap()});
        FBus.send(registration);
        const QString token = NextToken();
        const QVariantMap options{{QStringLiteral("handle_token"), token},
                                  {QStringLiteral("session_handle_token"), NextToken()}};
        Call(QStringLiteral("CreateSession"), {options}, token, SLOT(OnSessionResponse(uint, QVariantMap)));
    }

    void BindShortcuts() {
        QList<TPortalShortcut> shortcuts;
        for (const TEntry& e : FEntries)
            shortcuts.push_back({e.ShortcutId,
                                 {{QStringLiteral("description"), Description(e.ShortcutId)},
                                  {QStringLiteral("preferred_trigger"), e.Trigger}}});
        const QString token = NextToken();
        const QVariantMap options{{QStringLiteral("handle_token"), token}};
        Call(QStringLiteral("BindShortcuts"),
             {QVariant::fromValue(QDBusObjectPath(FSession)), QVariant::fromValue(shortcuts), QString(),
              options},
             token, SLOT(OnBindResponse(uint, QVariantMap)));
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
