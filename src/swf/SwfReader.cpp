#include "swf/SwfReader.h"

#include <cstring>
#include <stdexcept>

#include <libdeflate.h>

#include "swf/Media.h"

namespace swf {

namespace {

[[noreturn]] void Malformed(const std::string& why) { throw std::runtime_error("Malformed SWF: " + why); }

class Reader {
public:
    Reader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
    size_t Pos() const { return pos_; }
    size_t Left() const { return n_ - pos_; }
    void Need(size_t k) const {
        if (k > n_ - pos_) Malformed("data ends early");
    }
    uint32_t U8() {
        Align();
        Need(1);
        return p_[pos_++];
    }
    uint32_t U16() {
        uint32_t a = U8();
        return a | U8() << 8;
    }
    uint32_t U32() {
        uint32_t a = U16();
        return a | U16() << 16;
    }
    Bytes Take(size_t k) {
        Align();
        Need(k);
        Bytes b(p_ + pos_, p_ + pos_ + k);
        pos_ += k;
        return b;
    }
    uint64_t UB(int nbits) {
        uint64_t v = 0;
        for (int i = 0; i < nbits; ++i) {
            if (bit_ == 0) Need(1);
            v = v << 1 | ((p_[pos_] >> (7 - bit_)) & 1);
            if (++bit_ == 8) {
                bit_ = 0;
                ++pos_;
            }
        }
        return v;
    }
    int64_t SB(int nbits) {
        if (nbits == 0) return 0;
        uint64_t v = UB(nbits);
        if (v >> (nbits - 1) & 1) v |= ~0ull << nbits;
        return static_cast<int64_t>(v);
    }
    void Align() {
        if (bit_) {
            bit_ = 0;
            ++pos_;
        }
    }

private:
    const uint8_t* p_;
    size_t n_;
    size_t pos_ = 0;
    int bit_ = 0;
};

Rect ReadRect(Reader& r) {
    int n = static_cast<int>(r.UB(5));
    Rect rc;
    rc.xmin = static_cast<int32_t>(r.SB(n));
    rc.xmax = static_cast<int32_t>(r.SB(n));
    rc.ymin = static_cast<int32_t>(r.SB(n));
    rc.ymax = static_cast<int32_t>(r.SB(n));
    r.Align();
    return rc;
}

Matrix ReadMatrix(Reader& r) {
    Matrix m;
    if (r.UB(1)) {
        int n = static_cast<int>(r.UB(5));
        m.scaleX = static_cast<int32_t>(r.SB(n));
        m.scaleY = static_cast<int32_t>(r.SB(n));
    }
    if (r.UB(1)) {
        int n = static_cast<int>(r.UB(5));
        m.rotate0 = static_cast<int32_t>(r.SB(n));
        m.rotate1 = static_cast<int32_t>(r.SB(n));
    }
    int n = static_cast<int>(r.UB(5));
    m.translateX = static_cast<int32_t>(r.SB(n));
    m.translateY = static_cast<int32_t>(r.SB(n));
    r.Align();
    return m;
}

uint32_t ReadColor(Reader& r, bool alpha) {
    uint32_t c = r.U8() << 24;
    c |= r.U8() << 16;
    c |= r.U8() << 8;
    return c | (alpha ? r.U8() : 0xFF);
}

void ReadShape(Reader& r, ReadCharacter& c, int version) {
    c.bounds = ReadRect(r);
    bool alpha = version >= 3;
    auto readStyles = [&]() {
        uint32_t fills = r.U8();
        if (fills == 0xFF) fills = r.U16();
        for (uint32_t i = 0; i < fills; ++i) {
            uint32_t type = r.U8();
            if (type == 0x00) {
                uint32_t col = ReadColor(r, alpha);
                if (!c.solidFill) c.solidFill = col;
            } else if (type >= 0x40 && type <= 0x43) {
                uint16_t id = static_cast<uint16_t>(r.U16());
                Matrix m = ReadMatrix(r);
                if (!c.bitmap) {
                    c.bitmap = id;
                    c.bitmapMatrix = m;
                }
            } else {
                throw std::runtime_error("Malformed SWF: fill style not read by this reader");
            }
        }
        uint32_t lines = r.U8();
        if (lines == 0xFF) lines = r.U16();
        for (uint32_t i = 0; i < lines; ++i) {
            uint16_t width = static_cast<uint16_t>(r.U16());
            uint32_t col = ReadColor(r, alpha);
            if (!c.lineColor) {
                c.lineColor = col;
                c.lineWidth = width;
            }
        }
    };
    readStyles();
    int fillBits = static_cast<int>(r.UB(4)), lineBits = static_cast<int>(r.UB(4));
    int32_t x = 0, y = 0;
    for (;;) {
        if (r.UB(1) == 0) {
            uint64_t flags = r.UB(5);
            if (flags == 0) break;
            if (flags & 1) {
                int n = static_cast<int>(r.UB(5));
                x = static_cast<int32_t>(r.SB(n));
                y = static_cast<int32_t>(r.SB(n));
                c.points.emplace_back(x, y);
            }
            if (flags & 2) r.UB(fillBits);
            if (flags & 4) r.UB(fillBits);
            if (flags & 8) r.UB(lineBits);
            if (flags & 16) {
                r.Align();
                readStyles();
                fillBits = static_cast<int>(r.UB(4));
                lineBits = static_cast<int>(r.UB(4));
            }
        } else if (r.UB(1) == 1) {
            int n = static_cast<int>(r.UB(4)) + 2;
            if (r.UB(1)) {
                x += static_cast<int32_t>(r.SB(n));
                y += static_cast<int32_t>(r.SB(n));
            } else if (r.UB(1)) {
                y += static_cast<int32_t>(r.SB(n));
            } else {
                x += static_cast<int32_t>(r.SB(n));
            }
            c.points.emplace_back(x, y);
        } else {
            int n = static_cast<int>(r.UB(4)) + 2;
            x += static_cast<int32_t>(r.SB(n));
            y += static_cast<int32_t>(r.SB(n));
            x += static_cast<int32_t>(r.SB(n));
            y += static_cast<int32_t>(r.SB(n));
        }
    }
}

void ReadFont(Reader& r, ReadCharacter& c) {
    uint32_t flags = r.U8();
    r.U8();  // language
    uint32_t nameLen = r.U8();
    Bytes name = r.Take(nameLen);
    c.fontName.assign(name.begin(), name.end());
    uint32_t n = r.U16();
    bool wideOffsets = flags & 0x08;
    bool wideCodes = flags & 0x04;
    size_t tableStart = r.Pos();
    std::vector<uint32_t> offsets(n + 1);
    for (auto& o : offsets) o = wideOffsets ? r.U32() : r.U16();
    if (n == 0) return;
    size_t codeStart = tableStart + offsets[n];
    if (codeStart < r.Pos()) Malformed("font code table offset");
    r.Need(codeStart - r.Pos());
    r.Take(codeStart - r.Pos());
    for (uint32_t i = 0; i < n; ++i) c.codes.push_back(static_cast<uint16_t>(wideCodes ? r.U16() : r.U8()));
}

void ReadText(Reader& r, ReadCharacter& c, bool alpha, const std::map<uint16_t, ReadCharacter>& chars) {
    c.bounds = ReadRect(r);
    ReadMatrix(r);
    int glyphBits = static_cast<int>(r.U8()), advanceBits = static_cast<int>(r.U8());
    const ReadCharacter* font = nullptr;
    for (;;) {
        uint32_t flags = r.U8();
        if (flags == 0) break;
        if (flags & 0x08) {
            c.font = static_cast<uint16_t>(r.U16());
            auto it = chars.find(c.font);
            font = it == chars.end() ? nullptr : &it->second;
        }
        if (flags & 0x04) c.textColor = ReadColor(r, alpha);
        if (flags & 0x01) r.U16();
        if (flags & 0x02) r.U16();
        if (flags & 0x08) c.textHeight = static_cast<uint16_t>(r.U16());
        uint32_t count = r.U8();
        for (uint32_t i = 0; i < count; ++i) {
            uint64_t index = r.UB(glyphBits);
            r.SB(advanceBits);
            c.text.push_back(font && index < font->codes.size() ? font->codes[index] : u'\uFFFD');
        }
        r.Align();
    }
}

}  // namespace

size_t ReadMovie::CountTags(uint16_t code) const {
    size_t n = 0;
    for (const auto& t : tags) n += t.code == code;
    return n;
}

ReadMovie ParseMovie(const Bytes& file) {
    if (file.size() < 8) Malformed("shorter than a header");
    ReadMovie m;
    if ((file[0] != 'F' && file[0] != 'C') || file[1] != 'W' || file[2] != 'S') Malformed("no FWS/CWS signature");
    m.compressed = file[0] == 'C';
    m.version = file[3];
    m.fileLength = file[4] | file[5] << 8 | file[6] << 16 | static_cast<uint32_t>(file[7]) << 24;
    if (m.fileLength < 8) Malformed("file length below 8");
    Bytes body;
    if (m.compressed) {
        if (m.fileLength > (1u << 31)) Malformed("implausible file length");
        body.resize(m.fileLength - 8);
        libdeflate_decompressor* d = libdeflate_alloc_decompressor();
        size_t actual = 0;
        auto res = libdeflate_zlib_decompress(d, file.data() + 8, file.size() - 8, body.data(), body.size(),
                                              &actual);
        libdeflate_free_decompressor(d);
        if (res != LIBDEFLATE_SUCCESS || actual != body.size())
            Malformed("compressed body does not inflate to the stated length");
    } else {
        if (m.fileLength != file.size())
            Malformed("header says " + std::to_string(m.fileLength) + " bytes, file has " +
                      std::to_string(file.size()));
        body.assign(file.begin() + 8, file.end());
    }
    Reader r(body.data(), body.size());
    m.frameSize = ReadRect(r);
    m.frameRate = r.U16() / 256.0;
    m.frameCount = static_cast<uint16_t>(r.U16());

    std::map<uint16_t, DisplayItem> display;
    ReadFrame frame;
    bool ended = false;
    while (r.Left() > 0) {
        ReadTag t;
        t.offset = r.Pos() + 8;
        uint32_t head = r.U16();
        t.code = static_cast<uint16_t>(head >> 6);
        uint32_t len = head & 0x3F;
        if (len == 0x3F) len = r.U32();
        t.body = r.Take(len);
        Reader b(t.body.data(), t.body.size());
        auto define = [&](uint16_t id) -> ReadCharacter& {
            if (m.characters.count(id)) Malformed("character " + std::to_string(id) + " defined twice");
            ReadCharacter& c = m.characters[id];
            c.id = id;
            c.tag = t.code;
            return c;
        };
        switch (t.code) {
            case 0: ended = true; break;
            case 1:
                frame.display = display;
                m.frames.push_back(frame);
                frame = ReadFrame{};
                break;
            case 9: m.background = ReadColor(b, false) >> 8; break;
            case 12:
                while (b.Left() > 0) {
                    uint32_t code = b.U8();
                    if (code == 0) break;
                    if (code == 0x07) frame.stops++;
                    if (code >= 0x80) b.Take(b.U16());
                }
                break;
            case 2:
            case 22:
            case 32: {
                ReadCharacter& c = define(static_cast<uint16_t>(b.U16()));
                ReadShape(b, c, t.code == 32 ? 3 : t.code == 22 ? 2 : 1);
                break;
            }
            case 21: {
                ReadCharacter& c = define(static_cast<uint16_t>(b.U16()));
                c.jpeg = b.Take(b.Left());
                break;
            }
            case 48:
            case 75: {
                ReadCharacter& c = define(static_cast<uint16_t>(b.U16()));
                ReadFont(b, c);
                break;
            }
            case 11:
            case 33: {
                ReadCharacter& c = define(static_cast<uint16_t>(b.U16()));
                ReadText(b, c, t.code == 33, m.characters);
                break;
            }
            case 14: {
                ReadCharacter& c = define(static_cast<uint16_t>(b.U16()));
                uint32_t f = b.U8();
                c.soundFormat = static_cast<int>(f >> 4);
                c.soundRate = static_cast<int>((f >> 2) & 3);
                c.soundBits = f & 2 ? 16 : 8;
                c.soundChannels = f & 1 ? 2 : 1;
                c.sampleCount = b.U32();
                break;
            }
            case 15: {
                uint16_t id = static_cast<uint16_t>(b.U16());
                if (!m.characters.count(id)) Malformed("StartSound of an undefined sound");
                frame.soundsStarted.push_back(id);
                break;
            }
            case 26: {
                uint32_t flags = b.U8();
                uint16_t depth = static_cast<uint16_t>(b.U16());
                bool move = flags & 0x01, hasChar = flags & 0x02, hasMatrix = flags & 0x04;
                DisplayItem item;
                auto it = display.find(depth);
                if (move) {
                    if (it == display.end()) Malformed("PlaceObject2 moves an empty depth " + std::to_string(depth));
                    item = it->second;
                } else if (it != display.end()) {
                    Malformed("PlaceObject2 onto the occupied depth " + std::to_string(depth));
                }
                if (hasChar) {
                    item.character = static_cast<uint16_t>(b.U16());
                    if (!m.characters.count(item.character))
                        Malformed("PlaceObject2 of the undefined character " + std::to_string(item.character));
                }
                if (hasMatrix) item.matrix = ReadMatrix(b);
                display[depth] = item;
                frame.placeTags++;
                break;
            }
            case 28: {
                uint16_t depth = static_cast<uint16_t>(b.U16());
                if (!display.erase(depth)) Malformed("RemoveObject2 of the empty depth " + std::to_string(depth));
                frame.removeTags++;
                break;
            }
            default: break;
        }
        m.tags.push_back(std::move(t));
        if (ended) break;
    }
    if (!ended) Malformed("no End tag");
    if (r.Left() != 0) Malformed("data after the End tag");
    if (m.frames.size() != m.frameCount)
        Malformed("header counts " + std::to_string(m.frameCount) + " frames, file shows " +
                  std::to_string(m.frames.size()));
    return m;
}

ReadMovie ReadMovieFile(const std::string& path) { return ParseMovie(ReadFileBytes(path)); }

}  // namespace swf
