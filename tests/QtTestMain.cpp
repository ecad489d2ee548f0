// SPDX-License-Identifier: MIT
// One main for the Qt tests: a QApplication on the offscreen platform, so widgets, signal
// spies and timers work without a display.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // No test reaches the product site: an empty address switches the update check off.
    if (!qEnvironmentVariableIsSet("TALLYVOX_SITE_URL"))
        qputenv("TALLYVOX_SITE_URL", QByteArray());
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
