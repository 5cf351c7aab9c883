// What one capture costs on a real X server: the whole routine (sound
// request, grab, JPEG encode, file write, append, atomic save) for a
// 640 x 480 and a 1920 x 1080 region, its floor (grab alone + encode alone),
// and one save of a 1000-object project. Run it on an Xvfb screen of
// 1920 x 1080 (run.sh starts one). On a Wayland session (run.sh starts a
// headless one) the same captures copy from the screen-cast stream.
#include "base/GlobalVars.h"
#include "document/XMLUnit.h"
#include "export/FlashPic.h"
#include "platform/Platform.h"
#include "recording/Recorder.h"
#include "recording/Screenshot.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
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

void BenchSize(TBenchPlatform& desk, const QString& folder, QSize size, int captures)
{
    const QString shots = folder + QStringLiteral("/shots%1").arg(size.width());
    QDir().mkpath(shots);
    const QString work = shots + "/Untitled.qlv";
    QFile::remove(work);
    QFile::copy(QString::fromStdString(ProgramDataFolder()) + "/blank.qlv", work);
    QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner);
    TGlobalVars globals;
    globals.ScreenshotsDir = shots.toStdString();
    TBenchHost host(work.toStdString());
    TRecorder recorder(host, globals, desk);
    recorder.Start(size.width(), size.height(), false);
    QCoreApplication::processEvents();

    std::vector<double> total, grab, encode;
    size_t bytes = 0;
    const QRect region(recorder.CaptureLeft() + 1, recorder.CaptureTop() + 1, size.width(),
                       size.height());
    for (int i = 0; i < captures; ++i) {
        const auto t0 = Clock::now();
        recorder.CaptureScreenshot();
        total.push_back(Ms(Clock::now() - t0));
        QCoreApplication::processEvents();
    }
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
    std::vector<double> write;
    const std::string jpeg = EncodeJpeg(pixels);
    const std::string writeDir = (shots + "/write").toStdString();
    QDir().mkpath(QString::fromStdString(writeDir));
    for (int i = 0; i < captures; ++i) {
        const auto t0 = Clock::now();
        WriteScreenshotFile(writeDir, jpeg);
        write.push_back(Ms(Clock::now() - t0));
    }
    recorder.TrayIconClick();

    char label[80];
    std::snprintf(label, sizeof label, "capture %dx%d (whole routine)", size.width(),
                  size.height());
    Row(label, Stats(total), total.size());
    Row(desk.Name() == QLatin1String("wayland") ? "  grab alone (copy from the stream)"
                                                : "  grab alone (MIT-SHM)",
        Stats(grab), grab.size());
    Row("  encode alone (JPEG q90)", Stats(encode), encode.size());
    Row("  file write alone (with fdatasync)", Stats(write), write.size());
    std::printf("  floor (grab + encode medians)              %8.2f ms   JPEG %zu KiB\n",
                Stats(grab).Median + Stats(encode).Median, bytes / 1024);
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
    QApplication app(argc, argv);
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
    BenchSize(desk, tmp.path(), QSize(640, 480), captures);
    BenchSize(desk, tmp.path(), QSize(1920, 1080), captures);
    BenchSave(tmp.path(), 1000, 30);
    return 0;
}
