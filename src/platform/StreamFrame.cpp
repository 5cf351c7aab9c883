#include "platform/StreamFrame.h"

#include <spa/buffer/buffer.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/raw.h>

#include <QSet>

#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

// Byte offsets of red, green and blue within a 4-byte pixel.
struct TLayout {
    int R, G, B;
};

std::optional<TLayout> LayoutOf(uint32_t format)
{
    switch (format) {
    case SPA_VIDEO_FORMAT_BGRx:
    case SPA_VIDEO_FORMAT_BGRA:
        return TLayout{2, 1, 0};
    case SPA_VIDEO_FORMAT_RGBx:
    case SPA_VIDEO_FORMAT_RGBA:
        return TLayout{0, 1, 2};
    case SPA_VIDEO_FORMAT_xRGB:
    case SPA_VIDEO_FORMAT_ARGB:
        return TLayout{1, 2, 3};
    case SPA_VIDEO_FORMAT_xBGR:
    case SPA_VIDEO_FORMAT_ABGR:
        return TLayout{3, 2, 1};
    default:
        return std::nullopt;
    }
}

} // namespace

bool IsSupportedFormat(uint32_t format)
{
    return LayoutOf(format).has_value();
}

QImage CopyRegion(const TFrameView& frame, const QRect& rect)
{
    QImage out(rect.size(), QImage::Format_RGB32);
    out.fill(Qt::black);
    const std::optional<TLayout> layout = LayoutOf(frame.Format);
    if (!frame.Data || !layout || frame.Width <= 0 || frame.Height <= 0)
        return out;
    const int stride = frame.Stride > 0 ? frame.Stride : frame.Width * 4;
    if (stride < frame.Width * 4)
        return out; // a frame that cannot hold its own rows
    const QRect part = rect & QRect(0, 0, frame.Width, frame.Height);
    if (part.isEmpty())
        return out;
    const QPoint to = part.topLeft() - rect.topLeft();
    const bool direct =
        frame.Format == SPA_VIDEO_FORMAT_BGRx || frame.Format == SPA_VIDEO_FORMAT_BGRA;
    for (int y = 0; y < part.height(); ++y) {
        const uint8_t* src =
            frame.Data + size_t(part.y() + y) * size_t(stride) + size_t(part.x()) * 4;
        auto* dst = reinterpret_cast<uint32_t*>(out.scanLine(to.y() + y)) + to.x();
        if (direct) {
            // Already Qt's byte order on little-endian machines; only the
            // padding byte needs setting.
            std::memcpy(dst, src, size_t(part.width()) * 4);
            for (int x = 0; x < part.width(); ++x)
                dst[x] |= 0xff000000u;
            continue;
        }
        for (int x = 0; x < part.width(); ++x, src += 4)
            dst[x] = 0xff000000u | uint32_t(src[layout->R]) << 16 | uint32_t(src[layout->G]) << 8 |
                     uint32_t(src[layout->B]);
    }
    return out;
}

std::optional<QPoint> CursorPosition(const void* meta, size_t size)
{
    if (!meta || size < sizeof(spa_meta_cursor))
        return std::nullopt;
    spa_meta_cursor cursor;
    std::memcpy(&cursor, meta, sizeof cursor);
    // Id 0: this buffer brings no cursor news (or the pointer left the
    // stream); the last known position stays.
    if (cursor.id == 0)
        return std::nullopt;
    return QPoint(cursor.position.x, cursor.position.y);
}

TBufferNews ReadBuffer(const spa_buffer* buffer, bool withCursor)
{
    TBufferNews news;
    if (!buffer)
        return news;
    if (buffer->n_datas >= 1 && buffer->datas[0].chunk) {
        const spa_chunk* chunk = buffer->datas[0].chunk;
        news.Picture = chunk->size > 0 && !(chunk->flags & SPA_CHUNK_FLAG_CORRUPTED);
    }
    if (withCursor)
        if (const auto* meta = static_cast<const spa_meta*>(
                spa_buffer_find_meta(const_cast<spa_buffer*>(buffer), SPA_META_Cursor)))
            news.Pointer = CursorPosition(meta->data, meta->size);
    return news;
}

int CursorMetaBytes(int width, int height)
{
    return int(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) + width * height * 4;
}

TMetaSizes CursorMetaSizes()
{
    // The bitmap is not used, but its room must be offered; 1024 x 1024
    // leaves room for the largest cursors at 200 % and more.
    return {CursorMetaBytes(64, 64), CursorMetaBytes(1, 1), CursorMetaBytes(1024, 1024)};
}

namespace {

bool IsFrameRed(QRgb c)
{
    return qRed(c) >= 240 && qGreen(c) <= 16 && qBlue(c) <= 16;
}

} // namespace

std::optional<QPoint> FindFrameLines(const QImage& screen, const QRect& lines)
{
    if (screen.isNull() || lines.width() < 3 || lines.height() < 3)
        return std::nullopt;
    const QImage image = screen.convertToFormat(QImage::Format_RGB32);
    const int w = lines.width(), h = lines.height();
    const auto red = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < image.width() && y < image.height() &&
               IsFrameRed(image.pixel(x, y));
    };
    // Samples along the four lines; a window over part of the frame (a
    // message box at the start of a recording) still leaves enough.
    constexpr int Steps = 16;
    constexpr int Samples = 4 * (Steps + 1);
    const auto score = [&](int x, int y) {
        const int r = x + w - 1, b = y + h - 1;
        int n = 0;
        for (int i = 0; i <= Steps; ++i) {
            const int sx = x + (w - 1) * i / Steps, sy = y + (h - 1) * i / Steps;
            n += red(sx, y) + red(sx, b) + red(x, sy) + red(r, sy);
        }
        return n;
    };
    std::optional<QPoint> best;
    int bestScore = 0, bestDistance = 0;
    QSet<quint64> tried;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (!IsFrameRed(row[x]))
                continue;
            // A red pixel may be any of the four corners.
            for (const QPoint at : {QPoint(x, y), QPoint(x - w + 1, y), QPoint(x, y - h + 1),
                                    QPoint(x - w + 1, y - h + 1)}) {
                const quint64 key = quint64(quint32(at.x())) << 32 | quint32(at.y());
                if (tried.contains(key))
                    continue;
                // A screen full of red: give up rather than hold up the program.
                if (tried.size() > 40000)
                    return best;
                tried.insert(key);
                const int n = score(at.x(), at.y());
                if (n * 4 < Samples * 3)
                    continue;
                const int distance = std::abs(at.x() - lines.x()) + std::abs(at.y() - lines.y());
                if (!best || n > bestScore || (n == bestScore && distance < bestDistance)) {
                    best = at;
                    bestScore = n;
                    bestDistance = distance;
                }
            }
        }
    }
    return best;
}

} // namespace platform
