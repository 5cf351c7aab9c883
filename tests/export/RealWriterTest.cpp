// The same documents as the call tests, written by the real movie writer
// and read back: by the writer's own reader and by yaswfp, a parser written
// elsewhere.
#include <cstdlib>
#include <sstream>

#include "../swf/TestMedia.h"
#include "ExportTestUtil.h"
#include "swf/SwfReader.h"
#include "swf/Tags.h"

namespace quillora::test {
namespace {

std::string Yaswfp(const std::string& file)
{
    std::string out = file + ".yaswfp.txt";
    std::string cmd =
        std::string(SWF_PYTHON) + " " + SWF_CHECK_SCRIPT + " '" + file + "' > '" + out + "' 2>&1";
    int rc = std::system(cmd.c_str());
    std::string text = ReadAll(out);
    EXPECT_EQ(rc, 0) << text;
    return text;
}

// The character placed at some depth whose definition is the arrow outline.
const swf::DisplayItem* Arrow(const swf::ReadMovie& m, size_t frame)
{
    for (auto& [depth, item] : m.frames.at(frame).display) {
        auto& c = m.characters.at(item.character);
        if (c.tag == swf::kDefineShape3 && !c.bitmap && c.points.size() >= 20)
            return &item;
    }
    return nullptr;
}

int Pictures(const swf::ReadMovie& m, size_t frame)
{
    int n = 0;
    for (auto& [depth, item] : m.frames.at(frame).display)
        n += bool(m.characters.at(item.character).bitmap);
    return n;
}

struct RealProject : Project {
    using Project::Project;
    TSwfWriterSet writers;
    Reporter reporter;
    std::string Export()
    {
        std::string out = dir / "movie.swf";
        card.ExportSwf("All", out, writers.Writers(), &reporter);
        return out;
    }
};

class RealWriter : public ::testing::Test {
  protected:
    Scratch media;
    std::string Jpeg(const std::string& name, int seed)
    {
        swftest::WriteFile(media / name,
                           swftest::MakeJpeg(64, 48, swftest::JpegKind::Baseline, seed));
        return media / name;
    }
    std::string Click()
    {
        swftest::WriteFile(media / "click.wav", swftest::MakeWav(22050, 1, 16, 800));
        return media / "click.wav";
    }
};

TEST_F(RealWriter, RecordedPicturesWithClickArrowAndStop)
{
    Pic a{.name = "Pic1",
          .start = 0,
          .end = 24,
          .mx = 100,
          .my = 50,
          .content = Jpeg("1.jpg", 1),
          .w = 64,
          .h = 48};
    Pic b{.name = "Pic2",
          .start = 24,
          .end = 48,
          .mx = 200,
          .my = 150,
          .content = Jpeg("2.jpg", 2),
          .w = 64,
          .h = 48};
    RealProject p(MovieXml(a.Xml() + b.Xml(), 0, "16777215", 64, 48));
    p.card.ClickSoundPath = Click();
    swf::ReadMovie m = swf::ReadMovieFile(p.Export());
    EXPECT_TRUE(p.reporter.Errors.empty());

    EXPECT_EQ(m.frameSize.xmax, 64 * 20);
    EXPECT_EQ(m.frameRate, 15);
    EXPECT_EQ(m.background, 0xFFFFFFu);
    // The stop action lands where the last picture goes, not at frame 0.
    ASSERT_EQ(m.frameCount, 49);
    ASSERT_EQ(m.frames.size(), 49u);
    EXPECT_EQ(m.frames[48].stops, 1);
    EXPECT_EQ(Pictures(m, 0), 1);
    EXPECT_EQ(Pictures(m, 23), 1);
    EXPECT_EQ(Pictures(m, 30), 1);
    EXPECT_EQ(Pictures(m, 48), 0);
    EXPECT_EQ(m.frames[1].soundsStarted.size(), 1u);
    EXPECT_EQ(m.frames[25].soundsStarted.size(), 1u);
    // The arrow on top, gliding: frame 3 at (112, 62), frame 9 at (138, 88).
    ASSERT_TRUE(Arrow(m, 3));
    EXPECT_EQ(Arrow(m, 3)->matrix, swf::Matrix::Translation(2240, 1240));
    EXPECT_EQ(Arrow(m, 9)->matrix, swf::Matrix::Translation(2760, 1760));
    EXPECT_EQ(Arrow(m, 30)->matrix, swf::Matrix::Translation(4000, 3000));
    EXPECT_EQ(m.frames[3].display.rbegin()->second.character, Arrow(m, 3)->character);
    EXPECT_FALSE(Arrow(m, 48));

    std::string parsed = Yaswfp(p.dir / "movie.swf");
    EXPECT_NE(parsed.find("frames=49"), std::string::npos);
}

TEST_F(RealWriter, TextSoundAndMovePicture)
{
    std::string clip = (std::filesystem::path(media.str()) / "clip").string();
    swftest::WriteFile(media / "Pic3.jpg",
                       swftest::MakeJpeg(32, 24, swftest::JpegKind::Baseline, 5));
    Text t{.start = 0, .end = 10, .content = "Hi", .size = 12, .color = "255", .px = 10, .py = 20};
    Sound s{.start = 4, .content = Click()};
    Pic mv{.name = "Pic3",
           .start = 2,
           .end = 6,
           .content = "/not/used.jpg",
           .effect = "Move",
           .w = 32,
           .h = 24};
    RealProject p(MovieXml(t.Xml() + s.Xml() + mv.Xml(), 0, "$FF0000", 64, 48));
    p.card.BasePath = clip;
    p.card.ClickSoundPath = media / "click.wav";
    swf::ReadMovie m = swf::ReadMovieFile(p.Export());
    EXPECT_TRUE(p.reporter.Errors.empty())
        << (p.reporter.Details.empty() ? "" : p.reporter.Details[0]);
    EXPECT_EQ(m.background, 0x0000FFu);
    EXPECT_EQ(m.frameCount, 12); // the text, frames 0 to 10, is gone in the last
    EXPECT_EQ(m.frames[4].soundsStarted.size(), 1u);
    bool sawText = false;
    for (auto& [id, c] : m.characters)
        if (c.tag == swf::kDefineText2) {
            sawText = true;
            EXPECT_EQ(c.text, u"Hi");
            EXPECT_EQ(c.textColor, 0xFF0000FFu);
            EXPECT_EQ(c.textHeight, 336);
        }
    EXPECT_TRUE(sawText);
    // The sliding picture is defined from the project's folder, 2 px left per frame.
    for (int f = 2; f <= 6; ++f) {
        int found = 0;
        for (auto& [depth, item] : m.frames[f].display)
            if (m.characters.at(item.character).bitmap) {
                ++found;
                EXPECT_EQ(item.matrix.translateX, -2 * f * 20) << f;
            }
        EXPECT_EQ(found, 1) << f;
    }
    Yaswfp(p.dir / "movie.swf");
}

TEST_F(RealWriter, CaptionIsRemovedInTheFrameAfterItsEnd)
{
    // Two pictures, a caption over the first as the storyboard writes it.
    Pic a{.name = "Pic1", .start = 0, .end = 24, .content = Jpeg("1.jpg", 1), .w = 64, .h = 48};
    Pic b{.name = "Pic2", .start = 24, .end = 48, .content = Jpeg("2.jpg", 2), .w = 64, .h = 48};
    Text t{.start = 0, .end = 23, .content = "Hi", .size = 12, .px = 2, .py = 2};
    RealProject p(MovieXml(a.Xml() + t.Xml() + b.Xml(), 0, "16777215", 64, 48));
    p.card.ClickSoundPath = Click();
    const std::string movie = p.Export();
    std::istringstream parsed(Yaswfp(movie));
    // Frame by frame, as yaswfp reads the tags: where the text's character
    // is placed, and the frames in which its depth is emptied.
    int frame = 0, textId = -1, textDepth = -1, placedAt = -1;
    std::vector<int> removedAt;
    for (std::string line; std::getline(parsed, line);) {
        std::istringstream words(line);
        std::string tag, name;
        words >> tag >> name;
        auto field = [&](const std::string& key) {
            size_t at = line.find(" " + key + "=");
            return at == std::string::npos ? -1 : std::stoi(line.substr(at + key.size() + 2));
        };
        if (name == "ShowFrame")
            ++frame;
        else if (name.rfind("DefineText", 0) == 0)
            textId = field("id");
        else if (name == "PlaceObject2" && textId >= 0 && field("char") == textId) {
            textDepth = field("depth");
            placedAt = placedAt < 0 ? frame : placedAt;
        } else if (name == "PlaceObject2" && field("depth") == textDepth && field("char") >= 0)
            textDepth = -1; // the depth holds something else now
        else if (name == "RemoveObject2" && textDepth >= 0 && field("depth") == textDepth)
            removedAt.push_back(frame);
    }
    EXPECT_EQ(placedAt, 0);
    ASSERT_FALSE(removedAt.empty()) << "the caption is never taken away";
    // Removed and placed again inside its frames is the writer's business;
    // the last removal is in frame 24, where the second picture starts.
    EXPECT_EQ(removedAt.back(), 24);
    swf::ReadMovie m = swf::ReadMovieFile(movie);
    auto texts = [&](size_t f) {
        int n = 0;
        for (auto& [depth, item] : m.frames.at(f).display)
            n += m.characters.at(item.character).tag == swf::kDefineText2;
        return n;
    };
    EXPECT_EQ(texts(23), 1);
    EXPECT_EQ(texts(24), 0);
    EXPECT_EQ(m.frameCount, 49);
}

TEST_F(RealWriter, EmptyDocumentAndASinglePicture)
{
    {
        RealProject p(MovieXml("", 0, "16777215", 64, 48));
        swf::ReadMovie m = swf::ReadMovieFile(p.Export());
        ASSERT_EQ(m.frameCount, 1);
        EXPECT_EQ(m.frames[0].stops, 1);
        EXPECT_TRUE(m.frames[0].display.empty()); // the arrow is defined, never placed
        Yaswfp(p.dir / "movie.swf");
    }
    {
        Pic a{
            .start = 0, .end = 24, .mx = 9, .my = 8, .content = Jpeg("1.jpg", 1), .w = 64, .h = 48};
        RealProject p(MovieXml(a.Xml(), 0, "16777215", 64, 48));
        p.card.ClickSoundPath = Click();
        swf::ReadMovie m = swf::ReadMovieFile(p.Export());
        ASSERT_EQ(m.frameCount, 25);
        EXPECT_EQ(m.frames[24].stops, 1);
        // The arrow stands at the recorded position to the end of the movie.
        ASSERT_TRUE(Arrow(m, 24));
        EXPECT_EQ(Arrow(m, 24)->matrix, swf::Matrix::Translation(180, 160));
        EXPECT_EQ(Pictures(m, 24), 0);
        Yaswfp(p.dir / "movie.swf");
    }
}

TEST_F(RealWriter, UnusablePicturesAndSoundsAreLeftOutAndReported)
{
    WriteAll(media / "text.jpg", "not a picture");
    WriteAll(media / "stereo.wav", "");
    swftest::WriteFile(media / "stereo.wav", swftest::MakeWav(22050, 2, 16, 100));
    Pic missing{.name = "Pic1", .content = media / "gone.jpg", .w = 64, .h = 48};
    Pic text{.name = "Pic2", .start = 24, .end = 48, .content = media / "text.jpg"};
    Pic good{
        .name = "Pic3", .start = 48, .end = 72, .content = Jpeg("ok.jpg", 3), .w = 64, .h = 48};
    Sound stereo{.start = 5, .content = media / "stereo.wav"};
    RealProject p(
        MovieXml(missing.Xml() + text.Xml() + stereo.Xml() + good.Xml(), 0, "16777215", 64, 48));
    p.card.ClickSoundPath = media / "no-click.wav";
    swf::ReadMovie m = swf::ReadMovieFile(p.Export());
    EXPECT_EQ(p.reporter.Errors,
              (std::vector<std::string>{kPictureErrorMessage, kPictureErrorMessage,
                                        kSoundErrorMessage, kSoundErrorMessage}));
    EXPECT_EQ(Pictures(m, 50), 1);
    EXPECT_EQ(Pictures(m, 10), 0);
    Yaswfp(p.dir / "movie.swf");
}

TEST_F(RealWriter, FailedExportLeavesNoMovieFile)
{
    Pic a{.content = Jpeg("1.jpg", 1), .w = 64, .h = 48};
    {
        // A folder that cannot hold the file (a regular file stands in its way).
        RealProject p(MovieXml(a.Xml(), 0, "16777215", 64, 48));
        WriteAll(p.dir / "file", "x");
        p.card.Modified = true;
        EXPECT_THROW(p.card.ExportSwf("All", p.dir / "file/movie.swf", p.writers.Writers()),
                     std::exception);
        EXPECT_TRUE(p.card.Modified);
    }
    {
        // A value that does not parse: the old movie stays as it was.
        std::string xml = MovieXml(a.Xml(), 0, "16777215", 64, 48);
        xml.replace(xml.find("<Rate>15</Rate>"), 15, "<Rate>fast</Rate>");
        RealProject p(xml);
        WriteAll(p.dir / "movie.swf", "old movie");
        EXPECT_THROW(p.Export(), Error);
        EXPECT_EQ(ReadAll(p.dir / "movie.swf"), "old movie");
        size_t files = 0;
        for (auto& e : std::filesystem::directory_iterator(p.dir.str()))
            files += bool(e.is_regular_file());
        EXPECT_EQ(files, 2u); // the project and the old movie, no temporary left over
    }
}

} // namespace
} // namespace quillora::test
