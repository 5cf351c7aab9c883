#include "video/Renderer.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <stdexcept>

#include <turbojpeg.h>

#include "swf/Media.h"
#include "video/Face.h"

namespace video {

namespace {

constexpr double kOutlinePixels = 1.0; // the writer's 20-twip outline

void SetColor(cairo_t* cr, const TRgba& c)
{
    cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
}

void PolygonPath(cairo_t* cr, const TPolygonDef& p, double tx, double ty)
{
    double x = (p.x + tx) / 20.0, y = (p.y + ty) / 20.0;
    cairo_move_to(cr, x, y);
    for (auto [dx, dy] : p.edges) {
        x += dx / 20.0;
        y += dy / 20.0;
        cairo_line_to(cr, x, y);
    }
    cairo_close_path(cr);
}

// Lays the text out as the writer's text record does: advances rounded to
// twips, a new line per '\n', control characters left out.
void TextPath(cairo_t* cr, const TTextDef& t, double tx, double ty)
{
    const TFace& face = *t.face;
    const double scale = t.height / kEmSquare; // twips per em unit
    const int32_t lineHeight =
        int32_t(std::lround((face.Ascent() + face.Descent() + face.Leading()) * scale));
    double ox = std::nearbyint(t.x) + tx;
    double oy = std::nearbyint(t.y + face.Ascent() * scale) + ty;
    int32_t x = 0, y = 0;
    for (char32_t c : t.text) {
        if (c == '\n') {
            x = 0;
            y += lineHeight;
            continue;
        }
        if (c < 0x20 || c > 0xFFFF)
            continue;
        cairo_new_sub_path(cr);
        int32_t adv = face.AppendGlyph(cr, c, (ox + x) / 20.0, (oy + y) / 20.0, scale / 20.0);
        x += int32_t(std::lround(adv * scale));
    }
}

} // namespace

TRect TRect::United(const TRect& o) const
{
    if (Empty())
        return o;
    if (o.Empty())
        return *this;
    int x1 = std::min(x, o.x), y1 = std::min(y, o.y);
    int x2 = std::max(x + w, o.x + o.w), y2 = std::max(y + h, o.y + o.h);
    return {x1, y1, x2 - x1, y2 - y1};
}

TRect TRect::Intersected(const TRect& o) const
{
    int x1 = std::max(x, o.x), y1 = std::max(y, o.y);
    int x2 = std::min(x + w, o.x + o.w), y2 = std::min(y + h, o.y + o.h);
    if (x2 <= x1 || y2 <= y1)
        return {};
    return {x1, y1, x2 - x1, y2 - y1};
}

TRenderer::TRenderer(const TTimeline& timeline, int padWidth, int padHeight)
    : T(timeline), W(timeline.PixelWidth() + padWidth), H(timeline.PixelHeight() + padHeight)
{
    Canvas = cairo_image_surface_create(CAIRO_FORMAT_RGB24, W, H);
    if (cairo_surface_status(Canvas) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("Cannot make a " + std::to_string(W) + " x " + std::to_string(H) +
                                 " picture for the movie");
    int32_t frames = std::max(T.lastFrame + 1, 1);
    Starts.resize(size_t(frames) + 1);
    Ends.resize(size_t(frames) + 1);
    for (size_t i = 0; i < T.placements.size(); ++i) {
        const TPlacement& p = T.placements[i];
        if (p.end <= p.frame || p.frame >= frames)
            continue;
        Starts[size_t(p.frame)].push_back(i);
        if (p.end < frames)
            Ends[size_t(p.end)].push_back(i);
    }
}

TRenderer::~TRenderer()
{
    for (auto& [s, surface] : Decoded)
        cairo_surface_destroy(surface);
    cairo_surface_destroy(Canvas);
}

const uint8_t* TRenderer::Pixels() const
{
    return cairo_image_surface_get_data(Canvas);
}

int TRenderer::Stride() const
{
    return cairo_image_surface_get_stride(Canvas);
}

cairo_surface_t* TRenderer::Picture(const TJpegSource& source)
{
    auto it = Decoded.find(&source);
    if (it != Decoded.end())
        return it->second;
    cairo_surface_t* s =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, source.width, source.height);
    cairo_surface_flush(s);
    // Checked when the movie was made; a file gone since shows black.
    swf::Bytes bytes;
    try {
        bytes = swf::ReadFileBytes(source.path);
    } catch (const std::exception&) {
    }
    tjhandle tj = tjInitDecompress();
    int rc = tj ? tjDecompress2(tj, bytes.data(), bytes.size(), cairo_image_surface_get_data(s),
                                source.width, cairo_image_surface_get_stride(s), source.height,
                                TJPF_BGRX, 0)
                : -1;
    if (tj)
        tjDestroy(tj);
    if (rc != 0 && !tj)
        throw std::runtime_error("Cannot start the JPEG decoder");
    cairo_surface_mark_dirty(s);
    Decoded[&source] = s;
    return s;
}

TRect TRenderer::Bounds(size_t index)
{
    auto it = BoundsCache.find(index);
    if (it != BoundsCache.end())
        return it->second;
    const TPlacement& p = T.placements[index];
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    if (auto* pic = std::get_if<TPictureDef>(p.def.get())) {
        x1 = (double(pic->x) + p.tx) / 20;
        y1 = (double(pic->y) + p.ty) / 20;
        x2 = x1 + pic->width / 20.0;
        y2 = y1 + pic->height / 20.0;
    } else {
        cairo_t* cr = cairo_create(Canvas);
        if (auto* poly = std::get_if<TPolygonDef>(p.def.get()))
            PolygonPath(cr, *poly, p.tx, p.ty);
        else if (auto* text = std::get_if<TTextDef>(p.def.get()))
            TextPath(cr, *text, p.tx, p.ty);
        cairo_path_extents(cr, &x1, &y1, &x2, &y2);
        cairo_destroy(cr);
        // Room for the outline and the anti-aliased edge.
        x1 -= kOutlinePixels + 1;
        y1 -= kOutlinePixels + 1;
        x2 += kOutlinePixels + 1;
        y2 += kOutlinePixels + 1;
    }
    auto clampInt = [](double v) { return int(std::clamp(v, -1e8, 1e8)); };
    int ix = clampInt(std::floor(x1)), iy = clampInt(std::floor(y1));
    TRect r{ix, iy, clampInt(std::ceil(x2)) - ix, clampInt(std::ceil(y2)) - iy};
    BoundsCache[index] = r;
    return r;
}

bool TRenderer::IsCursor(size_t index) const
{
    // The export's only outline shape is the arrow; it keeps its size.
    return std::holds_alternative<TPolygonDef>(*T.placements[index].def);
}

TView TRenderer::ViewAt(int32_t frame) const
{
    const std::vector<TView>& v = T.focus.views;
    if (v.empty())
        return {0, 0, double(T.PixelWidth()), double(T.PixelHeight())};
    return v[size_t(std::clamp<int64_t>(frame, 0, int64_t(v.size()) - 1))];
}

namespace {

bool IsWhole(const TView& v, const TTimeline& t)
{
    return v.x == 0 && v.y == 0 && v.w == t.PixelWidth() && v.h == t.PixelHeight();
}

struct TViewMap {
    double sx = 1, sy = 1, x = 0, y = 0;
    TViewMap(const TView& v, const TTimeline& t)
        : sx(t.PixelWidth() / v.w), sy(t.PixelHeight() / v.h), x(v.x), y(v.y)
    {
    }
    double X(double stageX) const { return (stageX - x) * sx; }
    double Y(double stageY) const { return (stageY - y) * sy; }
};

// The arrow's offset on the canvas: its tip on the point the view puts the
// tip, on whole pixels so it stays as sharp as in the whole stage.
std::pair<double, double> CursorShift(const TPlacement& p, const TViewMap& m)
{
    const auto& poly = std::get<TPolygonDef>(*p.def);
    const double tx = (double(poly.x) + p.tx) / 20, ty = (double(poly.y) + p.ty) / 20;
    return {std::round(m.X(tx)) - tx, std::round(m.Y(ty)) - ty};
}

// A ring lasts about half a second and grows to a size that reads at the
// video's size, whatever the zoom.
int RingFrames(int rate)
{
    return std::max(2, int(std::lround(rate * 0.5)));
}
double RingRadius(const TTimeline& t)
{
    return std::max(18.0, 0.045 * std::min(t.PixelWidth(), t.PixelHeight()));
}
constexpr double kRingLine = 3.0;

// Calls f(ring, t) for each ring shown in the frame, t its age from 0 to 1.
template <class F>
void ForRingsShown(const TTimeline& T, int32_t frame, F f)
{
    const int32_t frames = RingFrames(T.rate);
    for (const TClickRing& ring : T.focus.rings) {
        if (ring.frame > frame)
            break;
        if (frame < ring.frame + frames)
            f(ring, double(frame - ring.frame) / frames);
    }
}

} // namespace

TRect TRenderer::OnCanvas(size_t index, const TView& view)
{
    const TRect b = Bounds(index);
    TRect r = b;
    if (!IsWhole(view, T)) {
        const TViewMap m(view, T);
        if (IsCursor(index)) {
            auto [dx, dy] = CursorShift(T.placements[index], m);
            r = {b.x + int(dx), b.y + int(dy), b.w, b.h};
        } else {
            // A pixel more each way for the smoothing filter.
            const int x1 = int(std::floor(std::clamp(m.X(b.x), -1e8, 1e8))) - 1;
            const int y1 = int(std::floor(std::clamp(m.Y(b.y), -1e8, 1e8))) - 1;
            const int x2 = int(std::ceil(std::clamp(m.X(b.x + b.w), -1e8, 1e8))) + 1;
            const int y2 = int(std::ceil(std::clamp(m.Y(b.y + b.h), -1e8, 1e8))) + 1;
            r = {x1, y1, x2 - x1, y2 - y1};
        }
    }
    return r.Intersected({0, 0, W, H});
}

TRect TRenderer::RingBounds(int32_t frame, const TView& view) const
{
    TRect r;
    const double reach = RingRadius(T) + kRingLine + 2;
    const TViewMap m(view, T);
    ForRingsShown(T, frame, [&](const TClickRing& ring, double) {
        const double cx = std::clamp(m.X(ring.x), -1e8, 1e8), cy = std::clamp(m.Y(ring.y), -1e8, 1e8);
        const int x1 = int(std::floor(cx - reach)), y1 = int(std::floor(cy - reach));
        r = r.United({x1, y1, int(std::ceil(cx + reach)) - x1, int(std::ceil(cy + reach)) - y1});
    });
    return r.Intersected({0, 0, W, H});
}

void TRenderer::DrawRings(cairo_t* cr, int32_t frame, const TView& view) const
{
    const double radius = RingRadius(T);
    const TViewMap m(view, T);
    ForRingsShown(T, frame, [&](const TClickRing& ring, double t) {
        // Grows fast, then slows, while it fades out.
        const double grown = 1 - (1 - t) * (1 - t);
        const double r = radius * (0.25 + 0.75 * grown), alpha = 1 - t;
        cairo_new_path(cr);
        cairo_arc(cr, m.X(ring.x), m.Y(ring.y), r, 0, 2 * M_PI);
        // A light halo under the colour, so the ring reads on dark and light.
        cairo_set_line_width(cr, kRingLine + 2);
        cairo_set_source_rgba(cr, 1, 1, 1, alpha * 0.8);
        cairo_stroke_preserve(cr);
        cairo_set_line_width(cr, kRingLine);
        cairo_set_source_rgba(cr, 0.95, 0.35, 0.05, alpha);
        cairo_stroke(cr);
    });
}

void TRenderer::Draw(cairo_t* cr, size_t index, bool smooth)
{
    const TPlacement& p = T.placements[index];
    cairo_save(cr);
    if (auto* pic = std::get_if<TPictureDef>(p.def.get())) {
        const TJpegSource& src = *pic->image;
        cairo_translate(cr, (double(pic->x) + p.tx) / 20, (double(pic->y) + p.ty) / 20);
        double sx = pic->width / 20.0 / src.width, sy = pic->height / 20.0 / src.height;
        cairo_rectangle(cr, 0, 0, pic->width / 20.0, pic->height / 20.0);
        cairo_scale(cr, sx, sy);
        cairo_set_source_surface(cr, Picture(src), 0, 0);
        // Shown at its own size a picture keeps its pixels; scaled, it is smoothed.
        cairo_pattern_t* pat = cairo_get_source(cr);
        cairo_pattern_set_extend(pat, CAIRO_EXTEND_PAD);
        cairo_pattern_set_filter(pat, sx == 1.0 && sy == 1.0 && !smooth ? CAIRO_FILTER_NEAREST
                                                                        : CAIRO_FILTER_BILINEAR);
        cairo_fill(cr);
    } else if (auto* poly = std::get_if<TPolygonDef>(p.def.get())) {
        PolygonPath(cr, *poly, p.tx, p.ty);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
        SetColor(cr, poly->fill.value_or(TRgba{0, 0, 0, 255}));
        if (poly->fill) {
            cairo_fill(cr);
        } else {
            cairo_fill_preserve(cr);
            cairo_set_line_width(cr, kOutlinePixels);
            cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
            cairo_set_source_rgb(cr, 1, 1, 1);
            cairo_stroke(cr);
        }
    } else if (auto* text = std::get_if<TTextDef>(p.def.get())) {
        TextPath(cr, *text, p.tx, p.ty);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
        SetColor(cr, text->color);
        cairo_fill(cr);
    }
    cairo_restore(cr);
}

TRect TRenderer::Render(int32_t frame)
{
    const int32_t frames = int32_t(Starts.size()) - 1;
    const int32_t at = std::clamp(frame, 0, frames - 1);
    std::vector<size_t> next;
    if (Current >= 0 && at == Current + 1) {
        std::set<size_t> gone(Ends[size_t(at)].begin(), Ends[size_t(at)].end());
        std::vector<size_t> kept;
        for (size_t i : Shown)
            if (!gone.count(i))
                kept.push_back(i);
        // Stacking follows the calls, not the frames: a placement starting
        // now may have been made before the ones already shown.
        const std::vector<size_t>& starting = Starts[size_t(at)];
        next.reserve(kept.size() + starting.size());
        std::merge(kept.begin(), kept.end(), starting.begin(), starting.end(),
                   std::back_inserter(next));
    } else if (at != Current) {
        for (size_t i = 0; i < T.placements.size(); ++i) {
            const TPlacement& p = T.placements[i];
            if (p.frame <= at && at < p.end)
                next.push_back(i);
        }
    } else {
        return {};
    }
    const TView view = ViewAt(at);
    const bool whole = IsWhole(view, T);
    TRect dirty;
    if (Current < 0 || !(view == ViewAt(Current))) {
        dirty = {0, 0, W, H}; // the view moved: every pixel moved with it
    } else {
        std::vector<size_t> changed;
        std::set_symmetric_difference(Shown.begin(), Shown.end(), next.begin(), next.end(),
                                      std::back_inserter(changed));
        for (size_t i : changed)
            dirty = dirty.United(OnCanvas(i, view));
        if (!T.focus.rings.empty())
            dirty = dirty.United(RingBounds(Current, view)).United(RingBounds(at, view));
    }
    for (size_t i : Shown)
        if (!std::binary_search(next.begin(), next.end(), i))
            BoundsCache.erase(i);
    Current = at;
    Shown = std::move(next);
    if (dirty.Empty())
        return {};

    cairo_t* cr = cairo_create(Canvas);
    cairo_rectangle(cr, dirty.x, dirty.y, dirty.w, dirty.h);
    cairo_clip(cr);
    SetColor(cr, T.background);
    cairo_paint(cr);
    // Only the stage shows pictures; padding keeps the background.
    cairo_rectangle(cr, 0, 0, T.PixelWidth(), T.PixelHeight());
    cairo_clip(cr);
    std::set<const TJpegSource*> used;
    for (size_t i : Shown)
        if (auto* pic = std::get_if<TPictureDef>(T.placements[i].def.get()))
            used.insert(pic->image.get());
    if (whole && T.focus.rings.empty()) {
        for (size_t i : Shown)
            if (!OnCanvas(i, view).Intersected(dirty).Empty())
                Draw(cr, i);
    } else {
        // The stage through the view, then the rings, then the arrow at its
        // own size on the point the view puts its tip.
        const TViewMap m(view, T);
        cairo_save(cr);
        cairo_scale(cr, m.sx, m.sy);
        cairo_translate(cr, -m.x, -m.y);
        for (size_t i : Shown)
            if (!IsCursor(i) && !OnCanvas(i, view).Intersected(dirty).Empty())
                Draw(cr, i, !whole);
        cairo_restore(cr);
        DrawRings(cr, at, view);
        for (size_t i : Shown) {
            if (!IsCursor(i) || OnCanvas(i, view).Intersected(dirty).Empty())
                continue;
            auto [dx, dy] = whole ? std::pair<double, double>{0, 0}
                                  : CursorShift(T.placements[i], m);
            cairo_save(cr);
            cairo_translate(cr, dx, dy);
            Draw(cr, i);
            cairo_restore(cr);
        }
    }
    cairo_destroy(cr);
    cairo_surface_flush(Canvas);
    // Decoded pictures no placement shows any more are let go.
    for (auto it = Decoded.begin(); it != Decoded.end();)
        if (!used.count(it->first)) {
            cairo_surface_destroy(it->second);
            it = Decoded.erase(it);
        } else {
            ++it;
        }
    return dirty;
}

} // namespace video
