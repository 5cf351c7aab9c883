// The timeline writer: the same checks and meanings as the SWF writer's
// calls, kept as a record instead of tags.
#include "video/Timeline.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>

#include <turbojpeg.h>

#include "swf/Font.h"
#include "swf/Media.h"
#include "video/Face.h"

namespace video {

namespace {

constexpr int64_t kMinCoord = -(int64_t(1) << 30), kMaxCoord = (int64_t(1) << 30) - 1;
// A video has no frame count field to fill, so no SWF limit; the top value
// stays free for a placement's "never gone" end and the count to fit.
constexpr int32_t kMaxFrame = INT32_MAX - 1;

void CheckCoord(double v, const char* call, const char* what)
{
    if (!std::isfinite(v) || v < kMinCoord || v > kMaxCoord)
        throw std::out_of_range(std::string(call) + ": " + what + " " + std::to_string(v) +
                                " twips is out of range");
}

// A file's decoded form, made once per version of the file: a "Move"
// picture is made again in every frame it slides through, and every still
// picture starts the same click. A version still in use is found by its
// stamp without reading the file again.
template <class T, class Decode>
std::shared_ptr<const T> LoadOnce(const std::string& path, Decode decode)
{
    static std::mutex mutex;
    static std::map<std::string, std::pair<swf::FileStamp, std::weak_ptr<const T>>> cache;
    if (const std::optional<swf::FileStamp> now = swf::StampFile(path)) {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = cache.find(path);
        if (it != cache.end() && it->second.first == *now)
            if (auto s = it->second.second.lock())
                return s;
    }
    swf::FileStamp stamp;
    const swf::Bytes bytes = swf::ReadFileBytes(path, &stamp);
    std::shared_ptr<const T> s = decode(bytes);
    std::lock_guard<std::mutex> lock(mutex);
    cache[path] = {stamp, s};
    return s;
}

std::shared_ptr<const TJpegSource> LoadJpeg(const std::string& path)
{
    return LoadOnce<TJpegSource>(path, [&path](const swf::Bytes& bytes) {
        tjhandle tj = tjInitDecompress();
        if (!tj)
            throw std::runtime_error("Cannot start the JPEG decoder");
        int w = 0, h = 0, sub = 0, space = 0;
        bool ok = tjDecompressHeader3(tj, bytes.data(), bytes.size(), &w, &h, &sub, &space) == 0 &&
                  w > 0 && h > 0;
        std::string why = ok ? "" : tjGetErrorStr2(tj);
        if (ok) {
            // A whole decode at an eighth of the size reads every entropy-coded
            // byte, so a damaged file is found here as the SWF writer finds it.
            tjscalingfactor f{1, 8};
            int sw = TJSCALED(w, f), sh = TJSCALED(h, f);
            std::vector<uint8_t> small(size_t(sw) * sh * 4);
            ok = tjDecompress2(tj, bytes.data(), bytes.size(), small.data(), sw, 0, sh, TJPF_BGRX,
                               TJFLAG_STOPONWARNING) == 0;
            if (!ok)
                why = tjGetErrorStr2(tj);
        }
        tjDestroy(tj);
        if (!ok)
            throw std::runtime_error("not a JPEG picture that can be shown (" + why + ")");
        auto s = std::make_shared<TJpegSource>();
        s->path = path;
        s->width = w;
        s->height = h;
        return s;
    });
}

std::shared_ptr<const TSound> LoadWav(const std::string& path)
{
    return LoadOnce<TSound>(path, [](const swf::Bytes& bytes) {
        swf::WavSound wav = swf::ParseWav(bytes.data(), bytes.size());
        auto s = std::make_shared<TSound>();
        s->rate = int(wav.sampleRate);
        s->samples.resize(wav.sampleCount);
        for (size_t i = 0; i < s->samples.size() && 2 * i + 1 < wav.samples.size(); ++i)
            s->samples[i] = int16_t(wav.samples[2 * i] | wav.samples[2 * i + 1] << 8);
        return s;
    });
}

std::shared_ptr<TFace> Face(const std::string& name)
{
    static std::mutex mutex;
    static std::map<std::string, std::weak_ptr<TFace>> faces;
    std::lock_guard<std::mutex> lock(mutex);
    if (auto f = faces[name].lock())
        return f;
    auto f = std::make_shared<TFace>(name);
    faces[name] = f;
    return f;
}

class TObject final : public swf::ISwfObject {
  public:
    std::shared_ptr<const TDefinition> Def = std::make_shared<TDefinition>();
    int32_t Tx = 0, Ty = 0;

    void Define(TDefinition d)
    {
        Def = std::make_shared<TDefinition>(std::move(d));
        Tx = Ty = 0;
    }
    template <typename T> T& Mutable()
    {
        // Copy on write: placements keep the definition they were made with.
        auto copy = std::make_shared<TDefinition>(*Def);
        Def = copy;
        return std::get<T>(*copy);
    }

    void MakePicture(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t width, int32_t height,
                     const std::string& path) override
    {
        if (width <= 0 || height <= 0)
            throw std::invalid_argument("MakePicture: picture size is not positive (\"" + path +
                                        "\")");
        for (int32_t v : {x1, y1, x2, y2})
            CheckCoord(v, "MakePicture", "coordinate");
        if (x2 <= x1 || y2 <= y1)
            throw std::invalid_argument("MakePicture: the rectangle is empty (\"" + path + "\")");
        TPictureDef d;
        try {
            d.image = LoadJpeg(path);
        } catch (const std::exception& e) {
            throw std::runtime_error("Cannot use the picture \"" + path + "\": " + e.what());
        }
        d.x = x1;
        d.y = y1;
        d.width = x2 - x1;
        d.height = y2 - y1;
        Define(std::move(d));
    }
    void MakeSound(const std::string& path) override
    {
        std::shared_ptr<const TSound> s;
        try {
            s = LoadWav(path);
        } catch (const std::exception& e) {
            throw std::runtime_error("Cannot use the sound \"" + path + "\": " + e.what());
        }
        Define(std::move(s));
    }
    void MakePolygon(int32_t x, int32_t y) override
    {
        CheckCoord(x, "MakePolygon", "x");
        CheckCoord(y, "MakePolygon", "y");
        TPolygonDef d;
        d.x = x;
        d.y = y;
        Define(std::move(d));
    }
    void AddStraightLine(int32_t dx, int32_t dy) override
    {
        if (!std::holds_alternative<TPolygonDef>(*Def))
            throw std::logic_error("AddStraightLine: the object is not a polygon");
        Mutable<TPolygonDef>().edges.emplace_back(dx, dy);
    }
    void Translate(int32_t x, int32_t y) override
    {
        CheckCoord(x, "Translate", "x");
        CheckCoord(y, "Translate", "y");
        Tx = x;
        Ty = y;
    }
    void MakeFont(const std::string& faceName) override { Define(TFontDef{Face(faceName)}); }
    void AddGlyph(const std::string&, const std::string&, int32_t) override
    {
        // Every glyph of the face is at hand; only the call's order is checked.
        if (!std::holds_alternative<TFontDef>(*Def))
            throw std::logic_error("AddGlyph: the object is not a font (call MakeFont first)");
    }
    void MakeTextEx(const std::string& text, swf::ISwfObject& font, double x, double y,
                    double height) override
    {
        auto* f = dynamic_cast<TObject*>(&font);
        if (!f || !std::holds_alternative<TFontDef>(*f->Def))
            throw std::invalid_argument("MakeTextEx: the font object has no font");
        CheckCoord(x, "MakeTextEx", "x");
        CheckCoord(y, "MakeTextEx", "y");
        if (!std::isfinite(height) || height < 1 || height > 65535)
            throw std::out_of_range("MakeTextEx: text height is outside 1 to 65535");
        TTextDef d;
        d.text = swf::DecodeUtf8(text);
        d.face = std::get<TFontDef>(*f->Def).face;
        d.x = x;
        d.y = y;
        d.height = height;
        Define(std::move(d));
    }
    void SetSolidFill(uint8_t red, uint8_t green, uint8_t blue, int32_t alpha) override
    {
        if (alpha < 0 || alpha > 255)
            throw std::out_of_range("SetSolidFill: alpha is outside 0 to 255");
        TRgba c{red, green, blue, uint8_t(alpha)};
        if (std::holds_alternative<TPolygonDef>(*Def))
            Mutable<TPolygonDef>().fill = c;
        else if (std::holds_alternative<TTextDef>(*Def))
            Mutable<TTextDef>().color = c;
    }
};

class TAction final : public swf::ISwfAction {
  public:
    bool Stop = false;
    void MakeActionStop() override { Stop = true; }
};

} // namespace

std::shared_ptr<TFace> FindFace(const std::string& name)
{
    return Face(name);
}

void TTimelineMovie::SetSize(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0 || width > kMaxCoord || height > kMaxCoord)
        throw std::out_of_range("SetSize: " + std::to_string(width) + " x " +
                                std::to_string(height) + " twips is not a movie size");
    T = TTimeline();
    T.width = width;
    T.height = height;
    Latest.clear();
    Frame = 0;
    Sized = true;
}

void TTimelineMovie::SetFrameRate(int32_t rate)
{
    if (rate < 1 || rate > 255)
        throw std::out_of_range("SetFrameRate: " + std::to_string(rate) +
                                " frames per second is outside 1 to 255");
    T.rate = rate;
}

void TTimelineMovie::SetFrameBkColor(uint8_t red, uint8_t green, uint8_t blue)
{
    T.background = {red, green, blue, 255};
}

void TTimelineMovie::GotoFrame(int32_t frame)
{
    if (frame < 0 || frame > kMaxFrame)
        throw std::out_of_range("GotoFrame: frame " + std::to_string(frame) + " is outside 0 to " +
                                std::to_string(kMaxFrame));
    Frame = frame;
}

void TTimelineMovie::AddObject(swf::ISwfObject& object)
{
    auto* o = dynamic_cast<TObject*>(&object);
    if (!o)
        throw std::invalid_argument("AddObject: the object was not made by this writer");
    auto latest =
        std::find_if(Latest.begin(), Latest.end(), [&](const auto& l) { return l.first == o; });
    if (latest == Latest.end())
        latest = Latest.insert(Latest.end(), {o, SIZE_MAX});
    const TDefinition& d = *o->Def;
    if (std::holds_alternative<std::monostate>(d))
        throw std::logic_error("AddObject: the object defines nothing yet");
    if (std::holds_alternative<TFontDef>(d)) {
        latest->second = SIZE_MAX; // a font alone shows nothing
        return;
    }
    Touch();
    if (auto* s = std::get_if<std::shared_ptr<const TSound>>(&d)) {
        T.sounds.push_back({Frame, *s});
        latest->second = SIZE_MAX; // a started sound cannot be taken back
        return;
    }
    latest->second = T.placements.size();
    T.placements.push_back({Frame, INT32_MAX, o->Def, o->Tx, o->Ty});
}

void TTimelineMovie::RemoveObject(swf::ISwfObject& object)
{
    Touch();
    for (auto& [o, index] : Latest)
        if (o == &object && index != SIZE_MAX)
            T.placements[index].end = std::min(T.placements[index].end, Frame);
}

void TTimelineMovie::AddAction(swf::ISwfAction& action)
{
    auto* a = dynamic_cast<TAction*>(&action);
    if (!a)
        throw std::invalid_argument("AddAction: the action was not made by this writer");
    Touch();
    if (a->Stop && (!T.stop || Frame < *T.stop))
        T.stop = Frame;
}

void TTimelineMovie::WriteMovie(const std::string& path)
{
    if (!Sized)
        throw std::logic_error("WriteMovie: the movie has no size (SetSize was not called)");
    if (!Output)
        throw std::logic_error("WriteMovie: no video output is set");
    Output(T, path);
}

std::unique_ptr<TTimelineMovie> CreateTimelineMovie()
{
    return std::make_unique<TTimelineMovie>();
}
std::unique_ptr<swf::ISwfObject> CreateTimelineObject()
{
    return std::make_unique<TObject>();
}
std::unique_ptr<swf::ISwfAction> CreateTimelineAction()
{
    return std::make_unique<TAction>();
}

} // namespace video
