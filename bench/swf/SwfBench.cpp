// The movie of a recording, written as the export writes it: every
// screenshot for 24 frames with a click in its second frame and the arrow
// re-placed in every frame. Prints wall time, output bytes, the ratio to the
// JPEG bytes and the floor (reading every JPEG once into one buffer).
//
//   swf_bench [--runs R] [--only NAME] [--sizes small|large|all]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "DesktopImage.h"
#include "swf/Writer.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Config {
    const char* name;
    bool optimize;
    bool compress;
    int level;
    bool sync;
};

void WriteBytes(const fs::path& p, const std::vector<uint8_t>& b) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

std::vector<uint8_t> ClickWav() {
    const uint32_t rate = 22050, samples = rate / 20;
    std::vector<uint8_t> b;
    auto put32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i))); };
    auto put16 = [&](uint32_t v) { b.push_back(static_cast<uint8_t>(v)); b.push_back(static_cast<uint8_t>(v >> 8)); };
    auto tag = [&](const char* t) { b.insert(b.end(), t, t + 4); };
    tag("RIFF");
    put32(36 + samples * 2);
    tag("WAVE");
    tag("fmt ");
    put32(16);
    put16(1);
    put16(1);
    put32(rate);
    put32(rate * 2);
    put16(2);
    put16(16);
    tag("data");
    put32(samples * 2);
    for (uint32_t i = 0; i < samples; ++i)
        put16(static_cast<uint16_t>(static_cast<int16_t>(12000 * std::exp(-i / 150.0) * std::sin(i * 0.9))));
    return b;
}

double CpuSeconds() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double RunOnce(const Config& c, const std::vector<std::string>& pics, int w, int h, const std::string& click,
               const std::string& out) {
    auto t0 = Clock::now();
    swf::WriterOptions opt;
    opt.compress = c.compress;
    opt.compressionLevel = c.level;
    opt.syncToDisk = c.sync;
    auto movie = swf::CreateMovie(opt);
    auto media = swf::CreateObject(swf::JpegOptions{c.optimize});
    auto stop = swf::CreateAction();
    movie->SetSize(w * 20, h * 20);
    movie->SetFrameRate(15);
    movie->GotoFrame(0);
    movie->SetFrameBkColor(255, 255, 255);
    const int n = static_cast<int>(pics.size());
    for (int j = 0; j < n; ++j) {
        int s = 24 * j;
        movie->GotoFrame(s);
        media->MakePicture(0, 0, w * 20, h * 20, w, h, pics[j]);
        movie->AddObject(*media);
        movie->GotoFrame(s + 24);
        movie->RemoveObject(*media);
        movie->GotoFrame(s + 1);
        media->MakeSound(click);
        movie->AddObject(*media);
    }
    media->MakePolygon(0, 0);
    const int arrow[21][2] = {{220, 220}, {-80, 0}, {0, 40}, {20, 20}, {0, 20}, {20, 20}, {0, 20},
                              {20, 20}, {0, 20}, {-20, 20}, {-20, 0}, {-20, -20}, {0, -20}, {-20, -20},
                              {0, -20}, {-20, -20}, {0, -20}, {-20, -20}, {0, -20}, {-80, 80}, {0, -320}};
    for (auto& s : arrow) media->AddStraightLine(s[0], s[1]);
    for (int j = 0; j < n; ++j) {
        int s = 24 * j;
        int x0 = (j * 97) % w, y0 = (j * 53) % h, x1 = ((j + 1) * 97) % w, y1 = ((j + 1) * 53) % h;
        for (int f = s; f <= s + 24; ++f) {
            movie->GotoFrame(f);
            if (f > s) movie->RemoveObject(*media);
            int k = f - s;
            media->Translate((x0 + static_cast<int>(std::nearbyint(k * (x1 - x0) / 24.0))) * 20,
                             (y0 + static_cast<int>(std::nearbyint(k * (y1 - y0) / 24.0))) * 20);
            movie->AddObject(*media);
        }
        movie->RemoveObject(*media);
    }
    movie->GotoFrame(24 * n);
    stop->MakeActionStop();
    movie->AddAction(*stop);
    movie->WriteMovie(out);
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void Bench(const fs::path& dir, int n, int w, int h, int runs, const std::vector<Config>& configs) {
    std::printf("\n== %d screenshots of %d x %d\n", n, w, h);
    std::vector<std::string> pics;
    uint64_t jpegBytes = 0;
    for (int i = 0; i < n; ++i) {
        auto jpeg = bench::EncodeJpeg(bench::MakeDesktopRgb(w, h, i), w, h, 90);
        jpegBytes += jpeg.size();
        pics.push_back((dir / ("shot" + std::to_string(i) + ".jpg")).string());
        WriteBytes(pics.back(), jpeg);
    }
    std::string click = (dir / "click.wav").string();
    WriteBytes(click, ClickWav());
    std::printf("JPEG bytes %llu (%.1f KB each)\n", static_cast<unsigned long long>(jpegBytes), jpegBytes / 1024.0 / n);

    std::vector<double> floors;
    std::vector<char> buf;
    for (int r = 0; r < std::max(3, runs); ++r) {
        auto t0 = Clock::now();
        for (auto& p : pics) {
            std::ifstream in(p, std::ios::binary | std::ios::ate);
            auto size = static_cast<size_t>(in.tellg());
            if (buf.size() < size) buf.resize(size);
            in.seekg(0);
            in.read(buf.data(), static_cast<std::streamsize>(size));
        }
        floors.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    std::sort(floors.begin(), floors.end());
    std::printf("floor (read every JPEG once): best %.4f s, median %.4f s\n", floors.front(), floors[floors.size() / 2]);

    std::string out = (dir / "movie.swf").string();
    std::printf("%-30s %9s %9s %9s %12s %7s\n", "writer", "best s", "median s", "cpu s", "bytes", "ratio");
    for (const Config& c : configs) {
        std::vector<double> t, cpu;
        for (int r = 0; r < runs; ++r) {
            double c0 = CpuSeconds();
            t.push_back(RunOnce(c, pics, w, h, click, out));
            cpu.push_back(CpuSeconds() - c0);
        }
        std::sort(t.begin(), t.end());
        std::sort(cpu.begin(), cpu.end());
        uint64_t bytes = fs::file_size(out);
        std::printf("%-30s %9.4f %9.4f %9.4f %12llu %7.4f\n", c.name, t.front(), t[t.size() / 2], cpu.front(),
                    static_cast<unsigned long long>(bytes), static_cast<double>(bytes) / jpegBytes);
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::string only, sizes = "all";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--only")) only = argv[i + 1];
        if (!std::strcmp(argv[i], "--sizes")) sizes = argv[i + 1];
    }
    std::vector<Config> all = {
        {"default (huffman+igzip2+fsync)", true, true, 2, true},
        {"huffman + igzip 1", true, true, 1, false},
        {"huffman + igzip 2", true, true, 2, false},
        {"huffman + igzip 3", true, true, 3, false},
        {"huffman only", true, false, 0, false},
        {"as-is + igzip 2", false, true, 2, false},
        {"as-is (no recoding)", false, false, 0, false},
    };
    std::vector<Config> configs;
    for (auto& c : all)
        if (only.empty() || only == c.name) configs.push_back(c);
    fs::path dir = fs::temp_directory_path() / ("swf-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    if (sizes != "large") Bench(dir, 200, 640, 480, runs, configs);
    if (sizes != "small") Bench(dir, 50, 1920, 1080, runs, configs);
    fs::remove_all(dir);
}
