// The guide writers through their library: what the steps hold, where the
// marker lands, and that an export that does not finish leaves the earlier
// guide alone.
#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "base/Error.h"
#include "guide/Guide.h"
#include "guide/GuideParts.h"

namespace fs = std::filesystem;
using namespace guide;

namespace {

std::vector<uint8_t> SolidJpeg(int w, int h, uint8_t r, uint8_t g, uint8_t b)
{
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (size_t i = 0; i < rgb.size(); i += 3)
        rgb[i] = r, rgb[i + 1] = g, rgb[i + 2] = b;
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, rgb.data(), w, 0, h, TJPF_RGB, &out, &size, TJSAMP_444, 95, 0);
    std::vector<uint8_t> bytes(out, out + size);
    tjFree(out);
    tjDestroy(tj);
    return bytes;
}

std::vector<uint8_t> DecodeRgb(const std::vector<uint8_t>& jpeg, int& w, int& h)
{
    tjhandle tj = tjInitDecompress();
    int sub = 0, space = 0;
    tjDecompressHeader3(tj, jpeg.data(), jpeg.size(), &w, &h, &sub, &space);
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    tjDecompress2(tj, jpeg.data(), jpeg.size(), rgb.data(), w, 0, h, TJPF_RGB, 0);
    tjDestroy(tj);
    return rgb;
}

std::string ReadText(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<uint8_t> ReadBytes(const fs::path& p)
{
    std::string s = ReadText(p);
    return {s.begin(), s.end()};
}

void Write(const fs::path& p, const std::string& s)
{
    std::ofstream(p, std::ios::binary) << s;
}

struct TObj {
    std::string kind;
    int start, end;
    std::string content; // picture file or caption text
    int mouseX = 0, mouseY = 0;
    int width = 320, height = 240;
};

std::string ProjectXml(const std::vector<TObj>& objs)
{
    std::string x = "<Movie><BgColor>16777215</BgColor><Width>320</Width><Height>240</Height>"
                    "<Rate>15</Rate><TotalFrames>0</TotalFrames><Loop>False</Loop>";
    int n = 0;
    for (const TObj& o : objs) {
        x += "<Obj><Demo></Demo><MouseX>" + std::to_string(o.mouseX) + "</MouseX><MouseY>" +
             std::to_string(o.mouseY) + "</MouseY><ObjName>" + o.kind + std::to_string(++n) +
             "</ObjName><StartTime>" + std::to_string(o.start) + "</StartTime><EndTime>" +
             std::to_string(o.end) + "</EndTime><Layer>2</Layer><ObjTypeName>" + o.kind +
             "</ObjTypeName><ObjType>";
        if (o.kind == "Pic")
            x += "<ObjPic><Content>" + o.content +
                 "</Content><PositionX>0</PositionX><PositionY>0</PositionY><Width>" +
                 std::to_string(o.width) + "</Width><Height>" + std::to_string(o.height) +
                 "</Height><EffectName>None</EffectName></ObjPic>";
        else if (o.kind == "Text")
            x += "<ObjText><Content><![CDATA[" + o.content +
                 "]]></Content><FontName>Sans</FontName><FontSize>18</FontSize>"
                 "<FontColor>0</FontColor><PositionX>5</PositionX><PositionY>5</PositionY>"
                 "<EffectName>None</EffectName><TextUnit>1</TextUnit></ObjText>";
        else
            x += "<ObjSound><Content>" + o.content + "</Content></ObjSound>";
        x += "</ObjType></Obj>";
    }
    return x + "</Movie>";
}

class GuideTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "quillora-guide-XXXXXX").string();
        ASSERT_TRUE(mkdtemp(tmpl.data()));
        Dir = tmpl;
        // Light, dark and mid screens: the marker must show on each.
        Pics = {SolidJpeg(320, 240, 240, 240, 240), SolidJpeg(320, 240, 20, 20, 30),
                SolidJpeg(320, 240, 90, 140, 200)};
        for (size_t i = 0; i < Pics.size(); ++i) {
            std::ofstream f(Dir / ("shot" + std::to_string(i + 1) + ".jpg"), std::ios::binary);
            f.write(reinterpret_cast<const char*>(Pics[i].data()), std::streamsize(Pics[i].size()));
        }
    }
    void TearDown() override { fs::remove_all(Dir); }

    // A recording of three pictures, stored out of time order, with
    // captions on the first and the last and none on the middle one.
    std::string Recorded()
    {
        return Project("demo.qlv", {{"Pic", 48, 72, "shot3.jpg", 300, 10},
                                    {"Pic", 0, 24, (Dir / "shot1.jpg").string(), 100, 60},
                                    {"Pic", 24, 48, "shot2.jpg", 200, 120},
                                    {"Text", 50, 60, "then <Save> & \"close\""},
                                    {"Sound", 30, 1, "click.wav"},
                                    {"Text", 0, 24, "Open the *File* menu"},
                                    {"Text", 48, 72, "Click [OK]"}});
    }
    std::string Project(const std::string& name, const std::vector<TObj>& objs)
    {
        Write(Dir / name, ProjectXml(objs));
        return (Dir / name).string();
    }
    // Files in Dir other than these, as left-overs of an export.
    std::vector<std::string> Others(const std::set<std::string>& known)
    {
        std::vector<std::string> out;
        for (auto& e : fs::directory_iterator(Dir))
            if (!known.count(e.path().filename().string()))
                out.push_back(e.path().filename().string());
        return out;
    }

    fs::path Dir;
    std::vector<std::vector<uint8_t>> Pics;
};

TEST_F(GuideTest, StepsFollowTheMovieWithTheirCaptionsInTimeOrder)
{
    TGuide g = ReadGuide(Recorded());
    EXPECT_EQ(g.Title, "demo");
    ASSERT_EQ(g.Steps.size(), 3u);
    EXPECT_EQ(g.Steps[0].Text, "Open the *File* menu");
    EXPECT_TRUE(g.Steps[0].Captioned);
    EXPECT_EQ(g.Steps[1].Text, "Step 2");
    EXPECT_FALSE(g.Steps[1].Captioned);
    // The caption covering the picture comes before the one that starts later.
    EXPECT_EQ(g.Steps[2].Text, "Click [OK]\nthen <Save> & \"close\"");
    // Relative picture names are read from the project's folder.
    EXPECT_EQ(g.Steps[1].PicturePath, (Dir / "shot2.jpg").string());
    EXPECT_EQ(g.Steps[0].PicturePath, (Dir / "shot1.jpg").string());
    EXPECT_EQ(g.Steps[2].MouseX, 300);
}

TEST_F(GuideTest, CaptionShownOverTwoPicturesBelongsToBoth)
{
    TGuide g = ReadGuide(Project("span.qlv", {{"Pic", 0, 24, "shot1.jpg"},
                                              {"Pic", 24, 48, "shot2.jpg"},
                                              {"Pic", 48, 72, "shot3.jpg"},
                                              {"Text", 10, 30, "across"},
                                              {"Text", 48, 48, "zero length"}}));
    EXPECT_EQ(g.Steps[0].Text, "across");
    EXPECT_EQ(g.Steps[1].Text, "across");
    EXPECT_EQ(g.Steps[2].Text, "zero length");
}

TEST_F(GuideTest, ProjectWithoutPicturesWritesNoFile)
{
    std::string p = Project("empty.qlv", {{"Text", 0, 24, "only words"}});
    try {
        ExportGuide(p, (Dir / "empty.pdf").string());
        FAIL() << "no error";
    } catch (const quillora::Error& e) {
        EXPECT_NE(std::string(e.what()).find("no pictures"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(Dir / "empty.pdf"));
    EXPECT_TRUE(Others({"empty.qlv", "shot1.jpg", "shot2.jpg", "shot3.jpg"}).empty());
}

TEST_F(GuideTest, ExtensionThatNamesNoFormatIsRefusedWithTheList)
{
    try {
        ExportGuide(Recorded(), (Dir / "notes.txt").string());
        FAIL() << "no error";
    } catch (const quillora::Error& e) {
        const std::string m = e.what();
        for (const char* ext : {".html", ".md", ".pdf"})
            EXPECT_NE(m.find(ext), std::string::npos) << m;
    }
    EXPECT_FALSE(fs::exists(Dir / "notes.txt"));
}

TEST_F(GuideTest, PointerMapsFromMoviePixelsToThePicture)
{
    TStep s;
    s.HasMouse = true;
    s.MovieX = 10;
    s.MovieY = 20;
    s.MovieWidth = 640; // a 320 x 240 picture shown twice as large
    s.MovieHeight = 480;
    s.MouseX = 210;
    s.MouseY = 120;
    auto p = detail::PointerOn(s, 320, 240);
    ASSERT_TRUE(p);
    EXPECT_DOUBLE_EQ(p->first, 100.5);
    EXPECT_DOUBLE_EQ(p->second, 50.5);
    s.MouseX = 5; // left of the picture
    EXPECT_FALSE(detail::PointerOn(s, 320, 240));
    s.MouseX = 210;
    s.HasMouse = false;
    EXPECT_FALSE(detail::PointerOn(s, 320, 240));
}

// The ring sits on the recorded point of every decoded Markdown picture,
// light and dark, and the point itself keeps its colour.
TEST_F(GuideTest, MarkdownPicturesCarryTheRingAtTheRecordedPoint)
{
    const std::string md = (Dir / "demo.md").string();
    TGuideReport r = ExportGuide(Recorded(), md);
    EXPECT_TRUE(r.Missing.empty());
    const int points[3][2] = {{100, 60}, {200, 120}, {300, 10}};
    const uint8_t base[3][3] = {{240, 240, 240}, {20, 20, 30}, {90, 140, 200}};
    const int radius = int(detail::MarkerRadius(320, 240));
    for (int i = 0; i < 3; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "step-%03d.jpg", i + 1);
        int w = 0, h = 0;
        std::vector<uint8_t> rgb = DecodeRgb(ReadBytes(Dir / "demo_files" / name), w, h);
        ASSERT_EQ(w, 320);
        auto px = [&](int x, int y) { return &rgb[(size_t(y) * w + x) * 3]; };
        const int x = points[i][0], y = points[i][1];
        const uint8_t* c = px(x, y);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(c[k], base[i][k], 12) << "centre of step " << i + 1;
        // The light inner stroke on the ring, the dark one just outside it;
        // left of the point, since the last one is near the top edge.
        const uint8_t* ring = px(x - radius, y);
        EXPECT_GT(ring[0], 200) << "step " << i + 1;
        EXPECT_GT(ring[1], 170) << "step " << i + 1;
        EXPECT_LT(ring[2], 90) << "step " << i + 1;
        const uint8_t* outside = px(x - radius - int(radius * 0.17), y);
        EXPECT_LT(outside[0] + outside[1] + outside[2], 3 * 80) << "step " << i + 1;
    }
    const std::string text = ReadText(md);
    EXPECT_NE(text.find("![Step 2](demo_files/step-002.jpg)"), std::string::npos) << text;
    // Markup characters are escaped, so they stay text.
    EXPECT_NE(text.find("Open the \\*File\\* menu"), std::string::npos) << text;
    EXPECT_NE(text.find("then \\<Save\\> \\& \\\"close\\\""), std::string::npos) << text;
}

TEST_F(GuideTest, MissingPictureBecomesAPlaceholderAndIsReported)
{
    std::string p = Project("gap.qlv", {{"Pic", 0, 24, "shot1.jpg", 5, 5},
                                        {"Pic", 24, 48, "gone.jpg", 5, 5},
                                        {"Pic", 48, 72, "shot3.jpg", 5, 5}});
    Write(Dir / "broken.jpg", "not a picture");
    for (const char* ext : {".html", ".md", ".pdf"}) {
        TGuideReport r = ExportGuide(p, (Dir / (std::string("gap") + ext)).string());
        ASSERT_EQ(r.Missing.size(), 1u) << ext;
        EXPECT_EQ(r.Missing[0].Step, 2);
        EXPECT_EQ(r.Missing[0].File, (Dir / "gone.jpg").string());
        EXPECT_TRUE(fs::exists(Dir / (std::string("gap") + ext)));
    }
    EXPECT_NE(ReadText(Dir / "gap.html").find("Picture missing: " + (Dir / "gone.jpg").string()),
              std::string::npos);
    EXPECT_TRUE(fs::exists(Dir / "gap_files" / "step-002.jpg"));
    // A damaged file is missing too.
    std::string q = Project("bad.qlv", {{"Pic", 0, 24, "broken.jpg"}});
    EXPECT_EQ(ExportGuide(q, (Dir / "bad.html").string()).Missing.size(), 1u);
    // So are a folder and an empty file where a picture should be; the
    // pictures around them are whole in every format.
    fs::create_directory(Dir / "folder.jpg");
    Write(Dir / "empty.jpg", "");
    std::string odd = Project("odd.qlv", {{"Pic", 0, 24, "folder.jpg", 5, 5},
                                          {"Pic", 24, 48, "shot1.jpg", 5, 5},
                                          {"Pic", 48, 72, "empty.jpg", 5, 5}});
    for (const char* ext : {".html", ".md", ".pdf"}) {
        TGuideReport r = ExportGuide(odd, (Dir / (std::string("odd") + ext)).string());
        ASSERT_EQ(r.Missing.size(), 2u) << ext;
        EXPECT_EQ(r.Missing[0].Step, 1) << ext;
        EXPECT_EQ(r.Missing[0].Why, "it cannot be read") << ext;
        EXPECT_EQ(r.Missing[1].Step, 3) << ext;
    }
    EXPECT_TRUE(fs::exists(Dir / "odd_files" / "step-002.jpg"));
}

// Each format, cancelled at its second step and failing there: the file of
// the export before, and the Markdown folder with it, stay as they were,
// and nothing is left beside them.
TEST_F(GuideTest, CancelAndFailureLeaveTheEarlierGuide)
{
    const std::string project = Recorded();
    for (const char* ext : {".html", ".md", ".pdf"}) {
        const fs::path target = Dir / (std::string("demo") + ext);
        ExportGuide(project, target.string());
        const std::string before = ReadText(target);
        std::vector<uint8_t> firstPicture;
        if (std::string(ext) == ".md") {
            firstPicture = ReadBytes(Dir / "demo_files" / "step-001.jpg");
            Write(Dir / "demo_files" / "mine.txt", "kept");
        }
        // Something else to show: the captions of a different project.
        std::string other = Project("demo.qlv", {{"Pic", 0, 24, "shot2.jpg", 1, 1},
                                                 {"Pic", 24, 48, "shot3.jpg", 1, 1},
                                                 {"Text", 0, 24, "changed"}});
        for (int how = 0; how < 2; ++how) {
            TGuideOptions o;
            o.Progress = [how](int done, int) {
                if (done == 2 && how == 1)
                    throw std::runtime_error("disk full");
                return done < 2;
            };
            if (how == 0)
                EXPECT_THROW(ExportGuide(other, target.string(), o), TCancelled) << ext;
            else
                EXPECT_THROW(ExportGuide(other, target.string(), o), std::runtime_error) << ext;
            EXPECT_EQ(ReadText(target), before) << ext;
            if (std::string(ext) == ".md") {
                EXPECT_EQ(ReadBytes(Dir / "demo_files" / "step-001.jpg"), firstPicture);
                EXPECT_TRUE(fs::exists(Dir / "demo_files" / "mine.txt"));
                EXPECT_TRUE(fs::exists(Dir / "demo_files" / "step-003.jpg"));
            }
            EXPECT_EQ(Others({"demo.qlv", "shot1.jpg", "shot2.jpg", "shot3.jpg", "demo.html",
                              "demo.md", "demo_files", "demo.pdf"}),
                      std::vector<std::string>{})
                << ext;
        }
        Recorded();
    }
}

TEST_F(GuideTest, MarkdownFolderIsReplacedWhole)
{
    const std::string project = Recorded();
    fs::create_directory(Dir / "demo_files");
    Write(Dir / "demo_files" / "step-009.jpg", "stale");
    ExportGuide(project, (Dir / "demo.md").string());
    std::set<std::string> names;
    for (auto& e : fs::directory_iterator(Dir / "demo_files"))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"step-001.jpg", "step-002.jpg", "step-003.jpg"}));
    // Twice over a folder that exists: still three, nothing left beside.
    ExportGuide(project, (Dir / "demo.md").string());
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "demo_files"), fs::directory_iterator()),
              3);
    EXPECT_EQ(Others({"demo.qlv", "shot1.jpg", "shot2.jpg", "shot3.jpg", "demo.md", "demo_files"}),
              std::vector<std::string>{});
}

TEST_F(GuideTest, MarkdownRefusesToReplaceAFileWithItsFolder)
{
    Write(Dir / "demo_files", "a file of the user's");
    EXPECT_THROW(ExportGuide(Recorded(), (Dir / "demo.md").string()), quillora::Error);
    EXPECT_EQ(ReadText(Dir / "demo_files"), "a file of the user's");
    EXPECT_FALSE(fs::exists(Dir / "demo.md"));
}

TEST_F(GuideTest, HtmlEmbedsTheOriginalPicturesAndEscapesCaptions)
{
    const fs::path html = Dir / "demo.html";
    ExportGuide(Recorded(), html.string());
    const std::string t = ReadText(html);
    EXPECT_EQ(t.find("<script"), std::string::npos);
    EXPECT_EQ(t.find("<Save>"), std::string::npos);
    EXPECT_NE(t.find("then &lt;Save&gt; &amp; &quot;close&quot;"), std::string::npos);
    EXPECT_NE(t.find("break-inside:avoid"), std::string::npos);
    EXPECT_NE(t.find("alt=\"Step 2\""), std::string::npos);
    EXPECT_NE(t.find("<circle cx=\"200.5\" cy=\"120.5\""), std::string::npos);
}

} // namespace
