// SPDX-License-Identifier: MIT
#include "TrayClickHandler.h"

#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <string>

namespace {

// Each letter is one event: T Trigger, D DoubleClick, F the pending click's timer firing.
struct TSequenceCase {
    const char* Events;
    int Clicks;
    int DoubleClicks;
    bool XEmbed = false; // real double clicks only: two Triggers are two clicks
};

class TrayClickHandlerTest : public ::testing::TestWithParam<TSequenceCase> {};

TEST_P(TrayClickHandlerTest, CountsSingleAndDoubleClicks) {
    int clicks = 0, doubles = 0;
    TTrayClickHandler handler([] { return 500; }, [&] { ++clicks; }, [&] { ++doubles; });
    handler.SetTwoTriggersMakeDoubleClick(!GetParam().XEmbed);
    for (char event : std::string(GetParam().Events)) {
        if (event == 'T')
            handler.TrayIconClick();
        else if (event == 'D')
            handler.TrayIconDblClick();
        else if (event == 'F' && handler.ClickPending())
            handler.TrayClickTimerProc();
    }
    EXPECT_EQ(clicks, GetParam().Clicks) << GetParam().Events;
    EXPECT_EQ(doubles, GetParam().DoubleClicks) << GetParam().Events;
}

const TSequenceCase Sequences[] = {
    {"T", 0, 0},    // still waiting for the interval
    {"TF", 1, 0},   // a single click acts once the interval is over
    {"TFTF", 2, 0}, // two separate clicks
    {"TD", 0, 1},   // XEmbed double click
    {"TT", 0, 1},   // StatusNotifierItem double click
    {"TTD", 0, 1},  // a host that sends both never toggles twice
    {"TTF", 0, 1},  // nothing pending after a double click
    {"TTT", 0, 1},  // a third click starts a new wait
    {"TTTF", 1, 1},       {"D", 0, 1},         {"TDTD", 0, 2},
    {"F", 0, 0},          {"TD", 0, 1, true},  {"TT", 0, 0, true}, // the second click restarts the wait...
    {"TTF", 1, 0, true},                                           // ...and one pause or resume follows
    {"TFTF", 2, 0, true}, {"TTD", 0, 1, true},
};
INSTANTIATE_TEST_SUITE_P(Sequences, TrayClickHandlerTest, ::testing::ValuesIn(Sequences));

TEST(TrayClickHandlerTimer, UsesTheIntervalAskedAtEachClick) {
    int asked = 0;
    TTrayClickHandler handler([&] { return 100 * ++asked; }, [] {}, [] {});
    handler.TrayIconClick();
    handler.TrayClickTimerProc();
    handler.TrayIconClick();
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(handler.ClickPending());
}

TEST(TrayClickHandlerTimer, ADoubleClickWaitingWhenTheTimerFiresCancelsTheClick) {
    int clicks = 0, doubles = 0;
    TTrayClickHandler handler([] { return 1; }, [&] { ++clicks; }, [&] { ++doubles; });
    handler.TrayIconClick();
    QTimer input; // due together with the click's timer, handled after it
    QObject::connect(&input, &QTimer::timeout, &handler, [&] { handler.TrayIconDblClick(); });
    input.setSingleShot(true);
    input.start(1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !handler.ClickPending() && doubles == 1; }, 2000));
    EXPECT_EQ(clicks, 0);
}

} // namespace
