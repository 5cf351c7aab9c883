// An SWF movie holds 65535 frames. A longer project is refused once, before
// any work, by the program's export and by quillora-export; a video takes it.
#include <sys/wait.h>

#include "../swf/TestMedia.h"
#include "ExportTestUtil.h"
#include "export/SwfWriters.h"
#include "project/MovieFormats.h"
#include "swf/SwfReader.h"
#include "video/Timeline.h"

namespace quillora::test {
namespace {

// 2730 recorded pictures of 24 frames end in frame 65520; one more ends
// in 65544, past the last frame an SWF movie has (65534).
constexpr int kMostPictures = 2730;

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

size_t FilesIn(const Scratch& dir)
{
    size_t n = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.str()))
        n += bool(e.is_regular_file());
    return n;
}

class MovieLength : public ::testing::Test {
  protected:
    Scratch media;
    std::string jpeg = media / "shot.jpg";
    void SetUp() override { swftest::WriteFile(jpeg, swftest::MakeJpeg(16, 16)); }

    // A recorded project: every picture shows the same small screenshot.
    std::string Recording(int pictures)
    {
        std::string objs;
        objs.reserve(size_t(pictures) * 420);
        for (int i = 0; i < pictures; ++i)
            objs += Pic{.name = "Pic" + std::to_string(i + 1),
                        .start = 24 * i,
                        .end = 24 * (i + 1),
                        .mx = i % 16,
                        .my = 8,
                        .content = jpeg,
                        .w = 16,
                        .h = 16}
                        .Xml();
        return MovieXml(objs, 0, "16777215", 16, 16);
    }
};

TEST_F(MovieLength, ALongerProjectIsRefusedOnceBeforeAnyWorkAndTheOldMovieStays)
{
    Project p(Recording(kMostPictures + 1));
    const std::string movie = p.dir / "Untitled.swf";
    WriteAll(movie, "old movie");
    p.card.Modified = true;
    TSwfWriterSet writers;
    Reporter reporter;
    std::string message;
    try {
        // Save and File > Export go this way.
        ExportMovieFile(p.card, "", writers.Writers(), &reporter);
    } catch (const Error& e) {
        message = e.what();
    }
    EXPECT_NE(message.find("65545 frames"), std::string::npos) << message;
    EXPECT_NE(message.find("at most 65535 frames"), std::string::npos) << message;
    EXPECT_NE(message.find("2730 pictures of 24 frames, about 73 minutes"), std::string::npos)
        << message;
    EXPECT_NE(message.find("MP4, WebM or GIF"), std::string::npos) << message;
    EXPECT_NE(message.find("split the project"), std::string::npos) << message;
    EXPECT_TRUE(reporter.Errors.empty()) << reporter.Errors.size() << " refused pictures";
    EXPECT_TRUE(reporter.Progress.empty());
    EXPECT_TRUE(p.card.Modified);
    EXPECT_EQ(ReadAll(movie), "old movie");
    EXPECT_EQ(FilesIn(p.dir), 2u); // the project and the old movie

    // A stop action placed past the limit by "TotalFrames" counts too; a
    // looping movie has no stop action.
    Project stop(MovieXml(Pic{.content = jpeg, .w = 16, .h = 16}.Xml(), 70000, "16777215", 16, 16));
    EXPECT_THROW(stop.card.ExportSwf("All", stop.dir / "a.swf", writers.Writers()), Error);
    stop.card.Looping = true;
    stop.card.ExportSwf("All", stop.dir / "a.swf", writers.Writers());
    EXPECT_TRUE(Exists(stop.dir / "a.swf"));
}

TEST_F(MovieLength, TheLongestProjectThatFitsIsWritten)
{
    Project p(Recording(kMostPictures));
    TSwfWriterSet writers;
    Reporter reporter;
    const std::string out = p.dir / "movie.swf";
    p.card.ClickSoundPath = media / "click.wav";
    swftest::WriteFile(p.card.ClickSoundPath, swftest::MakeWav(22050, 1, 16, 100));
    p.card.ExportSwf("All", out, writers.Writers(), &reporter);
    EXPECT_TRUE(reporter.Errors.empty()) << reporter.Errors.front();
    swf::ReadMovie m = swf::ReadMovieFile(out);
    EXPECT_EQ(m.frameCount, 65521u);
    EXPECT_EQ(m.frames.at(65497).soundsStarted.size(), 1u); // the last picture's click
}

TEST_F(MovieLength, TheLimitIsExactlyFrame65534)
{
    TSwfWriterSet writers;
    for (int end : {65534, 65535}) {
        SCOPED_TRACE(end);
        const std::string objs =
            Pic{.name = "Pic1", .end = 24, .content = jpeg, .w = 16, .h = 16}.Xml() +
            Pic{.name = "Pic2", .start = 24, .end = end, .content = jpeg, .w = 16, .h = 16}.Xml();
        Project p(MovieXml(objs, 0, "16777215", 16, 16));
        const std::string out = p.dir / "edge.swf";
        if (end == 65534) {
            p.card.ExportSwf("All", out, writers.Writers());
            EXPECT_EQ(swf::ReadMovieFile(out).frameCount, 65535u);
        } else {
            try {
                p.card.ExportSwf("All", out, writers.Writers());
                ADD_FAILURE() << "a movie of 65536 frames was written";
            } catch (const Error& e) {
                EXPECT_NE(std::string(e.what()).find("65536 frames long"), std::string::npos)
                    << e.what();
            }
            EXPECT_FALSE(Exists(out));
        }
    }
}

TEST_F(MovieLength, VideosTakeALongerProject)
{
    Project p(Recording(kMostPictures + 1));
    TSwfWriterSet swfWriters;
    int frames = 0;
    video::TEncodeOptions options;
    options.Progress = [&](int, int total) {
        frames = total;
        return false; // the encoder has started: that is all this needs
    };
    EXPECT_THROW(
        ExportMovieFile(p.card, p.dir / "long.gif", swfWriters.Writers(), nullptr, options),
        video::TCancelled);
    EXPECT_EQ(frames, 65545);
    EXPECT_FALSE(Exists(p.dir / "long.gif"));
}

TEST_F(MovieLength, TheCommandLineExporterSaysItOnceAndWritesNothing)
{
    WriteAll(media / "long.qlv", Recording(kMostPictures + 1));
    std::string cmd = std::string(QUILLORA_BIN_DIR) + "/quillora-export '" + (media / "long.qlv") +
                      "' 2> '" + (media / "stderr") + "'";
    int rc = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(rc));
    EXPECT_EQ(WEXITSTATUS(rc), 1);
    const std::string err = ReadAll(media / "stderr");
    EXPECT_EQ(Count(err, "at most 65535 frames"), 1u) << err;
    EXPECT_EQ(Count(err, "\n"), 1u) << err;
    EXPECT_EQ(err.rfind("quillora-export: This project is 65545 frames long", 0), 0u) << err;
    EXPECT_FALSE(Exists(media / "long.swf"));
}

TEST_F(MovieLength, TimesPastADayAreRefusedForVideosBeforeAnyWork)
{
    // A caption whose end was typed wrong, and a movie whose stop is that far.
    Pic a{.content = jpeg, .w = 16, .h = 16};
    const std::string wrongEnd = MovieXml(
        a.Xml() + Text{.name = "Text1", .start = 0, .end = 20000000}.Xml(), 0, "16777215", 16, 16);
    const std::string wrongTotal = MovieXml(a.Xml(), 20000000, "16777215", 16, 16);
    for (const char* ext : {"mp4", "webm", "gif"}) {
        SCOPED_TRACE(ext);
        WriteAll(media / "long.qlv", wrongEnd);
        const std::string movie = media / (std::string("long.") + ext);
        std::string cmd = std::string(QUILLORA_BIN_DIR) + "/quillora-export '" +
                          (media / "long.qlv") + "' '" + movie + "' 2> '" + (media / "stderr") +
                          "'";
        int rc = std::system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(rc));
        EXPECT_EQ(WEXITSTATUS(rc), 1);
        const std::string err = ReadAll(media / "stderr");
        EXPECT_EQ(err, "quillora-export: This project is too long for a video: object 2 "
                       "(\"Text1\") ends at frame 20000000, about 370 hours at 15 frames per "
                       "second. A video holds at most 24 hours (1296000 frames at 15 frames per "
                       "second); correct the times of that object, or split the project into "
                       "shorter ones.\n");
        EXPECT_FALSE(Exists(movie));
        EXPECT_EQ(FilesIn(media), 3u) << "the picture, the project and the messages only";
    }
    // The program's export and the player's timeline say the same.
    Project p(wrongTotal);
    TSwfWriterSet swfWriters;
    try {
        ExportMovieFile(p.card, p.dir / "long.mp4", swfWriters.Writers(), nullptr);
        ADD_FAILURE() << "exported";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("its TotalFrames is 20000000"), std::string::npos)
            << e.what();
    }
    EXPECT_THROW(ProjectTimeline(p.dir / "Untitled.qlv", "", nullptr), Error);
    // A looping movie has no stop: its TotalFrames does not count.
    p.card.Looping = true;
    video::TEncodeOptions options;
    options.Progress = [](int, int) { return false; };
    EXPECT_THROW(
        ExportMovieFile(p.card, p.dir / "loop.mp4", swfWriters.Writers(), nullptr, options),
        video::TCancelled);
}

TEST_F(MovieLength, ADayIsTheLastFrameAVideoTakes)
{
    // The stop action in the last frame of the day: written as far as the
    // encoder's start; one frame more is refused.
    Pic a{.content = jpeg, .w = 16, .h = 16};
    TSwfWriterSet swfWriters;
    video::TEncodeOptions options;
    int frames = 0;
    options.Progress = [&](int, int total) {
        frames = total;
        return false;
    };
    Project fits(MovieXml(a.Xml(), 1296000 - 1, "16777215", 16, 16));
    EXPECT_THROW(
        ExportMovieFile(fits.card, fits.dir / "day.mp4", swfWriters.Writers(), nullptr, options),
        video::TCancelled);
    EXPECT_EQ(frames, 1296000);
    Project over(MovieXml(a.Xml(), 1296000, "16777215", 16, 16));
    EXPECT_THROW(
        ExportMovieFile(over.card, over.dir / "day.mp4", swfWriters.Writers(), nullptr, options),
        Error);
}

} // namespace
} // namespace quillora::test
