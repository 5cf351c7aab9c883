// The renderer against what the SWF shows: pictures pixel for pixel, the
// arrow where it was recorded, texts, stacking, the stop, and drawing only
// what changed.
#include <gtest/gtest.h>

#include "VideoTestUtil.h"

namespace quillora::test {
namespace {

std::array<int, 3> At(const video::TRenderer& r, int x, int y)
{
    const uint8_t* p = r.Pixels() + size_t(y) * r.Stride() + size_t(x) * 4;
    return {p[2], p[1], p[0]};
}

// "HH" at (10, 10), 18 points, blue ("$FF0000" in the program's colour order).
Text BlueCaption(int start, int end)
{
    Text text;
    text.content = "HH";
    text.start = start;
    text.end = end;
    text.px = 10;
    text.py = 10;
    text.size = 18;
    text.color = "$FF0000";
    return text;
}

TEST(Renderer, PicturesExactArrowOnTheRecordedPixelAndGliding)
{
    ShotProject p(3);
    video::TTimeline t = RecordTimeline(p.card);
    ASSERT_EQ(t.PixelWidth(), kStageW);
    ASSERT_TRUE(t.stop.has_value());
    EXPECT_EQ(t.FrameCount(), *t.stop + 1);
    video::TRenderer r(t);
    for (int i = 0; i < 3; ++i) {
        r.Render(24 * i); // the first frame of the picture: the arrow at its own mouse position
        std::vector<uint8_t> jpeg = swftest::DecodeRgb(ReadBytes(p.Shots[size_t(i)]));
        auto tip = p.Mouse[size_t(i)];
        EXPECT_EQ(Psnr(Rgb(r), jpeg, kStageW, kStageH, CursorBox(tip)), 99.0)
            << "picture " << i;
        // Inside the arrow just below its tip: black; left of the tip: the picture.
        auto in = At(r, tip.first + 1, tip.second + 5);
        EXPECT_LT(in[0] + in[1] + in[2], 150) << "picture " << i;
        // The white outline runs along the arrow's left edge, half over its fill.
        auto edge = At(r, tip.first, tip.second + 8);
        EXPECT_GT(edge[0] + edge[1] + edge[2], in[0] + in[1] + in[2] + 200) << "picture " << i;
    }
    // Half way through the first picture the arrow is half way to the next position.
    r.Render(12);
    auto a = p.Mouse[0], b = p.Mouse[1];
    int mx = a.first + int(std::nearbyint(12.0 * (b.first - a.first) / 24));
    int my = a.second + int(std::nearbyint(12.0 * (b.second - a.second) / 24));
    auto in = At(r, mx + 1, my + 5);
    EXPECT_LT(in[0] + in[1] + in[2], 150);
}

TEST(Renderer, DrawsOnlyWhatChanged)
{
    {
        // One picture: the arrow rests where it was recorded.
        ShotProject one(1);
        video::TTimeline t = RecordTimeline(one.card);
        video::TRenderer r(t);
        r.Render(1);
        EXPECT_TRUE(r.Render(2).Empty());
    }
    ShotProject p(2);
    video::TTimeline t = RecordTimeline(p.card);
    video::TRenderer r(t);
    video::TRect first = r.Render(0);
    EXPECT_EQ(first.Area(), int64_t(kStageW) * kStageH);
    // The arrow moves a little: only its neighbourhood is drawn again.
    video::TRect step = r.Render(1);
    EXPECT_FALSE(step.Empty());
    EXPECT_LT(step.Area(), 40 * 40);
    EXPECT_TRUE(r.Render(1).Empty()) << "the same frame again changes nothing";
    // The stop frame comes after the last picture's end: the stage alone.
    r.Render(t.FrameCount() - 1);
    std::vector<uint8_t> white(size_t(kStageW) * kStageH * 3, 255);
    EXPECT_EQ(Rgb(r), white);
    // A jump back draws the frame whole again and right.
    video::TRenderer fresh(t);
    fresh.Render(5);
    r.Render(5);
    EXPECT_EQ(Rgb(r), Rgb(fresh));
}

TEST(Renderer, TextsInTheirColourAboveThePictureAndGoneAfterTheirEnd)
{
    Text text = BlueCaption(2, 10);
    ShotProject p(1, kStageW, kStageH, text.Xml(), "0");
    video::TTimeline t = RecordTimeline(p.card);
    video::TRenderer r(t);
    auto countColoured = [&] {
        int n = 0;
        for (int y = 0; y < kStageH; ++y)
            for (int x = 0; x < kStageW; ++x) {
                auto c = At(r, x, y);
                n += c[2] > 200 && c[0] < 60 && c[1] < 60;
            }
        return n;
    };
    r.Render(1);
    int before = countColoured();
    r.Render(5);
    int during = countColoured();
    r.Render(10);
    int last = countColoured();
    r.Render(11);
    int after = countColoured();
    EXPECT_GT(during - before, 40) << "the text is drawn, above the picture";
    EXPECT_NEAR(last, during, 4) << "still there in its last frame"; // the arrow glides over a few
    EXPECT_NEAR(after, before, 4) << "gone in the frame after its end";
    // Reached by a jump, the frames are the same.
    video::TRenderer jumped(t);
    jumped.Render(11);
    EXPECT_EQ(Rgb(jumped), Rgb(r));
}

TEST(Renderer, ACaptionOverItsPictureEndsWithIt)
{
    // A caption over the first of three pictures, as the storyboard adds it
    // (frames 0 to 23): the pictures after it were made earlier, so they lie
    // below it however the frames are reached, and it is gone when the second
    // picture shows.
    Text text = BlueCaption(0, 23);
    ShotProject p(3, kStageW, kStageH, text.Xml(), "0");
    video::TTimeline t = RecordTimeline(p.card);
    auto countColoured = [&](const video::TRenderer& r) {
        int n = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < kStageW; ++x) {
                auto c = At(r, x, y);
                n += c[2] > 200 && c[0] < 60 && c[1] < 60;
            }
        return n;
    };
    video::TRenderer inOrder(t);
    for (int f = 0; f < t.FrameCount(); ++f) {
        inOrder.Render(f);
        video::TRenderer jumped(t);
        jumped.Render(f);
        ASSERT_EQ(Rgb(inOrder), Rgb(jumped)) << "frame " << f;
        if (f <= 23)
            EXPECT_GT(countColoured(inOrder), 40) << "frame " << f;
        else
            EXPECT_LT(countColoured(inOrder), 5) << "frame " << f;
    }
}

TEST(Renderer, BackgroundWhereNoPictureAndMovePicturesSlide)
{
    // A "Move" picture is read beside the project and slides 2 pixels a frame.
    Pic moving;
    moving.name = "Mover";
    moving.start = 0;
    moving.end = 10;
    moving.effect = "Move";
    moving.w = 32;
    moving.h = 16;
    moving.px = 40;
    moving.py = 20;
    moving.content = "x";
    Project p(MovieXml(moving.Xml(), 0, "255", kStageW, kStageH)); // red background
    swftest::WriteFile(p.dir / "Mover.jpg",
                       swftest::MakeJpeg(32, 16, swftest::JpegKind::Grayscale, 0));
    p.card.ClickSoundPath = std::string(QUILLORA_BIN_DIR) + "/click.wav";
    video::TTimeline t = RecordTimeline(p.card);
    video::TRenderer r(t);
    r.Render(0);
    EXPECT_EQ(At(r, 90, 60), (std::array<int, 3>{255, 0, 0}));
    EXPECT_NE(At(r, 41, 21), (std::array<int, 3>{255, 0, 0}));
    r.Render(5); // now at x = 40 - 10
    EXPECT_NE(At(r, 31, 21), (std::array<int, 3>{255, 0, 0}));
    EXPECT_EQ(At(r, 70, 21), (std::array<int, 3>{255, 0, 0}));
}

} // namespace
} // namespace quillora::test
