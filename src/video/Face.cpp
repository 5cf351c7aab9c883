#include "video/Face.h"

#include <cmath>
#include <stdexcept>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

namespace video {

struct TFace::Impl {
    FT_Library Lib = nullptr;
    FT_Face Face = nullptr;
    ~Impl()
    {
        if (Face)
            FT_Done_Face(Face);
        if (Lib)
            FT_Done_FreeType(Lib);
    }
};

namespace {

std::pair<std::string, int> Match(const std::string& name)
{
    static std::mutex fcMutex;
    std::lock_guard<std::mutex> lock(fcMutex);
    if (!FcInit())
        return {};
    std::pair<std::string, int> result;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(name.c_str()));
    if (!pattern)
        pattern = FcPatternCreate();
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult res;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &res)) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch)
            result.first = reinterpret_cast<const char*>(file);
        FcPatternGetInteger(match, FC_INDEX, 0, &result.second);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return result;
}

struct Sink {
    cairo_t* cr;
    double x, y, scale; // scale: pixels per font unit
    double X(const FT_Vector* v) const { return x + v->x * scale; }
    double Y(const FT_Vector* v) const { return y - v->y * scale; }
};

int MoveTo(const FT_Vector* to, void* u)
{
    auto* s = static_cast<Sink*>(u);
    cairo_close_path(s->cr);
    cairo_move_to(s->cr, s->X(to), s->Y(to));
    return 0;
}
int LineTo(const FT_Vector* to, void* u)
{
    auto* s = static_cast<Sink*>(u);
    cairo_line_to(s->cr, s->X(to), s->Y(to));
    return 0;
}
int ConicTo(const FT_Vector* c, const FT_Vector* to, void* u)
{
    auto* s = static_cast<Sink*>(u);
    double x0, y0;
    cairo_get_current_point(s->cr, &x0, &y0);
    double cx = s->X(c), cy = s->Y(c), x3 = s->X(to), y3 = s->Y(to);
    cairo_curve_to(s->cr, x0 + 2.0 / 3 * (cx - x0), y0 + 2.0 / 3 * (cy - y0),
                   x3 + 2.0 / 3 * (cx - x3), y3 + 2.0 / 3 * (cy - y3), x3, y3);
    return 0;
}
int CubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* u)
{
    auto* s = static_cast<Sink*>(u);
    cairo_curve_to(s->cr, s->X(c1), s->Y(c1), s->X(c2), s->Y(c2), s->X(to), s->Y(to));
    return 0;
}

} // namespace

TFace::TFace(const std::string& name) : P(std::make_unique<Impl>())
{
    if (FT_Init_FreeType(&P->Lib))
        throw std::runtime_error("Cannot start FreeType");
    for (const std::string& candidate : {name, std::string("sans-serif")}) {
        auto [file, index] = Match(candidate);
        if (file.empty())
            continue;
        if (FT_New_Face(P->Lib, file.c_str(), index, &P->Face) == 0 && FT_IS_SCALABLE(P->Face))
            break;
        if (P->Face)
            FT_Done_Face(P->Face);
        P->Face = nullptr;
    }
    if (!P->Face)
        throw std::runtime_error("No installed font can stand in for \"" + name + "\"");
    FT_Select_Charmap(P->Face, FT_ENCODING_UNICODE);
    double units = P->Face->units_per_EM ? P->Face->units_per_EM : 1000;
    AscentEm = int(std::lround(P->Face->ascender * kEmSquare / units));
    DescentEm = int(std::lround(-P->Face->descender * kEmSquare / units));
    LeadingEm =
        std::max(0, int(std::lround(P->Face->height * kEmSquare / units)) - AscentEm - DescentEm);
}

TFace::~TFace() = default;

int32_t TFace::AppendGlyph(cairo_t* cr, uint32_t code, double x, double y, double scale) const
{
    std::lock_guard<std::mutex> lock(Mutex);
    FT_Face face = P->Face;
    double units = face->units_per_EM ? face->units_per_EM : 1000;
    if (FT_Load_Glyph(face, FT_Get_Char_Index(face, code),
                      FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0 ||
        face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
        return 0;
    Sink sink{cr, x, y, scale * kEmSquare / units};
    FT_Outline_Funcs funcs{};
    funcs.move_to = MoveTo;
    funcs.line_to = LineTo;
    funcs.conic_to = ConicTo;
    funcs.cubic_to = CubicTo;
    FT_Outline_Decompose(&face->glyph->outline, &funcs, &sink);
    cairo_close_path(cr);
    return int32_t(std::lround(face->glyph->advance.x * kEmSquare / units));
}

} // namespace video
