// How long the interface thread spends looking for the red frame in one
// picture of the screen cast (it looks every 200 ms after a show until it
// finds the frame, for at most 30 s): 1280 x 720 and 2560 x 1440 screens with
// the frame moved below a top bar, with no frame at all, and with a quarter
// of the screen red (the worst case, cut short).
#include "platform/StreamFrame.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace platform;

namespace {

QImage Screen(QSize size, const QRect& lines, bool frame, bool redBlock)
{
    QImage screen(size, QImage::Format_RGB32);
    screen.fill(qRgb(20, 50, 80));
    QPainter p(&screen);
    // Something to look at: blocks of other colours.
    for (int i = 0; i < 40; ++i)
        p.fillRect(QRect((i * 97) % size.width(), (i * 53) % size.height(), 120, 60),
                   QColor::fromHsv((i * 37) % 300 + 20, 200, 220));
    if (redBlock)
        p.fillRect(QRect(QPoint(0, 0), size / 2), Qt::red);
    if (frame) {
        p.setPen(QColor(255, 0, 0));
        p.drawRect(lines.translated(0, 32).adjusted(0, 0, -1, -1));
    }
    return screen;
}

double MedianMs(const QImage& screen, const QRect& lines)
{
    std::vector<double> ms;
    for (int i = 0; i < 15; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        volatile bool found = FindFrameLines(screen, lines).has_value();
        (void)found;
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main()
{
    for (const QSize size : {QSize(1280, 720), QSize(2560, 1440)}) {
        const QRect lines(QPoint((size.width() - 640) / 2, (size.height() - 480) / 2),
                          QSize(642, 482));
        std::printf("%dx%d: frame below the top bar %.2f ms, no frame %.2f ms, a quarter red %.2f ms\n",
                    size.width(), size.height(), MedianMs(Screen(size, lines, true, false), lines),
                    MedianMs(Screen(size, lines, false, false), lines),
                    MedianMs(Screen(size, lines, true, true), lines));
    }
    return 0;
}
