// A screen-cast stream received over PipeWire, on PipeWire's own thread
// loop for the whole recording. The newest frame's buffer is kept back from
// the producer until a newer one arrives, so a capture copies its region
// straight out of it and no frame is copied that nobody reads.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace platform {

class TPipeWireStream {
  public:
    TPipeWireStream();
    ~TPipeWireStream();

    // Connects to node on the PipeWire remote fd (taken over; closed on
    // failure too) and waits up to timeoutMs for the first frame, or for
    // the stream to run and a moment more for its first frame. withCursor
    // asks for the cursor metadata. False with why set on failure, and then
    // nothing is left running.
    bool Start(int fd, uint32_t node, bool withCursor, int timeoutMs, QString* why);
    void Stop();
    bool IsRunning() const;
    // Why the stream no longer delivers (the desktop ended it, say); empty
    // while it runs.
    QString Problem() const;

    // False until the desktop has sent a picture of the screen.
    bool HasPicture() const;
    // The size of the frames the stream delivers.
    QSize FrameSize() const;
    // rect in frame coordinates; off-frame parts and a lost stream read black.
    QImage Read(const QRect& rect);
    // The pointer in frame coordinates, once the metadata has told it.
    std::optional<QPoint> Pointer() const;
    // Called on PipeWire's thread when the metadata moves the pointer.
    void SetPointerMoved(std::function<void()> moved);
    // Called on PipeWire's thread when a new picture arrives.
    void SetFrameArrived(std::function<void()> arrived);

    struct TImpl;

  private:
    std::unique_ptr<TImpl> Impl;
};

} // namespace platform
