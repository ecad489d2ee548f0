// SPDX-License-Identifier: MIT
#include "SessionEndWatcher.h"

#include <QTest>
#include <csignal>
#include <gtest/gtest.h>

namespace {

class SessionEndSignalTest : public ::testing::TestWithParam<int> {};

TEST_P(SessionEndSignalTest, ASignalReachesTheHandlerInTheEventLoop) {
    std::vector<int> received;
    TSessionEndWatcher watcher([&](int Signal) { received.push_back(Signal); });
    ASSERT_EQ(::raise(GetParam()), 0);
    EXPECT_TRUE(received.empty()) << "nothing runs inside the signal handler";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !received.empty(); }, 5000));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], GetParam());
}

INSTANTIATE_TEST_SUITE_P(Signals, SessionEndSignalTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

} // namespace
