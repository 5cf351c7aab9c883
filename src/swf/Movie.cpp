// The movie: a record of what was placed, removed and started in which frame,
// turned into tags only when the movie is written. Writing late lets depths
// be assigned from the whole timeline, so frames may be visited in any order.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>
#include <thread>
#include <unordered_map>

#include <isa-l/igzip_lib.h>

#include "swf/ObjectImpl.h"
#include "swf/Tags.h"
#include "swf/Writer.h"

namespace swf {

namespace {

constexpr int32_t kMaxFrame = 65534;  // the frame count is a UI16

struct Placement {
    uint64_t seq;
    int32_t frame;
    int32_t end = INT32_MAX;  // first frame it is gone
    std::shared_ptr<const Definition> def;
    int32_t tx, ty;
};

// Output of a compressor; left uninitialised until the compressor writes it.
struct RawBuffer {
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
};

using Pieces = std::vector<std::pair<const uint8_t*, size_t>>;

// The file to write, as pieces in order. Pieces point into what the output
// owns or into picture data the movie holds, so they are valid while both
// live.
struct MovieOutput {
    Pieces pieces;
    std::vector<Bytes> owned;  // moving a Bytes keeps its buffer where it is
    std::vector<RawBuffer> raw;

    size_t Size() const {
        size_t n = 0;
        for (auto& p : pieces) n += p.second;
        return n;
    }
    Bytes Join() const {
        Bytes all;
        all.reserve(Size());
        for (auto& [p, n] : pieces) all.insert(all.end(), p, p + n);
        return all;
    }
};

struct SoundStart {
    int32_t frame;
    std::shared_ptr<const WavSound> sound;
};

class MovieImpl final : public ISwfMovie {
public:
    explicit MovieImpl(const WriterOptions& o) : opt_(o) {
        if (opt_.maxDepth < 1 || opt_.maxDepth > 65535)
            throw std::invalid_argument("maxDepth must be 1 to 65535");
        if (opt_.compressionLevel < 0 || opt_.compressionLevel > 3)
            throw std::invalid_argument("compressionLevel must be 0 to 3");
    }

    void SetSize(int32_t width, int32_t height) override {
        if (width <= 0 || height <= 0 || width > kMaxCoord || height > kMaxCoord)
            throw std::out_of_range("SetSize: " + std::to_string(width) + " x " + std::to_string(height) +
                                    " twips is not a size an SWF file can hold");
        *this = MovieImpl(opt_);
        width_ = width;
        height_ = height;
        sized_ = true;
    }
    void SetFrameRate(int32_t rate) override {
        if (rate < 1 || rate > 255)
            throw std::out_of_range("SetFrameRate: " + std::to_string(rate) +
                                    " frames per second is outside 1 to 255");
        rate_ = rate;
    }
    void SetFrameBkColor(uint8_t red, uint8_t green, uint8_t blue) override {
        background_ = {red, green, blue, 255};
    }
    int32_t MaxFrame() const override { return kMaxFrame; }
    void GotoFrame(int32_t frame) override {
        if (frame < 0 || frame > kMaxFrame)
            throw std::out_of_range("GotoFrame: frame " + std::to_string(frame) + " is outside 0 to " +
                                    std::to_string(kMaxFrame));
        frame_ = frame;
    }
    void AddObject(ISwfObject& object) override {
        auto& o = Ours(object, "AddObject");
        auto def = o.Snapshot();
        if (std::holds_alternative<std::monostate>(*def))
            throw std::logic_error("AddObject: the object defines nothing yet");
        if (std::holds_alternative<FontDef>(*def)) {
            latest_[o.Id()] = SIZE_MAX;  // a font alone shows nothing
            return;
        }
        Touch();
        if (auto* s = std::get_if<SoundDef>(def.get())) {
            sounds_.push_back({frame_, s->sound});
            latest_[o.Id()] = SIZE_MAX;  // a started sound cannot be taken back
            return;
        }
        latest_[o.Id()] = placements_.size();
        placements_.push_back({seq_++, frame_, INT32_MAX, std::move(def), o.TranslateX(), o.TranslateY()});
    }
    void RemoveObject(ISwfObject& object) override {
        auto& o = Ours(object, "RemoveObject");
        Touch();
        auto it = latest_.find(o.Id());
        if (it == latest_.end() || it->second == SIZE_MAX) return;
        Placement& p = placements_[it->second];
        p.end = std::min(p.end, frame_);
    }
    void AddAction(ISwfAction& action) override {
        auto* a = dynamic_cast<ActionImpl*>(&action);
        if (!a) throw std::invalid_argument("AddAction: the action was not made by this writer");
        Touch();
        if (a->IsStop()) stops_.push_back(frame_);
    }
    void WriteMovie(const std::string& path) override;

    MovieOutput Build() const;
    static MovieOutput Compress(const MovieOutput& file, int level);

private:
    static ObjectImpl& Ours(ISwfObject& object, const char* call) {
        auto* o = dynamic_cast<ObjectImpl*>(&object);
        if (!o) throw std::invalid_argument(std::string(call) + ": the object was not made by this writer");
        return *o;
    }
    void Touch() { lastFrame_ = std::max(lastFrame_, frame_); }

    WriterOptions opt_;
    bool sized_ = false;
    int32_t width_ = 0, height_ = 0;
    int rate_ = 12;
    Rgba background_{255, 255, 255, 255};
    int32_t frame_ = 0;
    int32_t lastFrame_ = -1;
    uint64_t seq_ = 0;
    std::vector<Placement> placements_;
    std::vector<SoundStart> sounds_;
    std::vector<int32_t> stops_;
    std::unordered_map<uint64_t, size_t> latest_;  // object id -> its latest placement
};

// Turns the recorded timeline into tags, frame by frame.
class Emitter {
public:
    Emitter(const WriterOptions& opt, ByteWriter& out) : opt_(opt), out_(out) {}

    uint16_t Character(const Placement& p, Matrix& m) {
        const Definition& d = *p.def;
        if (auto* pic = std::get_if<PictureDef>(&d)) {
            m = Matrix::Translation(Add(pic->x, p.tx), Add(pic->y, p.ty));
            const JpegImage& img = pic->image->Get();  // waits for its re-coding
            ShapeKey key{&img, pic->width, pic->height};
            auto it = pictureShapes_.find(key);
            if (it != pictureShapes_.end()) return it->second;
            uint16_t bitmap;
            auto bit = bitmaps_.find(&img);
            if (bit != bitmaps_.end()) {
                bitmap = bit->second;
            } else {
                bitmap = NewId();
                // The JPEG data is not copied: the file refers to it where it lies.
                WriteDefineBitsJpeg2Header(out_, bitmap, img.data.size());
                pictureData.emplace_back(out_.Size(), &img.data);
                bitmaps_[&img] = bitmap;
            }
            uint16_t id = NewId();
            WritePictureShape(out_, id, bitmap, pic->width, pic->height, img.width, img.height);
            pictureShapes_[key] = id;
            return id;
        }
        if (auto* poly = std::get_if<PolygonDef>(&d)) {
            m = Matrix::Translation(p.tx, p.ty);
            auto it = byDefinition_.find(p.def.get());
            if (it != byDefinition_.end()) return it->second;
            uint16_t id = NewId();
            WritePolygonShape(out_, id, *poly);
            byDefinition_[p.def.get()] = id;
            return id;
        }
        const auto& text = std::get<TextDef>(d);
        double ascent = text.font->face->Ascent() * text.height / kEmSquare;
        m = Matrix::Translation(Add(Round(text.x), p.tx), Add(Round(text.y + ascent), p.ty));
        auto it = byDefinition_.find(p.def.get());
        if (it != byDefinition_.end()) return it->second;
        FontKey fk{text.font->face.get(), text.font->codes};
        uint16_t font;
        auto fit = fonts_.find(fk);
        if (fit != fonts_.end()) {
            font = fit->second;
        } else {
            font = NewId();
            WriteDefineFont2(out_, font, *text.font);
            fonts_[fk] = font;
        }
        uint16_t id = NewId();
        WriteDefineText2(out_, id, font, text);
        byDefinition_[p.def.get()] = id;
        return id;
    }

    uint16_t Sound(const std::shared_ptr<const WavSound>& s) {
        auto it = sounds_.find(s.get());
        if (it != sounds_.end()) return it->second;
        uint16_t id = NewId();
        WriteDefineSound(out_, id, *s);
        sounds_[s.get()] = id;
        return id;
    }

    // Display list of one frame, in stacking order (call order).
    struct Entry {
        uint64_t seq;
        int depth;
        uint16_t character;
        Matrix matrix;
    };
    std::vector<Entry> display;
    std::map<int, Entry> pendingRemovals;  // taken away this frame, tag not yet written

    void Remove(uint64_t seq) {
        auto it = std::lower_bound(display.begin(), display.end(), seq,
                                   [](const Entry& e, uint64_t s) { return e.seq < s; });
        if (it == display.end() || it->seq != seq) return;
        pendingRemovals[it->depth] = *it;
        display.erase(it);
    }

    void Place(uint64_t seq, uint16_t character, const Matrix& m, int32_t frame) {
        auto pos = static_cast<size_t>(
            std::lower_bound(display.begin(), display.end(), seq,
                             [](const Entry& e, uint64_t s) { return e.seq < s; }) -
            display.begin());
        const int maxDepth = opt_.maxDepth;
        int lower = pos > 0 ? display[pos - 1].depth : 0;
        int upper = pos < display.size() ? display[pos].depth : maxDepth + 1;
        std::vector<int> newDepths;
        int depth;
        if (upper - lower >= 2) {
            depth = lower + 1;
        } else {
            // No free depth between the neighbours: push the ones above up to
            // the next gap, or renumber everything from 1 when there is none.
            size_t k = pos;
            while (k + 1 < display.size() && display[k + 1].depth == display[k].depth + 1) ++k;
            newDepths.resize(display.size());
            for (size_t j = 0; j < display.size(); ++j) newDepths[j] = display[j].depth;
            if (pos < display.size() && display[k].depth < maxDepth) {
                for (size_t j = pos; j <= k; ++j) newDepths[j] = display[j].depth + 1;
                depth = display[pos].depth;
            } else {
                if (display.size() + 1 > static_cast<size_t>(maxDepth))
                    throw std::out_of_range("WriteMovie: more than " + std::to_string(maxDepth) +
                                            " objects are visible at once in frame " +
                                            std::to_string(frame));
                for (size_t j = 0; j < display.size(); ++j)
                    newDepths[j] = static_cast<int>(j) + (j < pos ? 1 : 2);
                depth = static_cast<int>(pos) + 1;
            }
            Renumber(newDepths);
        }
        EmitPlace(depth, character, m);
        display.insert(display.begin() + static_cast<long>(pos), Entry{seq, depth, character, m});
    }

    void FlushRemovals() {
        for (auto& [depth, e] : pendingRemovals) WriteRemoveObject2(out_, static_cast<uint16_t>(depth));
        pendingRemovals.clear();
    }

    // Where each picture's JPEG data goes in the file: after this many bytes
    // of the emitter's output.
    std::vector<std::pair<size_t, const Bytes*>> pictureData;

private:
    struct ShapeKey {
        const JpegImage* image;
        int32_t w, h;
        bool operator<(const ShapeKey& o) const {
            return std::tie(image, w, h) < std::tie(o.image, o.w, o.h);
        }
    };
    using FontKey = std::pair<const FontFace*, std::vector<uint32_t>>;

    static int32_t Round(double v) {
        double r = std::nearbyint(v);
        if (r < kMinCoord || r > kMaxCoord)
            throw std::out_of_range("WriteMovie: position " + std::to_string(v) + " twips is out of range");
        return static_cast<int32_t>(r);
    }
    static int32_t Add(int32_t a, int32_t b) {
        int64_t s = static_cast<int64_t>(a) + b;
        if (s < kMinCoord || s > kMaxCoord)
            throw std::out_of_range("WriteMovie: position " + std::to_string(s) +
                                    " twips (with its translation) is outside the range an SWF file can hold");
        return static_cast<int32_t>(s);
    }
    uint16_t NewId() {
        if (nextId_ > 65535)
            throw std::out_of_range("WriteMovie: the movie needs more than 65535 definitions");
        return static_cast<uint16_t>(nextId_++);
    }

    void EmitPlace(int depth, uint16_t character, const Matrix& m) {
        auto pend = pendingRemovals.find(depth);
        if (pend != pendingRemovals.end()) {
            bool same = pend->second.character == character;
            Matrix old = pend->second.matrix;
            pendingRemovals.erase(pend);
            // The same character again at the same depth: move it instead of
            // taking it away and placing it anew.
            if (same) {
                if (!(old == m)) WritePlaceObject2(out_, static_cast<uint16_t>(depth), true, 0, m);
                return;
            }
            WriteRemoveObject2(out_, static_cast<uint16_t>(depth));
        }
        WritePlaceObject2(out_, static_cast<uint16_t>(depth), false, character, m);
    }

    void Renumber(const std::vector<int>& newDepths) {
        for (size_t j = 0; j < display.size(); ++j)
            if (newDepths[j] != display[j].depth) WriteRemoveObject2(out_, static_cast<uint16_t>(display[j].depth));
        for (size_t j = 0; j < display.size(); ++j)
            if (newDepths[j] != display[j].depth) {
                display[j].depth = newDepths[j];
                EmitPlace(newDepths[j], display[j].character, display[j].matrix);
            }
    }

    const WriterOptions& opt_;
    ByteWriter& out_;
    uint32_t nextId_ = 1;
    std::map<const JpegImage*, uint16_t> bitmaps_;
    std::map<ShapeKey, uint16_t> pictureShapes_;
    std::map<const Definition*, uint16_t> byDefinition_;
    std::map<FontKey, uint16_t> fonts_;
    std::map<const WavSound*, uint16_t> sounds_;
};

// Part of the body's deflate stream, with ISA-L's igzip: several times
// faster than zlib and libdeflate on JPEG data, for the same size. A part
// that is not the last ends on a byte boundary without closing the stream
// (a sync flush), so the next part's blocks may follow it; each part starts
// with no history, so parts can be compressed at the same time.
RawBuffer DeflatePart(const Pieces& pieces, int level, bool last) {
    isal_zstream z;
    isal_deflate_init(&z);
    const uint32_t levelSize = level == 1   ? ISAL_DEF_LVL1_DEFAULT
                               : level == 2 ? ISAL_DEF_LVL2_DEFAULT
                               : level == 3 ? ISAL_DEF_LVL3_DEFAULT
                                            : 0;
    std::unique_ptr<uint8_t[]> levelBuf(levelSize ? new uint8_t[levelSize] : nullptr);
    z.level = static_cast<uint32_t>(level);
    z.level_buf = levelBuf.get();
    z.level_buf_size = levelSize;
    z.gzip_flag = IGZIP_DEFLATE;
    size_t total = 0;
    for (auto& p : pieces) total += p.second;
    // Stored blocks are the worst case: a few bytes per block beyond the
    // input. Left uninitialised: only the pages written are ever touched.
    size_t capacity = total + total / 64 + 1024;
    std::unique_ptr<uint8_t[]> buf(new uint8_t[capacity]);
    size_t used = 0;
    int idle = 0;
    auto run = [&](const uint8_t* p, size_t n, bool final) {
        z.next_in = const_cast<uint8_t*>(p);
        z.avail_in = static_cast<uint32_t>(n);
        z.flush = final && !last ? SYNC_FLUSH : NO_FLUSH;
        z.end_of_stream = final && last ? 1 : 0;
        for (;;) {
            if (capacity - used < 4096) {
                std::unique_ptr<uint8_t[]> bigger(new uint8_t[capacity * 2]);
                std::memcpy(bigger.get(), buf.get(), used);
                buf = std::move(bigger);
                capacity *= 2;
            }
            z.next_out = buf.get() + used;
            z.avail_out = static_cast<uint32_t>(std::min<size_t>(capacity - used, UINT32_MAX));
            if (isal_deflate(&z) != COMP_OK) throw std::runtime_error("WriteMovie: compression failed");
            used = static_cast<size_t>(z.next_out - buf.get());
            bool drained = z.avail_in == 0 && z.avail_out > 0;
            if (drained && (!final || !last || z.internal_state.state == ZSTATE_END)) return;
            if (drained && ++idle > 8) throw std::runtime_error("WriteMovie: compression did not finish");
        }
    };
    for (auto& [p, n] : pieces)
        if (n > 0) run(p, n, false);
    run(nullptr, 0, true);
    return RawBuffer{std::move(buf), used};
}

}  // namespace

MovieOutput MovieImpl::Build() const {
    if (!sized_) throw std::logic_error("WriteMovie: the movie has no size (SetSize was not called)");
    const int32_t frameCount = std::max(lastFrame_ + 1, 1);

    // Placements that are ever visible, by start and end frame.
    std::vector<std::vector<size_t>> starts(frameCount), ends(frameCount);
    for (size_t i = 0; i < placements_.size(); ++i) {
        const Placement& p = placements_[i];
        if (p.end <= p.frame) continue;
        starts[p.frame].push_back(i);
        if (p.end < frameCount) ends[p.end].push_back(i);
    }
    std::vector<std::vector<size_t>> soundsAt(frameCount);
    for (size_t i = 0; i < sounds_.size(); ++i) soundsAt[sounds_[i].frame].push_back(i);
    std::vector<int> stopsAt(frameCount, 0);
    for (int32_t f : stops_) stopsAt[f]++;

    // One allocation for everything but the pictures' JPEG data, which the
    // file refers to where it lies. Waiting here for every picture's
    // re-coding lets this thread take the jobs not yet started.
    size_t estimate = 1024 + placements_.size() * 24 + static_cast<size_t>(frameCount) * 4;
    {
        std::set<const PictureData*> pictures;
        std::set<const WavSound*> sounds;
        for (const Placement& p : placements_)
            if (auto* pic = std::get_if<PictureDef>(p.def.get()); pic && p.end > p.frame)
                if (pictures.insert(pic->image.get()).second) pic->image->Get();
        for (const SoundStart& s : sounds_)
            if (sounds.insert(s.sound.get()).second) estimate += s.sound->samples.size() + 16;
    }
    ByteWriter out;
    out.Data().reserve(estimate);
    WriteHeader(out, opt_.version, width_, height_, rate_, frameCount);
    if (opt_.version >= 8) WriteFileAttributes(out);
    WriteSetBackgroundColor(out, background_);

    Emitter em(opt_, out);
    for (int32_t f = 0; f < frameCount; ++f) {
        for (size_t i : ends[f]) em.Remove(placements_[i].seq);
        for (size_t i : starts[f]) {  // already in call order
            const Placement& p = placements_[i];
            Matrix m;
            uint16_t character = em.Character(p, m);
            em.Place(p.seq, character, m, f);
        }
        em.FlushRemovals();
        for (size_t i : soundsAt[f]) WriteStartSound(out, em.Sound(sounds_[i].sound));
        for (int k = 0; k < stopsAt[f]; ++k) WriteDoActionStop(out);
        WriteShowFrame(out);
    }
    WriteEnd(out);

    MovieOutput file;
    file.owned.push_back(std::move(out.Data()));
    Bytes& head = file.owned.back();
    // The header holds the length of the whole uncompressed file.
    size_t total = head.size();
    for (auto& [at, data] : em.pictureData) total += data->size();
    if (total > 0xFFFFFFFFu) throw std::length_error("WriteMovie: the movie is larger than 4 GiB");
    for (int i = 0; i < 4; ++i) head[4 + i] = static_cast<uint8_t>(total >> (8 * i));
    size_t from = 0;
    for (auto& [at, data] : em.pictureData) {
        file.pieces.emplace_back(head.data() + from, at - from);
        file.pieces.emplace_back(data->data(), data->size());
        from = at;
    }
    file.pieces.emplace_back(head.data() + from, head.size() - from);
    if (opt_.compress) return Compress(file, opt_.compressionLevel);
    return file;
}

// The body after the 8-byte header as one zlib stream. Large movies are cut
// in two halves compressed at the same time.
MovieOutput MovieImpl::Compress(const MovieOutput& file, int level) {
    // The body's pieces, and where its first half ends.
    Pieces body = file.pieces;
    body.front().first += 8;
    body.front().second -= 8;
    size_t n = 0;
    for (auto& p : body) n += p.second;
    Pieces first, second;
    size_t half = n >= (4u << 20) && std::thread::hardware_concurrency() > 1 ? n / 2 : 0;
    for (auto [p, len] : body) {
        size_t into = std::min(len, half);
        if (into > 0) first.emplace_back(p, into);
        if (len > into) second.emplace_back(p + into, len - into);
        half -= into;
    }
    RawBuffer a, b;
    std::exception_ptr error;
    std::thread helper;
    if (!first.empty()) {
        helper = std::thread([&] {
            try {
                a = DeflatePart(first, level, false);
            } catch (...) {
                error = std::current_exception();
            }
        });
    }
    uint32_t adler = 1;
    try {
        b = DeflatePart(second, level, true);
        for (auto& [p, len] : body) adler = isal_adler32(adler, p, len);
    } catch (...) {
        if (helper.joinable()) helper.join();
        throw;
    }
    if (helper.joinable()) helper.join();
    if (error) std::rethrow_exception(error);

    MovieOutput z;
    Bytes head(file.pieces.front().first, file.pieces.front().first + 8);
    head[0] = 'C';
    head.push_back(0x78);  // zlib header: deflate, 32K window, fastest
    head.push_back(0x01);
    Bytes tail;
    for (int sh = 24; sh >= 0; sh -= 8) tail.push_back(static_cast<uint8_t>(adler >> sh));
    z.owned.push_back(std::move(head));
    z.owned.push_back(std::move(tail));
    z.pieces.emplace_back(z.owned[0].data(), z.owned[0].size());
    if (a.size) z.pieces.emplace_back(a.data.get(), a.size);
    z.pieces.emplace_back(b.data.get(), b.size);
    z.pieces.emplace_back(z.owned[1].data(), z.owned[1].size());
    z.raw.push_back(std::move(a));
    z.raw.push_back(std::move(b));
    return z;
}

void MovieImpl::WriteMovie(const std::string& path) {
    const MovieOutput file = Build();
    auto fail = [&](const std::string& why) {
        throw std::runtime_error("Cannot write the movie \"" + path + "\": " + why);
    };
    if (path.empty()) fail("no file name");
    // Write beside the target and rename over it, so a failure never leaves
    // a half-written movie in place of a good one.
    std::string tmp = path + ".XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) fail(std::strerror(errno));
    // The pieces in as few calls as the system takes.
    std::vector<iovec> iov;
    for (auto& [p, n] : file.pieces)
        if (n > 0) iov.push_back({const_cast<uint8_t*>(p), n});
    size_t next = 0;
    while (next < iov.size()) {
        int count = static_cast<int>(std::min<size_t>(iov.size() - next, IOV_MAX));
        ssize_t n = ::writev(fd, iov.data() + next, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            int err = n < 0 ? errno : ENOSPC;
            ::close(fd);
            ::unlink(tmp.c_str());
            fail(std::strerror(err));
        }
        // Step past what was written, which may end inside a piece.
        size_t done = static_cast<size_t>(n);
        while (next < iov.size() && done >= iov[next].iov_len) done -= iov[next++].iov_len;
        if (done > 0) {
            iov[next].iov_base = static_cast<uint8_t*>(iov[next].iov_base) + done;
            iov[next].iov_len -= done;
        }
    }
    // mkstemp makes the file private; a movie is for sharing.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    int err = 0;
    if (opt_.syncToDisk && ::fdatasync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err != 0) {
        ::unlink(tmp.c_str());
        fail(std::strerror(err));
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        err = errno;
        ::unlink(tmp.c_str());
        fail(std::strerror(err));
    }
}

std::unique_ptr<ISwfMovie> CreateMovie() { return std::make_unique<MovieImpl>(WriterOptions{}); }
std::unique_ptr<ISwfMovie> CreateMovie(const WriterOptions& options) {
    return std::make_unique<MovieImpl>(options);
}

Bytes BuildMovieBytes(ISwfMovie& movie) {
    auto* m = dynamic_cast<MovieImpl*>(&movie);
    if (!m) throw std::invalid_argument("BuildMovieBytes: not a movie of this writer");
    return m->Build().Join();
}

}  // namespace swf
