// The camera track alone, over recorded projects of many shapes: what a
// viewer must always see, and how the view moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "video/CameraTrack.h"

namespace {

using video::TCameraScene;
using video::TPoint;
using video::TView;

struct Shot {
    double x, y;
    int length = 24;
    bool zoom = true;
};

// A scene as the export makes it: pictures back to back from frame 0, the
// arrow gliding from each one's position to the next one's (rounded as the
// export rounds), resting at the last; the stop frame after the last picture.
TCameraScene Recorded(const std::vector<Shot>& shots, double w = 640, double h = 480,
                      int rate = 15)
{
    TCameraScene s;
    s.width = w;
    s.height = h;
    s.rate = rate;
    int32_t at = 0;
    for (size_t i = 0; i < shots.size(); ++i) {
        const Shot& a = shots[i];
        const Shot& b = i + 1 < shots.size() ? shots[i + 1] : a;
        s.shots.push_back({at, at + a.length, a.zoom});
        for (int k = 0; k < a.length; ++k)
            s.pointer.push_back(
                TPoint{a.x + std::nearbyint(k * (b.x - a.x) / a.length),
                       a.y + std::nearbyint(k * (b.y - a.y) / a.length)});
        at += a.length;
    }
    s.frames = at + 1;
    return s;
}

double Scale(const TCameraScene& s, const TView& v)
{
    return s.width / v.w;
}

bool IsWhole(const TCameraScene& s, const TView& v)
{
    return v == TView{0, 0, s.width, s.height};
}

// What must hold in every frame of every project.
void CheckTrack(const TCameraScene& s, double level, const std::string& what)
{
    SCOPED_TRACE(what);
    const std::vector<TView> views = video::CameraTrack(s, level);
    ASSERT_EQ(views.size(), size_t(s.frames));
    EXPECT_TRUE(IsWhole(s, views.front())) << "the movie starts on the whole stage";
    EXPECT_TRUE(IsWhole(s, views.back())) << "the stop frame shows the whole stage";
    const double zw = s.width / level, zh = s.height / level;
    const double mx = video::kCameraMargin * zw, my = video::kCameraMargin * zh;
    const double eps = 1e-6;
    for (int32_t f = 0; f < s.frames; ++f) {
        const TView& v = views[size_t(f)];
        SCOPED_TRACE("frame " + std::to_string(f));
        ASSERT_GE(v.x, 0);
        ASSERT_GE(v.y, 0);
        ASSERT_LE(v.x + v.w, s.width + eps);
        ASSERT_LE(v.y + v.h, s.height + eps);
        ASSERT_NEAR(v.w / v.h, s.width / s.height, 0.01) << "the stage's aspect";
        ASSERT_GE(Scale(s, v), 1 - eps);
        ASSERT_LE(Scale(s, v), level * (1 + 1e-4)) << "views are kept on a grid of 1/256 pixel";
        if (size_t(f) < s.pointer.size() && s.pointer[size_t(f)]) {
            // The tip as the camera follows it: inside the stage.
            const double px = std::clamp(s.pointer[size_t(f)]->x, 0.0, s.width);
            const double py = std::clamp(s.pointer[size_t(f)]->y, 0.0, s.height);
            // Away from every edge, unless that edge is the stage's own and the
            // tip is that close to it.
            auto away = [&](double tip, double lo, double hi, double m, double stage) {
                const bool fromLo = tip - lo >= m - eps || (lo <= eps && tip < m);
                const bool fromHi = hi - tip >= m - eps || (hi >= stage - eps && stage - tip < m);
                return fromLo && fromHi;
            };
            ASSERT_TRUE(away(px, v.x, v.x + v.w, mx, s.width))
                << "tip x " << px << " in " << v.x << " + " << v.w;
            ASSERT_TRUE(away(py, v.y, v.y + v.h, my, s.height))
                << "tip y " << py << " in " << v.y << " + " << v.h;
        }
        // At the level the view has the level's own size, not a hair more
        // or less, and it sits on whole pixels of the output, so a pan is an
        // exact shift of the frame before (the right and bottom stage edges
        // aside, where the view stops).
        if (std::abs(v.w - zw) < 1e-3) {
            ASSERT_EQ(v.w, zw) << "the width wobbles";
            ASSERT_EQ(v.h, zh) << "the height wobbles";
            auto onPixel = [&](double at, double edge) {
                return at == edge || std::abs(at * level - std::round(at * level)) < 1e-9;
            };
            ASSERT_TRUE(onPixel(v.x, s.width - zw)) << v.x;
            ASSERT_TRUE(onPixel(v.y, s.height - zh)) << v.y;
        }
        if (f > 0) {
            // No jumps: an ease spreads even the largest change over its frames.
            const TView& u = views[size_t(f) - 1];
            const double step = s.width / 4;
            ASSERT_LE(std::abs(v.x - u.x), step);
            ASSERT_LE(std::abs(v.x + v.w - u.x - u.w), step);
            ASSERT_LE(std::abs(v.y - u.y), step * s.height / s.width);
            ASSERT_LE(std::abs(v.y + v.h - u.y - u.h), step * s.height / s.width);
        }
    }
}

TEST(CameraTrack, EveryShapeKeepsThePointerInsideTheStageAndMovesSmoothly)
{
    const double W = 640, H = 480;
    struct Case {
        std::string name;
        std::vector<Shot> shots;
    };
    std::vector<Case> cases = {
        {"one picture", {{320, 240}}},
        {"corners", {{0, 0}, {639, 0}, {639, 479}, {0, 479}, {0, 0}}},
        {"edges", {{320, 0}, {639, 240}, {320, 479}, {0, 240}, {5, 5}}},
        {"far jumps", {{20, 20}, {620, 460}, {30, 450}, {610, 25}, {320, 240}}},
        {"near steps", {{300, 200}, {310, 205}, {330, 215}, {335, 240}, {340, 240}, {360, 250}}},
        {"very short pictures", {{100, 100, 3}, {500, 400, 2}, {50, 400, 4}, {600, 50, 1}}},
        {"short among long",
         {{100, 100}, {120, 110, 3}, {140, 120, 3}, {160, 130}, {600, 450, 2}, {300, 300}}},
        {"outside the stage", {{-50, -80}, {700, 300}, {320, 900}, {-10, 500}}},
        {"resting pointer", {{200, 150, 60}, {200, 150, 60}, {200, 150, 60}}},
        {"excluded between", {{100, 100}, {400, 300, 24, false}, {420, 310}, {300, 100}}},
        {"all excluded", {{100, 100, 24, false}, {400, 300, 24, false}}},
        {"long pictures", {{50, 60, 150}, {590, 420, 200}, {300, 250, 90}}},
    };
    for (int i = 0; i < 20; ++i) { // a longer walk over the whole stage
        cases.push_back({"walk " + std::to_string(i), {}});
        for (int k = 0; k < 12; ++k)
            cases.back().shots.push_back(
                {double((37 * k * (i + 3)) % 660) - 10, double((53 * k + 11 * i) % 500) - 10,
                 1 + (k * 7 + i) % 40, (k + i) % 5 != 0});
    }
    for (const Case& c : cases)
        for (double level : {1.25, 2.0, 4.0})
            CheckTrack(Recorded(c.shots, W, H), level, c.name + " at " + std::to_string(level));
    CheckTrack(Recorded({{10, 10}, {1900, 1070}, {960, 540}, {970, 560}}, 1920, 1080), 2,
               "a full HD stage");
    CheckTrack(Recorded({{10, 10, 48}, {600, 400, 48}, {620, 410, 48}}, W, H, 30), 2,
               "30 frames per second");
    CheckTrack(Recorded({{10, 10}, {600, 400}}, 97, 61), 3, "a small, odd stage");
}

TEST(CameraTrack, StartsWholeEasesInTowardTheFirstPointerAndOutBeforeTheStop)
{
    const TCameraScene s = Recorded({{100, 80, 48}, {110, 90, 48}});
    const std::vector<TView> v = video::CameraTrack(s, 2);
    const int ease = video::CameraEaseFrames(15);
    EXPECT_GE(ease, 7);
    EXPECT_LE(ease, 9) << "about half a second at 15 frames per second";
    // The first picture is seen whole for a moment...
    for (int f = 0; f < ease / 2; ++f)
        EXPECT_TRUE(IsWhole(s, v[size_t(f)])) << f;
    // ...then the camera is in at the level, at the stage's corner near the pointer.
    const TView& in = v[size_t(2 * ease + 4)];
    EXPECT_DOUBLE_EQ(Scale(s, in), 2);
    EXPECT_EQ(in.x, 0);
    EXPECT_EQ(in.y, 0);
    // Zooming in and out take an ease each, growing monotonically.
    for (int f = 1; f < 2 * ease + 4; ++f)
        EXPECT_LE(v[size_t(f)].w, v[size_t(f) - 1].w) << f;
    for (int f = s.frames - 2 * ease; f < s.frames; ++f)
        EXPECT_GE(v[size_t(f)].w, v[size_t(f) - 1].w) << f;
    EXPECT_LT(v[size_t(s.frames) - ease - 1].w, s.width);
}

// Runs of frames in which the view's size changes.
int Zooms(const std::vector<TView>& v)
{
    int zooms = 0;
    for (size_t f = 1; f < v.size(); ++f)
        zooms += v[f].w != v[f - 1].w && (f < 2 || v[f - 1].w == v[f - 2].w);
    return zooms;
}

TEST(CameraTrack, PansToANearActionAndShowsBothEndsOfAFarOne)
{
    // 1, 2: near steps right; 3: far across the stage; 4: rest.
    const TCameraScene s =
        Recorded({{200, 200}, {230, 215}, {260, 230}, {600, 440}, {600, 440}});
    const std::vector<TView> v = video::CameraTrack(s, 2);
    auto contains = [](const TView& view, double x, double y) {
        return x >= view.x && x <= view.x + view.w && y >= view.y && y <= view.y + view.h;
    };
    // The third picture (frames 48..72) glides far: in its middle the view
    // has eased out to show where the pointer comes from and goes to.
    const TView& mid = v[60];
    EXPECT_LT(Scale(s, mid), 2);
    EXPECT_TRUE(contains(mid, 260, 230));
    EXPECT_TRUE(contains(mid, 600, 440));
    // At its click and the next one, the camera is in at the level.
    EXPECT_DOUBLE_EQ(Scale(s, v[49]), 2);
    EXPECT_DOUBLE_EQ(Scale(s, v[73]), 2);
    EXPECT_TRUE(contains(v[73], 600, 440));
    // The near steps stay at the level the whole time: a pan, no zoom out.
    for (int f = 20; f <= 49; ++f)
        EXPECT_DOUBLE_EQ(Scale(s, v[size_t(f)]), 2) << f;
}

TEST(CameraTrack, DoesNotGoInForAMomentBetweenFarMoves)
{
    const double stay = video::kCameraMinStay * 15;
    ASSERT_GT(stay, 24);
    ASSERT_LT(stay, 48);
    // Far, one near picture of 1.6 s, far again: seen whole.
    const TCameraScene s = Recorded({{20, 20}, {600, 440}, {620, 450}, {30, 30}, {600, 20}});
    for (const TView& view : video::CameraTrack(s, 2))
        EXPECT_TRUE(IsWhole(s, view));
    // Two near pictures in a row, or one that shows long enough: in.
    for (const auto& shots :
         {std::vector<Shot>{{20, 20}, {600, 440}, {620, 450}, {610, 440}, {30, 30}, {600, 20}},
          std::vector<Shot>{{20, 20}, {600, 440, 48}, {620, 450}, {30, 30}, {600, 20}}}) {
        const TCameraScene t = Recorded(shots);
        const std::vector<TView> v = video::CameraTrack(t, 2);
        EXPECT_DOUBLE_EQ(Scale(t, v[25 + 24]), 2) << "at the second click";
        EXPECT_EQ(Zooms(v), 2) << "in and out once";
    }
}

TEST(CameraTrack, NearStepsArePansByWholeOutputPixelsAtTheLevelsOwnSize)
{
    // Each step near the one before, the third out of the first one's view.
    const TCameraScene s = Recorded({{100, 100}, {250, 200}, {400, 300}, {400, 300, 48}});
    const std::vector<TView> v = video::CameraTrack(s, 2);
    const int ease = video::CameraEaseFrames(15);
    int moved = 0;
    for (int f = 2 * ease + 1; f < s.frames - 2 * ease; ++f) {
        const TView &a = v[size_t(f) - 1], &b = v[size_t(f)];
        ASSERT_EQ(b.w, 320) << "zoomed out in frame " << f;
        ASSERT_EQ(b.h, 240) << f;
        EXPECT_EQ((b.x - a.x) * 2, std::round((b.x - a.x) * 2)) << f;
        EXPECT_EQ((b.y - a.y) * 2, std::round((b.y - a.y) * 2)) << f;
        moved += !(a == b);
    }
    EXPECT_GE(moved, ease - 2) << "the view pans";
    EXPECT_LE(moved, 2 * ease) << "one pan, not a drift";
}

TEST(CameraTrack, StaysOutOnTheWholeStageBetweenFarMovesInsteadOfPumping)
{
    // Far, far, far, then near steps: whole through the far moves, out just
    // far enough for the last one, and in where the pointer stays near.
    const TCameraScene s =
        Recorded({{20, 20}, {620, 460}, {20, 460}, {620, 20}, {600, 40}, {590, 50}, {580, 60}});
    const std::vector<TView> v = video::CameraTrack(s, 2);
    for (int f = 0; f < 40; ++f)
        EXPECT_TRUE(IsWhole(s, v[size_t(f)])) << f;
    EXPECT_NEAR(Scale(s, v[size_t(24 * 4 + 12)]), 2, 1e-3) << "in where the pointer stays near";
}

TEST(CameraTrack, ARunOfFarMovesIsOneEaseOutAndOneBackIn)
{
    // Near, three far moves, near again: in, out for the whole run, in, out
    // before the stop.
    const TCameraScene s = Recorded(
        {{100, 100}, {120, 110}, {130, 115}, {600, 440}, {30, 450}, {620, 30}, {600, 40}, {590, 50}});
    const std::vector<TView> v = video::CameraTrack(s, 2);
    EXPECT_EQ(Zooms(v), 4);
    EXPECT_NEAR(Scale(s, v[49]), 2, 1e-9) << "in at the click before the run";
    EXPECT_NEAR(Scale(s, v[24 * 6 + 12]), 2, 1e-9) << "in after the run";
    EXPECT_TRUE(IsWhole(s, v[24 * 4 + 12])) << "a run across most of the stage shows it whole";
    // The run ends on an excluded picture: straight out to the whole stage.
    const TCameraScene t = Recorded(
        {{100, 100}, {120, 110}, {130, 115}, {600, 440}, {30, 450, 24, false}, {40, 440, 48}});
    const std::vector<TView> u = video::CameraTrack(t, 2);
    EXPECT_EQ(Zooms(u), 4) << "in, out, and in and out for the last picture";
    for (int f = 48 + 10; f < 24 * 5; ++f)
        EXPECT_TRUE(IsWhole(t, u[size_t(f)])) << f;
}

TEST(CameraTrack, SettlesWhileThePointerRests)
{
    const TCameraScene s = Recorded({{200, 150, 60}, {200, 150, 60}, {200, 150, 60}});
    const std::vector<TView> v = video::CameraTrack(s, 2);
    const int ease = video::CameraEaseFrames(15);
    const TView settled = v[size_t(3 * ease)];
    EXPECT_DOUBLE_EQ(Scale(s, settled), 2);
    for (int f = 3 * ease; f < s.frames - 2 * ease; ++f)
        ASSERT_EQ(v[size_t(f)], settled) << "drifted in frame " << f;
}

TEST(CameraTrack, ExcludedAndShortPicturesAreNotZoomedIntoByThemselves)
{
    const int ease = video::CameraEaseFrames(15);
    {
        const TCameraScene s = Recorded({{100, 100}, {400, 300, 30, false}, {420, 310}, {400, 250}});
        const std::vector<TView> v = video::CameraTrack(s, 2);
        for (int f = 24; f < 54; ++f)
            EXPECT_TRUE(IsWhole(s, v[size_t(f)])) << "excluded picture zoomed in frame " << f;
        EXPECT_DOUBLE_EQ(Scale(s, v[size_t(54 + 2 * ease + 2)]), 2) << "zooms again after it";
    }
    {
        // Pictures shorter than an ease: the camera never goes in.
        std::vector<Shot> shots;
        for (int i = 0; i < 20; ++i)
            shots.push_back({double(40 * i % 600), double(30 * i % 400), ease - 1});
        const TCameraScene s = Recorded(shots);
        for (const TView& view : video::CameraTrack(s, 2))
            EXPECT_TRUE(IsWhole(s, view));
    }
    {
        // A short picture between zoomed ones: the camera stays in.
        const TCameraScene s = Recorded({{100, 100, 48}, {110, 105, 3}, {120, 110, 48}});
        const std::vector<TView> v = video::CameraTrack(s, 2);
        for (int f = 48; f < 51; ++f)
            EXPECT_DOUBLE_EQ(Scale(s, v[size_t(f)]), 2) << f;
    }
}

TEST(CameraTrack, AllowedLevelsScenesWithoutPointerAndEmptyScenes)
{
    const TCameraScene s = Recorded({{300, 200, 60}, {300, 200, 60}});
    auto deepest = [&](double level) {
        double most = 0;
        for (const TView& v : video::CameraTrack(s, level))
            most = std::max(most, Scale(s, v));
        return most;
    };
    EXPECT_NEAR(deepest(1.25), 1.25, 1e-3);
    EXPECT_NEAR(deepest(3), 3, 1e-3);
    EXPECT_NEAR(deepest(40), 4, 1e-3) << "held to the allowed range";
    EXPECT_NEAR(deepest(std::nan("")), 2, 1e-3);

    TCameraScene blind = s;
    blind.pointer.clear();
    for (const TView& v : video::CameraTrack(blind, 2))
        EXPECT_TRUE(IsWhole(blind, v));
    TCameraScene empty;
    EXPECT_TRUE(video::CameraTrack(empty, 2).empty());
}

} // namespace
