// The desktop services a recording needs, one small interface each, so the
// recorder runs on X11 in the program and on an in-memory fake in tests.
// Every position and size here is in physical screen pixels, whatever scale
// factor Qt applies to its own windows.
//
// Each service says what it cannot do (Problem(), or a result code) instead
// of failing silently: the recorder tells the user.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

namespace platform {

// System-wide left-button and motion events, passively watched: clicks still
// reach the programs they are meant for. Handlers run on the main thread.
class IInputMonitor {
  public:
    struct Handlers {
        std::function<void(QPoint)> LeftDown;
        std::function<void(QPoint)> LeftUp;
        std::function<void(QPoint)> Move;
    };
    virtual ~IInputMonitor() = default;
    // False when events cannot be watched; Problem() says why.
    virtual bool Start(Handlers handlers) = 0;
    virtual void Stop() = 0;
    virtual bool IsRunning() const = 0;
    // Where the pointer is now, as the display server has it.
    virtual QPoint PointerPos() = 0;
    // False while PointerPos() is a stand-in (a Wayland desktop has not yet
    // told where the pointer is): no rest is seen there.
    virtual bool KnowsPointer() const { return true; }
    virtual QString Problem() const = 0;
};

// The Pause key as a global hot key. Wherever a backend can, `quillora
// --capture` (CaptureCommand()) presses it too, over the session bus.
class IHotKey {
  public:
    // CommandOnly: the desktop lets no program take a key; only the command
    // captures, and the user may bind a key to it in the desktop's settings.
    enum class TGrabResult { Grabbed, Taken, Unsupported, CommandOnly };
    virtual ~IHotKey() = default;
    virtual TGrabResult Grab(std::function<void()> onPress) = 0;
    // The second key, which pauses and resumes (X11: Shift+Pause; `quillora
    // --pause` wherever the capture command works). Release() ends it too.
    virtual TGrabResult GrabPause(std::function<void()> onPress)
    {
        Q_UNUSED(onPress);
        return TGrabResult::Unsupported;
    }
    virtual void Release() = 0;
    virtual bool IsGrabbed() const = 0;

    // After CommandOnly: whether the desktop's own keyboard settings can run
    // the command on a key (GNOME's custom shortcuts), and the key that runs
    // it there already, if any.
    struct TDesktopKey {
        bool CanAdd = false;
        QString Bound;
    };
    virtual TDesktopKey DesktopKey() { return {}; }
    // Adds that key (Pause); false with why set when it could not.
    virtual bool AddDesktopKey(QString* why)
    {
        *why = QStringLiteral("This desktop's keyboard settings cannot be changed by Quillora.");
        return false;
    }
};

// How the user may place the frame: before the first capture and while a
// recording is paused.
struct TFrameAdjust {
    QRect Screen;          // the captured pixels stay on it
    QSize MinSize, MaxSize; // of the captured pixels
    bool Resizable = true;  // else every grab moves the frame
    // After each step of a drag or an arrow key, with the new lines.
    std::function<void(const QRect& lines)> Changed;
};

// The red recording frame. The lines lie at left/top/right/bottom, one pixel
// wide, outside the captured pixels, and let every click through.
class IScreenFrame {
  public:
    virtual ~IScreenFrame() = default;
    virtual void Show(int left, int top, int right, int bottom) = 0;
    // Handles on the band outside the lines move and resize the frame, and
    // a label beside it takes the arrow keys (Shift: 10 pixels); none of
    // them lies inside the captured pixels. Null ends it: from then on the
    // frame takes no click at all.
    virtual void SetAdjustable(const TFrameAdjust* adjust) { Q_UNUSED(adjust); }
    // Whether this desktop's frame has the handles at all.
    virtual bool CanAdjust() const { return false; }
    virtual bool IsAdjustable() const { return false; }
    // True when a press at p (screen pixels) went to a handle, not to the
    // programs below.
    virtual bool OnHandle(QPoint p) const
    {
        Q_UNUSED(p);
        return false;
    }
    // The small label beside the frame (its size, how to begin, the count
    // down); empty hides it. Shown only where it misses the frame.
    virtual void SetLabel(const QString& text) { Q_UNUSED(text); }
    // Dashed lines while the recording is paused.
    virtual void SetPaused(bool paused) { Q_UNUSED(paused); }
    // A short flash of the lines once a capture has read the screen.
    virtual void Flash() {}
    // Brings the frame back above windows that were raised over it.
    virtual void Raise() = 0;
    virtual void Hide() = 0;
    virtual bool IsShown() const = 0;
    // Makes every window on the screen repaint itself.
    virtual void RefreshScreen() = 0;
};

// The next left click on a window names that window: its frame, the window
// manager's decorations included, in screen pixels. The pointer and the
// keyboard are held for that one click, so the window clicked never sees it,
// and Escape gives the pick up.
struct TWindowPick {
    enum class TResult { Picked, Cancelled, Failed };
    TResult Result = TResult::Cancelled;
    QRect Frame;       // Picked
    QPoint ClickedAt;  // Picked: where the button went down
    QString Why;       // Failed
};

class IWindowPicker {
  public:
    virtual ~IWindowPicker() = default;
    // Calls done once, on the main thread, when the pick ends (perhaps
    // before Pick returns). Clicks on no window or on one of ours are
    // taken and ignored: the pick goes on.
    virtual void Pick(std::function<void(const TWindowPick&)> done) = 0;
    // Ends a pick without calling done.
    virtual void Cancel() = 0;
    virtual bool IsPicking() const = 0;
};

// Reading pixels off the screen.
class IScreenReader {
  public:
    virtual ~IScreenReader() = default;
    // The primary screen's rectangle.
    virtual QRect PrimaryScreen() = 0;
    // The pixels of rect as an RGB32 image of exactly rect's size; parts
    // outside the screen read as black, never as an error. Throws
    // std::runtime_error with a message only when the screen cannot be read
    // at all (the desktop ended the screen sharing).
    virtual QImage Read(const QRect& rect) = 0;
    // Opens what reading needs for the length of a recording (on Wayland the
    // screen-cast session, which may ask the user first). False, with why
    // set, when the screen cannot be read; nothing is left open then.
    virtual bool Open(QString* why)
    {
        Q_UNUSED(why);
        return true;
    }
    virtual void Close() {}
    // Calls onChange on the main thread whenever pixels inside rect may have
    // changed (X11: DAMAGE; Wayland: each new frame of the stream), so a
    // capture can wait until a click's result is on the screen. False where
    // changes cannot be seen; a null onChange stops watching.
    virtual bool WatchChanges(const QRect& rect, std::function<void()> onChange)
    {
        Q_UNUSED(rect);
        Q_UNUSED(onChange);
        return false;
    }
    // True where Read() gives the last frame the desktop delivered, which
    // trails the screen; every capture then waits for the stream to go quiet.
    virtual bool ReadsDeliveredFrames() const { return false; }
};

// The tray icon's menu (right click), for a running recording.
struct TTrayMenu {
    std::function<void()> Capture;
    std::function<void()> TogglePause;
    std::function<void()> Stop;
};

// The notification-area icon, or a stand-in window where there is no tray.
class ITrayIcon {
  public:
    virtual ~ITrayIcon() = default;
    // The menu of the icon and of the stand-in; paused names its second
    // item Resume. Empty handlers take it away.
    virtual void SetMenu(const TTrayMenu& menu, bool paused)
    {
        Q_UNUSED(menu);
        Q_UNUSED(paused);
    }
    // The tooltip: what the recording does and how many pictures it has.
    virtual void SetStatus(const QString& text) { Q_UNUSED(text); }
    // avoid: screen rectangle a stand-in window must stay out of.
    virtual void Show(std::function<void()> onClick, const QRect& avoid) = 0;
    virtual void Hide() = 0;
    virtual bool IsShown() const = 0;
    virtual bool IsStandIn() const = 0;
    // Where the stand-in window shows, in screen pixels; empty for a tray
    // icon or when hidden.
    virtual QRect StandInRect() const { return {}; }
    // Takes the stand-in's pixels off the screen (true) and brings them
    // back (false), for a capture whose region it lies in.
    virtual void ClearForCapture(bool clear) { Q_UNUSED(clear); }
};

// Plays a WAV file without waiting for it; no audio device is not an error.
class ISound {
  public:
    virtual ~ISound() = default;
    virtual void Play(const QString& path) = 0;
};

// A single-shot-or-periodic timer on the main thread.
class ITimer {
  public:
    virtual ~ITimer() = default;
    virtual void SetHandler(std::function<void()> onTimeout) = 0;
    // Starts, or restarts the period when it is running already.
    virtual void Start(int intervalMs) = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;
};

// Modal questions and messages.
class IPrompts {
  public:
    virtual ~IPrompts() = default;
    virtual bool AskYesNo(const QString& title, const QString& text) = 0;
    virtual void ShowError(const QString& text) = 0;
    virtual void ShowWarning(const QString& text) = 0;
};

// What a desktop lets a recording do, for the new-recording dialog.
struct TCapabilities {
    // Auto Capture needs to know where the pointer rests.
    bool AutoMode = true;
    // Left-button releases capture in auto mode.
    bool ClickCapture = true;
    // The region can be fitted to a window the user clicks (WindowPicker()).
    bool FitWindow = true;
    // Said in the dialog when something above is missing (empty otherwise).
    QString Note;
    // The dialog's instructions where this desktop captures and stops
    // otherwise than by the Pause key and the tray (empty: the usual ones).
    QString ManualText;
    QString StopText;
};

class IPlatform {
  public:
    virtual ~IPlatform() = default;
    virtual QString Name() const = 0;
    virtual TCapabilities Capabilities() { return {}; }
    virtual IInputMonitor& Input() = 0;
    virtual IHotKey& HotKey() = 0;
    virtual IScreenFrame& Frame() = 0;
    virtual IScreenReader& Screen() = 0;
    virtual ITrayIcon& Tray() = 0;
    virtual ISound& Sound() = 0;
    virtual IPrompts& Prompts() = 0;
    virtual std::unique_ptr<ITimer> CreateTimer(const QString& name) = 0;
    // Null where the desktop cannot tell which window is under the pointer.
    virtual IWindowPicker* WindowPicker() { return nullptr; }
};

enum class TBackend { X11, Wayland, Fake };

// The backend for an environment: QUILLORA_PLATFORM (x11, wayland, fake)
// forces one; otherwise Wayland on a Wayland session (XDG_SESSION_TYPE or
// WAYLAND_DISPLAY), X11 elsewhere. Qt's offscreen and minimal platforms have
// no screen, so they get the fake unless forced. Pure, for tests.
struct TBackendChoice {
    TBackend Backend;
    QString Why;
};
TBackendChoice ChooseBackend(const QByteArray& forced, const QByteArray& sessionType,
                             const QByteArray& waylandDisplay, const QString& qtPlatform);
// The Qt platform plug-in a backend wants ("wayland", "xcb"), or empty.
QByteArray QtPlatformFor(TBackend backend);
// The choice for this process's environment, before a QGuiApplication
// exists (qtPlatform from QT_QPA_PLATFORM).
TBackendChoice ChooseBackendFromEnvironment();

// Creates the backend ChooseBackend picks for this process (needs a
// QApplication). why, when given, receives the reason for the choice.
std::unique_ptr<IPlatform> CreatePlatform(QString* why = nullptr);

// The program-wide backend, created on first use (needs a QApplication).
IPlatform& CurrentPlatform();
// Tests and tools may put their own in place; ownership stays with the caller.
void SetCurrentPlatform(IPlatform* platform);
// Ends the program-wide backend, if one was made; the next CurrentPlatform()
// makes a new one. Programs call it before their QApplication goes.
void ShutdownPlatform();

} // namespace platform
