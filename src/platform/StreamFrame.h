// What a screen-cast stream hands over, turned into what a capture needs:
// the pixels of a region of the latest frame and the pointer position from
// the cursor metadata. No PipeWire objects here, so it is tested on
// recorded and made-up frames.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>

#include <cstddef>
#include <cstdint>
#include <optional>

struct spa_buffer;

namespace platform {

// One mapped frame: Format is a raw video format of PipeWire's
// (SPA_VIDEO_FORMAT_BGRx and its 32-bit relatives).
struct TFrameView {
    const uint8_t* Data = nullptr;
    int Stride = 0; // bytes per row; 0 means Width * 4
    int Width = 0;
    int Height = 0;
    uint32_t Format = 0;
};

// True for the 32-bit layouts CopyRegion understands.
bool IsSupportedFormat(uint32_t format);

// The pixels of rect (frame coordinates) as an RGB32 image of exactly rect's
// size; parts outside the frame, or an unsupported or missing frame, read as
// black.
QImage CopyRegion(const TFrameView& frame, const QRect& rect);

// The pointer's position in frame coordinates from a buffer's cursor
// metadata (a struct spa_meta_cursor of size bytes), or nothing when the
// block is too small or says it carries no position.
std::optional<QPoint> CursorPosition(const void* meta, size_t size);

// What one buffer of the stream brings. Desktops send a buffer without a
// picture (chunk size 0, flagged corrupted) when only the pointer moved;
// its cursor metadata counts all the same.
struct TBufferNews {
    bool Picture = false;
    std::optional<QPoint> Pointer;
};
TBufferNews ReadBuffer(const spa_buffer* buffer, bool withCursor);

// The sizes of cursor metadata we accept, in bytes: a producer sends it
// only when its own size lies in this range, and says nothing otherwise.
// Desktops size it for their largest cursor (GNOME: 384 x 384 pixels).
struct TMetaSizes {
    int Default, Min, Max;
};
TMetaSizes CursorMetaSizes();
int CursorMetaBytes(int width, int height);

// Where a red frame drawn around lines (1 pixel outside the region, as
// the frame window draws it) shows in a picture of the screen: the top-left
// of the match nearest to lines' own, or nothing when it is not seen whole.
// A shell places a window where it likes (GNOME below its top bar), so the
// frame is found in what the screen cast shows.
std::optional<QPoint> FindFrameLines(const QImage& screen, const QRect& lines);

} // namespace platform
