// Installed fonts: fontconfig picks the face nearest to a name, FreeType
// gives each glyph's outline, converted to an SWF SHAPE on a 1024-unit em.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "swf/Bits.h"

namespace swf {

constexpr int kEmSquare = 1024;

struct GlyphShape {
    uint32_t code = 0;
    Bytes shape;          // SHAPE record: one fill style, no line style
    int32_t advance = 0;  // em units
    Rect bounds;          // em units, y down
};

class FontFace {
public:
    // The nearest installed face to the name (family, optionally with
    // fontconfig style words such as "DejaVu Sans:bold"). Falls back to the
    // default sans-serif face; throws only when no font is installed at all.
    static std::shared_ptr<FontFace> Find(const std::string& name);
    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    const std::string& FamilyName() const { return family_; }
    const std::string& FilePath() const { return file_; }
    bool Bold() const { return bold_; }
    bool Italic() const { return italic_; }
    int Ascent() const { return ascent_; }   // em units
    int Descent() const { return descent_; }  // em units, positive
    int Leading() const { return leading_; }
    GlyphShape Glyph(uint32_t code) const;

private:
    FontFace() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string family_, file_;
    bool bold_ = false, italic_ = false;
    int ascent_ = 0, descent_ = 0, leading_ = 0;
    mutable std::mutex mutex_;
};

// Decodes UTF-8 into code points; invalid bytes become U+FFFD.
std::u32string DecodeUtf8(const std::string& s);

}  // namespace swf
