// An in-memory desktop for tests: they set the screen's pixels and the
// pointer, send button and motion events, press Pause, click the tray icon,
// answer message boxes and move a virtual clock that fires the timers.
#pragma once

#include "platform/Platform.h"

#include <map>
#include <optional>
#include <vector>

namespace platform {

class TFakePlatform;

class TFakeTimer : public ITimer {
  public:
    TFakeTimer(TFakePlatform& owner, QString name);
    ~TFakeTimer() override;
    void SetHandler(std::function<void()> onTimeout) override { Handler = std::move(onTimeout); }
    void Start(int intervalMs) override;
    void Stop() override { Active = false; }
    bool IsActive() const override { return Active; }
    int Interval() const { return IntervalMs; }

  private:
    friend class TFakePlatform;
    TFakePlatform& Owner;
    QString Name;
    std::function<void()> Handler;
    bool Active = false;
    int IntervalMs = 0;
    long long DueMs = 0;
};

class TFakeInput : public IInputMonitor {
  public:
    bool Available = true;
    QPoint Pointer;
    bool Knows = true; // false: Pointer is only a stand-in
    bool Start(Handlers handlers) override;
    void Stop() override { Running = false; }
    bool IsRunning() const override { return Running; }
    QPoint PointerPos() override { return Pointer; }
    bool KnowsPointer() const override { return Knows; }
    QString Problem() const override;

  private:
    friend class TFakePlatform;
    Handlers On;
    bool Running = false;
};

class TFakeHotKey : public IHotKey {
  public:
    TGrabResult Result = TGrabResult::Grabbed;
    TGrabResult Grab(std::function<void()> onPress) override;
    TGrabResult GrabPause(std::function<void()> onPress) override
    {
        OnPause = std::move(onPress);
        return TGrabResult::Grabbed;
    }
    void Release() override
    {
        Grabbed = false;
        OnPause = nullptr;
    }
    bool IsGrabbed() const override { return Grabbed; }
    // The desktop's keyboard settings: what DesktopKey() says, and the keys
    // AddDesktopKey() added (it fails with AddFails set).
    TDesktopKey Settings;
    int Added = 0;
    QString AddFails;
    TDesktopKey DesktopKey() override { return Settings; }
    bool AddDesktopKey(QString* why) override
    {
        if (!AddFails.isEmpty()) {
            *why = AddFails;
            return false;
        }
        ++Added;
        Settings = {false, QStringLiteral("Pause")};
        return true;
    }

  private:
    friend class TFakePlatform;
    std::function<void()> OnPress;
    std::function<void()> OnPause;
    bool Grabbed = false;
};

class TFakeFrame : public IScreenFrame {
  public:
    QRect Lines; // left, top, right, bottom of the frame lines
    int Raises = 0;
    int Refreshes = 0;
    std::optional<TFrameAdjust> Adjust;
    QString Label;
    bool Paused = false;
    int Flashes = 0;
    void Show(int left, int top, int right, int bottom) override;
    void SetAdjustable(const TFrameAdjust* adjust) override;
    bool IsAdjustable() const override { return Adjust.has_value(); }
    bool Adjusts = true; // has handles, as on X11
    bool CanAdjust() const override { return Adjusts; }
    bool OnHandle(QPoint p) const override;
    void SetLabel(const QString& text) override { Label = text; }
    void SetPaused(bool paused) override { Paused = paused; }
    void Flash() override { ++Flashes; }
    // What the user does with the handles (edges of platform::TFrameEdge)
    // and the arrow keys; nothing unless the frame is adjustable.
    void Drag(int edges, QPoint delta);
    void Nudge(int dx, int dy);
    void Raise() override { ++Raises; }
    void Hide() override { Shown = false; }
    bool IsShown() const override { return Shown; }
    void RefreshScreen() override { ++Refreshes; }

  private:
    bool Shown = false;
};

// Windows on the fake screen, for a pick: the top-most containing the
// click is picked. Like the X server's pointer grab, the input monitor
// still sees the click.
class TFakeWindowPicker : public IWindowPicker {
  public:
    std::vector<QRect> Windows; // their frames, top-most first
    QString Refusal;            // when set, every pick fails with it
    // The pick ends before the input monitor hears the release (on X11 the
    // two come on different connections, in either order).
    bool EndsBeforeMonitor = false;
    void Pick(std::function<void(const TWindowPick&)> done) override;
    void Cancel() override
    {
        Picking = false;
        Done = nullptr;
    }
    bool IsPicking() const override { return Picking; }
    int Picks = 0;

  private:
    friend class TFakePlatform;
    void Finish(const TWindowPick& pick);
    std::function<void(const TWindowPick&)> Done;
    bool Picking = false;
    std::optional<QRect> Pressed;
    QPoint PressedAt;
};

class TFakeTray;

class TFakeScreen : public IScreenReader {
  public:
    QImage Image; // the primary screen, at (0, 0)
    QRect LastRead;
    int Reads = 0;
    QString Refusal; // when set, Open fails with this text
    bool Opened = false;
    bool CanWatch = true;          // changes can be seen
    bool DeliveredFrames = false;  // reads trail the screen, as from a stream
    QRect Watched;                 // the rectangle watched for changes
    std::function<void()> OnChange;
    QRect PrimaryScreen() override { return Image.rect(); }
    bool WatchChanges(const QRect& rect, std::function<void()> onChange) override;
    bool ReadsDeliveredFrames() const override { return DeliveredFrames; }
    QImage Read(const QRect& rect) override;
    bool Open(QString* why) override
    {
        *why = Refusal;
        Opened = Refusal.isEmpty();
        return Opened;
    }
    void Close() override { Opened = false; }

  private:
    friend class TFakePlatform;
    const TFakeTray* Tray = nullptr; // its stand-in shows in what is read
};

class TFakeTray : public ITrayIcon {
  public:
    bool TrayAvailable = true;
    TTrayMenu Menu;
    bool MenuPaused = false;
    QString Status;
    void SetMenu(const TTrayMenu& menu, bool paused) override
    {
        Menu = menu;
        MenuPaused = paused;
    }
    void SetStatus(const QString& text) override { Status = text; }
    QRect Avoided;
    QRect Spot;            // where the stand-in shows (where there is no tray)
    bool Cleared = false;  // its pixels are off the screen for a capture
    int Clears = 0;
    void Show(std::function<void()> onClick, const QRect& avoid) override;
    void Hide() override { Shown = false; }
    bool IsShown() const override { return Shown; }
    bool IsStandIn() const override { return Shown && !TrayAvailable; }
    QRect StandInRect() const override { return IsStandIn() ? Spot : QRect(); }
    void ClearForCapture(bool clear) override;

  private:
    friend class TFakePlatform;
    QRect ScreenRect;
    std::function<void()> OnClick;
    bool Shown = false;
};

class TFakeSound : public ISound {
  public:
    std::vector<QString> Played;
    void Play(const QString& path) override { Played.push_back(path); }
};

class TFakePrompts : public IPrompts {
  public:
    struct TMessage {
        QString Kind; // "question", "error" or "warning"
        QString Title;
        QString Text;
    };
    std::vector<TMessage> Messages;
    // Answers every question. It runs while the "modal" box is open, so it may
    // send more events to model what happens meanwhile.
    std::function<bool(const QString& title, const QString& text)> Answer =
        [](const QString&, const QString&) { return true; };
    int Count(const QString& kind) const;

    bool AskYesNo(const QString& title, const QString& text) override;
    void ShowError(const QString& text) override;
    void ShowWarning(const QString& text) override;
};

class TFakePlatform : public IPlatform {
  public:
    explicit TFakePlatform(QSize screenSize = QSize(1024, 768));
    ~TFakePlatform() override;

    TFakeInput InputFake;
    TFakeHotKey HotKeyFake;
    TFakeFrame FrameFake;
    TFakeScreen ScreenFake;
    TFakeTray TrayFake;
    TFakeSound SoundFake;
    TFakePrompts PromptsFake;
    TFakeWindowPicker PickerFake;
    bool HasPicker = true; // false: the desktop cannot tell windows apart

    // Button events move the pointer to the event's place, as real ones do.
    void PressLeft(QPoint at);
    void ReleaseLeft(QPoint at);
    void MoveMouse(QPoint to);
    void Click(QPoint at);
    void PressPause();
    void PressShiftPause();
    // Escape, which only a pick listens for.
    void PressEscape();
    void ClickTray();
    // Repaints the screen and tells whoever watches a rectangle it touches.
    void PaintScreen(const QRect& rect, QColor colour);
    // Moves the virtual clock, firing due timers in time order.
    void Advance(int ms);
    long long NowMs() const { return Now; }
    TFakeTimer* Timer(const QString& name) const;

    QString Name() const override { return QStringLiteral("fake"); }
    IInputMonitor& Input() override { return InputFake; }
    IHotKey& HotKey() override { return HotKeyFake; }
    IScreenFrame& Frame() override { return FrameFake; }
    IScreenReader& Screen() override { return ScreenFake; }
    ITrayIcon& Tray() override { return TrayFake; }
    ISound& Sound() override { return SoundFake; }
    IPrompts& Prompts() override { return PromptsFake; }
    std::unique_ptr<ITimer> CreateTimer(const QString& name) override;
    IWindowPicker* WindowPicker() override { return HasPicker ? &PickerFake : nullptr; }

  private:
    friend class TFakeTimer;
    long long Now = 0;
    std::map<QString, TFakeTimer*> Timers;
};

} // namespace platform
