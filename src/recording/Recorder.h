// Recording start and stop, the capture routine and the auto-capture rules.
// The main window owns one TRecorder and hands it what it needs through
// IRecordingHost, so the recorder can be tested without the main window.
#pragma once

#include "recording/DiskQueue.h"
#include "recording/Screenshot.h"

#include <QObject>
#include <QRect>
#include <QString>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quillora {
class TFlashPic;
class XMLNodeBinding;
struct TGlobalVars;
} // namespace quillora
using quillora::TFlashPic;
using quillora::TGlobalVars;

namespace platform {
class IPlatform;
class ITimer;
} // namespace platform

// What the recorder needs from the program around it (the main window).
class IRecordingHost {
  public:
    virtual ~IRecordingHost() = default;
    virtual void HideMainWindow() = 0;
    virtual void ShowMainWindow() = 0;
    // Binds the main window's Movie to the document root, sets the movie
    // header (white, the capture size, rate 15, no looping) and writes it,
    // which saves the working project file.
    virtual void WriteRecordingHeader(int captureWidth, int captureHeight) = 0;
    // Binds Movie to the document root again (every capture does) and
    // returns the current controller's picture tool, bound to that document.
    virtual TFlashPic& RebindAndGetPictureTool() = 0;
};

class TRecorder : public QObject {
    Q_OBJECT
  public:
    // Uses the program-wide desktop services (platform::CurrentPlatform).
    TRecorder(IRecordingHost& host, TGlobalVars& globals, QObject* parent = nullptr);
    TRecorder(IRecordingHost& host, TGlobalVars& globals, platform::IPlatform& desktop,
              QObject* parent = nullptr);
    ~TRecorder() override;

    // Starts a recording once the new document is prepared: hides the main
    // window, shows the tray icon and the frame, writes the header, installs
    // the mouse monitor and (manual mode) the Pause key.
    void Start(int captureWidth, int captureHeight, bool autoMode);
    // Opens the screen for the next Start (on Wayland the desktop may ask
    // the user first), so a refusal can stop New before anything of the
    // project changes. Throws with the reason; Start opens it if not done.
    void OpenScreen();
    bool IsRecording() const;

    // The frame lines (left, top, right, bottom) centred on screen for a
    // capture size; the captured pixels lie strictly inside them.
    static QRect FrameFor(const QRect& screen, int captureWidth, int captureHeight);

    // State, read by tests and the main window.
    int CaptureLeft() const { return Left; }
    int CaptureTop() const { return Top; }
    int CaptureRight() const { return Right; }
    int CaptureBottom() const { return Bottom; }
    bool AutoMode() const { return Auto; }
    bool StopPending() const { return Stopping; }
    int LastAutoX() const { return AutoX; }
    int LastAutoY() const { return AutoY; }

    // Where capture.wav is (default: the program's data folder).
    void SetCaptureSound(const QString& path) { SoundPath = path; }
    // Replaces the screenshot number source (tests).
    void SetNameSource(quillora::TNameSource source) { NameSource = std::move(source); }

    // The handlers, named after the events that call them.
    void TrayIconClick();
    void Timer1Timer();
    void TimerAutoCaptureTimer();
    // Reads the screen and encodes the picture here; the file write, its
    // flush and the project save follow on the disk thread, and the picture
    // object joins the document once its file is whole on disk.
    void CaptureScreenshot();

    // Waits for the captures still on their way to the disk, appends their
    // objects and waits for the project saves; then shows what failed.
    // Stopping a recording does this first.
    void FinishDiskWork();

  signals:
    // The user answered Yes to "Stop recording?" and everything is undone.
    void Stopped();
    // A capture appended a picture object (the number of objects now).
    void Captured(int objectCount);
    // The working project file on disk holds the first objectCount objects.
    void Saved(int objectCount);

  private:
    void HookLeftDown(QPoint at);
    void HookLeftUp(QPoint at);
    void HookMove(QPoint at);
    bool InsideFrame(QPoint p) const;
    void TearDown(bool showHost = true);
    void Report(const QString& text);

    // What a capture knows before its file is written.
    struct TShot {
        int MouseX, MouseY, Width, Height;
    };
    void DiskWorkDone();
    void DrainDisk();
    void HandleDone(const std::vector<quillora::TDiskQueue::TDone>& done);
    void AppendPicture(const TShot& shot, const std::string& path);
    void QueueSave(const quillora::XMLNodeBinding& appended, int objectCount);
    void ShowDiskErrors();

    IRecordingHost& Host;
    TGlobalVars& Globals;
    platform::IPlatform& Desktop;
    std::unique_ptr<platform::ITimer> Timer1;
    std::unique_ptr<platform::ITimer> TimerAutoCapture;
    quillora::TNameSource NameSource = quillora::ClockSeededName;
    QString SoundPath;

    int CaptureWidth = 0;
    int CaptureHeight = 0;
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    bool Auto = false;
    int AutoX = 0; // kept from one recording to the next
    int AutoY = 0;
    bool Recording = false;
    bool Stopping = false;
    bool Capturing = false;
    bool CommandHintShown = false;
    bool ScreenOpen = false; // by OpenScreen, for the next Start

    std::unique_ptr<quillora::TDiskQueue> Disk;
    std::map<uint64_t, TShot> Shots; // by disk ticket, until the file is written
    std::deque<QString> DiskErrors;  // waiting to be shown, oldest first
    bool ShowingDiskErrors = false;
};
