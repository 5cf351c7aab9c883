// One function per SWF tag the writer uses; each appends the complete tag.
#pragma once

#include <cstdint>

#include "swf/Bits.h"
#include "swf/Definitions.h"

namespace swf {

enum TagCode : uint16_t {
    kEnd = 0,
    kShowFrame = 1,
    kSetBackgroundColor = 9,
    kDoAction = 12,
    kDefineSound = 14,
    kStartSound = 15,
    kDefineBitsJpeg2 = 21,
    kPlaceObject2 = 26,
    kRemoveObject2 = 28,
    kDefineShape3 = 32,
    kDefineText2 = 33,
    kDefineFont2 = 48,
    kFileAttributes = 69,
};

// Signature, version, a length to be patched, frame size, rate, count.
void WriteHeader(ByteWriter& w, int version, int32_t width, int32_t height, int rate, int frameCount);
void WriteFileAttributes(ByteWriter& w);
void WriteSetBackgroundColor(ByteWriter& w, const Rgba& c);
void WriteDefineBitsJpeg2(ByteWriter& w, uint16_t id, const Bytes& jpeg);
// The tag without its JPEG data, which the caller puts after it.
void WriteDefineBitsJpeg2Header(ByteWriter& w, uint16_t id, size_t jpegSize);
// A width x height twips rectangle at the origin filled with the bitmap,
// scaled from its pixel size to the rectangle.
void WritePictureShape(ByteWriter& w, uint16_t id, uint16_t bitmap, int32_t width, int32_t height,
                       int pixelsWide, int pixelsHigh);
void WritePolygonShape(ByteWriter& w, uint16_t id, const PolygonDef& poly);
void WriteDefineFont2(ByteWriter& w, uint16_t id, const FontDef& font);
void WriteDefineText2(ByteWriter& w, uint16_t id, uint16_t font, const TextDef& text);
void WriteDefineSound(ByteWriter& w, uint16_t id, const WavSound& s);
void WriteStartSound(ByteWriter& w, uint16_t id);
// move: change the character at depth (only its matrix); else place a new one.
void WritePlaceObject2(ByteWriter& w, uint16_t depth, bool move, uint16_t character, const Matrix& m);
void WriteRemoveObject2(ByteWriter& w, uint16_t depth);
void WriteDoActionStop(ByteWriter& w);
void WriteShowFrame(ByteWriter& w);
void WriteEnd(ByteWriter& w);

// Width of the default outline of a polygon without fill, in twips.
constexpr int kOutlineWidth = 20;

}  // namespace swf
