// The camera of a video that zooms toward the action: for every frame, the
// part of the stage the video shows, scaled to fill it. Every picture is one
// action whose frames, click and pointer glide the movie already knows, so
// the whole track is planned ahead, not guessed while playing.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace video {

struct TTimeline;

// A rectangle of the stage in pixels, of the stage's aspect ratio.
struct TView {
    double x = 0, y = 0, w = 0, h = 0;
    friend bool operator==(const TView&, const TView&) = default;
};

struct TPoint {
    double x = 0, y = 0;
};

struct TShot {
    int32_t start = 0, end = 0; // frames [start, end)
    bool zoom = true;           // false: the picture is always shown whole
};

struct TCameraScene {
    double width = 0, height = 0; // the stage in pixels
    int rate = 15;
    int32_t frames = 0; // frames shown; the last one is the stop frame
    // The arrow's tip in each frame where it is shown (any length; frames
    // past its end have no arrow).
    std::vector<std::optional<TPoint>> pointer;
    std::vector<TShot> shots;
};

inline constexpr double kMinZoomLevel = 1.25, kMaxZoomLevel = 4.0, kDefaultZoomLevel = 2.0;

// How far from a view's edges the pointer's tip is kept, as a part of the
// view at the zoom level (the arrow hangs down and right of its tip).
inline constexpr double kCameraMargin = 0.15;

// The shortest stay, in seconds, that the camera goes in for: pictures near
// one another in a row that show for less are seen as the far moves around
// them are.
inline constexpr double kCameraMinStay = 2.0;

// Frames of one ease of the camera at rate frames per second.
int CameraEaseFrames(int rate);

// The view of every frame of the scene at the zoom level (clamped to the
// allowed range): scene.frames views.
std::vector<TView> CameraTrack(const TCameraScene& scene, double level);

// The arrow's tip, frame by frame, in the first frames of a timeline: the
// outline shapes it places are the cursor.
std::vector<std::optional<TPoint>> PointerPath(const TTimeline& timeline, int32_t frames);

} // namespace video
