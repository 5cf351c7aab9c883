// Synthetic desktop screenshots for the benchmark: a wallpaper gradient, a
// task bar, overlapping windows with title bars, menus, text-like glyph rows
// and a few icons. Each index gives a different picture, as in a recording
// where windows move and text changes between captures.
#pragma once

#include <cstdint>
#include <vector>

namespace bench {

std::vector<uint8_t> MakeDesktopRgb(int width, int height, int index);
// Quality 90 with the encoder's default settings (4:2:0, standard tables).
std::vector<uint8_t> EncodeJpeg(const std::vector<uint8_t>& rgb, int width, int height, int quality = 90);

}  // namespace bench
