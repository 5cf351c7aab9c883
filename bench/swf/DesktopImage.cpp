#include "DesktopImage.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

#include <jpeglib.h>

namespace bench {

namespace {

struct Canvas {
    int w, h;
    std::vector<uint8_t>& px;
    void Fill(int x0, int y0, int x1, int y1, uint32_t c) {
        x0 = std::max(0, x0);
        y0 = std::max(0, y0);
        x1 = std::min(w, x1);
        y1 = std::min(h, y1);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * 3];
                p[0] = c >> 16;
                p[1] = (c >> 8) & 0xFF;
                p[2] = c & 0xFF;
            }
    }
    // A row of "words": small dark glyph-like blocks of varied width.
    void TextLine(int x, int y, int width, std::mt19937& rng, uint32_t color, int size = 9) {
        int end = x + width;
        while (x < end) {
            int word = 2 + rng() % 8;
            for (int c = 0; c < word && x < end; ++c) {
                int cw = size / 2 + rng() % (size / 2 + 1);
                // A glyph: a few strokes inside its cell.
                int strokes = 1 + rng() % 3;
                for (int s = 0; s < strokes; ++s) {
                    if (rng() % 2)
                        Fill(x + rng() % cw, y, x + rng() % cw + 1, y + size, color);
                    else {
                        int yy = y + rng() % size;
                        Fill(x, yy, x + cw - 1, yy + 1, color);
                    }
                }
                x += cw + 1;
            }
            x += size / 2 + 1;
        }
    }
};

}  // namespace

std::vector<uint8_t> MakeDesktopRgb(int width, int height, int index) {
    std::vector<uint8_t> px(static_cast<size_t>(width) * height * 3);
    Canvas cv{width, height, px};
    std::mt19937 rng(1234 + index);
    // Wallpaper: a soft vertical gradient.
    for (int y = 0; y < height; ++y) {
        uint32_t c = (30 + y * 60 / height) << 16 | (60 + y * 80 / height) << 8 | (120 + y * 90 / height);
        cv.Fill(0, y, width, y + 1, c);
    }
    // Desktop icons.
    for (int i = 0; i < height / 90; ++i) {
        cv.Fill(20, 20 + i * 80, 68, 68 + i * 80, 0xE0C060 - i * 0x101010);
        cv.TextLine(14, 72 + i * 80, 60, rng, 0xFFFFFF, 7);
    }
    // Windows, placed differently for each capture.
    std::mt19937 layout(99 + index / 3);
    int windows = 2 + layout() % 3;
    for (int wnd = 0; wnd < windows; ++wnd) {
        int ww = width / 2 + layout() % (width / 3);
        int wh = height / 2 + layout() % (height / 3);
        int wx = layout() % std::max(1, width - ww);
        int wy = layout() % std::max(1, height - wh - 30);
        cv.Fill(wx + 4, wy + 4, wx + ww + 4, wy + wh + 4, 0x202020);  // shadow
        cv.Fill(wx, wy, wx + ww, wy + wh, 0xF4F4F4);
        cv.Fill(wx, wy, wx + ww, wy + 24, wnd == windows - 1 ? 0x3060C0 : 0x8090A0);  // title bar
        cv.TextLine(wx + 8, wy + 8, ww / 3, rng, 0xFFFFFF);
        cv.Fill(wx + ww - 20, wy + 5, wx + ww - 6, wy + 19, 0xD04040);
        cv.Fill(wx, wy + 24, wx + ww, wy + 44, 0xE4E4E4);  // menu bar
        cv.TextLine(wx + 8, wy + 30, ww / 2, rng, 0x303030);
        cv.Fill(wx, wy + 44, wx + ww, wy + 70, 0xDADADA);  // tool bar
        for (int b = 0; b < ww / 30 - 1; ++b)
            cv.Fill(wx + 6 + b * 28, wy + 47, wx + 28 + b * 28, wy + 67, 0x7090B0 + b * 0x0a0503);
        // Document text.
        for (int line = wy + 80; line < wy + wh - 14; line += 16)
            cv.TextLine(wx + 12, line, ww - 24 - rng() % (ww / 3), rng, 0x101010);
        cv.Fill(wx + ww - 14, wy + 70, wx + ww, wy + wh, 0xCCCCCC);  // scroll bar
        cv.Fill(wx + ww - 12, wy + 80 + index % 50, wx + ww - 2, wy + 130 + index % 50, 0x909090);
    }
    // Task bar with buttons and a clock.
    cv.Fill(0, height - 30, width, height, 0x263040);
    cv.Fill(4, height - 26, 60, height - 4, 0x40A040);
    for (int b = 0; b < windows; ++b) {
        cv.Fill(70 + b * 130, height - 26, 190 + b * 130, height - 4, 0x3A4A60);
        cv.TextLine(78 + b * 130, height - 20, 100, rng, 0xE0E0E0);
    }
    cv.TextLine(width - 60, height - 20, 50, rng, 0xFFFFFF);
    return px;
}

std::vector<uint8_t> EncodeJpeg(const std::vector<uint8_t>& rgb, int width, int height, int quality) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buf, &size);
    c.image_width = width;
    c.image_height = height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(&rgb[static_cast<size_t>(c.next_scanline) * width * 3]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> out(buf, buf + size);
    std::free(buf);
    return out;
}

}  // namespace bench
