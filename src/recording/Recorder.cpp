#include "recording/Recorder.h"

#include "base/Error.h"
#include "base/GlobalVars.h"
#include "document/XMLDocument.h"
#include "export/FlashPic.h"
#include "platform/CaptureService.h"
#include "platform/Platform.h"
#include "project/Recovery.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMetaObject>
#include <QString>
#include <QThread>
#include <QtGlobal>

#include <cmath>
#include <exception>
#include <stdexcept>

namespace {

const QString StopQuestion = QStringLiteral("Stop recording?");
const QString StopTitle = QStringLiteral("Confirm");

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
      TimerSettleLimit(desktop.CreateTimer(QStringLiteral("TimerSettleLimit")))
{
    // Finished disk work is taken up on this (the interface) thread.
    Disk = std::make_unique<quillora::TDiskQueue>([this] {
        QMetaObject::invokeMethod(
            this, [this] { DiskWorkDone(); }, Qt::QueuedConnection);
    });
    Timer1->SetHandler([this] { Timer1Timer(); });
    TimerAutoCapture->SetHandler([this] { TimerAutoCaptureTimer(); });
    TimerSettle->SetHandler([this] { FinishSettle(); });
    TimerSettleLimit->SetHandler([this] { FinishSettle(); });
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
    const QRect lines = FrameFor(Desktop.Screen().PrimaryScreen(), captureWidth, captureHeight);
    Left = lines.left();
    Top = lines.top();
    Right = lines.right();
    Bottom = lines.bottom();

    Host.HideMainWindow();
    Desktop.Tray().Show([this] { TrayIconClick(); }, lines);
    Desktop.Frame().Show(Left, Top, Right, Bottom);
    Timer1->Start(100);
    Recording = true;
    Auto = autoMode;
    try {
        Host.WriteRecordingHeader(captureWidth, captureHeight);
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
            // Once per run: the binding, once made, stays.
            if (!CommandHintShown)
                problems
                    << QStringLiteral(
                           "This desktop lets no program take the Pause key. To capture with a "
                           "key, "
                           "bind one in the desktop's keyboard settings to the command\n\n%1\n\nIt "
                           "captures a screenshot while Quillora records.")
                           .arg(platform::CaptureCommand());
            CommandHintShown = true;
            break;
        case IHotKey::TGrabResult::Unsupported:
            problems << QStringLiteral("This keyboard has no Pause key, so Pause will not "
                                       "capture screenshots in this recording.\nUse Auto "
                                       "Capture instead.");
            break;
        }
    }
    // The recording goes on; the user only has to know what will not work.
    for (const QString& problem : problems)
        Desktop.Prompts().ShowWarning(problem);
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
    Desktop.Frame().Hide();
    Desktop.Frame().RefreshScreen();
    Desktop.Screen().Close();
    Desktop.Tray().Hide();
    Recording = false;
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
    Globals.DownX = at.x();
    Globals.DownY = at.y();
}

void TRecorder::HookLeftUp(QPoint at)
{
    Globals.UpX = at.x();
    Globals.UpY = at.y();
    // A drag may leave stale pixels on windows that do not repaint by
    // themselves; ask all of them to.
    if (Globals.UpX - Globals.DownX != 0 || Globals.UpY - Globals.DownY != 0)
        Desktop.Frame().RefreshScreen();
    if (Auto && InsideFrame(at) && !Stopping)
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
    if (!Desktop.Input().KnowsPointer() || !InsideFrame(p) || Stopping)
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
    if (!Recording || Capturing || ShowingDiskErrors)
        return;
    // One capture at a time: one still waiting is taken before this one.
    FinishSettle();
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
    struct TEnd {
        bool& Flag;
        ~TEnd() { Flag = false; }
    } end{Capturing};

    try {
        const QImage pixels = Desktop.Screen().Read(Region());
        standIn.Now();
        const QPoint p = pointer ? *pointer : Desktop.Input().PointerPos();
        // A rest over a screen that shows nothing new since the last picture
        // would only repeat it (after a click, the release took it already).
        if (trigger == TTrigger::Rest && pixels == LastKept)
            return;
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
