#include "platform/X11Platform.h"

#include "platform/CaptureService.h"
#include "platform/FrameGeometry.h"
#include "platform/QtServices.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>

#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/record.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>

#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <vector>

namespace platform {
namespace {

// --- errors ------------------------------------------------------------------
// Xlib's default error handler ends the process. Ours records errors while a
// trap is set (to learn, say, that Pause is taken) and otherwise only logs.

struct TTrapState {
    Display* Dpy = nullptr;
    int Error = 0;
};
TTrapState Trap;

int ErrorHandler(Display* dpy, XErrorEvent* event)
{
    if (Trap.Dpy == dpy) {
        if (!Trap.Error)
            Trap.Error = event->error_code;
        return 0;
    }
    char text[128] = {};
    XGetErrorText(dpy, event->error_code, text, sizeof text);
    std::fprintf(stderr, "quillora: X error %s (request %d)\n", text, event->request_code);
    return 0;
}

void InstallErrorHandler()
{
    static bool installed = false;
    if (!installed) {
        XSetErrorHandler(ErrorHandler);
        installed = true;
    }
}

class TErrorTrap {
  public:
    explicit TErrorTrap(Display* dpy)
    {
        XSync(dpy, False);
        Trap = {dpy, 0};
    }
    ~TErrorTrap() { Trap = {}; }
    // Waits for the server to answer everything sent so far.
    int Finish(Display* dpy)
    {
        XSync(dpy, False);
        const int error = Trap.Error;
        Trap = {};
        return error;
    }
};

// --- the main connection -------------------------------------------------------

class TX11Connection {
  public:
    Display* Dpy = nullptr;
    Window Root = 0;
    int ScreenNo = 0;

    explicit TX11Connection(Display* dpy) : Dpy(dpy)
    {
        ScreenNo = DefaultScreen(Dpy);
        Root = RootWindow(Dpy, ScreenNo);
        Notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(Dpy), QSocketNotifier::Read);
        QObject::connect(Notifier.get(), &QSocketNotifier::activated, [this] { ReadEvents(); });
    }
    ~TX11Connection()
    {
        Notifier.reset();
        XCloseDisplay(Dpy);
    }

    std::function<void(const XEvent&)> OnEvent;

    // Xlib may have read events into its queue during a request; the socket
    // then stays quiet, so callers ask for a look at the queue.
    void ReadEventsSoon()
    {
        QTimer::singleShot(0, Notifier.get(), [this] { ReadEvents(); });
    }

  private:
    void ReadEvents()
    {
        // Take everything first: a handler may run a modal loop that comes
        // back here.
        std::vector<XEvent> events;
        while (XPending(Dpy)) {
            XEvent event;
            XNextEvent(Dpy, &event);
            events.push_back(event);
        }
        for (const XEvent& event : events)
            if (OnEvent)
                OnEvent(event);
    }

    std::unique_ptr<QSocketNotifier> Notifier;
};

// --- mouse: RECORD ---------------------------------------------------------------

class TX11Input : public IInputMonitor {
  public:
    explicit TX11Input(TX11Connection& conn) : Conn(conn)
    {
        int major = 0, minor = 0;
        if (!XRecordQueryVersion(Conn.Dpy, &major, &minor))
            Why = QStringLiteral("The X server has no RECORD extension, so mouse clicks and "
                                 "moves cannot be watched.");
    }
    ~TX11Input() override { Stop(); }

    bool Start(Handlers handlers) override
    {
        Stop();
        if (!Why.isEmpty())
            return false;
        On = std::move(handlers);
        Data = XOpenDisplay(DisplayString(Conn.Dpy));
        if (!Data) {
            Why = QStringLiteral("Cannot open a second connection to the X server.");
            return false;
        }
        XRecordRange* range = XRecordAllocRange();
        range->device_events.first = ButtonPress;
        range->device_events.last = MotionNotify;
        XRecordClientSpec clients = XRecordAllClients;
        Context = XRecordCreateContext(Conn.Dpy, 0, &clients, 1, &range, 1);
        XFree(range);
        XSync(Conn.Dpy, False);
        if (!Context || !XRecordEnableContextAsync(Data, Context, &TX11Input::Intercept,
                                                   reinterpret_cast<XPointer>(this))) {
            Why = QStringLiteral("The X server refused to record mouse events.");
            Cleanup();
            return false;
        }
        XFlush(Data);
        Notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(Data), QSocketNotifier::Read);
        QObject::connect(Notifier.get(), &QSocketNotifier::activated, [this] { Read(); });
        Running = true;
        return true;
    }

    void Stop() override
    {
        if (!Data)
            return;
        Running = false;
        XRecordDisableContext(Conn.Dpy, Context);
        XSync(Conn.Dpy, False);
        Cleanup();
    }

    bool IsRunning() const override { return Running; }

    QPoint PointerPos() override
    {
        Window root = 0, child = 0;
        int rootX = 0, rootY = 0, winX = 0, winY = 0;
        unsigned mask = 0;
        XQueryPointer(Conn.Dpy, Conn.Root, &root, &child, &rootX, &rootY, &winX, &winY, &mask);
        Conn.ReadEventsSoon();
        return {rootX, rootY};
    }

    QString Problem() const override { return Why; }

  private:
    struct TEvent {
        int Type;
        QPoint At;
    };

    static void Intercept(XPointer self, XRecordInterceptData* data)
    {
        auto* input = reinterpret_cast<TX11Input*>(self);
        if (data->category == XRecordFromServer && data->data_len * 4 >= sizeof(xEvent)) {
            const auto* event = reinterpret_cast<const xEvent*>(data->data);
            const int type = event->u.u.type & 0x7f;
            const QPoint at(event->u.keyButtonPointer.rootX, event->u.keyButtonPointer.rootY);
            const bool left = event->u.u.detail == Button1;
            if (type == MotionNotify || ((type == ButtonPress || type == ButtonRelease) && left))
                input->Queue.push_back({type, at});
        }
        XRecordFreeData(data);
    }

    void Read()
    {
        if (!Data)
            return;
        XRecordProcessReplies(Data);
        // A handler may open a modal box whose loop brings us back here:
        // the inner call only queues, the outer loop hands everything out in
        // order.
        if (Dispatching)
            return;
        Dispatching = true;
        while (!Queue.empty() && Running) {
            const TEvent event = Queue.front();
            Queue.pop_front();
            const auto& handler = event.Type == ButtonPress     ? On.LeftDown
                                  : event.Type == ButtonRelease ? On.LeftUp
                                                                : On.Move;
            if (handler)
                handler(event.At);
        }
        Dispatching = false;
    }

    void Cleanup()
    {
        Notifier.reset();
        if (Context) {
            XRecordFreeContext(Conn.Dpy, Context);
            XSync(Conn.Dpy, False);
            Context = 0;
        }
        if (Data) {
            XCloseDisplay(Data);
            Data = nullptr;
        }
        Queue.clear();
    }

    TX11Connection& Conn;
    QString Why;
    Handlers On;
    Display* Data = nullptr;
    XRecordContext Context = 0;
    std::unique_ptr<QSocketNotifier> Notifier;
    std::deque<TEvent> Queue;
    bool Running = false;
    bool Dispatching = false;
};

// --- Pause key ---------------------------------------------------------------------

class TX11HotKey : public IHotKey {
  public:
    TX11HotKey(TX11Connection& conn, TCaptureService& service) : Conn(conn), Service(service) {}
    ~TX11HotKey() override { Release(); }

    TGrabResult Grab(std::function<void()> onPress) override
    {
        Release();
        // `quillora --capture` works whatever becomes of Pause.
        Service.SetHandler(onPress);
        Code = XKeysymToKeycode(Conn.Dpy, XK_Pause);
        if (!Code)
            return TGrabResult::Unsupported;
        Variants = LockVariants();
        TErrorTrap trap(Conn.Dpy);
        for (unsigned mods : Variants)
            XGrabKey(Conn.Dpy, Code, mods, Conn.Root, False, GrabModeAsync, GrabModeAsync);
        if (trap.Finish(Conn.Dpy) == BadAccess) {
            // Ungrabbing touches only our own grabs, never the other client's.
            for (unsigned mods : Variants)
                XUngrabKey(Conn.Dpy, Code, mods, Conn.Root);
            XSync(Conn.Dpy, False);
            Variants.clear();
            return TGrabResult::Taken;
        }
        OnPress = std::move(onPress);
        Grabbed = true;
        return TGrabResult::Grabbed;
    }

    TGrabResult GrabPause(std::function<void()> onPress) override
    {
        ReleasePause();
        Service.SetPauseHandler(onPress);
        const KeyCode code = XKeysymToKeycode(Conn.Dpy, XK_Pause);
        if (!code)
            return TGrabResult::Unsupported;
        Code = code;
        if (Variants.empty())
            Variants = LockVariants();
        TErrorTrap trap(Conn.Dpy);
        for (unsigned mods : Variants)
            XGrabKey(Conn.Dpy, Code, mods | ShiftMask, Conn.Root, False, GrabModeAsync,
                     GrabModeAsync);
        if (trap.Finish(Conn.Dpy) == BadAccess) {
            for (unsigned mods : Variants)
                XUngrabKey(Conn.Dpy, Code, mods | ShiftMask, Conn.Root);
            XSync(Conn.Dpy, False);
            return TGrabResult::Taken;
        }
        OnPause = std::move(onPress);
        PauseGrabbed = true;
        return TGrabResult::Grabbed;
    }

    void Release() override
    {
        Service.SetHandler(nullptr);
        ReleasePause();
        if (!Grabbed)
            return;
        for (unsigned mods : Variants)
            XUngrabKey(Conn.Dpy, Code, mods, Conn.Root);
        XFlush(Conn.Dpy);
        Grabbed = false;
        OnPress = nullptr;
    }

    bool IsGrabbed() const override { return Grabbed; }

    void Handle(const XEvent& event)
    {
        if (event.type != KeyPress || event.xkey.keycode != Code)
            return;
        // The grabs differ by Shift alone.
        if (event.xkey.state & ShiftMask) {
            if (PauseGrabbed && OnPause)
                OnPause();
        } else if (Grabbed && OnPress) {
            OnPress();
        }
    }

  private:
    // Every combination of CapsLock, NumLock and ScrollLock; the last two
    // take their modifier bits from the modifier mapping.
    std::vector<unsigned> LockVariants()
    {
        std::vector<unsigned> locks{LockMask};
        XModifierKeymap* map = XGetModifierMapping(Conn.Dpy);
        for (KeySym sym : {XK_Num_Lock, XK_Scroll_Lock}) {
            const KeyCode code = XKeysymToKeycode(Conn.Dpy, sym);
            if (!code || !map)
                continue;
            for (int mod = 0; mod < 8; ++mod)
                for (int k = 0; k < map->max_keypermod; ++k)
                    if (map->modifiermap[mod * map->max_keypermod + k] == code) {
                        const unsigned mask = 1u << mod;
                        if (mask != LockMask && mask != ShiftMask && mask != ControlMask &&
                            std::find(locks.begin(), locks.end(), mask) == locks.end())
                            locks.push_back(mask);
                    }
        }
        if (map)
            XFreeModifiermap(map);
        std::vector<unsigned> variants;
        for (unsigned subset = 0; subset < (1u << locks.size()); ++subset) {
            unsigned mods = 0;
            for (size_t i = 0; i < locks.size(); ++i)
                if (subset & (1u << i))
                    mods |= locks[i];
            variants.push_back(mods);
        }
        return variants;
    }

    void ReleasePause()
    {
        Service.SetPauseHandler(nullptr);
        if (!PauseGrabbed)
            return;
        for (unsigned mods : Variants)
            XUngrabKey(Conn.Dpy, Code, mods | ShiftMask, Conn.Root);
        XFlush(Conn.Dpy);
        PauseGrabbed = false;
        OnPause = nullptr;
    }

    TX11Connection& Conn;
    TCaptureService& Service;
    KeyCode Code = 0;
    std::vector<unsigned> Variants;
    std::function<void()> OnPress;
    std::function<void()> OnPause;
    bool Grabbed = false;
    bool PauseGrabbed = false;
};

// --- frame ---------------------------------------------------------------------------

class TX11Frame : public IScreenFrame {
  public:
    explicit TX11Frame(TX11Connection& conn) : Conn(conn)
    {
        int event = 0, error = 0;
        HasShape = XShapeQueryExtension(Conn.Dpy, &event, &error);
        RedPixel = Pixel(0xffff, 0, 0, WhitePixel(Conn.Dpy, Conn.ScreenNo));
        FlashPixel = Pixel(0xffff, 0xffff, 0, RedPixel);
    }
    ~TX11Frame() override
    {
        Hide();
        if (Dashes)
            XFreePixmap(Conn.Dpy, Dashes);
        for (Cursor cursor : Cursors)
            if (cursor)
                XFreeCursor(Conn.Dpy, cursor);
    }

    void Show(int left, int top, int right, int bottom) override
    {
        Hide();
        Place(QRect(QPoint(left, top), QPoint(right, bottom)));
    }

    void SetAdjustable(const TFrameAdjust* adjust) override
    {
        DestroyHandles();
        Grab = 0;
        Adjust = adjust ? std::optional<TFrameAdjust>(*adjust) : std::nullopt;
        if (Adjust && !Lines.isNull())
            Place(Lines);
        ShowLabel(Adjust.has_value());
    }

    bool IsAdjustable() const override { return Adjust.has_value(); }
    bool CanAdjust() const override { return true; }

    bool OnHandle(QPoint p) const override
    {
        return Adjust && !Windows.empty() && GrabAt(Lines, p, Adjust->Resizable) != 0;
    }

    void SetLabel(const QString& text) override
    {
        LabelText = text;
        ShowLabel(false);
    }

    void SetPaused(bool paused) override
    {
        Paused = paused;
        Paint(false);
    }

    void Flash() override
    {
        if (Windows.empty())
            return;
        Paint(true);
        QTimer::singleShot(150, &Receiver, [this] { Paint(false); });
    }

    void Raise() override
    {
        for (Window w : Windows)
            XRaiseWindow(Conn.Dpy, w);
        for (Window w : Handles)
            XRaiseWindow(Conn.Dpy, w);
        XFlush(Conn.Dpy);
        if (Label && Label->isVisible())
            Label->raise();
        // Pause presses read into Xlib's queue by another request are seen
        // within one tick at the latest.
        Conn.ReadEventsSoon();
    }

    void Hide() override
    {
        DestroyHandles();
        for (Window w : Windows)
            XDestroyWindow(Conn.Dpy, w);
        Windows.clear();
        XFlush(Conn.Dpy);
        if (Label)
            Label->hide();
        Lines = {};
        Paused = false;
    }

    bool IsShown() const override { return !Windows.empty(); }

    void RefreshScreen() override
    {
        // Mapping and unmapping a screen-sized window without a background
        // paints nothing but makes every window beneath repaint.
        XSetWindowAttributes attrs{};
        attrs.override_redirect = True;
        attrs.background_pixmap = None;
        const Window w = XCreateWindow(
            Conn.Dpy, Conn.Root, 0, 0, unsigned(DisplayWidth(Conn.Dpy, Conn.ScreenNo)),
            unsigned(DisplayHeight(Conn.Dpy, Conn.ScreenNo)), 0, CopyFromParent, InputOutput,
            CopyFromParent, CWOverrideRedirect | CWBackPixmap, &attrs);
        XMapRaised(Conn.Dpy, w);
        XDestroyWindow(Conn.Dpy, w);
        XFlush(Conn.Dpy);
    }

    // Presses, drags and releases on the handles.
    void Handle(const XEvent& event)
    {
        if (!Adjust)
            return;
        const bool ours = std::find(Handles.begin(), Handles.end(), event.xany.window) !=
                          Handles.end();
        if (!ours)
            return;
        if (event.type == ButtonPress && event.xbutton.button == Button1) {
            const QPoint at(event.xbutton.x_root, event.xbutton.y_root);
            Grab = GrabAt(Lines, at, Adjust->Resizable);
            GrabStart = at;
            GrabLines = Lines;
        } else if (event.type == MotionNotify && Grab) {
            // Only the newest position of a burst matters.
            XEvent latest = event;
            while (XCheckTypedWindowEvent(Conn.Dpy, event.xany.window, MotionNotify, &latest)) {
            }
            const QPoint at(latest.xmotion.x_root, latest.xmotion.y_root);
            MoveTo(DragFrameLines(GrabLines, Grab, at - GrabStart, Adjust->Screen, Adjust->MinSize,
                                  Adjust->MaxSize));
        } else if (event.type == ButtonRelease && event.xbutton.button == Button1) {
            Grab = 0;
        }
    }

  private:
    unsigned long Pixel(unsigned short r, unsigned short g, unsigned short b, unsigned long fallback)
    {
        XColor colour{};
        colour.red = r;
        colour.green = g;
        colour.blue = b;
        colour.flags = DoRed | DoGreen | DoBlue;
        if (XAllocColor(Conn.Dpy, DefaultColormap(Conn.Dpy, Conn.ScreenNo), &colour))
            return colour.pixel;
        return fallback;
    }

    static std::vector<QRect> LineRects(const QRect& l)
    {
        const int width = l.width(), height = l.height();
        return {{l.left(), l.top(), width, 1},
                {l.left(), l.bottom(), width, 1},
                {l.left(), l.top(), 1, height},
                {l.right(), l.top(), 1, height}};
    }

    // Creates the windows on their first placing, moves them afterwards
    // (a drag keeps its pointer grab only while its window stays).
    void Place(const QRect& lines)
    {
        Lines = lines;
        const std::vector<QRect> rects = LineRects(lines);
        if (Windows.empty()) {
            for (const QRect& line : rects) {
                XSetWindowAttributes attrs{};
                attrs.override_redirect = True;
                attrs.background_pixel = RedPixel;
                const Window w = XCreateWindow(
                    Conn.Dpy, Conn.Root, line.x(), line.y(), unsigned(std::max(1, line.width())),
                    unsigned(std::max(1, line.height())), 0, CopyFromParent, InputOutput,
                    CopyFromParent, CWOverrideRedirect | CWBackPixel, &attrs);
                XStoreName(Conn.Dpy, w, "Quillora frame");
                if (HasShape) // an empty input region: clicks fall through
                    XShapeCombineRectangles(Conn.Dpy, w, ShapeInput, 0, 0, nullptr, 0, ShapeSet,
                                            Unsorted);
                XMapRaised(Conn.Dpy, w);
                Windows.push_back(w);
            }
            Paint(false);
        } else {
            for (size_t i = 0; i < Windows.size(); ++i)
                MoveWindow(Windows[i], rects[i]);
        }
        if (Adjust)
            PlaceHandles();
        XFlush(Conn.Dpy);
    }

    void MoveWindow(Window w, const QRect& r)
    {
        XMoveResizeWindow(Conn.Dpy, w, r.x(), r.y(), unsigned(std::max(1, r.width())),
                          unsigned(std::max(1, r.height())));
    }

    // The bands that move the frame take the pointer without showing; the
    // handle squares show in red. All lie outside the captured pixels.
    void PlaceHandles()
    {
        const TFrameHandles h = HandlesOf(Lines);
        std::vector<std::pair<QRect, int>> places;
        for (const QRect& band : h.Bands)
            places.push_back({band, EdgeAll});
        if (Adjust->Resizable)
            for (int i = 0; i < 8; ++i)
                places.push_back({h.Handles[i], h.HandleEdges[i]});
        if (Handles.size() == places.size()) {
            for (size_t i = 0; i < places.size(); ++i)
                MoveWindow(Handles[i], places[i].first);
            return;
        }
        DestroyHandles();
        for (size_t i = 0; i < places.size(); ++i) {
            const QRect& r = places[i].first;
            const bool band = i < 4;
            XSetWindowAttributes attrs{};
            attrs.override_redirect = True;
            attrs.event_mask = ButtonPressMask | ButtonReleaseMask | ButtonMotionMask;
            attrs.cursor = CursorFor(places[i].second);
            attrs.background_pixel = RedPixel;
            const Window w = XCreateWindow(
                Conn.Dpy, Conn.Root, r.x(), r.y(), unsigned(r.width()), unsigned(r.height()), 0,
                band ? 0 : CopyFromParent, band ? InputOnly : InputOutput, CopyFromParent,
                CWOverrideRedirect | CWEventMask | CWCursor | (band ? 0 : CWBackPixel), &attrs);
            XStoreName(Conn.Dpy, w, "Quillora frame handle");
            XMapRaised(Conn.Dpy, w);
            Handles.push_back(w);
        }
    }

    void DestroyHandles()
    {
        for (Window w : Handles)
            XDestroyWindow(Conn.Dpy, w);
        Handles.clear();
        XFlush(Conn.Dpy);
    }

    Cursor CursorFor(int edges)
    {
        unsigned shape = XC_fleur;
        switch (edges) {
        case EdgeLeft | EdgeTop: shape = XC_top_left_corner; break;
        case EdgeRight | EdgeTop: shape = XC_top_right_corner; break;
        case EdgeRight | EdgeBottom: shape = XC_bottom_right_corner; break;
        case EdgeLeft | EdgeBottom: shape = XC_bottom_left_corner; break;
        case EdgeTop: shape = XC_top_side; break;
        case EdgeRight: shape = XC_right_side; break;
        case EdgeBottom: shape = XC_bottom_side; break;
        case EdgeLeft: shape = XC_left_side; break;
        default: break;
        }
        Cursor& cursor = Cursors[edges & 15];
        if (!cursor)
            cursor = XCreateFontCursor(Conn.Dpy, shape);
        return cursor;
    }

    void MoveTo(const QRect& lines)
    {
        if (lines == Lines)
            return;
        Place(lines);
        ShowLabel(false);
        // The handler may end the placing, and with it Adjust.
        const auto changed = Adjust ? Adjust->Changed : nullptr;
        if (changed)
            changed(lines);
    }

    void Nudge(int dx, int dy)
    {
        if (Adjust && !Windows.empty())
            MoveTo(DragFrameLines(Lines, EdgeAll, {dx, dy}, Adjust->Screen, Adjust->MinSize,
                                  Adjust->MaxSize));
    }

    void ShowLabel(bool takeFocus)
    {
        QScreen* screen = QGuiApplication::primaryScreen();
        for (QScreen* s : QGuiApplication::screens())
            if (s->geometry().contains(Lines.center()))
                screen = s;
        if (Windows.empty() || !screen || LabelText.isEmpty()) {
            if (Label)
                Label->hide();
            return;
        }
        // A widget; programs with a plain QGuiApplication show no label.
        if (!Label && qobject_cast<QApplication*>(QCoreApplication::instance())) {
            Label = std::make_unique<TFrameLabel>();
            Label->Nudge = [this](int dx, int dy) { Nudge(dx, dy); };
        }
        if (!Label)
            return;
        Label->SetText(LabelText);
        const QRect root(0, 0, DisplayWidth(Conn.Dpy, Conn.ScreenNo),
                         DisplayHeight(Conn.Dpy, Conn.ScreenNo));
        Label->ShowAt(LabelPlace(Lines, root, Label->PhysicalSize(screen)), screen, takeFocus);
    }

    // Red lines; dashed red and white while paused; yellow for a flash.
    void Paint(bool flash)
    {
        if (Paused && !Dashes) {
            Dashes = XCreatePixmap(Conn.Dpy, Conn.Root, 8, 8,
                                   unsigned(DefaultDepth(Conn.Dpy, Conn.ScreenNo)));
            GC gc = XCreateGC(Conn.Dpy, Dashes, 0, nullptr);
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) {
                    XSetForeground(Conn.Dpy, gc,
                                   ((x + y) / 4) % 2 ? WhitePixel(Conn.Dpy, Conn.ScreenNo)
                                                     : RedPixel);
                    XDrawPoint(Conn.Dpy, Dashes, gc, x, y);
                }
            XFreeGC(Conn.Dpy, gc);
        }
        for (Window w : Windows) {
            if (flash)
                XSetWindowBackground(Conn.Dpy, w, FlashPixel);
            else if (Paused)
                XSetWindowBackgroundPixmap(Conn.Dpy, w, Dashes);
            else
                XSetWindowBackground(Conn.Dpy, w, RedPixel);
            XClearWindow(Conn.Dpy, w);
        }
        XFlush(Conn.Dpy);
    }

    TX11Connection& Conn;
    bool HasShape = false;
    unsigned long RedPixel = 0;
    unsigned long FlashPixel = 0;
    Pixmap Dashes = 0;
    bool Paused = false;
    std::vector<Window> Windows;
    std::vector<Window> Handles;
    Cursor Cursors[16] = {};
    QRect Lines;
    std::optional<TFrameAdjust> Adjust;
    int Grab = 0;
    QPoint GrabStart;
    QRect GrabLines;
    QString LabelText;
    std::unique_ptr<TFrameLabel> Label;
    QObject Receiver; // the flash's timer dies with the frame
};

// --- screen -----------------------------------------------------------------------------

class TX11Screen : public IScreenReader {
  public:
    explicit TX11Screen(TX11Connection& conn) : Conn(conn)
    {
        UseShm = XShmQueryExtension(Conn.Dpy);
        int error = 0;
        HasDamage = XDamageQueryExtension(Conn.Dpy, &DamageEvent, &error);
    }
    ~TX11Screen() override
    {
        WatchChanges({}, nullptr);
        FreeShm();
    }

    // DAMAGE on the root window reports drawing into every window on the
    // screen. Each new rectangle is reported on its own: a bounding box
    // would join the frame's lines around the region, redrawn whenever
    // they are raised, into a box over the whole region, and the screen
    // would never look quiet. Subtracting after each report re-arms it.
    bool WatchChanges(const QRect& rect, std::function<void()> onChange) override
    {
        if (Damage) {
            XDamageDestroy(Conn.Dpy, Damage);
            XFlush(Conn.Dpy);
            Damage = 0;
        }
        OnChange = std::move(onChange);
        Watched = rect;
        if (!OnChange || !HasDamage)
            return false;
        Damage = XDamageCreate(Conn.Dpy, Conn.Root, XDamageReportDeltaRectangles);
        XFlush(Conn.Dpy);
        return Damage != 0;
    }

    void Handle(const XEvent& event)
    {
        if (!Damage || event.type != DamageEvent + XDamageNotify)
            return;
        const auto& notify = reinterpret_cast<const XDamageNotifyEvent&>(event);
        if (notify.damage != Damage)
            return;
        XDamageSubtract(Conn.Dpy, Damage, None, None);
        XFlush(Conn.Dpy);
        const QRect area(notify.area.x, notify.area.y, notify.area.width, notify.area.height);
        if (OnChange && area.intersects(Watched))
            OnChange();
    }

    QRect PrimaryScreen() override
    {
        const QRect root(0, 0, DisplayWidth(Conn.Dpy, Conn.ScreenNo),
                         DisplayHeight(Conn.Dpy, Conn.ScreenNo));
        QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen || QGuiApplication::screens().size() < 2)
            return root;
        // Qt keeps a screen's top-left corner in device pixels and scales its
        // size only.
        const QRect logical = screen->geometry();
        return QRect(logical.topLeft(), logical.size() * screen->devicePixelRatio()) & root;
    }

    QImage Read(const QRect& rect) override
    {
        QImage out(rect.size(), QImage::Format_RGB32);
        out.fill(Qt::black);
        const QRect root(0, 0, DisplayWidth(Conn.Dpy, Conn.ScreenNo),
                         DisplayHeight(Conn.Dpy, Conn.ScreenNo));
        const QRect part = rect & root; // the server refuses any pixel off the screen
        if (part.isEmpty())
            return out;
        XImage* image = nullptr;
        bool shared = false;
        if (UseShm && PrepareShm(part.size())) {
            if (XShmGetImage(Conn.Dpy, Conn.Root, Shm, part.x(), part.y(), AllPlanes)) {
                image = Shm;
                shared = true;
            }
        }
        if (!image)
            image = XGetImage(Conn.Dpy, Conn.Root, part.x(), part.y(), unsigned(part.width()),
                              unsigned(part.height()), AllPlanes, ZPixmap);
        if (!image)
            return out;
        Copy(*image, out, part.topLeft() - rect.topLeft());
        if (!shared)
            XDestroyImage(image);
        return out;
    }

  private:
    static void Copy(const XImage& image, QImage& out, QPoint to)
    {
        const bool direct = image.bits_per_pixel == 32 && image.red_mask == 0xff0000 &&
                            image.green_mask == 0xff00 && image.blue_mask == 0xff &&
                            image.byte_order == LSBFirst;
        for (int y = 0; y < image.height; ++y) {
            auto* dst = reinterpret_cast<uint32_t*>(out.scanLine(to.y() + y)) + to.x();
            if (direct) {
                const auto* src = reinterpret_cast<const uint32_t*>(
                    image.data + size_t(y) * image.bytes_per_line);
                for (int x = 0; x < image.width; ++x)
                    dst[x] = src[x] | 0xff000000u;
                continue;
            }
            for (int x = 0; x < image.width; ++x) {
                const unsigned long p = XGetPixel(const_cast<XImage*>(&image), x, y);
                dst[x] = 0xff000000u | (Channel(p, image.red_mask) << 16) |
                         (Channel(p, image.green_mask) << 8) | Channel(p, image.blue_mask);
            }
        }
    }

    static uint32_t Channel(unsigned long pixel, unsigned long mask)
    {
        if (!mask)
            return 0;
        int shift = 0;
        while (!(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        const unsigned long value = (pixel >> shift) & mask;
        return uint32_t(value * 255 / mask);
    }

    bool PrepareShm(QSize size)
    {
        if (Shm && Shm->width == size.width() && Shm->height == size.height())
            return true;
        FreeShm();
        Visual* visual = DefaultVisual(Conn.Dpy, Conn.ScreenNo);
        const int depth = DefaultDepth(Conn.Dpy, Conn.ScreenNo);
        Shm = XShmCreateImage(Conn.Dpy, visual, unsigned(depth), ZPixmap, nullptr, &Info,
                              unsigned(size.width()), unsigned(size.height()));
        if (!Shm)
            return UseShm = false;
        Info.shmid = shmget(IPC_PRIVATE, size_t(Shm->bytes_per_line) * size_t(Shm->height),
                            IPC_CREAT | 0600);
        if (Info.shmid < 0) {
            XDestroyImage(Shm);
            Shm = nullptr;
            return UseShm = false;
        }
        Info.shmaddr = Shm->data = static_cast<char*>(shmat(Info.shmid, nullptr, 0));
        Info.readOnly = False;
        TErrorTrap trap(Conn.Dpy);
        XShmAttach(Conn.Dpy, &Info);
        const int error = trap.Finish(Conn.Dpy);
        // Marked for removal now, so the segment goes away with us even on a crash.
        shmctl(Info.shmid, IPC_RMID, nullptr);
        if (error || Info.shmaddr == reinterpret_cast<char*>(-1)) {
            // A remote server cannot share our memory: plain reads from now on.
            Attached = false;
            FreeShm();
            return UseShm = false;
        }
        Attached = true;
        return true;
    }

    void FreeShm()
    {
        if (!Shm)
            return;
        if (Attached) {
            XShmDetach(Conn.Dpy, &Info);
            XSync(Conn.Dpy, False);
        }
        if (Info.shmaddr && Info.shmaddr != reinterpret_cast<char*>(-1))
            shmdt(Info.shmaddr);
        Shm->data = nullptr;
        XDestroyImage(Shm);
        Shm = nullptr;
        Info = {};
        Attached = false;
    }

    TX11Connection& Conn;
    bool HasDamage = false;
    int DamageEvent = 0;
    ::Damage Damage = 0;
    QRect Watched;
    std::function<void()> OnChange;
    bool UseShm = false;
    bool Attached = false;
    XImage* Shm = nullptr;
    XShmSegmentInfo Info{};
};

// --- picking a window ----------------------------------------------------------------

class TX11WindowPicker : public IWindowPicker {
  public:
    explicit TX11WindowPicker(TX11Connection& conn) : Conn(conn)
    {
        WmState = XInternAtom(Conn.Dpy, "WM_STATE", False);
        FrameExtents = XInternAtom(Conn.Dpy, "_NET_FRAME_EXTENTS", False);
        GtkExtents = XInternAtom(Conn.Dpy, "_GTK_FRAME_EXTENTS", False);
        WmPid = XInternAtom(Conn.Dpy, "_NET_WM_PID", False);
        Escape = XKeysymToKeycode(Conn.Dpy, XK_Escape);
        Retry.setSingleShot(true);
        QObject::connect(&Retry, &QTimer::timeout, [this] { TryGrab(); });
    }
    ~TX11WindowPicker() override
    {
        Cancel();
        if (Crosshair)
            XFreeCursor(Conn.Dpy, Crosshair);
    }

    void Pick(std::function<void(const TWindowPick&)> done) override
    {
        Cancel();
        Done = std::move(done);
        Attempts = 0;
        TryGrab();
    }

    void Cancel() override
    {
        Retry.stop();
        Done = nullptr;
        Ungrab();
    }

    bool IsPicking() const override { return Grabbed || Retry.isActive(); }

    void Handle(const XEvent& event)
    {
        if (!Grabbed)
            return;
        if (event.type == KeyPress && event.xkey.keycode == Escape) {
            Finish({});
        } else if (event.type == ButtonPress && event.xbutton.button == Button1) {
            PressedAt = QPoint(event.xbutton.x_root, event.xbutton.y_root);
            Target = FrameUnderPointer();
        } else if (event.type == ButtonRelease && event.xbutton.button == Button1 && Target) {
            // The release too is ours; only then does the pointer go back.
            TWindowPick pick;
            pick.Result = TWindowPick::TResult::Picked;
            pick.Frame = *Target;
            pick.ClickedAt = PressedAt;
            Finish(pick);
        }
    }

  private:
    // Right after the dialog closes a window manager or a menu may hold the
    // pointer for a moment: try again for about two seconds.
    void TryGrab()
    {
        if (!Crosshair)
            Crosshair = XCreateFontCursor(Conn.Dpy, XC_crosshair);
        const int pointer = XGrabPointer(Conn.Dpy, Conn.Root, False,
                                         ButtonPressMask | ButtonReleaseMask, GrabModeAsync,
                                         GrabModeAsync, None, Crosshair, CurrentTime);
        // The keyboard too, for Escape; while it is held no key reaches
        // another program.
        const int keyboard = pointer == GrabSuccess
                                 ? XGrabKeyboard(Conn.Dpy, Conn.Root, False, GrabModeAsync,
                                                 GrabModeAsync, CurrentTime)
                                 : GrabNotViewable;
        if (pointer == GrabSuccess && keyboard == GrabSuccess) {
            Grabbed = true;
            Target.reset();
            XFlush(Conn.Dpy);
            return;
        }
        if (pointer == GrabSuccess)
            XUngrabPointer(Conn.Dpy, CurrentTime);
        XFlush(Conn.Dpy);
        if (++Attempts < 20) {
            Retry.start(100);
            return;
        }
        TWindowPick failed;
        failed.Result = TWindowPick::TResult::Failed;
        failed.Why = QStringLiteral("Another program holds the mouse or the keyboard.");
        const auto done = std::move(Done);
        Done = nullptr;
        if (done)
            done(failed);
    }

    void Ungrab()
    {
        if (!Grabbed)
            return;
        XUngrabPointer(Conn.Dpy, CurrentTime);
        XUngrabKeyboard(Conn.Dpy, CurrentTime);
        XFlush(Conn.Dpy);
        Grabbed = false;
        Target.reset();
    }

    void Finish(const TWindowPick& pick)
    {
        Ungrab();
        const auto done = std::move(Done);
        Done = nullptr;
        if (done)
            done(pick);
    }

    // The frame of the top-level window under the pointer: the client's
    // rectangle grown by the window manager's _NET_FRAME_EXTENTS where it
    // sets them, else the top-level's own; a client-side decorated window
    // loses its shadow (_GTK_FRAME_EXTENTS). None over the bare desktop and
    // over our own windows.
    std::optional<QRect> FrameUnderPointer()
    {
        Window root = 0, child = 0;
        int rootX = 0, rootY = 0, winX = 0, winY = 0;
        unsigned mask = 0;
        if (!XQueryPointer(Conn.Dpy, Conn.Root, &root, &child, &rootX, &rootY, &winX, &winY,
                           &mask) ||
            !child)
            return std::nullopt;
        const Window client = ClientOf(child);
        if (Pid(child) == long(getpid()) || Pid(client) == long(getpid()))
            return std::nullopt;
        const std::optional<QRect> top = Outer(child);
        if (!top)
            return std::nullopt;
        QRect frame = *top;
        const std::vector<long> extents = Cardinals(client, FrameExtents, 4);
        const std::vector<long> shadow = Cardinals(client, GtkExtents, 4);
        if (!extents.empty() || !shadow.empty()) {
            const std::optional<QRect> inner = Outer(client);
            if (!inner)
                return std::nullopt;
            frame = *inner;
            // Both are left, right, top, bottom.
            if (!extents.empty())
                frame.adjust(int(-extents[0]), int(-extents[2]), int(extents[1]), int(extents[3]));
            if (!shadow.empty())
                frame.adjust(int(shadow[0]), int(shadow[2]), int(-shadow[1]), int(-shadow[3]));
        }
        if (frame.isEmpty())
            return std::nullopt;
        return frame;
    }

    // The window with WM_STATE at or below a top-level window (a window
    // manager's frame holds it); the top-level itself without one.
    Window ClientOf(Window top)
    {
        std::vector<Window> level{top};
        for (int depth = 0; depth < 4 && !level.empty(); ++depth) {
            std::vector<Window> next;
            for (Window w : level) {
                if (HasProperty(w, WmState))
                    return w;
                Window root = 0, parent = 0, *children = nullptr;
                unsigned count = 0;
                if (XQueryTree(Conn.Dpy, w, &root, &parent, &children, &count) && children) {
                    next.insert(next.end(), children, children + count);
                    XFree(children);
                }
            }
            level = std::move(next);
        }
        return top;
    }

    // A window's rectangle in root coordinates, its border included.
    std::optional<QRect> Outer(Window w)
    {
        XWindowAttributes attrs{};
        TErrorTrap trap(Conn.Dpy);
        const bool ok = XGetWindowAttributes(Conn.Dpy, w, &attrs);
        int x = 0, y = 0;
        Window child = 0;
        const bool moved =
            ok && XTranslateCoordinates(Conn.Dpy, w, Conn.Root, 0, 0, &x, &y, &child);
        // The window may have gone in the meantime.
        if (trap.Finish(Conn.Dpy) || !moved)
            return std::nullopt;
        const int b = attrs.border_width;
        return QRect(x - b, y - b, attrs.width + 2 * b, attrs.height + 2 * b);
    }

    bool HasProperty(Window w, Atom property)
    {
        int count = 0;
        TErrorTrap trap(Conn.Dpy);
        Atom* atoms = XListProperties(Conn.Dpy, w, &count);
        bool found = false;
        for (int i = 0; atoms && i < count; ++i)
            found = found || atoms[i] == property;
        if (atoms)
            XFree(atoms);
        trap.Finish(Conn.Dpy);
        return found;
    }

    // n CARDINALs of a property, or none when it is unset or shorter.
    std::vector<long> Cardinals(Window w, Atom property, unsigned long n)
    {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        TErrorTrap trap(Conn.Dpy);
        const int status = XGetWindowProperty(Conn.Dpy, w, property, 0, long(n), False,
                                              XA_CARDINAL, &type, &format, &items, &after, &data);
        std::vector<long> values;
        if (!trap.Finish(Conn.Dpy) && status == Success && data && format == 32 && items >= n) {
            // Format 32 comes as longs, whatever their size.
            const auto* longs = reinterpret_cast<const long*>(data);
            values.assign(longs, longs + n);
        }
        if (data)
            XFree(data);
        return values;
    }

    long Pid(Window w)
    {
        const std::vector<long> pid = Cardinals(w, WmPid, 1);
        return pid.empty() ? -1 : pid[0];
    }

    TX11Connection& Conn;
    Atom WmState = 0, FrameExtents = 0, GtkExtents = 0, WmPid = 0;
    KeyCode Escape = 0;
    Cursor Crosshair = 0;
    std::function<void(const TWindowPick&)> Done;
    bool Grabbed = false;
    int Attempts = 0;
    QTimer Retry;
    QPoint PressedAt;
    std::optional<QRect> Target;
};

// --- the backend ------------------------------------------------------------------------

class TX11Platform : public IPlatform {
  public:
    explicit TX11Platform(Display* dpy)
        : Conn(dpy), InputMon(Conn), Key(Conn, Service), FrameWin(Conn), ScreenRd(Conn),
          Picker(Conn)
    {
        Conn.OnEvent = [this](const XEvent& event) {
            Picker.Handle(event);
            Key.Handle(event);
            ScreenRd.Handle(event);
            FrameWin.Handle(event);
        };
    }

    QString Name() const override { return QStringLiteral("x11"); }
    IInputMonitor& Input() override { return InputMon; }
    IHotKey& HotKey() override { return Key; }
    IScreenFrame& Frame() override { return FrameWin; }
    IScreenReader& Screen() override { return ScreenRd; }
    ITrayIcon& Tray() override { return TrayIcon; }
    ISound& Sound() override { return Player; }
    IPrompts& Prompts() override { return Boxes; }
    std::unique_ptr<ITimer> CreateTimer(const QString&) override
    {
        return std::make_unique<TQtTimer>();
    }
    IWindowPicker* WindowPicker() override { return &Picker; }

  private:
    TX11Connection Conn;
    TCaptureService Service;
    TX11Input InputMon;
    TX11HotKey Key;
    TX11Frame FrameWin;
    TX11Screen ScreenRd;
    TQtTrayIcon TrayIcon;
    TQtSound Player;
    TQtPrompts Boxes;
    TX11WindowPicker Picker;
};

} // namespace

std::unique_ptr<IPlatform> CreateX11Platform(QString* why)
{
    InstallErrorHandler();
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        if (why)
            *why = QStringLiteral("Cannot open the X display \"%1\".")
                       .arg(QString::fromLocal8Bit(qgetenv("DISPLAY")));
        return nullptr;
    }
    return std::make_unique<TX11Platform>(dpy);
}

} // namespace platform
