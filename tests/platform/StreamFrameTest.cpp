// Reading a capture out of a screen-cast frame: the pixel layouts, padded
// rows, regions partly off the frame, and the pointer from cursor metadata.
#include "platform/StreamFrame.h"

#include <spa/buffer/meta.h>
#include <spa/param/video/raw.h>

#include <gtest/gtest.h>

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
