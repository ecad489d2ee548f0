// SPDX-License-Identifier: MIT
#include "LastInput.h"

#include "FakeTickCounter.h"

#include <QByteArray>
#include <QtGlobal>
#include <gtest/gtest.h>

namespace {
TEST(LastInputTest, TickFromIdleWrapsModulo32Bits) {
    EXPECT_EQ(LastInputTickFromIdle(10'000, 4'000), 6'000u);
    EXPECT_EQ(LastInputTickFromIdle(1'000, 2'000), 0xFFFFFFFFu - 999u);
    EXPECT_EQ(LastInputTickFromIdle(5, 0x1'0000'0005ull), 0u);
}

TEST(LastInputTest, WithoutAnIdleServiceTheSourceNeverAnswers) {
    // The offscreen platform has no X display, and without a Wayland session the D-Bus
    // monitor is not chosen: the check must then see "no answer", never an idle user.
    qunsetenv("WAYLAND_DISPLAY");
    qputenv("XDG_SESSION_TYPE", QByteArray("tty"));
    TFakeTickCounter ticks(123'456);
    const auto source = CreateLastInputSource(ticks);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->LastInputTick(), std::nullopt);
    EXPECT_EQ(CreateX11LastInputSource(ticks), nullptr);
}

TEST(LastInputTest, WaylandSessionIsRecognised) {
    struct TCase {
        const char* SessionType;
        const char* WaylandDisplay;
        bool Wayland;
    };
    for (const TCase& c :
         {TCase{"wayland", nullptr, true}, TCase{"x11", "wayland-0", true}, TCase{"x11", nullptr, false},
          TCase{"", "", false}, TCase{"Wayland", nullptr, true}}) {
        qputenv("XDG_SESSION_TYPE", QByteArray(c.SessionType));
        if (c.WaylandDisplay)
            qputenv("WAYLAND_DISPLAY", QByteArray(c.WaylandDisplay));
        else
            qunsetenv("WAYLAND_DISPLAY");
        EXPECT_EQ(IsWaylandSession(), c.Wayland)
            << c.SessionType << " / " << (c.WaylandDisplay ? c.WaylandDisplay : "-");
    }
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("XDG_SESSION_TYPE");
}
} // namespace
