// The Wayland backend against a real PipeWire daemon and a stand-in
// ScreenCast portal that offers cursor metadata (wayland/run.sh starts
// both). A producer stream of our own plays the desktop: BGRx frames with
// padded rows and a cursor position in the metadata.
#include "platform/CaptureService.h"
#include "platform/FrameGeometry.h"
#include "platform/Platform.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QThread>

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>

using namespace platform;

namespace {

constexpr int Width = 320;
constexpr int Height = 240;
constexpr int Stride = Width * 4 + 64; // rows padded, as GPUs like them

QRgb PixelAt(int x, int y, int shade)
{
    return qRgb((x + y + shade) & 0xff, y & 0xff, x & 0xff);
}

// A video source on PipeWire that drives itself at 30 frames a second and
// behaves as GNOME Shell's screen cast does: cursor metadata sized for a
// 384 x 384 cursor, the first buffers with an empty cursor bitmap, and a
// full frame only when the picture changed; otherwise buffers that carry
// only the pointer (chunk size 0, flagged corrupted).
class TProducer {
  public:
    std::atomic<int> CursorX{10}, CursorY{20};
    std::atomic<int> Shade{0};
    const bool PointerOnly; // never a picture, as headless KWin

    explicit TProducer(bool pointerOnly = false) : PointerOnly(pointerOnly)
    {
        pw_init(nullptr, nullptr);
        Loop = pw_thread_loop_new("producer", nullptr);
        Context = pw_context_new(pw_thread_loop_get_loop(Loop), nullptr, 0);
        pw_thread_loop_start(Loop);
        pw_thread_loop_lock(Loop);
        Core = pw_context_connect(Context, nullptr, 0);
        Stream = pw_stream_new(Core, "test desktop",
                               pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", nullptr));
        static const pw_stream_events events = [] {
            pw_stream_events e{};
            e.version = PW_VERSION_STREAM_EVENTS;
            e.state_changed = &TProducer::OnState;
            e.param_changed = &TProducer::OnParam;
            e.process = &TProducer::OnProcess;
            return e;
        }();
        pw_stream_add_listener(Stream, &Listener, &events, this);
        uint8_t buffer[512];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        spa_rectangle size = SPA_RECTANGLE(Width, Height);
        spa_fraction rate = SPA_FRACTION(30, 1);
        const spa_pod* params[] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
            SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
            SPA_POD_Id(SPA_VIDEO_FORMAT_BGRx), SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size),
            SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)))};
        pw_stream_connect(Stream, SPA_DIRECTION_OUTPUT, PW_ID_ANY,
                          pw_stream_flags(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS),
                          params, 1);
        Timer = pw_loop_add_timer(pw_thread_loop_get_loop(Loop), &TProducer::OnTimer, this);
        timespec interval{0, 33 * 1000 * 1000};
        pw_loop_update_timer(pw_thread_loop_get_loop(Loop), Timer, &interval, &interval, false);
        pw_thread_loop_unlock(Loop);
    }

    ~TProducer()
    {
        pw_thread_loop_lock(Loop);
        pw_loop_destroy_source(pw_thread_loop_get_loop(Loop), Timer);
        spa_hook_remove(&Listener);
        pw_stream_destroy(Stream);
        pw_core_disconnect(Core);
        pw_thread_loop_unlock(Loop);
        pw_thread_loop_stop(Loop);
        pw_context_destroy(Context);
        pw_thread_loop_destroy(Loop);
    }

    // The node the portal hands out, once the stream has one.
    uint32_t Node()
    {
        QElapsedTimer clock;
        clock.start();
        while (NodeId == SPA_ID_INVALID && clock.elapsed() < 10000)
            QThread::msleep(10);
        return NodeId;
    }

  private:
    static void OnState(void* data, pw_stream_state, pw_stream_state state, const char*)
    {
        auto* self = static_cast<TProducer*>(data);
        if (state == PW_STREAM_STATE_PAUSED || state == PW_STREAM_STATE_STREAMING)
            self->NodeId = pw_stream_get_node_id(self->Stream);
    }

    static void OnParam(void* data, uint32_t id, const spa_pod* param)
    {
        auto* self = static_cast<TProducer*>(data);
        if (!param || id != SPA_PARAM_Format)
            return;
        self->Sent = 0;
        uint8_t buffer[512];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        const int metaSize = int(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) + 384 * 384 * 4;
        const spa_pod* params[] = {
            static_cast<const spa_pod*>(spa_pod_builder_add_object(
                &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
                SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
                SPA_PARAM_BUFFERS_size, SPA_POD_Int(Stride * Height), SPA_PARAM_BUFFERS_stride,
                SPA_POD_Int(Stride), SPA_PARAM_BUFFERS_dataType,
                SPA_POD_CHOICE_FLAGS_Int(1 << SPA_DATA_MemFd))),
            static_cast<const spa_pod*>(spa_pod_builder_add_object(
                &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
                SPA_POD_Id(SPA_META_Cursor), SPA_PARAM_META_size, SPA_POD_Int(metaSize)))};
        pw_stream_update_params(self->Stream, params, 2);
    }

    static void OnTimer(void* data, uint64_t)
    {
        auto* self = static_cast<TProducer*>(data);
        pw_stream_trigger_process(self->Stream);
    }

    static void OnProcess(void* data)
    {
        auto* self = static_cast<TProducer*>(data);
        pw_buffer* b = pw_stream_dequeue_buffer(self->Stream);
        if (!b)
            return;
        spa_data& d = b->buffer->datas[0];
        auto* pixels = static_cast<uint8_t*>(d.data);
        // Buffers made before our size took effect are sent empty.
        d.chunk->size = 0;
        d.chunk->flags = SPA_CHUNK_FLAG_CORRUPTED;
        const int shade = self->Shade;
        // A consumer that joins later gets a full frame within a second.
        const bool changed =
            !self->PointerOnly && (shade != self->SentShade || self->Sent < 3 || ++self->Idle % 30 == 0);
        if (pixels && d.maxsize >= uint32_t(Stride * Height) && changed) {
            for (int y = 0; y < Height; ++y) {
                auto* row = reinterpret_cast<uint32_t*>(pixels + size_t(y) * Stride);
                for (int x = 0; x < Width; ++x)
                    row[x] = PixelAt(x, y, shade) & 0x00ffffffu; // the x byte left 0
            }
            d.chunk->offset = 0;
            d.chunk->stride = Stride;
            d.chunk->size = uint32_t(Stride * Height);
            d.chunk->flags = SPA_CHUNK_FLAG_NONE;
            self->SentShade = shade;
            ++self->Sent;
        }
        if (auto* cursor = static_cast<spa_meta_cursor*>(
                spa_buffer_find_meta_data(b->buffer, SPA_META_Cursor, sizeof(spa_meta_cursor)))) {
            cursor->id = 1;
            cursor->position.x = self->CursorX;
            cursor->position.y = self->CursorY;
            cursor->hotspot = {4, 4};
            cursor->bitmap_offset = 0;
            if (self->Sent < 3) {
                // No pointer motion yet: an empty bitmap.
                cursor->bitmap_offset = sizeof(spa_meta_cursor);
                auto* bitmap = SPA_PTROFF(cursor, cursor->bitmap_offset, spa_meta_bitmap);
                *bitmap = {};
                bitmap->format = SPA_VIDEO_FORMAT_RGBA;
            }
        }
        pw_stream_queue_buffer(self->Stream, b);
    }

    pw_thread_loop* Loop = nullptr;
    pw_context* Context = nullptr;
    pw_core* Core = nullptr;
    pw_stream* Stream = nullptr;
    spa_source* Timer = nullptr;
    spa_hook Listener{};
    std::atomic<uint32_t> NodeId{SPA_ID_INVALID};
    int SentShade = -1; // on PipeWire's thread only
    int Sent = 0;
    int Idle = 0;
};

QString StandIn(const char* file)
{
    return QString::fromLocal8Bit(qgetenv("STANDIN_DIR")) + "/" + file;
}

void WriteFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

QByteArray Calls()
{
    QFile f(StandIn("calls"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs the event loop until done() or 5 s.
template <typename F> bool WaitFor(F done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

class WaylandStream : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        Producer = new TProducer;
        const uint32_t node = Producer->Node();
        ASSERT_NE(node, SPA_ID_INVALID);
        WriteFile(StandIn("node"), QByteArray::number(node));
    }
    static void TearDownTestSuite()
    {
        delete Producer;
        Producer = nullptr;
    }
    void SetUp() override
    {
        QFile::remove(StandIn("calls"));
        QFile::remove(StandIn("answer"));
        Desk = CreatePlatform();
        ASSERT_EQ(Desk->Name(), "wayland");
    }
    void TearDown() override { Desk.reset(); }

    static TProducer* Producer;
    std::unique_ptr<IPlatform> Desk;
};
TProducer* WaylandStream::Producer = nullptr;

TEST_F(WaylandStream, PixelsAndPointerComeFromTheStream)
{
    // With metadata, auto mode is offered; clicks are not.
    const TCapabilities caps = Desk->Capabilities();
    EXPECT_TRUE(caps.AutoMode);
    EXPECT_FALSE(caps.ClickCapture);
    EXPECT_FALSE(caps.Note.isEmpty());

    QString why;
    ASSERT_TRUE(Desk->Screen().Open(&why)) << why.toStdString();
    EXPECT_TRUE(Calls().contains(R"("cursor_mode": 4)")) << Calls().toStdString();
    EXPECT_EQ(Desk->Screen().PrimaryScreen(), QRect(0, 0, Width, Height));

    // A region partly off the monitor: the rest is black.
    const QImage image = Desk->Screen().Read(QRect(300, 200, 40, 50));
    ASSERT_EQ(image.size(), QSize(40, 50));
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool on = 300 + x < Width && 200 + y < Height;
            ASSERT_EQ(image.pixel(x, y), on ? PixelAt(300 + x, 200 + y, 0) : qRgb(0, 0, 0))
                << x << "," << y;
        }

    // The pointer from the metadata, and each move told on the main thread.
    std::vector<QPoint> moves;
    ASSERT_TRUE(Desk->Input().Start({nullptr, nullptr, [&](QPoint p) { moves.push_back(p); }}));
    ASSERT_TRUE(WaitFor([&] { return Desk->Input().PointerPos() == QPoint(10, 20); }));
    Producer->CursorX = 150;
    Producer->CursorY = 77;
    ASSERT_TRUE(WaitFor([&] { return !moves.empty() && moves.back() == QPoint(150, 77); }));
    EXPECT_EQ(Desk->Input().PointerPos(), QPoint(150, 77));
    // The move came in buffers without a picture: the kept frame still reads.
    EXPECT_EQ(Desk->Screen().Read(QRect(5, 6, 1, 1)).pixel(0, 0), PixelAt(5, 6, 0));

    // A later frame replaces the kept one.
    Producer->Shade = 100;
    ASSERT_TRUE(WaitFor(
        [&] { return Desk->Screen().Read(QRect(5, 6, 1, 1)).pixel(0, 0) == PixelAt(5, 6, 100); }));
    Desk->Input().Stop();
    Producer->Shade = 0;

    Desk->Screen().Close();
    EXPECT_TRUE(WaitFor([] { return Calls().contains(R"("call": "Close")"); }));
    // Closed: a read says so rather than passing black off as the screen.
    EXPECT_THROW(Desk->Screen().Read(QRect(5, 6, 1, 1)), std::runtime_error);
}

TEST_F(WaylandStream, ConsentIsKeptAndACancelStartsNothing)
{
    // The token of the last agreement goes back to the portal.
    QString why;
    ASSERT_TRUE(Desk->Screen().Open(&why)) << why.toStdString();
    Desk->Screen().Close();
    const QString token = QSettings().value("Wayland/RestoreToken").toString();
    ASSERT_TRUE(token.startsWith("token-")) << token.toStdString();
    QFile::remove(StandIn("calls"));
    ASSERT_TRUE(Desk->Screen().Open(&why)) << why.toStdString();
    EXPECT_TRUE(Calls().contains(QStringLiteral(R"("restore_token": "%1")").arg(token).toUtf8()))
        << Calls().toStdString();
    EXPECT_TRUE(Calls().contains(R"("persist_mode": 2)"));
    Desk->Screen().Close();

    // The user cancels: a clear reason, the portal session closed again.
    WriteFile(StandIn("answer"), "1");
    QFile::remove(StandIn("calls"));
    EXPECT_FALSE(Desk->Screen().Open(&why));
    EXPECT_TRUE(why.contains("cancelled")) << why.toStdString();
    EXPECT_TRUE(WaitFor([] { return Calls().contains(R"("call": "Close")"); }))
        << Calls().toStdString();
    EXPECT_FALSE(Calls().contains("OpenPipeWireRemote"));
    EXPECT_THROW(Desk->Screen().Read(QRect(0, 0, 2, 2)), std::runtime_error);
}

TEST_F(WaylandStream, AStreamTheDesktopEndsFailsTheCapture)
{
    // A desktop of its own that goes away mid-recording, as when the user
    // stops the sharing from the desktop's panel.
    auto gone = std::make_unique<TProducer>();
    const uint32_t node = gone->Node();
    ASSERT_NE(node, SPA_ID_INVALID);
    WriteFile(StandIn("node"), QByteArray::number(node));
    QString why;
    ASSERT_TRUE(Desk->Screen().Open(&why)) << why.toStdString();
    EXPECT_NO_THROW(Desk->Screen().Read(QRect(0, 0, 8, 8)));
    gone.reset();
    EXPECT_TRUE(WaitFor([&] {
        try {
            Desk->Screen().Read(QRect(0, 0, 8, 8));
            return false;
        } catch (const std::runtime_error& error) {
            return QString::fromStdString(error.what()).contains("Nothing was captured");
        }
    }));
    Desk->Screen().Close();
    WriteFile(StandIn("node"), QByteArray::number(Producer->Node()));
}

TEST_F(WaylandStream, AStreamOfOnlyThePointerRecordsAndSaysWhenThereIsNoPicture)
{
    auto pointerOnly = std::make_unique<TProducer>(true);
    const uint32_t node = pointerOnly->Node();
    ASSERT_NE(node, SPA_ID_INVALID);
    WriteFile(StandIn("node"), QByteArray::number(node));
    pointerOnly->CursorX = 33;
    pointerOnly->CursorY = 44;
    QString why;
    ASSERT_TRUE(Desk->Screen().Open(&why)) << why.toStdString();
    ASSERT_TRUE(Desk->Input().Start({nullptr, nullptr, nullptr}));
    EXPECT_TRUE(WaitFor([&] { return Desk->Input().PointerPos() == QPoint(33, 44); }));
    EXPECT_TRUE(Desk->Input().KnowsPointer());
    try {
        Desk->Screen().Read(QRect(0, 0, 8, 8));
        ADD_FAILURE() << "a capture without a picture read something";
    } catch (const std::runtime_error& error) {
        EXPECT_TRUE(QString::fromStdString(error.what()).contains("not sent a picture"))
            << error.what();
    }
    Desk->Input().Stop();
    Desk->Screen().Close();
    WriteFile(StandIn("node"), QByteArray::number(Producer->Node()));
}

TEST_F(WaylandStream, CaptureKeyComesFromGlobalShortcutsAndTheCommand)
{
    int presses = 0;
    EXPECT_EQ(Desk->HotKey().Grab([&] { ++presses; }), IHotKey::TGrabResult::Grabbed)
        << Calls().toStdString();
    EXPECT_TRUE(Calls().contains(R"("preferred_trigger": "Pause")")) << Calls().toStdString();
    // Also in CreateSession's options, where KDE Plasma 5.27 takes them.
    EXPECT_TRUE(Calls().contains(R"("call": "CreateSession", "shortcuts": [["capture")"))
        << Calls().toStdString();
    // The stand-in presses the bound shortcut once.
    ASSERT_TRUE(WaitFor([&] { return presses == 1; }));

    // `quillora --capture`, as another process would send it.
    EXPECT_EQ(RequestCapture(), QString());
    ASSERT_TRUE(WaitFor([&] { return presses == 2; }));
    Desk->HotKey().Release();
    EXPECT_EQ(RequestCapture(), QStringLiteral("Quillora is not recording."));
    QCoreApplication::processEvents();
    EXPECT_EQ(presses, 2);
}

// The frame's window as large as the monitor, found as a user's tools find it.
QWidget* FrameWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == QLatin1String("Quillora frame") && w->isVisible())
            return w;
    return nullptr;
}

void Mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons held)
{
    QMouseEvent event(type, QPointF(at), w->mapToGlobal(QPointF(at)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

void Drag(QWidget* w, QPoint from, QPoint to)
{
    Mouse(w, QEvent::MouseButtonPress, from, Qt::LeftButton);
    Mouse(w, QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
    Mouse(w, QEvent::MouseMove, to, Qt::LeftButton);
    Mouse(w, QEvent::MouseButtonRelease, to, Qt::NoButton);
}

void Key(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent event(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(w, &event);
}

TEST_F(WaylandStream, TheFrameIsPlacedByItsBorderHandlesAndKeysOnlyWhileAdjustable)
{
    QString why;
    ASSERT_TRUE(Desk->Screen().Open(&why)) << why.toStdString();
    IScreenFrame& frame = Desk->Frame();
    frame.Show(50, 40, 151, 121); // 100 x 80 captured
    QWidget* w = FrameWindow();
    ASSERT_NE(w, nullptr);
    // Named for screen readers and tools; the label is its description.
    frame.SetLabel(QStringLiteral("100 x 80"));
    QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(w);
    ASSERT_NE(a11y, nullptr);
    EXPECT_EQ(a11y->text(QAccessible::Name), QStringLiteral("Quillora frame"));
    EXPECT_EQ(a11y->text(QAccessible::Description), QStringLiteral("100 x 80"));

    std::vector<QRect> changes;
    TFrameAdjust adjust;
    adjust.Screen = QRect(0, 0, Width, Height);
    adjust.MinSize = QSize(40, 40);
    adjust.MaxSize = QSize(1000, 1000);
    adjust.Changed = [&](const QRect& lines) { changes.push_back(lines); };
    frame.SetAdjustable(&adjust);
    EXPECT_TRUE(frame.IsAdjustable());
    // Offscreen there is no input region to set: no handles are claimed.
    EXPECT_FALSE(frame.CanAdjust());
    EXPECT_TRUE(frame.OnHandle(QPoint(80, 37)));
    EXPECT_FALSE(frame.OnHandle(QPoint(80, 60))) << "inside the region";

    // Inside the region a press grabs nothing.
    Drag(w, QPoint(80, 60), QPoint(120, 90));
    EXPECT_TRUE(changes.empty());
    // The top band moves the frame whole.
    Drag(w, QPoint(80, 37), QPoint(90, 47));
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(changes.back(), QRect(QPoint(60, 50), QPoint(161, 131)));
    // The bottom right corner resizes it, the left and top lines stay.
    const QRect corner = HandlesOf(changes.back()).Handles[2];
    ASSERT_EQ(HandlesOf(changes.back()).HandleEdges[2], EdgeRight | EdgeBottom);
    Drag(w, corner.center(), corner.center() + QPoint(20, 10));
    EXPECT_EQ(changes.back(), QRect(QPoint(60, 50), QPoint(181, 141)));
    // The right edge dragged past the monitor's edge stops there.
    const QRect right = HandlesOf(changes.back()).Handles[5];
    ASSERT_EQ(HandlesOf(changes.back()).HandleEdges[5], EdgeRight);
    Drag(w, right.center(), right.center() + QPoint(500, 0));
    EXPECT_EQ(changes.back(), QRect(QPoint(60, 50), QPoint(Width, 141)));
    // The arrow keys nudge it, Shift by 10.
    const QRect before = changes.back();
    Key(w, Qt::Key_Left);
    Key(w, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(changes.back(), before.translated(-1, -10));

    // Once recording runs nothing of the frame takes the pointer or keys.
    const size_t count = changes.size();
    frame.SetAdjustable(nullptr);
    EXPECT_FALSE(frame.IsAdjustable());
    const QRect top = HandlesOf(changes.back()).Bands[0];
    EXPECT_FALSE(frame.OnHandle(top.center()));
    Drag(w, top.center(), top.center() + QPoint(10, 10));
    Key(w, Qt::Key_Right);
    EXPECT_EQ(changes.size(), count);

    // Paused with pictures taken: a corner moves the frame, keeping its size.
    adjust.Resizable = false;
    frame.SetAdjustable(&adjust);
    const QRect kept = changes.back();
    const QRect grip = HandlesOf(kept).Handles[0];
    Drag(w, grip.center(), grip.center() + QPoint(-5, 7));
    EXPECT_EQ(changes.back(), kept.translated(-5, 7));
    frame.SetAdjustable(nullptr);
    frame.Hide();
    Desk->Screen().Close();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QUILLORA_PLATFORM", "wayland");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Brindlecove");
    QCoreApplication::setApplicationName("QuilloraTest");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
