// Lossless re-coding of baseline JPEG entropy data with optimal Huffman
// tables, working on Huffman symbols rather than coefficients: the symbols
// and their extra bits are read once, counted, and written again with new
// codes. That is several times faster than a coefficient round trip through
// libjpeg, and it checks the entropy data completely on the way. Anything
// unusual (progressive, arithmetic, several scans, RGB-coded) is left to the
// libjpeg path.
#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <vector>

#include "swf/JpegRecode.h"

namespace swf {

namespace {

// Codes up to this long decode with one table lookup.
constexpr int kLookBits = 11;

struct HuffTable {
    bool defined = false;
    uint8_t bits[17] = {};  // bits[l]: number of codes of length l
    uint8_t vals[256] = {};
    int count = 0;
    // Decoding: canonical code ranges per length, and a lookahead table.
    int32_t maxcode[18] = {};
    int32_t valptr[17] = {};
    int32_t mincode[17] = {};
    uint16_t look[1 << kLookBits] = {};  // (length << 8) | symbol; 0 = not in lookahead
    // False for a table with more codes than its lengths allow.
    bool Build() {
        int code = 0, k = 0;
        std::memset(look, 0, sizeof look);
        for (int l = 1; l <= 16; ++l) {
            valptr[l] = k;
            mincode[l] = code;
            if (code + bits[l] >= (1 << l)) return false;  // no all-ones code, as libjpeg
            for (int i = 0; i < bits[l]; ++i, ++k, ++code) {
                if (l <= kLookBits) {
                    int shift = kLookBits - l;
                    for (int j = 0; j < (1 << shift); ++j)
                        look[(code << shift) | j] = static_cast<uint16_t>(l << 8 | vals[k]);
                }
            }
            maxcode[l] = bits[l] ? code - 1 : -1;
            code <<= 1;
        }
        maxcode[17] = 0x7FFFFFFF;
        return true;
    }
};

class BitIn {
public:
    BitIn(const uint8_t* p, size_t n) : p_(p), n_(n) {}
    // Fills the accumulator; past the end of the entropy data (a marker) it
    // feeds zeros but remembers that it did, so overruns are caught.
    __attribute__((always_inline)) void Fill() {
        // Fast path: eight bytes without 0xFF need no unstuffing.
        if (__builtin_expect(!atMarker_ && pos_ + 8 <= n_ && count_ <= 56, 1)) {
            uint64_t v;
            std::memcpy(&v, p_ + pos_, 8);
            v = __builtin_bswap64(v);
            if (((~v - 0x0101010101010101ull) & v & 0x8080808080808080ull) == 0) {
                int k = (64 - count_) / 8;
                acc_ |= (v >> (64 - 8 * k)) << (64 - 8 * k - count_);
                pos_ += static_cast<size_t>(k);
                count_ += 8 * k;
                return;
            }
        }
        FillSlow();
    }
    __attribute__((always_inline)) void FillSlow() {
        while (count_ <= 56) {
            uint8_t b = 0;
            if (!atMarker_ && pos_ < n_) {
                b = p_[pos_];
                if (b == 0xFF) {
                    if (pos_ + 1 < n_ && p_[pos_ + 1] == 0x00) {
                        pos_ += 2;
                    } else {
                        atMarker_ = true;
                        b = 0;
                        overrun_ += 8;
                    }
                } else {
                    ++pos_;
                }
            } else {
                overrun_ += 8;
            }
            acc_ |= static_cast<uint64_t>(b) << (56 - count_);
            count_ += 8;
        }
    }
    __attribute__((always_inline)) uint32_t Peek(int n) {
        if (count_ < n) Fill();
        return static_cast<uint32_t>(acc_ >> (64 - n));
    }
    __attribute__((always_inline)) void Skip(int n) {
        acc_ <<= n;
        count_ -= n;
    }
    __attribute__((always_inline)) uint32_t Get(int n) {
        if (n == 0) return 0;
        uint32_t v = Peek(n);
        Skip(n);
        return v;
    }
    // True when bits beyond the real data were consumed.
    bool Overran() const { return count_ < overrun_; }
    // At a restart: drop the padding bits, expect RSTn next.
    bool Restart(int n) {
        Fill();
        int drop = count_ % 8;
        Skip(drop);
        // Whole bytes still buffered must be padding-free: there should be none
        // except zero-fed ones beyond the marker.
        if (count_ - overrun_ > 0) return false;
        if (!atMarker_) return false;
        if (pos_ + 1 >= n_ || p_[pos_] != 0xFF || p_[pos_ + 1] != (0xD0 | n)) return false;
        pos_ += 2;
        acc_ = 0;
        count_ = 0;
        overrun_ = 0;
        atMarker_ = false;
        return true;
    }
    // After the last MCU: the data must end at a marker (EOI).
    size_t EndPos() const { return pos_; }
    bool Finished() {
        Fill();
        return count_ - overrun_ < 8 && (atMarker_ || pos_ >= n_);
    }

private:
    const uint8_t* p_;
    size_t n_;
    size_t pos_ = 0;
    uint64_t acc_ = 0;
    int count_ = 0;
    int overrun_ = 0;
    bool atMarker_ = false;
};

// Decodes the symbol at the top of a 27-bit window (the longest code plus
// the most extra bits that can follow it); len gets the code's length.
// Returns -1 for a code that is not in the table.
inline __attribute__((always_inline)) int Lookup(uint32_t window, const HuffTable& t, int& len) {
    uint16_t e = t.look[window >> (27 - kLookBits)];
    if (e) {
        len = e >> 8;
        return e & 0xFF;
    }
    uint32_t look = window >> 11;  // 16 bits
    for (int l = kLookBits + 1; l <= 16; ++l) {
        int32_t code = static_cast<int32_t>(look >> (16 - l));
        if (code <= t.maxcode[l]) {
            len = l;
            return t.vals[t.valptr[l] + code - t.mincode[l]];
        }
    }
    return -1;
}

// The n extra bits after a code of length len in the window.
inline uint32_t ExtraBits(uint32_t window, int len, int n) {
    return n ? (window >> (27 - len - n)) & ((1u << n) - 1) : 0;
}

// Optimal code lengths limited to 16 bits (the JPEG standard's Annex K).
void OptimalTable(const std::array<long, 257>& freqIn, HuffTable& t) {
    long freq[257];
    std::copy(freqIn.begin(), freqIn.end(), freq);
    freq[256] = 1;  // reserves the all-ones code
    int codesize[257] = {};
    int others[257];
    std::fill(std::begin(others), std::end(others), -1);
    for (;;) {
        int c1 = -1, c2 = -1;
        long v = 1000000000L;
        for (int i = 0; i <= 256; ++i)
            if (freq[i] && freq[i] <= v) {
                v = freq[i];
                c1 = i;
            }
        v = 1000000000L;
        for (int i = 0; i <= 256; ++i)
            if (freq[i] && freq[i] <= v && i != c1) {
                v = freq[i];
                c2 = i;
            }
        if (c2 < 0) break;
        freq[c1] += freq[c2];
        freq[c2] = 0;
        codesize[c1]++;
        while (others[c1] >= 0) {
            c1 = others[c1];
            codesize[c1]++;
        }
        others[c1] = c2;
        codesize[c2]++;
        while (others[c2] >= 0) {
            c2 = others[c2];
            codesize[c2]++;
        }
    }
    int bits[33] = {};
    for (int i = 0; i <= 256; ++i)
        if (codesize[i]) bits[std::min(codesize[i], 32)]++;
    for (int i = 32; i > 16; --i) {
        while (bits[i] > 0) {
            int j = i - 2;
            while (bits[j] == 0) --j;
            bits[i] -= 2;
            bits[i - 1]++;
            bits[j + 1] += 2;
            bits[j]--;
        }
    }
    int i = 16;
    while (bits[i] == 0) --i;
    bits[i]--;  // drop the reserved code
    t = HuffTable{};
    t.defined = true;
    for (int l = 1; l <= 16; ++l) t.bits[l] = static_cast<uint8_t>(bits[l]);
    int p = 0;
    for (int l = 1; l <= 32; ++l)
        for (int s = 0; s <= 255; ++s)
            if (codesize[s] == l) t.vals[p++] = static_cast<uint8_t>(s);
    t.count = p;
}

// Writes bits with byte stuffing into a buffer sized for the worst case.
class BitOut {
public:
    explicit BitOut(uint8_t* p) : p_(p) {}
    void Put(uint32_t bits, int n) {
        acc_ = acc_ << n | (bits & ((1ull << n) - 1));
        count_ += n;
        if (count_ >= 32) {
            uint32_t w = static_cast<uint32_t>(acc_ >> (count_ - 32));
            count_ -= 32;
            // No 0xFF byte in the word: store it whole.
            if (((~w - 0x01010101u) & w & 0x80808080u) == 0) {
                uint32_t be = __builtin_bswap32(w);
                std::memcpy(p_, &be, 4);
                p_ += 4;
            } else {
                for (int sh = 24; sh >= 0; sh -= 8) {
                    uint8_t b = static_cast<uint8_t>(w >> sh);
                    *p_++ = b;
                    if (b == 0xFF) *p_++ = 0;
                }
            }
        }
    }
    void PadToByte() {
        if (count_ % 8) Put(0x7F, 8 - count_ % 8);
        while (count_ >= 8) {
            uint8_t b = static_cast<uint8_t>(acc_ >> (count_ - 8));
            *p_++ = b;
            if (b == 0xFF) *p_++ = 0;
            count_ -= 8;
        }
    }
    void Raw(uint8_t b) { *p_++ = b; }
    uint8_t* Pos() const { return p_; }

private:
    uint8_t* p_;
    uint64_t acc_ = 0;
    int count_ = 0;
};

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

struct Component {
    int id = 0, h = 1, v = 1, tq = 0;
    int td = 0, ta = 0;  // from the scan
};

}  // namespace

namespace {
// Token buffers are large and short-lived; keeping a few spares saves the
// page faults of fresh memory for every picture.
std::mutex spareMutex;
std::vector<std::pair<size_t, std::unique_ptr<uint32_t[]>>> spares;
}  // namespace

void ScanData::AllocateTokens(size_t count) {
    {
        std::lock_guard<std::mutex> lock(spareMutex);
        for (auto it = spares.begin(); it != spares.end(); ++it)
            if (it->first >= count) {
                tokenCapacity = it->first;
                tokens = std::move(it->second);
                spares.erase(it);
                return;
            }
    }
    // Round up, so the spares fit the next picture of about the same size.
    size_t capacity = 1u << 16;
    while (capacity < count) capacity *= 2;
    tokens.reset(new uint32_t[capacity]);
    tokenCapacity = capacity;
}

ScanData::~ScanData() {
    if (!tokens) return;
    std::lock_guard<std::mutex> lock(spareMutex);
    if (spares.size() < 8) spares.emplace_back(tokenCapacity, std::move(tokens));
}

bool ParseScan(const uint8_t* data, size_t size, bool keepTokens, ScanData& scan) {
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
    HuffTable dc[4], ac[4];
    bool haveQuant[4] = {};
    std::vector<Component> comps;
    int width = 0, height = 0;
    unsigned restartInterval = 0;
    bool adobe = false;
    int adobeTransform = -1;
    size_t pos = 2;
    std::vector<std::pair<size_t, size_t>> keep;  // header segments copied to the output
    size_t sosStart = 0, sosLen = 0;
    for (;;) {
        if (pos + 4 > size || data[pos] != 0xFF) return false;
        uint8_t marker = data[pos + 1];
        if (marker == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        size_t len = Be16(data + pos + 2);
        if (len < 2 || pos + 2 + len > size) return false;
        const uint8_t* seg = data + pos + 4;
        size_t segLen = len - 2;
        switch (marker) {
            case 0xC0:
            case 0xC1: {
                if (segLen < 6 || seg[0] != 8 || !comps.empty()) return false;
                height = Be16(seg + 1);
                width = Be16(seg + 3);
                int n = seg[5];
                if (width == 0 || height == 0 || (n != 1 && n != 3) || segLen != 6u + 3u * n) return false;
                if (!JpegSizeFits(width, height)) return false;
                for (int i = 0; i < n; ++i) {
                    Component c;
                    c.id = seg[6 + 3 * i];
                    c.h = seg[7 + 3 * i] >> 4;
                    c.v = seg[7 + 3 * i] & 15;
                    c.tq = seg[8 + 3 * i];
                    if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.tq > 3) return false;
                    comps.push_back(c);
                }
                keep.emplace_back(pos, len + 2);
                break;
            }
            case 0xC4: {
                size_t p = 0;
                while (p < segLen) {
                    if (p + 17 > segLen) return false;
                    int tc = seg[p] >> 4, th = seg[p] & 15;
                    if (tc > 1 || th > 3) return false;
                    HuffTable& t = tc ? ac[th] : dc[th];
                    t = HuffTable{};
                    int total = 0;
                    for (int l = 1; l <= 16; ++l) total += (t.bits[l] = seg[p + l]);
                    if (total > 256 || p + 17 + total > segLen) return false;
                    std::memcpy(t.vals, seg + p + 17, total);
                    t.count = total;
                    t.defined = true;
                    if (!t.Build()) return false;
                    p += 17 + total;
                }
                break;  // replaced by the optimal tables
            }
            case 0xDB: {
                size_t p = 0;
                while (p < segLen) {
                    int pq = seg[p] >> 4, tq = seg[p] & 15;
                    if (pq > 1 || tq > 3) return false;
                    size_t n = 1 + (pq ? 128 : 64);
                    if (p + n > segLen) return false;
                    haveQuant[tq] = true;
                    p += n;
                }
                keep.emplace_back(pos, len + 2);
                break;
            }
            case 0xDD:
                if (segLen < 2) return false;
                restartInterval = Be16(seg);
                keep.emplace_back(pos, len + 2);
                break;
            case 0xE0:
                keep.emplace_back(pos, len + 2);
                break;
            case 0xEE:
                if (segLen >= 12 && std::memcmp(seg, "Adobe", 5) == 0) {
                    adobe = true;
                    adobeTransform = seg[11];
                }
                keep.emplace_back(pos, len + 2);
                break;
            case 0xDA:
                sosStart = pos;
                sosLen = len + 2;
                break;
            default:
                // Other APPn and comments carry nothing a player shows; any
                // other frame type (progressive, arithmetic, lossless, ...)
                // goes to libjpeg.
                if ((marker >= 0xE1 && marker <= 0xEF) || marker == 0xFE) break;
                return false;
        }
        pos += 2 + len;
        if (sosStart) break;
    }
    if (comps.empty()) return false;
    // Three components are YCbCr unless marked otherwise.
    if (comps.size() == 3) {
        if (adobe && adobeTransform != 1) return false;
        if (comps[0].id == 'R' && comps[1].id == 'G' && comps[2].id == 'B') return false;
    }
    const uint8_t* sos = data + sosStart + 4;
    size_t sosSeg = sosLen - 4;
    int ns = sos[0];
    if (ns != static_cast<int>(comps.size()) || sosSeg != 4u + 2u * ns) return false;
    for (int i = 0; i < ns; ++i) {
        int cid = sos[1 + 2 * i];
        if (comps[i].id != cid) return false;
        comps[i].td = sos[2 + 2 * i] >> 4;
        comps[i].ta = sos[2 + 2 * i] & 15;
        if (comps[i].td > 3 || comps[i].ta > 3 || !dc[comps[i].td].defined || !ac[comps[i].ta].defined ||
            !haveQuant[comps[i].tq])
            return false;
    }
    // Baseline: the whole spectral range, no successive approximation.
    if (sos[1 + 2 * ns] != 0 || sos[2 + 2 * ns] != 63 || sos[3 + 2 * ns] != 0) return false;

    // MCU layout.
    int hmax = 1, vmax = 1;
    for (auto& c : comps) {
        hmax = std::max(hmax, c.h);
        vmax = std::max(vmax, c.v);
    }
    size_t mcusX, mcusY;
    std::vector<int> blockComp;  // component of each block in an MCU
    if (comps.size() == 1) {
        // A single-component scan is not interleaved: one block per MCU.
        mcusX = (static_cast<size_t>((width * comps[0].h + hmax - 1) / hmax) + 7) / 8;
        mcusY = (static_cast<size_t>((height * comps[0].v + vmax - 1) / vmax) + 7) / 8;
        blockComp = {0};
    } else {
        mcusX = (static_cast<size_t>(width) + 8 * hmax - 1) / (8 * hmax);
        mcusY = (static_cast<size_t>(height) + 8 * vmax - 1) / (8 * vmax);
        for (size_t i = 0; i < comps.size(); ++i)
            for (int k = 0; k < comps[i].h * comps[i].v; ++k) blockComp.push_back(static_cast<int>(i));
        if (blockComp.size() > 10) return false;
    }
    const size_t mcus = mcusX * mcusY;

    // Pass 1: read every symbol, count the symbols of each table.
    // Token: table slot (0-3 DC, 4-7 AC, 8 restart) << 24 | symbol << 16 | extra bits.
    // Every symbol takes at least one bit, so this many tokens always fit;
    // the pages are only touched as far as they are used.
    const bool store = keepTokens;  // checking only: no tokens kept
    scan.tokenCount = 0;
    if (store) scan.AllocateTokens(8 * size + 16);
    uint32_t* tp = scan.tokens.get();
    auto& freq = scan.freq;
    for (auto& f : freq) f.fill(0);
    BitIn in(data + sosStart + sosLen, size - sosStart - sosLen);
    int restartNo = 0;
    for (size_t m = 0; m < mcus; ++m) {
        if (restartInterval && m > 0 && m % restartInterval == 0) {
            if (!in.Restart(restartNo)) return false;
            if (store) *tp++ = (8u << 24 | static_cast<uint32_t>(restartNo));
            restartNo = (restartNo + 1) & 7;
        }
        for (int ci : blockComp) {
            const Component& c = comps[ci];
            uint32_t window = in.Peek(27);
            int len;
            int s = Lookup(window, dc[c.td], len);
            if (s < 0 || s > 11) return false;
            uint32_t dcBits = ExtraBits(window, len, s);
            in.Skip(len + s);
            if (store) *tp++ = (static_cast<uint32_t>(c.td) << 24 | static_cast<uint32_t>(s) << 16 | dcBits);
            freq[c.td][s]++;
            for (int k = 1; k < 64;) {
                window = in.Peek(27);
                int rs = Lookup(window, ac[c.ta], len);
                if (rs < 0) return false;
                int r = rs >> 4, sz = rs & 15;
                if (sz == 0 && r != 15) {  // end of block
                    in.Skip(len);
                    if (store) *tp++ = (static_cast<uint32_t>(4 + c.ta) << 24 | static_cast<uint32_t>(rs) << 16);
                    freq[4 + c.ta][rs]++;
                    break;
                }
                k += r + 1;
                if (k > 64 || sz > 10) return false;
                uint32_t acBits = ExtraBits(window, len, sz);
                in.Skip(len + sz);
                if (store) *tp++ = (static_cast<uint32_t>(4 + c.ta) << 24 | static_cast<uint32_t>(rs) << 16 | acBits);
                freq[4 + c.ta][rs]++;
            }
            if (in.Overran()) return false;
        }
    }
    if (in.Overran() || !in.Finished()) return false;
    // The scan must be followed by the end of the image.
    size_t end = sosStart + sosLen + in.EndPos();
    if (end + 2 > size || data[end] != 0xFF || data[end + 1] != 0xD9) return false;

    if (store) scan.tokenCount = static_cast<size_t>(tp - scan.tokens.get());
    scan.info.width = width;
    scan.info.height = height;
    scan.info.components = static_cast<int>(comps.size());
    scan.header.assign(data, data + 2);
    for (auto [p, n] : keep) scan.header.insert(scan.header.end(), data + p, data + p + n);
    scan.sos.assign(data + sosStart, data + sosStart + sosLen);
    return true;
}

bool EncodeScan(const ScanData& scan, Bytes& outBytes) {
    Bytes* out = &outBytes;
    const auto& freq = scan.freq;
    // Pass 2: write the same symbols with the optimal codes.
    HuffTable opt[8];
    // A token's top 16 bits (table slot and symbol) index its new code: the
    // code shifted left past the extra bits, how many extra bits follow, and
    // the length of both. Length 0: a restart (slot 8), or a symbol with no code.
    struct Code {
        uint32_t shifted;
        uint8_t extra;
        uint8_t total;
    };
    std::array<Code, 9 * 256> codes{};
    for (int t = 0; t < 8; ++t) {
        bool used = false;
        for (long f : freq[t]) used = used || f;
        if (!used) continue;
        OptimalTable(freq[t], opt[t]);
        int code = 0, k = 0;
        for (int l = 1; l <= 16; ++l) {
            for (int i = 0; i < opt[t].bits[l]; ++i, ++k, ++code) {
                int sym = opt[t].vals[k];
                int extra = t < 4 ? sym : sym & 15;
                codes[t * 256 + sym] = Code{static_cast<uint32_t>(code) << extra, static_cast<uint8_t>(extra),
                                            static_cast<uint8_t>(l + extra)};
            }
            code <<= 1;
        }
    }
    // Worst case: 27 bits per token, every byte stuffed. The buffer stays
    // with the thread: fresh memory would cost a page fault per 4 KiB.
    thread_local std::unique_ptr<uint8_t[]> buf;
    thread_local size_t bufSize = 0;
    const size_t need = scan.tokenCount * 8 + scan.header.size() + scan.sos.size() + 4096;
    if (bufSize < need) {
        buf.reset(new uint8_t[need]);
        bufSize = need;
    }
    uint8_t* w = buf.get();
    w = std::copy(scan.header.begin(), scan.header.end(), w);
    // One DHT segment with every table the scan uses.
    size_t dhtLen = 2;
    for (int t = 0; t < 8; ++t)
        if (opt[t].defined) dhtLen += 17 + static_cast<size_t>(opt[t].count);
    *w++ = 0xFF;
    *w++ = 0xC4;
    *w++ = static_cast<uint8_t>(dhtLen >> 8);
    *w++ = static_cast<uint8_t>(dhtLen);
    for (int t = 0; t < 8; ++t) {
        if (!opt[t].defined) continue;
        *w++ = static_cast<uint8_t>((t >= 4 ? 0x10 : 0x00) | (t & 3));
        for (int l = 1; l <= 16; ++l) *w++ = opt[t].bits[l];
        w = std::copy(opt[t].vals, opt[t].vals + opt[t].count, w);
    }
    w = std::copy(scan.sos.begin(), scan.sos.end(), w);
    BitOut bits(w);
    const uint32_t* tokens = scan.tokens.get();
    for (size_t i = 0; i < scan.tokenCount; ++i) {
        uint32_t tok = tokens[i];
        const Code& c = codes[tok >> 16];
        if (__builtin_expect(c.total == 0, 0)) {
            if ((tok >> 24) != 8) return false;
            bits.PadToByte();
            bits.Raw(0xFF);
            bits.Raw(static_cast<uint8_t>(0xD0 | (tok & 7)));
            continue;
        }
        // Code and extra bits together: at most 16 + 11 bits.
        bits.Put(c.shifted | (tok & ((1u << c.extra) - 1)), c.total);
    }
    bits.PadToByte();
    bits.Raw(0xFF);
    bits.Raw(0xD9);
    out->assign(buf.get(), bits.Pos());
    return true;
}

}  // namespace swf

namespace swf {

bool RecodeHuffman(const uint8_t* data, size_t size, Bytes* out, JpegInfo& info) {
    ScanData scan;
    if (!ParseScan(data, size, out != nullptr, scan)) return false;
    info = scan.info;
    return !out || EncodeScan(scan, *out);
}

}  // namespace swf
