// A small reader of the movies this writer makes, for tests and tools: the
// tags, the characters and what the display list holds after every frame.
// It checks sizes and bounds and throws std::runtime_error on a malformed file.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "swf/Bits.h"

namespace swf {

struct ReadTag {
    uint16_t code = 0;
    size_t offset = 0;  // of the tag header in the uncompressed file
    Bytes body;
};

struct ReadCharacter {
    uint16_t id = 0;
    uint16_t tag = 0;  // the defining tag's code
    // Shapes.
    Rect bounds;
    std::optional<uint16_t> bitmap;      // bitmap fill
    Matrix bitmapMatrix;
    std::optional<uint32_t> solidFill;   // 0xRRGGBBAA
    std::optional<uint32_t> lineColor;   // 0xRRGGBBAA
    uint16_t lineWidth = 0;
    std::vector<std::pair<int32_t, int32_t>> points;  // outline corners of straight edges
    // Bitmaps.
    Bytes jpeg;
    // Fonts.
    std::string fontName;
    std::vector<uint16_t> codes;
    // Texts.
    uint16_t font = 0;
    uint16_t textHeight = 0;
    uint32_t textColor = 0;  // 0xRRGGBBAA
    std::u16string text;     // the glyphs, mapped back to codes through the font
    // Sounds.
    int soundFormat = 0, soundRate = 0, soundBits = 0, soundChannels = 0;
    uint32_t sampleCount = 0;
};

struct DisplayItem {
    uint16_t character = 0;
    Matrix matrix;
};

struct ReadFrame {
    std::map<uint16_t, DisplayItem> display;  // by depth, after the frame's tags
    std::vector<uint16_t> soundsStarted;
    int stops = 0;
    int placeTags = 0, removeTags = 0;
};

struct ReadMovie {
    bool compressed = false;
    int version = 0;
    uint32_t fileLength = 0;
    Rect frameSize;
    double frameRate = 0;
    uint16_t frameCount = 0;
    uint32_t background = 0;  // 0xRRGGBB
    std::vector<ReadTag> tags;
    std::map<uint16_t, ReadCharacter> characters;
    std::vector<ReadFrame> frames;  // one per ShowFrame

    size_t CountTags(uint16_t code) const;
};

ReadMovie ParseMovie(const Bytes& file);
ReadMovie ReadMovieFile(const std::string& path);

}  // namespace swf
