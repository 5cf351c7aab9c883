#include "app/ExportProgress.h"

#include "ui/Branding.h"

#include <QCoreApplication>
#include <QProgressBar>
#include <QProgressDialog>
#include <algorithm>

TExportProgress::TExportProgress(QWidget* parent, std::function<qint64()> elapsedMs)
    : Parent(parent)
    , ElapsedMs(std::move(elapsedMs))
{
    Clock.start();
    if (!ElapsedMs)
        ElapsedMs = [this] { return Clock.elapsed(); };
}

TExportProgress::~TExportProgress()
{
    delete FDialog;
}

bool TExportProgress::ShowOnceDue(const QString& task, const QString& cancel)
{
    if (!FDialog && ElapsedMs() >= ShowAfterMs) {
        FDialog = new QProgressDialog(task + QStringLiteral(" ..."), cancel, 0, 1, Parent);
        FDialog->setWindowTitle(QString::fromLatin1(Branding::AppTitle));
        // Screen readers announce the bar by its name and the dialog by its task.
        FDialog->setAccessibleName(task);
        if (auto* bar = FDialog->findChild<QProgressBar*>())
            bar->setAccessibleName(task);
        FDialog->setWindowModality(Qt::WindowModal);
        FDialog->setMinimumDuration(0);
        FDialog->setAutoClose(false);
        FDialog->setAutoReset(false);
        FDialog->show();
    }
    return FDialog;
}

void TExportProgress::Update(int done, int total)
{
    if (!ShowOnceDue(QStringLiteral("Writing the movie"), QString()))
        return;
    const int maximum = total > 0 ? total : 1;
    FDialog->setMaximum(maximum);
    FDialog->setValue(done < 0 ? 0 : (done > maximum ? maximum : done));
    // Paint it; the export runs on this thread and input waits until it ends.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool TExportProgress::UpdateFrames(int done, int total)
{
    if (!Frames) {
        Frames = true;
        Clock.restart();
        delete FDialog;
    }
    return UpdateCancellable(QStringLiteral("Writing the video"), done, total);
}

bool TExportProgress::UpdateSteps(int done, int total)
{
    return UpdateCancellable(QStringLiteral("Writing the guide"), done, total);
}

bool TExportProgress::UpdateCancellable(const QString& task, int done, int total)
{
    if (!ShowOnceDue(task, QStringLiteral("Cancel")))
        return true;
    FDialog->setMaximum(total > 0 ? total : 1);
    FDialog->setValue(std::clamp(done, 0, FDialog->maximum()));
    // The dialog is modal to the window: only its Cancel button takes input.
    QCoreApplication::processEvents();
    return !FDialog->wasCanceled();
}
