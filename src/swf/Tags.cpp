#include "swf/Tags.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace swf {

void WriteHeader(ByteWriter& w, int version, int32_t width, int32_t height, int rate, int frameCount) {
    w.Append("FWS");
    w.U8(static_cast<uint32_t>(version));
    w.U32(0);
    WriteRect(w, Rect{0, width, 0, height});
    w.U16(static_cast<uint32_t>(rate) << 8);  // 8.8 fixed point
    w.U16(static_cast<uint32_t>(frameCount));
}

void WriteFileAttributes(ByteWriter& w) {
    // No AS3, no network access, no metadata.
    WriteTag(w, kFileAttributes, Bytes{0, 0, 0, 0});
}

void WriteSetBackgroundColor(ByteWriter& w, const Rgba& c) {
    WriteTag(w, kSetBackgroundColor, Bytes{c.r, c.g, c.b});
}

void WriteDefineBitsJpeg2Header(ByteWriter& w, uint16_t id, size_t jpegSize) {
    w.U16(kDefineBitsJpeg2 << 6 | 0x3F);
    w.U32(static_cast<uint32_t>(jpegSize + 2));
    w.U16(id);
}

void WriteDefineBitsJpeg2(ByteWriter& w, uint16_t id, const Bytes& jpeg) {
    WriteDefineBitsJpeg2Header(w, id, jpeg.size());
    w.Append(jpeg);
}

static void WriteRgba(ByteWriter& b, const Rgba& c) {
    b.U8(c.r);
    b.U8(c.g);
    b.U8(c.b);
    b.U8(c.a);
}

void WritePictureShape(ByteWriter& w, uint16_t id, uint16_t bitmap, int32_t width, int32_t height,
                       int pixelsWide, int pixelsHigh) {
    ByteWriter b;
    b.U16(id);
    WriteRect(b, Rect{0, width, 0, height});
    b.U8(1);  // one fill style
    // Clipped bitmap; unsmoothed when shown at its own size, so pixels stay crisp.
    double sx = static_cast<double>(width) / pixelsWide, sy = static_cast<double>(height) / pixelsHigh;
    bool natural = sx == 20.0 && sy == 20.0;
    b.U8(natural ? 0x43 : 0x41);
    b.U16(bitmap);
    Matrix m;
    m.scaleX = static_cast<int32_t>(std::lround(sx * 65536.0));
    m.scaleY = static_cast<int32_t>(std::lround(sy * 65536.0));
    WriteMatrix(b, m);
    b.U8(0);  // no line styles
    b.UB(1, 4);
    b.UB(0, 4);
    ShapeRecords rec(b, 1, 0);
    // Clockwise with y down: the fill lies on the right of each edge.
    rec.StyleChange(true, 0, 0, -1, 1, -1);
    rec.Line(width, 0);
    rec.Line(0, height);
    rec.Line(-width, 0);
    rec.Line(0, -height);
    rec.End();
    WriteTag(w, kDefineShape3, b.Data());
}

void WritePolygonShape(ByteWriter& w, uint16_t id, const PolygonDef& poly) {
    // Close the outline, so a fill has an inside.
    std::vector<std::pair<int32_t, int32_t>> edges = poly.edges;
    int64_t x = poly.x, y = poly.y;
    Rect bounds{poly.x, poly.x, poly.y, poly.y};
    int64_t area2 = 0;
    for (auto [dx, dy] : edges) {
        int64_t nx = x + dx, ny = y + dy;
        area2 += x * ny - nx * y;
        x = nx;
        y = ny;
        bounds.xmin = static_cast<int32_t>(std::min<int64_t>(bounds.xmin, x));
        bounds.xmax = static_cast<int32_t>(std::max<int64_t>(bounds.xmax, x));
        bounds.ymin = static_cast<int32_t>(std::min<int64_t>(bounds.ymin, y));
        bounds.ymax = static_cast<int32_t>(std::max<int64_t>(bounds.ymax, y));
    }
    area2 += x * poly.y - static_cast<int64_t>(poly.x) * y;
    if (x != poly.x || y != poly.y)
        edges.emplace_back(static_cast<int32_t>(poly.x - x), static_cast<int32_t>(poly.y - y));

    // Without a fill of its own a polygon is black with a thin white outline,
    // so it shows on dark and light pictures alike.
    bool outlined = !poly.fill.has_value();
    Rgba fill = poly.fill.value_or(Rgba{0, 0, 0, 255});
    if (outlined) {
        bounds.xmin -= kOutlineWidth / 2;
        bounds.ymin -= kOutlineWidth / 2;
        bounds.xmax += kOutlineWidth / 2;
        bounds.ymax += kOutlineWidth / 2;
    }
    ByteWriter b;
    b.U16(id);
    WriteRect(b, bounds);
    b.U8(1);
    b.U8(0x00);  // solid
    WriteRgba(b, fill);
    if (outlined) {
        b.U8(1);
        b.U16(kOutlineWidth);
        WriteRgba(b, Rgba{255, 255, 255, 255});
    } else {
        b.U8(0);
    }
    int lineBits = outlined ? 1 : 0;
    b.UB(1, 4);
    b.UB(lineBits, 4);
    ShapeRecords rec(b, 1, lineBits);
    // Clockwise (positive area with y down) has its inside on the right: fill 1.
    bool clockwise = area2 >= 0;
    rec.StyleChange(true, poly.x, poly.y, clockwise ? -1 : 1, clockwise ? 1 : -1, outlined ? 1 : -1);
    for (auto [dx, dy] : edges) rec.Line(dx, dy);
    rec.End();
    WriteTag(w, kDefineShape3, b.Data());
}

void WriteDefineFont2(ByteWriter& w, uint16_t id, const FontDef& font) {
    std::vector<GlyphShape> glyphs;
    glyphs.reserve(font.codes.size());
    for (uint32_t c : font.codes) glyphs.push_back(font.face->Glyph(c));
    // Players look glyphs up by code: keep the code table sorted.
    std::sort(glyphs.begin(), glyphs.end(), [](const GlyphShape& a, const GlyphShape& b) { return a.code < b.code; });
    if (glyphs.size() > 65535) throw std::out_of_range("WriteMovie: a font has more than 65535 glyphs");

    size_t shapesSize = 0;
    for (const auto& g : glyphs) shapesSize += g.shape.size();
    size_t n = glyphs.size();
    bool wide = 2 * (n + 1) + shapesSize > 0xFFFF;
    size_t offsetSize = wide ? 4 : 2;

    ByteWriter b;
    b.U16(id);
    uint8_t flags = 0x80 /* layout */ | 0x04 /* wide codes */;
    if (wide) flags |= 0x08;
    if (font.face->Italic()) flags |= 0x02;
    if (font.face->Bold()) flags |= 0x01;
    b.U8(flags);
    b.U8(1);  // language: Latin
    std::string name = font.face->FamilyName().substr(0, 255);
    b.U8(static_cast<uint32_t>(name.size()));
    b.Append(name);
    b.U16(static_cast<uint32_t>(n));
    size_t offset = offsetSize * (n + 1);
    for (const auto& g : glyphs) {
        wide ? b.U32(static_cast<uint32_t>(offset)) : b.U16(static_cast<uint32_t>(offset));
        offset += g.shape.size();
    }
    wide ? b.U32(static_cast<uint32_t>(offset)) : b.U16(static_cast<uint32_t>(offset));
    for (const auto& g : glyphs) b.Append(g.shape);
    for (const auto& g : glyphs) b.U16(g.code);
    b.U16(static_cast<uint32_t>(std::clamp(font.face->Ascent(), 0, 65535)));
    b.U16(static_cast<uint32_t>(std::clamp(font.face->Descent(), 0, 65535)));
    b.U16(static_cast<uint32_t>(std::clamp(font.face->Leading(), 0, 32767)));
    for (const auto& g : glyphs) b.U16(static_cast<uint16_t>(std::clamp(g.advance, -32768, 32767)));
    for (const auto& g : glyphs) WriteRect(b, g.bounds);
    b.U16(0);  // no kerning pairs
    WriteTag(w, kDefineFont2, b.Data());
}

void WriteDefineText2(ByteWriter& w, uint16_t id, uint16_t fontId, const TextDef& text) {
    // Glyph index of each code, in the sorted order of the font's table.
    std::vector<uint32_t> codes = text.font->codes;
    std::sort(codes.begin(), codes.end());
    auto indexOf = [&](uint32_t c) {
        return static_cast<uint32_t>(std::lower_bound(codes.begin(), codes.end(), c) - codes.begin());
    };
    const double scale = text.height / kEmSquare;
    const FontFace& face = *text.font->face;
    const int32_t lineHeight = static_cast<int32_t>(
        std::lround((face.Ascent() + face.Descent() + face.Leading()) * scale));

    struct Glyph {
        uint32_t index;
        int32_t advance;
    };
    struct Run {
        int32_t x, y;
        std::vector<Glyph> glyphs;
    };
    std::vector<Run> runs(1, Run{0, 0, {}});
    Rect bounds{INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN};
    int32_t x = 0, y = 0;
    uint32_t maxIndex = 0;
    int32_t maxAdvance = 0;
    for (char32_t c : text.text) {
        if (c == '\n') {
            x = 0;
            y += lineHeight;
            runs.push_back(Run{x, y, {}});
            continue;
        }
        if (c < 0x20 || c > 0xFFFF) continue;
        // A record holds at most 255 glyphs; the next one restates the pen.
        if (runs.back().glyphs.size() == 255) runs.push_back(Run{x, y, {}});
        GlyphShape g = face.Glyph(c);  // cached per face by FreeType
        int32_t adv = static_cast<int32_t>(std::lround(g.advance * scale));
        if (g.bounds.xmax >= g.bounds.xmin) {
            bounds.xmin = std::min(bounds.xmin, x + static_cast<int32_t>(std::floor(g.bounds.xmin * scale)));
            bounds.xmax = std::max(bounds.xmax, x + static_cast<int32_t>(std::ceil(g.bounds.xmax * scale)));
            bounds.ymin = std::min(bounds.ymin, y + static_cast<int32_t>(std::floor(g.bounds.ymin * scale)));
            bounds.ymax = std::max(bounds.ymax, y + static_cast<int32_t>(std::ceil(g.bounds.ymax * scale)));
        }
        uint32_t index = indexOf(static_cast<uint32_t>(c));
        runs.back().glyphs.push_back({index, adv});
        maxIndex = std::max(maxIndex, index);
        maxAdvance = std::max(maxAdvance, std::abs(adv));
        x += adv;
        if (x > 32767 || y > 32767)
            throw std::out_of_range("WriteMovie: a text runs beyond 32767 twips from its origin");
    }
    if (bounds.xmin > bounds.xmax) bounds = Rect{};

    ByteWriter b;
    b.U16(id);
    WriteRect(b, bounds);
    WriteMatrix(b, Matrix{});
    int glyphBits = std::max(1, UnsignedBits(maxIndex));
    int advanceBits = std::max(1, SignedBits(maxAdvance));
    b.U8(static_cast<uint32_t>(glyphBits));
    b.U8(static_cast<uint32_t>(advanceBits));
    bool first = true;
    for (const Run& r : runs) {
        if (r.glyphs.empty()) continue;
        // Type 1, then font, colour, y and x offset flags.
        b.U8(0x80 | (first ? 0x08 | 0x04 : 0) | 0x02 | 0x01);
        if (first) {
            b.U16(fontId);
            WriteRgba(b, text.color);
        }
        b.U16(static_cast<uint16_t>(r.x));
        b.U16(static_cast<uint16_t>(r.y));
        if (first) b.U16(static_cast<uint32_t>(std::lround(text.height)));
        b.U8(static_cast<uint32_t>(r.glyphs.size()));
        for (const Glyph& g : r.glyphs) {
            b.UB(g.index, glyphBits);
            b.SB(g.advance, advanceBits);
        }
        b.Align();
        first = false;
    }
    b.U8(0);
    WriteTag(w, kDefineText2, b.Data());
}

void WriteDefineSound(ByteWriter& w, uint16_t id, const WavSound& s) {
    w.U16(kDefineSound << 6 | 0x3F);
    w.U32(static_cast<uint32_t>(s.samples.size() + 7));
    w.U16(id);
    // Uncompressed little-endian, 16-bit, mono.
    w.U8(3u << 4 | static_cast<uint32_t>(s.rateCode) << 2 | 1u << 1);
    w.U32(s.sampleCount);
    w.Append(s.samples);
}

void WriteStartSound(ByteWriter& w, uint16_t id) {
    ByteWriter b;
    b.U16(id);
    b.U8(0);  // plain SOUNDINFO: no envelope, loops or in/out points
    WriteTag(w, kStartSound, b.Data());
}

void WritePlaceObject2(ByteWriter& w, uint16_t depth, bool move, uint16_t character, const Matrix& m) {
    ByteWriter b;
    b.U8(move ? 0x04 | 0x01 : 0x04 | 0x02);  // matrix; move or new character
    b.U16(depth);
    if (!move) b.U16(character);
    WriteMatrix(b, m);
    WriteTag(w, kPlaceObject2, b.Data());
}

void WriteRemoveObject2(ByteWriter& w, uint16_t depth) {
    ByteWriter b;
    b.U16(depth);
    WriteTag(w, kRemoveObject2, b.Data());
}

void WriteDoActionStop(ByteWriter& w) { WriteTag(w, kDoAction, Bytes{0x07, 0x00}); }
void WriteShowFrame(ByteWriter& w) { WriteTag(w, kShowFrame, Bytes{}); }
void WriteEnd(ByteWriter& w) { WriteTag(w, kEnd, Bytes{}); }

}  // namespace swf
