// The running program on the session bus, under one name:
// - `quillora --capture` asks it for one capture. Wayland desktops let no
//   program take a global key, but every one of them can bind a key to a
//   command in its keyboard settings; on X11 the command works beside Pause.
// - a second `quillora [FILE]` hands it FILE, or asks it to come to the
//   front, instead of running beside it on the same working files.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace platform {

class TCaptureService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.brindlecove.Quillora.Capture")
  public:
    static const char* const ServiceName;
    static const char* const ObjectPath;

    // Takes the name on the session bus; without a bus, or with the name
    // held by another process, the command simply does not reach us.
    TCaptureService();
    ~TCaptureService() override;
    bool IsRegistered() const { return Registered; }

    // Called, on the main thread, for each request; empty while not recording.
    void SetHandler(std::function<void()> onCapture);
    void SetPauseHandler(std::function<void()> onPause);

  public slots:
    // Empty when a capture is on its way, else why there is none.
    QString Capture();
    // Pauses a running recording, or resumes a paused one.
    QString Pause();

  private:
    std::function<void()> Handler;
    std::function<void()> PauseHandler;
    bool Registered = false;
};

// The main window's side: files to open and requests to come to the front.
class TWindowService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.brindlecove.Quillora.Window")
  public:
    static const char* const ObjectPath;

    // Takes the name (shared with the capture service) and the object.
    TWindowService();
    ~TWindowService() override;
    bool IsRegistered() const { return Registered; }

    // Each answers at once: empty when the request is taken (the work may
    // follow later, on the main thread), else why not, for the user.
    std::function<QString(const QString& path)> OnOpen;
    std::function<QString()> OnRaise;

  public slots:
    // An absolute path of a project or a movie.
    QString Open(const QString& path);
    QString Raise();

  private:
    bool Registered = false;
};

// What a second start gets back from RequestOpen.
struct TOpenReply {
    // Quillora was reached and took the request.
    bool Delivered = false;
    // There is no session bus, or nothing answers on it in time: the caller
    // cannot hand anything over.
    bool Unreachable = false;
    // Why the request was not taken, or why it could not be sent.
    QString Message;
};

// The client side of a second start: hands path (absolute; empty asks only
// for the window) to the running Quillora, waiting up to waitMs for it to
// take its name on the bus, as it may still be starting.
TOpenReply RequestOpen(const QString& path, int waitMs = 20000);

// The client side of `quillora --capture`: empty on success, else the
// message for the user.
QString RequestCapture();
// `quillora --pause`, alike.
QString RequestPause();

// The command line a user binds to a key (this program's own path).
QString CaptureCommand();

} // namespace platform
