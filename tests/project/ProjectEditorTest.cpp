// The edits of a recorded movie without a window: each checked on the saved
// project file and on what the export then writes, with undo and redo.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "../export/ExportTestUtil.h"
#include "../export/SwfRecorder.h"
#include "project/ProjectEditor.h"

namespace quillora::test {
namespace {

using Calls = std::vector<std::string>;

// What the movie shows and when: pictures, sounds and texts with the frame
// each is made in, and the frames each text is on screen.
Calls Timeline(const Calls& log)
{
    Calls out;
    std::string frame = "0";
    std::map<std::string, std::pair<std::string, std::string>> textFrames;
    std::string lastText;
    for (const std::string& c : log) {
        if (c.rfind("Movie.GotoFrame(", 0) == 0) {
            frame = c.substr(16, c.size() - 17);
        } else if (c.rfind("Media.MakePicture(", 0) == 0) {
            out.push_back(frame + " " + c.substr(c.rfind(',') + 1, c.size() - c.rfind(',') - 2));
        } else if (c.rfind("Media.MakeSound(", 0) == 0 && c.find("click") == std::string::npos) {
            out.push_back(frame + " sound " + c.substr(16, c.size() - 17));
        } else if (c.rfind("Text.MakeTextEx(", 0) == 0) {
            lastText = c.substr(16, c.find(',') - 16);
            out.push_back("text " + c.substr(16, c.size() - 17));
        } else if (c == "Movie.AddObject(Text)") {
            auto& span = textFrames[lastText];
            if (span.first.empty())
                span.first = frame;
            span.second = frame;
        }
    }
    for (const auto& [text, span] : textFrames)
        out.push_back(text + " on " + span.first + ".." + span.second);
    return out;
}

// The arrow's place in each frame it is drawn, for the cursor edits.
Calls ArrowAt(const Calls& log)
{
    Calls out;
    std::string frame;
    for (const std::string& c : log) {
        if (c.rfind("Movie.GotoFrame(", 0) == 0)
            frame = c.substr(16, c.size() - 17);
        else if (c.rfind("Media.Translate(", 0) == 0)
            out.push_back(frame + " " + c.substr(16, c.size() - 17));
    }
    return out;
}

std::string Wav(int channels, int bits)
{
    auto le = [](uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += char((v >> (8 * i)) & 0xFF);
        return s;
    };
    const uint32_t rate = 11025, data = 400;
    const uint32_t align = uint32_t(channels * bits / 8);
    return "RIFF" + le(36 + data, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) +
           le(uint32_t(channels), 2) + le(rate, 4) + le(rate * align, 4) + le(align, 2) +
           le(uint32_t(bits), 2) + "data" + le(data, 4) + std::string(data, '\0');
}

// A recording of three pictures of 10 frames, the second with a caption of
// its own time and a sound two frames in.
struct Edited : Project {
    TProjectEditor& ed;
    explicit Edited(const std::string& objs) : Project(MovieXml(objs)), ed(*card.Editor) {}
    Edited()
        : Edited(
              Pic{.name = "Pic1", .start = 0, .end = 10, .mx = 1, .my = 1, .content = "/s/1.jpg"}
                  .Xml() +
              Pic{.name = "Pic2", .start = 10, .end = 20, .mx = 2, .my = 2, .content = "/s/2.jpg"}
                  .Xml() +
              Pic{.name = "Pic3", .start = 20, .end = 30, .mx = 3, .my = 3, .content = "/s/3.jpg"}
                  .Xml() +
              Text{.name = "Text1", .start = 10, .end = 19, .content = "Two"}.Xml() +
              Sound{.name = "Sound1", .start = 12, .content = "/w/a.wav"}.Xml())
    {
    }
    // The saved file as its elements say it; an empty element may be spelt
    // either way.
    std::string File() const
    {
        pugi::xml_document d;
        d.load_file(card.WorkProjectPath.c_str());
        std::ostringstream out;
        d.save(out, "", pugi::format_raw | pugi::format_no_empty_element_tags);
        return out.str();
    }
    Calls Export()
    {
        rec::Writers w;
        card.ExportSwf("All", "", w.Refs());
        return w.Calls;
    }
    int32_t IndexOf(const std::string& name) const
    {
        for (const TStoryItem& it : ed.Items())
            if (it.Name == name)
                return it.Index;
        return -1;
    }
    // Names in storyboard order with their start and length.
    Calls Board() const
    {
        Calls out;
        for (const TStoryItem& it : ed.Items())
            out.push_back(it.Name + "@" + std::to_string(it.Start) + "+" +
                          std::to_string(it.Length));
        return out;
    }
};

// Undo brings back the file as it was saved before the edit, redo the one
// after it, and the export follows both.
void ExpectUndoRedo(Edited& p, const std::string& before, const Calls& exportBefore,
                    const std::string& name)
{
    const std::string after = p.File();
    const Calls exportAfter = Timeline(p.Export());
    EXPECT_EQ(p.ed.History().UndoName(), name);
    p.card.Modified = false;
    p.ed.Undo();
    EXPECT_TRUE(p.card.Modified);
    EXPECT_EQ(p.File(), before);
    EXPECT_EQ(Timeline(p.Export()), exportBefore);
    EXPECT_EQ(p.ed.History().RedoName(), name);
    p.ed.Redo();
    EXPECT_EQ(p.File(), after);
    EXPECT_EQ(Timeline(p.Export()), exportAfter);
}

TEST(ProjectEditor, StoryboardListsEachPictureWithItsCaptionsAndSounds)
{
    Edited p;
    EXPECT_EQ(p.Board(),
              (Calls{"Pic1@0+10", "Pic2@10+10", "Text1@10+10", "Sound1@12+0", "Pic3@20+10"}));
    std::vector<TStoryItem> items = p.ed.Items();
    EXPECT_EQ(items[2].Picture, p.IndexOf("Pic2"));
    EXPECT_EQ(items[2].FontColor, 0xFF0000);
    EXPECT_EQ(p.ed.Rate(), 15);
}

TEST(ProjectEditor, DeleteClosesTheGapAndTakesAPicturesCaptionsAlong)
{
    Edited p;
    const std::string before = p.File();
    const Calls exportBefore = Timeline(p.Export());
    EXPECT_EQ(exportBefore,
              (Calls{"0 /s/1.jpg", "10 /s/2.jpg", "20 /s/3.jpg", "text Two,Font,1000,1100,504",
                     "12 sound /w/a.wav", "Two on 10..19"}));
    p.card.Modified = false;
    p.ed.DeleteObjects({p.IndexOf("Pic2")});
    EXPECT_TRUE(p.card.Modified);
    EXPECT_EQ(p.Board(), (Calls{"Pic1@0+10", "Pic3@10+10"}));
    EXPECT_EQ(Timeline(p.Export()), (Calls{"0 /s/1.jpg", "10 /s/3.jpg"}));
    ExpectUndoRedo(p, before, exportBefore, "Delete Pic2");

    // Several at once, of different pictures; the rest keeps its place.
    p.ed.Undo();
    p.ed.DeleteObjects({p.IndexOf("Pic1"), p.IndexOf("Sound1")});
    EXPECT_EQ(p.Board(), (Calls{"Pic2@0+10", "Text1@0+10", "Pic3@10+10"}));
    EXPECT_EQ(Timeline(p.Export()),
              (Calls{"0 /s/2.jpg", "10 /s/3.jpg", "text Two,Font,1000,1100,504", "Two on 0..9"}));
    ExpectUndoRedo(p, before, exportBefore, "Delete 2 Objects");
    EXPECT_FALSE(p.ed.History().CanRedo());
}

TEST(ProjectEditor, MovingAPictureCarriesItsCaptionAndSound)
{
    Edited p;
    const std::string before = p.File();
    const Calls exportBefore = Timeline(p.Export());
    EXPECT_EQ(p.ed.MovePicture(p.IndexOf("Pic2"), 0), 0);
    EXPECT_EQ(p.Board(),
              (Calls{"Pic2@0+10", "Text1@0+10", "Sound1@2+0", "Pic1@10+10", "Pic3@20+10"}));
    EXPECT_EQ(Timeline(p.Export()),
              (Calls{"0 /s/2.jpg", "10 /s/1.jpg", "20 /s/3.jpg", "text Two,Font,1000,1100,504",
                     "2 sound /w/a.wav", "Two on 0..9"}));
    ExpectUndoRedo(p, before, exportBefore, "Move Pic2");

    // To its own place is no step; past the end is the last place.
    p.card.Modified = false;
    p.ed.MovePicture(p.IndexOf("Pic2"), 0);
    EXPECT_EQ(p.ed.History().Size(), 1u);
    EXPECT_FALSE(p.card.Modified);
    p.ed.MovePicture(p.IndexOf("Pic2"), 99);
    EXPECT_EQ(p.Board(),
              (Calls{"Pic1@0+10", "Pic3@10+10", "Pic2@20+10", "Text1@20+10", "Sound1@22+0"}));
    EXPECT_THROW(p.ed.MovePicture(p.IndexOf("Text1"), 0), Error);
}

TEST(ProjectEditor, LengthShiftsWhatFollowsAndStretchesACaptionOfThePicturesTime)
{
    Edited p;
    const std::string before = p.File();
    const Calls exportBefore = Timeline(p.Export());
    p.ed.SetPictureLength(p.IndexOf("Pic2"), 24);
    EXPECT_EQ(p.Board(),
              (Calls{"Pic1@0+10", "Pic2@10+24", "Text1@10+24", "Sound1@12+0", "Pic3@34+10"}));
    EXPECT_EQ(Timeline(p.Export()).back(), "Two on 10..33");
    ExpectUndoRedo(p, before, exportBefore, "Set Length of Pic2");

    // Refused lengths leave file, document and history as they were.
    const std::string now = p.File();
    for (int32_t bad : {0, -3, kMaxPictureLength + 1}) {
        try {
            p.ed.SetPictureLength(p.IndexOf("Pic1"), bad);
            FAIL() << bad;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot set Length of Pic1: a picture's length must "
                                             "be 1 to 65535 frames");
        }
    }
    EXPECT_EQ(p.File(), now);
    EXPECT_EQ(p.ed.History().Size(), 1u);
}

TEST(ProjectEditor, CaptionsAreAddedOverAPictureAndEdited)
{
    Edited p;
    const std::string before = p.File();
    const Calls exportBefore = Timeline(p.Export());
    TCaption c{.Content = "Three",
               .FontName = "Sans",
               .FontSize = 20,
               .FontColor = 0x0000FF,
               .PositionX = 5,
               .PositionY = 6};
    const int32_t at = p.ed.AddCaption(p.IndexOf("Pic3"), c);
    std::vector<TStoryItem> items = p.ed.Items();
    auto it = std::find_if(items.begin(), items.end(), [&](auto& i) { return i.Index == at; });
    ASSERT_NE(it, items.end());
    EXPECT_EQ(it->Name, "Text2"); // Text1 is taken
    EXPECT_EQ(it->Start, 20);
    EXPECT_EQ(it->Length, 10);
    EXPECT_EQ(it->FontColor, 0x0000FF);
    EXPECT_NE(p.File().find("<FontColor>$0000FF</FontColor>"), std::string::npos);
    Calls t = Timeline(p.Export());
    EXPECT_NE(std::find(t.begin(), t.end(), "text Three,Font,100,220,560"), t.end());
    EXPECT_NE(std::find(t.begin(), t.end(), "Three on 20..29"), t.end());
    ExpectUndoRedo(p, before, exportBefore, "Add Caption");

    // Only its place changed: a move; otherwise an edit.
    c.PositionX = 70;
    p.ed.EditCaption(p.IndexOf("Text2"), c);
    EXPECT_EQ(p.ed.History().UndoName(), "Move Caption");
    c.Content = "3";
    p.ed.EditCaption(p.IndexOf("Text2"), c);
    EXPECT_EQ(p.ed.History().UndoName(), "Edit Caption");
    t = Timeline(p.Export());
    EXPECT_NE(std::find(t.begin(), t.end(), "text 3,Font,1400,220,560"), t.end())
        << ::testing::PrintToString(t);

    const std::string now = p.File();
    EXPECT_THROW(p.ed.AddCaption(p.IndexOf("Pic1"), TCaption{}), Error); // no text
    EXPECT_THROW(p.ed.AddCaption(p.IndexOf("Pic1"), TCaption{.Content = "x", .FontColor = -1}),
                 Error);
    EXPECT_THROW(p.ed.AddCaption(p.IndexOf("Text1"), TCaption{.Content = "x"}), Error);
    EXPECT_EQ(p.File(), now);
}

TEST(ProjectEditor, OnlyA16BitMonoWavIsAddedAtThePicturesStart)
{
    Edited p;
    const std::string before = p.File();
    const Calls exportBefore = Timeline(p.Export());
    WriteAll(p.dir / "stereo.wav", Wav(2, 16));
    WriteAll(p.dir / "8bit.wav", Wav(1, 8));
    WriteAll(p.dir / "mono.wav", Wav(1, 16));
    for (const std::string& bad : {p.dir / "stereo.wav", p.dir / "8bit.wav", p.dir / "none.wav"}) {
        try {
            p.ed.AddSound(p.IndexOf("Pic3"), bad);
            FAIL() << bad;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), "Please select a sound file with 16Bits mono format!");
        }
    }
    EXPECT_EQ(p.File(), before);
    EXPECT_FALSE(p.ed.History().CanUndo());

    p.ed.AddSound(p.IndexOf("Pic3"), p.dir / "mono.wav");
    EXPECT_EQ(p.Board().back(), "Sound2@20+0");
    Calls t = Timeline(p.Export());
    EXPECT_NE(std::find(t.begin(), t.end(), "20 sound " + p.dir / "mono.wav"), t.end());
    ExpectUndoRedo(p, before, exportBefore, "Add Sound");
}

TEST(ProjectEditor, CorrectedCursorIsWhereTheArrowGoes)
{
    Edited p(Pic{.name = "Pic1", .start = 0, .end = 2, .mx = 0, .my = 0}.Xml() +
             Pic{.name = "Pic2", .start = 2, .end = 4, .mx = 10, .my = 10}.Xml());
    const std::string before = p.File();
    const Calls exportBefore = Timeline(p.Export());
    const Calls arrowBefore = ArrowAt(p.Export());
    p.ed.SetCursor(p.IndexOf("Pic2"), 20, 30);
    EXPECT_EQ(ArrowAt(p.Export()),
              (Calls{"0 0,0", "1 200,300", "2 400,600", "2 400,600", "3 400,600", "4 400,600"}));
    ExpectUndoRedo(p, before, exportBefore, "Set Cursor of Pic2");
    p.ed.Undo();
    EXPECT_EQ(ArrowAt(p.Export()), arrowBefore);
}

// A folder in the project file's place makes every save fail, even for root.
void BlockSaving(Edited& p, bool blocked)
{
    std::filesystem::remove_all(p.card.WorkProjectPath);
    if (blocked) {
        std::filesystem::create_directories(p.card.WorkProjectPath + "/x");
    }
}

TEST(ProjectEditor, AFailedSaveLeavesTheDocumentAsItWasAndUndoCanBeTriedAgain)
{
    Edited p;
    const Calls board = p.Board();
    const Calls exportBefore = Timeline(p.Export());
    p.card.Modified = false;
    BlockSaving(p, true);
    EXPECT_THROW(p.ed.DeleteObjects({p.IndexOf("Pic1")}), Error);
    EXPECT_EQ(p.Board(), board);
    EXPECT_FALSE(p.ed.History().CanUndo());
    EXPECT_FALSE(p.card.Modified);
    BlockSaving(p, false);

    p.ed.DeleteObjects({p.IndexOf("Pic1")});
    const Calls after = p.Board();
    BlockSaving(p, true);
    try {
        p.ed.Undo();
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot undo Delete Pic1: Cannot save ", 0), 0u)
            << e.what();
    }
    EXPECT_EQ(p.Board(), after);
    EXPECT_EQ(p.ed.History().UndoName(), "Delete Pic1");
    BlockSaving(p, false);
    p.ed.Undo();
    EXPECT_EQ(p.Board(), board);
    EXPECT_EQ(Timeline(p.Export()), exportBefore);
}

TEST(ProjectEditor, UndoNeverTakesAwayWhatARecordingAddedSince)
{
    Edited p;
    p.ed.DeleteObjects({p.IndexOf("Pic1")});
    // The recorder appends a capture with the picture tool and saves.
    p.card.PicTool->Content = "/s/4.jpg";
    p.card.PicTool->StartTime = 20;
    p.card.PicTool->AppendToDocument();
    const Calls recorded = p.Board();
    ASSERT_EQ(recorded.back().rfind("Pic1@20+", 0), 0u) << recorded.back();
    try {
        p.ed.Undo();
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot undo Delete Pic1: the movie was changed", 0),
                  0u)
            << e.what();
    }
    EXPECT_EQ(p.Board(), recorded);
    EXPECT_FALSE(p.ed.History().CanUndo());

    // Edits after the recording undo as usual and keep the capture.
    p.ed.DeleteObjects({p.IndexOf("Pic2")});
    p.ed.Undo();
    EXPECT_EQ(p.Board(), recorded);
}

TEST(ProjectEditor, DocumentItDoesNotReadIsRefusedUnchanged)
{
    Edited p(Pic{.name = "Pic1", .start = 0, .end = 10}.Xml() +
             Pic{.name = "Pic2", .start = 10, .end = 20}.Xml() +
             "<Obj><ObjName>Odd</ObjName><StartTime>x</StartTime><ObjTypeName>Text</ObjTypeName>"
             "</Obj>");
    const std::string before = p.File();
    std::vector<TStoryItem> items = p.ed.Items();
    auto odd = std::find_if(items.begin(), items.end(), [](auto& i) { return i.Name == "Odd"; });
    ASSERT_NE(odd, items.end());
    EXPECT_EQ(odd->Problem,
              "StartTime: Could not convert variant of type (String) into type (Integer)");
    try {
        p.ed.MovePicture(p.IndexOf("Pic2"), 0);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot move Pic2: Odd: ", 0), 0u) << e.what();
    }
    EXPECT_EQ(p.File(), before);
    // The bad one itself can still go.
    p.ed.DeleteObjects({p.IndexOf("Odd")});
    EXPECT_EQ(p.Board(), (Calls{"Pic1@0+10", "Pic2@10+10"}));
}

struct Step : TEditCommand {
    std::string Label;
    std::vector<std::string>* Log;
    bool Fail = false;
    Step(std::string l, std::vector<std::string>* log) : Label(std::move(l)), Log(log) {}
    std::string Name() const override { return Label; }
    void Undo() override
    {
        if (Fail)
            throw Error("no");
        Log->push_back("undo " + Label);
    }
    void Redo() override { Log->push_back("redo " + Label); }
};

TEST(CommandStack, NewStepDropsRedoAndTheOldestGoBeyondTheLimit)
{
    std::vector<std::string> log;
    TCommandStack s(2);
    s.Push(std::make_unique<Step>("a", &log));
    s.Push(std::make_unique<Step>("b", &log));
    s.Push(std::make_unique<Step>("c", &log));
    EXPECT_EQ(s.Size(), 2u);
    s.Undo();
    s.Undo();
    s.Undo(); // nothing left
    EXPECT_EQ(log, (std::vector<std::string>{"undo c", "undo b"}));
    EXPECT_EQ(s.RedoName(), "b");
    s.Push(std::make_unique<Step>("d", &log));
    EXPECT_FALSE(s.CanRedo());
    EXPECT_EQ(s.UndoName(), "d");

    auto failing = std::make_unique<Step>("e", &log);
    failing->Fail = true;
    Step* raw = failing.get();
    s.Push(std::move(failing));
    EXPECT_THROW(s.Undo(), Error);
    EXPECT_EQ(s.UndoName(), "e");
    raw->Fail = false;
    s.Undo();
    EXPECT_EQ(s.UndoName(), "d");
}

} // namespace
} // namespace quillora::test

namespace quillora::test {
namespace {

TEST(ProjectEditor, TheVideosZoomAndClicksAreAnEditUndoneToTheFileAsItWas)
{
    Edited p;
    const std::string before = p.File();
    const Calls exportBefore = p.Export();
    p.card.Modified = false;
    p.ed.SetFocusChoice({true, 3, false});
    EXPECT_TRUE(p.card.Modified);
    EXPECT_EQ(ReadFocusChoice(*p.card.MovieRef), (TFocusChoice{true, 3, false}));
    EXPECT_NE(p.File().find("<Zoom>True</Zoom><ZoomLevel>3</ZoomLevel><ClickRings>False</ClickRings>"),
              std::string::npos);
    EXPECT_EQ(p.Export(), exportBefore) << "the SWF ignores it";
    const std::string after = p.File();
    EXPECT_EQ(p.ed.History().UndoName(), "Zoom and Clicks");
    p.ed.Undo();
    EXPECT_EQ(p.File(), before) << "the elements are gone again";
    p.ed.Redo();
    EXPECT_EQ(p.File(), after);
    // The same choice again is no edit; another one is, and undoes to the first.
    p.ed.SetFocusChoice({true, 3, false});
    EXPECT_EQ(p.ed.History().Size(), 1u);
    p.ed.SetFocusChoice({false, 3, false});
    p.ed.Undo();
    EXPECT_EQ(p.File(), after);
    // Edits of the items and of the choice undo in turn.
    p.ed.SetPictureLength(p.IndexOf("Pic1"), 30);
    p.ed.Undo();
    p.ed.Undo();
    EXPECT_EQ(p.File(), before);

    // A save that fails leaves the document as it was, and no edit to undo.
    BlockSaving(p, true);
    EXPECT_THROW(p.ed.SetFocusChoice({true, 2, true}), Error);
    BlockSaving(p, false);
    EXPECT_EQ(ReadFocusChoice(*p.card.MovieRef), TFocusChoice{});
    EXPECT_EQ(p.ed.History().UndoName(), "");
    EXPECT_EQ(p.ed.History().RedoName(), "Zoom and Clicks") << "a failed edit drops nothing";
}

} // namespace
} // namespace quillora::test

namespace quillora::test {
namespace {

TEST(ProjectEditor, APictureIsKeptOutOfTheZoomAndLetInAgainAsEdits)
{
    Edited p;
    const std::string before = p.File();
    const int32_t pic = p.IndexOf("Pic1");
    auto zooms = [&] {
        for (const TStoryItem& it : p.ed.Items())
            if (it.Index == pic)
                return it.Zoom;
        return true;
    };
    EXPECT_TRUE(zooms());
    p.ed.SetPictureZoom(pic, false);
    EXPECT_FALSE(zooms());
    EXPECT_FALSE(PictureZooms(p.card.MovieRef->GetObj().Items(pic)));
    EXPECT_EQ(p.ed.History().UndoName(), "No Zoom on Pic1");
    p.ed.Undo();
    EXPECT_EQ(p.File(), before);
    p.ed.Redo();
    p.ed.SetPictureZoom(pic, true);
    EXPECT_TRUE(zooms());
    EXPECT_EQ(p.File(), before) << "let in again, the picture is as it was recorded";
    EXPECT_EQ(p.ed.History().UndoName(), "Zoom on Pic1");
    EXPECT_THROW(p.ed.SetPictureZoom(p.IndexOf("Text1"), false), Error);
}

} // namespace
} // namespace quillora::test
