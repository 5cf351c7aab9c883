// A window that answers a click late, as a busy program does: 150 ms after
// each left-button release it fills itself with the next colour of a list.
//
//   late-repaint X Y WIDTH HEIGHT
//
// Prints "ready" once mapped and "colour N RRGGBB" after each repaint.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

const unsigned long Colours[] = {0x303030, 0x2060d0, 0xd04020, 0x20b040, 0xe0c000, 0x8030a0};
constexpr int Count = sizeof Colours / sizeof Colours[0];
constexpr int DelayMs = 150;

long long NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s X Y WIDTH HEIGHT\n", argv[0]);
        return 2;
    }
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "late-repaint: no display\n");
        return 1;
    }
    const int screen = DefaultScreen(dpy);
    XSetWindowAttributes attrs{};
    // Placed exactly where asked, with or without a window manager.
    attrs.override_redirect = True;
    attrs.background_pixel = Colours[0];
    attrs.event_mask = ButtonReleaseMask | ExposureMask | StructureNotifyMask;
    const Window w = XCreateWindow(
        dpy, RootWindow(dpy, screen), std::atoi(argv[1]), std::atoi(argv[2]),
        unsigned(std::atoi(argv[3])), unsigned(std::atoi(argv[4])), 0, CopyFromParent,
        InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel | CWEventMask, &attrs);
    XStoreName(dpy, w, "late repaint");
    XMapRaised(dpy, w);
    const GC gc = XCreateGC(dpy, w, 0, nullptr);
    int shown = 0;
    long long due = -1;
    const auto paint = [&] {
        XSetForeground(dpy, gc, Colours[shown]);
        XFillRectangle(dpy, w, gc, 0, 0, 10000, 10000);
        XFlush(dpy);
    };
    for (;;) {
        while (XPending(dpy)) {
            XEvent event;
            XNextEvent(dpy, &event);
            if (event.type == MapNotify) {
                paint();
                std::printf("ready\n");
                std::fflush(stdout);
            } else if (event.type == Expose) {
                paint();
            } else if (event.type == ButtonRelease && event.xbutton.button == Button1) {
                due = NowMs() + DelayMs;
            }
        }
        int wait = -1;
        if (due >= 0) {
            wait = int(due - NowMs());
            if (wait <= 0) {
                due = -1;
                shown = (shown + 1) % Count;
                paint();
                std::printf("colour %d %06lX\n", shown, Colours[shown]);
                std::fflush(stdout);
                continue;
            }
        }
        pollfd fd{ConnectionNumber(dpy), POLLIN, 0};
        poll(&fd, 1, wait);
    }
}
