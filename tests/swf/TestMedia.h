// Small media files made by the tests themselves.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace swftest {

using Bytes = std::vector<uint8_t>;

enum class JpegKind { Baseline, Progressive, Grayscale, Cmyk, Arithmetic };

// A w x h test pattern (colour bands and a gradient) as a JPEG of that kind.
Bytes MakeJpeg(int w, int h, JpegKind kind = JpegKind::Baseline, int seed = 0);
// A colour baseline JPEG with the luma sampling factors given (2, 2 is 4:2:0,
// 1, 1 is 4:4:4) and a restart marker every `restart` MCUs (0: none).
Bytes MakeJpegSampled(int w, int h, int hs, int vs, int restart, int seed = 0);
// Decodes any JPEG to RGB (for comparing pixels).
Bytes DecodeRgb(const Bytes& jpeg, int* w = nullptr, int* h = nullptr);

Bytes MakeWav(uint32_t rate, uint16_t channels, uint16_t bits, uint32_t samples, uint16_t format = 1);

void WriteFile(const std::filesystem::path& p, const Bytes& data);

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

}  // namespace swftest
