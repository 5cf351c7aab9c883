// What one capture costs on a real X server, for a 640 x 480 and a
// 1920 x 1080 region: how long it holds the interface thread (the capture
// call, and the handling of its finished disk work) against its floor (grab
// + encode of the same region just before), and how long until it is on
// disk (its file flushed and the project saved with it). The same again with every flush made
// 100 ms slower, as on a USB stick or a network home, one capture at a time
// and four a second. Last, one save of a 1000-object project. Run it on an
// Xvfb screen of 1920 x 1080 (run.sh starts one). On a Wayland session
// (run.sh starts a headless one) the same captures copy from the stream.
#include "base/FileSync.h"
#include "base/GlobalVars.h"
#include "document/XMLUnit.h"
#include "export/FlashPic.h"
#include "platform/Platform.h"
#include "recording/Recorder.h"
#include "recording/Screenshot.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

using namespace quillora;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

struct TStats {
    double Median, P99;
};

TStats Stats(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    const size_t p99 = std::min(n - 1, size_t(std::max(0.0, std::ceil(0.99 * double(n)) - 1)));
    return {median, v[p99]};
}

// The X11 services, with messages printed instead of shown (a modal box
// would stop the run).
class TBenchPlatform : public platform::IPlatform, platform::IPrompts {
  public:
    explicit TBenchPlatform(platform::IPlatform& real) : Real(real) {}
    QString Name() const override { return Real.Name(); }
    platform::IInputMonitor& Input() override { return Real.Input(); }
    platform::IHotKey& HotKey() override { return Real.HotKey(); }
    platform::IScreenFrame& Frame() override { return Real.Frame(); }
    platform::IScreenReader& Screen() override { return Real.Screen(); }
    platform::ITrayIcon& Tray() override { return Real.Tray(); }
    platform::ISound& Sound() override { return Real.Sound(); }
    platform::IPrompts& Prompts() override { return *this; }
    std::unique_ptr<platform::ITimer> CreateTimer(const QString& name) override
    {
        return Real.CreateTimer(name);
    }
    bool AskYesNo(const QString&, const QString&) override { return true; }
    void ShowError(const QString& text) override { Print(text); }
    void ShowWarning(const QString& text) override { Print(text); }

  private:
    static void Print(const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    platform::IPlatform& Real;
};

// Times the events one object receives: the recorder's share of the
// interface thread outside its capture calls.
class TBenchApp : public QApplication {
  public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (receiver != Watched || !Watched)
            return QApplication::notify(receiver, event);
        const auto t0 = Clock::now();
        const bool result = QApplication::notify(receiver, event);
        Busy += Ms(Clock::now() - t0);
        return result;
    }
    QObject* Watched = nullptr;
    double Busy = 0;
};

TBenchApp* App = nullptr;

// Runs the event loop until done() holds or the deadline has passed.
void RunUntil(const std::function<bool()>& done, Clock::time_point deadline)
{
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (done() || Clock::now() >= deadline)
            loop.quit();
    });
    tick.start();
    if (!done() && Clock::now() < deadline)
        loop.exec();
}

class TBenchHost : public IRecordingHost {
  public:
    explicit TBenchHost(const std::string& file) : Doc(file) {}
    void HideMainWindow() override {}
    void ShowMainWindow() override {}
    void WriteRecordingHeader(int w, int h) override
    {
        Movie = GetMovie(Doc);
        Movie.SetWidth(w);
        Movie.SetHeight(h);
        Doc.Save();
    }
    TFlashPic& RebindAndGetPictureTool() override
    {
        Movie = GetMovie(Doc);
        Pic.MovieRef = &Movie;
        return Pic;
    }
    TXMLDocument Doc;
    IXMLMovie Movie;
    TFlashPic Pic;
};

// Something like a desktop: flat panels, a gradient, many lines of text and
// a photo-like noisy patch.
QImage MakeDesktop(QSize size)
{
    QImage img(size, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient g(0, 0, size.width(), size.height());
    g.setColorAt(0, QColor(30, 60, 110));
    g.setColorAt(1, QColor(120, 160, 200));
    p.fillRect(img.rect(), g);
    p.fillRect(QRect(100, 80, 1200, 800), Qt::white);
    p.fillRect(QRect(100, 80, 1200, 30), QColor(60, 60, 70));
    p.setPen(Qt::black);
    QFont font("DejaVu Sans", 10);
    p.setFont(font);
    for (int y = 130; y < 860; y += 18)
        p.drawText(120, y,
                   QStringLiteral("int main(int argc, char** argv) { return Capture(%1); } "
                                  "// the quick brown fox jumps over the lazy dog")
                       .arg(y));
    uint32_t seed = 12345;
    for (int y = 600; y < 1000; ++y)
        for (int x = 1350; x < 1850; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int n = int(seed >> 26);
            img.setPixel(x, y, qRgb(120 + (x % 100) + n, 90 + (y % 80) + n, 60 + n));
        }
    p.end();
    return img;
}

// The picture as the X root window's background.
void PaintX11Desktop(QImage img)
{
    const QSize size = img.size();
    Display* dpy = XOpenDisplay(nullptr);
    const int screen = DefaultScreen(dpy);
    const Window root = RootWindow(dpy, screen);
    const Pixmap pixmap = XCreatePixmap(dpy, root, unsigned(size.width()), unsigned(size.height()),
                                        unsigned(DefaultDepth(dpy, screen)));
    XImage* ximage =
        XCreateImage(dpy, DefaultVisual(dpy, screen), unsigned(DefaultDepth(dpy, screen)), ZPixmap,
                     0, reinterpret_cast<char*>(img.bits()), unsigned(size.width()),
                     unsigned(size.height()), 32, int(img.bytesPerLine()));
    XPutImage(dpy, pixmap, DefaultGC(dpy, screen), ximage, 0, 0, 0, 0, unsigned(size.width()),
              unsigned(size.height()));
    ximage->data = nullptr;
    XDestroyImage(ximage);
    XSetWindowBackgroundPixmap(dpy, root, pixmap);
    XClearWindow(dpy, root);
    XFreePixmap(dpy, pixmap);
    XSync(dpy, False);
    XCloseDisplay(dpy);
}

void Row(const char* what, const TStats& s, size_t n)
{
    std::printf("%-44s median %8.2f ms   p99 %8.2f ms   (n=%zu)\n", what, s.Median, s.P99, n);
}

struct TCaptureRun {
    std::vector<double> Floor;  // grab + encode of the region just before
    std::vector<double> Call;   // the capture call
    std::vector<double> Hold;   // the call + the recorder's events for it
    std::vector<double> OnDisk; // from the call to the save that holds it
};

// One recording, its captures taken in runs.
class TCaptureSession {
  public:
    TCaptureSession(TBenchPlatform& desk, const QString& folder, QSize size)
        : Desk(desk), Shots(folder + QStringLiteral("/shots%1").arg(size.width())),
          Host((Shots + "/Untitled.qlv").toStdString()), Recorder(Host, Globals, desk)
    {
        QDir().mkpath(Shots);
        const QString work = Shots + "/Untitled.qlv";
        QFile::copy(QString::fromStdString(ProgramDataFolder()) + "/blank.qlv", work);
        QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner);
        Globals.ScreenshotsDir = Shots.toStdString();
        Recorder.Start(size.width(), size.height(), false);
        QCoreApplication::processEvents();
        Region = QRect(Recorder.CaptureLeft() + 1, Recorder.CaptureTop() + 1, size.width(),
                       size.height());
        QObject::connect(&Recorder, &TRecorder::Saved, [this](int count) {
            const auto now = Clock::now();
            for (; Saved < count && Saved < int(Started.size()); ++Saved)
                if (Run)
                    Run->OnDisk.push_back(Ms(now - Started[size_t(Saved)]));
        });
        App->Watched = &Recorder;
    }
    ~TCaptureSession()
    {
        App->Watched = nullptr;
        Recorder.TrayIconClick();
    }

    // captures captures, each started interval ms after the one before, or
    // as soon as the one before is on disk when interval is 0.
    TCaptureRun Captures(int captures, int interval)
    {
        TCaptureRun run;
        Run = &run;
        for (int i = 0; i < captures; ++i) {
            // The floor in the same conditions (caches, clock, the other
            // programs on the machine) as the capture right after it.
            auto t0 = Clock::now();
            EncodeJpeg(Desk.Screen().Read(Region));
            run.Floor.push_back(Ms(Clock::now() - t0));
            App->Busy = 0;
            t0 = Clock::now();
            Started.push_back(t0);
            Recorder.CaptureScreenshot();
            const double call = Ms(Clock::now() - t0);
            const int taken = int(Started.size());
            if (interval == 0)
                RunUntil([&] { return Saved >= taken; }, t0 + std::chrono::seconds(10));
            else
                RunUntil([] { return false; }, t0 + std::chrono::milliseconds(interval));
            run.Call.push_back(call);
            // When the disk falls behind, work of the captures before lands
            // here too: the figure errs on the high side.
            run.Hold.push_back(call + App->Busy);
        }
        Recorder.FinishDiskWork();
        Run = nullptr;
        return run;
    }

    TBenchPlatform& Desk;
    QString Shots;
    TGlobalVars Globals;
    TBenchHost Host;
    TRecorder Recorder;
    QRect Region;

  private:
    std::vector<Clock::time_point> Started;
    int Saved = 0;
    TCaptureRun* Run = nullptr;
};

void PrintRun(const char* title, const TCaptureRun& run)
{
    std::printf("%s\n", title);
    Row("  grab + encode just before each capture", Stats(run.Floor), run.Floor.size());
    Row("  interface thread: capture call", Stats(run.Call), run.Call.size());
    Row("  interface thread: call + its done work", Stats(run.Hold), run.Hold.size());
    Row("  until on disk (file + project save)", Stats(run.OnDisk), run.OnDisk.size());
    std::printf("  hold / (grab + encode): median %.2f, p99 %.2f\n",
                Stats(run.Hold).Median / Stats(run.Floor).Median,
                Stats(run.Hold).P99 / Stats(run.Floor).P99);
}

void BenchSize(TBenchPlatform& desk, const QString& folder, QSize size, int captures)
{
    const QString shots = folder + QStringLiteral("/floor%1").arg(size.width());
    QDir().mkpath(shots);
    std::vector<double> grab, encode, both, sound, pointer, write;
    size_t bytes = 0;
    // The parts of a capture one by one, measured inside a recording.
    const auto parts = [&](const QRect& region) {
        QImage pixels;
        for (int i = 0; i < captures; ++i) {
            const auto t0 = Clock::now();
            pixels = desk.Screen().Read(region);
            grab.push_back(Ms(Clock::now() - t0));
        }
        for (int i = 0; i < captures; ++i) {
            const auto t0 = Clock::now();
            bytes = EncodeJpeg(pixels).size();
            encode.push_back(Ms(Clock::now() - t0));
        }
        // The two back to back, as a capture does them: a new picture each time.
        for (int i = 0; i < captures; ++i) {
            const auto t0 = Clock::now();
            EncodeJpeg(desk.Screen().Read(region));
            both.push_back(Ms(Clock::now() - t0));
        }
        // The rest of a capture call: the sound request and the pointer.
        const QString wav = QString::fromStdString(ProgramDataFolder()) + "/capture.wav";
        for (int i = 0; i < captures; ++i) {
            auto t0 = Clock::now();
            desk.Sound().Play(wav);
            sound.push_back(Ms(Clock::now() - t0));
            t0 = Clock::now();
            desk.Input().PointerPos();
            pointer.push_back(Ms(Clock::now() - t0));
        }
        const std::string jpeg = EncodeJpeg(pixels);
        for (int i = 0; i < captures; ++i) {
            const auto t0 = Clock::now();
            WriteScreenshotFile(shots.toStdString(), jpeg);
            write.push_back(Ms(Clock::now() - t0));
        }
    };
    // One recording for all runs: a desktop may not share its screen again
    // and again in quick succession.
    TCaptureSession session(desk, folder, size);
    parts(session.Region);
    const TCaptureRun fast = session.Captures(captures, 0);

    std::printf("capture %dx%d\n", size.width(), size.height());
    Row(desk.Name() == QLatin1String("wayland") ? "  grab alone (copy from the stream)"
                                                : "  grab alone (MIT-SHM)",
        Stats(grab), grab.size());
    Row("  encode alone (JPEG q90)", Stats(encode), encode.size());
    Row("  grab + encode back to back", Stats(both), both.size());
    Row("  sound request alone", Stats(sound), sound.size());
    Row("  pointer position alone", Stats(pointer), pointer.size());
    Row("  file write alone (with fdatasync)", Stats(write), write.size());
    std::printf("  floor (grab + encode medians)              %8.2f ms   JPEG %zu KiB\n",
                Stats(grab).Median + Stats(encode).Median, bytes / 1024);

    PrintRun("  one at a time, flushes as the disk has them", fast);
    // Every flush, of the pictures and of the project, 100 ms slower.
    SetSyncHook([](int) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return 0;
    });
    const int slow = std::min(captures, 40);
    PrintRun("  one at a time, every flush 100 ms slower", session.Captures(slow, 0));
    PrintRun("  four a second, every flush 100 ms slower", session.Captures(slow, 250));
    SetSyncHook({});
}

void BenchSave(const QString& folder, int objects, int runs)
{
    const std::string file = (folder + "/big.qlv").toStdString();
    QFile::copy(QString::fromStdString(ProgramDataFolder()) + "/blank.qlv",
                QString::fromStdString(file));
    QFile::setPermissions(QString::fromStdString(file), QFile::ReadOwner | QFile::WriteOwner);
    TXMLDocument doc(file);
    IXMLMovie movie = GetMovie(doc);
    TFlashPic pic;
    pic.MovieRef = &movie;
    // Objects as captures make them, but saved once at the end.
    for (int i = 0; i < objects; ++i) {
        IXMLObj obj = movie.GetObj().Add();
        obj.SetObjName("Pic" + std::to_string(i + 1));
        obj.SetMouseX(100 + i % 500);
        obj.SetMouseY(200 + i % 300);
        obj.SetStartTime(24 * i);
        obj.SetEndTime(24 * i + 24);
        obj.SetLayer(2);
        obj.SetObjTypeName("Pic");
        IXMLObjPic p = obj.GetObjType().GetObjPic();
        p.SetContent(folder.toStdString() + "/screenshots/" + std::to_string(10000000 + i) +
                     ".jpg");
        p.SetPositionX(0);
        p.SetPositionY(0);
        p.SetWidth(640);
        p.SetHeight(480);
        p.SetEffectName("None");
    }
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        doc.Save();
        times.push_back(Ms(Clock::now() - t0));
    }
    char label[80];
    std::snprintf(label, sizeof label, "save of a %d-object project (atomic)", objects);
    Row(label, Stats(times), times.size());
    std::printf("  file size %lld KiB\n", QFileInfo(QString::fromStdString(file)).size() / 1024);
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // figures so far survive a failed run
    TBenchApp app(argc, argv);
    App = &app;
    const bool wayland = QGuiApplication::platformName() == QLatin1String("wayland");
    if (QGuiApplication::platformName() != QLatin1String("xcb") && !wayland) {
        std::fprintf(stderr, "capture_bench needs an X display (QT_QPA_PLATFORM=xcb) or a "
                             "Wayland session (QT_QPA_PLATFORM=wayland)\n");
        return 2;
    }
    const int captures = argc > 1 ? std::atoi(argv[1]) : 100;
    QString why;
    auto real = platform::CreatePlatform(&why);
    TBenchPlatform desk(*real);
    QTemporaryDir tmp;
    QRect screen = desk.Screen().PrimaryScreen();
    if (wayland) {
        // The desktop background, through the compositor (sway's own command).
        const QString picture = tmp.path() + "/desktop.png";
        MakeDesktop(screen.size()).save(picture);
        QFile::setPermissions(picture, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        QFile::setPermissions(tmp.path(), QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther |
                                              QFile::ReadOwner | QFile::WriteOwner);
        QProcess::execute(QStringLiteral("sh"),
                          {"-c", "swaymsg output '*' bg \"$0\" fill >/dev/null", picture});
        QThread::msleep(500);
    } else {
        PaintX11Desktop(MakeDesktop(screen.size()));
    }
    std::printf("%s: screen %dx%d, %d captures per size, folder on %s\n", qPrintable(desk.Name()),
                screen.width(), screen.height(), captures, qPrintable(QDir::tempPath()));
    // The size that matters most first: a desktop may refuse to share its
    // screen a second time.
    for (QSize size : {QSize(1920, 1080), QSize(640, 480)}) {
        try {
            BenchSize(desk, tmp.path(), size, captures);
        } catch (const std::exception& error) {
            std::printf("capture %dx%d skipped: %s\n", size.width(), size.height(), error.what());
        }
    }
    BenchSave(tmp.path(), 1000, 30);
    return 0;
}
