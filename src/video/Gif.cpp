// GIF: a palette of up to 256 colours made by libimagequant for each new
// picture, and after it only the rectangles that changed, each with a table
// of just the colours it uses. FFmpeg's own GIF encoder keeps one palette
// for the whole file once a frame's palette differs from the first, and then
// stores every frame whole, so the file is put together here.
#include <libimagequant.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "video/Encoder.h"
#include "video/Renderer.h"
#include "video/TempFile.h"

namespace video {

namespace {

class TOut {
  public:
    explicit TOut(const TTempFile& f) : File(f), Fp(std::fopen(f.Path().c_str(), "wb"))
    {
        if (!Fp)
            File.Fail(std::strerror(errno));
        Buf.reserve(size_t(1) << 16); // an image's worth, written out after each
    }
    ~TOut()
    {
        if (Fp)
            std::fclose(Fp);
    }
    void Byte(uint8_t b) { Buf.push_back(b); }
    void Word(uint16_t w)
    {
        Byte(uint8_t(w & 0xFF));
        Byte(uint8_t(w >> 8));
    }
    void Bytes(const void* p, size_t n)
    {
        auto* b = static_cast<const uint8_t*>(p);
        Buf.insert(Buf.end(), b, b + n);
    }
    void Flush()
    {
        if (!Buf.empty() && std::fwrite(Buf.data(), 1, Buf.size(), Fp) != Buf.size())
            File.Fail(std::strerror(errno));
        Buf.clear();
    }
    void Close()
    {
        Flush();
        int bad = std::fflush(Fp) != 0 || std::ferror(Fp);
        int err = errno;
        bad |= std::fclose(Fp) != 0;
        Fp = nullptr;
        if (bad)
            File.Fail(std::strerror(err ? err : errno));
    }

  private:
    const TTempFile& File;
    FILE* Fp;
    std::vector<uint8_t> Buf;
};

// Variable-width LZW with a clear code once the table is full: the image
// data block as stored, with its code size and sub-blocks.
std::vector<uint8_t> Lzw(const std::vector<uint8_t>& pixels, int minBits)
{
    const int clear = 1 << minBits, eoi = clear + 1;
    std::vector<uint8_t> data;
    uint32_t acc = 0;
    int accBits = 0;
    int bits = minBits + 1, maxCode = eoi;
    auto put = [&](int code) {
        acc |= uint32_t(code) << accBits;
        accBits += bits;
        while (accBits >= 8) {
            data.push_back(uint8_t(acc & 0xFF));
            acc >>= 8;
            accBits -= 8;
        }
    };
    // (prefix << 8 | byte) -> code, open addressing, cleared by generation.
    constexpr size_t kSize = 1 << 14;
    std::vector<uint32_t> keys(kSize), gens(kSize, 0);
    std::vector<uint16_t> codes(kSize);
    uint32_t gen = 1;
    put(clear);
    int prefix = -1;
    for (uint8_t c : pixels) {
        if (prefix < 0) {
            prefix = c;
            continue;
        }
        uint32_t key = uint32_t(prefix) << 8 | c;
        size_t h = (key * 2654435761u) >> 18;
        while (gens[h] == gen && keys[h] != key)
            h = (h + 1) & (kSize - 1);
        if (gens[h] == gen) {
            prefix = codes[h];
            continue;
        }
        put(prefix);
        ++maxCode;
        gens[h] = gen;
        keys[h] = key;
        codes[h] = uint16_t(maxCode);
        if (maxCode >= (1 << bits))
            ++bits;
        if (maxCode == 4095) {
            put(clear);
            ++gen;
            bits = minBits + 1;
            maxCode = eoi;
        }
        prefix = c;
    }
    if (prefix >= 0)
        put(prefix);
    put(eoi);
    if (accBits > 0)
        data.push_back(uint8_t(acc & 0xFF));
    std::vector<uint8_t> block;
    block.reserve(data.size() + data.size() / 255 + 3);
    block.push_back(uint8_t(minBits));
    for (size_t i = 0; i < data.size(); i += 255) {
        size_t n = std::min<size_t>(255, data.size() - i);
        block.push_back(uint8_t(n));
        block.insert(block.end(), data.begin() + long(i), data.begin() + long(i + n));
    }
    block.push_back(0);
    return block;
}

struct TQuant {
    liq_attr* Attr = liq_attr_create();
    liq_result* Result = nullptr;
    ~TQuant()
    {
        if (Result)
            liq_result_destroy(Result);
        liq_attr_destroy(Attr);
    }
};

// RGBA rows of a rectangle of the canvas (B, G, R, x in memory).
std::vector<uint8_t> Rgba(const TRenderer& r, const TRect& rect)
{
    std::vector<uint8_t> out(size_t(rect.w) * rect.h * 4);
    for (int y = 0; y < rect.h; ++y) {
        const uint8_t* s = r.Pixels() + size_t(rect.y + y) * r.Stride() + size_t(rect.x) * 4;
        uint8_t* d = out.data() + size_t(y) * rect.w * 4;
        for (int x = 0; x < rect.w; ++x, s += 4, d += 4) {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = 255;
        }
    }
    return out;
}

} // namespace

TEncodeResult EncodeGif(const TTimeline& t, const std::string& path, const TEncodeOptions& options)
{
    TTempFile file(path);
    TRenderer renderer(t);
    const int W = renderer.Width(), H = renderer.Height();
    if (W > 65535 || H > 65535)
        file.Fail("a GIF is at most 65535 pixels wide and high");
    const int32_t frames = VideoFrameCount(t), shown = t.FrameCount();
    TOut out(file);
    out.Bytes("GIF89a", 6);
    out.Word(uint16_t(W));
    out.Word(uint16_t(H));
    out.Byte(0); // no global colour table: every image brings its own
    out.Byte(0);
    out.Byte(0);
    if (!t.stop) { // a looping movie loops forever
        out.Byte(0x21);
        out.Byte(0xFF);
        out.Byte(11);
        out.Bytes("NETSCAPE2.0", 11);
        out.Byte(3);
        out.Byte(1);
        out.Word(0);
        out.Byte(0);
    }

    TQuant q;
    liq_set_speed(q.Attr, 8);
    // Just short of perfect: a gradient may band a little, but the GIF is a
    // quarter smaller than at full quality, with the detail of a screen.
    liq_set_quality(q.Attr, 0, 95);
    std::vector<uint8_t> shownPixels(size_t(renderer.Stride()) * H, 0); // what the GIF shows
    struct TPending {
        TRect rect;
        std::vector<uint8_t> block; // the image data, compressed
        std::array<uint8_t, 768> table{};
        int colours = 0, bits = 1;
        int transparent = -1; // the index of "keep what is shown", if any
        int32_t frame = 0;
    };
    std::unique_ptr<TPending> pending;
    auto centis = [&](int32_t f) { return int64_t(std::llround(f * 100.0 / t.rate)); };
    auto emit = [&](const TPending& p, int32_t until) {
        int64_t delay = std::clamp<int64_t>(centis(until) - centis(p.frame), 0, 65535);
        out.Byte(0x21);
        out.Byte(0xF9);
        out.Byte(4);
        out.Byte(1 << 2 | (p.transparent >= 0 ? 1 : 0)); // keep what is under the rectangle
        out.Word(uint16_t(delay));
        out.Byte(uint8_t(std::max(p.transparent, 0)));
        out.Byte(0);
        const int bits = p.bits;
        out.Byte(0x2C);
        out.Word(uint16_t(p.rect.x));
        out.Word(uint16_t(p.rect.y));
        out.Word(uint16_t(p.rect.w));
        out.Word(uint16_t(p.rect.h));
        out.Byte(uint8_t(0x80 | (bits - 1)));
        out.Bytes(p.table.data(), size_t(3) << bits);
        out.Bytes(p.block.data(), p.block.size());
        out.Flush();
    };

    for (int32_t f = 0; f < frames; ++f) {
        TRect dirty = renderer.Render(std::min(f, shown - 1));
        // Only pixels that differ from what the GIF shows count.
        if (!dirty.Empty()) {
            int x1 = W, y1 = H, x2 = -1, y2 = -1;
            for (int y = dirty.y; y < dirty.y + dirty.h; ++y) {
                const uint32_t* a = reinterpret_cast<const uint32_t*>(
                    renderer.Pixels() + size_t(y) * renderer.Stride());
                const uint32_t* b = reinterpret_cast<const uint32_t*>(
                    shownPixels.data() + size_t(y) * renderer.Stride());
                for (int x = dirty.x; x < dirty.x + dirty.w; ++x)
                    if ((a[x] ^ b[x]) & 0xFFFFFF) {
                        x1 = std::min(x1, x);
                        x2 = std::max(x2, x);
                        y1 = std::min(y1, y);
                        y2 = std::max(y2, y);
                    }
            }
            dirty = x2 < 0 ? TRect{} : TRect{x1, y1, x2 - x1 + 1, y2 - y1 + 1};
        }
        if (f == 0)
            dirty = {0, 0, W, H};
        if (!dirty.Empty()) {
            // A new picture (a large change) gets a palette of its own.
            bool newPalette = !q.Result || dirty.Area() * 4 >= int64_t(W) * H;
            TRect rect = newPalette ? TRect{0, 0, W, H} : dirty;
            std::vector<uint8_t> rgba = Rgba(renderer, rect);
            liq_image* img = liq_image_create_rgba(q.Attr, rgba.data(), rect.w, rect.h, 0);
            if (newPalette) {
                if (q.Result)
                    liq_result_destroy(q.Result);
                q.Result = nullptr;
                if (liq_image_quantize(img, q.Attr, &q.Result) != LIQ_OK) {
                    liq_image_destroy(img);
                    file.Fail("cannot make a palette for a picture");
                }
                // Undithered: a rectangle maps exactly as the whole picture did.
                liq_set_dithering_level(q.Result, 0);
            }
            std::vector<uint8_t> indices(size_t(rect.w) * rect.h);
            liq_write_remapped_image(q.Result, img, indices.data(), indices.size());
            liq_image_destroy(img);
            // A pixel the GIF already shows as drawn is left out (transparent:
            // long runs of one code), and the image shrinks to the pixels that
            // changed, also when a new picture brings a new palette.
            const liq_palette* pal = liq_get_palette(q.Result);
            std::vector<uint8_t> keep(indices.size(), 0);
            int kx1 = rect.w, ky1 = rect.h, kx2 = -1, ky2 = -1;
            for (int y = 0; y < rect.h; ++y) {
                const size_t row = size_t(rect.y + y) * renderer.Stride() + size_t(rect.x) * 4;
                const uint32_t* a = reinterpret_cast<const uint32_t*>(renderer.Pixels() + row);
                const uint32_t* b = reinterpret_cast<const uint32_t*>(shownPixels.data() + row);
                for (int x = 0; x < rect.w; ++x) {
                    const size_t i = size_t(y) * rect.w + x;
                    if (f > 0 && !((a[x] ^ b[x]) & 0xFFFFFF))
                        continue;
                    keep[i] = 1;
                    kx1 = std::min(kx1, x), kx2 = std::max(kx2, x);
                    ky1 = std::min(ky1, y), ky2 = std::max(ky2, y);
                }
            }
            auto next = std::make_unique<TPending>();
            next->frame = f;
            if (kx2 >= 0) {
                const TRect inner{rect.x + kx1, rect.y + ky1, kx2 - kx1 + 1, ky2 - ky1 + 1};
                // Each image carries only the colours it uses, and with
                // transparency one more for the pixels left out.
                auto make = [&](bool transparency) {
                    auto img = std::make_unique<TPending>();
                    img->frame = f;
                    img->rect = inner;
                    std::vector<uint8_t> out(size_t(inner.w) * inner.h);
                    std::array<int, 256> map;
                    map.fill(-1);
                    if (transparency)
                        img->transparent = img->colours++;
                    for (int y = 0; y < inner.h; ++y)
                        for (int x = 0; x < inner.w; ++x) {
                            const size_t i = size_t(ky1 + y) * rect.w + kx1 + x;
                            const uint8_t c = indices[i];
                            uint8_t& o = out[size_t(y) * inner.w + x];
                            if (transparency && !keep[i]) {
                                o = uint8_t(img->transparent);
                                continue;
                            }
                            if (map[c] < 0) {
                                if (img->colours == 256)
                                    return std::unique_ptr<TPending>(); // no room left
                                map[c] = img->colours++;
                                img->table[size_t(map[c]) * 3 + 0] = pal->entries[c].r;
                                img->table[size_t(map[c]) * 3 + 1] = pal->entries[c].g;
                                img->table[size_t(map[c]) * 3 + 2] = pal->entries[c].b;
                            }
                            o = uint8_t(map[c]);
                        }
                    while ((1 << img->bits) < img->colours)
                        ++img->bits;
                    img->block = Lzw(out, std::max(2, img->bits));
                    return img;
                };
                next = make(false);
                // Runs of the transparent index compress well, but one more
                // colour can cost a bit a pixel: the smaller image is kept.
                if (std::find(keep.begin(), keep.end(), 0) != keep.end())
                    if (auto clear = make(true); clear && clear->block.size() + (size_t(3) << clear->bits) <
                                                           next->block.size() + (size_t(3) << next->bits))
                        next = std::move(clear);
            }
            // Later frames are compared with the canvas as drawn, not as mapped.
            for (int y = 0; y < rect.h; ++y)
                std::memcpy(shownPixels.data() + size_t(rect.y + y) * renderer.Stride() +
                                size_t(rect.x) * 4,
                            renderer.Pixels() + size_t(rect.y + y) * renderer.Stride() +
                                size_t(rect.x) * 4,
                            size_t(rect.w) * 4);
            if (next->rect.Empty())
                ; // nothing that shows changed: the image before stays longer
            else {
                if (pending)
                    emit(*pending, f);
                pending = std::move(next);
            }
        }
        if (options.Progress && !options.Progress(f + 1, frames))
            throw TCancelled();
    }
    if (pending)
        emit(*pending, frames);
    out.Byte(0x3B);
    out.Close();
    file.Commit();
    TEncodeResult result;
    result.Frames = frames;
    result.Width = W;
    result.Height = H;
    return result;
}

} // namespace video
