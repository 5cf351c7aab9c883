// The X11 backend against a private Xvfb server: screen reads, the frame
// windows, the Pause grab and the RECORD mouse monitor. Skipped where Xvfb
// is not installed.
#include "platform/X11Platform.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>

#include <gtest/gtest.h>

// After gtest: Xlib's macros (None, Bool) would break its headers.
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

using namespace platform;

namespace {

pid_t ServerPid = 0;
std::string DisplayName;

class X11Test : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        if (access("/usr/bin/Xvfb", X_OK) != 0)
            return;
        DisplayName = ":" + std::to_string(140 + getpid() % 500);
        ServerPid = fork();
        if (ServerPid == 0) {
            execl("/usr/bin/Xvfb", "Xvfb", DisplayName.c_str(), "-screen", "0", "640x480x24",
                  "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 100; ++i) {
            if (Display* d = XOpenDisplay(DisplayName.c_str())) {
                XCloseDisplay(d);
                setenv("DISPLAY", DisplayName.c_str(), 1);
                return;
            }
            usleep(50000);
        }
        kill(ServerPid, SIGTERM);
        waitpid(ServerPid, nullptr, 0);
        ServerPid = 0;
    }
    static void TearDownTestSuite()
    {
        if (ServerPid) {
            kill(ServerPid, SIGTERM);
            waitpid(ServerPid, nullptr, 0);
            ServerPid = 0;
        }
    }

    void SetUp() override
    {
        if (!ServerPid)
            GTEST_SKIP() << "no Xvfb";
        Other = XOpenDisplay(DisplayName.c_str());
        ASSERT_NE(Other, nullptr);
        QString why;
        Desk = CreateX11Platform(&why);
        ASSERT_NE(Desk, nullptr) << why.toStdString();
    }
    void TearDown() override
    {
        Desk.reset();
        if (Other)
            XCloseDisplay(Other);
    }

    // Runs the event loop until done() or a second has passed.
    template <class F> bool WaitFor(F done)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < 2000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            usleep(2000);
        }
        return done();
    }

    unsigned long Pixel(unsigned r, unsigned g, unsigned b)
    {
        XColor c{};
        c.red = uint16_t(r * 257);
        c.green = uint16_t(g * 257);
        c.blue = uint16_t(b * 257);
        XAllocColor(Other, DefaultColormap(Other, 0), &c);
        return c.pixel;
    }

    // A plain window of one colour, placed without a window manager.
    Window Paint(QRect r, unsigned long pixel)
    {
        XSetWindowAttributes a{};
        a.override_redirect = True;
        a.background_pixel = pixel;
        Window w = XCreateWindow(Other, DefaultRootWindow(Other), r.x(), r.y(), unsigned(r.width()),
                                 unsigned(r.height()), 0, CopyFromParent, InputOutput,
                                 CopyFromParent, CWOverrideRedirect | CWBackPixel, &a);
        XMapRaised(Other, w);
        XSync(Other, False);
        usleep(20000);
        return w;
    }

    Display* Other = nullptr;
    std::unique_ptr<IPlatform> Desk;
};

TEST_F(X11Test, ReadsExactPixelsAndBlackBeyondTheScreen)
{
    EXPECT_EQ(Desk->Screen().PrimaryScreen(), QRect(0, 0, 640, 480));
    Window w = Paint(QRect(600, 400, 40, 80), Pixel(12, 34, 56));
    const QImage img = Desk->Screen().Read(QRect(610, 410, 60, 20));
    ASSERT_EQ(img.size(), QSize(60, 20));
    EXPECT_EQ(img.pixel(0, 0), qRgb(12, 34, 56));
    EXPECT_EQ(img.pixel(29, 19), qRgb(12, 34, 56));
    EXPECT_EQ(img.pixel(30, 0), qRgb(0, 0, 0)); // x 640: off the screen
    EXPECT_EQ(img.pixel(59, 19), qRgb(0, 0, 0));
    // Entirely off the screen, and a second size (the shared image is redone).
    EXPECT_EQ(Desk->Screen().Read(QRect(-50, -50, 10, 10)).pixel(5, 5), qRgb(0, 0, 0));
    EXPECT_EQ(Desk->Screen().Read(QRect(620, 470, 5, 5)).pixel(0, 0), qRgb(12, 34, 56));
    XDestroyWindow(Other, w);
}

TEST_F(X11Test, FrameLinesAreRedOutsideTheRegionAndLetClicksThrough)
{
    Window below = Paint(QRect(0, 0, 640, 480), Pixel(0, 0, 255));
    XSelectInput(Other, below, ButtonPressMask);
    Desk->Frame().Show(100, 50, 301, 151);
    XSync(Other, False);
    usleep(30000);
    const QImage img = Desk->Screen().Read(QRect(99, 49, 204, 104));
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255);
    EXPECT_EQ(img.pixel(1, 1), red);     // (100, 50)
    EXPECT_EQ(img.pixel(202, 1), red);   // (301, 50)
    EXPECT_EQ(img.pixel(1, 102), red);   // (100, 151)
    EXPECT_EQ(img.pixel(202, 102), red); // (301, 151)
    EXPECT_EQ(img.pixel(100, 1), red);
    EXPECT_EQ(img.pixel(2, 2), blue);     // first captured pixel
    EXPECT_EQ(img.pixel(201, 101), blue); // last captured pixel
    EXPECT_EQ(img.pixel(0, 0), blue);     // outside

    // A click on a frame line reaches the window below.
    XTestFakeMotionEvent(Other, 0, 200, 50, 0);
    XTestFakeButtonEvent(Other, 1, True, 0);
    XTestFakeButtonEvent(Other, 1, False, 0);
    XSync(Other, False);
    bool got = false;
    for (int i = 0; i < 50 && !got; ++i) {
        while (XPending(Other)) {
            XEvent e;
            XNextEvent(Other, &e);
            got |= e.type == ButtonPress && e.xbutton.window == below;
        }
        usleep(10000);
    }
    EXPECT_TRUE(got);

    Desk->Frame().Raise();
    Desk->Frame().RefreshScreen();
    Desk->Frame().Hide();
    EXPECT_FALSE(Desk->Frame().IsShown());
    XSync(Other, False);
    usleep(30000);
    EXPECT_EQ(Desk->Screen().Read(QRect(100, 50, 1, 1)).pixel(0, 0), blue);
    XDestroyWindow(Other, below);
}

TEST_F(X11Test, PauseTakenByAnotherClientIsReported)
{
    const KeyCode pause = XKeysymToKeycode(Other, XK_Pause);
    ASSERT_NE(pause, 0);
    XGrabKey(Other, pause, 0, DefaultRootWindow(Other), False, GrabModeAsync, GrabModeAsync);
    XSync(Other, False);
    EXPECT_EQ(Desk->HotKey().Grab([] {}), IHotKey::TGrabResult::Taken);
    EXPECT_FALSE(Desk->HotKey().IsGrabbed());
    XUngrabKey(Other, pause, 0, DefaultRootWindow(Other));
    XSync(Other, False);
    EXPECT_EQ(Desk->HotKey().Grab([] {}), IHotKey::TGrabResult::Grabbed);
}

TEST_F(X11Test, PauseArrivesWithNumLockOn)
{
    int presses = 0;
    ASSERT_EQ(Desk->HotKey().Grab([&] { ++presses; }), IHotKey::TGrabResult::Grabbed);
    const KeyCode pause = XKeysymToKeycode(Other, XK_Pause);
    const KeyCode numLock = XKeysymToKeycode(Other, XK_Num_Lock);
    auto tap = [&](KeyCode k) {
        XTestFakeKeyEvent(Other, k, True, 0);
        XTestFakeKeyEvent(Other, k, False, 0);
        XSync(Other, False);
    };
    tap(pause);
    EXPECT_TRUE(WaitFor([&] { return presses == 1; }));
    tap(numLock);
    tap(pause);
    EXPECT_TRUE(WaitFor([&] { return presses == 2; }));
    tap(numLock);
    Desk->HotKey().Release();
    tap(pause);
    WaitFor([] { return false; });
    EXPECT_EQ(presses, 2);
}

TEST_F(X11Test, RecordSeesClicksAndMovesWithRootCoordinates)
{
    std::vector<std::pair<char, QPoint>> seen;
    ASSERT_TRUE(Desk->Input().Start({[&](QPoint p) {
                                         seen.push_back({'d', p});
                                     },
                                     [&](QPoint p) {
                                         seen.push_back({'u', p});
                                     },
                                     [&](QPoint p) {
                                         seen.push_back({'m', p});
                                     }}))
        << Desk->Input().Problem().toStdString();
    XTestFakeMotionEvent(Other, 0, 123, 45, 0);
    XTestFakeButtonEvent(Other, 1, True, 0);
    XTestFakeMotionEvent(Other, 0, 130, 47, 0);
    XTestFakeButtonEvent(Other, 1, False, 0);
    XTestFakeButtonEvent(Other, 3, True, 0); // not the left button
    XTestFakeButtonEvent(Other, 3, False, 0);
    XWarpPointer(Other, None, DefaultRootWindow(Other), 0, 0, 0, 0, 200, 201);
    XSync(Other, False);
    ASSERT_TRUE(WaitFor([&] { return seen.size() >= 5; }));
    const std::vector<std::pair<char, QPoint>> want{
        {'m', {123, 45}}, {'d', {123, 45}}, {'m', {130, 47}}, {'u', {130, 47}}, {'m', {200, 201}}};
    EXPECT_EQ(seen, want);
    EXPECT_EQ(Desk->Input().PointerPos(), QPoint(200, 201));
    Desk->Input().Stop();
    XTestFakeMotionEvent(Other, 0, 10, 10, 0);
    XSync(Other, False);
    WaitFor([] { return false; });
    EXPECT_EQ(seen.size(), 5u);
    // A second start works on a fresh context.
    ASSERT_TRUE(Desk->Input().Start({nullptr, nullptr, [&](QPoint p) {
                                         seen.push_back({'m', p});
                                     }}));
    XTestFakeMotionEvent(Other, 0, 11, 12, 0);
    XSync(Other, False);
    EXPECT_TRUE(WaitFor([&] { return seen.size() == 6; }));
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv); // the offscreen platform: nothing of Qt on X
    return RUN_ALL_TESTS();
}

TEST_F(X11Test, PickFindsTheFrameOfTheWindowClickedAndKeepsTheClickFromIt)
{
    ASSERT_NE(Desk->WindowPicker(), nullptr);
    IWindowPicker& picker = *Desk->WindowPicker();
    const Window root = DefaultRootWindow(Other);
    const auto cardinals = [&](Window w, const char* name, std::vector<long> values) {
        XChangeProperty(Other, w, XInternAtom(Other, name, False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<unsigned char*>(values.data()),
                        int(values.size()));
    };
    // A window manager's frame at (50, 40), 300 x 200, holding its client
    // at (5, 25) with WM_STATE and the extents that say so.
    Window frame = Paint(QRect(50, 40, 300, 200), Pixel(90, 90, 90));
    XSetWindowAttributes a{};
    a.background_pixel = Pixel(0, 200, 0);
    a.event_mask = ButtonPressMask | ButtonReleaseMask;
    Window client = XCreateWindow(Other, frame, 5, 25, 290, 170, 0, CopyFromParent, InputOutput,
                                  CopyFromParent, CWBackPixel | CWEventMask, &a);
    const Atom wmState = XInternAtom(Other, "WM_STATE", False);
    long state[2] = {1, 0};
    XChangeProperty(Other, client, wmState, wmState, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(state), 2);
    cardinals(client, "_NET_FRAME_EXTENTS", {5, 5, 25, 5});
    XMapWindow(Other, client);
    // A client-side decorated window: its shadow is no part of it.
    Window shadowed = Paint(QRect(400, 100, 200, 150), Pixel(200, 0, 0));
    cardinals(shadowed, "_GTK_FRAME_EXTENTS", {10, 10, 10, 10});
    XSync(Other, False);

    std::vector<TWindowPick> picks;
    const auto pick = [&] {
        picker.Pick([&](const TWindowPick& p) { picks.push_back(p); });
    };
    const auto click = [&](int x, int y) {
        XTestFakeMotionEvent(Other, 0, x, y, 0);
        XTestFakeButtonEvent(Other, 1, True, 0);
        XTestFakeButtonEvent(Other, 1, False, 0);
        XSync(Other, False);
    };
    pick();
    ASSERT_TRUE(WaitFor([&] { return picker.IsPicking(); }));
    // The bare desktop is no window: the pick goes on.
    click(620, 470);
    WaitFor([&] { return !picks.empty(); });
    EXPECT_TRUE(picks.empty());
    EXPECT_TRUE(picker.IsPicking());
    click(150, 150);
    ASSERT_TRUE(WaitFor([&] { return !picks.empty(); }));
    EXPECT_EQ(picks[0].Result, TWindowPick::TResult::Picked);
    EXPECT_EQ(picks[0].Frame, QRect(50, 40, 300, 200));
    EXPECT_EQ(picks[0].ClickedAt, QPoint(150, 150));
    EXPECT_FALSE(picker.IsPicking());
    int seen = 0;
    while (XPending(Other)) {
        XEvent e;
        XNextEvent(Other, &e);
        seen += (e.type == ButtonPress || e.type == ButtonRelease) && e.xany.window == client;
    }
    EXPECT_EQ(seen, 0) << "the window saw the click that picked it";

    pick();
    ASSERT_TRUE(WaitFor([&] { return picker.IsPicking(); }));
    click(500, 170);
    ASSERT_TRUE(WaitFor([&] { return picks.size() == 2; }));
    EXPECT_EQ(picks[1].Frame, QRect(410, 110, 180, 130));

    // Escape gives the pick up, and the pointer back: a click reaches the window.
    pick();
    ASSERT_TRUE(WaitFor([&] { return picker.IsPicking(); }));
    const KeyCode escape = XKeysymToKeycode(Other, XK_Escape);
    XTestFakeKeyEvent(Other, escape, True, 0);
    XTestFakeKeyEvent(Other, escape, False, 0);
    XSync(Other, False);
    ASSERT_TRUE(WaitFor([&] { return picks.size() == 3; }));
    EXPECT_EQ(picks[2].Result, TWindowPick::TResult::Cancelled);
    click(150, 150);
    bool reached = false;
    for (int i = 0; i < 50 && !reached; ++i) {
        while (XPending(Other)) {
            XEvent e;
            XNextEvent(Other, &e);
            reached |= e.type == ButtonPress && e.xany.window == client;
        }
        usleep(10000);
    }
    EXPECT_TRUE(reached);

    // Another client holding the pointer: tried for a while, then why.
    ASSERT_EQ(XGrabPointer(Other, root, False, ButtonPressMask, GrabModeAsync, GrabModeAsync,
                           None, None, CurrentTime),
              GrabSuccess);
    XSync(Other, False);
    pick();
    QElapsedTimer clock;
    clock.start();
    while (picks.size() == 3 && clock.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        usleep(2000);
    }
    ASSERT_EQ(picks.size(), 4u);
    EXPECT_EQ(picks[3].Result, TWindowPick::TResult::Failed);
    EXPECT_FALSE(picks[3].Why.isEmpty());
    EXPECT_FALSE(picker.IsPicking());
    // Let go within the retries, and the pick goes ahead.
    pick();
    clock.restart();
    while (clock.elapsed() < 300) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        usleep(2000);
    }
    EXPECT_TRUE(picker.IsPicking()) << "still trying";
    XUngrabPointer(Other, CurrentTime);
    XSync(Other, False);
    clock.restart();
    while (clock.elapsed() < 300) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        usleep(2000);
    }
    click(150, 150);
    ASSERT_TRUE(WaitFor([&] { return picks.size() == 5; }));
    EXPECT_EQ(picks[4].Result, TWindowPick::TResult::Picked);
    // Cancelled, it calls nobody and holds nothing.
    pick();
    ASSERT_TRUE(WaitFor([&] { return picker.IsPicking(); }));
    picker.Cancel();
    EXPECT_FALSE(picker.IsPicking());
    EXPECT_EQ(XGrabPointer(Other, root, False, ButtonPressMask, GrabModeAsync, GrabModeAsync,
                           None, None, CurrentTime),
              GrabSuccess);
    XUngrabPointer(Other, CurrentTime);
    WaitFor([] { return false; });
    EXPECT_EQ(picks.size(), 5u);
    XDestroyWindow(Other, shadowed);
    XDestroyWindow(Other, frame);
    XSync(Other, False);
}
