// `quillora --capture` asks the running program for one capture over the
// session bus. Wayland desktops let no program take a global key, but every
// one of them can bind a key to a command in its keyboard settings; on X11
// the command works beside Pause.
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

  public slots:
    // Empty when a capture is on its way, else why there is none.
    QString Capture();

  private:
    std::function<void()> Handler;
    bool Registered = false;
};

// The client side of `quillora --capture`: empty on success, else the
// message for the user.
QString RequestCapture();

// The command line a user binds to a key (this program's own path).
QString CaptureCommand();

} // namespace platform
