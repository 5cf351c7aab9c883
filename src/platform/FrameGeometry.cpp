#include "platform/FrameGeometry.h"

#include <algorithm>

namespace platform {

namespace {

// v within lo..hi, where lo wins should the two cross.
int Bound(int v, int lo, int hi)
{
    return std::max(lo, std::min(v, hi));
}

// The start of a span of length n moved onto lo..hi, where it fits.
int OntoScreen(int start, int n, int lo, int hi)
{
    if (n > hi - lo + 1)
        return start;
    return std::clamp(start, lo, hi - n + 1);
}

} // namespace

QRect KeepOnScreen(const QRect& lines, const QRect& screen)
{
    const QRect region = RegionOf(lines);
    const int x = OntoScreen(region.left(), region.width(), screen.left(), screen.right());
    const int y = OntoScreen(region.top(), region.height(), screen.top(), screen.bottom());
    return LinesOf(QRect(QPoint(x, y), region.size()));
}

std::optional<QRect> FitRegion(const QRect& window, const QRect& screen, QSize minSize,
                               QSize maxSize)
{
    const QRect visible = window & screen;
    if (visible.isEmpty())
        return std::nullopt;
    const QSize size(Bound(visible.width(), minSize.width(), maxSize.width()),
                     Bound(visible.height(), minSize.height(), maxSize.height()));
    // About the middle: a dialog smaller than the limit stays in the middle
    // of what is captured, a huge window loses as much on either side.
    QRect region(QPoint(visible.left() + (visible.width() - size.width()) / 2,
                        visible.top() + (visible.height() - size.height()) / 2),
                 size);
    return RegionOf(KeepOnScreen(LinesOf(region), screen));
}

QRect DragFrameLines(const QRect& start, int edges, QPoint delta, const QRect& screen,
                     QSize minSize, QSize maxSize)
{
    if ((edges & EdgeAll) == EdgeAll)
        return KeepOnScreen(start.translated(delta), screen);
    const QRect region = RegionOf(start);
    int l = region.left(), t = region.top(), r = region.right(), b = region.bottom();
    // The line held still stays; the moving one keeps the size within its
    // limits and the pixels on the screen (the limits win over the screen).
    if (edges & EdgeLeft)
        l = Bound(std::max(l + delta.x(), screen.left()), r - maxSize.width() + 1,
                  r - minSize.width() + 1);
    if (edges & EdgeRight)
        r = Bound(std::min(r + delta.x(), screen.right()), l + minSize.width() - 1,
                  l + maxSize.width() - 1);
    if (edges & EdgeTop)
        t = Bound(std::max(t + delta.y(), screen.top()), b - maxSize.height() + 1,
                  b - minSize.height() + 1);
    if (edges & EdgeBottom)
        b = Bound(std::min(b + delta.y(), screen.bottom()), t + minSize.height() - 1,
                  t + maxSize.height() - 1);
    return LinesOf(QRect(QPoint(l, t), QPoint(r, b)));
}

TFrameHandles HandlesOf(const QRect& lines)
{
    constexpr int B = FrameBand;
    const int l = lines.left(), t = lines.top(), r = lines.right(), b = lines.bottom();
    const int cx = (l + r) / 2 - B / 2, cy = (t + b) / 2 - B / 2;
    const QSize square(B, B);
    TFrameHandles h{
        {QRect(QPoint(l - B + 1, t - B + 1), square), QRect(QPoint(r, t - B + 1), square),
         QRect(QPoint(r, b), square), QRect(QPoint(l - B + 1, b), square),
         QRect(QPoint(cx, t - B + 1), square), QRect(QPoint(r, cy), square),
         QRect(QPoint(cx, b), square), QRect(QPoint(l - B + 1, cy), square)},
        {EdgeLeft | EdgeTop, EdgeRight | EdgeTop, EdgeRight | EdgeBottom, EdgeLeft | EdgeBottom,
         EdgeTop, EdgeRight, EdgeBottom, EdgeLeft},
        {QRect(QPoint(l - B + 1, t - B + 1), QPoint(r + B - 1, t)),
         QRect(QPoint(l - B + 1, b), QPoint(r + B - 1, b + B - 1)),
         QRect(QPoint(l - B + 1, t), QPoint(l, b)), QRect(QPoint(r, t), QPoint(r + B - 1, b))}};
    return h;
}

int GrabAt(const QRect& lines, QPoint p, bool resizable)
{
    const TFrameHandles h = HandlesOf(lines);
    for (int i = 0; i < 8; ++i)
        if (h.Handles[i].contains(p))
            return resizable ? h.HandleEdges[i] : int(EdgeAll);
    for (const QRect& band : h.Bands)
        if (band.contains(p))
            return EdgeAll;
    return 0;
}

std::optional<QRect> LabelPlace(const QRect& lines, const QRect& screen, QSize size)
{
    constexpr int B = FrameBand;
    const QRect keepOut = lines.adjusted(-B, -B, B, B);
    const auto alongX = [&](int y) {
        return QRect(QPoint(OntoScreen(lines.left() - B + 1, size.width(), screen.left(),
                                       screen.right()),
                            y),
                     size);
    };
    const auto alongY = [&](int x) {
        return QRect(QPoint(x, OntoScreen(lines.top(), size.height(), screen.top(),
                                          screen.bottom())),
                     size);
    };
    const QRect candidates[] = {
        alongX(lines.top() - B - size.height()), alongX(lines.bottom() + B + 1),
        alongY(lines.right() + B + 1), alongY(lines.left() - B - size.width()),
        QRect(screen.topLeft(), size)};
    for (const QRect& place : candidates)
        if (screen.contains(place) && !place.intersects(keepOut))
            return place;
    return std::nullopt;
}

} // namespace platform
