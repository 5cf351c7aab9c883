// The movie as a timeline of placements, recorded from the same calls that
// make the SWF: what each frame shows, in stacking order, and the sounds
// started in it. The renderer and the encoders read it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "swf/Swf.h"
#include "video/CameraTrack.h"

namespace video {

struct TRgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
};

// A JPEG checked when it was made; read again and decoded only while the
// renderer shows it, so a long movie does not hold every picture's bytes.
struct TJpegSource {
    std::string path;
    int width = 0, height = 0;
};

struct TPictureDef {
    std::shared_ptr<const TJpegSource> image;
    int32_t x = 0, y = 0, width = 0, height = 0; // twips
};

struct TSound {
    std::vector<int16_t> samples; // mono
    int rate = 0;
};

struct TPolygonDef {
    int32_t x = 0, y = 0;
    std::vector<std::pair<int32_t, int32_t>> edges;
    std::optional<TRgba> fill; // none: black with a white outline
};

class TFace;

struct TFontDef {
    std::shared_ptr<TFace> face;
};

struct TTextDef {
    std::u32string text;
    std::shared_ptr<TFace> face;
    double x = 0, y = 0, height = 0; // twips; (x, y) is the top left
    TRgba color;
};

using TDefinition = std::variant<std::monostate, TPictureDef, std::shared_ptr<const TSound>,
                                 TPolygonDef, TFontDef, TTextDef>;

struct TPlacement {
    int32_t frame = 0;
    int32_t end = INT32_MAX; // first frame it is gone
    std::shared_ptr<const TDefinition> def;
    int32_t tx = 0, ty = 0;
};

struct TSoundStart {
    int32_t frame = 0;
    std::shared_ptr<const TSound> sound;
};

// A click shown as a ring that grows from the pointer's tip and fades.
struct TClickRing {
    int32_t frame = 0;
    double x = 0, y = 0; // stage pixels
};

// What a video adds to the movie to show the action: the camera's view of
// every frame (none: the whole stage) and the click rings.
struct TFocus {
    std::vector<TView> views;
    std::vector<TClickRing> rings; // in frame order
    bool Empty() const { return views.empty() && rings.empty(); }
};

struct TTimeline {
    int32_t width = 0, height = 0; // twips
    int rate = 12;
    TRgba background{255, 255, 255, 255};
    std::vector<TPlacement> placements; // in call order, which is stacking order
    std::vector<TSoundStart> sounds;
    std::optional<int32_t> stop; // first frame with a stop action
    int32_t lastFrame = -1;
    TFocus focus; // set after the export, from the project's choice

    int PixelWidth() const { return (width + 10) / 20; }
    int PixelHeight() const { return (height + 10) / 20; }
    // Frames a player shows: up to and with the stop, or the whole movie once.
    int32_t FrameCount() const { return stop ? *stop + 1 : std::max(lastFrame + 1, 1); }
};

// A font face found as the SWF writer finds it (fontconfig, then FreeType).
std::shared_ptr<TFace> FindFace(const std::string& name);

// The movie interfaces over a timeline. WriteMovie hands the finished
// timeline and the target to the output set with SetOutput.
class TTimelineMovie : public swf::ISwfMovie {
  public:
    using TOutput = std::function<void(const TTimeline&, const std::string&)>;
    void SetOutput(TOutput output) { Output = std::move(output); }
    const TTimeline& Timeline() const { return T; }

    void SetSize(int32_t width, int32_t height) override;
    void SetFrameRate(int32_t rate) override;
    void SetFrameBkColor(uint8_t red, uint8_t green, uint8_t blue) override;
    void GotoFrame(int32_t frame) override;
    void AddObject(swf::ISwfObject& object) override;
    void RemoveObject(swf::ISwfObject& object) override;
    void AddAction(swf::ISwfAction& action) override;
    void WriteMovie(const std::string& path) override;

  private:
    void Touch() { T.lastFrame = std::max(T.lastFrame, Frame); }
    TTimeline T;
    TOutput Output;
    bool Sized = false;
    int32_t Frame = 0;
    std::vector<std::pair<const void*, size_t>> Latest; // object -> its latest placement
};

std::unique_ptr<TTimelineMovie> CreateTimelineMovie();
std::unique_ptr<swf::ISwfObject> CreateTimelineObject();
std::unique_ptr<swf::ISwfAction> CreateTimelineAction();

// Owns a set of timeline writers, in the order of the export's writer set.
struct TTimelineWriterSet {
    std::unique_ptr<TTimelineMovie> Movie = CreateTimelineMovie();
    std::unique_ptr<swf::ISwfObject> Media = CreateTimelineObject();
    std::unique_ptr<swf::ISwfObject> Font = CreateTimelineObject();
    std::unique_ptr<swf::ISwfObject> Text = CreateTimelineObject();
    std::unique_ptr<swf::ISwfAction> Action = CreateTimelineAction();
};

} // namespace video
