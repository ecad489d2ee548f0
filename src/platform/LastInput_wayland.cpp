// SPDX-License-Identifier: MIT
#include "LastInput.h"
#include "ext-idle-notify-v1-client-protocol.h"
#include "idle-client-protocol.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstring>
#include <poll.h>
#include <wayland-client.h>

namespace {
struct TDisplayDeleter {
    void operator()(wl_display* D) const { wl_display_disconnect(D); }
};

// The idle time from the compositor's ext-idle-notify-v1, or where it is missing from KDE's
// older org_kde_kwin_idle (wlroots before 0.16): a notification for the limit the check uses
// tells when the user has been idle that long ("idled") and when input came back ("resumed"). Idle since the
// event means the last input was the limit before it. Between the events the user is active. The connection
// is our own, read on the UI thread's event loop and before each answer, never waited on.
class TWaylandLastInputSource final : public ILastInputSource {
public:
    TWaylandLastInputSource(const ITickCounter& Ticks, wl_display* Display)
        : FTicks(Ticks), FDisplay(Display) {}

    ~TWaylandLastInputSource() override {
        FNotifier.reset();
        DropNotification();
        if (FIdleNotifier != nullptr)
            ext_idle_notifier_v1_destroy(FIdleNotifier);
        if (FKdeIdle != nullptr)
            org_kde_kwin_idle_destroy(FKdeIdle); // the protocol has no destructor: only our proxy goes
        if (FSeat != nullptr)
            wl_seat_destroy(FSeat);
        if (FRegistry != nullptr)
            wl_registry_destroy(FRegistry);
    }

    // Finds the seat and an idle notifier; false when the compositor lacks either.
    bool Bind() {
        FRegistry = wl_display_get_registry(FDisplay.get());
        wl_registry_add_listener(FRegistry, &RegistryListener, this);
        if (wl_display_roundtrip(FDisplay.get()) < 0 || FSeat == nullptr ||
            (FIdleNotifier == nullptr && FKdeIdle == nullptr))
            return false;
        if (QCoreApplication::instance() != nullptr) {
            FNotifier =
                std::make_unique<QSocketNotifier>(wl_display_get_fd(FDisplay.get()), QSocketNotifier::Read);
            QObject::connect(FNotifier.get(), &QSocketNotifier::activated, FNotifier.get(), [this] {
                Pump();
                if (wl_display_get_error(FDisplay.get()) != 0)
                    FNotifier->setEnabled(false); // a closed socket would stay readable forever
            });
        }
        return true;
    }

    std::optional<std::uint32_t> LastInputTick() override {
        Pump();
        if (wl_display_get_error(FDisplay.get()) != 0)
            return std::nullopt; // the compositor went away: nobody can tell, so active
        return FIdleSince ? *FIdleSince : FTicks.Now();
    }

    bool AnswersWithIdleTime() const override { return false; }

    void SetIdleLimit(std::uint32_t LimitMs) override {
        if ((FNotification != nullptr || FKdeTimeout != nullptr) && LimitMs == FLimitMs)
            return;
        DropNotification();
        FLimitMs = LimitMs;
        if (FIdleNotifier != nullptr) {
            FNotification = ext_idle_notifier_v1_get_idle_notification(FIdleNotifier, LimitMs, FSeat);
            ext_idle_notification_v1_add_listener(FNotification, &NotificationListener, this);
        } else {
            FKdeTimeout = org_kde_kwin_idle_get_idle_timeout(FKdeIdle, FSeat, LimitMs);
            org_kde_kwin_idle_timeout_add_listener(FKdeTimeout, &KdeTimeoutListener, this);
        }
        wl_display_flush(FDisplay.get());
    }

private:
    void DropNotification() {
        if (FNotification != nullptr)
            ext_idle_notification_v1_destroy(FNotification);
        if (FKdeTimeout != nullptr)
            org_kde_kwin_idle_timeout_release(FKdeTimeout);
        FNotification = nullptr;
        FKdeTimeout = nullptr;
        FIdleSince.reset();
    }

    // Reads what has arrived and runs its handlers, without waiting for more.
    void Pump() {
        wl_display* d = FDisplay.get();
        while (wl_display_prepare_read(d) != 0)
            wl_display_dispatch_pending(d);
        wl_display_flush(d);
        pollfd p{wl_display_get_fd(d), POLLIN, 0};
        if (poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0)
            wl_display_read_events(d);
        else
            wl_display_cancel_read(d);
        wl_display_dispatch_pending(d);
    }

    static void OnGlobal(void* Data, wl_registry* Registry, std::uint32_t Name, const char* Interface,
                         std::uint32_t) {
        auto* self = static_cast<TWaylandLastInputSource*>(Data);
        if (std::strcmp(Interface, wl_seat_interface.name) == 0 && self->FSeat == nullptr)
            self->FSeat = static_cast<wl_seat*>(wl_registry_bind(Registry, Name, &wl_seat_interface, 1));
        else if (std::strcmp(Interface, ext_idle_notifier_v1_interface.name) == 0 &&
                 self->FIdleNotifier == nullptr)
            self->FIdleNotifier = static_cast<ext_idle_notifier_v1*>(
                wl_registry_bind(Registry, Name, &ext_idle_notifier_v1_interface, 1));
        else if (std::strcmp(Interface, org_kde_kwin_idle_interface.name) == 0 && self->FKdeIdle == nullptr)
            self->FKdeIdle = static_cast<org_kde_kwin_idle*>(
                wl_registry_bind(Registry, Name, &org_kde_kwin_idle_interface, 1));
    }
    static void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

    template <typename TObject> static void OnIdled(void* Data, TObject*) {
        auto* self = static_cast<TWaylandLastInputSource*>(Data);
        self->FIdleSince = self->FTicks.Now() - self->FLimitMs;
    }
    template <typename TObject> static void OnResumed(void* Data, TObject*) {
        static_cast<TWaylandLastInputSource*>(Data)->FIdleSince.reset();
    }

    static constexpr wl_registry_listener RegistryListener{&OnGlobal, &OnGlobalRemove};
    static constexpr ext_idle_notification_v1_listener NotificationListener{
        &OnIdled<ext_idle_notification_v1>, &OnResumed<ext_idle_notification_v1>};
    static constexpr org_kde_kwin_idle_timeout_listener KdeTimeoutListener{
        &OnIdled<org_kde_kwin_idle_timeout>, &OnResumed<org_kde_kwin_idle_timeout>};

    const ITickCounter& FTicks;
    std::unique_ptr<wl_display, TDisplayDeleter> FDisplay;
    wl_registry* FRegistry = nullptr;
    wl_seat* FSeat = nullptr;
    ext_idle_notifier_v1* FIdleNotifier = nullptr;
    ext_idle_notification_v1* FNotification = nullptr;
    org_kde_kwin_idle* FKdeIdle = nullptr;
    org_kde_kwin_idle_timeout* FKdeTimeout = nullptr;
    std::uint32_t FLimitMs = 0;
    std::optional<std::uint32_t> FIdleSince;
    std::unique_ptr<QSocketNotifier> FNotifier;
};
} // namespace

std::unique_ptr<ILastInputSource> CreateWaylandLastInputSource(const ITickCounter& Ticks) {
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr)
        return nullptr;
    auto source = std::make_unique<TWaylandLastInputSource>(Ticks, display);
    if (!source->Bind())
        return nullptr;
    return source;
}
