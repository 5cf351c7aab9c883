// The movie of a project as the renderer draws it, frame by frame, as raw
// RGB on standard output: the lossless reference the benchmark measures the
// videos against, so their PSNR is what the encoder lost and not the arrow
// the screenshots lack.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "project/MovieFormats.h"
#include "video/Encoder.h"
#include "video/Renderer.h"
#include "video/Timeline.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: video_bench_render PROJECT.qlv > frames.rgb\n");
        return 2;
    }
    const video::TTimeline timeline = quillora::ProjectTimeline(
        argv[1], std::string(QUILLORA_BENCH_DATA) + "/click.wav", nullptr);
    video::TRenderer renderer(timeline);
    const int w = renderer.Width(), h = renderer.Height();
    const int32_t frames = video::VideoFrameCount(timeline), shown = timeline.FrameCount();
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (int32_t f = 0; f < frames; ++f) {
        renderer.Render(std::min(f, shown - 1));
        for (int y = 0; y < h; ++y) {
            const uint8_t* p = renderer.Pixels() + size_t(y) * renderer.Stride();
            uint8_t* d = rgb.data() + size_t(y) * w * 3;
            for (int x = 0; x < w; ++x) {
                d[3 * x + 0] = p[4 * x + 2];
                d[3 * x + 1] = p[4 * x + 1];
                d[3 * x + 2] = p[4 * x + 0];
            }
        }
        if (std::fwrite(rgb.data(), 1, rgb.size(), stdout) != rgb.size())
            return 1;
    }
    std::fprintf(stderr, "%dx%d %d\n", w, h, frames);
    return 0;
}
