#include "swf/Bits.h"

#include <algorithm>
#include <cstdlib>

namespace swf {

int UnsignedBits(uint64_t v) {
    int n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n;
}

int SignedBits(int64_t v) {
    if (v == 0) return 0;
    // Magnitude bits plus the sign bit; -2^k fits in k+1 bits.
    uint64_t m = v < 0 ? static_cast<uint64_t>(-(v + 1)) : static_cast<uint64_t>(v);
    return UnsignedBits(m) + 1;
}

void ByteWriter::UB(uint64_t v, int nbits) {
    for (int i = nbits - 1; i >= 0; --i) {
        if (bitPos_ == 0) buf_.push_back(0);
        if ((v >> i) & 1) buf_.back() |= static_cast<uint8_t>(0x80 >> bitPos_);
        bitPos_ = (bitPos_ + 1) & 7;
    }
}

void ByteWriter::SB(int64_t v, int nbits) {
    UB(static_cast<uint64_t>(v) & (nbits >= 64 ? ~0ull : ((1ull << nbits) - 1)), nbits);
}

void ByteWriter::Align() { bitPos_ = 0; }

static void CheckCoord(int64_t v, const char* what) {
    if (v < kMinCoord || v > kMaxCoord)
        throw std::out_of_range(std::string(what) + " " + std::to_string(v) +
                                " is outside the range an SWF file can hold (" +
                                std::to_string(kMinCoord) + " to " + std::to_string(kMaxCoord) +
                                " twips)");
}

void WriteRect(ByteWriter& w, const Rect& r) {
    for (int32_t v : {r.xmin, r.xmax, r.ymin, r.ymax}) CheckCoord(v, "Coordinate");
    int n = std::max({SignedBits(r.xmin), SignedBits(r.xmax), SignedBits(r.ymin),
                      SignedBits(r.ymax)});
    w.UB(n, 5);
    w.SB(r.xmin, n);
    w.SB(r.xmax, n);
    w.SB(r.ymin, n);
    w.SB(r.ymax, n);
    w.Align();
}

void WriteMatrix(ByteWriter& w, const Matrix& m) {
    CheckCoord(m.translateX, "Position");
    CheckCoord(m.translateY, "Position");
    bool hasScale = m.scaleX != 0x10000 || m.scaleY != 0x10000;
    w.UB(hasScale, 1);
    if (hasScale) {
        int n = std::max(SignedBits(m.scaleX), SignedBits(m.scaleY));
        w.UB(n, 5);
        w.SB(m.scaleX, n);
        w.SB(m.scaleY, n);
    }
    bool hasRotate = m.rotate0 != 0 || m.rotate1 != 0;
    w.UB(hasRotate, 1);
    if (hasRotate) {
        int n = std::max(SignedBits(m.rotate0), SignedBits(m.rotate1));
        w.UB(n, 5);
        w.SB(m.rotate0, n);
        w.SB(m.rotate1, n);
    }
    // Never zero bits: some parsers read one bit for an empty signed field.
    int n = std::max({1, SignedBits(m.translateX), SignedBits(m.translateY)});
    w.UB(n, 5);
    w.SB(m.translateX, n);
    w.SB(m.translateY, n);
    w.Align();
}

void WriteTag(ByteWriter& out, uint16_t code, const Bytes& body, bool forceLong) {
    if (body.size() > 0xFFFFFFFFu) throw std::length_error("SWF tag too large");
    if (body.size() < 0x3F && !forceLong) {
        out.U16(static_cast<uint32_t>(code) << 6 | static_cast<uint32_t>(body.size()));
    } else {
        out.U16(static_cast<uint32_t>(code) << 6 | 0x3F);
        out.U32(static_cast<uint32_t>(body.size()));
    }
    out.Append(body);
}

}  // namespace swf

namespace swf {

void ShapeRecords::StyleChange(bool move, int32_t x, int32_t y, int fill0, int fill1, int line) {
    w_.UB(0, 1);  // non-edge
    w_.UB(0, 1);  // no new styles
    w_.UB(line >= 0, 1);
    w_.UB(fill1 >= 0, 1);
    w_.UB(fill0 >= 0, 1);
    w_.UB(move, 1);
    if (move) {
        CheckCoord(x, "Coordinate");
        CheckCoord(y, "Coordinate");
        int n = std::max({1, SignedBits(x), SignedBits(y)});
        w_.UB(n, 5);
        w_.SB(x, n);
        w_.SB(y, n);
    }
    if (fill0 >= 0) w_.UB(fill0, fillBits_);
    if (fill1 >= 0) w_.UB(fill1, fillBits_);
    if (line >= 0) w_.UB(line, lineBits_);
}

void ShapeRecords::Line(int32_t dx, int32_t dy) {
    // An edge's deltas have at most 17 bits.
    constexpr int32_t kMax = 65535;
    int64_t steps = std::max<int64_t>(
        1, (std::max(std::llabs(dx), std::llabs(dy)) + kMax - 1) / kMax);
    int64_t doneX = 0, doneY = 0;
    for (int64_t i = 1; i <= steps; ++i) {
        int64_t tx = static_cast<int64_t>(dx) * i / steps, ty = static_cast<int64_t>(dy) * i / steps;
        int64_t sx = tx - doneX, sy = ty - doneY;
        doneX = tx;
        doneY = ty;
        w_.UB(1, 1);  // edge
        w_.UB(1, 1);  // straight
        int n = std::max({2, SignedBits(sx), SignedBits(sy)});
        w_.UB(n - 2, 4);
        if (sx != 0 && sy != 0) {
            w_.UB(1, 1);  // general line
            w_.SB(sx, n);
            w_.SB(sy, n);
        } else {
            w_.UB(0, 1);
            w_.UB(sx == 0, 1);  // vertical
            w_.SB(sx == 0 ? sy : sx, n);
        }
    }
}

void ShapeRecords::Curve(int32_t cdx, int32_t cdy, int32_t adx, int32_t ady) {
    int n = std::max({2, SignedBits(cdx), SignedBits(cdy), SignedBits(adx), SignedBits(ady)});
    if (n > 17) {
        // Too long for one record: straight segments keep the outline closed.
        Line(cdx, cdy);
        Line(adx, ady);
        return;
    }
    w_.UB(1, 1);
    w_.UB(0, 1);
    w_.UB(n - 2, 4);
    w_.SB(cdx, n);
    w_.SB(cdy, n);
    w_.SB(adx, n);
    w_.SB(ady, n);
}

void ShapeRecords::End() {
    w_.UB(0, 6);
    w_.Align();
}

}  // namespace swf
