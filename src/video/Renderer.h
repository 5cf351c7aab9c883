// Draws the frames of a timeline as a player shows the SWF: the stage in its
// background colour, then every placement of the frame in stacking order.
// Frames are drawn only where they differ from the one drawn before.
// With the timeline's focus, each frame shows the camera's view of the
// stage scaled to fill it, drawn from the pictures themselves, with the
// click rings over the pictures and the arrow at its own size over all.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "video/Timeline.h"

namespace video {

struct TRect {
    int x = 0, y = 0, w = 0, h = 0;
    bool Empty() const { return w <= 0 || h <= 0; }
    TRect United(const TRect& o) const;
    TRect Intersected(const TRect& o) const;
    int64_t Area() const { return Empty() ? 0 : int64_t(w) * h; }
};

class TRenderer {
  public:
    // padWidth/padHeight: extra background columns and rows right and below
    // the stage (encoders that need even sizes).
    explicit TRenderer(const TTimeline& timeline, int padWidth = 0, int padHeight = 0);
    ~TRenderer();
    TRenderer(const TRenderer&) = delete;
    TRenderer& operator=(const TRenderer&) = delete;

    // Brings the image to frame (any order; the next frame is cheapest) and
    // returns the rectangle that changed, empty when nothing did.
    TRect Render(int32_t frame);

    int Width() const { return W; }
    int Height() const { return H; }
    // 32 bits a pixel, B, G, R, unused in memory order.
    const uint8_t* Pixels() const;
    int Stride() const;

  private:
    TRect Bounds(size_t placement); // on the stage, not clipped
    TRect OnCanvas(size_t placement, const TView& view); // where the view puts it
    bool IsCursor(size_t placement) const;
    TView ViewAt(int32_t frame) const;
    TRect RingBounds(int32_t frame, const TView& view) const;
    void DrawRings(cairo_t* cr, int32_t frame, const TView& view) const;
    void Draw(cairo_t* cr, size_t placement, bool smooth = false);
    cairo_surface_t* Picture(const TJpegSource& source);

    const TTimeline& T;
    int W, H;
    cairo_surface_t* Canvas;
    int32_t Current = -1;
    std::vector<size_t> Shown; // placements on the canvas, in call order
    std::vector<std::vector<size_t>> Starts, Ends;
    std::map<size_t, TRect> BoundsCache;
    std::map<const TJpegSource*, cairo_surface_t*> Decoded;
};

} // namespace video
