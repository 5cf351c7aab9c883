#include "TestMedia.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include <jpeglib.h>
#include <unistd.h>

namespace swftest {

static Bytes Encode(int w, int h, JpegKind kind, int seed, int hs, int vs, int restart) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buf, &size);
    c.image_width = w;
    c.image_height = h;
    int comps = kind == JpegKind::Grayscale ? 1 : kind == JpegKind::Cmyk ? 4 : 3;
    c.input_components = comps;
    c.in_color_space = comps == 1 ? JCS_GRAYSCALE : comps == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    if (kind == JpegKind::Progressive) jpeg_simple_progression(&c);
    if (kind == JpegKind::Arithmetic) c.arith_code = TRUE;
    if (hs > 0) {
        c.comp_info[0].h_samp_factor = hs;
        c.comp_info[0].v_samp_factor = vs;
    }
    c.restart_interval = static_cast<unsigned>(restart);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(w) * comps);
    while (c.next_scanline < c.image_height) {
        int y = static_cast<int>(c.next_scanline);
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < comps; ++k)
                row[x * comps + k] = static_cast<uint8_t>(((x + seed) * (k + 1) * 7 + y * 3 + (x / 8 + y / 8) % 2 * 60) & 0xFF);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(buf, buf + size);
    std::free(buf);
    return out;
}

Bytes MakeJpeg(int w, int h, JpegKind kind, int seed) { return Encode(w, h, kind, seed, 0, 0, 0); }

Bytes MakeJpegSampled(int w, int h, int hs, int vs, int restart, int seed) {
    return Encode(w, h, JpegKind::Baseline, seed, hs, vs, restart);
}

Bytes DecodeRgb(const Bytes& jpeg, int* w, int* h) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), jpeg.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    Bytes px(static_cast<size_t>(d.output_width) * d.output_height * 3);
    while (d.output_scanline < d.output_height) {
        JSAMPROW r = px.data() + static_cast<size_t>(d.output_scanline) * d.output_width * 3;
        jpeg_read_scanlines(&d, &r, 1);
    }
    if (w) *w = static_cast<int>(d.output_width);
    if (h) *h = static_cast<int>(d.output_height);
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return px;
}

static void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
static void Put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

Bytes MakeWav(uint32_t rate, uint16_t channels, uint16_t bits, uint32_t samples, uint16_t format) {
    uint32_t dataSize = samples * channels * (bits / 8);
    Bytes b{'R', 'I', 'F', 'F'};
    Put32(b, 36 + dataSize);
    for (char c : std::string("WAVEfmt ")) b.push_back(static_cast<uint8_t>(c));
    Put32(b, 16);
    Put16(b, format);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, rate * channels * bits / 8);
    Put16(b, channels * bits / 8);
    Put16(b, bits);
    for (char c : std::string("data")) b.push_back(static_cast<uint8_t>(c));
    Put32(b, dataSize);
    for (uint32_t i = 0; i < dataSize; ++i) b.push_back(static_cast<uint8_t>(i * 37));
    return b;
}

void WriteFile(const std::filesystem::path& p, const Bytes& data) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!out) throw std::runtime_error("cannot write " + p.string());
}

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "swftest-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace swftest
