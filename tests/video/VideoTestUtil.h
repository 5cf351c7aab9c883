#pragma once
// Projects of a few small screenshots, exported to the timeline or to files.

#include <array>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "export/ExportTestUtil.h"
#include "project/MovieFormats.h"
#include "swf/TestMedia.h"
#include "video/Renderer.h"

namespace quillora::test {

constexpr int kStageW = 96, kStageH = 64;

// A project of n screenshots (each its own pattern) at 24 frames each, the
// mouse at a different place on each.
struct ShotFolder {
    Scratch shots; // made before the project that names its files
};

struct ShotProject : ShotFolder, Project {
    std::vector<std::string> Shots;
    std::vector<std::pair<int, int>> Mouse;
    explicit ShotProject(int n, int w = kStageW, int h = kStageH, std::string extra = "",
                         std::string bg = "16777215")
        : Project(MovieXml(Objects(n, w, h, extra), 0, bg, w, h))
    {
        for (int i = 0; i < n; ++i) {
            Shots.push_back(shots / ("shot" + std::to_string(i) + ".jpg"));
            swftest::WriteFile(Shots.back(),
                               swftest::MakeJpeg(w, h, swftest::JpegKind::Baseline, i));
            Mouse.emplace_back(MouseOf(i, w, h));
        }
        card.ClickSoundPath = std::string(QUILLORA_BIN_DIR) + "/click.wav";
    }
    static std::pair<int, int> MouseOf(int i, int w, int h)
    {
        return {(10 + 37 * i) % (w - 20), (8 + 23 * i) % (h - 24)};
    }
    std::string Objects(int n, int w, int h, const std::string& extra)
    {
        std::string xml;
        for (int i = 0; i < n; ++i) {
            Pic p;
            p.name = "Pic" + std::to_string(i + 1);
            p.start = 24 * i;
            p.end = 24 * i + 24;
            std::tie(p.mx, p.my) = MouseOf(i, w, h);
            p.content = shots / ("shot" + std::to_string(i) + ".jpg");
            p.w = w;
            p.h = h;
            xml += p.Xml();
        }
        return xml + extra;
    }
};

inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::string s = ReadAll(path);
    return std::vector<uint8_t>(s.begin(), s.end());
}

// The timeline the export records for a project.
inline video::TTimeline RecordTimeline(TFlashCard& card, IExportReporter* reporter = nullptr)
{
    video::TTimelineWriterSet set;
    video::TTimeline timeline;
    set.Movie->SetOutput([&](const video::TTimeline& t, const std::string&) { timeline = t; });
    card.ExportSwf("All", "unused", {*set.Movie, *set.Media, *set.Font, *set.Text, *set.Action},
                   reporter);
    return timeline;
}

// PSNR of two RGB images over the pixels keep(x, y) takes.
template <typename Keep>
double PsnrWhere(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int w, int h,
                 Keep keep)
{
    double sum = 0;
    long n = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!keep(x, y))
                continue;
            for (int c = 0; c < 3; ++c) {
                double d = double(a[(size_t(y) * w + x) * 3 + c]) - b[(size_t(y) * w + x) * 3 + c];
                sum += d * d;
                ++n;
            }
        }
    double mse = sum / std::max(1L, n);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

// PSNR of two RGB images of one size, leaving out a rectangle (the cursor).
// The renderer's frame as packed RGB.
inline std::vector<uint8_t> Rgb(const video::TRenderer& r)
{
    const int w = r.Width(), h = r.Height();
    std::vector<uint8_t> out(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = r.Pixels() + size_t(y) * r.Stride() + size_t(x) * 4;
            uint8_t* d = &out[(size_t(y) * w + x) * 3];
            d[0] = p[2];
            d[1] = p[1];
            d[2] = p[0];
        }
    return out;
}

inline double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int w, int h,
                   video::TRect mask = {})
{
    return PsnrWhere(a, b, w, h, [&](int x, int y) {
        return !(x >= mask.x && x < mask.x + mask.w && y >= mask.y && y < mask.y + mask.h);
    });
}

// PSNR of one rectangle of two RGB images.
inline double PsnrIn(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int w,
                     video::TRect r)
{
    return PsnrWhere(a, b, w, r.y + r.h, [&](int x, int y) {
        return x >= r.x && x < r.x + r.w && y >= r.y;
    });
}

// The arrow's box, from its tip.
inline video::TRect CursorBox(std::pair<int, int> tip)
{
    return {tip.first - 2, tip.second - 2, 16, 26};
}

} // namespace quillora::test
