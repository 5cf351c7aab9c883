// The JPEG and WAV readers: what they keep, what they re-code and what they refuse.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestMedia.h"
#include "swf/JpegRecode.h"
#include "swf/Media.h"

using namespace swf;
using swftest::JpegKind;
using swftest::MakeJpeg;
using swftest::MakeWav;

namespace {

bool HasMarker(const Bytes& jpeg, uint8_t marker) {
    for (size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) return true;
    return false;
}

JpegImage Prepare(const Bytes& b, bool optimize = true) {
    return PrepareJpeg(b.data(), b.size(), JpegOptions{optimize});
}

}  // namespace

TEST(Jpeg, BaselineIsKeptByteForByteWithoutOptimisation) {
    Bytes in = MakeJpeg(40, 24);
    JpegImage img = Prepare(in, false);
    EXPECT_EQ(img.data, in);
    EXPECT_EQ(img.width, 40);
    EXPECT_EQ(img.height, 24);
    EXPECT_EQ(img.components, 3);
    EXPECT_FALSE(img.recoded);
    EXPECT_FALSE(img.reencoded);
}

TEST(Jpeg, OptimisedHuffmanTablesAreLosslessAndBaseline) {
    Bytes in = MakeJpeg(64, 48);
    JpegImage img = Prepare(in);
    EXPECT_TRUE(img.recoded);
    EXPECT_LT(img.data.size(), in.size());
    EXPECT_TRUE(HasMarker(img.data, 0xC0) || HasMarker(img.data, 0xC1));
    EXPECT_EQ(swftest::DecodeRgb(img.data), swftest::DecodeRgb(in));
}

TEST(Jpeg, ProgressiveBecomesBaselineWithTheSamePixels) {
    Bytes in = MakeJpeg(48, 32, JpegKind::Progressive);
    ASSERT_TRUE(HasMarker(in, 0xC2));
    JpegImage img = Prepare(in, false);
    EXPECT_TRUE(img.recoded);
    EXPECT_FALSE(HasMarker(img.data, 0xC2));
    EXPECT_EQ(swftest::DecodeRgb(img.data), swftest::DecodeRgb(in));
}

TEST(Jpeg, GrayscaleStaysGrayscale) {
    Bytes in = MakeJpeg(16, 16, JpegKind::Grayscale);
    JpegImage img = Prepare(in);
    EXPECT_EQ(img.components, 1);
    EXPECT_FALSE(img.reencoded);
    EXPECT_EQ(swftest::DecodeRgb(img.data), swftest::DecodeRgb(in));
}

TEST(Jpeg, CmykAndArithmeticAreReencodedAsBaselineColour) {
    for (JpegKind kind : {JpegKind::Cmyk, JpegKind::Arithmetic}) {
        Bytes in = MakeJpeg(32, 16, kind);
        JpegImage img = Prepare(in);
        EXPECT_TRUE(img.reencoded);
        EXPECT_EQ(img.components, 3);
        EXPECT_TRUE(HasMarker(img.data, 0xC0) || HasMarker(img.data, 0xC1));
        EXPECT_FALSE(HasMarker(img.data, 0xC9));  // arithmetic SOF
        int w = 0, h = 0;
        Bytes px = swftest::DecodeRgb(img.data, &w, &h);
        EXPECT_EQ(w, 32);
        EXPECT_EQ(h, 16);
    }
    // The arithmetic file's colours survive the round trip closely.
    Bytes in = MakeJpeg(32, 16, JpegKind::Arithmetic);
    Bytes a = swftest::DecodeRgb(in), b = swftest::DecodeRgb(Prepare(in).data);
    ASSERT_EQ(a.size(), b.size());
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
    EXPECT_LT(worst, 40);
}

TEST(Jpeg, DamagedOrForeignFilesAreRefusedWithAReason) {
    Bytes good = MakeJpeg(64, 64);
    auto refuse = [](const Bytes& b, const std::string& expect) {
        try {
            PrepareJpeg(b.data(), b.size());
            ADD_FAILURE() << "accepted " << expect;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(expect), std::string::npos) << e.what();
        }
    };
    refuse(Bytes{}, "empty");
    refuse(Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, "not a JPEG");
    refuse(Bytes(good.begin(), good.begin() + static_cast<long>(good.size() / 2)), "Unusable JPEG");
    refuse(Bytes(good.begin(), good.begin() + 20), "Unusable JPEG");
    // Same when the data would be kept as it is.
    Bytes cut(good.begin(), good.end() - 200);
    EXPECT_THROW(PrepareJpeg(cut.data(), cut.size(), JpegOptions{false}), std::runtime_error);
}

// The fast re-coder must give back exactly the pixels, for every layout.
TEST(Jpeg, FastRecodeIsLosslessForEveryLayout) {
    struct Case {
        int w, h, hs, vs, restart;
    };
    const Case cases[] = {{64, 48, 2, 2, 0}, {37, 23, 2, 2, 0}, {33, 17, 1, 1, 0}, {40, 30, 2, 1, 0},
                          {50, 50, 1, 2, 3}, {61, 45, 2, 2, 1}, {8, 8, 2, 2, 0}, {1, 1, 1, 1, 0}};
    for (const Case& c : cases) {
        Bytes in = swftest::MakeJpegSampled(c.w, c.h, c.hs, c.vs, c.restart, c.w);
        JpegInfo info;
        Bytes out;
        ASSERT_TRUE(RecodeHuffman(in.data(), in.size(), &out, info)) << c.w << "x" << c.h;
        EXPECT_EQ(info.width, c.w);
        EXPECT_EQ(info.height, c.h);
        EXPECT_LE(out.size(), in.size());
        EXPECT_EQ(swftest::DecodeRgb(out), swftest::DecodeRgb(in)) << c.w << "x" << c.h;
    }
    Bytes gray = MakeJpeg(29, 31, JpegKind::Grayscale);
    JpegInfo info;
    Bytes out;
    ASSERT_TRUE(RecodeHuffman(gray.data(), gray.size(), &out, info));
    EXPECT_EQ(info.components, 1);
    EXPECT_EQ(swftest::DecodeRgb(out), swftest::DecodeRgb(gray));
    // Left to libjpeg: progressive, arithmetic, CMYK.
    for (JpegKind k : {JpegKind::Progressive, JpegKind::Arithmetic, JpegKind::Cmyk}) {
        Bytes other = MakeJpeg(16, 16, k);
        EXPECT_FALSE(RecodeHuffman(other.data(), other.size(), &out, info));
    }
}

TEST(Jpeg, FastRecodeRefusesDamagedEntropyData) {
    Bytes in = swftest::MakeJpegSampled(64, 64, 2, 2, 4);
    JpegInfo info;
    Bytes cut(in.begin(), in.end() - 40);
    EXPECT_FALSE(RecodeHuffman(cut.data(), cut.size(), nullptr, info));
    Bytes noEoi(in.begin(), in.end() - 2);
    EXPECT_FALSE(RecodeHuffman(noEoi.data(), noEoi.size(), nullptr, info));
    // A restart marker out of sequence.
    Bytes badRst = in;
    for (size_t i = 600; i + 1 < badRst.size(); ++i)
        if (badRst[i] == 0xFF && badRst[i + 1] >= 0xD0 && badRst[i + 1] <= 0xD7) {
            badRst[i + 1] = static_cast<uint8_t>(0xD0 | ((badRst[i + 1] + 3) & 7));
            break;
        }
    EXPECT_FALSE(RecodeHuffman(badRst.data(), badRst.size(), nullptr, info));
    EXPECT_THROW(PrepareJpeg(cut.data(), cut.size()), std::runtime_error);
}

TEST(Jpeg, PicturesLargerThanPlayersShowAreRefused) {
    Bytes wide = MakeJpeg(8200, 8);
    try {
        PrepareJpeg(wide.data(), wide.size());
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("larger than players show"), std::string::npos) << e.what();
    }
}

TEST(Wav, AcceptsEveryRateAnSwfSoundCarries) {
    const std::pair<uint32_t, int> rates[] = {{5512, 0}, {11025, 1}, {22050, 2}, {44100, 3}};
    for (auto [rate, code] : rates) {
        Bytes w = MakeWav(rate, 1, 16, 100);
        WavSound s = ParseWav(w.data(), w.size());
        EXPECT_EQ(s.rateCode, code);
        EXPECT_EQ(s.sampleCount, 100u);
        EXPECT_EQ(s.samples.size(), 200u);
        EXPECT_TRUE(std::equal(s.samples.begin(), s.samples.end(), w.end() - 200));
    }
}

TEST(Wav, SkipsPaddedChunksBeforeTheData) {
    Bytes w = MakeWav(22050, 1, 16, 4);
    // Insert an odd-sized "LIST" chunk (3 bytes + 1 pad byte) after the format chunk.
    Bytes list{'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    w.insert(w.begin() + 36, list.begin(), list.end());
    WavSound s = ParseWav(w.data(), w.size());
    EXPECT_EQ(s.sampleCount, 4u);
}

TEST(Wav, RefusesWhatAnSwfSoundCannotCarry) {
    auto refuse = [](const Bytes& b, const std::string& expect) {
        try {
            ParseWav(b.data(), b.size());
            ADD_FAILURE() << "accepted " << expect;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(expect), std::string::npos) << e.what();
        }
    };
    refuse(MakeWav(22050, 2, 16, 10), "2 channels");
    refuse(MakeWav(22050, 1, 8, 10), "8-bit");
    refuse(MakeWav(48000, 1, 16, 10), "48000 Hz");
    refuse(MakeWav(22050, 1, 16, 10, 3), "not PCM");
    refuse(MakeWav(22050, 1, 16, 0), "no samples");
    refuse(Bytes{}, "not a RIFF");
    refuse(Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '}, "not a RIFF");
    Bytes beyond = MakeWav(22050, 1, 16, 10);
    beyond.resize(beyond.size() - 6);
    refuse(beyond, "claims 20 bytes");
    Bytes odd = MakeWav(22050, 1, 16, 10);
    odd[40] = 19;  // data size
    odd.pop_back();
    refuse(odd, "odd");
    Bytes noData = MakeWav(22050, 1, 16, 10);
    noData.resize(36);
    refuse(noData, "no data chunk");
    Bytes noFormat = MakeWav(22050, 1, 16, 10);
    noFormat[12] = 'x';
    refuse(noFormat, "no format chunk");
}

TEST(Files, UnreadablePathNamesPathAndReason) {
    try {
        ReadFileBytes("/nonexistent/dir/pic.jpg");
        FAIL();
    } catch (const std::runtime_error& e) {
        std::string m = e.what();
        EXPECT_NE(m.find("/nonexistent/dir/pic.jpg"), std::string::npos);
        EXPECT_NE(m.find("No such file"), std::string::npos);
    }
}
