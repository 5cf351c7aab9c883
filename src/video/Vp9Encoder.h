// VP9 on libvpx itself rather than through libavcodec, for what only its
// own interface offers per frame: an active map, so that the blocks the
// renderer did not touch are skipped without being searched, and a
// quantiser and speed of its own for a frame where the camera moves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

#include "video/Renderer.h"

struct AVFrame;
struct vpx_codec_ctx;

namespace video {

// What libvpx refused, in its words.
struct TVp9Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct TVp9Packet {
    const uint8_t* data;
    size_t size;
    int64_t pts; // in frames
    bool key;
};

class TVp9Encoder {
  public:
    using TSink = std::function<void(const TVp9Packet&)>;

    // width x height 4:2:0 pictures (even sizes), rate frames a second, a
    // key frame at least every keyInterval frames, threads of libvpx's own;
    // golden: frames may refer to libvpx's long-term reference (not for a
    // movie whose camera moves). Every packet goes to sink as soon as it is
    // made. Throws TVp9Error when libvpx cannot start.
    TVp9Encoder(int width, int height, int rate, int keyInterval, int threads, bool golden,
                TSink sink);
    ~TVp9Encoder();
    TVp9Encoder(const TVp9Encoder&) = delete;
    TVp9Encoder& operator=(const TVp9Encoder&) = delete;

    // picture (YUV420P) is frame pts. changed: where it differs from the
    // frame before, which the encoder leaves as it was everywhere else
    // (ignored for the first frame and key frames). moving: the camera
    // moves in this frame; such frames are coded coarser and faster.
    void Encode(const AVFrame* picture, int64_t pts, TRect changed, bool moving);
    // The packets still inside the encoder.
    void Finish();

  private:
    void Drain();
    void Check(int err) const;

    const int W, H;
    const bool Golden;
    TSink Sink;
    vpx_codec_ctx* Codec = nullptr;
    int64_t Frames = 0;
    bool Moving = false;
    std::vector<uint8_t> Blocks; // the active map, kept between frames
};

} // namespace video
