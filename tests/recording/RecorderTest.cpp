// The recording driven through the in-memory desktop: events, Pause presses,
// tray clicks, answers to the stop question and a virtual clock.
#include "recording/Recorder.h"

#include "DiskGate.h"
#include "base/GlobalVars.h"
#include "document/XMLUnit.h"
#include "export/FlashPic.h"
#include "platform/FakePlatform.h"
#include "platform/FrameGeometry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>

using namespace quillora;
using platform::TFakePlatform;

namespace {

// Stands in for the main window: a real working project file, document and
// picture tool.
class TTestHost : public IRecordingHost {
  public:
    explicit TTestHost(const std::string& workFile) : Doc(workFile) {}

    void HideMainWindow() override { Visible = false; }
    void ShowMainWindow() override
    {
        Visible = true;
        ObjectsWhenShown = GetMovie(Doc).GetObj().Count();
    }
    void WriteRecordingHeader(int w, int h) override
    {
        if (FailHeader)
            throw std::runtime_error("Cannot save " + Doc.FileName() + ": disk full");
        Movie = GetMovie(Doc);
        Movie.SetBgColor("16777215");
        Movie.SetWidth(w);
        Movie.SetHeight(h);
        Movie.SetRate(15);
        Movie.SetLoop("False");
        Doc.Save();
        ++Headers;
    }
    TFlashPic& RebindAndGetPictureTool() override
    {
        Movie = GetMovie(Doc);
        Pic.MovieRef = &Movie;
        ++Rebinds;
        return Pic;
    }

    TXMLDocument Doc;
    IXMLMovie Movie;
    TFlashPic Pic;
    bool Visible = true;
    bool FailHeader = false;
    int Headers = 0;
    int Rebinds = 0;
    int ObjectsWhenShown = -1; // objects in the document when the window came back
};

class RecorderTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(Tmp.isValid());
        // The region's place is kept in the settings: each test its own.
        QCoreApplication::setOrganizationName("Brindlecove");
        QCoreApplication::setApplicationName("Quillora");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Tmp.path() + "/config");
        Shots = Tmp.path() + "/screenshots";
        ASSERT_TRUE(QDir().mkpath(Shots));
        Work = Shots + "/Untitled.qlv";
        ASSERT_TRUE(QFile::copy(QUILLORA_SOURCE_DIR "/resources/blank.qlv", Work));
        QFile::setPermissions(Work, QFile::ReadOwner | QFile::WriteOwner);
        Globals.ScreenshotsDir = Shots.toStdString();
        Globals.UntitledBase = (Shots + "/Untitled").toStdString();
        Host = std::make_unique<TTestHost>(Work.toStdString());
        Rec = std::make_unique<TRecorder>(*Host, Globals, Desk);
        // A screen with a distinct colour per 64-pixel block, so a wrong
        // region shows.
        QImage& screen = Desk.ScreenFake.Image;
        for (int y = 0; y < screen.height(); ++y)
            for (int x = 0; x < screen.width(); ++x)
                screen.setPixel(x, y, qRgb((x / 64) * 16, (y / 64) * 20, 128));
    }

    // A capture that waited for its flush while the test held the disk.
    void TearDown() override { EXPECT_FALSE(Gate.StuckClosed()); }

    // Reads the working file from disk, as a crash would leave it, once
    // the captures taken so far have been written.
    struct TObj {
        int MouseX, MouseY, StartTime, Width, Height;
        std::string Content;
    };
    std::vector<TObj> SavedObjects()
    {
        if (Rec)
            Rec->FinishDiskWork();
        return ObjectsOnDisk();
    }
    // The working file as it is this moment.
    std::vector<TObj> ObjectsOnDisk()
    {
        TXMLDocument doc(Work.toStdString());
        IXMLObjList list = GetMovie(doc).GetObj();
        std::vector<TObj> out;
        for (int i = 0; i < list.Count(); ++i) {
            IXMLObj obj = list.Items(i);
            IXMLObjPic pic = obj.GetObjType().GetObjPic();
            out.push_back({obj.GetMouseX(), obj.GetMouseY(), obj.GetStartTime(), pic.GetWidth(),
                           pic.GetHeight(), pic.GetContent()});
        }
        return out;
    }

    size_t Saved() { return SavedObjects().size(); }

    // Screenshots in the folder, whether or not the project names them.
    int PictureFiles() const { return int(QDir(Shots).entryList({"*.jpg"}, QDir::Files).size()); }

    // Fills the screen with a grey that tells capture i from the others.
    void PaintScreen(int i) { Desk.ScreenFake.Image.fill(qRgb(20 * i, 20 * i, 20 * i)); }
    static int GreyOf(const std::string& jpeg)
    {
        return qGray(QImage(QString::fromStdString(jpeg)).pixel(5, 5));
    }

    // First, so it outlives the recorder's disk thread.
    TDiskGate Gate;
    QTemporaryDir Tmp;
    QString Shots, Work;
    TGlobalVars Globals;
    TFakePlatform Desk;
    std::unique_ptr<TTestHost> Host;
    std::unique_ptr<TRecorder> Rec;
};

// --- frame geometry ------------------------------------------------------------

TEST(RecorderFrame, CentredWithHalvesRoundedToEven)
{
    const QRect screen(0, 0, 1024, 768);
    EXPECT_EQ(TRecorder::FrameFor(screen, 640, 480), QRect(QPoint(192, 144), QPoint(833, 625)));
    EXPECT_EQ(TRecorder::FrameFor(screen, 641, 480).left(), 192); // 191.5
    EXPECT_EQ(TRecorder::FrameFor(screen, 643, 480).left(), 190); // 190.5
    // As wide as the screen: the right line lies beyond the last column.
    const QRect full = TRecorder::FrameFor(screen, 1024, 768);
    EXPECT_EQ(full.left(), 0);
    EXPECT_EQ(full.right(), 1025);
    EXPECT_EQ(full.bottom(), 769);
    // Wider than the screen: negative, nothing refused.
    EXPECT_EQ(TRecorder::FrameFor(screen, 1100, 768).left(), -38);
    // A primary screen that does not start at the origin.
    EXPECT_EQ(TRecorder::FrameFor(QRect(1920, 0, 1024, 768), 640, 480).left(), 1920 + 192);
}

// --- start and stop ----------------------------------------------------------------

TEST_F(RecorderTest, ManualStartShowsEverythingAndWritesHeader)
{
    Rec->Start(640, 480, false);
    EXPECT_TRUE(Rec->IsRecording());
    EXPECT_FALSE(Host->Visible);
    EXPECT_TRUE(Desk.TrayFake.IsShown());
    EXPECT_TRUE(Desk.FrameFake.IsShown());
    EXPECT_EQ(Desk.FrameFake.Lines, QRect(QPoint(192, 144), QPoint(833, 625)));
    EXPECT_EQ(Desk.TrayFake.Avoided, Desk.FrameFake.Lines);
    EXPECT_EQ(Rec->CaptureRight(), 833);
    EXPECT_EQ(Host->Headers, 1);
    TXMLDocument saved(Work.toStdString());
    EXPECT_EQ(GetMovie(saved).GetWidth(), 640);
    EXPECT_TRUE(Desk.Timer("Timer1")->IsActive());
    EXPECT_EQ(Desk.Timer("Timer1")->Interval(), 100);
    EXPECT_FALSE(Desk.Timer("TimerAutoCapture")->IsActive());
    EXPECT_TRUE(Desk.InputFake.IsRunning());
    EXPECT_TRUE(Desk.HotKeyFake.IsGrabbed());
    EXPECT_FALSE(Rec->AutoMode());
    EXPECT_TRUE(Desk.PromptsFake.Messages.empty());
    // The frame is kept on top every 100 ms.
    Desk.Advance(1000);
    EXPECT_EQ(Desk.FrameFake.Raises, 10);
}

TEST_F(RecorderTest, AutoStartRunsTimerAndPauseCapturesToo)
{
    Rec->Start(640, 480, true);
    EXPECT_TRUE(Rec->AutoMode());
    EXPECT_TRUE(Desk.Timer("TimerAutoCapture")->IsActive());
    EXPECT_EQ(Desk.Timer("TimerAutoCapture")->Interval(), 500);
    EXPECT_TRUE(Desk.InputFake.IsRunning());
    // Pause (and `quillora --capture`) capture in auto mode as well, at
    // once, wherever the pointer is.
    EXPECT_TRUE(Desk.HotKeyFake.IsGrabbed());
    Desk.InputFake.Pointer = {10, 10};
    Desk.PressPause();
    const auto objs = SavedObjects();
    ASSERT_EQ(objs.size(), 1u);
    EXPECT_EQ(objs[0].MouseX, 10 - 192);
    // Only manual mode depends on the key: in auto mode a taken one is
    // not worth a box.
    Desk.ClickTray();
    EXPECT_FALSE(Desk.HotKeyFake.IsGrabbed());
    for (auto result : {platform::IHotKey::TGrabResult::Taken,
                        platform::IHotKey::TGrabResult::CommandOnly,
                        platform::IHotKey::TGrabResult::Unsupported}) {
        Desk.HotKeyFake.Result = result;
        Rec->Start(640, 480, true);
        Desk.ClickTray();
    }
    EXPECT_EQ(Desk.PromptsFake.Count("warning"), 0);
}

TEST_F(RecorderTest, TwoTrayClicksAskOnceAndNoLeavesEverythingRunning)
{
    Rec->Start(640, 480, false);
    int asked = 0;
    Desk.PromptsFake.Answer = [&](const QString& title, const QString& text) {
        ++asked;
        EXPECT_EQ(title, "Confirm");
        EXPECT_EQ(text, "Stop recording?");
        EXPECT_TRUE(Rec->StopPending());
        Desk.ClickTray(); // a second click while the question is open
        return false;
    };
    Desk.ClickTray();
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(Rec->StopPending());
    EXPECT_TRUE(Rec->IsRecording());
    EXPECT_TRUE(Desk.FrameFake.IsShown());
    EXPECT_TRUE(Desk.TrayFake.IsShown());
    EXPECT_TRUE(Desk.Timer("Timer1")->IsActive());
    EXPECT_TRUE(Desk.InputFake.IsRunning());
    EXPECT_TRUE(Desk.HotKeyFake.IsGrabbed());
    EXPECT_FALSE(Host->Visible);
    Desk.PressPause();
    EXPECT_EQ(Saved(), 1u);
}

TEST_F(RecorderTest, YesUndoesEverything)
{
    for (bool autoMode : {false, true}) {
        Rec->Start(640, 480, autoMode);
        int stopped = 0;
        QObject::connect(Rec.get(), &TRecorder::Stopped, [&] { ++stopped; });
        const int refreshes = Desk.FrameFake.Refreshes;
        Desk.ClickTray();
        EXPECT_EQ(stopped, 1);
        EXPECT_FALSE(Rec->IsRecording());
        EXPECT_FALSE(Rec->StopPending());
        EXPECT_TRUE(Host->Visible);
        EXPECT_FALSE(Desk.FrameFake.IsShown());
        EXPECT_EQ(Desk.FrameFake.Refreshes, refreshes + 1);
        EXPECT_FALSE(Desk.TrayFake.IsShown());
        EXPECT_FALSE(Desk.Timer("Timer1")->IsActive());
        EXPECT_FALSE(Desk.Timer("TimerAutoCapture")->IsActive());
        EXPECT_FALSE(Desk.InputFake.IsRunning());
        EXPECT_FALSE(Desk.HotKeyFake.IsGrabbed());
        // Nothing captures any more.
        Desk.PressPause();
        Desk.Click({500, 400});
        Desk.Advance(2000);
        EXPECT_EQ(Saved(), 0u);
        QObject::disconnect(Rec.get(), &TRecorder::Stopped, nullptr, nullptr);
    }
}

TEST_F(RecorderTest, DestroyedWhileRecordingClearsTheDesktopOnly)
{
    Rec->Start(640, 480, false);
    Rec.reset();
    EXPECT_FALSE(Desk.FrameFake.IsShown());
    EXPECT_FALSE(Desk.TrayFake.IsShown());
    EXPECT_FALSE(Desk.HotKeyFake.IsGrabbed());
    EXPECT_FALSE(Desk.InputFake.IsRunning());
    EXPECT_FALSE(Host->Visible); // its owner may be going away
}

TEST_F(RecorderTest, HeaderFailureUndoesTheStart)
{
    Host->FailHeader = true;
    EXPECT_THROW(Rec->Start(640, 480, false), std::runtime_error);
    EXPECT_FALSE(Rec->IsRecording());
    EXPECT_TRUE(Host->Visible);
    EXPECT_FALSE(Desk.FrameFake.IsShown());
    EXPECT_FALSE(Desk.TrayFake.IsShown());
    EXPECT_FALSE(Desk.Timer("Timer1")->IsActive());
    EXPECT_FALSE(Desk.HotKeyFake.IsGrabbed());
}

TEST_F(RecorderTest, PauseTakenIsToldAndRecordingGoesOn)
{
    Desk.HotKeyFake.Result = platform::IHotKey::TGrabResult::Taken;
    Rec->Start(640, 480, false);
    ASSERT_EQ(Desk.PromptsFake.Count("warning"), 1);
    EXPECT_TRUE(Desk.PromptsFake.Messages[0].Text.contains("Pause key is in use"));
    EXPECT_TRUE(Rec->IsRecording());
    EXPECT_TRUE(Desk.FrameFake.IsShown());
}

TEST_F(RecorderTest, RefusedScreenStartsNothing)
{
    // As when the user cancels the desktop's screen-sharing question.
    Desk.ScreenFake.Refusal = QStringLiteral("Sharing the screen was cancelled.");
    try {
        Rec->Start(640, 480, false);
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Sharing the screen was cancelled.");
    }
    EXPECT_FALSE(Rec->IsRecording());
    EXPECT_TRUE(Host->Visible);
    EXPECT_EQ(Host->Headers, 0);
    EXPECT_FALSE(Desk.FrameFake.IsShown());
    EXPECT_FALSE(Desk.TrayFake.IsShown());
    EXPECT_FALSE(Desk.Timer("Timer1")->IsActive());
    EXPECT_FALSE(Desk.HotKeyFake.IsGrabbed());
    EXPECT_FALSE(Desk.InputFake.IsRunning());
    // Agreed the next time: the screen stays open for that recording only.
    Desk.ScreenFake.Refusal.clear();
    Rec->Start(640, 480, false);
    EXPECT_TRUE(Desk.ScreenFake.Opened);
    Desk.ClickTray();
    EXPECT_FALSE(Rec->IsRecording());
    EXPECT_FALSE(Desk.ScreenFake.Opened);
}

TEST_F(RecorderTest, KeyBindingHintIsGivenOncePerRun)
{
    // A desktop without global keys: only `quillora --capture` captures.
    Desk.HotKeyFake.Result = platform::IHotKey::TGrabResult::CommandOnly;
    Rec->Start(640, 480, false);
    ASSERT_EQ(Desk.PromptsFake.Count("warning"), 1);
    EXPECT_TRUE(Desk.PromptsFake.Messages[0].Text.contains(" --capture"));
    Desk.PressPause(); // what the command does
    EXPECT_EQ(Saved(), 1u);
    Desk.ClickTray();
    Rec->Start(640, 480, false);
    EXPECT_EQ(Desk.PromptsFake.Count("warning"), 1);
}

TEST_F(RecorderTest, DesktopKeySettingsAreOfferedOnlyWhereTheyCanTakeTheCommand)
{
    Desk.HotKeyFake.Result = platform::IHotKey::TGrabResult::CommandOnly;
    // GNOME: the hint becomes a question; No adds nothing.
    Desk.HotKeyFake.Settings = {true, {}};
    Desk.PromptsFake.Answer = [](const QString&, const QString&) { return false; };
    Rec->Start(640, 480, false);
    ASSERT_EQ(Desk.PromptsFake.Count("question"), 1);
    EXPECT_EQ(Desk.PromptsFake.Count("warning"), 0);
    EXPECT_TRUE(Desk.PromptsFake.Messages[0].Text.contains(" --capture"));
    EXPECT_TRUE(Desk.PromptsFake.Messages[0].Text.contains("Pause key?"));
    EXPECT_EQ(Desk.HotKeyFake.Added, 0);
    EXPECT_TRUE(Rec->IsRecording());
    Desk.PromptsFake.Answer = [](const QString&, const QString&) { return true; };
    Desk.ClickTray();
    // Asked once per run, like the hint.
    Rec->Start(640, 480, false);
    EXPECT_EQ(Desk.PromptsFake.Count("question"), 2); // the stop's question only
    Desk.ClickTray();
}

TEST_F(RecorderTest, DesktopKeyIsAddedOnYesAndNeverOfferedOnceThere)
{
    Desk.HotKeyFake.Result = platform::IHotKey::TGrabResult::CommandOnly;
    Desk.HotKeyFake.Settings = {true, {}};
    Rec->Start(640, 480, false);
    EXPECT_EQ(Desk.HotKeyFake.Added, 1);
    EXPECT_EQ(Desk.PromptsFake.Count("error"), 0);
    Desk.ClickTray();

    // A later run: the settings run the command already; nothing is said.
    Desk.PromptsFake.Messages.clear();
    Rec = std::make_unique<TRecorder>(*Host, Globals, Desk);
    Rec->Start(640, 480, false);
    EXPECT_EQ(Desk.PromptsFake.Messages.size(), 0u);
    EXPECT_EQ(Desk.HotKeyFake.Added, 1);
    Desk.ClickTray();

    // Settings that refuse: the reason is shown, the recording goes on.
    Desk.HotKeyFake.Settings = {true, {}};
    Desk.HotKeyFake.AddFails = QStringLiteral("GNOME's keyboard settings cannot be changed.");
    Rec = std::make_unique<TRecorder>(*Host, Globals, Desk);
    Rec->Start(640, 480, false);
    ASSERT_EQ(Desk.PromptsFake.Count("error"), 1);
    EXPECT_TRUE(Rec->IsRecording());
    Desk.ClickTray();
}

TEST_F(RecorderTest, NoMouseMonitorIsToldInAutoMode)
{
    Desk.InputFake.Available = false;
    Rec->Start(640, 480, true);
    EXPECT_EQ(Desk.PromptsFake.Count("warning"), 1);
    EXPECT_TRUE(Rec->IsRecording());
}

// --- the drag rule -------------------------------------------------------------

TEST_F(RecorderTest, OnlyADragRepaintsTheScreen)
{
    Rec->Start(640, 480, false);
    Desk.PressLeft({300, 300});
    Desk.ReleaseLeft({300, 300});
    EXPECT_EQ(Desk.FrameFake.Refreshes, 0);
    EXPECT_EQ(Globals.DownX, 300);
    EXPECT_EQ(Globals.UpY, 300);
    Desk.PressLeft({300, 300});
    EXPECT_EQ(Desk.FrameFake.Refreshes, 0);
    Desk.ReleaseLeft({300, 301});
    EXPECT_EQ(Desk.FrameFake.Refreshes, 1);
    EXPECT_EQ(Globals.UpY, 301);
    // Mouse clicks never capture in manual mode.
    EXPECT_EQ(Saved(), 0u);
}

// --- captures -------------------------------------------------------------------

TEST_F(RecorderTest, PauseCapturesTheRegionWithCursorAndStartTimes)
{
    Rec->Start(640, 480, false);
    const QPoint places[] = {{500, 400}, {193, 145}, {10, 10}};
    for (QPoint p : places) {
        Desk.InputFake.Pointer = p;
        Desk.PressPause();
    }
    const auto objs = SavedObjects();
    ASSERT_EQ(objs.size(), 3u);
    EXPECT_EQ(objs[0].MouseX, 308);
    EXPECT_EQ(objs[0].MouseY, 256);
    // The image's top-left pixel is one inside the frame lines.
    EXPECT_EQ(objs[1].MouseX, 1);
    EXPECT_EQ(objs[1].MouseY, 1);
    // Pause captures wherever the cursor is.
    EXPECT_EQ(objs[2].MouseX, 10 - 192);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(objs[i].StartTime, 24 * i);
        EXPECT_EQ(objs[i].Width, 640);
        EXPECT_EQ(objs[i].Height, 480);
    }
    EXPECT_EQ(Desk.ScreenFake.LastRead, QRect(193, 145, 640, 480));
    ASSERT_EQ(Desk.SoundFake.Played.size(), 3u);
    EXPECT_TRUE(Desk.SoundFake.Played[0].endsWith("/capture.wav"));
    EXPECT_EQ(Host->Rebinds, 3);

    const QRegularExpression name("^(0|[1-9][0-9]{0,7})\\.jpg$");
    for (const TObj& obj : objs) {
        const QFileInfo file(QString::fromStdString(obj.Content));
        EXPECT_EQ(file.absolutePath(), QFileInfo(Shots).absoluteFilePath());
        EXPECT_TRUE(name.match(file.fileName()).hasMatch()) << obj.Content;
        QImage jpeg(file.filePath());
        ASSERT_FALSE(jpeg.isNull());
        EXPECT_EQ(jpeg.size(), QSize(640, 480));
        // Block colours survive JPEG at quality 90 within a few levels.
        for (QPoint at : {QPoint(10, 10), QPoint(300, 200), QPoint(630, 470)}) {
            const QRgb want = Desk.ScreenFake.Image.pixel(at + QPoint(193, 145));
            const QRgb got = jpeg.pixel(at);
            EXPECT_NEAR(qRed(got), qRed(want), 6);
            EXPECT_NEAR(qGreen(got), qGreen(want), 6);
            EXPECT_NEAR(qBlue(got), qBlue(want), 6);
        }
    }
}

TEST_F(RecorderTest, OffScreenPartsReadAsBlack)
{
    Rec->Start(1100, 480, false); // wider than the 1024-pixel screen
    Desk.PressPause();
    const auto objs = SavedObjects();
    ASSERT_EQ(objs.size(), 1u);
    QImage jpeg(QString::fromStdString(objs[0].Content));
    ASSERT_EQ(jpeg.size(), QSize(1100, 480));
    // Left = -38: columns 0..36 of the image lie left of the screen.
    EXPECT_LT(qGray(jpeg.pixel(5, 100)), 8);
    EXPECT_LT(qGray(jpeg.pixel(1095, 100)), 8);
    EXPECT_GT(qBlue(jpeg.pixel(500, 100)), 100);
}

TEST_F(RecorderTest, AutoCapturesAfterHalfASecondOfRest)
{
    Rec->Start(640, 480, true);
    // Each rest finds something new on the screen (a rest over an unchanged
    // one is skipped, below).
    int shown = 0;
    PaintScreen(++shown);
    Desk.MoveMouse({400, 300});
    Desk.Advance(499);
    EXPECT_EQ(Saved(), 0u);
    Desk.Advance(1);
    ASSERT_EQ(Saved(), 1u);
    EXPECT_EQ(Rec->LastAutoX(), 400);
    EXPECT_EQ(Rec->LastAutoY(), 300);
    EXPECT_FALSE(Desk.Timer("TimerAutoCapture")->IsActive());
    // Holding still longer gives no second one.
    Desk.Advance(5000);
    EXPECT_EQ(Saved(), 1u);
    // Moving 3 pixels and resting: none; the timer goes on.
    Desk.MoveMouse({403, 297});
    EXPECT_TRUE(Desk.Timer("TimerAutoCapture")->IsActive());
    Desk.Advance(600);
    EXPECT_EQ(Saved(), 1u);
    EXPECT_TRUE(Desk.Timer("TimerAutoCapture")->IsActive());
    // 4 pixels in x: one.
    PaintScreen(++shown);
    Desk.MoveMouse({404, 300});
    Desk.Advance(500);
    EXPECT_EQ(Saved(), 2u);
    // 4 pixels in y from the new point: one.
    PaintScreen(++shown);
    Desk.MoveMouse({404, 304});
    Desk.Advance(500);
    EXPECT_EQ(Saved(), 3u);
    // Moves keep postponing the capture.
    PaintScreen(++shown);
    Desk.MoveMouse({600, 500});
    Desk.Advance(300);
    Desk.MoveMouse({601, 500});
    Desk.Advance(300);
    EXPECT_EQ(Saved(), 3u);
    Desk.Advance(200);
    const auto objs = SavedObjects();
    ASSERT_EQ(objs.size(), 4u);
    EXPECT_EQ(objs[3].MouseX, 601 - 192);
    EXPECT_EQ(objs[3].StartTime, 72);
}

TEST_F(RecorderTest, AutoRestOutsideOrOnTheFrameCapturesNothing)
{
    Rec->Start(640, 480, true);
    for (QPoint p : {QPoint(100, 100), QPoint(192, 300), QPoint(833, 300), QPoint(400, 144),
                     QPoint(400, 625)}) {
        Desk.MoveMouse(p);
        Desk.Advance(1500);
        EXPECT_TRUE(Desk.Timer("TimerAutoCapture")->IsActive());
    }
    EXPECT_EQ(Saved(), 0u);
    // Just inside each line does capture.
    Desk.MoveMouse({193, 145});
    Desk.Advance(500);
    EXPECT_EQ(Saved(), 1u);
}

TEST_F(RecorderTest, AutoRestWaitsUntilTheDesktopTellsWhereThePointerIs)
{
    // A Wayland desktop that has not yet said where the pointer is: the
    // middle of the region stands in for it, and is no rest there.
    Desk.InputFake.Knows = false;
    Desk.InputFake.Pointer = {512, 384};
    Rec->Start(640, 480, true);
    PaintScreen(1);
    Desk.Advance(2000);
    EXPECT_EQ(Saved(), 0u);
    Desk.InputFake.Knows = true;
    Desk.MoveMouse({300, 200});
    Desk.Advance(500);
    ASSERT_EQ(Saved(), 1u);
    EXPECT_EQ(SavedObjects()[0].MouseX, 300 - 192);
}

TEST_F(RecorderTest, AutoClickCapturesOnReleaseStrictlyInside)
{
    Rec->Start(640, 480, true);
    Desk.PressLeft({500, 400});
    EXPECT_EQ(Saved(), 0u);
    Desk.ReleaseLeft({500, 400});
    // Nothing on the screen changes: taken at the longest wait.
    Desk.Advance(TRecorder::SettleLimitMs);
    ASSERT_EQ(Saved(), 1u);
    // A release capture leaves the rest point and the timer alone.
    EXPECT_EQ(Rec->LastAutoX(), 0);
    EXPECT_TRUE(Desk.Timer("TimerAutoCapture")->IsActive());
    for (QPoint p :
         {QPoint(192, 400), QPoint(833, 400), QPoint(500, 144), QPoint(500, 625), QPoint(50, 50)})
        Desk.Click(p);
    Desk.Advance(TRecorder::SettleLimitMs);
    EXPECT_EQ(Saved(), 1u);
    Desk.Click({832, 624});
    Desk.Advance(TRecorder::SettleLimitMs);
    EXPECT_EQ(Saved(), 2u);
    EXPECT_EQ(SavedObjects()[1].MouseX, 640);
}

TEST_F(RecorderTest, StopQuestionHoldsBackMouseCapturesButNotPause)
{
    Rec->Start(640, 480, true);
    Desk.PromptsFake.Answer = [&](const QString&, const QString&) {
        Desk.Click({500, 400});
        Desk.MoveMouse({450, 350});
        Desk.Advance(1000);
        return false;
    };
    Desk.ClickTray();
    EXPECT_EQ(Saved(), 0u);
    // After No, the rest is noticed again.
    Desk.Advance(500);
    EXPECT_EQ(Saved(), 1u);

    Desk.PromptsFake.Answer = [](const QString&, const QString&) { return true; };
    Desk.ClickTray();
    Rec->Start(640, 480, false);
    Desk.PromptsFake.Answer = [&](const QString&, const QString&) {
        Desk.PressPause();
        return false;
    };
    Desk.ClickTray();
    EXPECT_EQ(Saved(), 2u);
}

TEST_F(RecorderTest, RestPointCarriesOverToTheNextRecording)
{
    Rec->Start(640, 480, true);
    Desk.MoveMouse({400, 300});
    Desk.Advance(500);
    ASSERT_EQ(Saved(), 1u);
    Desk.ClickTray();
    ASSERT_FALSE(Rec->IsRecording());

    Rec->Start(640, 480, true);
    Desk.MoveMouse({402, 303});
    Desk.Advance(2000);
    EXPECT_EQ(Saved(), 1u);
    Desk.MoveMouse({396, 300});
    Desk.Advance(500);
    EXPECT_EQ(Saved(), 2u);
}

// --- the result of a click, and rests that show nothing new ---------------------

TEST_F(RecorderTest, ReleaseCaptureWaitsForTheClickedProgramToRepaint)
{
    Rec->Start(640, 480, true);
    EXPECT_EQ(Desk.ScreenFake.Watched, QRect(193, 145, 640, 480));
    const QRect window(300, 200, 200, 100);
    Desk.PaintScreen(window, Qt::white);
    Desk.PressLeft({350, 250});
    Desk.ReleaseLeft({350, 250});
    // The pointer moves on before the program has drawn its answer; the
    // picture keeps the place of the release.
    Desk.InputFake.Pointer = {700, 600};
    Desk.Advance(150);
    EXPECT_EQ(Desk.ScreenFake.Reads, 0);
    EXPECT_TRUE(Rec->SettlePending());
    Desk.PaintScreen(window, Qt::black);
    // Drawing goes on for a while: every change restarts the quiet period.
    Desk.Advance(40);
    Desk.PaintScreen(window.adjusted(0, 0, 0, -50), QColor(200, 0, 0));
    Desk.Advance(TRecorder::SettleQuietMs - 1);
    EXPECT_EQ(Desk.ScreenFake.Reads, 0);
    Desk.Advance(1);
    EXPECT_EQ(Desk.ScreenFake.Reads, 1);
    EXPECT_EQ(Desk.NowMs() - 0, 150 + 40 + TRecorder::SettleQuietMs);
    const auto objs = SavedObjects();
    ASSERT_EQ(objs.size(), 1u);
    EXPECT_EQ(objs[0].MouseX, 350 - 192);
    EXPECT_EQ(objs[0].MouseY, 250 - 144);
    const QImage jpeg(QString::fromStdString(objs[0].Content));
    EXPECT_GT(qRed(jpeg.pixel(QPoint(350, 230) - QPoint(193, 145))), 150);
    EXPECT_LT(qGray(jpeg.pixel(QPoint(350, 280) - QPoint(193, 145))), 30);
    EXPECT_EQ(Desk.SoundFake.Played.size(), 1u);
}

TEST_F(RecorderTest, ReleaseCaptureWaitsNoLongerThanTheLimit)
{
    Rec->Start(640, 480, true);
    // Each click comes after a move, which puts the rest capture off.
    const auto click = [&] {
        Desk.MoveMouse({500, 400});
        Desk.ReleaseLeft({500, 400});
    };
    // Changes outside the region do not count.
    click();
    Desk.PaintScreen(QRect(0, 0, 100, 100), Qt::red);
    Desk.Advance(TRecorder::SettleLimitMs - 1);
    EXPECT_EQ(Desk.ScreenFake.Reads, 0);
    Desk.Advance(1);
    EXPECT_EQ(Desk.ScreenFake.Reads, 1);
    // A region that never settles (a video playing) is read at the limit.
    click();
    for (int t = 0; t < TRecorder::SettleLimitMs; t += 20) {
        Desk.PaintScreen(QRect(400, 300, 50, 50), QColor(t % 256, 0, 0));
        Desk.Advance(20);
    }
    EXPECT_EQ(Desk.ScreenFake.Reads, 2);
    // Where changes cannot be seen at all, likewise.
    Desk.ClickTray();
    Desk.ScreenFake.CanWatch = false;
    Rec->Start(640, 480, true);
    click();
    Desk.Advance(TRecorder::SettleLimitMs - 1);
    EXPECT_EQ(Desk.ScreenFake.Reads, 2);
    Desk.Advance(1);
    EXPECT_EQ(Saved(), 3u);
}

TEST_F(RecorderTest, NextTriggerOrStopTakesTheWaitingCaptureFirst)
{
    Rec->Start(640, 480, true);
    Desk.ReleaseLeft({300, 300});
    Desk.Advance(100);
    // A second click: the first one's picture is taken now, in its order.
    Desk.ReleaseLeft({400, 400});
    EXPECT_EQ(Desk.ScreenFake.Reads, 1);
    // Pause while a click waits: both, the click first.
    Desk.InputFake.Pointer = {500, 500};
    Desk.PressPause();
    EXPECT_EQ(Desk.ScreenFake.Reads, 3);
    // A click just before the stop is in the project when the window shows.
    Desk.ReleaseLeft({600, 450});
    Desk.ClickTray();
    EXPECT_FALSE(Rec->IsRecording());
    EXPECT_FALSE(Rec->SettlePending());
    EXPECT_EQ(Host->ObjectsWhenShown, 4);
    const auto objs = ObjectsOnDisk();
    ASSERT_EQ(objs.size(), 4u);
    const int xs[] = {300, 400, 500, 600};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(objs[i].MouseX, xs[i] - 192) << i;
    EXPECT_FALSE(Desk.Timer("TimerSettle")->IsActive());
    EXPECT_FALSE(Desk.Timer("TimerSettleLimit")->IsActive());
    EXPECT_FALSE(Desk.ScreenFake.OnChange);
}

TEST_F(RecorderTest, RestOverAnUnchangedRegionAddsNoPicture)
{
    Rec->Start(640, 480, true);
    // A click and the rest after it: one picture, not two.
    Desk.MoveMouse({400, 300});
    Desk.Click({400, 300});
    Desk.Advance(TRecorder::SettleLimitMs);
    Desk.Advance(500);
    EXPECT_EQ(Saved(), 1u);
    EXPECT_EQ(Desk.SoundFake.Played.size(), 1u); // no sound for a skipped one
    EXPECT_EQ(Rec->LastAutoX(), 400);            // the rest counts as taken
    // A rest elsewhere over the same pixels: still none.
    Desk.MoveMouse({600, 500});
    Desk.Advance(500);
    EXPECT_EQ(Saved(), 1u);
    // One pixel of the region changed: a picture.
    Desk.PaintScreen(QRect(832, 624, 1, 1), Qt::white);
    Desk.MoveMouse({500, 400});
    Desk.Advance(500);
    EXPECT_EQ(Saved(), 2u);
    // A change outside the region is no reason.
    Desk.PaintScreen(QRect(0, 0, 50, 50), Qt::red);
    Desk.MoveMouse({300, 400});
    Desk.Advance(500);
    EXPECT_EQ(Saved(), 2u);
    // Clicks and Pause always capture, changed or not.
    Desk.Click({300, 400});
    Desk.Advance(TRecorder::SettleLimitMs);
    Desk.PressPause();
    EXPECT_EQ(Saved(), 4u);
}

TEST_F(RecorderTest, RestAfterALostPictureIsTakenAgain)
{
    Rec->Start(640, 480, true);
    Desk.MoveMouse({400, 300});
    Desk.Advance(500);
    ASSERT_EQ(Saved(), 1u);
    // The next picture cannot be written: a rest over the same screen must
    // not be taken for a repeat of it.
    PaintScreen(3);
    Globals.ScreenshotsDir = (Tmp.path() + "/gone").toStdString();
    Desk.MoveMouse({500, 300});
    Desk.Advance(500);
    EXPECT_EQ(Saved(), 1u);
    EXPECT_EQ(Desk.PromptsFake.Count("error"), 1);
    Globals.ScreenshotsDir = Shots.toStdString();
    Desk.MoveMouse({600, 300});
    Desk.Advance(500);
    EXPECT_EQ(Saved(), 2u);
}

// --- the stand-in where the region fills the screen ----------------------------

TEST_F(RecorderTest, StandInInsideTheRegionIsLeftOutOfEveryPicture)
{
    Desk.TrayFake.TrayAvailable = false;
    // As large as the screen: no corner lies outside the region.
    Rec->Start(1024, 768, false);
    const QRect spot = Desk.TrayFake.StandInRect();
    ASSERT_EQ(spot, QRect(1024 - 32, 0, 32, 32));
    ASSERT_TRUE(spot.intersects(QRect(1, 1, 1024, 768)));
    // Pause: the stand-in leaves, the screen beneath repaints, then the read.
    Desk.PressPause();
    EXPECT_TRUE(Desk.TrayFake.Cleared);
    EXPECT_EQ(Desk.ScreenFake.Reads, 0);
    Desk.Advance(5);
    Desk.PaintScreen(spot, QColor(0, 200, 0)); // what lies beneath
    Desk.Advance(TRecorder::SettleQuietMs);
    EXPECT_EQ(Desk.ScreenFake.Reads, 1);
    EXPECT_FALSE(Desk.TrayFake.Cleared);
    EXPECT_EQ(Desk.TrayFake.Clears, 1);
    // Nothing repaints: the picture is read at the limit, still without it.
    Desk.PressPause();
    Desk.Advance(TRecorder::SettleLimitMs);
    EXPECT_FALSE(Desk.TrayFake.Cleared);
    const auto objs = SavedObjects();
    ASSERT_EQ(objs.size(), 2u);
    for (const TObj& obj : objs) {
        const QImage jpeg(QString::fromStdString(obj.Content));
        ASSERT_EQ(jpeg.size(), QSize(1024, 768));
        // The image starts one pixel inside the frame line at 0.
        const QRgb under = jpeg.pixel(spot.center() - QPoint(1, 1));
        EXPECT_GT(qGreen(under), 150);
        EXPECT_LT(qRed(under), 60);
    }
    // The stand-in still stops the recording.
    Desk.ClickTray();
    EXPECT_FALSE(Rec->IsRecording());
}

TEST_F(RecorderTest, StandInOutsideTheRegionIsLeftAlone)
{
    Desk.TrayFake.TrayAvailable = false;
    Rec->Start(640, 480, false);
    ASSERT_FALSE(Desk.TrayFake.StandInRect().intersects(QRect(193, 145, 640, 480)));
    Desk.PressPause();
    EXPECT_EQ(Desk.ScreenFake.Reads, 1); // at once, as before
    EXPECT_EQ(Desk.TrayFake.Clears, 0);
    EXPECT_EQ(Saved(), 1u);
}

TEST_F(RecorderTest, TrailingFramesAreWaitedForOnEveryCapture)
{
    // As on Wayland: reads come from the stream's newest frame.
    Desk.ScreenFake.DeliveredFrames = true;
    Rec->Start(640, 480, true);
    // Pause on a quiet screen: one quiet period.
    Desk.PressPause();
    EXPECT_EQ(Desk.ScreenFake.Reads, 0);
    Desk.Advance(TRecorder::SettleQuietMs);
    EXPECT_EQ(Desk.ScreenFake.Reads, 1);
    // A rest while frames still come: after the last of them.
    PaintScreen(4);
    Desk.MoveMouse({400, 300});
    Desk.Advance(500);
    Desk.Advance(30);
    Desk.PaintScreen(QRect(400, 300, 10, 10), Qt::white);
    Desk.Advance(TRecorder::SettleQuietMs - 1);
    EXPECT_EQ(Desk.ScreenFake.Reads, 1);
    Desk.Advance(1);
    EXPECT_EQ(Desk.ScreenFake.Reads, 2);
    const auto objs = SavedObjects();
    ASSERT_EQ(objs.size(), 2u);
    EXPECT_EQ(objs[1].MouseX, 400 - 192); // the rest's place
}

// --- faults mended ------------------------------------------------------------

TEST_F(RecorderTest, SameNumberDrawnTwiceDoesNotOverwrite)
{
    std::deque<uint32_t> draws{4711, 4711, 4711, 12};
    Rec->SetNameSource([&] {
        const uint32_t n = draws.front();
        draws.pop_front();
        return n;
    });
    Rec->Start(640, 480, false);
    Desk.PressPause();
    Rec->FinishDiskWork();
    const QByteArray first = [&] {
        QFile f(Shots + "/4711.jpg");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    Desk.ScreenFake.Image.fill(Qt::white);
    Desk.PressPause();
    const auto objs = SavedObjects();
    ASSERT_EQ(objs.size(), 2u);
    EXPECT_EQ(objs[0].Content, (Shots + "/4711.jpg").toStdString());
    EXPECT_EQ(objs[1].Content, (Shots + "/12.jpg").toStdString());
    QFile f(Shots + "/4711.jpg");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), first);
    EXPECT_TRUE(draws.empty());
}

TEST_F(RecorderTest, UnwritableScreenshotIsReportedAndRecordingGoesOn)
{
    Rec->Start(640, 480, false);
    Desk.PressPause();
    ASSERT_EQ(Saved(), 1u);
    // The screenshots go elsewhere than the project here, so the folder can
    // vanish while the project stays writable.
    Globals.ScreenshotsDir = (Tmp.path() + "/gone").toStdString();
    Desk.PressPause();
    Rec->FinishDiskWork();
    ASSERT_EQ(Desk.PromptsFake.Count("error"), 1);
    EXPECT_TRUE(Desk.PromptsFake.Messages.back().Text.startsWith("Cannot write the screenshot"));
    EXPECT_EQ(Saved(), 1u);
    EXPECT_EQ(Host->Pic.StartTime, 0);
    EXPECT_TRUE(Rec->IsRecording());
    QDir().mkpath(Tmp.path() + "/gone");
    Desk.PressPause();
    const auto objs = SavedObjects();
    ASSERT_EQ(objs.size(), 2u);
    EXPECT_EQ(objs[1].StartTime, 24);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(objs[1].Content)));
}

TEST_F(RecorderTest, ProjectSaveFailureIsReportedAndRecordingGoesOn)
{
    Rec->Start(640, 480, false);
    // A folder where the working file was: the atomic save cannot rename
    // over it.
    ASSERT_TRUE(QFile::remove(Work));
    ASSERT_TRUE(QDir().mkpath(Work + "/busy"));
    Desk.PressPause();
    Rec->FinishDiskWork();
    ASSERT_EQ(Desk.PromptsFake.Count("error"), 1);
    EXPECT_TRUE(Desk.PromptsFake.Messages.back().Text.contains("Cannot save"))
        << Desk.PromptsFake.Messages.back().Text.toStdString();
    EXPECT_TRUE(Rec->IsRecording());
}

// --- disk work on its own thread ------------------------------------------------

TEST_F(RecorderTest, QuickCapturesWaitForNoFlushAndKeepTheirOrder)
{
    Rec->Start(640, 480, false);
    int captured = 0;
    QObject::connect(Rec.get(), &TRecorder::Captured, [&](int count) { captured = count; });
    // No flush finishes until the gate opens, so every capture below has to
    // return without its file: were one to wait for the disk, this would hang.
    Gate.Close();
    for (int i = 1; i <= 5; ++i) {
        PaintScreen(i);
        Desk.InputFake.Pointer = {200 + 10 * i, 150 + i};
        Desk.PressPause();
    }
    EXPECT_EQ(ObjectsOnDisk().size(), 0u);
    EXPECT_EQ(GetMovie(Host->Doc).GetObj().Count(), 0); // nothing before its file is whole
    EXPECT_EQ(captured, 0);
    Gate.Open();
    const auto objs = SavedObjects();
    ASSERT_EQ(objs.size(), 5u);
    EXPECT_EQ(captured, 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(objs[i].StartTime, 24 * i);
        EXPECT_EQ(objs[i].MouseX, 200 + 10 * (i + 1) - 192);
        EXPECT_EQ(objs[i].MouseY, 150 + (i + 1) - 144);
        // Each picture is the screen as it was when its capture was taken.
        EXPECT_NEAR(GreyOf(objs[i].Content), 20 * (i + 1), 3) << i;
    }
}

TEST_F(RecorderTest, FailedFlushEndsOnlyItsCapture)
{
    Rec->Start(640, 480, false);
    Gate.Close();
    Gate.FailPicture(2);
    for (int i = 1; i <= 3; ++i) {
        PaintScreen(i);
        Desk.PressPause();
    }
    Gate.Open();
    auto objs = SavedObjects();
    ASSERT_EQ(objs.size(), 2u);
    EXPECT_NEAR(GreyOf(objs[0].Content), 20, 3);
    EXPECT_NEAR(GreyOf(objs[1].Content), 60, 3);
    // The failed one does not count: the next starts right after the first.
    EXPECT_EQ(objs[1].StartTime, 24);
    ASSERT_EQ(Desk.PromptsFake.Count("error"), 1);
    const QString text = Desk.PromptsFake.Messages.back().Text;
    EXPECT_TRUE(text.startsWith("Cannot write the screenshot")) << text.toStdString();
    EXPECT_TRUE(text.contains("Input/output error")) << text.toStdString();
    // The document is as if it had not been taken, and no half file is left.
    EXPECT_EQ(GetMovie(Host->Doc).GetObj().Count(), 2);
    EXPECT_EQ(PictureFiles(), 2);
    EXPECT_TRUE(Rec->IsRecording());

    PaintScreen(4);
    Desk.PressPause();
    objs = SavedObjects();
    ASSERT_EQ(objs.size(), 3u);
    EXPECT_EQ(objs[2].StartTime, 48);
    EXPECT_NEAR(GreyOf(objs[2].Content), 80, 3);
    EXPECT_EQ(Desk.PromptsFake.Count("error"), 1);
}

TEST_F(RecorderTest, StoppingWaitsForTheDiskWork)
{
    Rec->Start(640, 480, false);
    Gate.Close();
    for (int i = 0; i < 3; ++i)
        Desk.PressPause();
    // Answering Yes lets the disk go on; the stop must wait for it.
    Desk.PromptsFake.Answer = [&](const QString&, const QString&) {
        Gate.Open();
        return true;
    };
    Desk.ClickTray();
    ASSERT_FALSE(Rec->IsRecording());
    EXPECT_EQ(Host->ObjectsWhenShown, 3);
    EXPECT_EQ(ObjectsOnDisk().size(), 3u);
}

TEST_F(RecorderTest, QuittingWhileRecordingKeepsEveryCapture)
{
    Rec->Start(640, 480, false);
    Gate.Close();
    Desk.PressPause();
    Desk.PressPause();
    Gate.Open();
    Rec.reset();
    EXPECT_EQ(ObjectsOnDisk().size(), 2u);
    EXPECT_EQ(PictureFiles(), 2);
}

TEST_F(RecorderTest, EveryFinishedSaveLeavesAWholeProject)
{
    Rec->Start(640, 480, false);
    std::vector<int> saved;
    QObject::connect(Rec.get(), &TRecorder::Saved, [&](int count) {
        saved.push_back(count);
        // Read while the disk thread may already write the next save: the
        // file is always whole, and holds at least what this save held.
        try {
            EXPECT_GE(ObjectsOnDisk().size(), size_t(count));
        } catch (const std::exception& error) {
            ADD_FAILURE() << "the project does not parse: " << error.what();
        }
    });
    for (int i = 0; i < 6; ++i) {
        Desk.PressPause();
        if (i % 2)
            Rec->FinishDiskWork();
    }
    Rec->FinishDiskWork();
    ASSERT_FALSE(saved.empty());
    EXPECT_TRUE(std::is_sorted(saved.begin(), saved.end()));
    EXPECT_EQ(saved.back(), 6);
    EXPECT_EQ(ObjectsOnDisk().size(), 6u);
}

TEST_F(RecorderTest, FinishedDiskWorkIsTakenUpByTheEventLoop)
{
    int argc = 1;
    char name[] = "recording_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    Rec->Start(640, 480, false);
    int captured = 0;
    QObject::connect(Rec.get(), &TRecorder::Captured, [&](int count) { captured = count; });
    Desk.PressPause();
    Desk.PressPause();
    // Nothing but the event loop runs here: no stop, no explicit wait. The
    // bound only keeps a broken build from hanging.
    for (int i = 0; i < 100000 && ObjectsOnDisk().size() < 2; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(captured, 2);
    EXPECT_EQ(ObjectsOnDisk().size(), 2u);
}

} // namespace

// --- placing the region --------------------------------------------------------------

using platform::EdgeAll;
using platform::EdgeBottom;
using platform::EdgeRight;

TEST_F(RecorderTest, RegionComesBackWhereItWasLeftAndStaysOnTheScreen)
{
    Rec->Start(640, 480, false);
    EXPECT_EQ(Desk.FrameFake.Lines.topLeft(), QPoint(192, 144)); // centred the first time
    ASSERT_TRUE(Desk.FrameFake.IsAdjustable());
    Desk.FrameFake.Drag(EdgeAll, {100, 50});
    Desk.FrameFake.Nudge(-10, 1);
    Desk.FrameFake.Nudge(1, 0);
    EXPECT_EQ(Rec->CaptureLeft(), 283);
    EXPECT_EQ(Rec->CaptureTop(), 195);
    EXPECT_EQ(Rec->CaptureRight(), 283 + 641);
    // The stand-in and the change watch follow the region.
    EXPECT_EQ(Desk.ScreenFake.Watched, QRect(284, 196, 640, 480));
    Desk.ClickTray();
    ASSERT_FALSE(Rec->IsRecording());
    EXPECT_FALSE(Desk.FrameFake.IsAdjustable());

    Rec->Start(640, 480, false);
    EXPECT_EQ(Desk.FrameFake.Lines, QRect(QPoint(283, 195), QPoint(924, 676)));
    Desk.ClickTray();
    // A larger region at that place would run off the screen: moved back.
    Rec->Start(1000, 700, true);
    EXPECT_EQ(Desk.FrameFake.Lines, QRect(QPoint(23, 67), QPoint(1024, 768)));
    Desk.ClickTray();
    // As large as the screen: every pixel on it, the lines just outside
    // (centring alone would put the last column off the screen).
    Rec->Start(1024, 768, false);
    EXPECT_EQ(Desk.FrameFake.Lines, QRect(QPoint(-1, -1), QPoint(1024, 768)));
    Desk.PressPause();
    const auto objs = SavedObjects();
    ASSERT_EQ(objs.size(), 1u);
    const QImage jpeg(QString::fromStdString(objs[0].Content));
    EXPECT_GT(qBlue(jpeg.pixel(0, 384)), 100);
    EXPECT_GT(qBlue(jpeg.pixel(1023, 384)), 100);
}

TEST_F(RecorderTest, ResizeBeforeTheFirstCaptureIsTheMovieSizeAndThenTheHandlesGo)
{
    Rec->Start(640, 480, false);
    EXPECT_TRUE(Desk.FrameFake.Label.startsWith("640 x 480\n"));
    EXPECT_TRUE(Desk.FrameFake.Label.contains("Press Pause to capture."));
    Desk.FrameFake.Drag(EdgeRight | EdgeBottom, {60, 20});
    EXPECT_EQ(Rec->Width(), 700);
    EXPECT_EQ(Rec->Height(), 500);
    EXPECT_TRUE(Desk.FrameFake.Label.startsWith("700 x 500\n"));
    // Beyond the limits and the screen, it stops there.
    Desk.FrameFake.Drag(EdgeRight | EdgeBottom, {-5000, 5000});
    EXPECT_EQ(Rec->Width(), 100);
    EXPECT_EQ(Rec->CaptureBottom(), 768);
    Desk.FrameFake.Drag(EdgeRight | EdgeBottom, {600, -123});
    EXPECT_EQ(Rec->Width(), 700);
    EXPECT_EQ(Rec->Height(), 500);

    Desk.InputFake.Pointer = {500, 400};
    Desk.PressPause();
    EXPECT_FALSE(Desk.FrameFake.IsAdjustable());
    EXPECT_TRUE(Desk.FrameFake.Label.isEmpty());
    EXPECT_EQ(Desk.ScreenFake.LastRead, QRect(193, 145, 700, 500));
    // Dragging now does nothing: the frame takes no click any more.
    Desk.FrameFake.Drag(EdgeAll, {10, 10});
    EXPECT_EQ(Rec->CaptureLeft(), 192);
    const auto objs = SavedObjects();
    ASSERT_EQ(objs.size(), 1u);
    EXPECT_EQ(objs[0].Width, 700);
    EXPECT_EQ(objs[0].Height, 500);
    EXPECT_EQ(QImage(QString::fromStdString(objs[0].Content)).size(), QSize(700, 500));
    TXMLDocument saved(Work.toStdString());
    EXPECT_EQ(GetMovie(saved).GetWidth(), 700);
    EXPECT_EQ(GetMovie(saved).GetHeight(), 500);
    EXPECT_EQ(Host->Headers, 2);
}

TEST_F(RecorderTest, ReleaseOfADragOnTheHandlesIsNoClick)
{
    Rec->Start(640, 480, true);
    EXPECT_TRUE(Desk.FrameFake.Label.contains("Click or rest the mouse"));
    // Pressed on the left border, dragged, released over the region.
    const QPoint border(Rec->CaptureLeft() - 3, 400);
    EXPECT_TRUE(Desk.FrameFake.OnHandle(border));
    Desk.PressLeft(border);
    Desk.FrameFake.Drag(EdgeAll, {-100, 0});
    Desk.ReleaseLeft({300, 400});
    Rec->FinishDiskWork();
    EXPECT_EQ(Saved(), 0u);
    EXPECT_FALSE(Rec->SettlePending());
    EXPECT_TRUE(Desk.FrameFake.IsAdjustable());
    // A click inside captures, and ends the placing.
    Desk.Click({300, 400});
    Desk.Advance(Rec->SettleLimitMs);
    EXPECT_EQ(Saved(), 1u);
    EXPECT_FALSE(Desk.FrameFake.IsAdjustable());
    EXPECT_FALSE(Desk.FrameFake.OnHandle(border));
}

// --- pause and resume ----------------------------------------------------------------

TEST_F(RecorderTest, PausedNothingCapturesAndTheFrameMovesKeepingItsSize)
{
    Rec->Start(640, 480, true);
    EXPECT_EQ(Desk.TrayFake.Status, "Recording: 0 pictures");
    ASSERT_TRUE(Desk.TrayFake.Menu.TogglePause);
    Desk.InputFake.Pointer = {300, 300};
    Desk.PressPause();
    EXPECT_EQ(Saved(), 1u);
    EXPECT_EQ(Desk.TrayFake.Status, "Recording: 1 picture");

    Desk.PressShiftPause();
    EXPECT_TRUE(Rec->Paused());
    EXPECT_TRUE(Desk.FrameFake.Paused);
    EXPECT_TRUE(Desk.TrayFake.MenuPaused);
    EXPECT_EQ(Desk.TrayFake.Status, "Paused: 1 picture");
    EXPECT_TRUE(Desk.FrameFake.Label.startsWith("Paused: 640 x 480\n"));
    EXPECT_TRUE(Desk.FrameFake.Label.contains("Shift+Pause"));
    // The frame moves, even by a corner, but keeps the movie's size.
    ASSERT_TRUE(Desk.FrameFake.IsAdjustable());
    Desk.FrameFake.Drag(EdgeRight | EdgeBottom, {50, 40});
    EXPECT_EQ(Rec->Width(), 640);
    EXPECT_EQ(Rec->Height(), 480);
    EXPECT_EQ(Rec->CaptureLeft(), 242);
    EXPECT_EQ(Rec->CaptureTop(), 184);
    // No key, click or rest captures.
    Desk.PressPause();
    Desk.Click({400, 400});
    Desk.MoveMouse({500, 420});
    Desk.Advance(2000);
    EXPECT_EQ(Saved(), 1u);
    EXPECT_FALSE(Rec->SettlePending());

    Desk.TrayFake.Menu.TogglePause();
    EXPECT_FALSE(Rec->Paused());
    EXPECT_FALSE(Desk.FrameFake.Paused);
    EXPECT_FALSE(Desk.FrameFake.IsAdjustable());
    EXPECT_TRUE(Desk.FrameFake.Label.isEmpty());
    EXPECT_EQ(Desk.TrayFake.Status, "Recording: 1 picture");
    Desk.PressPause();
    auto objs = SavedObjects();
    ASSERT_EQ(objs.size(), 2u);
    EXPECT_EQ(Desk.ScreenFake.LastRead, QRect(243, 185, 640, 480));
    EXPECT_EQ(objs[1].MouseX, 500 - 242);
    EXPECT_EQ(objs[1].Width, 640);
    // Capture Now from the menu, once the menu is gone.
    Desk.TrayFake.Menu.Capture();
    EXPECT_EQ(Saved(), 2u);
    Desk.Advance(300);
    EXPECT_EQ(Saved(), 3u);
    EXPECT_EQ(Desk.TrayFake.Status, "Recording: 3 pictures");
    // Stop Recording asks as a click on the icon does.
    Desk.TrayFake.Menu.Stop();
    EXPECT_EQ(Desk.PromptsFake.Count("question"), 1);
    EXPECT_FALSE(Rec->IsRecording());
    EXPECT_FALSE(Desk.TrayFake.Menu.Stop);
    EXPECT_TRUE(Desk.TrayFake.Status.isEmpty());
}

TEST_F(RecorderTest, PausedBeforeTheFirstPictureTheFrameStillResizes)
{
    Rec->Start(640, 480, false);
    Desk.PressShiftPause();
    Desk.FrameFake.Drag(EdgeRight | EdgeBottom, {60, 20});
    EXPECT_EQ(Rec->Width(), 700);
    // Resumed, it may still be placed until the first picture.
    Desk.PressShiftPause();
    EXPECT_FALSE(Rec->Paused());
    EXPECT_TRUE(Desk.FrameFake.IsAdjustable());
    // A capture asked for from the menu and then paused is not taken.
    Desk.TrayFake.Menu.Capture();
    Desk.PressShiftPause();
    Desk.Advance(1000);
    EXPECT_EQ(Saved(), 0u);
    Desk.PressShiftPause();
    Desk.PressPause();
    const auto objs = SavedObjects();
    ASSERT_EQ(objs.size(), 1u);
    EXPECT_EQ(objs[0].Width, 700);
}

TEST_F(RecorderTest, EachPictureFlashesTheFrameOnceTheScreenIsRead)
{
    Rec->Start(640, 480, true);
    EXPECT_EQ(Desk.FrameFake.Flashes, 0);
    Desk.PressPause();
    EXPECT_EQ(Desk.FrameFake.Flashes, 1);
    EXPECT_EQ(Desk.ScreenFake.Reads, 1);
    // A rest over the same pixels adds no picture, and no flash.
    Desk.MoveMouse({500, 400});
    Desk.Advance(600);
    EXPECT_EQ(Desk.ScreenFake.Reads, 2);
    EXPECT_EQ(Desk.FrameFake.Flashes, 1);
    EXPECT_EQ(Saved(), 1u);
    EXPECT_EQ(Desk.TrayFake.Status, "Recording: 1 picture");
}

TEST_F(RecorderTest, AutoModeCountsDownBeforeItsFirstCaptureAndAfterAResume)
{
    Rec->SetCountdown(true);
    Rec->Start(640, 480, true);
    EXPECT_EQ(Rec->CountdownLeft(), 3);
    EXPECT_TRUE(Desk.FrameFake.Label.startsWith("Auto capture begins in 3 s\n"));
    Desk.MoveMouse({500, 400});
    Desk.Advance(1000);
    EXPECT_TRUE(Desk.FrameFake.Label.startsWith("Auto capture begins in 2 s\n"));
    Desk.Click({520, 400});
    Desk.Advance(1500);
    EXPECT_EQ(Saved(), 0u) << "a rest or a click during the count down";
    Desk.Advance(500); // 3 s: the count is over, a rest from now on counts
    EXPECT_EQ(Rec->CountdownLeft(), 0);
    EXPECT_FALSE(Desk.FrameFake.Label.startsWith("Auto capture"));
    Desk.Advance(499);
    EXPECT_EQ(Saved(), 0u);
    Desk.Advance(1);
    EXPECT_EQ(Saved(), 1u);
    // Resumed, it counts again; beside the frame even without handles.
    Desk.PressShiftPause();
    Desk.PressShiftPause();
    EXPECT_EQ(Desk.FrameFake.Label, "Auto capture begins in 3 s");
    Desk.Click({600, 450});
    Desk.Advance(2900);
    EXPECT_EQ(Saved(), 1u);
    Desk.Advance(200);
    Desk.Click({600, 450});
    Desk.Advance(Rec->SettleLimitMs);
    EXPECT_EQ(Saved(), 2u);
    Desk.ClickTray();
    // Without it, or in manual mode, nothing waits.
    Rec->Start(640, 480, false);
    EXPECT_EQ(Rec->CountdownLeft(), 0);
    Desk.ClickTray();
    Rec->SetCountdown(false);
    Rec->Start(640, 480, true);
    EXPECT_EQ(Rec->CountdownLeft(), 0);
}

TEST_F(RecorderTest, LabelNamesHandlesOnlyWhereTheFrameHasThem)
{
    Desk.FrameFake.Adjusts = false;
    Rec->Start(640, 480, false);
    EXPECT_EQ(Desk.FrameFake.Label, "640 x 480\nPress Pause to capture.");
    Desk.PressShiftPause();
    EXPECT_EQ(Desk.FrameFake.Label,
              "Paused: 640 x 480\nResume from the tray icon's menu or with Shift+Pause.");
}

// --- fitting the region to a window -------------------------------------------------

TEST_F(RecorderTest, FitWindowSetsTheRegionToTheClickedWindowsFrameAndTheMovieToItsSize)
{
    Desk.PickerFake.Windows = {QRect(100, 120, 300, 200), QRect(50, 50, 900, 600)};
    Rec->SetFitWindow(true);
    Rec->Start(640, 480, false);
    ASSERT_TRUE(Rec->PickingWindow());
    EXPECT_TRUE(Desk.PickerFake.IsPicking());
    EXPECT_FALSE(Desk.FrameFake.IsAdjustable()) << "no handles in the way of the click";
    EXPECT_EQ(Desk.FrameFake.Label,
              "640 x 480\nClick the window to record: the frame fits it.\nEscape keeps the "
              "frame where it is.");
    // Nothing is captured or paused until the window is picked.
    Desk.PressPause();
    Desk.PressShiftPause();
    EXPECT_EQ(Desk.ScreenFake.Reads, 0);
    EXPECT_FALSE(Rec->Paused());
    // The desktop around the windows is no window: the pick goes on.
    Desk.Click({1000, 700});
    EXPECT_TRUE(Rec->PickingWindow());
    EXPECT_EQ(Desk.FrameFake.Lines.topLeft(), QPoint(192, 144));

    // The top-most window under the click.
    Desk.Click({150, 150});
    EXPECT_FALSE(Rec->PickingWindow());
    EXPECT_FALSE(Desk.PickerFake.IsPicking());
    EXPECT_EQ(Desk.FrameFake.Lines, QRect(QPoint(99, 119), QPoint(400, 320)));
    EXPECT_EQ(Rec->Width(), 300);
    EXPECT_EQ(Rec->Height(), 200);
    EXPECT_EQ(Desk.ScreenFake.Watched, QRect(100, 120, 300, 200));
    // Placed as if dragged there: the handles are back, the label tells the size.
    ASSERT_TRUE(Desk.FrameFake.IsAdjustable());
    EXPECT_TRUE(Desk.FrameFake.Label.startsWith("300 x 200\nDrag the border"));
    Desk.FrameFake.Nudge(10, 0);
    EXPECT_EQ(Rec->CaptureLeft(), 109);
    Desk.FrameFake.Nudge(-10, 0);
    Desk.InputFake.Pointer = {200, 200};
    Desk.PressPause();
    EXPECT_EQ(Desk.ScreenFake.LastRead, QRect(100, 120, 300, 200));
    const auto objs = SavedObjects();
    ASSERT_EQ(objs.size(), 1u);
    EXPECT_EQ(objs[0].Width, 300);
    EXPECT_EQ(QImage(QString::fromStdString(objs[0].Content)).size(), QSize(300, 200));
    TXMLDocument saved(Work.toStdString());
    EXPECT_EQ(GetMovie(saved).GetWidth(), 300);
    EXPECT_EQ(GetMovie(saved).GetHeight(), 200);
    EXPECT_TRUE(Desk.PromptsFake.Messages.empty());
    Desk.ClickTray();

    // The next recording starts there; without the choice, no pick.
    Rec->SetFitWindow(false);
    Rec->Start(640, 480, false);
    EXPECT_FALSE(Rec->PickingWindow());
    EXPECT_EQ(Desk.FrameFake.Lines.topLeft(), QPoint(99, 119));
    Desk.ClickTray();
    // Nor where the desktop cannot tell windows apart.
    Desk.HasPicker = false;
    Rec->SetFitWindow(true);
    Rec->Start(640, 480, false);
    EXPECT_FALSE(Rec->PickingWindow());
    EXPECT_TRUE(Desk.FrameFake.IsAdjustable());
    EXPECT_EQ(Desk.PickerFake.Picks, 1);
}

TEST_F(RecorderTest, FittedRegionIsClampedToTheScreenAndTheSizeLimits)
{
    Rec->SetFitWindow(true);
    const auto fit = [&](const QRect& window) {
        Desk.PickerFake.Windows = {window};
        Rec->Start(640, 480, false);
        EXPECT_TRUE(Rec->PickingWindow());
        Desk.Click(window.intersected(Desk.ScreenFake.Image.rect()).center());
        EXPECT_FALSE(Rec->PickingWindow());
        const QRect region = platform::RegionOf(Desk.FrameFake.Lines);
        EXPECT_EQ(region, QRect(Rec->CaptureLeft() + 1, Rec->CaptureTop() + 1, Rec->Width(),
                                Rec->Height()));
        Desk.ClickTray();
        return region;
    };
    // Half off the screen: the part on it, grown to 100 high, moved back on.
    EXPECT_EQ(fit(QRect(900, 700, 400, 300)), QRect(900, 668, 124, 100));
    // Smaller than the limit: 100 x 100 about its middle.
    EXPECT_EQ(fit(QRect(500, 500, 50, 40)), QRect(475, 470, 100, 100));
    // Maximised, its frame a pixel beyond each edge: the whole screen.
    EXPECT_EQ(fit(QRect(-1, -1, 1026, 770)), QRect(0, 0, 1024, 768));
    // Larger than the largest region (2000 x 2000), on a large screen.
    EXPECT_EQ(platform::FitRegion(QRect(-8, 0, 2576, 1440), QRect(0, 0, 2560, 1440),
                                  QSize(100, 100), QSize(2000, 2000)),
              QRect(280, 0, 2000, 1440));
    // Wholly off the screen (another monitor): nothing to fit.
    EXPECT_FALSE(platform::FitRegion(QRect(1024, 0, 800, 600), QRect(0, 0, 1024, 768),
                                     QSize(100, 100), QSize(2000, 2000)));
}

TEST_F(RecorderTest, EscapeOrAFailedPickKeepsTheFrameWhereItWas)
{
    Desk.PickerFake.Windows = {QRect(100, 120, 300, 200)};
    Rec->SetFitWindow(true);
    Rec->SetCountdown(true);
    Rec->Start(640, 480, true);
    ASSERT_TRUE(Rec->PickingWindow());
    // The count down waits for the pick: the hand is on the mouse.
    EXPECT_EQ(Rec->CountdownLeft(), 0);
    // A rest inside the frame while picking takes no picture.
    Desk.MoveMouse({500, 400});
    Desk.Advance(2000);
    EXPECT_EQ(Desk.ScreenFake.Reads, 0);
    Desk.PressEscape();
    EXPECT_FALSE(Rec->PickingWindow());
    EXPECT_EQ(Desk.FrameFake.Lines, QRect(QPoint(192, 144), QPoint(833, 625)));
    EXPECT_EQ(Rec->Width(), 640);
    EXPECT_TRUE(Desk.FrameFake.IsAdjustable());
    EXPECT_EQ(Rec->CountdownLeft(), 3);
    EXPECT_TRUE(Desk.PromptsFake.Messages.empty());
    // The pick is over: a click inside the frame is a click again.
    Desk.Advance(3000);
    Desk.Click({500, 400});
    Desk.Advance(Rec->SettleLimitMs);
    EXPECT_EQ(Saved(), 1u);
    Desk.ClickTray();

    // A pick the desktop refuses says why; the recording goes on as placed.
    Desk.PickerFake.Refusal = QStringLiteral("Another program holds the mouse or the keyboard.");
    Rec->Start(640, 480, false);
    EXPECT_FALSE(Rec->PickingWindow());
    EXPECT_TRUE(Rec->IsRecording());
    EXPECT_TRUE(Desk.FrameFake.IsAdjustable());
    ASSERT_EQ(Desk.PromptsFake.Count("warning"), 1);
    EXPECT_TRUE(Desk.PromptsFake.Messages.back().Text.contains("holds the mouse"));
    Desk.ClickTray();
    // Stopping while picking ends the pick.
    Desk.PickerFake.Refusal.clear();
    Rec->Start(640, 480, false);
    ASSERT_TRUE(Desk.PickerFake.IsPicking());
    Desk.ClickTray();
    EXPECT_FALSE(Rec->IsRecording());
    EXPECT_FALSE(Desk.PickerFake.IsPicking());
    EXPECT_FALSE(Rec->PickingWindow());
}

TEST_F(RecorderTest, TheClickThatPicksIsNoAutoCaptureWhicheverEndIsHeardFirst)
{
    Desk.PickerFake.Windows = {QRect(100, 120, 300, 200)};
    Rec->SetFitWindow(true);
    for (const bool endsFirst : {false, true}) {
        Desk.PickerFake.EndsBeforeMonitor = endsFirst;
        Rec->Start(640, 480, true);
        Desk.Click({200, 200});
        EXPECT_EQ(Rec->CaptureLeft(), 99) << endsFirst;
        Desk.Advance(Rec->SettleLimitMs);
        EXPECT_EQ(Desk.ScreenFake.Reads, 0) << endsFirst;
        // The next click inside the fitted frame captures.
        Desk.MoveMouse({210, 200});
        Desk.Click({210, 200});
        Desk.Advance(Rec->SettleLimitMs);
        EXPECT_EQ(Desk.ScreenFake.LastRead, QRect(100, 120, 300, 200)) << endsFirst;
        EXPECT_EQ(Desk.ScreenFake.Reads, 1) << endsFirst;
        Desk.ClickTray();
        Desk.ScreenFake.Reads = 0;
    }
}
