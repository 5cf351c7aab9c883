#include <algorithm>
#include <cmath>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <unordered_map>

#include "swf/ObjectImpl.h"
#include "swf/Writer.h"

namespace swf {

namespace {

// Media by content: the same file made many times (a picture that slides
// frame by frame, the click under every screenshot, two screenshots of an
// unchanged screen) is read and prepared once and becomes one character.
// Entries live as long as a definition holds them.
template <typename T>
class ContentCache {
public:
    // Where content came from. Content larger than kKeepBytes with a source
    // is not kept once its value is made (a long recording would otherwise
    // hold every screenshot twice): a later lookup with the same hash reads
    // the file again, unchanged since, and compares.
    struct Source {
        std::string path;
        FileStamp stamp;
    };
    static constexpr size_t kKeepBytes = 64 * 1024;

    // The value made from this content, made once: a second caller with the
    // same content while the first is still making it waits for that one
    // (and gets its failure, if it fails).
    std::shared_ptr<const T> Get(Bytes&& content, uint64_t variant, const std::function<T(const Bytes&)>& make,
                                 const Source* source = nullptr) {
        uint64_t key = std::hash<std::string_view>{}(std::string_view(
                           reinterpret_cast<const char*>(content.data()), content.size())) ^
                       (variant * 0x9E3779B97F4A7C15ull);
        std::unique_lock<std::mutex> lock(mutex_);
        std::vector<std::shared_ptr<Entry>> unkept;  // same hash, content only on disk
        std::shared_ptr<Entry> entry = Find(key, variant, content, &unkept);
        if (!entry && !unkept.empty()) {
            lock.unlock();
            for (auto& e : unkept)
                if (SameAsSource(*e->source, content)) {
                    entry = e;
                    break;
                }
            lock.lock();
            if (!entry) entry = Find(key, variant, content, nullptr);  // made meanwhile
        }
        if (entry) {
            lock.unlock();
            entry->ready.get();
            return std::shared_ptr<const T>(entry, &entry->value);
        }
        entry = std::make_shared<Entry>();
        entry->content = std::move(content);
        entry->size = entry->content.size();
        entry->variant = variant;
        if (source && entry->size > kKeepBytes) entry->source = *source;
        entry->ready = entry->made.get_future().share();
        entries_.emplace(key, entry);
        // Forget files no definition holds any more, now and then.
        if (entries_.size() > 2 * sweptSize_ + 64) {
            for (auto it = entries_.begin(); it != entries_.end();)
                it = it->second.expired() ? entries_.erase(it) : std::next(it);
            sweptSize_ = entries_.size();
        }
        lock.unlock();
        try {
            entry->value = make(entry->content);
            entry->made.set_value();
        } catch (...) {
            entry->made.set_exception(std::current_exception());
            throw;
        }
        if (entry->source) {
            Bytes gone;
            std::lock_guard<std::mutex> lock(mutex_);
            gone.swap(entry->content);
        }
        return std::shared_ptr<const T>(entry, &entry->value);
    }

private:
    struct Entry {
        Bytes content;  // emptied, once made, when source tells where the bytes are
        size_t size = 0;
        uint64_t variant = 0;
        std::optional<Source> source;
        T value{};
        std::promise<void> made;
        std::shared_future<void> ready;
        bool Kept() const { return !source || !content.empty(); }  // sources hold large content only
    };

    // An entry of this content whose bytes are kept; entries that would need
    // a look at their file go to unkept. Called with the mutex held.
    std::shared_ptr<Entry> Find(uint64_t key, uint64_t variant, const Bytes& content,
                                std::vector<std::shared_ptr<Entry>>* unkept) {
        auto range = entries_.equal_range(key);
        for (auto it = range.first; it != range.second;) {
            auto e = it->second.lock();
            if (!e) {
                it = entries_.erase(it);
                continue;
            }
            if (e->variant == variant && e->size == content.size()) {
                if (e->Kept()) {
                    if (e->content == content) return e;
                } else if (unkept) {
                    unkept->push_back(std::move(e));
                }
            }
            ++it;
        }
        return nullptr;
    }

    static bool SameAsSource(const Source& source, const Bytes& content) {
        try {
            FileStamp now;
            Bytes again = ReadFileBytes(source.path, &now);
            return now == source.stamp && again == content;
        } catch (const std::exception&) {
            return false;  // gone or unreadable: not known to be the same
        }
    }

    std::mutex mutex_;
    std::unordered_multimap<uint64_t, std::weak_ptr<Entry>> entries_;
    size_t sweptSize_ = 0;
};

ContentCache<PictureData>& Pictures() {
    static ContentCache<PictureData> cache;
    return cache;
}
ContentCache<WavSound>& Sounds() {
    static ContentCache<WavSound> cache;
    return cache;
}

std::shared_ptr<FontFace> FindFace(const std::string& name) {
    static std::mutex mutex;
    static std::map<std::string, std::weak_ptr<FontFace>> faces;
    std::lock_guard<std::mutex> lock(mutex);
    if (auto f = faces[name].lock()) return f;
    auto f = FontFace::Find(name);
    faces[name] = f;
    return f;
}

void CheckCoord(int64_t v, const char* call, const char* what) {
    if (v < kMinCoord || v > kMaxCoord)
        throw std::out_of_range(std::string(call) + ": " + what + " " + std::to_string(v) +
                                " twips is outside the range an SWF file can hold (" +
                                std::to_string(kMinCoord) + " to " + std::to_string(kMaxCoord) + ")");
}

void CheckCoord(double v, const char* call, const char* what) {
    if (!std::isfinite(v) || v < kMinCoord || v > kMaxCoord)
        throw std::out_of_range(std::string(call) + ": " + what + " " + std::to_string(v) +
                                " twips is outside the range an SWF file can hold");
}

// Reads and checks a picture file, once per content and options.
std::shared_ptr<const PictureData> LoadPicture(const std::string& path, const JpegOptions& opts,
                                               FileStamp* stamp = nullptr) {
    ContentCache<PictureData>::Source source{path, {}};
    Bytes content = ReadFileBytes(path, &source.stamp);
    if (stamp) *stamp = source.stamp;
    return Pictures().Get(std::move(content), opts.optimizeHuffman, [&](const Bytes& c) {
        CheckedJpeg checked = CheckJpeg(c.data(), c.size(), opts);
        PictureData d;
        d.width = checked.width;
        d.height = checked.height;
        if (opts.background) {
            d.jpeg = Workers::Run(std::move(checked.finish));
        } else {
            d.jpeg = std::make_shared<Job<JpegImage>>(std::move(checked.finish));
            d.jpeg->Get();  // a failure shows here, as the picture is made
        }
        return d;
    }, &source);
}

}  // namespace

ObjectImpl::~ObjectImpl() { DropReadAhead(ahead_.end()); }

// Cancels the pictures read ahead before `end` and forgets them.
void ObjectImpl::DropReadAhead(std::deque<ReadAheadItem>::iterator end) {
    for (auto k = ahead_.begin(); k != end; ++k)
        if (k->job) k->job->Cancel();  // a taken one has none
    ahead_.erase(ahead_.begin(), end);
}

void ObjectImpl::ExpectPictures(const std::vector<std::string>& paths) {
    DropReadAhead(ahead_.end());
    expected_ = paths;
    nextExpected_ = 0;
    if (!jpeg_.background) return;
    Pictures();  // made before the workers, so it outlives them
    ReadAhead();
}

void ObjectImpl::ReadAhead() {
    const size_t window = std::clamp<size_t>(2 * std::thread::hardware_concurrency(), 2, 8);
    while (ahead_.size() < window && nextExpected_ < expected_.size()) {
        const std::string& path = expected_[nextExpected_++];
        auto job = Workers::Run<ReadAheadResult>(
            [path, opts = jpeg_] {
                ReadAheadResult r;
                r.image = LoadPicture(path, opts, &r.stamp);
                return r;
            },
            Workers::Kind::ReadAhead);
        ahead_.push_back({path, std::move(job)});
    }
    if (nextExpected_ == expected_.size()) {
        expected_.clear();
        nextExpected_ = 0;
    }
}

std::shared_ptr<const PictureData> ObjectImpl::TakeReadAhead(const std::string& path) {
    auto it = std::find_if(ahead_.begin(), ahead_.end(), [&](const ReadAheadItem& a) { return a.path == path; });
    if (it == ahead_.end()) return nullptr;
    auto job = std::move(it->job);
    // Pictures expected before this one were not asked for: drop them.
    DropReadAhead(it + 1);
    ReadAhead();
    try {
        const ReadAheadResult& r = job->Get();
        // The file as it is now must be the version read ahead.
        if (StampFile(path) == r.stamp) return r.image;
    } catch (...) {
        // Read again by the caller, which reports the failure.
    }
    return nullptr;
}

void ObjectImpl::Define(Definition d) {
    def_ = std::make_shared<Definition>(std::move(d));
    tx_ = ty_ = 0;
}

Definition& ObjectImpl::Mutable() {
    if (def_.use_count() > 1) def_ = std::make_shared<Definition>(*def_);
    return *def_;
}

void ObjectImpl::MakePicture(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t width,
                             int32_t height, const std::string& path) {
    if (width <= 0 || height <= 0)
        throw std::invalid_argument("MakePicture: picture size " + std::to_string(width) + " x " +
                                    std::to_string(height) + " pixels is not positive (\"" + path + "\")");
    for (int32_t v : {x1, y1, x2, y2}) CheckCoord(static_cast<int64_t>(v), "MakePicture", "coordinate");
    if (x2 <= x1 || y2 <= y1)
        throw std::invalid_argument("MakePicture: the rectangle (" + std::to_string(x1) + ", " +
                                    std::to_string(y1) + ")-(" + std::to_string(x2) + ", " +
                                    std::to_string(y2) + ") is empty (\"" + path + "\")");
    std::shared_ptr<const PictureData> image;
    try {
        image = TakeReadAhead(path);
        if (!image) image = LoadPicture(path, jpeg_);
    } catch (const std::exception& e) {
        throw std::runtime_error("Cannot use the picture \"" + path + "\": " + e.what());
    }
    PictureDef d;
    d.image = std::move(image);
    d.x = x1;
    d.y = y1;
    d.width = x2 - x1;
    d.height = y2 - y1;
    Define(std::move(d));
}

void ObjectImpl::MakeSound(const std::string& path) {
    std::shared_ptr<const WavSound> sound;
    try {
        Bytes content = ReadFileBytes(path);
        sound = Sounds().Get(std::move(content), 0, [](const Bytes& c) { return ParseWav(c.data(), c.size()); });
    } catch (const std::exception& e) {
        throw std::runtime_error("Cannot use the sound \"" + path + "\": " + e.what());
    }
    Define(SoundDef{std::move(sound)});
}

void ObjectImpl::MakePolygon(int32_t x, int32_t y) {
    CheckCoord(static_cast<int64_t>(x), "MakePolygon", "x");
    CheckCoord(static_cast<int64_t>(y), "MakePolygon", "y");
    PolygonDef d;
    d.x = x;
    d.y = y;
    d.penX = x;
    d.penY = y;
    Define(std::move(d));
}

void ObjectImpl::AddStraightLine(int32_t dx, int32_t dy) {
    if (!std::holds_alternative<PolygonDef>(*def_))
        throw std::logic_error("AddStraightLine: the object is not a polygon (call MakePolygon first)");
    const auto& cur = std::get<PolygonDef>(*def_);
    CheckCoord(cur.penX + dx, "AddStraightLine", "x");
    CheckCoord(cur.penY + dy, "AddStraightLine", "y");
    auto& d = std::get<PolygonDef>(Mutable());
    d.edges.emplace_back(dx, dy);
    d.penX += dx;
    d.penY += dy;
}

void ObjectImpl::Translate(int32_t x, int32_t y) {
    CheckCoord(static_cast<int64_t>(x), "Translate", "x");
    CheckCoord(static_cast<int64_t>(y), "Translate", "y");
    tx_ = x;
    ty_ = y;
}

void ObjectImpl::MakeFont(const std::string& faceName) {
    FontDef d;
    d.face = FindFace(faceName);
    d.requestedName = faceName;
    Define(std::move(d));
}

void ObjectImpl::AddGlyph(const std::string& faceName, const std::string& character, int32_t code) {
    (void)faceName;  // the glyph goes to the font this object defines
    if (!std::holds_alternative<FontDef>(*def_))
        throw std::logic_error("AddGlyph: the object is not a font (call MakeFont first)");
    // The character text is authoritative; the code only stands in when it is empty.
    std::u32string chars = DecodeUtf8(character);
    int64_t c = chars.empty() ? code : static_cast<int64_t>(chars[0]);
    if (c <= 0 || c > 0xFFFF)
        throw std::out_of_range("AddGlyph: character code " + std::to_string(c) +
                                " is outside the range an SWF font can hold (1 to 65535)");
    const auto& cur = std::get<FontDef>(*def_);
    for (uint32_t have : cur.codes)
        if (have == c) return;
    std::get<FontDef>(Mutable()).codes.push_back(static_cast<uint32_t>(c));
}

void ObjectImpl::MakeTextEx(const std::string& text, ISwfObject& font, double x, double y,
                            double height) {
    auto* f = dynamic_cast<ObjectImpl*>(&font);
    if (!f || !std::holds_alternative<FontDef>(*f->def_))
        throw std::invalid_argument("MakeTextEx: the font object has no font (call MakeFont first)");
    CheckCoord(x, "MakeTextEx", "x");
    CheckCoord(y, "MakeTextEx", "y");
    if (!std::isfinite(height) || height < 1 || height > 65535)
        throw std::out_of_range("MakeTextEx: text height " + std::to_string(height) +
                                " twips is outside 1 to 65535");
    TextDef d;
    d.text = DecodeUtf8(text);
    // The font carries every character the text shows, added or not.
    auto fontDef = std::make_shared<FontDef>(std::get<FontDef>(*f->def_));
    for (char32_t c : d.text) {
        if (c < 0x20 || c > 0xFFFF) continue;
        bool have = false;
        for (uint32_t h : fontDef->codes) have = have || h == c;
        if (!have) fontDef->codes.push_back(c);
    }
    d.font = std::move(fontDef);
    d.x = x;
    d.y = y;
    d.height = height;
    Define(std::move(d));
}

void ObjectImpl::SetSolidFill(uint8_t red, uint8_t green, uint8_t blue, int32_t alpha) {
    if (alpha < 0 || alpha > 255)
        throw std::out_of_range("SetSolidFill: alpha " + std::to_string(alpha) + " is outside 0 to 255");
    Rgba c{red, green, blue, static_cast<uint8_t>(alpha)};
    if (std::holds_alternative<PolygonDef>(*def_))
        std::get<PolygonDef>(Mutable()).fill = c;
    else if (std::holds_alternative<TextDef>(*def_))
        std::get<TextDef>(Mutable()).color = c;
    // Pictures, sounds and fonts have no fill of their own.
}

std::unique_ptr<ISwfObject> CreateObject() { return std::make_unique<ObjectImpl>(JpegOptions{}); }
std::unique_ptr<ISwfAction> CreateAction() { return std::make_unique<ActionImpl>(); }

}  // namespace swf

namespace swf {
std::unique_ptr<ISwfObject> CreateObject(const JpegOptions& options) {
    return std::make_unique<ObjectImpl>(options);
}
}  // namespace swf
