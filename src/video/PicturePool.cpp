#include "video/PicturePool.h"

#include <algorithm>
#include <new>

extern "C" {
#include <libavutil/frame.h>
}

#include <libyuv/convert_from_argb.h>

namespace video {

void ConvertToI420(const uint8_t* canvas, int stride, int width, int height, TRect r,
                   AVFrame* picture)
{
    r = r.Intersected({0, 0, width, height});
    if (r.Empty())
        return;
    const int x0 = r.x & ~1, y0 = r.y & ~1;
    const int x1 = std::min(width, (r.x + r.w + 1) & ~1);
    const int y1 = std::min(height, (r.y + r.h + 1) & ~1);
    // libyuv's ARGB is B, G, R, A in memory, the canvas's order; the
    // fourth byte is not read.
    libyuv::ARGBToI420(
        canvas + size_t(y0) * stride + size_t(x0) * 4, stride,
        picture->data[0] + size_t(y0) * picture->linesize[0] + x0, picture->linesize[0],
        picture->data[1] + size_t(y0 / 2) * picture->linesize[1] + x0 / 2, picture->linesize[1],
        picture->data[2] + size_t(y0 / 2) * picture->linesize[2] + x0 / 2, picture->linesize[2],
        x1 - x0, y1 - y0);
}

TPicturePool::TPicturePool(int width, int height) : W(width), H(height) {}

TPicturePool::~TPicturePool()
{
    for (TSlot& s : Slots)
        av_frame_free(&s.picture);
}

AVFrame* TPicturePool::Take(const uint8_t* canvas, int stride, TRect changed)
{
    changed = changed.Intersected({0, 0, W, H});
    if (Newest < 0 || !changed.Empty()) {
        for (TSlot& s : Slots)
            s.stale = s.stale.United(changed);
        // The free picture nearest to the canvas; the encoder and the
        // queue hold the last few, so it is usually a few frames old.
        int pick = -1;
        for (size_t i = 0; i < Slots.size(); ++i)
            if (av_frame_is_writable(Slots[i].picture) &&
                (pick < 0 || Slots[i].stale.Area() < Slots[size_t(pick)].stale.Area()))
                pick = int(i);
        if (pick < 0) {
            AVFrame* p = av_frame_alloc();
            if (!p)
                throw std::bad_alloc();
            p->format = AV_PIX_FMT_YUV420P;
            p->width = W;
            p->height = H;
            if (av_frame_get_buffer(p, 0) < 0) {
                av_frame_free(&p);
                throw std::bad_alloc();
            }
            Slots.push_back({p, {0, 0, W, H}});
            pick = int(Slots.size()) - 1;
        }
        TSlot& s = Slots[size_t(pick)];
        ConvertToI420(canvas, stride, W, H, s.stale, s.picture);
        s.stale = {};
        Newest = pick;
    }
    AVFrame* f = av_frame_clone(Slots[size_t(Newest)].picture);
    if (!f)
        throw std::bad_alloc();
    return f;
}

} // namespace video
