// The services Qt provides alike on every desktop: timers, message boxes,
// sound and the tray icon (with a stand-in window where no tray exists).
#pragma once

#include "platform/Platform.h"

#include <QLabel>
#include <QObject>
#include <QPointer>

#include <optional>

class QAbstractButton;
class QAction;
class QMenu;
class QScreen;
class QSystemTrayIcon;
class QTimer;
class QWidget;

namespace platform {

// Side of the stand-in's square, in Qt's units.
constexpr int StandInSize = 32;

// The stand-in's button, a window of its own until it is given a parent.
std::unique_ptr<QAbstractButton> MakeStandInButton(std::function<void()> onClick);

// The label beside the recording frame: the region's size and how to
// begin. While the frame may be placed it takes the focus, so the arrow
// keys nudge the frame (Shift: 10 pixels) and a screen reader reads it.
class TFrameLabel : public QLabel {
  public:
    TFrameLabel();
    // dx, dy in screen pixels; null while the frame stays where it is.
    std::function<void(int dx, int dy)> Nudge;
    void SetText(const QString& text);
    // Shows it at place (screen pixels, on screen), or hides it without one.
    void ShowAt(const std::optional<QRect>& place, QScreen* screen, bool takeFocus);
    // Its size in screen pixels on screen.
    QSize PhysicalSize(const QScreen* screen) const;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// The menu of the tray icon and of its stand-ins: Capture Now, Pause (or
// Resume), Stop Recording.
class TTrayMenuHolder {
  public:
    TTrayMenuHolder();
    ~TTrayMenuHolder();
    void Set(const TTrayMenu& menu, bool paused);
    QMenu* Menu() const { return Handlers.Stop ? MenuWidget.get() : nullptr; }
    // Right click, the Menu key and Shift+F10 on button open it.
    void AttachTo(QWidget* button);

  private:
    void Build();
    std::unique_ptr<QMenu> MenuWidget;
    TTrayMenu Handlers;
    QAction* Capture = nullptr;
    QAction* Pause = nullptr;
    QAction* Stop = nullptr;
};

class TQtTimer : public ITimer {
  public:
    TQtTimer();
    ~TQtTimer() override;
    void SetHandler(std::function<void()> onTimeout) override;
    void Start(int intervalMs) override;
    void Stop() override;
    bool IsActive() const override;

  private:
    std::unique_ptr<QTimer> Timer;
    std::function<void()> Handler;
};

class TQtPrompts : public IPrompts {
  public:
    bool AskYesNo(const QString& title, const QString& text) override;
    void ShowError(const QString& text) override;
    void ShowWarning(const QString& text) override;
};

// QSoundEffect when Qt Multimedia is there; otherwise nothing plays.
class TQtSound : public ISound {
  public:
    TQtSound();
    ~TQtSound() override;
    void Play(const QString& path) override;

  private:
    struct TImpl;
    std::unique_ptr<TImpl> Impl;
};

// QSystemTrayIcon when the desktop has a tray; otherwise a small always-on-top
// window in a screen corner outside the frame, so a recording can always be
// stopped. A click on either calls the handler.
class TQtTrayIcon : public QObject, public ITrayIcon {
    Q_OBJECT
  public:
    TQtTrayIcon();
    ~TQtTrayIcon() override;
    void Show(std::function<void()> onClick, const QRect& avoid) override;
    void Hide() override;
    bool IsShown() const override;
    bool IsStandIn() const override;
    QRect StandInRect() const override;
    void SetMenu(const TTrayMenu& menu, bool paused) override;
    void SetStatus(const QString& text) override;
    // Unmaps the stand-in and maps it again: on X11 the windows beneath then
    // repaint what it covered.
    void ClearForCapture(bool clear) override;

    // Where the stand-in goes: the first screen corner (top right, top left,
    // bottom right, bottom left) whose size x size square misses avoid.
    static QRect StandInPlace(const QRect& screen, const QRect& avoid, int size);

  private:
    void Clicked();
    std::unique_ptr<QSystemTrayIcon> Icon;
    std::unique_ptr<QWidget> StandIn;
    std::function<void()> OnClick;
    TTrayMenuHolder MenuHolder;
    QString Status;
    QRect Place; // the stand-in's, in physical pixels
    bool Shown = false;
    bool UsingStandIn = false;
};

} // namespace platform
