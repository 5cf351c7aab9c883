// The project's choice of zoom and click rings: read without being added,
// stored and read back, overridden on the command line, refused with its
// element or flag named when it does not read; and a project without it
// exports exactly as before.
#include <sys/wait.h>

#include <sstream>

#include "../swf/TestMedia.h"
#include "ExportTestUtil.h"
#include "export/SwfWriters.h"
#include "project/FocusSettings.h"
#include "project/MovieFormats.h"

namespace quillora::test {
namespace {

std::string Serialized(const IXMLMovie& movie)
{
    std::ostringstream s;
    movie.Node().print(s);
    return s.str();
}

TEST(FocusSettings, ReadWithoutBeingAddedWithTheirDefaultsAndOverrides)
{
    struct Case {
        std::string elements;
        TFocusOverride over;
        TFocusChoice want;
    };
    const Case cases[] = {
        {"", {}, {false, 2, false}},
        {"<Zoom>True</Zoom>", {}, {true, 2, true}}, // rings go with the zoom
        {"<Zoom>True</Zoom><ClickRings>False</ClickRings>", {}, {true, 2, false}},
        {"<ClickRings>True</ClickRings>", {}, {false, 2, true}},
        {"<Zoom>True</Zoom><ZoomLevel>3.5</ZoomLevel>", {}, {true, 3.5, true}},
        {"<Zoom> True </Zoom><ZoomLevel> 1.25 </ZoomLevel>", {}, {true, 1.25, true}},
        {"<Zoom>False</Zoom><ZoomLevel>9</ZoomLevel>", {}, {false, 2, false}}, // unused
        {"<Zoom>True</Zoom><ZoomLevel>3</ZoomLevel>", {.Zoom = false}, {false, 3, false}},
        {"<ZoomLevel>3</ZoomLevel>", {}, {false, 3, false}}, // kept while off
        {"", {.Zoom = true}, {true, 2, true}},
        {"", {.Zoom = true, .ClickRings = false}, {true, 2, false}},
        {"<Zoom>True</Zoom><ZoomLevel>x</ZoomLevel>", {.Level = 4.0}, {true, 4, true}},
        {"<ClickRings>False</ClickRings>", {.Zoom = true}, {true, 2, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.elements);
        Project p(MovieXml(c.elements + Pic{}.Xml()));
        const std::string before = Serialized(p.Movie);
        EXPECT_EQ(ReadFocusChoice(p.Movie, c.over), c.want);
        EXPECT_EQ(Serialized(p.Movie), before) << "reading changed the document";
    }
}

TEST(FocusSettings, ValuesThatDoNotReadNameTheirElementAndTheAllowedValues)
{
    struct Case {
        std::string elements, element, message;
    };
    const Case cases[] = {
        {"<Zoom>yes</Zoom>", "Zoom", "True or False"},
        {"<ClickRings>1</ClickRings>", "ClickRings", "True or False"},
        {"<Zoom>True</Zoom><ZoomLevel>two</ZoomLevel>", "ZoomLevel", "a number from 1.25 to 4"},
        {"<Zoom>True</Zoom><ZoomLevel>5</ZoomLevel>", "ZoomLevel", "a number from 1.25 to 4"},
        {"<Zoom>True</Zoom><ZoomLevel>1</ZoomLevel>", "ZoomLevel", "a number from 1.25 to 4"},
        {"<Zoom>True</Zoom><ZoomLevel>nan</ZoomLevel>", "ZoomLevel", "a number from 1.25 to 4"},
        {"<Zoom>True</Zoom><ZoomLevel>2,5</ZoomLevel>", "ZoomLevel", "a number from 1.25 to 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.elements);
        Project p(MovieXml(c.elements + Pic{}.Xml()));
        try {
            ReadFocusChoice(p.Movie);
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.Place().Element, c.element);
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
    Project p(MovieXml(Pic{}.Xml()));
    EXPECT_TRUE(PictureZooms(p.Movie.GetObj().Items(0)));
    Project out(MovieXml(Pic{}.Xml().insert(5, "<Zoom>False</Zoom>") +
                         Pic{.name = "Pic2"}.Xml().insert(5, "<Zoom>maybe</Zoom>")));
    EXPECT_FALSE(PictureZooms(out.Movie.GetObj().Items(0)));
    try {
        PictureZooms(out.Movie.GetObj().Items(1));
        ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.Place().ObjectIndex, 1);
        EXPECT_EQ(e.Place().Element, "Zoom");
    }
}

TEST(FocusSettings, StoredAndReadBack)
{
    for (const TFocusChoice& c : {TFocusChoice{true, 2.5, false}, TFocusChoice{false, 4, true},
                                  TFocusChoice{true, 1.25, true}}) {
        Project p(MovieXml(Pic{}.Xml()));
        WriteFocusChoice(p.Movie, c);
        p.Movie.SaveDocument();
        TXMLDocument again(p.card.WorkProjectPath);
        EXPECT_EQ(ReadFocusChoice(GetMovie(again)), c);
    }
    EXPECT_EQ(ZoomLevelText(2), "2");
    EXPECT_EQ(ZoomLevelText(1.25), "1.25");
    EXPECT_EQ(ParseZoomLevel(ZoomLevelText(3.5)), 3.5);
    EXPECT_FALSE(ParseZoomLevel("").has_value());
    EXPECT_FALSE(ParseZoomLevel("4.01").has_value());
    EXPECT_FALSE(ParseZoomLevel("2x").has_value());
}

struct ToolRun {
    int status = -1;
    std::string err;
};

ToolRun Exporter(const std::string& args, const Scratch& dir)
{
    std::string cmd = std::string(QUILLORA_BIN_DIR) + "/quillora-export " + args + " > /dev/null 2> '" +
                      (dir / "stderr") + "'";
    int rc = std::system(cmd.c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, ReadAll(dir / "stderr")};
}

class FocusExport : public ::testing::Test {
  protected:
    Scratch dir;
    std::string q(const std::string& name) { return "'" + (dir / name) + "'"; }
    // Three pictures of 96 x 64 with the pointer moving, and the elements.
    void Write(const std::string& name, const std::string& elements)
    {
        std::string objs;
        for (int i = 0; i < 3; ++i) {
            const std::string jpeg = dir / ("shot" + std::to_string(i) + ".jpg");
            if (!Exists(jpeg))
                swftest::WriteFile(jpeg, swftest::MakeJpeg(96, 64, swftest::JpegKind::Baseline, i));
            objs += Pic{.name = "Pic" + std::to_string(i + 1), .start = 24 * i,
                        .end = 24 * i + 24, .mx = 10 + 30 * i, .my = 8 + 20 * i,
                        .content = jpeg, .w = 96, .h = 64}
                        .Xml();
        }
        WriteAll(dir / name, MovieXml(elements + objs, 0, "16777215", 96, 64));
    }
};

TEST_F(FocusExport, AProjectWithoutTheChoiceExportsAsBeforeAndTheSwfIgnoresIt)
{
    Write("old.qlv", "");
    Write("off.qlv", "<Zoom>False</Zoom><ClickRings>False</ClickRings>");
    Write("on.qlv", "<Zoom>True</Zoom><ZoomLevel>3</ZoomLevel>");
    for (const char* name : {"old", "off", "on"}) {
        ASSERT_EQ(Exporter(q(std::string(name) + ".qlv"), dir).status, 0) << name;
        ASSERT_EQ(Exporter(q(std::string(name) + ".qlv") + " " + q(std::string(name) + ".mp4"), dir)
                      .status,
                  0)
            << name;
    }
    EXPECT_EQ(ReadAll(dir / "old.swf"), ReadAll(dir / "on.swf"));
    EXPECT_EQ(ReadAll(dir / "old.mp4"), ReadAll(dir / "off.mp4"));
    EXPECT_NE(ReadAll(dir / "old.mp4"), ReadAll(dir / "on.mp4"));
    // The flags over the project: off is the old video, on is the project's zoom.
    ASSERT_EQ(Exporter("--no-zoom " + q("on.qlv") + " " + q("on-off.mp4"), dir).status, 0);
    EXPECT_EQ(ReadAll(dir / "on-off.mp4"), ReadAll(dir / "old.mp4"));
    ASSERT_EQ(Exporter("--zoom=3 " + q("old.qlv") + " " + q("old-on.mp4"), dir).status, 0);
    EXPECT_EQ(ReadAll(dir / "old-on.mp4"), ReadAll(dir / "on.mp4"));
    ASSERT_EQ(Exporter("--zoom=3 --no-click-rings " + q("old.qlv") + " " + q("norings.mp4"), dir)
                  .status,
              0);
    EXPECT_NE(ReadAll(dir / "norings.mp4"), ReadAll(dir / "on.mp4"));
    ASSERT_EQ(Exporter("--click-rings " + q("old.qlv") + " " + q("rings.mp4"), dir).status, 0);
    EXPECT_NE(ReadAll(dir / "rings.mp4"), ReadAll(dir / "old.mp4"));
}

TEST_F(FocusExport, BadLevelsAreRefusedNamingTheFlagOrElementAndNothingIsWritten)
{
    Write("clip.qlv", "");
    for (const char* flag : {"--zoom=5", "--zoom=1", "--zoom=abc", "--zoom="}) {
        SCOPED_TRACE(flag);
        ToolRun r = Exporter(std::string(flag) + " " + q("clip.qlv") + " " + q("clip.mp4"), dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("--zoom takes a number from 1.25 to 4"), std::string::npos) << r.err;
        EXPECT_FALSE(Exists(dir / "clip.mp4"));
    }
    Write("bad.qlv", "<Zoom>True</Zoom><ZoomLevel>8</ZoomLevel>");
    const std::string before = ReadAll(dir / "bad.qlv");
    for (const char* video : {"bad.mp4", "bad.webm", "bad.gif"}) {
        ToolRun r = Exporter(q("bad.qlv") + " " + q(video), dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("\"ZoomLevel\""), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("a number from 1.25 to 4"), std::string::npos) << r.err;
        EXPECT_FALSE(Exists(dir / video));
    }
    EXPECT_EQ(ReadAll(dir / "bad.qlv"), before);
    // Where the level is not used, it does not stop the export.
    EXPECT_EQ(Exporter(q("bad.qlv") + " " + q("bad.swf"), dir).status, 0);
    EXPECT_EQ(Exporter("--no-zoom " + q("bad.qlv") + " " + q("bad.mp4"), dir).status, 0);
    EXPECT_EQ(Exporter("--zoom=2 " + q("bad.qlv") + " " + q("bad.gif"), dir).status, 0);
}

} // namespace
} // namespace quillora::test
