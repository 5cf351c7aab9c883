#include "swf/Font.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

namespace swf {

struct FontFace::Impl {
    FT_Library lib = nullptr;
    FT_Face face = nullptr;
    ~Impl() {
        if (face) FT_Done_Face(face);
        if (lib) FT_Done_FreeType(lib);
    }
};

namespace {

struct Match {
    std::string file;
    int index = 0;
};

Match FindWithFontconfig(const std::string& name) {
    static std::mutex fcMutex;  // fontconfig's default config is shared
    std::lock_guard<std::mutex> lock(fcMutex);
    if (!FcInit()) return {};
    Match result;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(name.c_str()));
    if (!pattern) pattern = FcPatternCreate();
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult res;
    FcPattern* match = FcFontMatch(nullptr, pattern, &res);
    if (match) {
        FcChar8* file = nullptr;
        int index = 0;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) result.file = reinterpret_cast<const char*>(file);
        if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) result.index = index;
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return result;
}

// Collects an outline as SWF shape records: y flipped to point down, cubic
// segments split into two quadratic ones (close enough at text sizes).
struct OutlineSink {
    ShapeRecords* rec;
    int fillSide;  // 0 or 1: the side the ink lies on after the flip
    double scale;  // 26.6 units to em units
    int32_t x = 0, y = 0;
    bool started = false;
    Rect bounds{INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN};

    int32_t X(const FT_Vector* v) const { return static_cast<int32_t>(std::lround(v->x * scale)); }
    int32_t Y(const FT_Vector* v) const { return static_cast<int32_t>(std::lround(-v->y * scale)); }
    void Grow(int32_t px, int32_t py) {
        bounds.xmin = std::min(bounds.xmin, px);
        bounds.xmax = std::max(bounds.xmax, px);
        bounds.ymin = std::min(bounds.ymin, py);
        bounds.ymax = std::max(bounds.ymax, py);
    }
    void LineTo(int32_t nx, int32_t ny) {
        if (nx == x && ny == y) return;
        rec->Line(nx - x, ny - y);
        x = nx;
        y = ny;
        Grow(x, y);
    }
    void QuadTo(int32_t cx, int32_t cy, int32_t nx, int32_t ny) {
        if ((cx == x && cy == y) || (cx == nx && cy == ny)) return LineTo(nx, ny);
        rec->Curve(cx - x, cy - y, nx - cx, ny - cy);
        x = nx;
        y = ny;
        Grow(cx, cy);
        Grow(x, y);
    }
};

int MoveTo(const FT_Vector* to, void* user) {
    auto* s = static_cast<OutlineSink*>(user);
    s->x = s->X(to);
    s->y = s->Y(to);
    s->rec->StyleChange(true, s->x, s->y, s->started ? -1 : (s->fillSide == 0 ? 1 : 0),
                        s->started ? -1 : (s->fillSide == 1 ? 1 : 0), -1);
    s->started = true;
    s->Grow(s->x, s->y);
    return 0;
}
int LineTo(const FT_Vector* to, void* user) {
    auto* s = static_cast<OutlineSink*>(user);
    s->LineTo(s->X(to), s->Y(to));
    return 0;
}
int ConicTo(const FT_Vector* c, const FT_Vector* to, void* user) {
    auto* s = static_cast<OutlineSink*>(user);
    s->QuadTo(s->X(c), s->Y(c), s->X(to), s->Y(to));
    return 0;
}
int CubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    auto* s = static_cast<OutlineSink*>(user);
    double x0 = s->x, y0 = s->y;
    double x1 = c1->x * s->scale, y1 = -c1->y * s->scale;
    double x2 = c2->x * s->scale, y2 = -c2->y * s->scale;
    double x3 = to->x * s->scale, y3 = -to->y * s->scale;
    // Split at t = 0.5; each half becomes one quadratic whose control point
    // is (3 (c1 + c2) - start - end) / 4 of that half.
    double mx = (x0 + 3 * x1 + 3 * x2 + x3) / 8, my = (y0 + 3 * y1 + 3 * y2 + y3) / 8;
    double ca_x = (3 * ((x0 + x1) / 2 + (x0 + 2 * x1 + x2) / 4) - x0 - mx) / 4;
    double ca_y = (3 * ((y0 + y1) / 2 + (y0 + 2 * y1 + y2) / 4) - y0 - my) / 4;
    double cb_x = (3 * ((x1 + 2 * x2 + x3) / 4 + (x2 + x3) / 2) - mx - x3) / 4;
    double cb_y = (3 * ((y1 + 2 * y2 + y3) / 4 + (y2 + y3) / 2) - my - y3) / 4;
    s->QuadTo(static_cast<int32_t>(std::lround(ca_x)), static_cast<int32_t>(std::lround(ca_y)),
              static_cast<int32_t>(std::lround(mx)), static_cast<int32_t>(std::lround(my)));
    s->QuadTo(static_cast<int32_t>(std::lround(cb_x)), static_cast<int32_t>(std::lround(cb_y)),
              static_cast<int32_t>(std::lround(x3)), static_cast<int32_t>(std::lround(y3)));
    return 0;
}

}  // namespace

std::shared_ptr<FontFace> FontFace::Find(const std::string& name) {
    std::shared_ptr<FontFace> f(new FontFace);
    f->impl_ = std::make_unique<Impl>();
    if (FT_Init_FreeType(&f->impl_->lib)) throw std::runtime_error("Cannot start FreeType");
    for (const std::string& candidate : {name, std::string("sans-serif")}) {
        Match m = FindWithFontconfig(candidate);
        if (m.file.empty()) continue;
        if (FT_New_Face(f->impl_->lib, m.file.c_str(), m.index, &f->impl_->face) == 0 &&
            FT_IS_SCALABLE(f->impl_->face)) {
            f->file_ = m.file;
            break;
        }
        if (f->impl_->face) FT_Done_Face(f->impl_->face);
        f->impl_->face = nullptr;
    }
    if (!f->impl_->face)
        throw std::runtime_error("No installed font can stand in for \"" + name + "\"");
    FT_Face face = f->impl_->face;
    f->family_ = face->family_name ? face->family_name : name;
    f->bold_ = face->style_flags & FT_STYLE_FLAG_BOLD;
    f->italic_ = face->style_flags & FT_STYLE_FLAG_ITALIC;
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    double units = face->units_per_EM ? face->units_per_EM : 1000;
    f->ascent_ = static_cast<int>(std::lround(face->ascender * kEmSquare / units));
    f->descent_ = static_cast<int>(std::lround(-face->descender * kEmSquare / units));
    f->leading_ = std::max(0, static_cast<int>(std::lround(face->height * kEmSquare / units)) -
                                  f->ascent_ - f->descent_);
    return f;
}

FontFace::~FontFace() = default;

GlyphShape FontFace::Glyph(uint32_t code) const {
    std::lock_guard<std::mutex> lock(mutex_);
    FT_Face face = impl_->face;
    GlyphShape g;
    g.code = code;
    FT_UInt index = FT_Get_Char_Index(face, code);
    double units = face->units_per_EM ? face->units_per_EM : 1000;
    ByteWriter w;
    w.UB(1, 4);  // one fill style
    w.UB(0, 4);  // no line styles
    ShapeRecords rec(w, 1, 0);
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0 &&
        face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
        FT_Outline* outline = &face->glyph->outline;
        OutlineSink sink;
        sink.rec = &rec;
        // Glyphs carry their fill as fill style 0, on the left of each edge.
        // TrueType outer contours run clockwise with y up, which puts the ink
        // on the left after the flip; PostScript outlines are turned round.
        if (FT_Outline_Get_Orientation(outline) == FT_ORIENTATION_POSTSCRIPT) FT_Outline_Reverse(outline);
        sink.fillSide = 0;
        sink.scale = kEmSquare / units;
        FT_Outline_Funcs funcs{};
        funcs.move_to = MoveTo;
        funcs.line_to = LineTo;
        funcs.conic_to = ConicTo;
        funcs.cubic_to = CubicTo;
        FT_Outline_Decompose(outline, &funcs, &sink);
        if (sink.started) g.bounds = sink.bounds;
        g.advance = static_cast<int32_t>(std::lround(face->glyph->advance.x * kEmSquare / units));
    }
    rec.End();
    g.shape = std::move(w.Data());
    return g;
}

std::u32string DecodeUtf8(const std::string& s) {
    std::u32string out;
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = s[i];
        int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size()) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        char32_t cp = len == 1 ? c : c & (0x3F >> (len - 1));
        bool ok = true;
        for (int k = 1; k < len; ++k) {
            unsigned char cc = s[i + k];
            if ((cc & 0xC0) != 0x80) ok = false;
            cp = cp << 6 | (cc & 0x3F);
        }
        static const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (!ok || cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += len;
    }
    return out;
}

}  // namespace swf
