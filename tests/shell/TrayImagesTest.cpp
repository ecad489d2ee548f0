// SPDX-License-Identifier: MIT
#include "TrayImages.h"

#include <QColor>
#include <gtest/gtest.h>

namespace {

class ClockImageTest : public ::testing::TestWithParam<int> {};

TEST_P(ClockImageTest, DarkFaceWhenActiveGreyWhenIdleTransparentCorners) {
    const int size = GetParam();
    const QImage active = DrawClockImage(size, true);
    const QImage idle = DrawClockImage(size, false);
    ASSERT_EQ(active.size(), QSize(size, size));
    ASSERT_TRUE(active.hasAlphaChannel());
    EXPECT_EQ(qAlpha(active.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(idle.pixel(size - 1, size - 1)), 0);
    // A point of the face away from marks and hands: lower left, between 6 and 9 o'clock.
    const QPoint face(size * 3 / 10, size * 7 / 10);
    const QColor activeFace = QColor::fromRgba(active.pixel(face));
    const QColor idleFace = QColor::fromRgba(idle.pixel(face));
    EXPECT_EQ(activeFace.alpha(), 255);
    EXPECT_LT(activeFace.lightness(), 50) << "nearly black";
    EXPECT_GT(idleFace.lightness(), 90) << "dimmed mid grey";
    EXPECT_LT(idleFace.lightness(), 170);
    // The hands are white: the brightest pixel of the active clock is near white.
    int brightest = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            brightest = std::max(brightest, QColor::fromRgba(active.pixel(x, y)).lightness());
    EXPECT_GT(brightest, 200);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ClockImageTest, ::testing::Values(16, 24, 32, 48, 256));

TEST(TrayImages, IconsCarryEverySize) {
    const QList<QSize> sizes = ApplicationIcon().availableSizes();
    for (int size : {16, 24, 32, 48, 256})
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
    EXPECT_TRUE(TrayIconImage(0).availableSizes().contains(QSize(16, 16)));
    EXPECT_NE(TrayIconImage(0).pixmap(16).toImage(), TrayIconImage(1).pixmap(16).toImage());
}

} // namespace
