// Where the recording frame may go while the user places it: dragging its
// border, a corner or an edge handle, or nudging it with the arrow keys.
// Frames are given by their lines (left, top, right, bottom, one pixel
// outside the captured pixels), in physical screen pixels. Pure, so every
// backend places alike and tests need no display.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

namespace platform {

// Which lines a grab moves; all four move the frame whole.
enum TFrameEdge : int {
    EdgeLeft = 1,
    EdgeTop = 2,
    EdgeRight = 4,
    EdgeBottom = 8,
    EdgeAll = 15,
};

// Width of the band outside the lines that takes the pointer, and the side
// of a handle square; both lie wholly outside the captured pixels.
constexpr int FrameBand = 7;

// The captured pixels of frame lines, and back.
inline QRect RegionOf(const QRect& lines)
{
    return lines.adjusted(1, 1, -1, -1);
}
inline QRect LinesOf(const QRect& region)
{
    return region.adjusted(-1, -1, 1, 1);
}

// The lines after the grabbed edges moved by delta from start. A move
// keeps the size; a resize keeps the lines not grabbed. The captured size
// stays within minSize..maxSize and the captured pixels on screen (a frame
// larger than the screen is only moved back as far as it can be).
QRect DragFrameLines(const QRect& start, int edges, QPoint delta, const QRect& screen,
                     QSize minSize, QSize maxSize);

// The lines moved as little as needed to bring the captured pixels onto
// screen; a region larger than the screen is left where it is.
QRect KeepOnScreen(const QRect& lines, const QRect& screen);

// The captured pixels fitted to a window's frame: the part of it on the
// screen, grown or shrunk about its middle to minSize..maxSize and kept on
// the screen; none when no part of it is on the screen.
std::optional<QRect> FitRegion(const QRect& window, const QRect& screen, QSize minSize,
                               QSize maxSize);

// What a press at p grabs: a corner handle (two edges), an edge's middle
// handle (one), anywhere else on the band around the lines (EdgeAll), or
// nothing (0). Without resizing, every grab moves.
int GrabAt(const QRect& lines, QPoint p, bool resizable);

// The handle squares (four corners, four middles) and the four bands that
// move the frame, in screen pixels, all outside the captured pixels.
struct TFrameHandles {
    QRect Handles[8];
    int HandleEdges[8];
    QRect Bands[4];
};
TFrameHandles HandlesOf(const QRect& lines);

// Where a label of size goes beside the frame: above its top-left corner,
// else below, right of, left of it, or inside the screen's top left corner
// if that misses the frame; none when all of them touch the frame or its
// band, since the label must never show in a picture.
std::optional<QRect> LabelPlace(const QRect& lines, const QRect& screen, QSize size);

} // namespace platform
