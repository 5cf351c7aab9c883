// The object tools on the document: what each kind appends, in which element
// order, under which name, saved to the file; and what loading reads back.
#include "ExportTestUtil.h"

namespace quillora::test {
namespace {

const std::string kBlank = MovieXml("");

// The serialized "Obj" item at index i of the saved file.
std::string SavedItem(const std::string& file, int i)
{
    std::string xml = ReadAll(file);
    size_t pos = 0;
    for (int k = 0; k <= i; ++k) {
        pos = xml.find("<Obj>", k == 0 ? 0 : pos + 1);
        if (pos == std::string::npos)
            return {};
    }
    return xml.substr(pos, xml.find("</Obj>", pos) + 6 - pos);
}

TEST(ObjectTools, RecordedPictureIsAppendedInOrderAndSaved)
{
    Project p(kBlank);
    TFlashPic& pic = *p.card.PicTool;
    pic.Content = "/shots/123.jpg";
    pic.MouseX = 17;
    pic.MouseY = -3;
    pic.Width = 800;
    pic.Height = 600;
    pic.StartTime = 48;
    pic.Layer = 9; // never written from the field
    EXPECT_FALSE(p.card.Modified);
    pic.AppendToDocument();
    EXPECT_TRUE(p.card.Modified); // New and Close will ask to save
    EXPECT_EQ(pic.ObjName, "Pic1");
    EXPECT_EQ(SavedItem(p.card.WorkProjectPath, 0),
              "<Obj><Demo></Demo><MouseX>17</MouseX><MouseY>-3</MouseY><ObjName>Pic1</ObjName>"
              "<StartTime>48</StartTime><EndTime>72</EndTime><Layer>2</Layer>"
              "<ObjTypeName>Pic</ObjTypeName><ObjType><ObjPic><Content>/shots/123.jpg</Content>"
              "<PositionX>0</PositionX><PositionY>0</PositionY><Width>800</Width>"
              "<Height>600</Height><EffectName>None</EffectName></ObjPic></ObjType></Obj>");
    // Each append is saved at once: the second is on disk before any other save.
    pic.StartTime = 72;
    pic.AppendToDocument();
    EXPECT_EQ(pic.ObjName, "Pic2");
    EXPECT_NE(SavedItem(p.card.WorkProjectPath, 1).find("<ObjName>Pic2</ObjName>"),
              std::string::npos);
}

TEST(ObjectTools, TextIsAppendedWithTheDefaultsOfANewText)
{
    Project p(kBlank);
    TFlashText& t = *p.card.TextTool;
    t.Content = "Grüße <&>";
    t.StartTime = 5;
    t.FontSize = 99; // only Content comes from the tool
    t.FontName = "Other";
    t.AppendToDocument();
    EXPECT_EQ(
        SavedItem(p.card.WorkProjectPath, 0),
        "<Obj><Demo></Demo><MouseX>0</MouseX><MouseY>0</MouseY><ObjName>Text1</ObjName>"
        "<StartTime>5</StartTime><EndTime>29</EndTime><Layer>2</Layer>"
        "<ObjTypeName>Text</ObjTypeName><ObjType><ObjText><Content>Grüße &lt;&amp;&gt;</Content>"
        "<TextUnit>1</TextUnit><FontName>Microsoft Sans Serif</FontName><FontSize>18</FontSize>"
        "<FontColor>$FF0000</FontColor><PositionX>50</PositionX><PositionY>50</PositionY>"
        "<EffectName>None</EffectName><EffectValue></EffectValue></ObjText></ObjType></Obj>");
}

TEST(ObjectTools, SoundEndsAtOneWhateverItsStart)
{
    Project p(kBlank);
    TFlashSound& s = *p.card.SoundTool;
    s.Content = "/sounds/a.wav";
    s.StartTime = 30;
    s.Demo = "note";
    s.AppendToDocument();
    EXPECT_EQ(SavedItem(p.card.WorkProjectPath, 0),
              "<Obj><Demo>note</Demo><MouseX>0</MouseX><MouseY>0</MouseY><ObjName>Sound1</ObjName>"
              "<StartTime>30</StartTime><EndTime>1</EndTime><Layer>2</Layer>"
              "<ObjTypeName>Sound</ObjTypeName><ObjType><ObjSound><Content>/sounds/a.wav</Content>"
              "</ObjSound></ObjType></Obj>");
}

TEST(ObjectTools, NamesCountPerKindAndReloadedObjectsGetTheNextNumber)
{
    Project p(kBlank);
    p.card.PicTool->Content = "/a.jpg";
    p.card.PicTool->AppendToDocument();
    p.card.SoundTool->Content = "/a.wav";
    p.card.SoundTool->AppendToDocument();
    p.card.PicTool->AppendToDocument();
    p.card.TextTool->AppendToDocument();
    EXPECT_EQ(p.card.PicTool->ObjName, "Pic2");
    EXPECT_EQ(p.card.SoundTool->ObjName, "Sound1");
    EXPECT_EQ(p.card.TextTool->ObjName, "Text1");

    TFlashPic again;
    again.MovieRef = &p.Movie;
    again.LoadObject(0);
    EXPECT_EQ(again.ObjName, "Pic1");
    again.AppendToDocument();
    EXPECT_EQ(again.ObjName, "Pic3");
    EXPECT_EQ(p.Movie.GetObj().Count(), 5);
    EXPECT_EQ(p.Movie.GetObj().Items(4).GetLayer(), 2);
}

TEST(ObjectTools, LoadReadsEveryFieldAndTheMovePath)
{
    Pic pic{.name = "Pic4",
            .start = 24,
            .end = 48,
            .mx = 3,
            .my = 4,
            .content = "/s/x.jpg",
            .effect = "Move",
            .px = 5,
            .py = 6,
            .w = 7,
            .h = 8};
    Text text{.name = "Text2",
              .content = "ab",
              .font = "Sans",
              .size = 11,
              .color = "$00FF00",
              .px = 1,
              .py = 2,
              .unit = 3};
    Project p(MovieXml(pic.Xml() + text.Xml() + Sound{.start = 9}.Xml()));
    p.card.BasePath = p.dir / "clip";

    TFlashPic& tp = *p.card.PicTool;
    tp.LoadObject(0);
    EXPECT_EQ(tp.KindName, "Pic");
    EXPECT_EQ(std::tie(tp.ObjName, tp.StartTime, tp.EndTime, tp.MouseX, tp.MouseY, tp.Layer),
              std::make_tuple(std::string("Pic4"), 24, 48, 3, 4, 2));
    EXPECT_EQ(std::tie(tp.Content, tp.EffectName, tp.PositionX, tp.PositionY, tp.Width, tp.Height),
              std::make_tuple(std::string("/s/x.jpg"), std::string("Move"), 5, 6, 7, 8));
    EXPECT_EQ(tp.MovePath, p.dir / "Pic4.jpg");

    TFlashText& tt = *p.card.TextTool;
    tt.LoadObject(1);
    EXPECT_EQ(std::tie(tt.Content, tt.FontName, tt.FontSize, tt.FontColor, tt.TextUnit),
              std::make_tuple(std::string("ab"), std::string("Sans"), 11, 0x00FF00, 3));
    EXPECT_EQ(std::tie(tt.PositionX, tt.PositionY), std::make_tuple(1, 2));

    TFlashSound& ts = *p.card.SoundTool;
    ts.LoadObject(2);
    EXPECT_EQ(std::tie(ts.Content, ts.StartTime, ts.EndTime),
              std::make_tuple(std::string("/sounds/a.wav"), 9, 1));

    EXPECT_THROW(ts.LoadObject(3), Error); // "List index out of bounds (3)"
}

TEST(ObjectTools, UnboundToolFailsClearly)
{
    TFlashPic pic;
    try {
        pic.AppendToDocument();
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "No movie document is open");
    }
}

TEST(ObjectTools, FailedSaveReachesTheCaller)
{
    Project p(kBlank);
    std::filesystem::remove(p.card.WorkProjectPath);
    std::filesystem::create_directory(p.card.WorkProjectPath); // cannot be replaced by a file
    p.card.PicTool->Content = "/a.jpg";
    EXPECT_THROW(p.card.PicTool->AppendToDocument(), std::exception);
}

} // namespace
} // namespace quillora::test
