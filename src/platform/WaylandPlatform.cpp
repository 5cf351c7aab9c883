#include "platform/WaylandPlatform.h"

#include "platform/CaptureService.h"
#include "platform/FrameGeometry.h"
#include "platform/GnomeShortcuts.h"
#include "platform/PipeWireStream.h"
#include "platform/QtServices.h"
#include "platform/StreamFrame.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QAbstractButton>
#include <QSystemTrayIcon>
#include <QWindow>
#include <QRegion>
#include <QTimer>
#include <QtMath>
#include <QWidget>

#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <optional>
#include <stdexcept>

// a(sa{sv}): the shortcuts handed to the GlobalShortcuts portal.
struct TPortalShortcut {
    QString Id;
    QVariantMap Properties;
};
Q_DECLARE_METATYPE(TPortalShortcut)

QDBusArgument& operator<<(QDBusArgument& arg, const TPortalShortcut& shortcut)
{
    arg.beginStructure();
    arg << shortcut.Id << shortcut.Properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, TPortalShortcut& shortcut)
{
    arg.beginStructure();
    arg >> shortcut.Id >> shortcut.Properties;
    arg.endStructure();
    return arg;
}

namespace platform {

namespace {

const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString ScreenCastInterface = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString ShortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// Cursor modes of the ScreenCast portal.
constexpr uint CursorHidden = 1;
constexpr uint CursorEmbedded = 2;
constexpr uint CursorMetadata = 4;

// A portal may wait for the user's answer in a dialog; give up only after
// the user plainly walked away.
constexpr int UserAnswerTimeoutMs = 5 * 60 * 1000;

// A portal interface's property, or an invalid QVariant when the interface
// is not there.
QVariant PortalProperty(const QString& interface, const QString& name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        PortalService, PortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << interface << name;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
}

// Waits for one org.freedesktop.portal.Request's Response signal.
class TPortalRequest : public QObject {
    Q_OBJECT
  public:
    uint Code = 2;
    QVariantMap Results;
    bool Answered = false;
    QEventLoop Loop;

  public slots:
    void Response(uint code, const QVariantMap& results)
    {
        Code = code;
        Results = results;
        Answered = true;
        Loop.quit();
    }
};

struct TPortalAnswer {
    bool Ok = false;
    uint Code = 2; // 0 success, 1 cancelled by the user, 2 other
    QVariantMap Results;
    QString Error; // a D-Bus error, when the call itself failed
};

// Calls a portal method that answers later through a Request object: the
// signal is subscribed to before the call, on the path the portal will use
// (built from our bus name and the token we choose), so no answer is missed.
TPortalAnswer CallPortal(const QString& interface, const QString& method, QVariantList args,
                         QVariantMap options)
{
    static int counter = 0;
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString token = QStringLiteral("quillora%1_%2").arg(getpid()).arg(++counter);
    options.insert(QStringLiteral("handle_token"), token);
    const QString sender = bus.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    QString path =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    TPortalRequest request;
    const auto subscribe = [&](const QString& on, bool yes) {
        if (yes)
            bus.connect(PortalService, on, QStringLiteral("org.freedesktop.portal.Request"),
                        QStringLiteral("Response"), &request, SLOT(Response(uint, QVariantMap)));
        else
            bus.disconnect(PortalService, on, QStringLiteral("org.freedesktop.portal.Request"),
                           QStringLiteral("Response"), &request, SLOT(Response(uint, QVariantMap)));
    };
    subscribe(path, true);
    QDBusMessage call =
        QDBusMessage::createMethodCall(PortalService, PortalPath, interface, method);
    args << options;
    call.setArguments(args);
    const QDBusMessage reply = bus.call(call, QDBus::Block, 30000);
    TPortalAnswer answer;
    if (reply.type() != QDBusMessage::ReplyMessage) {
        subscribe(path, false);
        answer.Error = reply.errorMessage();
        return answer;
    }
    // Portals older than the token rule answer on a path of their own.
    const QString handle = reply.arguments().value(0).value<QDBusObjectPath>().path();
    if (!handle.isEmpty() && handle != path) {
        subscribe(path, false);
        path = handle;
        subscribe(path, true);
    }
    if (!request.Answered) {
        QTimer::singleShot(UserAnswerTimeoutMs, &request.Loop, &QEventLoop::quit);
        request.Loop.exec();
    }
    subscribe(path, false);
    if (!request.Answered) {
        answer.Error = QStringLiteral("The desktop did not answer.");
        return answer;
    }
    answer.Code = request.Code;
    answer.Results = request.Results;
    answer.Ok = request.Code == 0;
    return answer;
}

QString SessionHandle(const QVariantMap& results)
{
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    if (handle.canConvert<QDBusObjectPath>())
        return handle.value<QDBusObjectPath>().path();
    return handle.toString();
}

void CloseSession(const QString& session)
{
    if (session.isEmpty())
        return;
    QDBusMessage close = QDBusMessage::createMethodCall(
        PortalService, session, QStringLiteral("org.freedesktop.portal.Session"),
        QStringLiteral("Close"));
    QDBusConnection::sessionBus().call(close, QDBus::NoBlock);
}

// (ii) from a stream's properties.
QPoint IntPair(const QVariant& value)
{
    if (!value.canConvert<QDBusArgument>())
        return {};
    const QDBusArgument arg = value.value<QDBusArgument>();
    int a = 0, b = 0;
    arg.beginStructure();
    arg >> a >> b;
    arg.endStructure();
    return {a, b};
}

// --- the screen-cast session and its stream -----------------------------------

class TScreenCast {
  public:
    ~TScreenCast() { Close(); }

    // The cursor modes the portal offers; 0 when there is no ScreenCast portal.
    static uint AvailableCursorModes()
    {
        const QVariant modes =
            PortalProperty(ScreenCastInterface, QStringLiteral("AvailableCursorModes"));
        return modes.isValid() ? modes.toUInt() | 0x80000000u : 0;
    }

    bool Open(QString* why)
    {
        Close();
        const QVariant version = PortalProperty(ScreenCastInterface, QStringLiteral("version"));
        if (!version.isValid()) {
            *why = QStringLiteral(
                "This Wayland desktop offers no screen-cast portal "
                "(org.freedesktop.portal.ScreenCast), so Quillora cannot read the screen and "
                "nothing is recorded.\nInstall the xdg-desktop-portal back end of your desktop "
                "(for example xdg-desktop-portal-gnome, -kde or -wlr) and log in again.");
            return false;
        }
        const uint modes =
            PortalProperty(ScreenCastInterface, QStringLiteral("AvailableCursorModes")).toUInt();
        Metadata = modes & CursorMetadata;
        const uint cursorMode = Metadata                 ? CursorMetadata
                                : modes & CursorEmbedded ? CursorEmbedded
                                                         : CursorHidden;

        TPortalAnswer answer = CallPortal(
            ScreenCastInterface, QStringLiteral("CreateSession"), {},
            {{QStringLiteral("session_handle_token"), QStringLiteral("quillora%1").arg(getpid())}});
        if (!answer.Ok)
            return Refused(answer, why);
        Session = SessionHandle(answer.Results);

        QVariantMap select{{QStringLiteral("types"), uint(1)}, // one monitor
                           {QStringLiteral("multiple"), false},
                           {QStringLiteral("cursor_mode"), cursorMode}};
        QSettings settings;
        if (version.toUInt() >= 4) {
            select.insert(QStringLiteral("persist_mode"), uint(2)); // until revoked
            const QString token = settings.value(QStringLiteral("Wayland/RestoreToken")).toString();
            if (!token.isEmpty())
                select.insert(QStringLiteral("restore_token"), token);
        }
        answer = CallPortal(ScreenCastInterface, QStringLiteral("SelectSources"),
                            {QVariant::fromValue(QDBusObjectPath(Session))}, select);
        if (!answer.Ok)
            return Refused(answer, why);

        answer = CallPortal(ScreenCastInterface, QStringLiteral("Start"),
                            {QVariant::fromValue(QDBusObjectPath(Session)), QString()}, {});
        if (!answer.Ok)
            return Refused(answer, why);
        const QString token = answer.Results.value(QStringLiteral("restore_token")).toString();
        if (!token.isEmpty())
            settings.setValue(QStringLiteral("Wayland/RestoreToken"), token);

        uint node = 0;
        bool found = false;
        const QVariant streams = answer.Results.value(QStringLiteral("streams"));
        if (streams.canConvert<QDBusArgument>()) {
            const QDBusArgument arg = streams.value<QDBusArgument>();
            arg.beginArray();
            while (!arg.atEnd() && !found) {
                QVariantMap props;
                arg.beginStructure();
                arg >> node >> props;
                arg.endStructure();
                found = true;
                Position = IntPair(props.value(QStringLiteral("position")));
            }
            arg.endArray();
        }
        if (!found) {
            Close();
            *why = QStringLiteral("The desktop shared no screen, so nothing is recorded.");
            return false;
        }

        QDBusMessage open = QDBusMessage::createMethodCall(
            PortalService, PortalPath, ScreenCastInterface, QStringLiteral("OpenPipeWireRemote"));
        open << QVariant::fromValue(QDBusObjectPath(Session)) << QVariantMap();
        const QDBusMessage reply = QDBusConnection::sessionBus().call(open, QDBus::Block, 10000);
        const auto fd = reply.arguments().value(0).value<QDBusUnixFileDescriptor>();
        if (reply.type() != QDBusMessage::ReplyMessage || !fd.isValid()) {
            Close();
            *why = QStringLiteral("The desktop gave no access to the screen-cast stream: %1")
                       .arg(reply.errorMessage());
            return false;
        }
        // The descriptor object closes its own copy; PipeWire takes this one.
        const int own = fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 3);
        QString streamWhy;
        if (own < 0 || !Stream.Start(own, node, Metadata, 5000, &streamWhy)) {
            Close();
            *why = QStringLiteral("Quillora cannot receive the screen: %1").arg(streamWhy);
            return false;
        }
        return true;
    }

    void Close()
    {
        Stream.Stop();
        CloseSession(Session);
        Session.clear();
    }

    bool IsOpen() const { return Stream.IsRunning(); }
    bool HasMetadata() const { return IsOpen() && Metadata; }
    // The recorded monitor in screen pixels.
    QRect Monitor() const { return QRect(Position, Stream.FrameSize()); }
    TPipeWireStream Stream;

  private:
    bool Refused(const TPortalAnswer& answer, QString* why)
    {
        Close();
        if (!answer.Error.isEmpty())
            *why = QStringLiteral("The screen-cast portal failed: %1\nNothing is recorded.")
                       .arg(answer.Error);
        else if (answer.Code == 1)
            *why = QStringLiteral("Sharing the screen was cancelled, so nothing is recorded.");
        else
            *why = QStringLiteral("The desktop refused to share the screen, so nothing is "
                                  "recorded.");
        return false;
    }

    QString Session;
    QPoint Position;
    bool Metadata = false;
};

// --- screen ---------------------------------------------------------------------------

class TWaylandScreen : public IScreenReader {
  public:
    explicit TWaylandScreen(TScreenCast& cast) : Cast(cast) {}

    QRect PrimaryScreen() override
    {
        if (Cast.IsOpen() && !Cast.Monitor().isEmpty())
            return Cast.Monitor();
        QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen)
            return {};
        const QRect logical = screen->geometry();
        return QRect(logical.topLeft(), logical.size() * screen->devicePixelRatio());
    }

    QImage Read(const QRect& rect) override
    {
        // A black picture would pass for a capture: say instead that the
        // desktop stopped sharing (the user may end it from the desktop).
        const QString problem = Cast.Stream.Problem();
        if (!problem.isEmpty())
            throw std::runtime_error(
                QStringLiteral("%1\nNothing was captured. Stop this recording and start a new one.")
                    .arg(problem)
                    .toStdString());
        if (!Cast.Stream.HasPicture())
            throw std::runtime_error(
                "The desktop has not sent a picture of the screen yet.\nNothing was captured.");
        return Cast.Stream.Read(rect.translated(-Cast.Monitor().topLeft()));
    }

    bool Open(QString* why) override { return Cast.Open(why); }
    void Close() override
    {
        WatchChanges({}, nullptr);
        Cast.Close();
    }

    // The stream sends a frame only when the monitor's content changed; it
    // does not say where, so every frame counts as a change of the region.
    bool WatchChanges(const QRect&, std::function<void()> onChange) override
    {
        OnChange = std::move(onChange);
        if (!OnChange) {
            Cast.Stream.SetFrameArrived(nullptr);
            return false;
        }
        // Frames arrive on PipeWire's thread; one queued call at a time
        // tells the main thread.
        Cast.Stream.SetFrameArrived([this] {
            if (!Pending.exchange(true))
                QMetaObject::invokeMethod(
                    &Receiver,
                    [this] {
                        Pending = false;
                        if (OnChange)
                            OnChange();
                    },
                    Qt::QueuedConnection);
        });
        return true;
    }
    bool ReadsDeliveredFrames() const override { return true; }

  private:
    TScreenCast& Cast;
    std::function<void()> OnChange;
    QObject Receiver; // queued calls die with the reader
    std::atomic<bool> Pending{false};
};

// --- pointer --------------------------------------------------------------------------

class TWaylandInput : public QObject, public IInputMonitor {
  public:
    TWaylandInput(TScreenCast& cast, const QRect& frame) : Cast(cast), FrameLines(frame) {}
    ~TWaylandInput() override { Stop(); }

    bool Start(Handlers handlers) override
    {
        Stop();
        if (!Cast.HasMetadata()) {
            Why = QStringLiteral("This desktop does not tell programs where the mouse pointer is.");
            return false;
        }
        On = std::move(handlers);
        Running = true;
        // Moves arrive on PipeWire's thread; one queued call at a time hands
        // the newest position to the main thread.
        Cast.Stream.SetPointerMoved([this] {
            if (!Pending.exchange(true))
                QMetaObject::invokeMethod(
                    this, [this] { Deliver(); }, Qt::QueuedConnection);
        });
        return true;
    }

    void Stop() override
    {
        Cast.Stream.SetPointerMoved(nullptr);
        Running = false;
        On = {};
    }

    bool IsRunning() const override { return Running; }

    QPoint PointerPos() override
    {
        if (Cast.HasMetadata())
            if (const std::optional<QPoint> at = Cast.Stream.Pointer())
                return *at + Cast.Monitor().topLeft();
        // No position from the desktop: the middle of the region, so the
        // movie's arrow rests instead of jumping about.
        return FrameLines.center();
    }

    bool KnowsPointer() const override
    {
        return Cast.HasMetadata() && Cast.Stream.Pointer().has_value();
    }

    QString Problem() const override { return Why; }

  private:
    void Deliver()
    {
        Pending = false;
        if (Running && On.Move)
            On.Move(PointerPos());
    }

    TScreenCast& Cast;
    const QRect& FrameLines;
    Handlers On;
    QString Why;
    bool Running = false;
    std::atomic<bool> Pending{false};
};

// --- frame -------------------------------------------------------------------------------

// Where the shell put our windows as large as the monitor, against where
// we asked: GNOME Shell keeps them below its top bar. Learnt from the screen
// cast; the frame and the stand-in both draw by it.
struct TShellPlacement {
    QPoint Offset; // in the stream's pixels
    std::function<void()> Changed;
};

// The input region of a window on Wayland, in its logical pixels; empty
// lets every click through. Set on the surface directly, as Qt takes an
// empty mask for "everywhere", and Qt's WindowTransparentForInput does not
// reach every compositor (GNOME Shell gave the frame window the clicks). It
// takes effect with the surface's next commit, and a new surface (after a
// hide) needs it again.
void SetInputRegion(QWindow* window, const QRegion& region)
{
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    if (!window || !native || !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return;
    auto* compositor =
        static_cast<wl_compositor*>(native->nativeResourceForIntegration("compositor"));
    auto* surface = static_cast<wl_surface*>(native->nativeResourceForWindow("surface", window));
    if (!compositor || !surface)
        return;
    wl_region* input = wl_compositor_create_region(compositor);
    for (const QRect& r : region)
        wl_region_add(input, r.x(), r.y(), r.width(), r.height());
    wl_surface_set_input_region(surface, input);
    wl_region_destroy(input);
}

class TFrameWindow : public QWidget {
  public:
    TFrameWindow()
        // Not transparent for input: the input region says where it takes
        // the pointer. Keys still reach it once a click on the label gave
        // it the keyboard; it never asks for the focus itself.
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus)
    {
        setWindowTitle(QStringLiteral("Quillora frame"));
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAccessibleName(QStringLiteral("Quillora frame"));
        setFocusPolicy(Qt::ClickFocus);
        setMouseTracking(true);
    }
    QRect Lines; // in this window's device pixels
    bool Paused = false;   // dashed red and white
    bool Flashing = false; // yellow for a moment after a capture
    // Beside the frame: its size, how to begin, the count down. A Wayland
    // program cannot place a window of its own, so it is painted here.
    QString Label;
    // While the frame may be placed: its handles show and, with the label,
    // take the pointer; nothing else of the window ever does.
    bool Adjustable = false;
    bool Resizable = true;
    // In this window's device pixels; the owner maps them to the screen.
    std::function<void(QPoint)> Pressed, Dragged;
    std::function<void()> Released;
    std::function<void(int dx, int dy)> Nudge;

    // Where the label goes, in device pixels; none when it would touch
    // the frame.
    std::optional<QRect> LabelRect() const
    {
        if (Label.isEmpty())
            return std::nullopt;
        const double ratio = devicePixelRatioF();
        const QSize text = QFontMetrics(font()).size(0, Label);
        const QSize size(qCeil((text.width() + 12) * ratio), qCeil((text.height() + 8) * ratio));
        return LabelPlace(Lines, QRect(QPoint(0, 0), this->size() * ratio), size);
    }

    // The bands and handles (where placing is on) and the label.
    QRegion InputRegion() const
    {
        if (!Adjustable || Lines.isNull())
            return {};
        const double ratio = devicePixelRatioF();
        const auto logical = [ratio](const QRect& r) {
            return QRect(QPoint(qFloor(r.left() / ratio), qFloor(r.top() / ratio)),
                         QPoint(qCeil((r.right() + 1) / ratio) - 1,
                                qCeil((r.bottom() + 1) / ratio) - 1));
        };
        const TFrameHandles h = HandlesOf(Lines);
        QRegion region;
        for (const QRect& band : h.Bands)
            region += logical(band);
        if (Resizable)
            for (const QRect& handle : h.Handles)
                region += logical(handle);
        if (const std::optional<QRect> label = LabelRect())
            region += logical(*label);
        return region;
    }

    void ApplyInput()
    {
        SetInputRegion(windowHandle(), InputRegion());
        // The region takes effect with the next commit.
        update();
    }

  private:
    QPoint DevicePos(const QPointF& logical) const
    {
        const double ratio = devicePixelRatioF();
        return QPoint(qFloor(logical.x() * ratio), qFloor(logical.y() * ratio));
    }

    static Qt::CursorShape CursorFor(int edges)
    {
        switch (edges) {
        case EdgeLeft | EdgeTop:
        case EdgeRight | EdgeBottom: return Qt::SizeFDiagCursor;
        case EdgeRight | EdgeTop:
        case EdgeLeft | EdgeBottom: return Qt::SizeBDiagCursor;
        case EdgeTop:
        case EdgeBottom: return Qt::SizeVerCursor;
        case EdgeLeft:
        case EdgeRight: return Qt::SizeHorCursor;
        case EdgeAll: return Qt::SizeAllCursor;
        default: return Qt::ArrowCursor;
        }
    }

    // painter draws in device pixels; the text keeps Qt's own size.
    void PaintLabel(QPainter& painter, double ratio)
    {
        const std::optional<QRect> place = LabelRect();
        if (!place)
            return;
        const QSize text = QFontMetrics(font()).size(0, Label);
        painter.save();
        painter.fillRect(*place, QColor(255, 250, 205));
        painter.setPen(Qt::black);
        painter.drawRect(place->adjusted(0, 0, -1, -1));
        painter.scale(ratio, ratio);
        painter.setFont(font());
        painter.drawText(QRectF(place->x() / ratio + 6, place->y() / ratio + 4, text.width(),
                                text.height()),
                         Qt::AlignLeft | Qt::AlignTop, Label);
        painter.restore();
    }

  protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (Adjustable && event->button() == Qt::LeftButton && Pressed)
            Pressed(DevicePos(event->position()));
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        const QPoint at = DevicePos(event->position());
        if (event->buttons() & Qt::LeftButton) {
            if (Adjustable && Dragged)
                Dragged(at);
            return;
        }
        const std::optional<QRect> label = LabelRect();
        setCursor(Adjustable && !(label && label->contains(at))
                      ? CursorFor(GrabAt(Lines, at, Resizable))
                      : Qt::ArrowCursor);
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && Released)
            Released();
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        const int step = event->modifiers() & Qt::ShiftModifier ? 10 : 1;
        int dx = 0, dy = 0;
        switch (event->key()) {
        case Qt::Key_Left: dx = -step; break;
        case Qt::Key_Right: dx = step; break;
        case Qt::Key_Up: dy = -step; break;
        case Qt::Key_Down: dy = step; break;
        default: QWidget::keyPressEvent(event); return;
        }
        if (Adjustable && Nudge)
            Nudge(dx, dy);
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(rect(), Qt::transparent);
        const double ratio = devicePixelRatioF();
        // One device pixel wide, whatever the scale.
        painter.scale(1.0 / ratio, 1.0 / ratio);
        const QColor colour = Flashing ? QColor(255, 255, 0) : QColor(255, 0, 0);
        const QRect& l = Lines;
        const QRect lines[] = {QRect(l.left(), l.top(), l.width(), 1),
                               QRect(l.left(), l.bottom(), l.width(), 1),
                               QRect(l.left(), l.top(), 1, l.height()),
                               QRect(l.right(), l.top(), 1, l.height())};
        PaintLabel(painter, ratio);
        if (Adjustable && Resizable)
            for (const QRect& handle : HandlesOf(Lines).Handles)
                painter.fillRect(handle, colour);
        for (const QRect& line : lines) {
            painter.fillRect(line, colour);
            if (!Paused || Flashing)
                continue;
            // Every other 4 pixels white along the line.
            const bool across = line.height() == 1;
            for (int at = 4; at < (across ? line.width() : line.height()); at += 8)
                painter.fillRect(across ? QRect(line.left() + at, line.top(), 4, 1)
                                        : QRect(line.left(), line.top() + at, 1, 4),
                                 Qt::white);
        }
    }
};

// The screen a cast monitor is on, by its origin; the primary screen when
// none matches (or nothing is cast yet).
QScreen* ScreenOf(const QRect& monitor)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    for (QScreen* s : QGuiApplication::screens())
        if (s->geometry().topLeft() == monitor.topLeft())
            screen = s;
    return screen;
}

class TWaylandFrame : public IScreenFrame {
  public:
    TWaylandFrame(TScreenCast& cast, QRect& lines, TShellPlacement& placement)
        : Cast(cast), Lines(lines), Placement(placement)
    {
        Finder.setInterval(200);
        QObject::connect(&Finder, &QTimer::timeout, [this] { FindOnScreen(); });
    }

    void Show(int left, int top, int right, int bottom) override
    {
        Lines = QRect(QPoint(left, top), QPoint(right, bottom));
        const QRect monitor = Cast.IsOpen() ? Cast.Monitor() : QRect();
        QScreen* screen = ScreenOf(monitor);
        if (!screen)
            return;
        if (!Window)
            MakeWindow();
        const QRect area = screen->geometry();
        const double ratio = screen->devicePixelRatio();
        Origin = monitor.isEmpty() ? area.topLeft() : monitor.topLeft();
        Window->Lines = Lines.translated(-Origin - Placement.Offset);
        Window->setScreen(screen);
        // A fixed size of the whole monitor: tiling desktops float such
        // windows instead of fitting them into the layout.
        Window->setFixedSize(area.size());
        Window->move(area.topLeft());
        Q_UNUSED(ratio);
        Window->show();
        Window->ApplyInput();
        QTimer::singleShot(100, Window.get(), [w = Window.get()] { w->ApplyInput(); });
        Window->update();
        Tries = 0;
        LastFound.reset();
        if (Cast.IsOpen())
            Finder.start();
    }

    void Raise() override
    {
        if (Window && Window->isVisible())
            Window->raise();
    }

    void SetAdjustable(const TFrameAdjust* adjust) override
    {
        Grab = 0;
        Adjust = adjust ? std::optional<TFrameAdjust>(*adjust) : std::nullopt;
        if (!Window)
            return;
        Window->Adjustable = Adjust.has_value();
        Window->Resizable = Adjust && Adjust->Resizable;
        Window->ApplyInput();
    }

    // Only Wayland's own surfaces take an input region of our choosing.
    bool CanAdjust() const override
    {
        return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    }
    bool IsAdjustable() const override { return Adjust.has_value(); }

    bool OnHandle(QPoint p) const override
    {
        return Adjust && IsShown() && GrabAt(Lines, p, Adjust->Resizable) != 0;
    }

    void SetPaused(bool paused) override
    {
        if (!Window)
            return;
        Window->Paused = paused;
        Window->update();
    }

    void SetLabel(const QString& text) override
    {
        if (!Window)
            return;
        Window->Label = text;
        // The window keeps its name, which tools and screen readers find it
        // by; what the label says is its description.
        Window->setAccessibleDescription(text);
        // The label's size may change, and with it where it takes the pointer.
        Window->ApplyInput();
    }

    void Flash() override
    {
        if (!Window || !Window->isVisible())
            return;
        Window->Flashing = true;
        Window->update();
        QTimer::singleShot(150, Window.get(), [this] {
            Window->Flashing = false;
            Window->update();
        });
    }

    void Hide() override
    {
        Finder.stop();
        Grab = 0;
        if (Window) {
            Window->hide();
            Window->Paused = false;
        }
    }

    bool IsShown() const override { return Window && Window->isVisible(); }

    // The compositor repaints what it shows by itself.
    void RefreshScreen() override {}

  private:
    void MakeWindow()
    {
        Window = std::make_unique<TFrameWindow>();
        Window->Adjustable = Adjust.has_value();
        Window->Resizable = Adjust && Adjust->Resizable;
        Window->Pressed = [this](QPoint at) {
            if (!Adjust)
                return;
            const QPoint p = ScreenPos(at);
            Grab = GrabAt(Lines, p, Adjust->Resizable);
            GrabStart = p;
            GrabLines = Lines;
            // The old lines may still be in the stream's next frames: no
            // more looking for where the shell put them.
            if (Grab)
                Finder.stop();
        };
        Window->Dragged = [this](QPoint at) {
            if (Adjust && Grab)
                MoveTo(DragFrameLines(GrabLines, Grab, ScreenPos(at) - GrabStart, Adjust->Screen,
                                      Adjust->MinSize, Adjust->MaxSize));
        };
        Window->Released = [this] { Grab = 0; };
        Window->Nudge = [this](int dx, int dy) {
            if (Adjust)
                MoveTo(DragFrameLines(Lines, EdgeAll, {dx, dy}, Adjust->Screen, Adjust->MinSize,
                                      Adjust->MaxSize));
        };
    }

    // From the window's device pixels to the screen's: the window shows at
    // the monitor's origin, moved by where the shell put it.
    QPoint ScreenPos(QPoint at) const { return at + Origin + Placement.Offset; }

    void MoveTo(const QRect& lines)
    {
        if (lines == Lines)
            return;
        Lines = lines;
        Window->Lines = Lines.translated(-Origin - Placement.Offset);
        Window->ApplyInput();
        // The handler may end the placing, and with it Adjust.
        const auto changed = Adjust ? Adjust->Changed : nullptr;
        if (changed)
            changed(lines);
    }

    // Looks for the red lines in the stream for up to half a minute after
    // a show (a message box may cover them at first) and moves them by what
    // the shell moved the window.
    void FindOnScreen()
    {
        if (!Window || !Window->isVisible() || !Cast.IsOpen() || ++Tries > 150) {
            Finder.stop();
            return;
        }
        const QRect want = Lines.translated(-Cast.Monitor().topLeft());
        const QImage shot = Cast.Stream.Read(QRect(QPoint(0, 0), Cast.Monitor().size()));
        const std::optional<QPoint> at = FindFrameLines(shot, want);
        // Not drawn yet, or a frame from before the last correction.
        if (!at || at == LastFound)
            return;
        const QPoint off = *at - want.topLeft();
        if (off.isNull()) {
            Finder.stop();
            return;
        }
        LastFound = at;
        Placement.Offset += off;
        Window->Lines = Lines.translated(-Origin - Placement.Offset);
        Window->ApplyInput();
        if (Placement.Changed)
            Placement.Changed();
    }

    TScreenCast& Cast;
    QRect& Lines;
    TShellPlacement& Placement;
    std::unique_ptr<TFrameWindow> Window;
    std::optional<TFrameAdjust> Adjust;
    int Grab = 0;
    QPoint GrabStart;
    QRect GrabLines;
    QPoint Origin;
    QTimer Finder;
    int Tries = 0;
    std::optional<QPoint> LastFound;
};

// --- tray or stand-in ----------------------------------------------------------------

// A Wayland client cannot place its windows: the compositor put a small
// stand-in wherever it liked, usually the middle of the screen, inside the
// region. A window as large as the monitor is placed at its origin, like
// the frame's; the button sits in one of its corners, and the window takes
// the pointer only there, so clicks elsewhere reach the programs below.
class TStandInOverlay : public QWidget {
  public:
    explicit TStandInOverlay(std::function<void()> onClick)
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    {
        setWindowTitle(QStringLiteral("Quillora recording"));
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
        Button = MakeStandInButton(std::move(onClick));
        Button->setParent(this);
        // The desktop's focus on this window goes to the button.
        setFocusProxy(Button.get());
    }

    // offset: where the shell puts this window against the monitor's
    // origin; the button goes into a corner of the part on the monitor.
    void Place(QScreen* screen, const QRect& monitor, const QRect& avoid, const QPoint& offset)
    {
        const QRect area = screen->geometry();
        // The window's own scale once it is on the screen: Qt may see a
        // scaled monitor's screen at 1 and its windows at 2 (GNOME at 200 %).
        const double ratio = isVisible() ? devicePixelRatioF() : screen->devicePixelRatio();
        PlacedRatio = ratio;
        const QRect physical = monitor.isEmpty()
                                   ? QRect(area.topLeft(), area.size() * screen->devicePixelRatio())
                                   : monitor;
        const int size = qRound(StandInSize * ratio);
        Spot = TQtTrayIcon::StandInPlace(physical & physical.translated(offset), avoid, size);
        setScreen(screen);
        setFixedSize(area.size());
        move(area.topLeft());
        Button->setGeometry(QRect((Spot.topLeft() - physical.topLeft() - offset) / ratio,
                                  QSize(StandInSize, StandInSize)));
        Button->show();
        if (isVisible() && windowHandle())
            windowHandle()->setMask(QRegion(Button->geometry()));
    }

    // Called when the window's scale turns out other than the one it was
    // placed by.
    std::function<void()> ScaleChanged;

    void showEvent(QShowEvent* event) override
    {
        QWidget::showEvent(event);
        // The input region; Qt hands it to the compositor once the surface
        // exists, so again a moment later, when the window's scale is known.
        windowHandle()->setMask(QRegion(Button->geometry()));
        QTimer::singleShot(100, this, [this] {
            if (!windowHandle())
                return;
            if (devicePixelRatioF() != PlacedRatio && ScaleChanged)
                ScaleChanged();
            windowHandle()->setMask(QRegion(Button->geometry()));
        });
    }

    // Where the button is, in screen pixels.
    QRect Spot;
    // The window stays mapped (mapping it again could move the focus to
    // it); the button alone goes, so the compositor shows what lies beneath
    // in its next frame.
    void ClearButton(bool clear) { Button->setVisible(!clear); }
    QAbstractButton* ButtonWidget() const { return Button.get(); }

  private:
    std::unique_ptr<QAbstractButton> Button;
    double PlacedRatio = 1;
};

class TWaylandTray : public ITrayIcon {
  public:
    TWaylandTray(TScreenCast& cast, TShellPlacement& placement) : Cast(cast), Placement(placement)
    {
        Placement.Changed = [this] {
            if (Shown && Overlay)
                Place();
        };
    }

    void Show(std::function<void()> onClick, const QRect& avoid) override
    {
        Hide();
        Avoid = avoid;
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            Tray.Show(std::move(onClick), avoid);
            return;
        }
        OnClick = std::move(onClick);
        if (!Overlay) {
            Overlay = std::make_unique<TStandInOverlay>([this] {
                if (Shown && OnClick)
                    OnClick();
            });
            MenuHolder.AttachTo(Overlay->ButtonWidget());
            SetStatus(Status);
            Overlay->ScaleChanged = [this] {
                if (Shown)
                    Place();
            };
        }
        if (!Place())
            return;
        Overlay->show();
        Shown = true;
    }

    void Hide() override
    {
        Tray.Hide();
        if (Overlay)
            Overlay->hide();
        Shown = false;
    }

    void SetMenu(const TTrayMenu& menu, bool paused) override
    {
        Tray.SetMenu(menu, paused);
        MenuHolder.Set(menu, paused);
    }
    void SetStatus(const QString& text) override
    {
        Status = text;
        Tray.SetStatus(text);
        if (Overlay)
            Overlay->ButtonWidget()->setToolTip(
                text.isEmpty() ? QStringLiteral("Quillora: click to stop recording")
                               : text + QStringLiteral(". Click to stop recording."));
    }

    bool IsShown() const override { return Shown || Tray.IsShown(); }
    bool IsStandIn() const override { return Shown; }
    QRect StandInRect() const override { return Shown && Overlay ? Overlay->Spot : QRect(); }
    void ClearForCapture(bool clear) override
    {
        if (Shown && Overlay)
            Overlay->ClearButton(clear);
    }

  private:
    bool Place()
    {
        const QRect monitor = Cast.IsOpen() ? Cast.Monitor() : QRect();
        QScreen* screen = ScreenOf(monitor);
        if (!screen)
            return false;
        Overlay->Place(screen, monitor, Avoid, Placement.Offset);
        return true;
    }

    TScreenCast& Cast;
    TShellPlacement& Placement;
    QRect Avoid;
    TQtTrayIcon Tray;
    std::unique_ptr<TStandInOverlay> Overlay;
    TTrayMenuHolder MenuHolder;
    QString Status;
    std::function<void()> OnClick;
    bool Shown = false;
};

// --- capture key -----------------------------------------------------------------------

class TWaylandHotKey : public QObject, public IHotKey {
    Q_OBJECT
  public:
    explicit TWaylandHotKey(TCaptureService& service) : Service(service)
    {
        qDBusRegisterMetaType<TPortalShortcut>();
        qDBusRegisterMetaType<QList<TPortalShortcut>>();
    }
    ~TWaylandHotKey() override
    {
        Release();
        CloseSession(Session);
    }

    TGrabResult Grab(std::function<void()> onPress) override
    {
        Release();
        OnPress = std::move(onPress);
        Service.SetHandler([this] { Pressed(); });
        Grabbed = true;
        return BindShortcut() ? TGrabResult::Grabbed : TGrabResult::CommandOnly;
    }

    // No second key of our own: `quillora --pause`.
    TGrabResult GrabPause(std::function<void()> onPress) override
    {
        Service.SetPauseHandler(std::move(onPress));
        return TGrabResult::CommandOnly;
    }

    void Release() override
    {
        Service.SetHandler(nullptr);
        Service.SetPauseHandler(nullptr);
        OnPress = nullptr;
        Grabbed = false;
    }

    bool IsGrabbed() const override { return Grabbed; }

    TDesktopKey DesktopKey() override
    {
        TDesktopKey key;
        if (!IsGnome() || !HasGnomeCustomShortcuts())
            return key;
        key.Bound = GnomeShortcutFor(CaptureCommand());
        key.CanAdd = key.Bound.isEmpty();
        return key;
    }

    bool AddDesktopKey(QString* why) override
    {
        if (!IsGnome())
            return IHotKey::AddDesktopKey(why);
        return AddGnomeShortcut(QStringLiteral("Quillora capture"), CaptureCommand(),
                                QStringLiteral("Pause"), why);
    }

  public slots:
    void Activated(const QDBusObjectPath& session, const QString& id, qulonglong,
                   const QVariantMap&)
    {
        if (session.path() == Session && id == QLatin1String("capture"))
            Pressed();
    }

  private:
    static bool IsGnome()
    {
        return qEnvironmentVariable("XDG_CURRENT_DESKTOP")
            .split(QLatin1Char(':'))
            .contains(QLatin1String("GNOME"), Qt::CaseInsensitive);
    }

    void Pressed()
    {
        if (Grabbed && OnPress)
            OnPress();
    }

    // Once per run: the desktop remembers the binding the user agreed to.
    bool BindShortcut()
    {
        if (!Session.isEmpty())
            return true;
        if (Tried)
            return false;
        Tried = true;
        if (!PortalProperty(ShortcutsInterface, QStringLiteral("version")).isValid())
            return false;
        const QList<TPortalShortcut> shortcuts{
            {QStringLiteral("capture"),
             {{QStringLiteral("description"), QStringLiteral("Capture a screenshot (Quillora)")},
              {QStringLiteral("preferred_trigger"), QStringLiteral("Pause")}}}};
        // KDE Plasma 5.27 binds only the shortcuts handed to CreateSession
        // (its BindShortcuts answers with none); others take BindShortcuts.
        TPortalAnswer answer = CallPortal(ShortcutsInterface, QStringLiteral("CreateSession"), {},
                                          {{QStringLiteral("session_handle_token"),
                                            QStringLiteral("quillorakey%1").arg(getpid())},
                                           {QStringLiteral("shortcuts"),
                                            QVariant::fromValue(shortcuts)}});
        if (!answer.Ok)
            return false;
        const QString session = SessionHandle(answer.Results);
        answer = CallPortal(ShortcutsInterface, QStringLiteral("BindShortcuts"),
                            {QVariant::fromValue(QDBusObjectPath(session)),
                             QVariant::fromValue(shortcuts), QString()},
                            {});
        if (!answer.Ok) {
            CloseSession(session);
            return false;
        }
        Session = session;
        QDBusConnection::sessionBus().connect(
            PortalService, PortalPath, ShortcutsInterface, QStringLiteral("Activated"), this,
            SLOT(Activated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
        return true;
    }

    TCaptureService& Service;
    std::function<void()> OnPress;
    QString Session;
    bool Grabbed = false;
    bool Tried = false;
};

// --- the backend ----------------------------------------------------------------------

class TWaylandPlatform : public IPlatform {
  public:
    TWaylandPlatform()
        : ScreenRd(Cast), InputMon(Cast, FrameLines), FrameWin(Cast, FrameLines, Placement),
          Key(Service), TrayIcon(Cast, Placement)
    {
    }
    ~TWaylandPlatform() override
    {
        InputMon.Stop();
        Cast.Close();
    }

    QString Name() const override { return QStringLiteral("wayland"); }

    TCapabilities Capabilities() override
    {
        TCapabilities caps;
        caps.ClickCapture = false;
        const uint modes = TScreenCast::AvailableCursorModes();
        if (!modes) {
            caps.AutoMode = false;
            caps.Note = QStringLiteral("This desktop offers no screen-cast portal: Quillora "
                                       "cannot record here.");
        } else if (!(modes & CursorMetadata)) {
            caps.AutoMode = false;
            caps.Note = QStringLiteral("This desktop does not tell programs where the mouse is, "
                                       "so only Manu Capture is offered; the movie's arrow stays "
                                       "in the middle.");
        } else {
            caps.Note = QStringLiteral("On Wayland, Auto Capture captures when the mouse rests; "
                                       "captures on clicks need an X11 session.");
        }
        // The compositor keeps to itself which window is under the pointer.
        caps.FitWindow = false;
        if (modes)
            caps.Note += QStringLiteral(" Fit a window is not offered: Wayland does not tell "
                                        "programs which window is under the mouse.");
        // No Pause key of our own here: the desktop's shortcut where it
        // offers one, the command everywhere.
        if (PortalProperty(ShortcutsInterface, QStringLiteral("version")).isValid()) {
            caps.ManualText = QStringLiteral("1. Press the capture key or run \"quillora --capture\".");
        } else {
            caps.ManualText = QStringLiteral("1. Run \"quillora --capture\" to capture Screenshots.");
            const IHotKey::TDesktopKey key = modes ? Key.DesktopKey() : IHotKey::TDesktopKey{};
            if (!modes) {
                // Nothing is recorded here; the note says so already.
            } else if (!key.Bound.isEmpty()) {
                caps.ManualText = QStringLiteral("1. Press %1 or run \"quillora --capture\".")
                                      .arg(key.Bound);
            } else if (key.CanAdd) {
                caps.Note += QStringLiteral(" The first recording offers to add a key for the "
                                            "command quillora --capture to GNOME's keyboard "
                                            "settings.");
            } else {
                caps.Note += QStringLiteral(" To capture with a key, bind one to the command "
                                            "quillora --capture in the desktop's keyboard settings.");
            }
        }
        if (!QSystemTrayIcon::isSystemTrayAvailable())
            caps.StopText =
                QStringLiteral("2. Click the Quillora button in a corner of the screen");
        return caps;
    }

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

  private:
    TScreenCast Cast;
    QRect FrameLines;
    TShellPlacement Placement;
    TCaptureService Service;
    TWaylandScreen ScreenRd;
    TWaylandInput InputMon;
    TWaylandFrame FrameWin;
    TWaylandHotKey Key;
    TWaylandTray TrayIcon;
    TQtSound Player;
    TQtPrompts Boxes;
};

} // namespace

std::unique_ptr<IPlatform> CreateWaylandPlatform(QString* why)
{
    // Without a session bus there are no portals either; the start of a
    // recording says so then, rather than a backend that records nothing.
    Q_UNUSED(why);
    return std::make_unique<TWaylandPlatform>();
}

} // namespace platform

#include "WaylandPlatform.moc"
