// The encoders' 4:2:0 pictures of the canvas: BT.601 limited-range colours,
// a rectangle converted in place, and a pool that brings each picture up to
// date without ever writing one that someone still reads.
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <random>

extern "C" {
#include <libavutil/frame.h>
}

#include "video/PicturePool.h"

namespace video {
namespace {

struct Canvas {
    int w, h, stride;
    std::vector<uint8_t> px;
    Canvas(int w_, int h_) : w(w_), h(h_), stride(w_ * 4 + 16), px(size_t(stride) * h_, 0) {}
    void Fill(TRect r, uint8_t red, uint8_t green, uint8_t blue, uint8_t unused = 0)
    {
        r = r.Intersected({0, 0, w, h});
        for (int y = r.y; y < r.y + r.h; ++y)
            for (int x = r.x; x < r.x + r.w; ++x) {
                uint8_t* p = &px[size_t(y) * stride + size_t(x) * 4];
                p[0] = blue;
                p[1] = green;
                p[2] = red;
                p[3] = unused;
            }
    }
};

AVFrame* NewPicture(int w, int h)
{
    AVFrame* f = av_frame_alloc();
    f->format = AV_PIX_FMT_YUV420P;
    f->width = w;
    f->height = h;
    EXPECT_EQ(av_frame_get_buffer(f, 0), 0);
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < (p ? h / 2 : h); ++y)
            std::fill_n(f->data[p] + size_t(y) * f->linesize[p], p ? w / 2 : w, uint8_t(7));
    return f;
}

// The planes, packed.
std::vector<uint8_t> Planes(const AVFrame* f)
{
    std::vector<uint8_t> out;
    for (int p = 0; p < 3; ++p) {
        const int w = p ? f->width / 2 : f->width, h = p ? f->height / 2 : f->height;
        for (int y = 0; y < h; ++y)
            out.insert(out.end(), f->data[p] + size_t(y) * f->linesize[p],
                       f->data[p] + size_t(y) * f->linesize[p] + w);
    }
    return out;
}

std::vector<uint8_t> Whole(const Canvas& c)
{
    AVFrame* f = NewPicture(c.w, c.h);
    ConvertToI420(c.px.data(), c.stride, c.w, c.h, {0, 0, c.w, c.h}, f);
    std::vector<uint8_t> out = Planes(f);
    av_frame_free(&f);
    return out;
}

TEST(PicturePool, ColoursAreBt601LimitedRangeWhateverTheUnusedByte)
{
    struct Rgb {
        int r, g, b;
    };
    const Rgb colours[] = {{0, 0, 0},      {255, 255, 255}, {255, 0, 0},
                           {0, 255, 0},    {0, 0, 255},     {128, 128, 128},
                           {200, 120, 40}, {30, 160, 220},  {250, 240, 10}};
    for (const Rgb& c : colours) {
        Canvas canvas(8, 4);
        canvas.Fill({0, 0, 8, 4}, uint8_t(c.r), uint8_t(c.g), uint8_t(c.b), 0xA5);
        AVFrame* f = NewPicture(8, 4);
        ConvertToI420(canvas.px.data(), canvas.stride, 8, 4, {0, 0, 8, 4}, f);
        // The BT.601 matrix, scaled to 16..235 and 16..240.
        const double r = c.r / 255.0, g = c.g / 255.0, b = c.b / 255.0;
        const double y = 0.299 * r + 0.587 * g + 0.114 * b;
        const double wantY = 16 + 219 * y, wantU = 128 + 224 * (b - y) / 1.772,
                     wantV = 128 + 224 * (r - y) / 1.402;
        EXPECT_NEAR(f->data[0][5], wantY, 1.0) << c.r << "," << c.g << "," << c.b;
        EXPECT_NEAR(f->data[1][1], wantU, 1.0) << c.r << "," << c.g << "," << c.b;
        EXPECT_NEAR(f->data[2][1], wantV, 1.0) << c.r << "," << c.g << "," << c.b;
        av_frame_free(&f);
    }
}

TEST(PicturePool, ARectangleIsConvertedToItsEvenEdgesAndNothingElseIsTouched)
{
    Canvas canvas(32, 16);
    canvas.Fill({0, 0, 32, 16}, 255, 255, 255);
    AVFrame* f = NewPicture(32, 16);
    // Odd edges: columns 3..8 and rows 5..10 grow to 2..9 and 4..11.
    ConvertToI420(canvas.px.data(), canvas.stride, 32, 16, {3, 5, 6, 6}, f);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            const bool in = x >= 2 && x < 10 && y >= 4 && y < 12;
            EXPECT_EQ(f->data[0][size_t(y) * f->linesize[0] + x], in ? 235 : 7) << x << "," << y;
        }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool in = x >= 1 && x < 5 && y >= 2 && y < 6;
            EXPECT_EQ(f->data[1][size_t(y) * f->linesize[1] + x], in ? 128 : 7);
            EXPECT_EQ(f->data[2][size_t(y) * f->linesize[2] + x], in ? 128 : 7);
        }
    // Past the canvas is left out, not written.
    ConvertToI420(canvas.px.data(), canvas.stride, 32, 16, {-40, 30, 10, 10}, f);
    EXPECT_EQ(f->data[0][0], 7);
    av_frame_free(&f);
}

// Random changes while the consumer keeps some pictures for a long time and
// drops others at once: every picture shows the canvas of its moment, and
// keeps showing it while held.
TEST(PicturePool, EveryPictureShowsItsFrameAndAHeldOneNeverChanges)
{
    constexpr int w = 64, h = 48;
    Canvas canvas(w, h);
    TPicturePool pool(w, h);
    std::mt19937 rng(11);
    struct Held {
        AVFrame* frame;
        std::vector<uint8_t> want;
        int until;
    };
    std::deque<Held> held;
    size_t most = 0;
    for (int f = 0; f < 400; ++f) {
        TRect changed;
        if (f == 0) {
            changed = {0, 0, w, h};
        } else if (rng() % 4) { // a small change, often at odd places or past an edge
            changed = {int(rng() % (w + 8)) - 4, int(rng() % (h + 8)) - 4, 1 + int(rng() % 9),
                       1 + int(rng() % 7)};
        } else if (rng() % 3 == 0) {
            changed = {0, 0, w, h};
        } // else nothing changed
        canvas.Fill(changed, uint8_t(rng()), uint8_t(rng()), uint8_t(rng()));
        AVFrame* p = pool.Take(canvas.px.data(), canvas.stride, changed);
        std::vector<uint8_t> want = Whole(canvas);
        ASSERT_EQ(Planes(p), want) << "frame " << f;
        // Some are kept up to 30 frames (an encoder's look-ahead), most a few.
        const int keep = rng() % 10 == 0 ? int(rng() % 30) : int(rng() % 4);
        held.push_back({p, std::move(want), f + keep});
        for (auto it = held.begin(); it != held.end();) {
            if (it->until <= f) {
                EXPECT_EQ(Planes(it->frame), it->want) << "held from before frame " << f;
                av_frame_free(&it->frame);
                it = held.erase(it);
            } else {
                ++it;
            }
        }
        most = std::max(most, held.size());
    }
    for (Held& k : held) {
        EXPECT_EQ(Planes(k.frame), k.want);
        av_frame_free(&k.frame);
    }
    // No more pictures than were held at once, and one to fill.
    EXPECT_LE(pool.Size(), most + 1);
}

TEST(PicturePool, AFrameThatDidNotChangeSharesThePictureBefore)
{
    Canvas canvas(16, 16);
    TPicturePool pool(16, 16);
    AVFrame* a = pool.Take(canvas.px.data(), canvas.stride, {0, 0, 16, 16});
    AVFrame* b = pool.Take(canvas.px.data(), canvas.stride, {});
    EXPECT_EQ(a->data[0], b->data[0]);
    av_frame_free(&a);
    av_frame_free(&b);
    // Nothing held: the one picture is brought up to date in place.
    canvas.Fill({4, 4, 2, 2}, 255, 0, 0);
    AVFrame* c = pool.Take(canvas.px.data(), canvas.stride, {4, 4, 2, 2});
    EXPECT_EQ(pool.Size(), 1u);
    EXPECT_EQ(Planes(c), Whole(canvas));
    av_frame_free(&c);
}

} // namespace
} // namespace video
