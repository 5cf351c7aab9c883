// Byte and bit writers for the SWF format, and the record types that are
// packed bit by bit (RECT, MATRIX). Kept apart from the timeline so each
// record's exact bytes can be tested on its own.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace swf {

using Bytes = std::vector<uint8_t>;

// Number of bits a signed value needs in an SB field (sign bit included).
int SignedBits(int64_t v);
// Number of bits an unsigned value needs in a UB field.
int UnsignedBits(uint64_t v);

class ByteWriter {
public:
    void U8(uint32_t v) { buf_.push_back(static_cast<uint8_t>(v)); }
    void U16(uint32_t v) {
        U8(v & 0xFF);
        U8((v >> 8) & 0xFF);
    }
    void U32(uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void Append(const uint8_t* p, size_t n) { buf_.insert(buf_.end(), p, p + n); }
    void Append(const Bytes& b) { buf_.insert(buf_.end(), b.begin(), b.end()); }
    void Append(std::string_view s) { Append(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }
    // A zero-terminated STRING.
    void String(std::string_view s) {
        Append(s);
        U8(0);
    }

    // Bit fields, most significant bit first. Byte-level writes must only
    // follow Align().
    void UB(uint64_t v, int nbits);
    void SB(int64_t v, int nbits);
    void Align();

    const Bytes& Data() const { return buf_; }
    Bytes& Data() { return buf_; }
    size_t Size() const { return buf_.size(); }

private:
    Bytes buf_;
    int bitPos_ = 0;  // bits used in the last byte; 0 when aligned
};

struct Rect {
    int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;
};

// 2x3 transform: scale and rotate-skew in 16.16 fixed point, translation in twips.
struct Matrix {
    int32_t scaleX = 0x10000, scaleY = 0x10000;
    int32_t rotate0 = 0, rotate1 = 0;
    int32_t translateX = 0, translateY = 0;

    static Matrix Translation(int32_t x, int32_t y) {
        Matrix m;
        m.translateX = x;
        m.translateY = y;
        return m;
    }
    bool operator==(const Matrix&) const = default;
};

void WriteRect(ByteWriter& w, const Rect& r);
void WriteMatrix(ByteWriter& w, const Matrix& m);

// A whole tag: short header when the body is under 63 bytes, long otherwise.
// Some tags (bitmaps, sounds) are always written long, as players expect.
void WriteTag(ByteWriter& out, uint16_t code, const Bytes& body, bool forceLong = false);

// The range of a signed 32-bit value that an SB field of at most 31 bits can
// carry; coordinates beyond it do not fit RECT and MATRIX.
constexpr int32_t kMaxCoord = (1 << 30) - 1;
constexpr int32_t kMinCoord = -(1 << 30);

}  // namespace swf

namespace swf {

// SHAPERECORDs: style changes and edges, ending with an end record. Lines
// longer than an edge record can carry are split.
class ShapeRecords {
public:
    ShapeRecords(ByteWriter& w, int fillBits, int lineBits) : w_(w), fillBits_(fillBits), lineBits_(lineBits) {}
    // Move the pen to (x, y) in absolute shape coordinates and select styles
    // (0 = none; a negative value leaves that style unchanged).
    void StyleChange(bool move, int32_t x, int32_t y, int fill0, int fill1, int line);
    void Line(int32_t dx, int32_t dy);
    void Curve(int32_t cdx, int32_t cdy, int32_t adx, int32_t ady);
    void End();

private:
    ByteWriter& w_;
    int fillBits_, lineBits_;
};

}  // namespace swf
