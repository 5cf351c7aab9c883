// The fast path of the JPEG reader: baseline Huffman JPEGs re-coded symbol
// by symbol. Not part of the writer's interface; used by PrepareJpeg.
#pragma once

#include <cstddef>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "swf/Bits.h"

namespace swf {

// Players show bitmaps up to 8191 pixels a side and 16777215 pixels in all.
inline bool JpegSizeFits(long w, long h) { return w <= 8191 && h <= 8191 && w * h <= 16777215; }

struct JpegInfo {
    int width = 0, height = 0, components = 0;
};

// A parsed scan: the header segments worth keeping, the scan header, every
// Huffman symbol with its extra bits, and how often each symbol occurs.
struct ScanData {
    JpegInfo info;
    Bytes header;  // SOI and the kept segments (no DHT)
    Bytes sos;
    std::unique_ptr<uint32_t[]> tokens;
    size_t tokenCount = 0;
    size_t tokenCapacity = 0;
    void AllocateTokens(size_t count);
    ScanData() = default;
    ScanData(const ScanData&) = delete;
    ScanData& operator=(const ScanData&) = delete;
    ~ScanData();
    std::array<std::array<long, 257>, 8> freq{};
};

// Reads a single-scan baseline Huffman JPEG (grayscale or YCbCr) and checks
// its entropy data completely; keepTokens keeps what EncodeScan needs.
// Returns false for anything it does not handle or finds damaged; the caller
// then asks libjpeg.
bool ParseScan(const uint8_t* data, size_t size, bool keepTokens, ScanData& scan);
// Writes the scan again with optimal Huffman tables.
bool EncodeScan(const ScanData& scan, Bytes& out);

// Both steps at once (tests and tools).
bool RecodeHuffman(const uint8_t* data, size_t size, Bytes* out, JpegInfo& info);

}  // namespace swf
