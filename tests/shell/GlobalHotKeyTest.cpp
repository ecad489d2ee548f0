// SPDX-License-Identifier: MIT
#include "GlobalHotKey.h"

#include "ExecutablePath.h"
#include "HelperProcess.h"
#include "HotKey.h"

#include <QStandardPaths>
#include <algorithm>
#include <gtest/gtest.h>
#include <string>

namespace {
struct TPrefixCase {
    const char* ExecutablePath;
    const char* Prefix;
};
void PrintTo(const TPrefixCase& Case, std::ostream* Out) {
    *Out << Case.ExecutablePath;
}

class AtomNamePrefixTest : public ::testing::TestWithParam<TPrefixCase> {
protected:
    void TearDown() override { SetExecutableFilePathForTesting({}); }
};

TEST_P(AtomNamePrefixTest, IsTheFileNameWithoutExtensionThenUnderscore) {
    SetExecutableFilePathForTesting(QString::fromUtf8(GetParam().ExecutablePath));
    EXPECT_EQ(TGlobalHotKey::AtomNamePrefix(), QString::fromUtf8(GetParam().Prefix));
}

INSTANTIATE_TEST_SUITE_P(
    Names, AtomNamePrefixTest,
    ::testing::Values(TPrefixCase{"/usr/bin/tallyvox", "tallyvox_"},
                      TPrefixCase{"/opt/tally.vox.bin", "tally.vox_"},
                      TPrefixCase{"/opt/Tallyvox.exe", "Tallyvox_"},
                      TPrefixCase{"/opt/v1.2/tallyvox", "tallyvox_"}, // dots of folders do not count
                      TPrefixCase{"/opt/tallyvox.", "tallyvox_"}, TPrefixCase{"/opt/.tallyvox", "_"}));

TEST(GlobalHotKeyTest, AtomsAreNamedAfterTheExecutableAndDistinct) {
    const auto backend = CreateHotKeyBackend();
    const THotKeyFactory create = GlobalHotKeyFactory(*backend);
    SetExecutableFilePathForTesting(QStringLiteral("/opt/tally.vox.bin"));
    const IGlobalHotKeyPtr bring =
        create(QStringLiteral("BringToFront"), nullptr, MOD_CONTROL | MOD_SHIFT, VK_SPACE, [] {});
    const IGlobalHotKeyPtr toggle =
        create(QStringLiteral("ToggleTracking"), nullptr, MOD_ALT | MOD_SHIFT, VK_SPACE, [] {});
    SetExecutableFilePathForTesting({});
    EXPECT_NE(bring->Atom(), 0);
    EXPECT_NE(toggle->Atom(), 0);
    EXPECT_NE(bring->Atom(), toggle->Atom());
    EXPECT_EQ(backend->AtomName(bring->Atom()), QStringLiteral("tally.vox_BringToFront"));
    EXPECT_EQ(backend->AtomName(toggle->Atom()), QStringLiteral("tally.vox_ToggleTracking"));
}

TEST(GlobalHotKeyTest, WithoutAnXSessionRegistrationIsSilentAndReleaseDeletesTheAtom) {
    const auto backend = CreateHotKeyBackend();
    std::int32_t atom = 0;
    {
        auto key = std::make_shared<TGlobalHotKey>(*backend, QStringLiteral("Probe"), 0, MOD_CONTROL,
                                                   VK_SPACE, [] {});
        atom = key->Atom();
        EXPECT_FALSE(key->Registered()); // the offscreen platform has no keys to grab
        EXPECT_FALSE(backend->AtomName(atom).isEmpty());
    }
    EXPECT_TRUE(backend->AtomName(atom).isEmpty());
}

// --- In a virtual X session ----------------------------------------------------------------

// A private Xvfb on a display it picks itself, for one test.
class TVirtualX final {
public:
    TVirtualX() {
        FXvfb.setStandardErrorFile(QProcess::nullDevice());
        FXvfb.start(QStringLiteral("Xvfb"),
                    {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                     QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                     QStringLiteral("320x240x24")});
        if (!FXvfb.waitForStarted(5000))
            return;
        while (!FXvfb.canReadLine() && FXvfb.waitForReadyRead(10000)) {
        }
        const QString number = QString::fromUtf8(FXvfb.readLine()).trimmed();
        if (!number.isEmpty())
            FDisplay = u':' + number;
    }
    ~TVirtualX() {
        FXvfb.terminate();
        if (!FXvfb.waitForFinished(5000))
            FXvfb.kill();
    }
    bool Running() const { return !FDisplay.isEmpty(); }

    QProcessEnvironment Env() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), FDisplay);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        return env;
    }

    bool Key(const QString& Keys) const {
        QProcess xdotool;
        xdotool.setProcessEnvironment(Env());
        xdotool.start(QStringLiteral("xdotool"), QStringList{QStringLiteral("key")} + Keys.split(u' '));
        return xdotool.waitForFinished(10000) && xdotool.exitStatus() == QProcess::NormalExit &&
               xdotool.exitCode() == 0;
    }

private:
    QProcess FXvfb;
    QString FDisplay;
};

struct TReady {
    QString Bring, Toggle;
    bool BringRegistered = false, ToggleRegistered = false;
};

// Parses "ready <bring> <toggle> <bring registered> <toggle registered>".
TReady ParseReady(const QString& Line) {
    const QStringList parts = Line.split(u' ');
    if (parts.size() != 5 || parts[0] != QStringLiteral("ready"))
        return {};
    return {parts[1], parts[2], parts[3] == QStringLiteral("1"), parts[4] == QStringLiteral("1")};
}

class XHotKeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            GTEST_SKIP() << "Xvfb is not installed";
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "xdotool is not installed";
        FX = std::make_unique<TVirtualX>();
        if (!FX->Running())
            GTEST_SKIP() << "Xvfb could not start a display";
    }
    std::unique_ptr<TVirtualX> FX;
};

TEST_F(XHotKeyTest, EachCombinationRunsTheActionOfItsHotKey) {
    THelperProcess app({QStringLiteral("hotkey")}, FX->Env());
    const TReady ready = ParseReady(app.ReadLineStartingWith(QStringLiteral("ready")));
    ASSERT_TRUE(ready.BringRegistered);
    ASSERT_TRUE(ready.ToggleRegistered);
    ASSERT_NE(ready.Bring, ready.Toggle);

    ASSERT_TRUE(FX->Key(QStringLiteral("ctrl+shift+space")));
    EXPECT_EQ(app.ReadLineStartingWith(QStringLiteral("hotkey")), QStringLiteral("hotkey ") + ready.Bring);
    ASSERT_TRUE(FX->Key(QStringLiteral("alt+shift+space")));
    EXPECT_EQ(app.ReadLineStartingWith(QStringLiteral("hotkey")), QStringLiteral("hotkey ") + ready.Toggle);
    // Space alone, or with only one of the modifiers, is no hot key; the next press still is.
    ASSERT_TRUE(FX->Key(QStringLiteral("ctrl+space")));
    ASSERT_TRUE(FX->Key(QStringLiteral("ctrl+alt+shift+space")));
    ASSERT_TRUE(FX->Key(QStringLiteral("alt+shift+space")));
    EXPECT_EQ(app.ReadLineStartingWith(QStringLiteral("hotkey")), QStringLiteral("hotkey ") + ready.Toggle);
}

struct TLockCase {
    const char* LockKeys; // pressed once before the hot key, turning the locks on
    unsigned StateBits;   // the X modifier bits the press then carries
};
void PrintTo(const TLockCase& Case, std::ostream* Out) {
    *Out << Case.LockKeys;
}

class XHotKeyLockTest : public XHotKeyTest, public ::testing::WithParamInterface<TLockCase> {};

TEST_P(XHotKeyLockTest, WorksWithTheLockKeysOn) {
    THelperProcess app({QStringLiteral("hotkey")}, FX->Env());
    const TReady ready = ParseReady(app.ReadLineStartingWith(QStringLiteral("ready")));
    ASSERT_TRUE(ready.BringRegistered);
    ASSERT_TRUE(FX->Key(QString::fromUtf8(GetParam().LockKeys)));
    ASSERT_TRUE(FX->Key(QStringLiteral("ctrl+shift+space")));
    const QString state = app.ReadLineStartingWith(QStringLiteral("state"));
    ASSERT_FALSE(state.isEmpty());
    bool ok = false;
    const unsigned bits = state.mid(6).toUInt(&ok, 16);
    ASSERT_TRUE(ok);
    EXPECT_EQ(bits & GetParam().StateBits, GetParam().StateBits) << "the lock key did not take effect";
    EXPECT_EQ(app.ReadLineStartingWith(QStringLiteral("hotkey")), QStringLiteral("hotkey ") + ready.Bring);
}

INSTANTIATE_TEST_SUITE_P(Locks, XHotKeyLockTest,
                         ::testing::Values(TLockCase{"Num_Lock", 0x10}, TLockCase{"Caps_Lock", 0x02},
                                           TLockCase{"Num_Lock Caps_Lock", 0x12}),
                         [](const ::testing::TestParamInfo<TLockCase>& Info) {
                             std::string name = Info.param.LockKeys;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name;
                         });

TEST_F(XHotKeyTest, CombinationHeldByAnotherClientFailsSilently) {
    THelperProcess other({QStringLiteral("grab")}, FX->Env());
    ASSERT_EQ(other.ReadLine(), QStringLiteral("grabbed"));

    THelperProcess app({QStringLiteral("hotkey")}, FX->Env());
    const TReady ready = ParseReady(app.ReadLineStartingWith(QStringLiteral("ready")));
    ASSERT_FALSE(ready.Bring.isEmpty()) << "the program did not run on";
    EXPECT_FALSE(ready.BringRegistered);
    EXPECT_TRUE(ready.ToggleRegistered);

    // The held combination goes to the other client; ours keeps working. X delivers in order,
    // so a bring-to-front press reaching us would show before the toggle press.
    ASSERT_TRUE(FX->Key(QStringLiteral("ctrl+shift+space")));
    ASSERT_TRUE(FX->Key(QStringLiteral("alt+shift+space")));
    EXPECT_EQ(app.ReadLineStartingWith(QStringLiteral("hotkey")), QStringLiteral("hotkey ") + ready.Toggle);
}

TEST_F(XHotKeyTest, ReleasedHotKeyNoLongerFires) {
    THelperProcess app({QStringLiteral("hotkey")}, FX->Env());
    const TReady ready = ParseReady(app.ReadLineStartingWith(QStringLiteral("ready")));
    ASSERT_TRUE(ready.BringRegistered);
    app.Write("release\n");
    ASSERT_EQ(app.ReadLineStartingWith(QStringLiteral("released")), QStringLiteral("released"));

    ASSERT_TRUE(FX->Key(QStringLiteral("ctrl+shift+space")));
    ASSERT_TRUE(FX->Key(QStringLiteral("alt+shift+space")));
    EXPECT_EQ(app.ReadLineStartingWith(QStringLiteral("hotkey")), QStringLiteral("hotkey ") + ready.Toggle);

    // Given back to the server: another client can now take the combination.
    THelperProcess other({QStringLiteral("grab")}, FX->Env());
    EXPECT_EQ(other.ReadLine(), QStringLiteral("grabbed"));
}
} // namespace
