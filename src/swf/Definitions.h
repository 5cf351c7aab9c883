// What an swfObject currently defines, as immutable snapshots: AddObject keeps
// a pointer to the snapshot, so redefining the object later changes nothing
// already placed, and placing one definition many times shares one character.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "swf/Font.h"
#include "swf/Media.h"
#include "swf/Workers.h"

namespace swf {

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
    bool operator==(const Rgba&) const = default;
};

// A checked picture whose lossless re-coding may still be running.
struct PictureData {
    int width = 0, height = 0;  // pixels
    std::shared_ptr<Job<JpegImage>> jpeg;
    const JpegImage& Get() const { return jpeg->Get(); }
};

struct PictureDef {
    std::shared_ptr<const PictureData> image;
    int32_t x = 0, y = 0;            // top left, twips
    int32_t width = 0, height = 0;   // twips
};

struct SoundDef {
    std::shared_ptr<const WavSound> sound;
};

struct PolygonDef {
    int32_t x = 0, y = 0;                          // start point
    std::vector<std::pair<int32_t, int32_t>> edges;  // relative steps
    int64_t penX = 0, penY = 0;                    // current point
    std::optional<Rgba> fill;                      // none: black with a white outline
};

struct FontDef {
    std::shared_ptr<FontFace> face;
    std::string requestedName;
    std::vector<uint32_t> codes;  // in the order added, each once
};

struct TextDef {
    std::u32string text;
    std::shared_ptr<const FontDef> font;  // holds every glyph the text uses
    double x = 0, y = 0, height = 0;      // twips; (x, y) is the top left of the first line
    Rgba color;
};

using Definition = std::variant<std::monostate, PictureDef, SoundDef, PolygonDef, FontDef, TextDef>;

}  // namespace swf
