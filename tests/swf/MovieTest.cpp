// The movie contract end to end: calls in, file out, read back with our own
// reader and with yaswfp.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <libdeflate.h>

#include "TestMedia.h"
#include "swf/Media.h"
#include "swf/SwfReader.h"
#include "swf/Tags.h"
#include "swf/Writer.h"

using namespace swf;
namespace fs = std::filesystem;

namespace {

// Runs the outside parser; returns its output, fails the test on its failure.
std::string Yaswfp(const std::string& file) {
    std::string out = file + ".yaswfp.txt";
    std::string cmd = std::string(SWF_PYTHON) + " " + SWF_CHECK_SCRIPT + " '" + file + "' > '" + out + "' 2>&1";
    int rc = std::system(cmd.c_str());
    std::ifstream in(out);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(rc, 0) << ss.str();
    return ss.str();
}

const std::array<std::pair<int, int>, 21> kArrow = {{{220, 220}, {-80, 0}, {0, 40}, {20, 20}, {0, 20},
                                                      {20, 20}, {0, 20}, {20, 20}, {0, 20}, {-20, 20},
                                                      {-20, 0}, {-20, -20}, {0, -20}, {-20, -20}, {0, -20},
                                                      {-20, -20}, {0, -20}, {-20, -20}, {0, -20}, {-80, 80},
                                                      {0, -320}}};

void DrawArrow(ISwfObject& o) {
    o.MakePolygon(0, 0);
    for (auto [dx, dy] : kArrow) o.AddStraightLine(dx, dy);
}

size_t DecodeSize(const Bytes& jpeg) { return swftest::DecodeRgb(jpeg).size(); }

int DepthOf(const ReadFrame& f, uint16_t character) {
    for (auto& [d, item] : f.display)
        if (item.character == character) return d;
    return -1;
}

class MovieTest : public ::testing::Test {
protected:
    swftest::TempDir dir;
    std::string Jpeg(const std::string& name, int w, int h, int seed) {
        std::string p = dir.File(name);
        swftest::WriteFile(p, swftest::MakeJpeg(w, h, swftest::JpegKind::Baseline, seed));
        return p;
    }
    std::string Wav(const std::string& name, uint16_t channels = 1) {
        std::string p = dir.File(name);
        swftest::WriteFile(p, swftest::MakeWav(11025, channels, 16, 50));
        return p;
    }
    ReadMovie Write(ISwfMovie& m, const std::string& name = "out.swf") {
        std::string p = dir.File(name);
        m.WriteMovie(p);
        return ReadMovieFile(p);
    }
};

}  // namespace

// A recording as the export makes it: three screenshots (two with the same
// content), a click under each, an arrow gliding between mouse positions and
// a stop at the end.
TEST_F(MovieTest, RecordingMovie) {
    std::string pics[3] = {Jpeg("a.jpg", 32, 24, 1), Jpeg("b.jpg", 32, 24, 2), dir.File("c.jpg")};
    fs::copy_file(pics[0], pics[2]);
    std::string click = Wav("click.wav");
    const int mouse[4][2] = {{10, 5}, {20, 15}, {5, 20}, {5, 20}};

    auto movie = CreateMovie();
    auto media = CreateObject();
    auto stop = CreateAction();
    movie->SetSize(640, 480);
    movie->SetFrameRate(15);
    movie->GotoFrame(0);
    movie->SetFrameBkColor(255, 255, 255);
    for (int j = 0; j < 3; ++j) {
        int s = 24 * j, e = s + 24;
        movie->GotoFrame(s);
        media->MakePicture(0, 0, 640, 480, 32, 24, pics[j]);
        movie->AddObject(*media);
        movie->GotoFrame(e);
        movie->RemoveObject(*media);
        movie->GotoFrame(s + 1);
        media->MakeSound(click);
        movie->AddObject(*media);
    }
    DrawArrow(*media);
    for (int j = 0; j < 3; ++j) {
        int s = 24 * j, e = s + 24;
        for (int f = s; f <= e; ++f) {
            movie->GotoFrame(f);
            if (f > s) movie->RemoveObject(*media);
            int k = f - s;
            int x = mouse[j][0] + static_cast<int>(std::nearbyint(k * (mouse[j + 1][0] - mouse[j][0]) / 24.0));
            int y = mouse[j][1] + static_cast<int>(std::nearbyint(k * (mouse[j + 1][1] - mouse[j][1]) / 24.0));
            media->Translate(x * 20, y * 20);
            movie->AddObject(*media);
        }
        movie->RemoveObject(*media);
    }
    movie->GotoFrame(72);
    stop->MakeActionStop();
    movie->AddAction(*stop);
    ReadMovie m = Write(*movie);

    EXPECT_EQ(m.version, 8);
    EXPECT_TRUE(m.compressed);
    EXPECT_EQ(m.tags.front().code, kFileAttributes);
    EXPECT_EQ(m.frameCount, 73);
    EXPECT_EQ(m.frameRate, 15);
    EXPECT_EQ(m.background, 0xFFFFFFu);
    EXPECT_EQ(m.frameSize.xmax, 640);
    EXPECT_EQ(m.CountTags(kDefineBitsJpeg2), 2u);  // c.jpg is a.jpg
    EXPECT_EQ(m.CountTags(kDefineSound), 1u);
    EXPECT_EQ(m.CountTags(kStartSound), 3u);
    EXPECT_EQ(m.CountTags(kDefineShape3), 3u);  // two pictures and the arrow
    for (int j = 0; j < 3; ++j) EXPECT_EQ(m.frames[24 * j + 1].soundsStarted.size(), 1u);

    uint16_t arrow = 0;
    for (auto& [id, c] : m.characters)
        if (c.tag == kDefineShape3 && !c.bitmap) arrow = id;
    ASSERT_NE(arrow, 0);
    for (int f = 0; f < 72; ++f) {
        const ReadFrame& fr = m.frames[f];
        ASSERT_EQ(fr.display.size(), 2u) << "frame " << f;
        int pictureDepth = fr.display.begin()->first;
        const DisplayItem& pic = fr.display.begin()->second;
        EXPECT_TRUE(m.characters.at(pic.character).bitmap.has_value());
        EXPECT_EQ(pic.matrix.translateX, 0);
        EXPECT_GT(DepthOf(fr, arrow), pictureDepth) << "arrow under the picture in frame " << f;
        int j = f / 24, k = f % 24;
        int x = mouse[j][0] + static_cast<int>(std::nearbyint(k * (mouse[j + 1][0] - mouse[j][0]) / 24.0));
        EXPECT_EQ(fr.display.at(static_cast<uint16_t>(DepthOf(fr, arrow))).matrix.translateX, x * 20) << f;
    }
    // Pictures 0 and 2 show the same bitmap through the same shape.
    EXPECT_EQ(m.frames[0].display.begin()->second.character, m.frames[50].display.begin()->second.character);
    EXPECT_TRUE(m.frames[72].display.empty());
    EXPECT_EQ(m.frames[72].stops, 1);
    // Depths stay low however long the movie is.
    for (const ReadFrame& fr : m.frames)
        for (auto& [d, item] : fr.display) EXPECT_LE(d, 2);

    std::string parsed = Yaswfp(dir.File("out.swf"));
    EXPECT_NE(parsed.find("HEADER CWS version=8 frames=73 rate=15"), std::string::npos) << parsed;
    EXPECT_NE(parsed.find("TAG DoAction ActionStop"), std::string::npos);
}

TEST_F(MovieTest, FramesInAnyOrderAndPlacementsKeepTheirDefinition) {
    auto movie = CreateMovie();
    auto o = CreateObject();
    movie->SetSize(2000, 2000);
    o->MakePolygon(0, 0);
    o->AddStraightLine(100, 0);
    o->AddStraightLine(0, 100);
    movie->GotoFrame(10);
    movie->AddObject(*o);
    o->AddStraightLine(-100, 0);  // changes the object, not what frame 10 shows
    movie->GotoFrame(2);
    movie->AddObject(*o);
    movie->GotoFrame(5);
    movie->RemoveObject(*o);  // the latest placement: frame 2's
    ReadMovie m = Write(*movie);
    ASSERT_EQ(m.frameCount, 11);
    for (int f : {0, 1, 5, 6, 9}) EXPECT_TRUE(m.frames[f].display.empty()) << f;
    ASSERT_EQ(m.frames[2].display.size(), 1u);
    ASSERT_EQ(m.frames[10].display.size(), 1u);
    auto& late = m.characters.at(m.frames[2].display.begin()->second.character).points;
    auto& early = m.characters.at(m.frames[10].display.begin()->second.character).points;
    EXPECT_EQ(late.size(), 5u);   // start, three edges and the closing one
    EXPECT_EQ(early.size(), 4u);  // start, two edges, closing edge
    Yaswfp(dir.File("out.swf"));
}

TEST_F(MovieTest, LaterCallsLieAboveWhateverTheFrameOrder) {
    auto movie = CreateMovie();
    movie->SetSize(2000, 2000);
    std::unique_ptr<ISwfObject> objs[4];
    for (int i = 0; i < 4; ++i) {
        objs[i] = CreateObject();
        objs[i]->MakePolygon(i * 10, 0);
        objs[i]->AddStraightLine(100, 100);
    }
    // Call order a, b, c, d; frames 5, 0, 5, 3.
    const int frames[4] = {5, 0, 5, 3};
    for (int i = 0; i < 4; ++i) {
        movie->GotoFrame(frames[i]);
        movie->AddObject(*objs[i]);
    }
    ReadMovie m = Write(*movie);
    ASSERT_EQ(m.frames[5].display.size(), 4u);
    // Characters are numbered in order of first showing: b (frame 0), d (3), a, c (5).
    std::vector<int> start;
    for (auto& [d, item] : m.frames[5].display) start.push_back(m.characters.at(item.character).points.front().first);
    EXPECT_EQ(start, (std::vector<int>{0, 10, 20, 30}));  // a, b, c, d from bottom to top
    Yaswfp(dir.File("out.swf"));
}

TEST_F(MovieTest, RemovalRules) {
    std::string pic = Jpeg("p.jpg", 16, 16, 3);
    std::string click = Wav("c.wav");
    auto movie = CreateMovie();
    auto media = CreateObject();
    auto never = CreateObject();
    movie->SetSize(400, 400);
    movie->GotoFrame(3);
    movie->RemoveObject(*never);  // nothing placed: nothing happens
    movie->GotoFrame(0);
    media->MakePicture(0, 0, 320, 320, 16, 16, pic);
    movie->AddObject(*media);
    movie->GotoFrame(1);
    media->MakeSound(click);
    movie->AddObject(*media);
    movie->GotoFrame(2);
    movie->RemoveObject(*media);  // the latest placement is the sound: the picture stays
    movie->RemoveObject(*media);
    // A placement removed before its own frame never shows.
    auto late = CreateObject();
    late->MakePolygon(0, 0);
    late->AddStraightLine(40, 40);
    movie->GotoFrame(6);
    movie->AddObject(*late);
    movie->GotoFrame(4);
    movie->RemoveObject(*late);
    ReadMovie m = Write(*movie);
    EXPECT_EQ(m.frameCount, 7);
    for (int f = 0; f < 7; ++f) EXPECT_EQ(m.frames[f].display.size(), 1u) << f;
    EXPECT_EQ(m.CountTags(kRemoveObject2), 0u);
    EXPECT_EQ(m.CountTags(kDefineShape3), 1u);  // the late polygon is never defined
}

TEST_F(MovieTest, DepthsAreReusedAndRenumberedWithinTheLimit) {
    WriterOptions opt;
    opt.maxDepth = 3;
    auto movie = CreateMovie(opt);
    movie->SetSize(2000, 2000);
    // A staircase: each object overlaps the one before and must lie above it,
    // so depths only grow unless the writer renumbers.
    std::vector<std::unique_ptr<ISwfObject>> objs;
    const int n = 12;
    for (int i = 0; i < n; ++i) {
        objs.push_back(CreateObject());
        objs[i]->MakePolygon(i, 0);
        objs[i]->AddStraightLine(10, 10);
        movie->GotoFrame(i);
        movie->AddObject(*objs[i]);
        movie->GotoFrame(i + 2);
        movie->RemoveObject(*objs[i]);
    }
    ReadMovie m = Write(*movie);  // the reader refuses clashing depths
    EXPECT_EQ(m.frameCount, n + 2);
    for (int f = 1; f < n; ++f) {
        const ReadFrame& fr = m.frames[f];
        ASSERT_EQ(fr.display.size(), 2u) << f;
        int lower = m.characters.at(fr.display.begin()->second.character).points.front().first;
        int upper = m.characters.at(fr.display.rbegin()->second.character).points.front().first;
        EXPECT_EQ(lower, f - 1);
        EXPECT_EQ(upper, f);
        EXPECT_LE(fr.display.rbegin()->first, 3);
    }
    Yaswfp(dir.File("out.swf"));

    // More visible at once than depths allowed: a clear failure, no file.
    movie->SetSize(2000, 2000);
    for (int i = 0; i < 4; ++i) movie->AddObject(*objs[i]);
    try {
        movie->WriteMovie(dir.File("crowded.swf"));
        FAIL();
    } catch (const std::out_of_range& e) {
        EXPECT_NE(std::string(e.what()).find("visible at once"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(dir.File("crowded.swf")));
}

TEST_F(MovieTest, LongMovieReplacingOneObjectUsesOneDepth) {
    auto movie = CreateMovie();
    auto arrow = CreateObject();
    movie->SetSize(2000, 2000);
    DrawArrow(*arrow);
    for (int f = 0; f < 3000; ++f) {
        movie->GotoFrame(f);
        movie->RemoveObject(*arrow);
        arrow->Translate(f % 100, 0);
        movie->AddObject(*arrow);
    }
    ReadMovie m = Write(*movie);
    EXPECT_EQ(m.frameCount, 3000);
    EXPECT_EQ(m.CountTags(kDefineShape3), 1u);
    EXPECT_EQ(m.CountTags(kRemoveObject2), 0u);  // moved in place instead
    for (const ReadFrame& fr : m.frames) {
        ASSERT_EQ(fr.display.size(), 1u);
        EXPECT_EQ(fr.display.begin()->first, 1);
    }
    EXPECT_EQ(m.frames[2999].display.at(1).matrix.translateX, 99);
}

TEST_F(MovieTest, ArrowIsBlackWithAWhiteOutlineUnlessFilled) {
    auto movie = CreateMovie();
    auto a = CreateObject();
    auto b = CreateObject();
    movie->SetSize(2000, 2000);
    DrawArrow(*a);
    DrawArrow(*b);
    b->SetSolidFill(0, 0, 255, 128);
    movie->AddObject(*a);
    b->Translate(400, 0);
    movie->AddObject(*b);
    ReadMovie m = Write(*movie);
    const ReadCharacter& ca = m.characters.at(m.frames[0].display.at(1).character);
    const ReadCharacter& cb = m.characters.at(m.frames[0].display.at(2).character);
    EXPECT_EQ(ca.solidFill, 0x000000FFu);
    EXPECT_EQ(ca.lineColor, 0xFFFFFFFFu);
    EXPECT_EQ(ca.lineWidth, kOutlineWidth);
    EXPECT_EQ(cb.solidFill, 0x0000FF80u);
    EXPECT_FALSE(cb.lineColor.has_value());
    std::vector<std::pair<int32_t, int32_t>> corners{{0, 0}};
    for (auto [dx, dy] : kArrow) corners.emplace_back(corners.back().first + dx, corners.back().second + dy);
    EXPECT_EQ(ca.points, corners);
    EXPECT_EQ(ca.bounds.xmin, -10);
    EXPECT_EQ(ca.bounds.ymax, 410);
    EXPECT_EQ(m.frames[0].display.at(2).matrix.translateX, 400);
    Yaswfp(dir.File("out.swf"));
}

TEST_F(MovieTest, TextWithEmbeddedGlyphs) {
    auto movie = CreateMovie();
    auto font = CreateObject();
    auto text = CreateObject();
    movie->SetSize(4000, 4000);
    font->MakeFont("DejaVu Sans");
    font->AddGlyph("DejaVu Sans", "H", 72);
    font->AddGlyph("DejaVu Sans", "i", 105);
    font->AddGlyph("DejaVu Sans", "i", 105);
    text->MakeTextEx("Hi!", *font, 200.0, 500.0, 336.0);
    text->SetSolidFill(255, 0, 0, 255);
    for (int f = 0; f <= 2; ++f) {
        movie->GotoFrame(f);
        movie->RemoveObject(*text);
        movie->AddObject(*text);
    }
    ReadMovie m = Write(*movie);
    ASSERT_EQ(m.CountTags(kDefineFont2), 1u);
    ASSERT_EQ(m.CountTags(kDefineText2), 1u);
    EXPECT_EQ(m.CountTags(kPlaceObject2), 1u);  // re-placed unchanged: nothing to write
    for (int f = 0; f <= 2; ++f) ASSERT_EQ(m.frames[f].display.size(), 1u);
    const DisplayItem& item = m.frames[2].display.begin()->second;
    const ReadCharacter& t = m.characters.at(item.character);
    EXPECT_EQ(t.text, u"Hi!");  // '!' was never added, yet shows
    EXPECT_EQ(t.textColor, 0xFF0000FFu);
    EXPECT_EQ(t.textHeight, 336);
    EXPECT_EQ(item.matrix.translateX, 200);
    EXPECT_GT(item.matrix.translateY, 500 + 200);  // baseline: top plus the ascent
    EXPECT_LT(item.matrix.translateY, 500 + 400);
    const ReadCharacter& f = m.characters.at(t.font);
    EXPECT_EQ(f.codes, (std::vector<uint16_t>{'!', 'H', 'i'}));
    EXPECT_EQ(f.fontName, "DejaVu Sans");
    std::string parsed = Yaswfp(dir.File("out.swf"));
    EXPECT_NE(parsed.find("codes=!Hi"), std::string::npos) << parsed;
    EXPECT_NE(parsed.find("glyphs=3"), std::string::npos) << parsed;
}

TEST_F(MovieTest, MissingFaceFallsBackToAnInstalledOne) {
    auto movie = CreateMovie();
    auto font = CreateObject();
    auto text = CreateObject();
    movie->SetSize(4000, 4000);
    font->MakeFont("Microsoft Sans Serif");
    font->AddGlyph("Microsoft Sans Serif", "\xC3\xA9", 233);  // é as UTF-8
    text->MakeTextEx("\xC3\xA9t\xC3\xA9", *font, 0, 0, 280);
    movie->AddObject(*text);
    ReadMovie m = Write(*movie);
    const ReadCharacter& t = m.characters.at(m.frames[0].display.begin()->second.character);
    EXPECT_EQ(t.text, u"\u00e9t\u00e9");
    const ReadCharacter& f = m.characters.at(t.font);
    EXPECT_FALSE(f.fontName.empty());
    Yaswfp(dir.File("out.swf"));
}

TEST_F(MovieTest, PicturesScaleToTheirRectangle) {
    std::string pic = Jpeg("p.jpg", 16, 8, 4);
    auto movie = CreateMovie();
    auto media = CreateObject();
    movie->SetSize(2000, 2000);
    media->MakePicture(100, 60, 100 + 640, 60 + 320, 16, 8, pic);  // twice the file's size
    movie->AddObject(*media);
    ReadMovie m = Write(*movie);
    const DisplayItem& item = m.frames[0].display.at(1);
    EXPECT_EQ(item.matrix.translateX, 100);
    EXPECT_EQ(item.matrix.translateY, 60);
    const ReadCharacter& s = m.characters.at(item.character);
    EXPECT_EQ(s.bitmapMatrix.scaleX, 40 << 16);
    EXPECT_EQ(s.bitmapMatrix.scaleY, 40 << 16);
    EXPECT_EQ(m.characters.at(*s.bitmap).tag, kDefineBitsJpeg2);
    EXPECT_EQ(DecodeSize(m.characters.at(*s.bitmap).jpeg), 16 * 8 * 3u);
}

TEST_F(MovieTest, BadCallsFailClearlyAndLeaveTheObjectAsItWas) {
    auto movie = CreateMovie();
    auto o = CreateObject();
    auto empty = CreateObject();
    auto action = CreateAction();
    EXPECT_THROW(movie->SetSize(0, 100), std::out_of_range);
    EXPECT_THROW(movie->SetSize(100, kMaxCoord + 1), std::out_of_range);
    EXPECT_THROW(movie->GotoFrame(-1), std::out_of_range);
    EXPECT_THROW(movie->GotoFrame(65535), std::out_of_range);
    EXPECT_NO_THROW(movie->GotoFrame(65534));
    EXPECT_THROW(movie->SetFrameRate(0), std::out_of_range);
    EXPECT_THROW(movie->SetFrameRate(256), std::out_of_range);
    EXPECT_THROW(movie->WriteMovie(dir.File("nosize.swf")), std::logic_error);
    movie->SetSize(2000, 2000);
    EXPECT_THROW(movie->AddObject(*empty), std::logic_error);
    EXPECT_THROW(o->AddStraightLine(1, 1), std::logic_error);
    EXPECT_THROW(o->AddGlyph("x", "a", 97), std::logic_error);
    EXPECT_THROW(o->MakeTextEx("a", *empty, 0, 0, 100), std::invalid_argument);
    EXPECT_THROW(o->SetSolidFill(0, 0, 0, 256), std::out_of_range);
    EXPECT_THROW(o->Translate(kMaxCoord + 1, 0), std::out_of_range);
    std::string pic = Jpeg("p.jpg", 16, 8, 4);
    EXPECT_THROW(o->MakePicture(10, 0, 10, 100, 16, 8, pic), std::invalid_argument);
    EXPECT_THROW(o->MakePicture(0, 0, 100, 100, 0, 8, pic), std::invalid_argument);
    EXPECT_THROW(o->MakePicture(INT32_MIN, 0, 100, 100, 16, 8, pic), std::out_of_range);

    o->MakePolygon(0, 0);
    o->AddStraightLine(200, 200);
    std::string notJpeg = dir.File("text.jpg");
    swftest::WriteFile(notJpeg, swftest::Bytes{'h', 'e', 'l', 'l', 'o'});
    try {
        o->MakePicture(0, 0, 100, 100, 16, 8, notJpeg);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(notJpeg), std::string::npos) << e.what();
    }
    EXPECT_THROW(o->MakeSound(Wav("stereo.wav", 2)), std::runtime_error);
    EXPECT_THROW(o->MakeSound(dir.File("missing.wav")), std::runtime_error);
    movie->AddObject(*o);  // still the polygon
    movie->AddAction(*action);  // never made into a stop: nothing
    ReadMovie m = Write(*movie);
    EXPECT_EQ(m.characters.at(m.frames[0].display.at(1).character).points.back(), std::make_pair(0, 0));
    EXPECT_EQ(m.CountTags(kDoAction), 0u);
}

TEST_F(MovieTest, PositionsPushedOutOfRangeFailTheWriteAndKeepTheOldFile) {
    std::string target = dir.File("keep.swf");
    swftest::WriteFile(target, swftest::Bytes{'o', 'l', 'd'});
    auto movie = CreateMovie();
    auto media = CreateObject();
    movie->SetSize(2000, 2000);
    media->MakePicture(kMaxCoord - 200, 0, kMaxCoord, 200, 16, 8, Jpeg("p.jpg", 16, 8, 4));
    media->Translate(1000, 0);
    movie->AddObject(*media);
    EXPECT_THROW(movie->WriteMovie(target), std::out_of_range);
    EXPECT_EQ(fs::file_size(target), 3u);
    size_t files = 0;
    for (auto& e : fs::directory_iterator(dir.Path())) files += e.is_regular_file();
    EXPECT_EQ(files, 2u);  // keep.swf and p.jpg, no temporary left behind
}

TEST_F(MovieTest, WriteFailureNamesPathAndReason) {
    auto movie = CreateMovie();
    movie->SetSize(2000, 2000);
    std::string bad = dir.File("no/such/folder/x.swf");
    try {
        movie->WriteMovie(bad);
        FAIL();
    } catch (const std::runtime_error& e) {
        std::string m = e.what();
        EXPECT_NE(m.find(bad), std::string::npos) << m;
        EXPECT_NE(m.find("No such file"), std::string::npos) << m;
    }
    // Replacing an existing movie.
    std::string target = dir.File("m.swf");
    swftest::WriteFile(target, swftest::Bytes(100, 0));
    movie->WriteMovie(target);
    EXPECT_NO_THROW(ReadMovieFile(target));
}

TEST_F(MovieTest, SetSizeStartsAnEmptyMovie) {
    auto movie = CreateMovie();
    auto o = CreateObject();
    movie->SetSize(2000, 2000);
    DrawArrow(*o);
    movie->GotoFrame(40);
    movie->AddObject(*o);
    movie->SetSize(1000, 1000);
    ReadMovie m = ParseMovie(BuildMovieBytes(*movie));
    EXPECT_EQ(m.frameCount, 1);
    EXPECT_TRUE(m.characters.empty());
    EXPECT_EQ(m.frameSize.xmax, 1000);
}

TEST_F(MovieTest, UncompressedMovieParses) {
    WriterOptions opt;
    opt.compress = false;
    auto movie = CreateMovie(opt);
    auto media = CreateObject();
    movie->SetSize(640, 480);
    media->MakePicture(0, 0, 640, 480, 32, 24, Jpeg("p.jpg", 32, 24, 5));
    movie->AddObject(*media);
    ReadMovie m = Write(*movie, "c.swf");
    EXPECT_FALSE(m.compressed);
    EXPECT_EQ(m.CountTags(kDefineBitsJpeg2), 1u);
    std::string parsed = Yaswfp(dir.File("c.swf"));
    EXPECT_NE(parsed.find("HEADER FWS"), std::string::npos);
}

// Large movies are compressed in two parts at once; the stream must still be
// one valid zlib stream with the right checksum.
TEST_F(MovieTest, LargeCompressedMovieIsOneValidStream) {
    std::string big = dir.File("long.wav");
    swftest::WriteFile(big, swftest::MakeWav(44100, 1, 16, 2'600'000));
    auto movie = CreateMovie();
    auto media = CreateObject();
    movie->SetSize(640, 480);
    media->MakeSound(big);
    movie->GotoFrame(3);
    movie->AddObject(*media);
    ReadMovie m = Write(*movie, "big.swf");  // the reader checks length and checksum
    EXPECT_TRUE(m.compressed);
    EXPECT_EQ(m.characters.begin()->second.sampleCount, 2'600'000u);
    EXPECT_EQ(m.frames[3].soundsStarted.size(), 1u);
    EXPECT_LT(fs::file_size(dir.File("big.swf")), 5'200'000u);
    Yaswfp(dir.File("big.swf"));
}

// Every compression level gives exactly the uncompressed file, also when the
// body is cut in two halves (here inside a picture's data) and the pictures
// are written from where they lie rather than from one buffer.
TEST_F(MovieTest, EveryLevelCompressesToTheUncompressedFile) {
    auto make = [&](WriterOptions opt) {
        auto movie = CreateMovie(opt);
        auto media = CreateObject();
        movie->SetSize(640 * 20, 480 * 20);
        for (int i = 0; i < 6; ++i) {
            movie->GotoFrame(i * 2);
            media->MakePicture(0, 0, 640 * 20, 480 * 20, 1600, 1200,
                               Jpeg("big" + std::to_string(i) + ".jpg", 1600, 1200, i * 13));
            movie->AddObject(*media);
        }
        return movie;
    };
    WriterOptions plain;
    plain.compress = false;
    const Bytes u = BuildMovieBytes(*make(plain));
    ASSERT_GT(u.size(), 4u << 20);  // large enough to be compressed in two halves
    EXPECT_EQ(std::string(u.begin(), u.begin() + 3), "FWS");
    for (int level = 0; level <= 3; ++level) {
        SCOPED_TRACE(level);
        WriterOptions opt;
        opt.compressionLevel = level;
        std::string path = dir.File("level" + std::to_string(level) + ".swf");
        make(opt)->WriteMovie(path);
        std::ifstream in(path, std::ios::binary);
        Bytes c((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GT(c.size(), 8u);
        EXPECT_EQ(std::string(c.begin(), c.begin() + 8),
                  "CWS" + std::string(u.begin() + 3, u.begin() + 8));
        Bytes body(u.size() - 8);
        size_t got = 0;
        libdeflate_decompressor* d = libdeflate_alloc_decompressor();
        auto rc = libdeflate_zlib_decompress(d, c.data() + 8, c.size() - 8, body.data(), body.size(), &got);
        libdeflate_free_decompressor(d);
        ASSERT_EQ(rc, LIBDEFLATE_SUCCESS);
        ASSERT_EQ(got, body.size());
        EXPECT_TRUE(std::equal(body.begin(), body.end(), u.begin() + 8));
        if (level == 2) Yaswfp(path);
    }
    for (int bad : {-1, 4, 9}) {
        WriterOptions opt;
        opt.compressionLevel = bad;
        EXPECT_THROW(CreateMovie(opt), std::invalid_argument);
    }
}
