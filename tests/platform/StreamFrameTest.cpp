// Reading a capture out of a screen-cast frame: the pixel layouts, padded
// rows, regions partly off the frame, and the pointer from cursor metadata.
#include "platform/StreamFrame.h"

#include <spa/buffer/buffer.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/raw.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace platform;

namespace {

// A frame of width x height in the given byte order, each pixel's colour
// made from its position so every pixel is told apart; rows padded to
// stride bytes with a byte that must never show.
struct TFrame {
    std::vector<uint8_t> Bytes;
    TFrameView View;

    // stride 0: rows packed, as the stream says when it gives no stride.
    TFrame(int width, int height, int stride, uint32_t format, const int order[4])
        : Bytes(size_t(stride ? stride : width * 4) * size_t(height), 0xAB)
    {
        const int rowBytes = stride ? stride : width * 4;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint8_t rgbx[4] = {uint8_t(x * 7), uint8_t(y * 11), uint8_t(x + y), 0x10};
                uint8_t* p = &Bytes[size_t(y) * size_t(rowBytes) + size_t(x) * 4];
                for (int i = 0; i < 4; ++i)
                    p[i] = rgbx[order[i]]; // order: which of R, G, B, X goes in byte i
            }
        View = {Bytes.data(), stride, width, height, format};
    }
};

QRgb Expected(int x, int y)
{
    return qRgb(uint8_t(x * 7), uint8_t(y * 11), uint8_t(x + y));
}

const int BGRx[4] = {2, 1, 0, 3};
const int RGBx[4] = {0, 1, 2, 3};
const int xRGB[4] = {3, 0, 1, 2};
const int xBGR[4] = {3, 2, 1, 0};

} // namespace

TEST(StreamFrame, EveryLayoutReadsAsTheSameColours)
{
    struct TCase {
        uint32_t Format;
        const int* Order;
    } cases[] = {{SPA_VIDEO_FORMAT_BGRx, BGRx}, {SPA_VIDEO_FORMAT_BGRA, BGRx},
                 {SPA_VIDEO_FORMAT_RGBx, RGBx}, {SPA_VIDEO_FORMAT_RGBA, RGBx},
                 {SPA_VIDEO_FORMAT_xRGB, xRGB}, {SPA_VIDEO_FORMAT_xBGR, xBGR}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Format);
        // Rows padded by 12 bytes, as producers align them.
        TFrame frame(20, 10, 20 * 4 + 12, c.Format, c.Order);
        const QImage image = CopyRegion(frame.View, QRect(3, 2, 15, 7));
        ASSERT_EQ(image.size(), QSize(15, 7));
        ASSERT_EQ(image.format(), QImage::Format_RGB32);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 15; ++x)
                ASSERT_EQ(image.pixel(x, y), Expected(x + 3, y + 2)) << x << "," << y;
    }
}

TEST(StreamFrame, OffFrameAndUnreadableFramesAreBlack)
{
    TFrame frame(8, 6, 0, SPA_VIDEO_FORMAT_BGRx, BGRx);
    // Half off the top-left corner: the on-frame part lands at the right place.
    const QImage image = CopyRegion(frame.View, QRect(-3, -2, 6, 5));
    ASSERT_EQ(image.size(), QSize(6, 5));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool on = x >= 3 && y >= 2;
            EXPECT_EQ(image.pixel(x, y), on ? Expected(x - 3, y - 2) : qRgb(0, 0, 0))
                << x << "," << y;
        }
    // Wholly outside, no frame yet, a layout we do not read, rows shorter
    // than the width: black of the asked size, never a crash.
    const QRect rect(2, 2, 4, 4);
    TFrameView unknown = frame.View;
    unknown.Format = SPA_VIDEO_FORMAT_I420;
    TFrameView shortRows = frame.View;
    shortRows.Stride = 8;
    for (const auto& [view, r] :
         {std::pair{frame.View, QRect(100, 100, 4, 4)}, std::pair{TFrameView{}, rect},
          std::pair{unknown, rect}, std::pair{shortRows, rect}}) {
        const QImage black = CopyRegion(view, r);
        ASSERT_EQ(black.size(), QSize(4, 4));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                ASSERT_EQ(black.pixel(x, y), qRgb(0, 0, 0));
    }
    EXPECT_FALSE(IsSupportedFormat(SPA_VIDEO_FORMAT_I420));
    EXPECT_TRUE(IsSupportedFormat(SPA_VIDEO_FORMAT_RGBx));
}

TEST(StreamFrame, PointerComesFromCursorMetadataWithAnId)
{
    // As producers lay it out: the cursor block, then room for a bitmap.
    std::vector<uint8_t> block(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap) + 16 * 16 * 4);
    spa_meta_cursor cursor{};
    cursor.id = 1;
    cursor.position = {612, 347};
    cursor.hotspot = {4, 2}; // the position is the hot spot already
    std::memcpy(block.data(), &cursor, sizeof cursor);
    EXPECT_EQ(CursorPosition(block.data(), block.size()), QPoint(612, 347));
    // Negative: the pointer just left the frame's top-left edge.
    cursor.position = {-5, -1};
    std::memcpy(block.data(), &cursor, sizeof cursor);
    EXPECT_EQ(CursorPosition(block.data(), block.size()), QPoint(-5, -1));
    // Id 0 brings no news; a block too short to hold a cursor is ignored.
    cursor.id = 0;
    std::memcpy(block.data(), &cursor, sizeof cursor);
    EXPECT_EQ(CursorPosition(block.data(), block.size()), std::nullopt);
    cursor.id = 3;
    std::memcpy(block.data(), &cursor, sizeof cursor);
    EXPECT_EQ(CursorPosition(block.data(), sizeof cursor - 1), std::nullopt);
    EXPECT_EQ(CursorPosition(nullptr, block.size()), std::nullopt);
}

namespace {

// A buffer as a desktop's screen cast hands it over: one data block with
// its chunk, and a cursor metadata block of the negotiated size.
struct TBuffer {
    std::vector<uint8_t> Pixels;
    std::vector<uint8_t> Meta;
    spa_chunk Chunk{};
    spa_data Data{};
    spa_meta Metas[1]{};
    spa_buffer Buffer{};

    TBuffer(uint32_t chunkSize, int32_t chunkFlags, size_t metaBytes)
        : Pixels(chunkSize ? chunkSize : 16), Meta(metaBytes)
    {
        Chunk.size = chunkSize;
        Chunk.flags = chunkFlags;
        Chunk.stride = 1280 * 4;
        Data.type = SPA_DATA_MemFd;
        Data.data = Pixels.data();
        Data.maxsize = uint32_t(Pixels.size());
        Data.chunk = &Chunk;
        Buffer.n_datas = 1;
        Buffer.datas = &Data;
        if (metaBytes) {
            Metas[0] = {SPA_META_Cursor, uint32_t(metaBytes), Meta.data()};
            Buffer.n_metas = 1;
            Buffer.metas = Metas;
        }
    }

    // bitmap: -1 no bitmap in this buffer (position only), otherwise a
    // square RGBA bitmap of that many pixels a side (0: empty).
    void Cursor(uint32_t id, int x, int y, int bitmap)
    {
        spa_meta_cursor c{};
        c.id = id;
        c.position = {x, y};
        c.hotspot = {4, 4};
        c.bitmap_offset = bitmap < 0 ? 0 : uint32_t(sizeof c);
        std::memcpy(Meta.data(), &c, sizeof c);
        if (bitmap >= 0) {
            spa_meta_bitmap b{};
            b.format = SPA_VIDEO_FORMAT_RGBA;
            b.size = {uint32_t(bitmap), uint32_t(bitmap)};
            b.stride = bitmap * 4;
            b.offset = sizeof b;
            std::memcpy(Meta.data() + sizeof c, &b, sizeof b);
        }
    }
};

// What GNOME Shell 43 sends: cursor metadata sized for 384 x 384.
constexpr size_t GnomeMetaBytes = 589872;

} // namespace

TEST(StreamFrame, BuffersAsGnomeAndKdeSendThem)
{
    // A full frame with the first cursor bitmap (24 x 24).
    TBuffer full(1280 * 720 * 4, 0, GnomeMetaBytes);
    full.Cursor(1, 100, 100, 24);
    TBufferNews news = ReadBuffer(&full.Buffer, true);
    EXPECT_TRUE(news.Picture);
    EXPECT_EQ(news.Pointer, QPoint(100, 100));

    // A pointer move alone: no picture (size 0, flagged corrupted), but the
    // position counts.
    TBuffer moved(0, SPA_CHUNK_FLAG_CORRUPTED, GnomeMetaBytes);
    moved.Cursor(1, 700, 400, -1);
    news = ReadBuffer(&moved.Buffer, true);
    EXPECT_FALSE(news.Picture);
    EXPECT_EQ(news.Pointer, QPoint(700, 400));
    // Size 0 without the flag, or the flag on a filled chunk: still no picture.
    TBuffer empty(0, 0, GnomeMetaBytes), corrupt(1280 * 720 * 4, SPA_CHUNK_FLAG_CORRUPTED, 0);
    empty.Cursor(1, 3, 4, -1);
    EXPECT_FALSE(ReadBuffer(&empty.Buffer, true).Picture);
    EXPECT_EQ(ReadBuffer(&empty.Buffer, true).Pointer, QPoint(3, 4));
    EXPECT_FALSE(ReadBuffer(&corrupt.Buffer, true).Picture);
    EXPECT_EQ(ReadBuffer(&corrupt.Buffer, true).Pointer, std::nullopt);

    // Before the first move and after a key press the cursor is hidden: an
    // empty bitmap, the position still right.
    TBuffer hidden(1280 * 720 * 4, 0, GnomeMetaBytes);
    hidden.Cursor(1, 640, 360, 0);
    EXPECT_EQ(ReadBuffer(&hidden.Buffer, true).Pointer, QPoint(640, 360));

    // KWin's 32 x 32 bitmap in a block of its own size.
    TBuffer kde(0, SPA_CHUNK_FLAG_CORRUPTED,
                sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap) + 32 * 32 * 4);
    kde.Cursor(1, 1200, 700, 32);
    EXPECT_EQ(ReadBuffer(&kde.Buffer, true).Pointer, QPoint(1200, 700));

    // Id 0 (the pointer left the monitor), no metadata asked for, none sent,
    // no buffer: no position.
    TBuffer left(0, SPA_CHUNK_FLAG_CORRUPTED, GnomeMetaBytes);
    left.Cursor(0, 10, 10, -1);
    EXPECT_EQ(ReadBuffer(&left.Buffer, true).Pointer, std::nullopt);
    EXPECT_EQ(ReadBuffer(&moved.Buffer, false).Pointer, std::nullopt);
    TBuffer bare(1280 * 720 * 4, 0, 0);
    EXPECT_EQ(ReadBuffer(&bare.Buffer, true).Pointer, std::nullopt);
    EXPECT_FALSE(ReadBuffer(nullptr, true).Picture);
}

TEST(StreamFrame, CursorMetadataSizesTheDesktopsOfferAreAccepted)
{
    // A producer sends the metadata only when its size lies in our range.
    const TMetaSizes sizes = CursorMetaSizes();
    EXPECT_EQ(size_t(CursorMetaBytes(384, 384)), GnomeMetaBytes);
    for (const int side : {1, 24, 32, 64, 256, 384, 512}) {
        SCOPED_TRACE(side);
        EXPECT_GE(CursorMetaBytes(side, side), sizes.Min);
        EXPECT_LE(CursorMetaBytes(side, side), sizes.Max);
    }
    EXPECT_GE(sizes.Default, sizes.Min);
    EXPECT_LE(sizes.Default, sizes.Max);
}

namespace {

// A screen of the given size with the frame's red lines drawn around
// lines moved by shift, as the frame window draws them.
QImage ScreenWithFrame(QSize size, QRect lines, QPoint shift)
{
    QImage screen(size, QImage::Format_RGB32);
    screen.fill(qRgb(0, 60, 140));
    const QRect l = lines.translated(shift);
    for (int x = l.left(); x <= l.right(); ++x) {
        screen.setPixel(x, l.top(), qRgb(255, 0, 0));
        screen.setPixel(x, l.bottom(), qRgb(255, 0, 0));
    }
    for (int y = l.top(); y <= l.bottom(); ++y) {
        screen.setPixel(l.left(), y, qRgb(255, 0, 0));
        screen.setPixel(l.right(), y, qRgb(255, 0, 0));
    }
    return screen;
}

void Fill(QImage& image, QRect rect, QRgb colour)
{
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            image.setPixel(x, y, colour);
}

} // namespace

TEST(StreamFrame, TheFrameIsFoundWhereTheShellPutIt)
{
    // 640 x 480 in the middle of 1280 x 720: lines at 320..961, 120..601.
    const QRect lines(QPoint(320, 120), QPoint(961, 601));
    const QSize size(1280, 720);
    // GNOME Shell put the window 32 pixels down, below its top bar.
    QImage screen = ScreenWithFrame(size, lines, {0, 32});
    EXPECT_EQ(FindFrameLines(screen, lines), QPoint(320, 152));
    // Where it was asked for.
    EXPECT_EQ(FindFrameLines(ScreenWithFrame(size, lines, {}), lines), QPoint(320, 120));

    // A message box over the top-left corner and part of the top line, and
    // other red things (the stand-in's button, a red block) on the screen.
    Fill(screen, QRect(50, 82, 506, 175), qRgb(239, 239, 239));
    Fill(screen, QRect(1248, 32, 32, 32), qRgb(255, 0, 0));
    Fill(screen, QRect(400, 300, 120, 80), qRgb(255, 0, 0));
    EXPECT_EQ(FindFrameLines(screen, lines), QPoint(320, 152));

    // Not on the screen, half covered, or too dark a red: not found.
    QImage none(size, QImage::Format_RGB32);
    none.fill(qRgb(0, 60, 140));
    EXPECT_EQ(FindFrameLines(none, lines), std::nullopt);
    QImage covered = ScreenWithFrame(size, lines, {});
    Fill(covered, QRect(0, 0, 1280, 400), qRgb(239, 239, 239));
    EXPECT_EQ(FindFrameLines(covered, lines), std::nullopt);
    QImage dark = ScreenWithFrame(size, lines, {});
    dark.fill(qRgb(0, 60, 140));
    for (int x = 320; x <= 961; ++x)
        dark.setPixel(x, 120, qRgb(128, 0, 0));
    EXPECT_EQ(FindFrameLines(dark, lines), std::nullopt);
    EXPECT_EQ(FindFrameLines(QImage(), lines), std::nullopt);
}
