// The progress of an export: nothing for a quick one, a dialog once it has
// taken half a second.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <functional>

#include <QProgressDialog>
class QWidget;

class TExportProgress {
public:
    static constexpr qint64 ShowAfterMs = 500;

    // elapsedMs tells how long the export has run; a wall clock by default.
    explicit TExportProgress(QWidget* parent, std::function<qint64()> elapsedMs = {});
    ~TExportProgress();
    TExportProgress(const TExportProgress&) = delete;
    TExportProgress& operator=(const TExportProgress&) = delete;

    // done of total objects.
    void Update(int done, int total);
    // done of total video frames, with a Cancel button that works while the
    // video is written; false once the user cancelled.
    bool UpdateFrames(int done, int total);
    // done of total steps of a guide, with Cancel as for a video.
    bool UpdateSteps(int done, int total);
    QProgressDialog* Dialog() const { return FDialog; }

private:
    // Shows the dialog of task once the export has taken ShowAfterMs (with a
    // cancel button if cancel names one); whether it is shown.
    bool ShowOnceDue(const QString& task, const QString& cancel);
    bool UpdateCancellable(const QString& task, int done, int total);

    QWidget* Parent;
    std::function<qint64()> ElapsedMs;
    QElapsedTimer Clock;
    QPointer<QProgressDialog> FDialog;
    bool Frames = false;
};
