// How the camera of a project's zooming video moves: frames that hold,
// pans (the view's size kept), changes of zoom, and how many moves, so a
// change of the camera can be weighed before the encoders run. With a
// second argument, writes each frame's kind (h: held or whole, p: pan,
// z: zoom) a line a frame, for matching with the packets of a video; a
// pan's line goes on with its shift in pixels of the output.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "project/MovieFormats.h"
#include "video/Encoder.h"
#include "video/Timeline.h"

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: video_bench_camera PROJECT.qlv [KINDS.txt]\n"
                             "(the project must have <Zoom>True</Zoom>)\n");
        return 2;
    }
    const video::TTimeline t = quillora::ProjectTimeline(argv[1], "", nullptr);
    const auto& v = t.focus.views;
    if (v.empty()) {
        std::fprintf(stderr, "the project does not zoom\n");
        return 1;
    }
    const int32_t frames = video::VideoFrameCount(t), shown = t.FrameCount();
    const double W = t.PixelWidth();
    std::ofstream kinds;
    if (argc == 3)
        kinds.open(argv[2]);
    int held = 0, pans = 0, zooms = 0, moves = 0, exact = 0;
    char last = 'h';
    for (int32_t f = 0; f < frames; ++f) {
        const int32_t a = std::min(f, shown - 1), b = std::min(f - 1, shown - 1);
        char kind = 'h';
        if (f > 0 && !(v[size_t(a)] == v[size_t(b)])) {
            const auto &n = v[size_t(a)], &o = v[size_t(b)];
            kind = n.w == o.w && n.h == o.h ? 'p' : 'z';
            if (kind == 'p') {
                // A whole number of output pixels each way.
                const double px = (n.x - o.x) * W / n.w, py = (n.y - o.y) * W / n.w;
                exact += std::abs(px - std::round(px)) < 1e-6 && std::abs(py - std::round(py)) < 1e-6;
            }
        }
        held += kind == 'h';
        pans += kind == 'p';
        zooms += kind == 'z';
        moves += kind != 'h' && last == 'h';
        last = kind;
        if (kinds && kind == 'p') {
            const auto &n = v[size_t(a)], &o = v[size_t(b)];
            kinds << kind << ' ' << (n.x - o.x) * W / n.w << ' ' << (n.y - o.y) * W / n.w << '\n';
        } else if (kinds) {
            kinds << kind << '\n';
        }
    }
    std::printf("%d frames: %d held (%.0f %%), %d pan (%d by whole pixels), %d zoom; %d moves\n",
                frames, held, 100.0 * held / frames, pans, exact, zooms, moves);
    return 0;
}
