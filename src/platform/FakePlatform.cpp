#include "platform/FakePlatform.h"

#include "platform/FrameGeometry.h"
#include "platform/QtServices.h"

#include <QPainter>

namespace platform {

TFakeTimer::TFakeTimer(TFakePlatform& owner, QString name) : Owner(owner), Name(std::move(name))
{
    Owner.Timers[Name] = this;
}

TFakeTimer::~TFakeTimer()
{
    auto it = Owner.Timers.find(Name);
    if (it != Owner.Timers.end() && it->second == this)
        Owner.Timers.erase(it);
}

void TFakeTimer::Start(int intervalMs)
{
    IntervalMs = intervalMs;
    Active = true;
    DueMs = Owner.Now + intervalMs;
}

bool TFakeInput::Start(Handlers handlers)
{
    if (!Available)
        return false;
    On = std::move(handlers);
    Running = true;
    return true;
}

QString TFakeInput::Problem() const
{
    return Available ? QString() : QStringLiteral("The fake desktop has no input monitor.");
}

IHotKey::TGrabResult TFakeHotKey::Grab(std::function<void()> onPress)
{
    // CommandOnly: the command still presses the key.
    Grabbed = Result == TGrabResult::Grabbed || Result == TGrabResult::CommandOnly;
    OnPress = Grabbed ? std::move(onPress) : nullptr;
    return Result;
}

void TFakeFrame::Show(int left, int top, int right, int bottom)
{
    Lines = QRect(QPoint(left, top), QPoint(right, bottom));
    Shown = true;
}

void TFakeFrame::SetAdjustable(const TFrameAdjust* adjust)
{
    Adjust = adjust ? std::optional<TFrameAdjust>(*adjust) : std::nullopt;
}

bool TFakeFrame::OnHandle(QPoint p) const
{
    return Adjust && Shown && GrabAt(Lines, p, Adjust->Resizable) != 0;
}

void TFakeFrame::Drag(int edges, QPoint delta)
{
    if (!Adjust || !Shown)
        return;
    if (!Adjust->Resizable)
        edges = EdgeAll;
    const QRect lines =
        DragFrameLines(Lines, edges, delta, Adjust->Screen, Adjust->MinSize, Adjust->MaxSize);
    if (lines == Lines)
        return;
    Lines = lines;
    // A handler may end the adjusting; it gets its own copy.
    const auto changed = Adjust->Changed;
    if (changed)
        changed(lines);
}

void TFakeFrame::Nudge(int dx, int dy)
{
    Drag(EdgeAll, {dx, dy});
}

QImage TFakeScreen::Read(const QRect& rect)
{
    LastRead = rect;
    ++Reads;
    QImage out(rect.size(), QImage::Format_RGB32);
    out.fill(Qt::black);
    QPainter painter(&out);
    painter.drawImage(QPoint(0, 0), Image, rect);
    // The stand-in's dark square, as a real screen shows it.
    if (Tray && Tray->IsStandIn() && !Tray->Cleared)
        painter.fillRect(Tray->Spot.translated(-rect.topLeft()), QColor(40, 40, 40));
    return out;
}

bool TFakeScreen::WatchChanges(const QRect& rect, std::function<void()> onChange)
{
    Watched = onChange ? rect : QRect();
    OnChange = CanWatch ? std::move(onChange) : nullptr;
    return CanWatch;
}

void TFakeTray::Show(std::function<void()> onClick, const QRect& avoid)
{
    OnClick = std::move(onClick);
    Avoided = avoid;
    Spot = TQtTrayIcon::StandInPlace(ScreenRect, avoid, StandInSize);
    Shown = true;
}

void TFakeTray::ClearForCapture(bool clear)
{
    Clears += clear;
    Cleared = clear;
}

int TFakePrompts::Count(const QString& kind) const
{
    int n = 0;
    for (const TMessage& m : Messages)
        n += m.Kind == kind;
    return n;
}

bool TFakePrompts::AskYesNo(const QString& title, const QString& text)
{
    Messages.push_back({QStringLiteral("question"), title, text});
    return Answer(title, text);
}

void TFakePrompts::ShowError(const QString& text)
{
    Messages.push_back({QStringLiteral("error"), QString(), text});
}

void TFakePrompts::ShowWarning(const QString& text)
{
    Messages.push_back({QStringLiteral("warning"), QString(), text});
}

TFakePlatform::TFakePlatform(QSize screenSize)
{
    ScreenFake.Image = QImage(screenSize, QImage::Format_RGB32);
    ScreenFake.Image.fill(QColor(0x20, 0x40, 0x80));
    ScreenFake.Tray = &TrayFake;
    TrayFake.ScreenRect = ScreenFake.Image.rect();
}

TFakePlatform::~TFakePlatform() = default;

void TFakeWindowPicker::Pick(std::function<void(const TWindowPick&)> done)
{
    ++Picks;
    Pressed.reset();
    if (!Refusal.isEmpty()) {
        Picking = false;
        TWindowPick failed;
        failed.Result = TWindowPick::TResult::Failed;
        failed.Why = Refusal;
        done(failed);
        return;
    }
    Done = std::move(done);
    Picking = true;
}

void TFakeWindowPicker::Finish(const TWindowPick& pick)
{
    Picking = false;
    Pressed.reset();
    const auto done = std::move(Done);
    Done = nullptr;
    if (done)
        done(pick);
}

void TFakePlatform::PressLeft(QPoint at)
{
    InputFake.Pointer = at;
    if (InputFake.Running && InputFake.On.LeftDown)
        InputFake.On.LeftDown(at);
    if (!PickerFake.Picking)
        return;
    PickerFake.Pressed.reset();
    PickerFake.PressedAt = at;
    for (const QRect& window : PickerFake.Windows)
        if (window.contains(at)) {
            PickerFake.Pressed = window;
            break;
        }
}

void TFakePlatform::ReleaseLeft(QPoint at)
{
    InputFake.Pointer = at;
    // A press on no window is taken and ignored; the pick goes on.
    const bool picked = PickerFake.Picking && PickerFake.Pressed;
    TWindowPick pick;
    if (picked) {
        pick.Result = TWindowPick::TResult::Picked;
        pick.Frame = *PickerFake.Pressed;
        pick.ClickedAt = PickerFake.PressedAt;
    }
    if (picked && PickerFake.EndsBeforeMonitor)
        PickerFake.Finish(pick);
    if (InputFake.Running && InputFake.On.LeftUp)
        InputFake.On.LeftUp(at);
    if (picked && !PickerFake.EndsBeforeMonitor && PickerFake.Picking)
        PickerFake.Finish(pick);
}

void TFakePlatform::PressEscape()
{
    if (PickerFake.Picking)
        PickerFake.Finish({});
}

void TFakePlatform::MoveMouse(QPoint to)
{
    InputFake.Pointer = to;
    if (InputFake.Running && InputFake.On.Move)
        InputFake.On.Move(to);
}

void TFakePlatform::Click(QPoint at)
{
    PressLeft(at);
    ReleaseLeft(at);
}

void TFakePlatform::PressPause()
{
    if (HotKeyFake.Grabbed && HotKeyFake.OnPress)
        HotKeyFake.OnPress();
}

void TFakePlatform::PressShiftPause()
{
    if (HotKeyFake.OnPause)
        HotKeyFake.OnPause();
}

void TFakePlatform::PaintScreen(const QRect& rect, QColor colour)
{
    QPainter(&ScreenFake.Image).fillRect(rect, colour);
    if (ScreenFake.OnChange && rect.intersects(ScreenFake.Watched))
        ScreenFake.OnChange();
}

void TFakePlatform::ClickTray()
{
    if (TrayFake.Shown && TrayFake.OnClick)
        TrayFake.OnClick();
}

void TFakePlatform::Advance(int ms)
{
    const long long end = Now + ms;
    for (;;) {
        // The earliest due timer fires first; a handler may start or stop any.
        TFakeTimer* next = nullptr;
        for (auto& [name, timer] : Timers)
            if (timer->Active && timer->DueMs <= end && (!next || timer->DueMs < next->DueMs))
                next = timer;
        if (!next)
            break;
        Now = next->DueMs;
        next->DueMs = Now + std::max(1, next->IntervalMs);
        if (next->Handler)
            next->Handler();
    }
    Now = end;
}

TFakeTimer* TFakePlatform::Timer(const QString& name) const
{
    auto it = Timers.find(name);
    return it == Timers.end() ? nullptr : it->second;
}

std::unique_ptr<ITimer> TFakePlatform::CreateTimer(const QString& name)
{
    return std::make_unique<TFakeTimer>(*this, name);
}

} // namespace platform
