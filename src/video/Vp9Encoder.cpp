#include "video/Vp9Encoder.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

#include <vpx/vp8cx.h>
#include <vpx/vpx_encoder.h>

namespace video {

namespace {

// The real-time encoder one step slower than its fastest: at the same PSNR
// 13 % fewer bytes. cq 35 gives about the PSNR of the MP4 (crf 23) beside
// it: 200 screenshots at 640 x 480, 40.2 dB against 38.6 dB on plain
// desktops and 36.9 dB against 37.1 dB on dense ones, at half the bytes an
// ffmpeg VP9 real-time video needs for that PSNR.
constexpr int kSpeed = 7;
constexpr int kCq = 35;
// While the camera moves every pixel of the frame changes and the eye
// follows the motion, not the detail; at the quantiser of a held frame a
// zoom frame carried more bytes than a new screenshot and took ten times
// as long as a held one. Coarser and one speed faster it costs about
// half (200 recorded screenshots at 640 x 480, zoom 2x: 7.4 -> 2.7 kB, 9 ->
// 5 ms); the frame the view settles on is coded whole again.
constexpr int kMovingSpeed = 8;
constexpr int kMovingCq = 56;

TVp9Error Failure(vpx_codec_ctx_t* c, const char* what)
{
    std::string text = std::string(what) + ": " + vpx_codec_error(c);
    if (const char* detail = vpx_codec_error_detail(c))
        text += std::string(" (") + detail + ")";
    return TVp9Error(text);
}

// Marks in map the 16 x 16 blocks of a width x height picture that rect
// touches, a byte (1 active, 0 not) a block, rows of (width + 15) / 16.
void MarkActiveBlocks(int width, int height, TRect rect, std::vector<uint8_t>& map)
{
    const int cols = (width + 15) / 16, rows = (height + 15) / 16;
    map.assign(size_t(cols) * rows, 0);
    rect = rect.Intersected({0, 0, width, height});
    if (rect.Empty())
        return;
    const int c0 = rect.x / 16, c1 = (rect.x + rect.w - 1) / 16;
    const int r0 = rect.y / 16, r1 = (rect.y + rect.h - 1) / 16;
    for (int r = r0; r <= r1; ++r)
        std::fill_n(map.begin() + ptrdiff_t(r) * cols + c0, c1 - c0 + 1, uint8_t(1));
}

} // namespace

TVp9Encoder::TVp9Encoder(int width, int height, int rate, int keyInterval, int threads,
                         bool golden, TSink sink)
    : W(width), H(height), Golden(golden), Sink(std::move(sink))
{
    vpx_codec_enc_cfg_t cfg;
    if (vpx_codec_enc_config_default(vpx_codec_vp9_cx(), &cfg, 0) != VPX_CODEC_OK)
        throw TVp9Error("this system's libvpx has no VP9 encoder");
    cfg.g_w = unsigned(W);
    cfg.g_h = unsigned(H);
    cfg.g_timebase = {1, rate};
    cfg.g_threads = unsigned(std::clamp(threads, 1, 8));
    cfg.g_lag_in_frames = 0;
    cfg.g_pass = VPX_RC_ONE_PASS;
    cfg.rc_end_usage = VPX_Q;
    cfg.kf_mode = VPX_KF_AUTO;
    cfg.kf_max_dist = unsigned(keyInterval);
    Codec = new vpx_codec_ctx_t{};
    if (vpx_codec_enc_init(Codec, vpx_codec_vp9_cx(), &cfg, 0) != VPX_CODEC_OK) {
        TVp9Error e = Failure(Codec, "cannot start the video encoder");
        delete Codec;
        throw e;
    }
    try {
        Check(vpx_codec_control(Codec, VP8E_SET_CPUUSED, kSpeed));
        Check(vpx_codec_control(Codec, VP8E_SET_CQ_LEVEL, unsigned(kCq)));
        // Threads share the frame by tile columns; splitting the rows too
        // costs more in waiting than it gains on two cores.
        Check(vpx_codec_control(Codec, VP9E_SET_ROW_MT, 0u));
        // Screen content: sharp edges, flat areas, nothing moving but the
        // arrow. At the same quantiser, 40 % fewer bytes and a higher PSNR.
        Check(vpx_codec_control(Codec, VP9E_SET_TUNE_CONTENT, int(VP9E_CONTENT_SCREEN)));
        Check(vpx_codec_control(Codec, VP9E_SET_COLOR_SPACE, int(VPX_CS_BT_601)));
        Check(vpx_codec_control(Codec, VP9E_SET_COLOR_RANGE, int(VPX_CR_STUDIO_RANGE)));
    } catch (...) {
        vpx_codec_destroy(Codec);
        delete Codec;
        throw;
    }
}

TVp9Encoder::~TVp9Encoder()
{
    vpx_codec_destroy(Codec);
    delete Codec;
}

void TVp9Encoder::Check(int err) const
{
    if (err != VPX_CODEC_OK)
        throw Failure(Codec, "cannot set up the video encoder");
}

void TVp9Encoder::Encode(const AVFrame* picture, int64_t pts, TRect changed, bool moving)
{
    // The frame the view settles on may show what the last moving frame
    // showed, but at full quality: all of it is coded again.
    if (Moving && !moving)
        changed = {0, 0, W, H};
    if (moving != Moving) {
        Check(vpx_codec_control(Codec, VP8E_SET_CQ_LEVEL, unsigned(moving ? kMovingCq : kCq)));
        Check(vpx_codec_control(Codec, VP8E_SET_CPUUSED, moving ? kMovingSpeed : kSpeed));
        Moving = moving;
    }
    // The blocks outside the change are coded as they were, unsearched. The
    // first frame, and a key frame, codes them all whatever the map says.
    changed = changed.Intersected({0, 0, W, H});
    vpx_active_map_t map{nullptr, unsigned(H + 15) / 16, unsigned(W + 15) / 16};
    if (Frames > 0 && changed.Area() < int64_t(W) * H) {
        MarkActiveBlocks(W, H, changed, Blocks);
        map.active_map = Blocks.data();
    }
    Check(vpx_codec_control(Codec, VP8E_SET_ACTIVEMAP, &map));

    vpx_image_t img;
    vpx_img_wrap(&img, VPX_IMG_FMT_I420, unsigned(W), unsigned(H), 1, picture->data[0]);
    for (int p = 0; p < 3; ++p) {
        img.planes[p] = picture->data[p];
        img.stride[p] = picture->linesize[p];
    }
    img.cs = VPX_CS_BT_601;
    img.range = VPX_CR_STUDIO_RANGE;
    // Where the camera moves, the golden frame (the reference libvpx keeps
    // for a few seconds) seldom shows the view again: searching it took a
    // tenth of a zooming video's time and saved 3 % of the bytes at most
    // (at 1920 x 1080 none). In a movie that holds still a window coming
    // back is found there: 4 % fewer bytes.
    const vpx_enc_frame_flags_t flags = Golden ? 0 : VP8_EFLAG_NO_REF_GF | VP8_EFLAG_NO_REF_ARF;
    if (vpx_codec_encode(Codec, &img, pts, 1, flags, VPX_DL_REALTIME) != VPX_CODEC_OK)
        throw Failure(Codec, "video encoding failed");
    ++Frames;
    Drain();
}

void TVp9Encoder::Finish()
{
    if (vpx_codec_encode(Codec, nullptr, 0, 1, 0, VPX_DL_REALTIME) != VPX_CODEC_OK)
        throw Failure(Codec, "video encoding failed");
    Drain();
}

void TVp9Encoder::Drain()
{
    vpx_codec_iter_t it = nullptr;
    while (const vpx_codec_cx_pkt_t* p = vpx_codec_get_cx_data(Codec, &it))
        if (p->kind == VPX_CODEC_CX_FRAME_PKT)
            Sink({static_cast<const uint8_t*>(p->data.frame.buf), p->data.frame.sz,
                  p->data.frame.pts, (p->data.frame.flags & VPX_FRAME_IS_KEY) != 0});
}

} // namespace video
