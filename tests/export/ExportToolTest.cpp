// quillora-export as a user runs it: the movie beside the project, messages
// on standard error, exit status, and no movie file when the export fails.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "../swf/TestMedia.h"
#include "ExportTestUtil.h"
#include "swf/SwfReader.h"

namespace quillora::test {
namespace {

struct ToolRun {
    int status = -1;
    std::string out, err;
};

ToolRun Exporter(const std::string& args, const Scratch& dir)
{
    std::string cmd = std::string(QUILLORA_BIN_DIR) + "/quillora-export " + args + " > '" +
                      (dir / "stdout") + "' 2> '" + (dir / "stderr") + "'";
    int rc = std::system(cmd.c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, ReadAll(dir / "stdout"), ReadAll(dir / "stderr")};
}

class ExportTool : public ::testing::Test {
  protected:
    Scratch dir;
    std::string q(const std::string& name) { return "'" + (dir / name) + "'"; }
    std::string Project(const std::string& objs, const std::string& name = "clip.qlv")
    {
        WriteAll(dir / name, MovieXml(objs, 0, "16777215", 64, 48));
        return dir / name;
    }
    std::string Jpeg(const std::string& name)
    {
        swftest::WriteFile(dir / name, swftest::MakeJpeg(64, 48));
        return dir / name;
    }
};

TEST_F(ExportTool, HelpAndWrongCommandLines)
{
    ToolRun help = Exporter("--help", dir);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: quillora-export PROJECT.qlv [MOVIE.swf]"), std::string::npos);
    EXPECT_NE(help.out.find("click.wav"), std::string::npos);
    for (const char* flag : {"--zoom[=LEVEL]", "--no-zoom", "--click-rings", "--no-click-rings"})
        EXPECT_NE(help.out.find(flag), std::string::npos) << flag;
    EXPECT_EQ(Exporter("--zoom=9 a.qlv b.mp4", dir).status, 2);
    EXPECT_EQ(Exporter("", dir).status, 2);
    EXPECT_EQ(Exporter("a.qlv b.swf c", dir).status, 2);
    EXPECT_EQ(Exporter("--fast a.qlv", dir).status, 2);
}

TEST_F(ExportTool, WritesTheMovieBesideTheProjectAndLeavesTheProjectAlone)
{
    Pic a{.mx = 5, .my = 6, .content = Jpeg("1.jpg"), .w = 64, .h = 48};
    std::string project = Project(a.Xml());
    std::string before = ReadAll(project);
    ToolRun r = Exporter(q("clip.qlv"), dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, ""); // no terminal: no progress, and the click was found
    swf::ReadMovie m = swf::ReadMovieFile(dir / "clip.swf");
    EXPECT_EQ(m.frames.at(1).soundsStarted.size(), 1u);
    EXPECT_EQ(ReadAll(project), before);

    ToolRun other = Exporter(q("clip.qlv") + " " + q("out.swf"), dir);
    EXPECT_EQ(other.status, 0) << other.err;
    EXPECT_EQ(ReadAll(dir / "out.swf"), ReadAll(dir / "clip.swf"));
}

TEST_F(ExportTool, RefusedPicturesArePrintedAndTheMovieWritten)
{
    WriteAll(dir / "fake.jpg", "GIF89a");
    Pic bad{.name = "Pic1", .content = dir / "fake.jpg", .w = 64, .h = 48};
    Pic good{.name = "Pic2", .start = 24, .end = 48, .content = Jpeg("2.jpg"), .w = 64, .h = 48};
    Project(bad.Xml() + good.Xml());
    ToolRun r = Exporter(q("clip.qlv"), dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("Sorry, can not use the picture! (Pic1: " + (dir / "fake.jpg")),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(Exists(dir / "clip.swf"));
}

TEST_F(ExportTool, BadInputGivesItsMessageAndNoMovie)
{
    struct Case {
        std::string project, message;
    };
    Pic a{.content = dir / "1.jpg", .w = 64, .h = 48};
    std::string noRate = MovieXml(a.Xml());
    noRate.replace(noRate.find("<Rate>15</Rate>"), 15, "<Rate></Rate>");
    std::string badRate = MovieXml(a.Xml());
    badRate.replace(badRate.find("<Rate>15</Rate>"), 15, "<Rate>15 fps</Rate>");
    const Case cases[] = {
        {"this is not XML <", ""}, // the parser's own message
        {"<Film/>", "Interface not supported"},
        {noRate, "Could not convert variant of type (Null) into type (Integer)"},
        {badRate, "Could not convert variant of type (String) into type (Integer)"},
        {MovieXml(a.Xml(), 0, "-16"), "Range check error"},
        {MovieXml(Text{.color = "$GG"}.Xml()), "'$GG' is not a valid colour value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.project);
        WriteAll(dir / "bad.qlv", c.project);
        ToolRun r = Exporter(q("bad.qlv"), dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind("quillora-export: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(Exists(dir / "bad.swf"));
    }
    ToolRun missing = Exporter(q("none.qlv"), dir);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("none.qlv"), std::string::npos);
}

TEST_F(ExportTool, ABadValueIsNamedWithItsObjectAndElement)
{
    struct Case {
        std::string project, where, message;
    };
    const std::string shot = Jpeg("1.jpg");
    Pic first{.name = "Pic1", .content = shot, .w = 64, .h = 48};
    Pic third{.name = "Pic3", .start = 48, .end = 72, .content = shot, .w = 64, .h = 48};
    std::string badStart = Pic{.name = "Pic2", .start = 24, .end = 48, .content = shot}.Xml();
    badStart.replace(badStart.find("<StartTime>24</StartTime>"), 25, "<StartTime>2A</StartTime>");
    std::string badPos = Pic{.name = "Pic2", .start = 24, .end = 48, .content = shot}.Xml();
    badPos.replace(badPos.find("<PositionX>0</PositionX>"), 24, "<PositionX>-</PositionX>");
    std::string badRate = MovieXml(first.Xml());
    badRate.replace(badRate.find("<Rate>15</Rate>"), 15, "<Rate>15 fps</Rate>");
    const Case cases[] = {
        {MovieXml(first.Xml() + badStart + third.Xml()),
         "object 2 of 3 (\"Pic2\"), element \"StartTime\" holding \"2A\"",
         "Could not convert variant of type (String) into type (Integer)"},
        {MovieXml(first.Xml() + badPos + third.Xml()),
         "object 2 of 3 (\"Pic2\"), element \"ObjType/ObjPic/PositionX\" holding \"-\"",
         "Could not convert variant of type (String) into type (Integer)"},
        {MovieXml(first.Xml() + Text{.name = "Text1", .color = "$GG"}.Xml()),
         "object 2 of 2 (\"Text1\"), element \"ObjType/ObjText/FontColor\" holding \"$GG\"",
         "'$GG' is not a valid colour value"},
        // A value that reads but cannot be used: the object, without an element.
        {MovieXml(first.Xml() +
                  Pic{.name = "Pic2", .content = shot, .px = 2000000000, .w = 64, .h = 48}.Xml()),
         "object 2 of 2 (\"Pic2\")", "Integer overflow"},
        {badRate, "element \"Rate\" of the movie holding \"15 fps\"",
         "Could not convert variant of type (String) into type (Integer)"},
        {MovieXml(first.Xml(), 0, "-16"), "element \"BgColor\" of the movie holding \"-16\"",
         "Range check error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.project);
        WriteAll(dir / "bad.qlv", c.project);
        ToolRun r = Exporter(q("bad.qlv"), dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "quillora-export: " + (dir / "bad.qlv") + ": " + c.where + ": " +
                             c.message + "\n");
        EXPECT_FALSE(Exists(dir / "bad.swf"));
    }
}

// The shared objects a run of the tool maps, as the dynamic loader lists them.
std::string LoadedLibraries(const std::string& args, const Scratch& dir, int* status)
{
    std::filesystem::remove_all(dir / "ld");
    std::filesystem::create_directory(dir / "ld");
    const std::string cmd = "LD_DEBUG=libs LD_DEBUG_OUTPUT='" + (dir / "ld/run") + "' " +
                            std::string(QUILLORA_BIN_DIR) + "/quillora-export " + args +
                            " > /dev/null 2> '" + (dir / "stderr") + "'";
    const int rc = std::system(cmd.c_str());
    *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    std::string all;
    for (const auto& e : std::filesystem::directory_iterator(dir / "ld"))
        all += ReadAll(e.path());
    return all;
}

TEST_F(ExportTool, TheSwfAndHelpLoadNeitherFfmpegNorCairoAndAVideoOrGuideLoadsItsModule)
{
    Pic a{.mx = 5, .my = 6, .content = Jpeg("1.jpg"), .w = 64, .h = 48};
    Project(a.Xml());
    int status = -1;
    for (const std::string& args : {std::string("--help"), q("clip.qlv") + " " + q("a.swf")}) {
        SCOPED_TRACE(args);
        const std::string libs = LoadedLibraries(args, dir, &status);
        EXPECT_EQ(status, 0) << ReadAll(dir / "stderr");
        ASSERT_NE(libs.find("libpugixml"), std::string::npos) << "the loader's list is read";
        for (const char* heavy : {"libavcodec", "libavformat", "libcairo", "libx264",
                                  "libimagequant", "quillora-media", "quillora-guide"})
            EXPECT_EQ(libs.find(heavy), std::string::npos) << heavy;
    }
    for (const char* target : {"a.mp4", "a.gif", "a.html", "a.pdf"}) {
        SCOPED_TRACE(target);
        const std::string libs = LoadedLibraries(q("clip.qlv") + " " + q(target), dir, &status);
        EXPECT_EQ(status, 0) << ReadAll(dir / "stderr");
        const bool guide = std::string(target).ends_with(".html") || std::string(target).ends_with(".pdf");
        EXPECT_NE(libs.find(guide ? "quillora-guide.so" : "quillora-media.so"), std::string::npos);
        // A guide needs none of the encoders.
        if (guide)
            for (const char* heavy : {"libavcodec", "libavformat", "libx264", "quillora-media"})
                EXPECT_EQ(libs.find(heavy), std::string::npos) << heavy;
        EXPECT_GT(std::filesystem::file_size(dir / target), 100u);
    }
    EXPECT_EQ(ReadAll(dir / "a.mp4").substr(4, 4), "ftyp");
    EXPECT_EQ(ReadAll(dir / "a.gif").substr(0, 6), "GIF89a");
}

TEST_F(ExportTool, WithoutItsModuleAVideoOrGuideIsRefusedAndLeavesTheOldFile)
{
    Pic a{.mx = 5, .my = 6, .content = Jpeg("1.jpg"), .w = 64, .h = 48};
    Project(a.Xml());
    // The program alone, in a folder with neither the module nor a lib/ tree.
    std::filesystem::create_directory(dir / "bin");
    std::filesystem::copy_file(std::string(QUILLORA_BIN_DIR) + "/quillora-export",
                               dir / "bin/quillora-export");
    for (const char* target : {"old.mp4", "old.webm", "old.pdf"}) {
        SCOPED_TRACE(target);
        const bool guide = std::string(target).ends_with(".pdf");
        WriteAll(dir / target, "earlier");
        const std::string cmd = "'" + (dir / "bin/quillora-export") + "' " + q("clip.qlv") + " " +
                                q(target) + " 2> '" + (dir / "stderr") + "'";
        const int rc = std::system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(rc));
        EXPECT_EQ(WEXITSTATUS(rc), 1);
        const std::string err = ReadAll(dir / "stderr");
        EXPECT_NE(err.find(guide ? "quillora-export: Cannot write guides: "
                                 : "quillora-export: Cannot write videos: "),
                  std::string::npos)
            << err;
        EXPECT_NE(err.find(guide ? "quillora-guide.so" : "quillora-media.so"), std::string::npos) << err;
        EXPECT_EQ(ReadAll(dir / target), "earlier");
    }
    // The SWF needs no module (the click is not beside this copy: reported).
    const std::string cmd = "'" + (dir / "bin/quillora-export") + "' " + q("clip.qlv") + " " +
                            q("new.swf") + " 2> /dev/null";
    const int rc = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0);
    EXPECT_FALSE(swf::ReadMovieFile(dir / "new.swf").frames.empty());
}

TEST_F(ExportTool, UnwritableTargetOrTheProjectItselfIsRefused)
{
    std::string project = Project(Pic{.content = Jpeg("1.jpg"), .w = 64, .h = 48}.Xml());
    std::string before = ReadAll(project);
    WriteAll(dir / "file", "x");
    ToolRun r = Exporter(q("clip.qlv") + " " + q("file/clip.swf"), dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("file/clip.swf"), std::string::npos) << r.err;
    ToolRun self = Exporter(q("clip.qlv") + " " + q("clip.qlv"), dir);
    EXPECT_EQ(self.status, 1);
    EXPECT_NE(self.err.find("would replace the project"), std::string::npos) << self.err;
    EXPECT_EQ(ReadAll(project), before);
}

TEST_F(ExportTool, ATargetThatCannotBeWrittenIsRefusedBeforeAnyWork)
{
    // A picture that cannot be used would be reported while the objects
    // are exported: its message shows whether any work was done.
    WriteAll(dir / "fake.jpg", "GIF89a");
    Pic bad{.name = "Pic1", .content = dir / "fake.jpg", .w = 64, .h = 48};
    Pic good{.name = "Pic2", .start = 24, .end = 48, .content = Jpeg("2.jpg"), .w = 64, .h = 48};
    Project(bad.Xml() + good.Xml());
    std::filesystem::create_directory(dir / "ro");
    std::filesystem::permissions(dir / "ro", std::filesystem::perms(0555));
    // Root writes into any folder; without the right to override permissions
    // it is refused as any user is.
    const bool root = geteuid() == 0;
    const bool canDrop = !root || std::system("setpriv --help > /dev/null 2>&1") == 0;
    const std::string asUser = root ? "setpriv --bounding-set=-dac_override,-dac_read_search " : "";
    for (const char* ext : {"mp4", "gif", "swf"}) {
        SCOPED_TRACE(ext);
        const std::string name = std::string("out.") + ext;
        std::filesystem::create_directory(dir / name);
        struct Case {
            std::string target, why, prefix;
        };
        std::vector<Case> cases = {
            {dir / name, "it is a folder", ""},
            {dir / ("none/" + name), "the folder \"" + (dir / "none") + "\" does not exist", ""},
        };
        if (canDrop)
            cases.push_back({dir / ("ro/" + name), "Permission denied", asUser});
        for (const Case& c : cases) {
            SCOPED_TRACE(c.target);
            const std::string cmd = std::string(QUILLORA_BIN_DIR) + "/quillora-export " +
                                    q("clip.qlv") + " '" + c.target + "' > '" + (dir / "stdout") +
                                    "' 2> '" + (dir / "stderr") + "'";
            int rc = std::system((c.prefix + cmd).c_str());
            ASSERT_TRUE(WIFEXITED(rc));
            EXPECT_EQ(WEXITSTATUS(rc), 1);
            EXPECT_EQ(ReadAll(dir / "stderr"), "quillora-export: Cannot write the movie \"" +
                                                   c.target + "\": " + c.why + "\n");
        }
        EXPECT_TRUE(std::filesystem::is_empty(dir / name)) << "nothing in the folder";
        EXPECT_TRUE(std::filesystem::is_empty(dir / "ro"));
        EXPECT_FALSE(Exists(dir / "none"));
    }
}

} // namespace
} // namespace quillora::test
