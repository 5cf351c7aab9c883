// Getting an unsaved recording back from what a dead program left in the
// working folder, and saved projects that keep their files beside them.
#include "../export/ExportTestUtil.h"
#include "../swf/TestMedia.h"
#include "project/ProjectFiles.h"
#include "project/Recovery.h"

#include <filesystem>

namespace quillora::test {
namespace {

namespace fs = std::filesystem;

// A working folder as a recording leaves it: the project with some pictures
// appended, and the captures on disk with their notes.
struct Working {
    Scratch dir;
    std::string Base = dir / "Untitled";
    std::string Recording = "rec-1";

    std::string Capture(int n, int mx, int my, bool inProject, std::string* xml)
    {
        const std::string jpeg = dir / (std::to_string(1000 + n) + ".jpg");
        const auto bytes = swftest::MakeJpeg(64, 48, swftest::JpegKind::Baseline, n);
        swftest::WriteFile(jpeg, bytes);
        TCaptureNote note{Recording, n, mx, my, 64, 48, bytes.size(), {}};
        WriteCaptureNote(jpeg, note);
        if (inProject)
            *xml += Pic{.name = "Pic" + std::to_string(n), .start = 24 * (n - 1),
                        .end = 24 * n, .mx = mx, .my = my, .content = jpeg, .w = 64, .h = 48}
                        .Xml();
        return jpeg;
    }
    void WriteProject(const std::string& objs)
    {
        WriteAll(Base + ".qlv", MovieXml(objs));
        WriteRecoveryMarker(Base, Recording);
    }
};

std::vector<std::string> Contents(const std::string& project)
{
    TXMLDocument doc;
    doc.LoadFromFile(project);
    std::vector<std::string> paths;
    for (const IXMLObj& obj : GetMovie(doc).GetObj().AllItems())
        paths.push_back(obj.PeekText({"ObjType", "ObjPic", "Content"}));
    return paths;
}

TEST(CaptureNote, ReadsBackAndRefusesTornText)
{
    TCaptureNote n{"id", 3, -2, 7, 640, 480, 12345, {"/a/clip_files/1.jpg"}};
    const std::string text = FormatCaptureNote(n);
    const auto back = ParseCaptureNote(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Recording, "id");
    EXPECT_EQ(back->Sequence, 3);
    EXPECT_EQ(back->MouseX, -2);
    EXPECT_EQ(back->MouseY, 7);
    EXPECT_EQ(back->Bytes, 12345u);
    EXPECT_EQ(back->Copies, std::vector<std::string>{"/a/clip_files/1.jpg"});
    // Cut anywhere short of its end, a note is no note.
    for (size_t cut = 0; cut < text.size(); ++cut)
        EXPECT_FALSE(ParseCaptureNote(std::string_view(text).substr(0, cut))) << cut;
    EXPECT_FALSE(ParseCaptureNote("quillora capture 1\nrecording x\nsequence 1\nmouse 1\n"
                                  "size 1 1\nbytes 3\nend\n"));
}

TEST(Recovery, AddsWholeCapturesTheProjectMissesInTheirPlace)
{
    Working w;
    std::string xml;
    const std::string a = w.Capture(1, 10, 20, true, &xml);
    const std::string b = w.Capture(2, 30, 40, true, &xml);
    const std::string c = w.Capture(3, 50, 60, false, &xml); // killed before the save
    const std::string d = w.Capture(4, 70, 80, false, &xml);
    // A torn JPEG (the program died while writing it) is left out.
    const std::string torn = w.Capture(5, 1, 1, false, &xml);
    fs::resize_file(torn, fs::file_size(torn) - 10);
    // So is a capture of another recording, and one whose note is torn.
    w.Recording = "older";
    w.Capture(6, 1, 1, false, &xml);
    w.Recording = "rec-1";
    const std::string tornNote = w.Capture(7, 1, 1, false, &xml);
    const std::string note = ReadAll(CaptureNotePath(tornNote));
    WriteAll(CaptureNotePath(tornNote), note.substr(0, note.size() - 4));
    w.WriteProject(xml);

    const auto found = FindRecoverable(w.Base);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Pictures, 2);
    EXPECT_EQ(found->Missing, (std::vector<std::string>{c, d}));
    EXPECT_EQ(RecoverWorkingProject(w.Base), 2);
    EXPECT_EQ(Contents(w.Base + ".qlv"), (std::vector<std::string>{a, b, c, d}));

    TXMLDocument doc;
    doc.LoadFromFile(w.Base + ".qlv");
    const IXMLObj third = GetMovie(doc).GetObj().Items(2);
    EXPECT_EQ(third.GetStartTime(), 48);
    EXPECT_EQ(third.GetEndTime(), 72);
    EXPECT_EQ(third.GetMouseX(), 50);
    EXPECT_EQ(third.GetMouseY(), 60);
    EXPECT_EQ(third.GetObjName(), "Pic3");
    EXPECT_EQ(third.GetObjType().GetObjPic().GetWidth(), 64);
    // Done once: nothing is added twice.
    EXPECT_EQ(RecoverWorkingProject(w.Base), 0);
    EXPECT_TRUE(Exists(RecoveryMarkerPath(w.Base))); // until it is saved
}

TEST(Recovery, NothingToOfferWithoutTheMarker)
{
    Working w;
    std::string xml;
    w.Capture(1, 0, 0, false, &xml);
    WriteAll(w.Base + ".qlv", MovieXml(""));
    EXPECT_FALSE(FindRecoverable(w.Base));
    WriteRecoveryMarker(w.Base, w.Recording);
    ClearRecoveryMarker(w.Base);
    EXPECT_FALSE(FindRecoverable(w.Base));
}

TEST(Recovery, DiscardKeepsTheRecordingInTheTrashForAWhile)
{
    Working w;
    std::string xml;
    const std::string mine = w.Capture(1, 0, 0, true, &xml);
    w.Recording = "older";
    const std::string older = w.Capture(2, 0, 0, false, &xml);
    w.Recording = "rec-1";
    w.WriteProject(xml);

    const std::time_t now = 1'800'000'000;
    const std::string trash = DiscardWorkingProject(w.Base, now);
    EXPECT_FALSE(FindRecoverable(w.Base));
    EXPECT_FALSE(Exists(w.Base + ".qlv"));
    EXPECT_FALSE(Exists(mine));
    EXPECT_TRUE(Exists(older)); // an older project may point at it
    EXPECT_TRUE(Exists(trash + "/Untitled.qlv"));
    EXPECT_TRUE(Exists(trash + "/" + fs::path(mine).filename().string()));
    EXPECT_TRUE(Exists(trash + "/Untitled.recovery"));

    PruneTrash(w.dir.str(), now + 13 * 24 * 3600);
    EXPECT_TRUE(Exists(trash));
    PruneTrash(w.dir.str(), now + 15 * 24 * 3600);
    EXPECT_FALSE(Exists(trash));
}

TEST(ProjectFiles, SaveCopiesTheFilesBesideTheProjectAndMovingItKeepsItWhole)
{
    Working w;
    std::string xml;
    const std::string a = w.Capture(1, 10, 20, true, &xml);
    const std::string b = w.Capture(2, 30, 40, true, &xml);
    Scratch other;
    swftest::WriteFile(other / "click.wav", swftest::MakeWav(22050, 1, 16, 800));
    xml += Sound{.start = 24, .content = other / "click.wav"}.Xml();
    WriteAll(w.Base + ".qlv", MovieXml(xml, 48));

    Scratch out;
    fs::create_directories(out / "a");
    const TSavedFiles saved = SaveProjectWithFiles(w.Base + ".qlv", out / "a/clip.qlv");
    EXPECT_EQ(saved.Copies.size(), 3u);
    EXPECT_EQ(Contents(out / "a/clip.qlv"),
              (std::vector<std::string>{"clip_files/1001.jpg", "clip_files/1002.jpg", ""}));
    EXPECT_NE(ReadAll(out / "a/clip.qlv").find("<Content>clip_files/click.wav</Content>"),
              std::string::npos);
    EXPECT_EQ(ReadAll(out / "a/clip_files/1001.jpg"), ReadAll(a));
    // The note of each screenshot says where its copy is.
    EXPECT_EQ(ReadCaptureNote(a)->Copies, std::vector<std::string>{out / "a/clip_files/1001.jpg"});

    // The movie of the working project, of the moved project read in place
    // (the command-line exporter), and of it opened for editing: one movie.
    TSwfWriterSet writers;
    const auto exportOf = [&](const std::string& project, const std::string& movie) {
        TXMLDocument doc;
        doc.LoadFromFile(project);
        IXMLMovie m = GetMovie(doc);
        TFlashCard card(project.substr(0, project.size() - 4), nullptr);
        card.BindMovie(&m);
        card.ClickSoundPath = other / "click.wav";
        Reporter reporter;
        card.ExportSwf("All", movie, writers.Writers(), &reporter);
        EXPECT_TRUE(reporter.Errors.empty()) << project;
        return ReadAll(movie);
    };
    const std::string original = exportOf(w.Base + ".qlv", out / "original.swf");
    fs::rename(out / "a", out / "moved");
    fs::remove(a);
    fs::remove(b);
    EXPECT_EQ(exportOf(out / "moved/clip.qlv", out / "moved.swf"), original);
    const std::string working = out / "Untitled.qlv";
    EXPECT_TRUE(CopyProjectToWorking(out / "moved/clip.qlv", working).empty());
    EXPECT_EQ(Contents(working)[0], out / "moved/clip_files/1001.jpg");
    EXPECT_EQ(exportOf(working, out / "opened.swf"), original);

    // Saved again under its name: nothing is copied a second time.
    EXPECT_TRUE(SaveProjectWithFiles(working, out / "moved/clip.qlv").Copies.empty());
    EXPECT_EQ(Contents(out / "moved/clip.qlv")[1], "clip_files/1002.jpg");
}

TEST(ProjectFiles, AMissingFileIsNamedAndTheProjectStaysAsItWas)
{
    Working w;
    std::string xml = Pic{.content = w.dir / "gone.jpg"}.Xml();
    WriteAll(w.Base + ".qlv", MovieXml(xml));
    Scratch out;
    WriteAll(out / "clip.qlv", "old project");
    try {
        SaveProjectWithFiles(w.Base + ".qlv", out / "clip.qlv");
        ADD_FAILURE() << "saved without its picture";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(w.dir / "gone.jpg"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadAll(out / "clip.qlv"), "old project");
    // Opening names it too.
    EXPECT_EQ(CopyProjectToWorking(w.Base + ".qlv", out / "Untitled.qlv"),
              std::vector<std::string>{w.dir / "gone.jpg"});
}

TEST(ProjectFiles, SameNamesFromTwoFoldersGetTwoCopies)
{
    Scratch one, two, out;
    swftest::WriteFile(one / "1.jpg", swftest::MakeJpeg(8, 8, swftest::JpegKind::Baseline, 1));
    swftest::WriteFile(two / "1.jpg", swftest::MakeJpeg(8, 8, swftest::JpegKind::Baseline, 2));
    WriteAll(out / "Untitled.qlv",
             MovieXml(Pic{.content = one / "1.jpg"}.Xml() +
                      Pic{.name = "Pic2", .content = two / "1.jpg"}.Xml() +
                      Pic{.name = "Pic3", .content = one / "1.jpg"}.Xml()));
    SaveProjectWithFiles(out / "Untitled.qlv", out / "clip.qlv");
    EXPECT_EQ(Contents(out / "clip.qlv"),
              (std::vector<std::string>{"clip_files/1.jpg", "clip_files/1-2.jpg",
                                        "clip_files/1.jpg"}));
    EXPECT_EQ(ReadAll(out / "clip_files/1-2.jpg"), ReadAll(two / "1.jpg"));
}

TEST(ProjectFiles, WorkingPicturesGoOnlyOnceSavedAndNotInUse)
{
    Working w;
    std::string xml;
    const std::string saved = w.Capture(1, 0, 0, true, &xml);
    const std::string unsaved = w.Capture(2, 0, 0, true, &xml);
    WriteAll(w.Base + ".qlv", MovieXml(xml));
    Scratch out;
    SaveProjectWithFiles(w.Base + ".qlv", out / "clip.qlv");
    // While the recording counts as unsaved, it keeps all of its pictures.
    WriteRecoveryMarker(w.Base, w.Recording);
    EXPECT_EQ(PruneWorkingPictures(w.Base), 0);
    ClearRecoveryMarker(w.Base);
    // A copy that is not whole does not count.
    fs::resize_file(out / "clip_files/1002.jpg", 10);
    // An older picture without a note is never touched.
    WriteAll(w.dir / "77.jpg", "old");
    EXPECT_EQ(PruneWorkingPictures(w.Base), 1);
    EXPECT_FALSE(Exists(saved));
    EXPECT_FALSE(Exists(CaptureNotePath(saved)));
    EXPECT_TRUE(Exists(unsaved));
    EXPECT_TRUE(Exists(w.dir / "77.jpg"));
}

} // namespace
} // namespace quillora::test
