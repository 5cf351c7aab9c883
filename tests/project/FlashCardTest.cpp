// The movie controller's own work: paths, modes and the document actions,
// the template copy, the header of a new movie.
#include "../export/ExportTestUtil.h"

namespace quillora::test {
namespace {

struct Actions : IDocumentActions {
    std::vector<std::string> Log;
    void DisableDocumentActions() override { Log.push_back("disable"); }
    void EnableDocumentActions() override { Log.push_back("enable"); }
};

TEST(FlashCard, StartsUntitledWithTheWorkingFiles)
{
    TFlashCard card("/docs/Quillora/screenshots/Untitled", nullptr);
    EXPECT_EQ(card.BasePath, "/docs/Quillora/screenshots/Untitled");
    EXPECT_EQ(card.WorkProjectPath, "/docs/Quillora/screenshots/Untitled.qlv");
    EXPECT_EQ(card.MoviePath, "/docs/Quillora/screenshots/Untitled.swf");
    EXPECT_TRUE(card.IsUntitled());
    EXPECT_EQ(card.Mode, "");
    EXPECT_FALSE(card.Looping);
    EXPECT_FALSE(card.Modified);
    EXPECT_EQ(card.MovieBgColor, 0u);
    EXPECT_EQ(card.MovieRef, nullptr);
    ASSERT_TRUE(card.TextTool && card.PicTool && card.SoundTool);
    EXPECT_EQ(card.PicTool->KindName, "Pic");
    card.BasePath = "/docs/clip";
    EXPECT_FALSE(card.IsUntitled());
}

TEST(FlashCard, ModesSwitchTheDocumentActions)
{
    Scratch dir;
    Actions actions;
    {
        TFlashCard card(dir / "Untitled", &actions);
        card.SetMode("Edit");
        card.SetMode("edit"); // stored, nothing else
        EXPECT_EQ(card.Mode, "edit");
        card.SetMode("Play");
        card.SetMode("Close");
        EXPECT_EQ(actions.Log, (std::vector<std::string>{"enable", "disable", "disable"}));
        actions.Log.clear();
    }
    EXPECT_EQ(actions.Log, (std::vector<std::string>{"disable"})); // the destructor
}

TEST(FlashCard, EditCopiesTheSourceOverTheWorkingProject)
{
    Scratch dir;
    TFlashCard card(dir / "Untitled", nullptr);
    WriteAll(card.WorkProjectPath, "<Movie><Obj/></Movie>"); // left by the last project
    WriteAll(dir / "blank.qlv", MovieXml(""));
    card.SourcePath = dir / "blank.qlv";
    card.SetMode("Edit");
    EXPECT_EQ(ReadAll(card.WorkProjectPath), MovieXml(""));

    // No source: the working file stays as it is.
    card.SourcePath.clear();
    WriteAll(card.WorkProjectPath, "kept");
    card.SetMode("Edit");
    EXPECT_EQ(ReadAll(card.WorkProjectPath), "kept");
}

TEST(FlashCard, MissingTemplateIsReportedAndTheWorkingFileKept)
{
    Scratch dir;
    TFlashCard card(dir / "Untitled", nullptr);
    WriteAll(card.WorkProjectPath, "old");
    card.SourcePath = dir / "missing.qlv";
    try {
        card.SetMode("Edit");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind(
                      "Cannot copy " + card.SourcePath + " to " + card.WorkProjectPath + ": ", 0),
                  0u)
            << e.what();
    }
    EXPECT_EQ(card.Mode, "Edit");
    EXPECT_EQ(ReadAll(card.WorkProjectPath), "old");
}

TEST(FlashCard, WriteHeaderWritesTheNewMovieSettingsAndSaves)
{
    // A template with only some settings: the missing ones are appended in
    // the order they are written.
    Project p("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Movie><Width>1</Width>"
              "<TotalFrames>0</TotalFrames></Movie>");
    p.card.MovieBgColor = 0xFFFFFF;
    p.card.MovieWidth = 800;
    p.card.MovieHeight = 600;
    p.card.MovieRate = 15;
    p.card.WriteHeader();
    std::string saved = ReadAll(p.card.WorkProjectPath);
    EXPECT_NE(saved.find("<Movie><Width>800</Width><TotalFrames>0</TotalFrames>"
                         "<BgColor>16777215</BgColor><Height>600</Height><Rate>15</Rate>"
                         "<Loop>False</Loop></Movie>"),
              std::string::npos)
        << saved;
    p.card.Looping = true;
    p.card.WriteHeader();
    EXPECT_NE(ReadAll(p.card.WorkProjectPath).find("<Loop>True</Loop>"), std::string::npos);
}

TEST(FlashCard, HeaderAndExportNeedADocument)
{
    TFlashCard card("/tmp/Untitled", nullptr);
    EXPECT_THROW(card.WriteHeader(), Error);
    IXMLMovie unbound;
    card.BindMovie(&unbound);
    EXPECT_THROW(card.WriteHeader(), Error);
}

TEST(FlashCard, CopyFileOverReplacesWholeOrNotAtAll)
{
    Scratch dir;
    WriteAll(dir / "a", "new bytes");
    WriteAll(dir / "b", "old");
    CopyFileOver(dir / "a", dir / "b");
    EXPECT_EQ(ReadAll(dir / "b"), "new bytes");
    EXPECT_THROW(CopyFileOver(dir / "a", dir / "no/such/folder/b"), Error);
    EXPECT_THROW(CopyFileOver(dir / "none", dir / "b"), Error);
    EXPECT_EQ(ReadAll(dir / "b"), "new bytes");
}

} // namespace
} // namespace quillora::test
