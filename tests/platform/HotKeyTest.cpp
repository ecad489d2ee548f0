// SPDX-License-Identifier: MIT
#include "HotKey.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

// The tests run on the offscreen platform, where no key can be grabbed: the silent backend.
TEST(SilentHotKeyBackendTest, AtomsAreStablePerNameDistinctAndNonzero) {
    const auto owned = CreateHotKeyBackend();
    IHotKeyBackend& backend = *owned;
    const std::int32_t a = backend.AddAtom(QStringLiteral("tallyvox_BringToFront"));
    const std::int32_t b = backend.AddAtom(QStringLiteral("tallyvox_ToggleTracking"));
    const std::int32_t again = backend.AddAtom(QStringLiteral("tallyvox_BringToFront"));
    EXPECT_NE(a, 0);
    EXPECT_NE(b, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, again);
    EXPECT_EQ(backend.AtomName(a), QStringLiteral("tallyvox_BringToFront"));
    EXPECT_EQ(backend.AtomName(b), QStringLiteral("tallyvox_ToggleTracking"));
    EXPECT_EQ(backend.AddAtom(QString()), 0);

    // Reference-counted: the name lives until every add has been matched by a delete.
    backend.DeleteAtom(a);
    EXPECT_EQ(backend.AtomName(a), QStringLiteral("tallyvox_BringToFront"));
    backend.DeleteAtom(again);
    EXPECT_TRUE(backend.AtomName(a).isEmpty());
    backend.DeleteAtom(a); // one delete too many is harmless
    backend.DeleteAtom(b);
    EXPECT_TRUE(backend.AtomName(b).isEmpty());
    EXPECT_TRUE(backend.AtomName(0).isEmpty());
}

TEST(SilentHotKeyBackendTest, RegistrationTakesNothingAndFailsQuietly) {
    ASSERT_NE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    const auto owned = CreateHotKeyBackend();
    IHotKeyBackend& backend = *owned;
    const std::int32_t atom = backend.AddAtom(QStringLiteral("probe"));
    for (const std::uint32_t vk : {0x20u, std::uint32_t{'A'}, std::uint32_t{'7'}, 0xFFu})
        EXPECT_FALSE(backend.Register(atom, 6, vk, [] {})) << vk;
    backend.Unregister(atom);
    backend.Unregister(12345); // unknown ids are ignored
    backend.DeleteAtom(atom);
}
