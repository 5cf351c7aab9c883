// Placing the recording frame: moves keep the size and the pixels on the
// screen, resizes keep the other lines and the size limits, the grab
// areas and the label stay outside the captured pixels.
#include "platform/FrameGeometry.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {
const QRect Screen(0, 0, 1920, 1080);
const QSize Min(100, 100), Max(2000, 2000);
// A 640 x 480 region at (641, 301): lines at 640/1281 and 300/781.
const QRect Lines(QPoint(640, 300), QPoint(1281, 781));
} // namespace

TEST(FrameGeometry, MoveKeepsTheSizeAndThePixelsOnTheScreen)
{
    EXPECT_EQ(DragFrameLines(Lines, EdgeAll, {-100, 50}, Screen, Min, Max),
              Lines.translated(-100, 50));
    // Pushed past the top left corner: the first captured pixel is (0, 0),
    // the lines just off the screen.
    const QRect corner = DragFrameLines(Lines, EdgeAll, {-2000, -2000}, Screen, Min, Max);
    EXPECT_EQ(RegionOf(corner), QRect(0, 0, 640, 480));
    const QRect far = DragFrameLines(Lines, EdgeAll, {5000, 5000}, Screen, Min, Max);
    EXPECT_EQ(RegionOf(far), QRect(1280, 600, 640, 480));
    // A region as large as the screen has one place only.
    const QRect full = LinesOf(QRect(0, 0, 1920, 1080));
    EXPECT_EQ(DragFrameLines(full, EdgeAll, {1, 1}, Screen, Min, Max), full);
    // Larger than the screen (a recording started so): left as it is along
    // that axis, moved along the other.
    const QRect wide = LinesOf(QRect(-40, 100, 2000, 400));
    EXPECT_EQ(RegionOf(DragFrameLines(wide, EdgeAll, {10, 10}, Screen, Min, Max)),
              QRect(-30, 110, 2000, 400));
    EXPECT_EQ(KeepOnScreen(LinesOf(QRect(1500, -20, 640, 480)), Screen),
              LinesOf(QRect(1280, 0, 640, 480)));
}

TEST(FrameGeometry, ResizeKeepsTheOtherLinesTheLimitsAndTheScreen)
{
    // The bottom right corner: top left stays.
    const QRect grown = DragFrameLines(Lines, EdgeRight | EdgeBottom, {100, 20}, Screen, Min, Max);
    EXPECT_EQ(RegionOf(grown), QRect(641, 301, 740, 500));
    // The left edge: right stays; never below the smallest size.
    const QRect narrow = DragFrameLines(Lines, EdgeLeft, {600, 0}, Screen, Min, Max);
    EXPECT_EQ(RegionOf(narrow), QRect(1181, 301, 100, 480));
    // The top edge up past the screen: stops at its first row.
    const QRect tall = DragFrameLines(Lines, EdgeTop, {0, -500}, Screen, Min, Max);
    EXPECT_EQ(RegionOf(tall), QRect(641, 0, 640, 781));
    // Past the largest size, and past the screen's right column.
    EXPECT_EQ(RegionOf(DragFrameLines(Lines, EdgeRight, {5000, 0}, Screen, Min, QSize(900, 900)))
                  .width(),
              900);
    EXPECT_EQ(RegionOf(DragFrameLines(Lines, EdgeRight, {5000, 0}, Screen, Min, Max)).right(),
              1919);
    // The top left corner inwards past the other corner: the smallest size.
    const QRect tiny = DragFrameLines(Lines, EdgeLeft | EdgeTop, {2000, 2000}, Screen, Min, Max);
    EXPECT_EQ(RegionOf(tiny), QRect(1181, 681, 100, 100));
}

TEST(FrameGeometry, GrabsLieOutsideTheCapturedPixels)
{
    const QRect region = RegionOf(Lines);
    const TFrameHandles h = HandlesOf(Lines);
    for (const QRect& r : h.Handles)
        EXPECT_FALSE(r.intersects(region)) << r.x() << "," << r.y();
    for (const QRect& r : h.Bands)
        EXPECT_FALSE(r.intersects(region)) << r.x() << "," << r.y();
    // Corners and middles resize, the rest of the border moves.
    EXPECT_EQ(GrabAt(Lines, {637, 297}, true), EdgeLeft | EdgeTop);
    EXPECT_EQ(GrabAt(Lines, {1283, 783}, true), EdgeRight | EdgeBottom);
    EXPECT_EQ(GrabAt(Lines, {960, 298}, true), EdgeTop);
    EXPECT_EQ(GrabAt(Lines, {1284, 540}, true), EdgeRight);
    EXPECT_EQ(GrabAt(Lines, {800, 300}, true), EdgeAll);
    EXPECT_EQ(GrabAt(Lines, {640, 700}, true), EdgeAll);
    EXPECT_EQ(GrabAt(Lines, {1283, 783}, false), EdgeAll);
    // Inside the region, and beyond the band, nothing is grabbed.
    EXPECT_EQ(GrabAt(Lines, {641, 301}, true), 0);
    EXPECT_EQ(GrabAt(Lines, {800, 292}, true), 0);
    EXPECT_EQ(GrabAt(Lines, {632, 500}, true), 0);
}

TEST(FrameGeometry, LabelGoesBesideTheFrameOrNowhere)
{
    const QSize size(300, 50);
    const std::optional<QRect> above = LabelPlace(Lines, Screen, size);
    ASSERT_TRUE(above);
    EXPECT_EQ(above->bottom(), 300 - FrameBand - 1);
    EXPECT_EQ(above->left(), 640 - FrameBand + 1);
    // No room above: below it.
    const QRect top = Lines.translated(0, -290);
    const std::optional<QRect> below = LabelPlace(top, Screen, size);
    ASSERT_TRUE(below);
    EXPECT_EQ(below->top(), top.bottom() + FrameBand + 1);
    // Along the right edge of the screen it is moved back onto it.
    const std::optional<QRect> right =
        LabelPlace(Lines.translated(630, 0), Screen, QSize(800, 50));
    ASSERT_TRUE(right);
    EXPECT_EQ(right->right(), 1919);
    // A region that fills the screen leaves no room for it.
    EXPECT_FALSE(LabelPlace(LinesOf(Screen), Screen, size));
    for (const QRect& lines : {Lines, top, LinesOf(QRect(0, 0, 1920, 1000))}) {
        const std::optional<QRect> place = LabelPlace(lines, Screen, size);
        if (place) {
            EXPECT_TRUE(Screen.contains(*place));
            EXPECT_FALSE(place->intersects(lines.adjusted(-FrameBand, -FrameBand, FrameBand,
                                                           FrameBand)));
        }
    }
}
