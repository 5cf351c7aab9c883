#include "recording/Recorder.h"

#include "base/Error.h"
#include "base/GlobalVars.h"
#include "document/XMLDocument.h"
#include "export/FlashPic.h"
#include "platform/CaptureService.h"
#include "platform/FrameGeometry.h"
#include "platform/Platform.h"
#include "project/Recovery.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMetaObject>
#include <QSettings>
#include <QString>
#include <QThread>
#include <QtGlobal>

#include <cmath>
#include <exception>
#include <stdexcept>

namespace {

const QString StopQuestion = QStringLiteral("Stop recording?");
const QString StopTitle = QStringLiteral("Confirm");
// The top left captured pixel of the last recording's region.
const QString PlaceLeftKey = QStringLiteral("Recording/RegionLeft");
const QString PlaceTopKey = QStringLiteral("Recording/RegionTop");

} // namespace

TRecorder::TRecorder(IRecordingHost& host, TGlobalVars& globals, QObject* parent)
    : TRecorder(host, globals, platform::CurrentPlatform(), parent)
{
}

TRecorder::TRecorder(IRecordingHost& host, TGlobalVars& globals, platform::IPlatform& desktop,
                     QObject* parent)
    : QObject(parent), Host(host), Globals(globals), Desktop(desktop),
      Timer1(desktop.CreateTimer(QStringLiteral("Timer1"))),
      TimerAutoCapture(desktop.CreateTimer(QStringLiteral("TimerAutoCapture"))),
      TimerSettle(desktop.CreateTimer(QStringLiteral("TimerSettle"))),
      TimerSettleLimit(desktop.CreateTimer(QStringLiteral("TimerSettleLimit"))),
      TimerMenuCapture(desktop.CreateTimer(QStringLiteral("TimerMenuCapture"))),
      TimerCountdown(desktop.CreateTimer(QStringLiteral("TimerCountdown")))
{
    TimerCountdown->SetHandler([this] { CountdownTick(); });
    // Finished disk work is taken up on this (the interface) thread.
    Disk = std::make_unique<quillora::TDiskQueue>([this] {
        QMetaObject::invokeMethod(
            this, [this] { DiskWorkDone(); }, Qt::QueuedConnection);
    });
    Timer1->SetHandler([this] { Timer1Timer(); });
    TimerAutoCapture->SetHandler([this] { TimerAutoCaptureTimer(); });
    TimerSettle->SetHandler([this] { FinishSettle(); });
    TimerSettleLimit->SetHandler([this] { FinishSettle(); });
    TimerMenuCapture->SetHandler([this] {
        TimerMenuCapture->Stop();
        RequestCapture(TTrigger::Key, std::nullopt);
    });
    SoundPath = QString::fromStdString(quillora::ProgramDataFolder()) + "/capture.wav";
}

TRecorder::~TRecorder()
{
    // The host (our parent window) may be half destroyed by now: undo only
    // what is on the desktop.
    if (Recording)
        TearDown(false);
    // Only saves can still be queued here; they are finished, not dropped.
    Disk.reset();
}

bool TRecorder::IsRecording() const
{
    return Recording;
}

QRect TRecorder::FrameFor(const QRect& screen, int captureWidth, int captureHeight)
{
    // Halves go to the even neighbour (191.5 -> 192, 190.5 -> 190): the
    // default rounding mode of nearbyint.
    const int left = screen.left() + int(std::nearbyint((screen.width() - captureWidth) / 2.0));
    const int top = screen.top() + int(std::nearbyint((screen.height() - captureHeight) / 2.0));
    // One pen width (1) beyond the captured pixels on each side.
    return QRect(QPoint(left, top), QPoint(left + captureWidth + 1, top + captureHeight + 1));
}

void TRecorder::Start(int captureWidth, int captureHeight, bool autoMode)
{
    if (Recording)
        TearDown();
    // Before anything shows: on Wayland the desktop may ask the user first,
    // and a refusal leaves nothing half started.
    if (!ScreenOpen)
        OpenScreen();
    ScreenOpen = false;
    CaptureWidth = captureWidth;
    CaptureHeight = captureHeight;
    // Where the user left the region last time, centred the first time;
    // its pixels on the screen wherever they fit.
    const QRect screen = Desktop.Screen().PrimaryScreen();
    QRect lines = FrameFor(screen, captureWidth, captureHeight);
    const QSettings settings;
    const QVariant left = settings.value(PlaceLeftKey), top = settings.value(PlaceTopKey);
    if (left.isValid() && top.isValid())
        lines.moveTopLeft(QPoint(left.toInt(), top.toInt()) - QPoint(1, 1));
    lines = platform::KeepOnScreen(lines, screen);
    Left = lines.left();
    Top = lines.top();
    Right = lines.right();
    Bottom = lines.bottom();

    Host.HideMainWindow();
    IsPaused = false;
    Pictures = 0;
    Desktop.Tray().Show([this] { TrayIconClick(); }, lines);
    Desktop.Frame().Show(Left, Top, Right, Bottom);
    Timer1->Start(100);
    Recording = true;
    Auto = autoMode;
    try {
        Host.WriteRecordingHeader(captureWidth, captureHeight);
        HeaderSize = QSize(captureWidth, captureHeight);
    } catch (...) {
        // Nothing can be recorded into a project that cannot be saved.
        TearDown();
        throw;
    }

    // From here on the working project holds a recording not saved yet. A
    // folder that took the header takes the marker; should it not, the
    // recording still goes on, only without the offer after a crash.
    RecordingId = quillora::NewRecordingId();
    CaptureCount = 0;
    if (!Globals.UntitledBase.empty()) {
        try {
            quillora::WriteRecoveryMarker(Globals.UntitledBase, RecordingId);
        } catch (const std::exception& error) {
            qWarning("%s", error.what());
        }
    }

    QStringList problems;
    QString offerKey;
    LastKept = QImage();
    Desktop.Screen().WatchChanges(Region(), [this] { ScreenChanged(); });
    const bool watching = Desktop.Input().Start({[this](QPoint p) { HookLeftDown(p); },
                                                 [this](QPoint p) { HookLeftUp(p); },
                                                 [this](QPoint p) { HookMove(p); }});
    // Pause (and the capture command) capture in both modes; only manual
    // mode depends on them, so only there is a missing key worth a word.
    using platform::IHotKey;
    const IHotKey::TGrabResult key =
        Desktop.HotKey().Grab([this] { RequestCapture(TTrigger::Key, std::nullopt); });
    Desktop.HotKey().GrabPause([this] { TogglePause(); });
    if (Auto) {
        TimerAutoCapture->Start(500);
        if (!watching)
            problems << QStringLiteral("Mouse clicks cannot be watched, so clicks will not "
                                       "capture screenshots in this recording.\n%1")
                            .arg(Desktop.Input().Problem());
    } else {
        switch (key) {
        case IHotKey::TGrabResult::Grabbed:
            break;
        case IHotKey::TGrabResult::Taken:
            problems << QStringLiteral(
                "The Pause key is in use by another program, so pressing Pause will not "
                "capture screenshots in this recording.\nClose that program and start a new "
                "recording, or use Auto Capture.");
            break;
        case IHotKey::TGrabResult::CommandOnly:
            // Once per run: the binding, once made, stays. Where the
            // desktop's settings run the command on a key already, there is
            // nothing to say; where they can, Quillora offers to add it.
            if (!CommandHintShown) {
                const IHotKey::TDesktopKey desktopKey = Desktop.HotKey().DesktopKey();
                const QString hint =
                    QStringLiteral(
                        "This desktop lets no program take the Pause key. To capture with a "
                        "key, "
                        "bind one in the desktop's keyboard settings to the command\n\n%1\n\nIt "
                        "captures a screenshot while Quillora records.")
                        .arg(platform::CaptureCommand());
                if (desktopKey.CanAdd)
                    offerKey = hint + QStringLiteral(
                                          "\n\nAdd it to the desktop's keyboard settings now, on "
                                          "the Pause key? The key can be changed there later.");
                else if (desktopKey.Bound.isEmpty())
                    problems << hint;
            }
            CommandHintShown = true;
            break;
        case IHotKey::TGrabResult::Unsupported:
            problems << QStringLiteral("This keyboard has no Pause key, so Pause will not "
                                       "capture screenshots in this recording.\nUse Auto "
                                       "Capture instead.");
            break;
        }
    }
    Countdown = 0;
    // Asked once: on Wayland the answer takes a few calls over the bus.
    const platform::TCapabilities caps = Desktop.Capabilities();
    UsualKeys = caps.ManualText.isEmpty();
    ClicksCapture = caps.ClickCapture;
    SetAdjusting(true);
    // The count down begins once the window is picked: the hand is on the
    // mouse until then.
    const bool pick = FitOn && caps.FitWindow && Desktop.WindowPicker();
    if (Auto && !pick)
        StartCountdown();
    UpdateTray();
    // The recording goes on; the user only has to know what will not work.
    for (const QString& problem : problems)
        Desktop.Prompts().ShowWarning(problem);
    if (!offerKey.isEmpty() &&
        Desktop.Prompts().AskYesNo(QStringLiteral("Capture key"), offerKey)) {
        QString why;
        if (!Desktop.HotKey().AddDesktopKey(&why))
            Desktop.Prompts().ShowError(why);
    }
    // After the boxes: while the pointer is held, none of them could be
    // answered.
    if (pick)
        BeginPick();
}

void TRecorder::BeginPick()
{
    platform::IWindowPicker* picker = Desktop.WindowPicker();
    if (!picker || !Recording || Stopping)
        return;
    Picking = true;
    PickUpSeen = true;
    SkipUp = false;
    // The handles would only be in the way of the click.
    SetAdjusting(false);
    picker->Pick([this](const platform::TWindowPick& pick) { PickDone(pick); });
}

void TRecorder::PickDone(const platform::TWindowPick& pick)
{
    if (!Picking)
        return;
    Picking = false;
    using TResult = platform::TWindowPick::TResult;
    // The monitor hears the picking click too, perhaps only after the pick
    // ended: its release is no click inside the new frame.
    SkipUp = pick.Result == TResult::Picked && !PickUpSeen && Desktop.Input().IsRunning();
    PickUpSeen = true;
    if (!Recording)
        return;
    const QRect screen = Desktop.Screen().PrimaryScreen();
    std::optional<QRect> region;
    if (pick.Result == TResult::Picked)
        region = platform::FitRegion(pick.Frame, screen, QSize(MinSize, MinSize),
                                     QSize(MaxSize, MaxSize));
    if (region) {
        const QRect lines = platform::LinesOf(*region);
        Desktop.Frame().Show(lines.left(), lines.top(), lines.right(), lines.bottom());
        SetAdjusting(true);
        PlaceRegion(lines);
    } else {
        SetAdjusting(true);
    }
    if (Auto)
        StartCountdown();
    UpdateLabel();
    if (pick.Result == TResult::Failed)
        Desktop.Prompts().ShowWarning(
            QStringLiteral("No window can be picked, so the frame stays where it is.\n%1")
                .arg(pick.Why));
    else if (pick.Result == TResult::Picked && !region)
        Desktop.Prompts().ShowWarning(QStringLiteral(
            "That window is not on the screen being recorded, so the frame stays where it is."));
}

void TRecorder::SetAdjusting(bool on)
{
    Adjusting = on;
    DownOnHandle = false;
    if (!on) {
        Desktop.Frame().SetAdjustable(nullptr);
        UpdateLabel();
        return;
    }
    platform::TFrameAdjust adjust;
    adjust.Screen = Desktop.Screen().PrimaryScreen();
    adjust.MinSize = QSize(MinSize, MinSize);
    adjust.MaxSize = QSize(MaxSize, MaxSize);
    // Once pictures are taken the movie has their size: the region moves,
    // but keeps it.
    adjust.Resizable = CaptureCount == 0;
    adjust.Changed = [this](const QRect& lines) { RegionChanged(lines); };
    UpdateLabel();
    Desktop.Frame().SetAdjustable(&adjust);
}

void TRecorder::TogglePause()
{
    if (!Recording || Stopping || Picking)
        return;
    // A capture waiting for the screen was asked for before the pause.
    FinishSettle();
    TimerMenuCapture->Stop();
    IsPaused = !IsPaused;
    Desktop.Frame().SetPaused(IsPaused);
    // Paused, the frame may be placed again; running, only until the
    // first picture.
    SetAdjusting(IsPaused || CaptureCount == 0);
    TimerCountdown->Stop();
    Countdown = 0;
    if (!IsPaused && Auto) {
        // The pointer rests where the user left the menu or the key: that
        // is no rest for a picture.
        TimerAutoCapture->Stop();
        TimerAutoCapture->Start(500);
        StartCountdown();
    }
    UpdateLabel();
    UpdateTray();
}

void TRecorder::StartCountdown()
{
    if (!CountdownOn)
        return;
    Countdown = CountdownSeconds;
    TimerCountdown->Start(1000);
    UpdateLabel();
}

void TRecorder::CountdownTick()
{
    if (--Countdown > 0) {
        UpdateLabel();
        return;
    }
    Countdown = 0;
    TimerCountdown->Stop();
    // A rest from now on counts.
    if (Recording && Auto && !IsPaused) {
        TimerAutoCapture->Stop();
        TimerAutoCapture->Start(500);
    }
    UpdateLabel();
}

void TRecorder::MenuCapture()
{
    if (Recording && !IsPaused)
        TimerMenuCapture->Start(250);
}

QString TRecorder::StatusText() const
{
    if (!Recording)
        return {};
    return QStringLiteral("%1: %2 %3")
        .arg(IsPaused ? QStringLiteral("Paused") : QStringLiteral("Recording"))
        .arg(Pictures)
        .arg(Pictures == 1 ? QStringLiteral("picture") : QStringLiteral("pictures"));
}

void TRecorder::UpdateTray()
{
    if (!Recording) {
        Desktop.Tray().SetMenu({}, false);
        Desktop.Tray().SetStatus({});
        return;
    }
    Desktop.Tray().SetMenu({[this] { MenuCapture(); }, [this] { TogglePause(); },
                            [this] { TrayIconClick(); }},
                           IsPaused);
    Desktop.Tray().SetStatus(StatusText());
}

QString TRecorder::LabelText() const
{
    if (!Recording)
        return {};
    if (Picking)
        return QStringLiteral("%1 x %2\nClick the window to record: the frame fits it.\nEscape "
                              "keeps the frame where it is.")
            .arg(CaptureWidth)
            .arg(CaptureHeight);
    const QString countdown =
        Countdown > 0 ? QStringLiteral("Auto capture begins in %1 s").arg(Countdown) : QString();
    if (!Adjusting)
        return countdown;
    if (!countdown.isEmpty())
        return countdown + QLatin1Char('\n') + AdjustText();
    return AdjustText();
}

QString TRecorder::AdjustText() const
{
    const QString size = QStringLiteral("%1 x %2").arg(CaptureWidth).arg(CaptureHeight);
    // Only where the frame has handles is there a word about them.
    const bool handles = Desktop.Frame().CanAdjust();
    const QString place =
        !handles ? QString()
        : CaptureCount == 0
            ? QStringLiteral("Drag the border to move the frame, a corner or an edge to resize "
                             "it; the arrow keys move it (Shift: 10 pixels).\n")
            : QStringLiteral("Drag the border or use the arrow keys to move the frame; its size "
                             "stays that of the movie.\n");
    if (IsPaused)
        return QStringLiteral("Paused: %1\n%2Resume from the tray icon's menu or with %3.")
            .arg(size, place,
                 UsualKeys ? QStringLiteral("Shift+Pause") : QStringLiteral("quillora --pause"));
    QString begin;
    if (Auto)
        begin = ClicksCapture ? QStringLiteral("Click or rest the mouse inside the frame to capture.")
                              : QStringLiteral("Rest the mouse inside the frame to capture.");
    else if (UsualKeys)
        begin = QStringLiteral("Press Pause to capture.");
    else
        begin = QStringLiteral("Press the capture key or run quillora --capture to capture.");
    return QStringLiteral("%1\n%2%3").arg(size, place, begin);
}

void TRecorder::UpdateLabel()
{
    Desktop.Frame().SetLabel(LabelText());
}

void TRecorder::RegionChanged(const QRect& lines)
{
    if (!Recording || !Adjusting)
        return;
    PlaceRegion(lines);
}

void TRecorder::PlaceRegion(const QRect& lines)
{
    Left = lines.left();
    Top = lines.top();
    Right = lines.right();
    Bottom = lines.bottom();
    CaptureWidth = lines.width() - 2;
    CaptureHeight = lines.height() - 2;
    QSettings settings;
    settings.setValue(PlaceLeftKey, Left + 1);
    settings.setValue(PlaceTopKey, Top + 1);
    Desktop.Screen().WatchChanges(Region(), [this] { ScreenChanged(); });
    if (Desktop.Tray().StandInRect().intersects(lines))
        Desktop.Tray().Show([this] { TrayIconClick(); }, lines);
    // Still placing the frame: the count begins again.
    if (Countdown > 0)
        StartCountdown();
    UpdateLabel();
}

void TRecorder::OpenScreen()
{
    if (Recording)
        TearDown();
    QString closed;
    ScreenOpen = Desktop.Screen().Open(&closed);
    if (!ScreenOpen)
        throw std::runtime_error(closed.toStdString());
}

void TRecorder::TearDown(bool showHost)
{
    // A capture still waiting for the screen is taken now, not lost.
    FinishSettle();
    // Every capture taken so far is in the document, and the document on
    // disk, before the window shows it again. A slow disk may take a while.
    const bool busy =
        Disk->Pending() > 0 && qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (busy)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    DrainDisk();
    if (busy)
        QGuiApplication::restoreOverrideCursor();
    TimerAutoCapture->Stop();
    Desktop.Input().Stop();
    Desktop.HotKey().Release();
    Desktop.Screen().WatchChanges({}, nullptr);
    Timer1->Stop();
    TimerMenuCapture->Stop();
    TimerCountdown->Stop();
    Countdown = 0;
    if (Picking)
        if (platform::IWindowPicker* picker = Desktop.WindowPicker())
            picker->Cancel();
    Picking = false;
    SkipUp = false;
    Adjusting = false;
    IsPaused = false;
    Desktop.Frame().SetAdjustable(nullptr);
    Desktop.Frame().SetLabel({});
    Desktop.Frame().SetPaused(false);
    Desktop.Frame().Hide();
    Desktop.Frame().RefreshScreen();
    Desktop.Screen().Close();
    Desktop.Tray().Hide();
    Recording = false;
    UpdateTray();
    if (showHost) {
        Host.ShowMainWindow();
        ShowDiskErrors();
    } else {
        // The window is going away: no boxes any more.
        for (const QString& text : DiskErrors)
            qWarning("%s", qPrintable(text));
        DiskErrors.clear();
    }
}

void TRecorder::TrayIconClick()
{
    if (Stopping || !Recording)
        return;
    // The click's picture is taken before the question covers the screen.
    FinishSettle();
    Stopping = true;
    const bool yes = Desktop.Prompts().AskYesNo(StopTitle, StopQuestion);
    if (yes && Recording) {
        TearDown();
        Stopping = false;
        emit Stopped();
        return;
    }
    Stopping = false;
}

void TRecorder::Timer1Timer()
{
    Desktop.Frame().Raise();
}

bool TRecorder::InsideFrame(QPoint p) const
{
    return Left < p.x() && p.x() < Right && Top < p.y() && p.y() < Bottom;
}

void TRecorder::HookLeftDown(QPoint at)
{
    // The pick takes this click; the programs below never see it.
    if (Picking) {
        PickUpSeen = false;
        return;
    }
    Globals.DownX = at.x();
    Globals.DownY = at.y();
    DownOnHandle = Adjusting && Desktop.Frame().OnHandle(at);
}

void TRecorder::HookLeftUp(QPoint at)
{
    if (Picking || SkipUp) {
        PickUpSeen = true;
        SkipUp = false;
        return;
    }
    Globals.UpX = at.x();
    Globals.UpY = at.y();
    // A drag may leave stale pixels on windows that do not repaint by
    // themselves; ask all of them to.
    if (Globals.UpX - Globals.DownX != 0 || Globals.UpY - Globals.DownY != 0)
        Desktop.Frame().RefreshScreen();
    // The release of a drag on the frame's handles places the frame; it is
    // no click on the programs below.
    const bool placing = DownOnHandle;
    DownOnHandle = false;
    if (Auto && InsideFrame(at) && !Stopping && !placing && Countdown == 0)
        RequestCapture(TTrigger::Release, at);
}

void TRecorder::HookMove(QPoint)
{
    // Every move restarts the rest period.
    if (Auto && Recording) {
        TimerAutoCapture->Stop();
        TimerAutoCapture->Start(500);
    }
}

void TRecorder::TimerAutoCaptureTimer()
{
    const QPoint p = Desktop.Input().PointerPos();
    if (!Desktop.Input().KnowsPointer() || !InsideFrame(p) || Stopping || IsPaused ||
        Countdown > 0)
        return;
    if (std::abs(p.x() - AutoX) <= 3 && std::abs(p.y() - AutoY) <= 3)
        return;
    AutoX = p.x();
    AutoY = p.y();
    TimerAutoCapture->Stop();
    RequestCapture(TTrigger::Rest, p);
}

void TRecorder::Report(const QString& text)
{
    Desktop.Prompts().ShowError(text);
}

void TRecorder::CaptureScreenshot()
{
    Capture(TTrigger::Key, std::nullopt, false);
}

void TRecorder::RequestCapture(TTrigger trigger, std::optional<QPoint> pointer)
{
    if (!Recording || Capturing || ShowingDiskErrors || IsPaused || Picking)
        return;
    // One capture at a time: one still waiting is taken before this one.
    FinishSettle();
    // From the first capture on, the frame takes no click.
    if (Adjusting)
        SetAdjusting(false);
    const bool standIn = Desktop.Tray().StandInRect().intersects(Region());
    const bool trailing = Desktop.Screen().ReadsDeliveredFrames();
    if (trigger != TTrigger::Release && !standIn && !trailing) {
        Capture(trigger, pointer, false);
        return;
    }
    Pending = {true, trigger, pointer, standIn};
    // Where the stand-in cannot stay out of the region (the region fills
    // the screen), it leaves the screen for the read: the windows beneath
    // then show their own pixels, which a copy of an older picture could
    // not promise, and the wait below lets them repaint.
    if (standIn)
        Desktop.Tray().ClearForCapture(true);
    TimerSettleLimit->Start(SettleLimitMs);
    // A click's result, or the screen beneath the stand-in, is still to be
    // drawn: the quiet period counts from the first change. Otherwise only
    // frames on their way are waited for.
    if (trigger != TTrigger::Release && !standIn)
        TimerSettle->Start(SettleQuietMs);
}

void TRecorder::ScreenChanged()
{
    if (Pending.Active)
        TimerSettle->Start(SettleQuietMs);
}

void TRecorder::FinishSettle()
{
    if (!Pending.Active)
        return;
    const TPending pending = Pending;
    Pending = {};
    TimerSettle->Stop();
    TimerSettleLimit->Stop();
    Capture(pending.Trigger, pending.Pointer, pending.StandInCleared);
}

void TRecorder::Capture(TTrigger trigger, std::optional<QPoint> pointer, bool restoreStandIn)
{
    struct TRestoreStandIn {
        platform::ITrayIcon& Tray;
        bool Pending;
        void Now()
        {
            if (Pending)
                Tray.ClearForCapture(false);
            Pending = false;
        }
        ~TRestoreStandIn() { Now(); }
    } standIn{Desktop.Tray(), restoreStandIn};
    // One capture runs to its end before the next; a trigger that arrives
    // inside a message box of a capture is dropped.
    if (Capturing || ShowingDiskErrors || !Recording)
        return;
    Capturing = true;
    if (Adjusting)
        SetAdjusting(false);
    struct TEnd {
        bool& Flag;
        ~TEnd() { Flag = false; }
    } end{Capturing};

    try {
        // The movie has the region's size at the first capture.
        if (CaptureCount == 0 && HeaderSize != QSize(CaptureWidth, CaptureHeight)) {
            Host.WriteRecordingHeader(CaptureWidth, CaptureHeight);
            HeaderSize = QSize(CaptureWidth, CaptureHeight);
        }
        const QImage pixels = Desktop.Screen().Read(Region());
        standIn.Now();
        const QPoint p = pointer ? *pointer : Desktop.Input().PointerPos();
        // A rest over a screen that shows nothing new since the last picture
        // would only repeat it (after a click, the release took it already).
        if (trigger == TTrigger::Rest && pixels == LastKept)
            return;
        // The screen is read: the flash cannot show in this picture.
        Desktop.Frame().Flash();
        Desktop.Sound().Play(SoundPath);
        std::string jpeg = quillora::EncodeJpeg(pixels, 90);
        quillora::TCaptureNote note{
            RecordingId, ++CaptureCount, p.x() - Left, p.y() - Top, CaptureWidth, CaptureHeight,
            0, {}};
        const uint64_t ticket = Disk->WritePicture(Globals.ScreenshotsDir, std::move(jpeg),
                                                   NameSource, std::move(note));
        Shots[ticket] = {p.x() - Left, p.y() - Top, CaptureWidth, CaptureHeight};
        LastKept = pixels;
    } catch (const std::exception& error) {
        Report(QString::fromStdString(error.what()));
    }
}

void TRecorder::DiskWorkDone()
{
    HandleDone(Disk->Take());
    ShowDiskErrors();
}

void TRecorder::DrainDisk()
{
    // Appending a picture queues its save, so go on until nothing is left.
    while (Disk->WaitForDone())
        HandleDone(Disk->Take());
}

void TRecorder::FinishDiskWork()
{
    DrainDisk();
    ShowDiskErrors();
}

void TRecorder::HandleDone(const std::vector<quillora::TDiskQueue::TDone>& done)
{
    // Tickets are handed out in the order captures are taken and come back in
    // that order, so the objects are appended in it too.
    for (const quillora::TDiskQueue::TDone& job : done) {
        if (!job.Picture) {
            if (job.Error.empty())
                emit Saved(int(job.Tag));
            else
                DiskErrors.push_back(QString::fromStdString(job.Error));
            continue;
        }
        const auto shot = Shots.find(job.Ticket);
        if (shot == Shots.end())
            continue;
        const TShot values = shot->second;
        Shots.erase(shot);
        // A file that could not be written ends only its own capture: the
        // document stays as it was.
        if (!job.Error.empty()) {
            DiskErrors.push_back(QString::fromStdString(job.Error));
            // The next rest must not be taken for a repeat of a lost picture.
            LastKept = QImage();
            continue;
        }
        try {
            AppendPicture(values, job.Path);
        } catch (const std::exception& error) {
            DiskErrors.push_back(QString::fromStdString(error.what()));
        }
    }
}

void TRecorder::AppendPicture(const TShot& shot, const std::string& path)
{
    // The document is the interface thread's alone.
    Q_ASSERT(QThread::currentThread() == thread());
    TFlashPic& pic = Host.RebindAndGetPictureTool();
    pic.Content = path;
    pic.MouseX = shot.MouseX;
    pic.MouseY = shot.MouseY;
    pic.Width = shot.Width;
    pic.Height = shot.Height;
    const int count = pic.MovieRef ? pic.MovieRef->GetObj().Count() : 0;
    pic.StartTime = 24 * count;
    // The tool is the controller's: only this append goes to the disk thread.
    struct TRestore {
        TFlashPic& Pic;
        ~TRestore() { Pic.SaveAppendedRef = nullptr; }
    } restore{pic};
    pic.SaveAppendedRef = [this, count](const quillora::IXMLObj& obj) {
        QueueSave(obj, count + 1);
    };
    pic.AppendToDocument();
    Pictures = count + 1;
    if (Recording)
        Desktop.Tray().SetStatus(StatusText());
    emit Captured(count + 1);
}

void TRecorder::QueueSave(const quillora::XMLNodeBinding& appended, int objectCount)
{
    // The document stays on this thread; the disk thread gets its text.
    const std::string& file = appended.DocumentFileName();
    if (!appended.DocumentState() || file.empty())
        throw quillora::Error("Cannot save: the document has no file name");
    Disk->SaveFile(file, quillora::SerializeDocument(appended.DocumentState()->dom), objectCount);
}

void TRecorder::ShowDiskErrors()
{
    // Messages that come in while one is shown wait for it to close.
    if (ShowingDiskErrors)
        return;
    ShowingDiskErrors = true;
    while (!DiskErrors.empty()) {
        const QString text = DiskErrors.front();
        DiskErrors.pop_front();
        Report(text);
    }
    ShowingDiskErrors = false;
}
