// Readers for the media a movie embeds: JPEG pictures and WAV sounds. Each
// checks its input completely and throws std::runtime_error with the reason,
// so a movie never carries data a player cannot show.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "swf/Bits.h"

namespace swf {

// What tells one version of a file from another without reading it.
struct FileStamp {
    uint64_t device = 0, inode = 0;
    int64_t size = 0, modified = 0, changed = 0;  // times in ns
    bool operator==(const FileStamp&) const = default;
};
std::optional<FileStamp> StampFile(const std::string& path);  // none: not a readable regular file

// The whole file, or an exception naming the path and the system's reason;
// stamp, when given, gets the stamp of the version read.
Bytes ReadFileBytes(const std::string& path, FileStamp* stamp = nullptr);

struct JpegOptions {
    // Re-code the entropy data with optimal Huffman tables: lossless, baseline,
    // usually a tenth smaller for screenshots.
    bool optimizeHuffman = true;
    // Let the lossless re-coding run on a worker thread while the caller
    // goes on; the checks always happen before MakePicture returns.
    bool background = true;
};

struct JpegImage {
    Bytes data;  // a baseline JPEG stream, ready for DefineBitsJPEG2
    int width = 0;
    int height = 0;
    int components = 0;     // 1 (grayscale) or 3 (colour)
    bool reencoded = false;  // decoded and compressed again (CMYK, arithmetic, RGB)
    bool recoded = false;    // entropy data re-coded losslessly
};

// Checks the JPEG stream completely (headers and all entropy data) and turns
// it into what players show: progressive and non-optimised files are re-coded
// losslessly to baseline; CMYK, YCCK, RGB-coded and arithmetic-coded files,
// which players cannot decode, are decoded and stored as baseline colour JPEGs.
JpegImage PrepareJpeg(const uint8_t* data, size_t size, const JpegOptions& options = {});

// PrepareJpeg in two halves: CheckJpeg reads and checks everything now and
// throws on damage; finish() does what remains (re-coding that cannot fail
// on checked data) and may run on another thread.
struct CheckedJpeg {
    int width = 0, height = 0, components = 0;
    std::function<JpegImage()> finish;
};
CheckedJpeg CheckJpeg(const uint8_t* data, size_t size, const JpegOptions& options = {});

struct WavSound {
    Bytes samples;  // 16-bit little-endian mono PCM
    uint32_t sampleRate = 0;
    uint32_t sampleCount = 0;
    int rateCode = 0;  // the SWF SoundRate field: 0 = 5.5 kHz ... 3 = 44 kHz
};

// RIFF/WAVE, PCM, 16 bits, mono, at 5512, 11025, 22050 or 44100 Hz: the
// rates an uncompressed SWF sound can carry.
WavSound ParseWav(const uint8_t* data, size_t size);

}  // namespace swf
