#include "recording/Recorder.h"

#include "base/Error.h"
#include "base/GlobalVars.h"
#include "document/XMLDocument.h"
#include "export/FlashPic.h"
#include "platform/CaptureService.h"
#include "platform/Platform.h"

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
      TimerAutoCapture(desktop.CreateTimer(QStringLiteral("TimerAutoCapture")))
{
    // Finished disk work is taken up on this (the interface) thread.
    Disk = std::make_unique<quillora::TDiskQueue>([this] {
        QMetaObject::invokeMethod(
            this, [this] { DiskWorkDone(); }, Qt::QueuedConnection);
    });
    Timer1->SetHandler([this] { Timer1Timer(); });
    TimerAutoCapture->SetHandler([this] { TimerAutoCaptureTimer(); });
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

    QStringList problems;
    const bool watching = Desktop.Input().Start({[this](QPoint p) { HookLeftDown(p); },
                                                 [this](QPoint p) { HookLeftUp(p); },
                                                 [this](QPoint p) { HookMove(p); }});
    if (Auto) {
        TimerAutoCapture->Start(500);
        if (!watching)
            problems << QStringLiteral("Mouse clicks cannot be watched, so clicks will not "
                                       "capture screenshots in this recording.\n%1")
                            .arg(Desktop.Input().Problem());
    } else {
        using platform::IHotKey;
        switch (Desktop.HotKey().Grab([this] { CaptureScreenshot(); })) {
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
    // Every capture taken so far is in the document, and the document on
    // disk, before the window shows it again. A slow disk may take a while.
    const bool busy =
        Disk->Pending() > 0 && qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (busy)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    DrainDisk();
    if (busy)
        QGuiApplication::restoreOverrideCursor();
    if (Auto) {
        TimerAutoCapture->Stop();
        Desktop.Input().Stop();
    } else {
        Desktop.Input().Stop();
        Desktop.HotKey().Release();
    }
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
        CaptureScreenshot();
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
    if (!InsideFrame(p) || Stopping)
        return;
    if (std::abs(p.x() - AutoX) <= 3 && std::abs(p.y() - AutoY) <= 3)
        return;
    AutoX = p.x();
    AutoY = p.y();
    TimerAutoCapture->Stop();
    CaptureScreenshot();
}

void TRecorder::Report(const QString& text)
{
    Desktop.Prompts().ShowError(text);
}

void TRecorder::CaptureScreenshot()
{
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
        Desktop.Sound().Play(SoundPath);
        const QImage pixels =
            Desktop.Screen().Read(QRect(Left + 1, Top + 1, CaptureWidth, CaptureHeight));
        const QPoint p = Desktop.Input().PointerPos();
        std::string jpeg = quillora::EncodeJpeg(pixels, 90);
        const uint64_t ticket =
            Disk->WritePicture(Globals.ScreenshotsDir, std::move(jpeg), NameSource);
        Shots[ticket] = {p.x() - Left, p.y() - Top, CaptureWidth, CaptureHeight};
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
