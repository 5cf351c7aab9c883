// Frames of a video that zooms toward the pointer and shows the clicks:
// the zoomed picture against a reference scaled by another library, the
// arrow at its own size on the point the view puts its tip, the rings, and
// drawing only what changed while the view holds still.
#include <gtest/gtest.h>

#include <cstdlib>

#include "VideoTestUtil.h"
#include "project/FocusSettings.h"

namespace quillora::test {
namespace {

int Sum(const std::vector<uint8_t>& rgb, int w, int x, int y)
{
    const size_t i = (size_t(y) * w + x) * 3;
    return rgb[i] + rgb[i + 1] + rgb[i + 2];
}

// The arrow's tip in frame f of the first picture, as the export glides it.
std::pair<int, int> TipAt(const ShotProject& p, int f)
{
    auto a = p.Mouse[0], b = p.Mouse[1];
    return {a.first + int(std::nearbyint(f * (b.first - a.first) / 24.0)),
            a.second + int(std::nearbyint(f * (b.second - a.second) / 24.0))};
}

constexpr int kW = 320, kH = 240;

TEST(Focus, ASettledZoomedFrameIsTheCropOfTheScreenshotWithTheArrowAtItsOwnSize)
{
    ShotProject p(2, kW, kH);
    video::TTimeline t = RecordTimeline(p.card);
    const auto stageTip = TipAt(p, 5);
    const int vx = std::max(0, stageTip.first - 40), vy = std::max(0, stageTip.second - 30);
    const video::TView view{double(vx), double(vy), 160, 120}; // twice
    t.focus.views.assign(size_t(t.FrameCount()), view);
    video::TRenderer r(t);
    r.Render(5);
    const std::vector<uint8_t> ours = Rgb(r);

    Scratch dir;
    const std::string ref = dir / "ref.rgb";
    const std::string cmd = "/usr/bin/python3 '" + std::string(QUILLORA_SOURCE_DIR) +
                            "/tests/video/zoom_reference.py' '" + p.Shots[0] +
                            "' " + std::to_string(vx) + " " + std::to_string(vy) +
                            " 160 120 320 240 '" + ref + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    const std::vector<uint8_t> pillow = ReadBytes(ref);
    ASSERT_EQ(pillow.size(), ours.size());

    const std::pair<int, int> tip{(stageTip.first - vx) * 2, (stageTip.second - vy) * 2};
    ASSERT_GE(tip.first, 0);
    ASSERT_LT(tip.first + 12, kW);
    ASSERT_LT(tip.second + 30, kH);
    EXPECT_GT(Psnr(ours, pillow, kW, kH, CursorBox(tip)), 35);
    // The arrow: black just below its tip, on the point the view puts it...
    EXPECT_LT(Sum(ours, kW, tip.first + 1, tip.second + 5), 150);
    // ...at its own size, 20 pixels tall: below that, the picture again.
    EXPECT_NEAR(Sum(ours, kW, tip.first + 2, tip.second + 30),
                Sum(pillow, kW, tip.first + 2, tip.second + 30), 45);
}

TEST(Focus, RingsShowFromTheClickAndAreGoneHalfASecondLaterUnderTheArrow)
{
    ShotProject p(2, kW, kH, "<ClickRings>True</ClickRings>");
    video::TTimeline t = RecordTimeline(p.card);
    const TFocusChoice choice = ReadFocusChoice(p.Movie);
    EXPECT_FALSE(choice.Zoom);
    EXPECT_TRUE(choice.ClickRings);
    t.focus = MakeFocus(p.Movie, t, choice);
    EXPECT_TRUE(t.focus.views.empty()) << "rings alone do not zoom";
    ASSERT_EQ(t.focus.rings.size(), 2u);
    EXPECT_EQ(t.focus.rings[0].frame, 1);
    EXPECT_EQ(t.focus.rings[1].frame, 25);
    EXPECT_EQ(t.focus.rings[0].x, TipAt(p, 1).first);
    EXPECT_EQ(t.focus.rings[0].y, TipAt(p, 1).second);

    video::TTimeline plainT = RecordTimeline(p.card);
    video::TRenderer withRings(t), plain(plainT);
    const int lasts = 8; // about half a second at 15 frames per second
    for (int f = 0; f <= 1 + lasts; ++f) {
        withRings.Render(f);
        plain.Render(f);
        const std::vector<uint8_t> a = Rgb(withRings), b = Rgb(plain);
        const double psnr = Psnr(a, b, kW, kH);
        if (f >= 1 && f < 1 + lasts) {
            EXPECT_LT(psnr, 60) << "no ring in frame " << f;
            // Above the picture, below the arrow.
            const auto tip = TipAt(p, f);
            EXPECT_EQ(Sum(a, kW, tip.first + 1, tip.second + 5),
                      Sum(b, kW, tip.first + 1, tip.second + 5))
                << f;
        } else {
            EXPECT_EQ(psnr, 99.0) << "ring shown in frame " << f;
        }
    }
    // The ring grows.
    auto spread = [&](int f) {
        withRings.Render(f);
        plain.Render(f);
        const std::vector<uint8_t> a = Rgb(withRings), b = Rgb(plain);
        int far = 0;
        const auto c = std::make_pair(int(t.focus.rings[0].x), int(t.focus.rings[0].y));
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                if (Sum(a, kW, x, y) != Sum(b, kW, x, y))
                    far = std::max(far, std::abs(x - c.first) + std::abs(y - c.second));
        return far;
    };
    EXPECT_LT(spread(1), spread(5));
}

TEST(Focus, DrawsOnlyWhatChangesWhileTheViewHoldsAndTheWholeFrameWhenItMoves)
{
    ShotProject p(3, kW, kH, "<Zoom>True</Zoom>");
    video::TTimeline t = RecordTimeline(p.card);
    t.focus = MakeFocus(p.Movie, t, ReadFocusChoice(p.Movie));
    ASSERT_EQ(t.focus.views.size(), size_t(t.FrameCount()));
    ASSERT_EQ(t.focus.rings.size(), 3u) << "rings go with the zoom";
    video::TRenderer seq(t);
    int still = 0, moved = 0;
    for (int32_t f = 0; f < t.FrameCount(); ++f) {
        const video::TRect dirty = seq.Render(f);
        // Whatever was drawn before, the frame is what a fresh renderer draws.
        if (f % 5 == 0 || f == 25 || f == 26) {
            video::TRenderer fresh(t);
            fresh.Render(std::max(0, f - 7));
            fresh.Render(f);
            ASSERT_EQ(Psnr(Rgb(seq), Rgb(fresh), kW, kH), 99.0) << "frame " << f;
        }
        if (f % 24 == 0) // a new picture: all of it changed
            continue;
        if (t.focus.views[size_t(f)] == t.focus.views[size_t(f) - 1]) {
            ++still;
            EXPECT_LT(dirty.Area(), int64_t(kW) * kH / 4) << "frame " << f;
        } else {
            ++moved;
            EXPECT_EQ(dirty.Area(), int64_t(kW) * kH) << "frame " << f;
        }
    }
    EXPECT_GT(still, 5);
    EXPECT_GT(moved, 5);
}

TEST(Focus, AWholeViewWithoutRingsDrawsAsWithoutFocus)
{
    ShotProject p(2, kW, kH);
    video::TTimeline plainT = RecordTimeline(p.card), t = plainT;
    t.focus.views.assign(size_t(t.FrameCount()), video::TView{0, 0, kW, kH});
    video::TRenderer a(t), b(plainT);
    for (int32_t f : {0, 1, 7, 24, 30, t.FrameCount() - 1}) {
        EXPECT_EQ(a.Render(f).Area(), b.Render(f).Area());
        EXPECT_EQ(Rgb(a), Rgb(b)) << f;
    }
}

} // namespace
} // namespace quillora::test
