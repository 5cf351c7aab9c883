// The renderer's canvas as 4:2:0 pictures for the video encoders: a few
// pictures used in turn, each brought up to date by converting only what
// changed since it was last filled, so a frame costs what changed in it and
// no fresh allocation.
#pragma once

#include <cstdint>
#include <vector>

#include "video/Renderer.h"

struct AVFrame;

namespace video {

// The rectangle r of a canvas of 32-bit B, G, R, unused pixels into the
// same place of a YUV420P picture of its size, BT.601 limited range (what
// the videos are flagged as). r grows to even edges, as 4:2:0 pairs rows
// and columns.
void ConvertToI420(const uint8_t* canvas, int stride, int width, int height, TRect r,
                   AVFrame* picture);

class TPicturePool {
  public:
    TPicturePool(int width, int height);
    ~TPicturePool();
    TPicturePool(const TPicturePool&) = delete;
    TPicturePool& operator=(const TPicturePool&) = delete;

    // The canvas shows the next frame, which differs from the one before
    // in changed (all of it for the first). Returns a new reference to a
    // picture of it, the caller's to free. A picture is written only while
    // no one else holds a reference to it.
    AVFrame* Take(const uint8_t* canvas, int stride, TRect changed);

    // Pictures made so far (those held elsewhere force a new one).
    size_t Size() const { return Slots.size(); }

  private:
    struct TSlot {
        AVFrame* picture;
        TRect stale; // where it differs from the canvas
    };
    const int W, H;
    std::vector<TSlot> Slots;
    int Newest = -1;
};

} // namespace video
