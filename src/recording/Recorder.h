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
#include <optional>
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
struct TWindowPick;
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

    // The size limits of the captured pixels (the dialog's).
    static constexpr int MinSize = 100;
    static constexpr int MaxSize = 2000;
    // The captured size now: the dialog's, or what the user made of it
    // before the first capture.
    int Width() const { return CaptureWidth; }
    int Height() const { return CaptureHeight; }
    // The user may place the frame (before the first capture, and while
    // paused).
    bool Adjustable() const { return Adjusting; }
    // The text beside the frame.
    QString LabelText() const;
    QString AdjustText() const;

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

    // Paused, nothing is captured (no key, click or rest) and the frame may
    // be moved again, keeping its size once it has pictures.
    bool Paused() const { return IsPaused; }
    void TogglePause();
    // The tray menu's Capture Now: once the menu has left the screen.
    void MenuCapture();
    // The tray tooltip.
    QString StatusText() const;
    // Auto mode waits this long before its first capture, and after a
    // resume, so the hand on the dialog or the tray is not recorded.
    static constexpr int CountdownSeconds = 3;
    void SetCountdown(bool on) { CountdownOn = on; }
    // Seconds still to wait; 0 when auto captures may be taken.
    int CountdownLeft() const { return Countdown; }
    // The next Start lets the user fit the region to a window: its first
    // left click on a window sets the region to that window's frame, and
    // Escape keeps the frame where it is. Only where the desktop can tell
    // windows apart.
    void SetFitWindow(bool on) { FitOn = on; }
    // Waiting for that click; nothing is captured meanwhile.
    bool PickingWindow() const { return Picking; }

    // The handlers, named after the events that call them.
    void TrayIconClick();
    void Timer1Timer();
    void TimerAutoCaptureTimer();
    // Reads the screen and encodes the picture here; the file write, its
    // flush and the project save follow on the disk thread, and the picture
    // object joins the document once its file is whole on disk.
    void CaptureScreenshot();

    // How long a capture waits for the screen to settle: quiet this long
    // after the last change, and never longer than the limit after its cause.
    static constexpr int SettleQuietMs = 60;
    static constexpr int SettleLimitMs = 300;
    // A capture is waiting for the screen to settle.
    bool SettlePending() const { return Pending.Active; }

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
    // What caused a capture: the Pause key (or the capture command), a
    // left-button release, or the mouse at rest.
    enum class TTrigger { Key, Release, Rest };
    // Captures at once, or once the screen has settled where the result of
    // a click is still to come, the stand-in must leave the region first or
    // the screen is read from frames that trail it. pointer: the position to
    // record (the release's); none reads it at the capture.
    void RequestCapture(TTrigger trigger, std::optional<QPoint> pointer);
    void ScreenChanged();
    void FinishSettle();
    void Capture(TTrigger trigger, std::optional<QPoint> pointer, bool restoreStandIn);
    QRect Region() const { return QRect(Left + 1, Top + 1, CaptureWidth, CaptureHeight); }

    // The frame placed by the user: lines and size follow, and the place is
    // kept for the next recording.
    void RegionChanged(const QRect& lines);
    void PlaceRegion(const QRect& lines);
    void BeginPick();
    void PickDone(const platform::TWindowPick& pick);
    void SetAdjusting(bool on);
    void UpdateTray();
    void StartCountdown();
    void CountdownTick();
    void UpdateLabel();
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
    std::unique_ptr<platform::ITimer> TimerSettle;      // quiet period, restarted by changes
    std::unique_ptr<platform::ITimer> TimerSettleLimit; // the longest wait
    std::unique_ptr<platform::ITimer> TimerMenuCapture; // the menu's Capture Now
    std::unique_ptr<platform::ITimer> TimerCountdown;
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
    bool Adjusting = false;
    bool IsPaused = false;
    bool CountdownOn = false; // the dialog's choice
    bool UsualKeys = true;    // Pause and Shift+Pause, not the commands
    bool ClicksCapture = true;
    int Countdown = 0;
    int Pictures = 0; // in the document
    bool DownOnHandle = false; // the press went to the frame's handles
    bool FitOn = false;        // the dialog's choice
    bool Picking = false;      // a window pick runs
    bool PickUpSeen = true;    // the monitor heard the release of the pick's last press
    bool SkipUp = false;       // the pick's release is still to come from the monitor
    QSize HeaderSize;          // the movie's size as the header has it

    struct TPending {
        bool Active = false;
        TTrigger Trigger = TTrigger::Key;
        std::optional<QPoint> Pointer;
        bool StandInCleared = false;
    };
    TPending Pending;
    // The pixels of the last capture kept, so a rest that shows nothing new
    // adds no picture.
    QImage LastKept;

    std::unique_ptr<quillora::TDiskQueue> Disk;
    std::map<uint64_t, TShot> Shots; // by disk ticket, until the file is written
    // Which recording the notes beside the screenshots belong to, and the
    // number of captures taken in it.
    std::string RecordingId;
    int64_t CaptureCount = 0;
    std::deque<QString> DiskErrors;  // waiting to be shown, oldest first
    bool ShowingDiskErrors = false;
};
