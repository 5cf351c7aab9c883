// The camera is planned in two steps. First a raw view per frame that holds
// everything the viewer must see around that frame: the pointer's tip over
// the frames within one ease of it, with a margin, and where the next action
// is near, the whole gesture of the picture. A run of far moves between near
// ones is one view out, large enough for all of them (the whole stage when
// that is most of it, or where the run ends on the stop or on a picture that
// is not zoomed). Near pictures in a row that show for less than two seconds
// between far moves count as far ones: going in and out for them costs more
// than it shows. Views hold while what must be seen stays inside and
// re-centre when it leaves, so near steps cost one pan now and then rather
// than a drift. Then the raw track is smoothed by two passes of a moving
// average of 3 and 5 frames (a trapezoid kernel), which turns every step of
// the raw track into an ease-in-out of 7 frames, about half a second at
// 15 fps.
//
// We smooth with a kernel rather than follow a critically damped spring: a
// spring lags behind its target, so a gliding pointer would leave the view
// for a few frames; a symmetric kernel starts each ease ahead of time. And a
// smoothed view is an average of raw views, each of which holds the pointer
// of every frame within the kernel's reach, so it holds that pointer too:
// the tip stays inside, away from the edges, by construction. Averages of
// views inside the stage, of the stage's aspect, stay inside and keep it.
//
// Moves cost a video its bytes: a change of zoom changes every pixel in a way
// no encoder predicts, so the plan makes few of them. A view at the zoom
// level has exactly the level's size and sits on whole pixels of the output,
// so a pan is an exact shift of the frame before, which motion search codes
// almost for free, and a settled view is the same value frame after frame.
#include "video/CameraTrack.h"

#include <algorithm>
#include <cmath>

#include "video/Timeline.h"

namespace video {

namespace {

struct TBox {
    double x0 = 0, y0 = 0, x1 = -1, y1 = -1;
    bool Empty() const { return x1 < x0 || y1 < y0; }
    double W() const { return x1 - x0; }
    double H() const { return y1 - y0; }
    void Add(const TBox& b)
    {
        if (b.Empty())
            return;
        if (Empty()) {
            *this = b;
            return;
        }
        x0 = std::min(x0, b.x0);
        y0 = std::min(y0, b.y0);
        x1 = std::max(x1, b.x1);
        y1 = std::max(y1, b.y1);
    }
};

// Box filter of half-width r, the ends held.
std::vector<double> Average(const std::vector<double>& v, int r)
{
    const int n = int(v.size());
    std::vector<double> out(v.size());
    double sum = 0;
    auto at = [&](int i) { return v[size_t(std::clamp(i, 0, n - 1))]; };
    for (int i = -r; i <= r; ++i)
        sum += at(i);
    for (int i = 0; i < n; ++i) {
        out[size_t(i)] = sum / (2 * r + 1);
        sum += at(i + r + 1) - at(i - r);
    }
    return out;
}

// Views between the level and the whole stage on a grid of 1/256 pixel: the
// whole stage is exactly the stage.
double Snap(double v)
{
    return std::round(v * 256) / 256;
}

} // namespace

namespace {

// Frames the smoothing mixes on either side of a frame: an ease takes
// twice that and one more, 7 frames (0.47 s) at 15 frames per second.
int EaseReach(int rate)
{
    return std::max(1, int(std::lround(std::max(rate, 1) * 0.225)));
}

} // namespace

int CameraEaseFrames(int rate)
{
    return 2 * EaseReach(rate) + 1;
}

std::vector<TView> CameraTrack(const TCameraScene& scene, double level)
{
    const int32_t n = scene.frames;
    if (n <= 0)
        return {};
    const double W = scene.width, H = scene.height;
    const TView whole{0, 0, W, H};
    level = std::clamp(std::isfinite(level) ? level : kDefaultZoomLevel, kMinZoomLevel,
                       kMaxZoomLevel);
    const int ease = CameraEaseFrames(scene.rate);
    const int reach = EaseReach(scene.rate);
    // The two averaging passes: a trapezoid kernel as fast at its steepest
    // as a triangle of two equal passes, but a shorter ease.
    const int r1 = reach / 2, r2 = reach - r1;
    const double zw = W / level, zh = H / level;
    // A pixel of the output at the level, in stage pixels.
    const double pixel = 1 / level;
    auto OnPixel = [&](double v, double most) {
        const double snapped = std::round(v / pixel) * pixel;
        return snapped > most ? most : std::max(0.0, snapped);
    };
    // The margin and a pixel more: putting a view on whole output pixels
    // moves it by up to half of one.
    const double mx = kCameraMargin * zw + pixel, my = kCameraMargin * zh + pixel;

    // The tip held inside the stage: a pointer recorded outside is followed
    // to the stage's edge (the arrow itself stays where it was recorded).
    std::vector<std::optional<TPoint>> tip(static_cast<size_t>(n));
    for (int32_t f = 0; f < n && size_t(f) < scene.pointer.size(); ++f)
        if (const auto& p = scene.pointer[size_t(f)])
            tip[size_t(f)] = TPoint{std::clamp(p->x, 0.0, W), std::clamp(p->y, 0.0, H)};
    auto around = [&](const TPoint& p) {
        return TBox{std::max(0.0, p.x - mx), std::max(0.0, p.y - my), std::min(W, p.x + mx),
                    std::min(H, p.y + my)};
    };
    auto tips = [&](int32_t from, int32_t to) { // frames [from, to], with margins
        TBox b;
        for (int32_t f = std::max(from, 0); f <= std::min(to, n - 1); ++f)
            if (tip[size_t(f)])
                b.Add(around(*tip[size_t(f)]));
        return b;
    };
    auto fits = [&](const TBox& b) { return b.W() <= zw + 1e-9 && b.H() <= zh + 1e-9; };

    // Which picture each frame shows: the latest to start.
    std::vector<size_t> order(scene.shots.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return scene.shots[a].start < scene.shots[b].start;
    });
    std::vector<int> owner(size_t(n), -1);
    for (size_t i : order) {
        const TShot& s = scene.shots[i];
        for (int32_t f = std::max(s.start, 0); f < std::min(s.end, n); ++f)
            owner[size_t(f)] = int(i);
    }

    // Zoomed or whole, frame by frame. A picture shorter than an ease is not
    // zoomed into by itself: the camera keeps what it did.
    std::vector<char> zoomed(size_t(n), 0);
    bool state = false;
    int last = -1;
    std::vector<char> shotZoomed(scene.shots.size(), 0);
    for (int32_t f = 0; f < n; ++f) {
        const int o = owner[size_t(f)];
        if (o != last && o >= 0) {
            const TShot& s = scene.shots[size_t(o)];
            const bool was = state;
            if (!s.zoom)
                state = false;
            else if (s.end - s.start >= ease)
                state = true;
            shotZoomed[size_t(o)] = state;
            if (!was && state) {
                // A new picture is seen whole first, then the camera eases in.
                for (int32_t g = f; g < std::min(n, f + ease); ++g)
                    zoomed[size_t(g)] = 0;
                f = std::min(n, f + ease) - 1;
                last = o;
                continue;
            }
            if (was && !state) // whole already when the picture appears
                for (int32_t g = std::max(0, f - reach); g < f; ++g)
                    zoomed[size_t(g)] = 0;
        }
        last = o;
        zoomed[size_t(f)] = state && tip[size_t(f)];
    }
    for (int32_t f = std::max(0, n - 1 - reach); f < n; ++f)
        zoomed[size_t(f)] = 0; // the stop frame shows the whole stage

    // The gesture of each picture: where its pointer goes while it shows.
    std::vector<TBox> gesture(scene.shots.size());
    for (size_t i = 0; i < scene.shots.size(); ++i)
        gesture[i] = tips(scene.shots[i].start, scene.shots[i].end);

    // The pictures in the order they show.
    std::vector<int> seq;
    std::vector<int32_t> segStart;
    std::vector<int> segOf(static_cast<size_t>(n));
    for (int32_t f = 0; f < n; ++f) {
        if (f == 0 || owner[size_t(f)] != owner[size_t(f) - 1]) {
            seq.push_back(owner[size_t(f)]);
            segStart.push_back(f);
        }
        segOf[size_t(f)] = int(seq.size()) - 1;
    }
    const int segs = int(seq.size());
    auto segEnd = [&](int i) { return i + 1 < segs ? segStart[size_t(i) + 1] : n; };

    // A picture whose pointer stays near where it starts keeps the camera in,
    // if the pictures near one another in a row show long enough: going in
    // and out costs two eases that change every pixel, which a stay of a
    // moment between far moves does not repay.
    auto near = [&](int o) {
        return o >= 0 && shotZoomed[size_t(o)] && fits(gesture[size_t(o)]);
    };
    std::vector<char> brief(scene.shots.size(), 0);
    for (int i = 0; i < segs;) {
        int j = i;
        while (j < segs && near(seq[size_t(j)]))
            ++j;
        if (j > i && segEnd(j - 1) - segStart[size_t(i)] < kCameraMinStay * scene.rate)
            for (int k = i; k < j; ++k)
                brief[size_t(seq[size_t(k)])] = 1;
        i = std::max(j, i + 1);
    }
    auto staysIn = [&](int o) { return near(o) && !brief[size_t(o)]; };
    auto goesFar = [&](int o) {
        return o >= 0 && shotZoomed[size_t(o)] && (!fits(gesture[size_t(o)]) || brief[size_t(o)]);
    };

    // The runs of far moves: a run is one move of the camera out and one
    // back in.
    std::vector<int> runFirst(static_cast<size_t>(segs)), runLast(static_cast<size_t>(segs));
    std::vector<TBox> runBox(static_cast<size_t>(segs));
    for (int i = 0; i < segs; ++i)
        runFirst[size_t(i)] = i > 0 && goesFar(seq[size_t(i)]) && goesFar(seq[size_t(i) - 1])
                                  ? runFirst[size_t(i) - 1]
                                  : i;
    for (int i = segs - 1; i >= 0; --i)
        runLast[size_t(i)] = i + 1 < segs && goesFar(seq[size_t(i)]) && goesFar(seq[size_t(i) + 1])
                                 ? runLast[size_t(i) + 1]
                                 : i;
    for (int i = 0; i < segs; ++i)
        if (goesFar(seq[size_t(i)]))
            runBox[size_t(runFirst[size_t(i)])].Add(gesture[size_t(seq[size_t(i)])]);

    std::vector<TView> raw(size_t(n), whole);
    bool inZoom = false;
    TView prev = whole;
    for (int32_t f = 0; f < n; ++f) {
        if (!zoomed[size_t(f)]) {
            inZoom = false;
            prev = whole;
            continue;
        }
        TBox need = tips(f - reach, f + reach);
        const int o = owner[size_t(f)];
        if (staysIn(o)) {
            need.Add(gesture[size_t(o)]); // near: the view takes in the whole step
        } else if (goesFar(o)) {
            // Far: in at the click where the pointer stayed near before, out
            // far enough to show every end of the run of far moves, and back
            // in where it stays near after. Where either side is not zoomed
            // (or is the stop), the run is shown on the whole stage: one ease
            // from the level to it instead of two.
            const int i = segOf[size_t(f)], a = runFirst[size_t(i)], b = runLast[size_t(i)];
            const bool before = a > 0 && staysIn(seq[size_t(a) - 1]);
            const bool after = b + 1 < segs && staysIn(seq[size_t(b) + 1]);
            const bool early = i == a && f < segStart[size_t(a)] + reach + 2;
            const bool late = i == b && f >= segEnd(b) - reach - 1;
            if (!(early && before) && !(late && after)) {
                if (!before || !after) {
                    inZoom = false;
                    prev = whole;
                    continue;
                }
                need.Add(runBox[size_t(a)]);
            }
        }
        TView v;
        if (fits(need)) {
            v.w = zw;
            v.h = zh;
        } else {
            v.w = std::min(W, std::max(need.W(), need.H() * W / H));
            // Nearly the whole stage looks the same to the viewer, and the
            // whole stage's frames are the ones a plain video has.
            if (v.w > 0.8 * W)
                v.w = W;
            v.h = v.w * H / W;
        }
        if (inZoom && prev.w == v.w && prev.h == v.h && need.x0 >= prev.x &&
            need.x1 <= prev.x + prev.w && need.y0 >= prev.y && need.y1 <= prev.y + prev.h) {
            // Holds while what must be seen is in view. Once it is not, the
            // view centres on it: one pan instead of a drift of a pixel or
            // two a picture, which would change every frame of the video.
            v.x = prev.x;
            v.y = prev.y;
        } else {
            v.x = (need.x0 + need.x1 - v.w) / 2;
            v.y = (need.y0 + need.y1 - v.h) / 2;
        }
        v.x = std::clamp(v.x, 0.0, W - v.w);
        v.y = std::clamp(v.y, 0.0, H - v.h);
        raw[size_t(f)] = v;
        prev = v;
        inZoom = true;
    }

    const size_t count = static_cast<size_t>(n);
    std::vector<double> x0(count), y0(count), x1(count), y1(count);
    for (size_t f = 0; f < size_t(n); ++f) {
        x0[f] = raw[f].x;
        y0[f] = raw[f].y;
        x1[f] = raw[f].x + raw[f].w;
        y1[f] = raw[f].y + raw[f].h;
    }
    for (auto* edge : {&x0, &y0, &x1, &y1})
        *edge = Average(Average(*edge, r1), r2);
    std::vector<TView> views(count);
    for (size_t f = 0; f < size_t(n); ++f) {
        if (std::abs(x1[f] - x0[f] - zw) <= 1e-6 * W) {
            // At the level: the level's own size, on whole pixels of the
            // output. A pan is then an exact shift of the frame before, which
            // the encoder predicts almost for free, and a settled view the
            // very same value frame after frame.
            views[f] = {OnPixel(x0[f], W - zw), OnPixel(y0[f], H - zh), zw, zh};
            continue;
        }
        const double a = std::clamp(Snap(x0[f]), 0.0, W), b = std::clamp(Snap(y0[f]), 0.0, H);
        const double c = std::clamp(Snap(x1[f]), a, W), d = std::clamp(Snap(y1[f]), b, H);
        views[f] = {a, b, c - a, d - b};
    }
    return views;
}

std::vector<std::optional<TPoint>> PointerPath(const TTimeline& t, int32_t frames)
{
    std::vector<std::optional<TPoint>> path(size_t(std::max(frames, 0)));
    for (const TPlacement& p : t.placements) {
        const auto* poly = std::get_if<TPolygonDef>(p.def.get());
        if (!poly)
            continue;
        const TPoint tip{(double(poly->x) + p.tx) / 20, (double(poly->y) + p.ty) / 20};
        for (int32_t f = std::max(p.frame, 0); f < std::min(p.end, frames); ++f)
            path[size_t(f)] = tip;
    }
    return path;
}

} // namespace video
