// Replays the fuzzing corpus: every input must be read or refused with an
// exception, never crash (the sanitizers watch).
#include <gtest/gtest.h>

#include <filesystem>

#include "swf/Media.h"

namespace fs = std::filesystem;

namespace {

size_t Replay(const std::string& sub, void (*feed)(const swf::Bytes&)) {
    size_t n = 0;
    fs::path dir = fs::path(SWF_CORPUS_DIR) / sub;
    if (!fs::exists(dir)) return 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (!e.is_regular_file()) continue;
        swf::Bytes data = swf::ReadFileBytes(e.path().string());
        try {
            feed(data);
        } catch (const std::runtime_error&) {
        }
        ++n;
    }
    return n;
}

}  // namespace

TEST(Corpus, JpegInputs) {
    size_t n = Replay("jpeg", [](const swf::Bytes& d) {
        swf::PrepareJpeg(d.data(), d.size(), {true});
        swf::PrepareJpeg(d.data(), d.size(), {false});
    });
    EXPECT_GT(n, 0u);
}

TEST(Corpus, WavInputs) {
    size_t n = Replay("wav", [](const swf::Bytes& d) { swf::ParseWav(d.data(), d.size()); });
    EXPECT_GT(n, 0u);
}
