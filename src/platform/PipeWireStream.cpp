#include "platform/PipeWireStream.h"

#include "platform/StreamFrame.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <spa/utils/result.h>

#include <linux/dma-buf.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace platform {

namespace {

void InitPipeWire()
{
    static const bool done = [] {
        pw_init(nullptr, nullptr);
        return true;
    }();
    (void)done;
}

} // namespace

struct TPipeWireStream::TImpl {
    pw_thread_loop* Loop = nullptr;
    pw_context* Context = nullptr;
    pw_core* Core = nullptr;
    pw_stream* Stream = nullptr;
    spa_hook CoreListener{};
    spa_hook StreamListener{};
    pw_registry* Registry = nullptr;
    spa_hook RegistryListener{};
    uint32_t Node = 0;
    bool WithCursor = false;

    mutable std::mutex Lock; // guards everything below
    std::condition_variable Changed;
    pw_buffer* Held = nullptr;
    spa_video_info_raw Format{};
    bool HaveFormat = false;
    bool HaveFrame = false;
    bool Streaming = false; // the format is agreed and the producer runs
    QString Error;
    std::optional<QPoint> PointerPos;
    std::function<void()> PointerMoved;
    std::function<void()> FrameArrived;

    static void OnCoreError(void* data, uint32_t id, int, int res, const char* message)
    {
        auto* self = static_cast<TImpl*>(data);
        if (id != PW_ID_CORE)
            return;
        std::lock_guard<std::mutex> guard(self->Lock);
        self->Error = QStringLiteral("PipeWire: %1 (%2)")
                          .arg(QString::fromUtf8(message), QString::fromUtf8(spa_strerror(res)));
        self->Changed.notify_all();
    }

    static void OnStateChanged(void* data, pw_stream_state, pw_stream_state state,
                               const char* error)
    {
        auto* self = static_cast<TImpl*>(data);
        if (state == PW_STREAM_STATE_STREAMING) {
            std::lock_guard<std::mutex> guard(self->Lock);
            self->Streaming = true;
            self->Changed.notify_all();
        }
        if (state != PW_STREAM_STATE_ERROR && state != PW_STREAM_STATE_UNCONNECTED)
            return;
        std::lock_guard<std::mutex> guard(self->Lock);
        self->Error = state == PW_STREAM_STATE_ERROR
                          ? QStringLiteral("The screen-cast stream failed: %1")
                                .arg(QString::fromUtf8(error ? error : "unknown error"))
                          : QStringLiteral("The desktop ended the screen-cast stream.");
        self->Changed.notify_all();
    }

    static void OnParamChanged(void* data, uint32_t id, const spa_pod* param)
    {
        auto* self = static_cast<TImpl*>(data);
        if (id != SPA_PARAM_Format)
            return;
        if (!param) {
            // The format is gone: the producer left (the desktop ended the
            // sharing). No state change tells this.
            std::lock_guard<std::mutex> guard(self->Lock);
            if (self->HaveFrame && self->Error.isEmpty())
                self->Error = QStringLiteral("The desktop ended the screen-cast stream.");
            self->HaveFormat = false;
            self->Changed.notify_all();
            return;
        }
        uint32_t mediaType = 0, mediaSubtype = 0;
        if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 ||
            mediaType != SPA_MEDIA_TYPE_video || mediaSubtype != SPA_MEDIA_SUBTYPE_raw)
            return;
        spa_video_info_raw format{};
        if (spa_format_video_raw_parse(param, &format) < 0)
            return;
        {
            std::lock_guard<std::mutex> guard(self->Lock);
            self->Format = format;
            self->HaveFormat = true;
        }
        uint8_t buffer[1024];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        const spa_pod* params[2];
        uint32_t count = 0;
        params[count++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(4, 2, 16), SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr) |
                                     (1 << SPA_DATA_DmaBuf))));
        if (self->WithCursor) {
            const TMetaSizes sizes = CursorMetaSizes();
            params[count++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
                &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
                SPA_POD_Id(SPA_META_Cursor), SPA_PARAM_META_size,
                SPA_POD_CHOICE_RANGE_Int(sizes.Default, sizes.Min, sizes.Max)));
        }
        pw_stream_update_params(self->Stream, params, count);
    }

    // When the producer leaves, the stream itself says nothing; the node's
    // removal from the registry tells.
    static void OnGlobalRemove(void* data, uint32_t id)
    {
        auto* self = static_cast<TImpl*>(data);
        if (id != self->Node)
            return;
        std::lock_guard<std::mutex> guard(self->Lock);
        if (self->Error.isEmpty())
            self->Error = QStringLiteral("The desktop ended the screen-cast stream.");
        self->Changed.notify_all();
    }

    // The stream takes back its buffers when the format changes or the
    // stream ends; the kept one must not outlive it.
    static void OnRemoveBuffer(void* data, pw_buffer* b)
    {
        auto* self = static_cast<TImpl*>(data);
        std::lock_guard<std::mutex> guard(self->Lock);
        if (self->Held == b)
            self->Held = nullptr;
    }

    static void OnProcess(void* data)
    {
        auto* self = static_cast<TImpl*>(data);
        pw_buffer* newest = nullptr;
        bool moved = false;
        // Take every waiting buffer: only the newest picture is worth keeping;
        // buffers with only cursor news go back at once.
        while (pw_buffer* b = pw_stream_dequeue_buffer(self->Stream)) {
            const TBufferNews news = ReadBuffer(b->buffer, self->WithCursor);
            if (news.Pointer) {
                std::lock_guard<std::mutex> guard(self->Lock);
                moved = moved || self->PointerPos != news.Pointer;
                self->PointerPos = news.Pointer;
            }
            if (news.Picture) {
                if (newest)
                    pw_stream_queue_buffer(self->Stream, newest);
                newest = b;
            } else {
                pw_stream_queue_buffer(self->Stream, b);
            }
        }
        pw_buffer* old = nullptr;
        std::function<void()> notify, arrived;
        {
            std::lock_guard<std::mutex> guard(self->Lock);
            if (newest) {
                old = self->Held;
                self->Held = newest;
                self->HaveFrame = true;
                self->Changed.notify_all();
                arrived = self->FrameArrived;
            }
            if (moved)
                notify = self->PointerMoved;
        }
        if (old)
            pw_stream_queue_buffer(self->Stream, old);
        if (notify)
            notify();
        if (arrived)
            arrived();
    }

    // Lock held.
    bool IsRunningLocked() const { return Stream != nullptr; }

    // Lock held.
    QImage ReadHeld(const QRect& rect)
    {
        if (!Held || !HaveFormat)
            return CopyRegion({}, rect);
        const spa_data& d = Held->buffer->datas[0];
        TFrameView view;
        view.Width = int(Format.size.width);
        view.Height = int(Format.size.height);
        view.Stride = d.chunk->stride;
        view.Format = Format.format;
        if (d.data) {
            view.Data = static_cast<const uint8_t*>(d.data) + d.chunk->offset;
            return CopyRegion(view, rect);
        }
        if (d.type != SPA_DATA_DmaBuf || d.fd < 0)
            return CopyRegion({}, rect);
        // A DMA-BUF the stream did not map: map it for this read only, with
        // the kernel's begin/end marks so the GPU's writes are visible.
        const size_t length = size_t(d.mapoffset) + d.maxsize;
        void* map = mmap(nullptr, length, PROT_READ, MAP_SHARED, int(d.fd), 0);
        if (map == MAP_FAILED)
            return CopyRegion({}, rect);
        dma_buf_sync sync{};
        sync.flags = DMA_BUF_SYNC_START | DMA_BUF_SYNC_READ;
        ioctl(int(d.fd), DMA_BUF_IOCTL_SYNC, &sync);
        view.Data = static_cast<const uint8_t*>(map) + d.mapoffset + d.chunk->offset;
        QImage out = CopyRegion(view, rect);
        sync.flags = DMA_BUF_SYNC_END | DMA_BUF_SYNC_READ;
        ioctl(int(d.fd), DMA_BUF_IOCTL_SYNC, &sync);
        munmap(map, length);
        return out;
    }
};

TPipeWireStream::TPipeWireStream() : Impl(std::make_unique<TImpl>()) {}

TPipeWireStream::~TPipeWireStream()
{
    Stop();
}

bool TPipeWireStream::Start(int fd, uint32_t node, bool withCursor, int timeoutMs, QString* why)
{
    Stop();
    InitPipeWire();
    TImpl& s = *Impl;
    s.WithCursor = withCursor;
    s.Error.clear();
    s.HaveFrame = s.HaveFormat = s.Streaming = false;
    s.PointerPos.reset();

    static const pw_core_events coreEvents = [] {
        pw_core_events e{};
        e.version = PW_VERSION_CORE_EVENTS;
        e.error = &TImpl::OnCoreError;
        return e;
    }();
    static const pw_stream_events streamEvents = [] {
        pw_stream_events e{};
        e.version = PW_VERSION_STREAM_EVENTS;
        e.state_changed = &TImpl::OnStateChanged;
        e.param_changed = &TImpl::OnParamChanged;
        e.process = &TImpl::OnProcess;
        e.remove_buffer = &TImpl::OnRemoveBuffer;
        return e;
    }();

    s.Loop = pw_thread_loop_new("quillora-screencast", nullptr);
    if (!s.Loop) {
        close(fd);
        *why = QStringLiteral("Cannot start PipeWire's thread.");
        return false;
    }
    s.Context = pw_context_new(pw_thread_loop_get_loop(s.Loop), nullptr, 0);
    if (!s.Context || pw_thread_loop_start(s.Loop) < 0) {
        close(fd);
        Stop();
        *why = QStringLiteral("Cannot set up PipeWire.");
        return false;
    }
    pw_thread_loop_lock(s.Loop);
    s.Core = pw_context_connect_fd(s.Context, fd, nullptr, 0); // owns fd from here on
    if (!s.Core) {
        pw_thread_loop_unlock(s.Loop);
        Stop();
        *why = QStringLiteral("Cannot connect to the desktop's PipeWire.");
        return false;
    }
    pw_core_add_listener(s.Core, &s.CoreListener, &coreEvents, &s);
    static const pw_registry_events registryEvents = [] {
        pw_registry_events e{};
        e.version = PW_VERSION_REGISTRY_EVENTS;
        e.global_remove = &TImpl::OnGlobalRemove;
        return e;
    }();
    s.Node = node;
    s.Registry = pw_core_get_registry(s.Core, PW_VERSION_REGISTRY, 0);
    if (s.Registry)
        pw_registry_add_listener(s.Registry, &s.RegistryListener, &registryEvents, &s);
    s.Stream = pw_stream_new(s.Core, "Quillora screen",
                             pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                               "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    pw_stream_add_listener(s.Stream, &s.StreamListener, &streamEvents, &s);

    uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    spa_rectangle defSize = SPA_RECTANGLE(1920, 1080), minSize = SPA_RECTANGLE(1, 1),
                  maxSize = SPA_RECTANGLE(16384, 16384);
    spa_fraction defRate = SPA_FRACTION(30, 1), minRate = SPA_FRACTION(0, 1),
                 maxRate = SPA_FRACTION(1000, 1);
    const spa_pod* params[1];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(9, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                               SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBA,
                               SPA_VIDEO_FORMAT_xRGB, SPA_VIDEO_FORMAT_xBGR, SPA_VIDEO_FORMAT_ARGB,
                               SPA_VIDEO_FORMAT_ABGR),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defSize, &minSize, &maxSize),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&defRate, &minRate, &maxRate)));
    const int res = pw_stream_connect(
        s.Stream, SPA_DIRECTION_INPUT, node,
        pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
    pw_thread_loop_unlock(s.Loop);
    if (res < 0) {
        Stop();
        *why = QStringLiteral("Cannot connect to the screen-cast stream: %1")
                   .arg(QString::fromUtf8(spa_strerror(res)));
        return false;
    }

    std::unique_lock<std::mutex> guard(s.Lock);
    bool ready = s.Changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
        return s.HaveFrame || (s.Streaming && s.HaveFormat) || !s.Error.isEmpty();
    });
    // A desktop may send nothing until the screen or the pointer changes,
    // or only the pointer (headless KWin sent no picture at all): after a
    // moment the stream counts as running, and a capture without a
    // picture says so.
    if (ready && !s.HaveFrame && s.Error.isEmpty())
        s.Changed.wait_for(guard, std::chrono::milliseconds(std::min(timeoutMs, 1500)),
                           [&] { return s.HaveFrame || !s.Error.isEmpty(); });
    ready = ready && s.HaveFormat;
    if (!ready || !s.Error.isEmpty() || !IsSupportedFormat(s.Format.format)) {
        const QString error =
            !s.Error.isEmpty() ? s.Error
            : !ready ? QStringLiteral("The screen-cast stream sent no picture within %1 seconds.")
                           .arg(timeoutMs / 1000)
                     : QStringLiteral("The screen-cast stream sends pictures in a format Quillora "
                                      "cannot read.");
        guard.unlock();
        Stop();
        *why = error;
        return false;
    }
    return true;
}

void TPipeWireStream::Stop()
{
    TImpl& s = *Impl;
    if (s.Loop)
        pw_thread_loop_lock(s.Loop);
    if (s.Stream) {
        {
            std::lock_guard<std::mutex> guard(s.Lock);
            if (s.Held)
                pw_stream_queue_buffer(s.Stream, s.Held);
            s.Held = nullptr;
            s.PointerMoved = nullptr;
            s.FrameArrived = nullptr;
        }
        pw_stream_disconnect(s.Stream);
        spa_hook_remove(&s.StreamListener);
        pw_stream_destroy(s.Stream);
        s.Stream = nullptr;
    }
    if (s.Core) {
        if (s.Registry) {
            spa_hook_remove(&s.RegistryListener);
            pw_proxy_destroy(reinterpret_cast<pw_proxy*>(s.Registry));
            s.Registry = nullptr;
        }
        spa_hook_remove(&s.CoreListener);
        pw_core_disconnect(s.Core);
        s.Core = nullptr;
    }
    if (s.Loop)
        pw_thread_loop_unlock(s.Loop);
    if (s.Loop)
        pw_thread_loop_stop(s.Loop);
    if (s.Context) {
        pw_context_destroy(s.Context);
        s.Context = nullptr;
    }
    if (s.Loop) {
        pw_thread_loop_destroy(s.Loop);
        s.Loop = nullptr;
    }
    std::lock_guard<std::mutex> guard(s.Lock);
    s.HaveFrame = s.HaveFormat = s.Streaming = false;
}

bool TPipeWireStream::IsRunning() const
{
    return Impl->Stream != nullptr;
}

QString TPipeWireStream::Problem() const
{
    std::lock_guard<std::mutex> guard(Impl->Lock);
    return Impl->IsRunningLocked() ? Impl->Error : QStringLiteral("The screen is not shared.");
}

bool TPipeWireStream::HasPicture() const
{
    std::lock_guard<std::mutex> guard(Impl->Lock);
    return Impl->Held != nullptr;
}

QSize TPipeWireStream::FrameSize() const
{
    std::lock_guard<std::mutex> guard(Impl->Lock);
    if (!Impl->HaveFormat)
        return {};
    return QSize(int(Impl->Format.size.width), int(Impl->Format.size.height));
}

QImage TPipeWireStream::Read(const QRect& rect)
{
    std::lock_guard<std::mutex> guard(Impl->Lock);
    return Impl->ReadHeld(rect);
}

std::optional<QPoint> TPipeWireStream::Pointer() const
{
    std::lock_guard<std::mutex> guard(Impl->Lock);
    return Impl->PointerPos;
}

void TPipeWireStream::SetPointerMoved(std::function<void()> moved)
{
    std::lock_guard<std::mutex> guard(Impl->Lock);
    Impl->PointerMoved = std::move(moved);
}

void TPipeWireStream::SetFrameArrived(std::function<void()> arrived)
{
    std::lock_guard<std::mutex> guard(Impl->Lock);
    Impl->FrameArrived = std::move(arrived);
}

} // namespace platform
