// SPDX-License-Identifier: MIT
#include "FakeTickCounter.h"
#include "Inactivity.h"
#include "LastInput.h"
#include "ext-idle-notify-v1-server-protocol.h"
#include "idle-server-protocol.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QProcess>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/socket.h>
#include <thread>
#include <vector>
#include <wayland-server.h>

namespace {
// Processes the UI thread's events until Done() holds; false after five seconds.
bool WaitUntil(const std::function<bool()>& Done) {
    const QDeadlineTimer deadline(5000);
    while (!Done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

enum class TIdleProtocol { None, ExtIdleNotify, KdeIdle };

// A compositor reduced to wl_seat and (optionally) one idle protocol, on its own thread, with
// one client connected through a socket pair handed over in WAYLAND_SOCKET.
class TIdleServer {
public:
    explicit TIdleServer(TIdleProtocol Protocol) : FProtocol(Protocol), FDisplay(wl_display_create()) {
        wl_global_create(FDisplay, &wl_seat_interface, 1, this,
                         [](wl_client* C, void*, std::uint32_t V, std::uint32_t Id) {
                             wl_resource_create(C, &wl_seat_interface, static_cast<int>(V), Id);
                         });
        if (Protocol == TIdleProtocol::ExtIdleNotify)
            wl_global_create(FDisplay, &ext_idle_notifier_v1_interface, 1, this, &BindNotifier);
        if (Protocol == TIdleProtocol::KdeIdle)
            wl_global_create(FDisplay, &org_kde_kwin_idle_interface, 1, this, &BindKdeIdle);
        int fds[2];
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
        wl_client_create(FDisplay, fds[0]);
        qputenv("WAYLAND_SOCKET", QByteArray::number(fds[1]));
        FThread = std::thread([this] {
            while (!FStop) {
                wl_event_loop_dispatch(wl_display_get_event_loop(FDisplay), 5);
                std::vector<std::function<void()>> jobs;
                {
                    std::lock_guard lock(FMutex);
                    jobs.swap(FJobs);
                }
                for (auto& job : jobs)
                    job();
                wl_display_flush_clients(FDisplay);
            }
        });
    }
    ~TIdleServer() {
        FStop = true;
        FThread.join();
        wl_display_destroy_clients(FDisplay);
        wl_display_destroy(FDisplay);
    }
    // The timeouts of the notifications the client holds now.
    std::vector<std::uint32_t> Timeouts() {
        std::lock_guard lock(FMutex);
        std::vector<std::uint32_t> out;
        for (const auto& n : FNotifications)
            out.push_back(n.Timeout);
        return out;
    }
    void SendIdled() {
        Run(FProtocol == TIdleProtocol::KdeIdle ? &org_kde_kwin_idle_timeout_send_idle
                                                : &ext_idle_notification_v1_send_idled);
    }
    void SendResumed() {
        Run(FProtocol == TIdleProtocol::KdeIdle ? &org_kde_kwin_idle_timeout_send_resumed
                                                : &ext_idle_notification_v1_send_resumed);
    }

private:
    struct TNotification {
        wl_resource* Resource;
        std::uint32_t Timeout;
    };
    void Run(void (*Send)(wl_resource*)) {
        std::lock_guard lock(FMutex);
        FJobs.push_back([this, Send] {
            std::lock_guard lock(FMutex);
            Send(FNotifications.back().Resource);
        });
    }
    static void BindNotifier(wl_client* C, void* Data, std::uint32_t V, std::uint32_t Id) {
        static const struct ext_idle_notifier_v1_interface impl = {
            [](wl_client*, wl_resource* R) { wl_resource_destroy(R); },
            [](wl_client* Client, wl_resource* R, std::uint32_t NewId, std::uint32_t Timeout, wl_resource*) {
                AddNotification(Client, R, &ext_idle_notification_v1_interface, NewId, Timeout);
            }};
        wl_resource* r = wl_resource_create(C, &ext_idle_notifier_v1_interface, static_cast<int>(V), Id);
        wl_resource_set_implementation(r, &impl, Data, nullptr);
    }
    static void BindKdeIdle(wl_client* C, void* Data, std::uint32_t V, std::uint32_t Id) {
        static const struct org_kde_kwin_idle_interface impl = {
            [](wl_client* Client, wl_resource* R, std::uint32_t NewId, wl_resource*, std::uint32_t Timeout) {
                AddNotification(Client, R, &org_kde_kwin_idle_timeout_interface, NewId, Timeout);
            }};
        wl_resource* r = wl_resource_create(C, &org_kde_kwin_idle_interface, static_cast<int>(V), Id);
        wl_resource_set_implementation(r, &impl, Data, nullptr);
    }
    // A notification of either protocol: its first request destroys it, any second one is ignored.
    static void AddNotification(wl_client* Client, wl_resource* Notifier, const wl_interface* Interface,
                                std::uint32_t NewId, std::uint32_t Timeout) {
        using TRequest = void (*)(wl_client*, wl_resource*);
        static const TRequest requests[] = {[](wl_client*, wl_resource* N) { wl_resource_destroy(N); },
                                            [](wl_client*, wl_resource*) {}};
        auto* self = static_cast<TIdleServer*>(wl_resource_get_user_data(Notifier));
        wl_resource* n = wl_resource_create(Client, Interface, 1, NewId);
        wl_resource_set_implementation(n, requests, self, [](wl_resource* N) {
            auto* s = static_cast<TIdleServer*>(wl_resource_get_user_data(N));
            std::lock_guard lock(s->FMutex);
            std::erase_if(s->FNotifications, [N](const TNotification& E) { return E.Resource == N; });
        });
        std::lock_guard lock(self->FMutex);
        self->FNotifications.push_back({n, Timeout});
    }
    TIdleProtocol FProtocol;
    wl_display* FDisplay;
    std::thread FThread;
    std::atomic<bool> FStop{false};
    std::mutex FMutex;
    std::vector<std::function<void()>> FJobs;
    std::vector<TNotification> FNotifications;
};

// Both protocols, the current one and KDE's older one, drive the check alike.
class WaylandIdleProtocolTest : public testing::TestWithParam<TIdleProtocol> {};
INSTANTIATE_TEST_SUITE_P(Protocols, WaylandIdleProtocolTest,
                         testing::Values(TIdleProtocol::ExtIdleNotify, TIdleProtocol::KdeIdle));

TEST_P(WaylandIdleProtocolTest, IdleAndResumeFromTheCompositorDriveTheCheck) {
    TIdleServer server(GetParam());
    TFakeTickCounter ticks(100'000);
    const auto source = CreateWaylandLastInputSource(ticks);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->LastInputTick(), 100'000u); // no notification yet: active

    source->SetIdleLimit(5'000); // a period of 5 s
    ASSERT_TRUE(WaitUntil([&] { return server.Timeouts() == std::vector<std::uint32_t>{5'000}; }));
    EXPECT_EQ(source->LastInputTick(), 100'000u);

    server.SendIdled(); // the user has been idle for 5 s at tick 100000
    ASSERT_TRUE(WaitUntil([&] { return source->LastInputTick() != ticks.Now(); }));
    EXPECT_EQ(source->LastInputTick(), 95'000u);
    EXPECT_FALSE(IsUserInactive(ticks.Now(), *source->LastInputTick(), 5)); // exactly the period
    ticks.Advance(1);
    EXPECT_TRUE(IsUserInactive(ticks.Now(), *source->LastInputTick(), 5));

    server.SendResumed();
    ASSERT_TRUE(WaitUntil([&] { return source->LastInputTick() == ticks.Now(); }));

    source->SetIdleLimit(5'000); // the same period keeps the notification
    source->SetIdleLimit(7'000); // a new one replaces it
    ASSERT_TRUE(WaitUntil([&] { return server.Timeouts() == std::vector<std::uint32_t>{7'000}; }));
}

TEST(WaylandLastInputTest, ACompositorWithoutIdleNotificationsIsNotUsed) {
    TIdleServer server(TIdleProtocol::None);
    TFakeTickCounter ticks;
    EXPECT_EQ(CreateWaylandLastInputSource(ticks), nullptr);
}

// --- the desktop's D-Bus idle monitor ------------------------------------------------------

// org.freedesktop.ScreenSaver that keeps every question until the test answers it.
class TSlowScreenSaver final : public QDBusVirtualObject {
public:
    bool handleMessage(const QDBusMessage& Message, const QDBusConnection&) override {
        if (Message.member() != QStringLiteral("GetSessionIdleTime"))
            return false;
        Message.setDelayedReply(true);
        Questions.push_back(Message);
        return true;
    }
    QString introspect(const QString&) const override { return {}; }
    std::vector<QDBusMessage> Questions;
};

TEST(DBusLastInputTest, TheCheckNeverWaitsAndUsesTheLastAnswer) {
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                 QStringLiteral("--print-address=1")});
    if (!daemon.waitForStarted(5000) || !daemon.waitForReadyRead(5000))
        GTEST_SKIP() << "dbus-daemon could not be started";
    const QString address = QString::fromUtf8(daemon.readLine().trimmed());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    QDBusConnection service = QDBusConnection::connectToBus(address, QStringLiteral("idle-service"));
    TSlowScreenSaver screenSaver;
    ASSERT_TRUE(service.registerVirtualObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &screenSaver));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));

    TFakeTickCounter ticks(50'000);
    const auto source = CreateDBusLastInputSource(ticks);
    // The service answers on this same thread: a query that waited could never get its answer.
    EXPECT_EQ(source->LastInputTick(), std::nullopt); // nothing arrived yet: active
    ASSERT_TRUE(WaitUntil([&] { return screenSaver.Questions.size() == 1; }));
    EXPECT_EQ(source->LastInputTick(), std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_EQ(screenSaver.Questions.size(), 1u) << "a second question while the first is open";

    service.send(screenSaver.Questions.front().createReply(QVariant::fromValue(7'000u)));
    ASSERT_TRUE(WaitUntil([&] { return source->LastInputTick() == std::optional<std::uint32_t>(43'000); }));
    QDBusConnection::disconnectFromBus(QStringLiteral("idle-service"));
    daemon.kill();
    daemon.waitForFinished(5000);
}
} // namespace
