// Recording start and stop, the capture routine and the auto-capture rules.
// The main window owns one TRecorder and hands it what it needs through
// IRecordingHost, so the recorder can be tested without the main window.
#pragma once

#include <QObject>

class TFlashPic;
struct TGlobalVars;

// What the recorder needs from the program around it (the main window).
class IRecordingHost {
public:
    virtual ~IRecordingHost() = default;
    virtual void HideMainWindow() = 0;
    virtual void ShowMainWindow() = 0;
    // Binds the main window's Movie to the document root, sets the movie
    // header (white, the capture size, rate 15, no looping) and writes it,
    // which saves the working project file.
    virtual void WriteRecordingHeader(int captureWidth, int captureHeight) = 0;
    // Binds Movie to the document root again (every capture does) and
    // returns the current controller's picture tool, bound to that document.
    virtual TFlashPic& RebindAndGetPictureTool() = 0;
};

class TRecorder : public QObject {
    Q_OBJECT
public:
    TRecorder(IRecordingHost& host, TGlobalVars& globals, QObject* parent = nullptr);
    ~TRecorder() override;

    // Starts a recording once the new document is prepared: hides the main
    // window, shows the tray icon and the frame, writes the header, installs
    // the mouse monitor and (manual mode) the Pause key.
    void Start(int captureWidth, int captureHeight, bool autoMode);
    bool IsRecording() const;

signals:
    // The user answered Yes to "Stop recording?" and everything is undone.
    void Stopped();
};
