// Makes a recorded project for the export benchmark: N screenshots that look
// like a desktop (windows with title bars, text lines, a task bar), JPEG
// quality 90, appended to a project the way the recording appends them.
//   export_bench_project DIR N WIDTH HEIGHT [dense]
//                                             -> DIR/project.qlv, DIR/shots/*.jpg;
//                                                dense: the busier desktops of the
//                                                writer's benchmark (menus, icons,
//                                                glyph rows), about 1.5 x the bytes
//   export_bench_project --floor DIR          -> seconds to read every JPEG once
//   export_bench_project --driver DIR         -> seconds to load the project and
//                                                run the export into writers that
//                                                do nothing (the driver's own share)
#include <turbojpeg.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "DesktopImage.h"
#include "project/FlashCard.h"
#include "document/XMLDocument.h"
#include "document/XMLUnit.h"
#include "NullWriters.h"

namespace fs = std::filesystem;

namespace {

struct Image {
    int w, h;
    std::vector<unsigned char> px;
    void Fill(int x0, int y0, int x1, int y1, uint32_t rgb)
    {
        for (int y = std::max(0, y0); y < std::min(h, y1); ++y)
            for (int x = std::max(0, x0); x < std::min(w, x1); ++x) {
                unsigned char* p = &px[(size_t(y) * w + x) * 3];
                p[0] = rgb >> 16, p[1] = rgb >> 8, p[2] = rgb;
            }
    }
};

// One screenshot of a desktop in motion: the windows drift and the text in
// them changes a little from one capture to the next, as in a recording.
Image Desktop(int w, int h, int index, std::mt19937& rng)
{
    Image img{w, h, std::vector<unsigned char>(size_t(w) * h * 3)};
    for (int y = 0; y < h; ++y) // a soft gradient wallpaper
        img.Fill(0, y, w, y + 1, (0x20 + y * 0x40 / h) << 16 | (0x50 + y * 0x30 / h) << 8 | 0x90);
    std::mt19937 layout(7); // the same windows in every shot
    for (int win = 0; win < 3; ++win) {
        int ww = w / 2 + int(layout() % (w / 4)), wh = h / 2 + int(layout() % (h / 4));
        int x = int(layout() % (w - ww)) + (index * (win + 1)) % 17 - 8;
        int y = int(layout() % (h - wh - 30)) + (index * (win + 2)) % 11 - 5;
        img.Fill(x - 1, y - 1, x + ww + 1, y + wh + 1, 0x404040);
        img.Fill(x, y, x + ww, y + wh, 0xF4F4F4);
        img.Fill(x, y, x + ww, y + 22, win == 2 ? 0x2F5FA8 : 0x8A9BB8);
        img.Fill(x + ww - 18, y + 4, x + ww - 4, y + 18, 0xC84040);
        for (int line = 0; y + 34 + line * 16 < y + wh - 10; ++line) {
            int cx = x + 10;
            while (cx < x + ww - 40) { // words of dark "letters"
                int word = 12 + int(rng() % 50);
                if (rng() % 9 == 0)
                    word = 4;
                img.Fill(cx, y + 34 + line * 16, cx + word, y + 44 + line * 16, 0x202020);
                cx += word + 6;
            }
        }
    }
    img.Fill(0, h - 28, w, h, 0x1E1E28); // task bar with a clock
    for (int b = 0; b < 6; ++b)
        img.Fill(8 + b * 90, h - 24, 90 + b * 90, h - 4, 0x3C3C50);
    img.Fill(w - 60, h - 22, w - 8, h - 8, 0xE0E0E0);
    return img;
}

int Floor(const std::string& dir)
{
    std::vector<std::string> files;
    for (auto& e : fs::directory_iterator(dir + "/shots"))
        files.push_back(e.path().string());
    std::vector<char> buf(1 << 20);
    auto t0 = std::chrono::steady_clock::now();
    size_t total = 0;
    for (auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        while (in.read(buf.data(), buf.size()) || in.gcount())
            total += size_t(in.gcount());
    }
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%.4f %zu\n", s, total);
    return 0;
}

using bench::NullAction;
using bench::NullMovie;
using bench::NullObject;

int Driver(const std::string& dir)
{
    using namespace quillora;
    auto t0 = std::chrono::steady_clock::now();
    TXMLDocument doc(dir + "/project.qlv");
    IXMLMovie movie = GetMovie(doc);
    TFlashCard card(dir + "/project", nullptr);
    card.BindMovie(&movie);
    NullMovie m;
    NullObject media, font, text;
    NullAction action;
    card.ExportSwf("All", dir + "/unused.swf", {m, media, font, text, action});
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%.4f %ld\n", s, m.Calls);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--floor")
        return Floor(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--driver")
        return Driver(argv[2]);
    const bool dense = argc == 6 && std::string(argv[5]) == "dense";
    if (argc != 5 && !dense) {
        std::fprintf(stderr, "usage: %s DIR N WIDTH HEIGHT [dense] | --floor DIR | --driver DIR\n",
                     argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const int n = std::atoi(argv[2]), w = std::atoi(argv[3]), h = std::atoi(argv[4]);
    fs::create_directories(dir + "/shots");
    fs::copy_file(QUILLORA_BENCH_BLANK, dir + "/project.qlv", fs::copy_options::overwrite_existing);

    using namespace quillora;
    TXMLDocument doc(dir + "/project.qlv");
    IXMLMovie movie = GetMovie(doc);
    TFlashCard card(dir + "/project", nullptr);
    card.BindMovie(&movie);
    card.MovieBgColor = 0xFFFFFF;
    card.MovieWidth = w;
    card.MovieHeight = h;
    card.MovieRate = 15;
    card.WriteHeader();

    tjhandle tj = tjInitCompress();
    std::mt19937 rng(42);
    size_t jpegBytes = 0;
    for (int i = 0; i < n; ++i) {
        Image img = dense ? Image{w, h, bench::MakeDesktopRgb(w, h, i)} : Desktop(w, h, i, rng);
        unsigned char* jpeg = nullptr;
        unsigned long size = 0;
        if (tjCompress2(tj, img.px.data(), w, 0, h, TJPF_RGB, &jpeg, &size, TJSAMP_420, 90, 0) !=
            0) {
            std::fprintf(stderr, "%s\n", tjGetErrorStr2(tj));
            return 1;
        }
        std::string path = dir + "/shots/" + std::to_string(100000 + i) + ".jpg";
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<char*>(jpeg), long(size));
        tjFree(jpeg);
        jpegBytes += size;
        TFlashPic& pic = *card.PicTool;
        pic.Content = path;
        pic.MouseX = int(rng() % unsigned(w));
        pic.MouseY = int(rng() % unsigned(h));
        pic.Width = w;
        pic.Height = h;
        pic.StartTime = 24 * movie.GetObj().Count();
        pic.AppendToDocument();
    }
    tjDestroy(tj);
    std::printf("%zu\n", jpegBytes);
    return 0;
}
