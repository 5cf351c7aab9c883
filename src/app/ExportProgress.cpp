#include "app/ExportProgress.h"

#include "ui/Branding.h"

#include <QCoreApplication>
#include <QProgressBar>
#include <QProgressDialog>
#include <algorithm>

namespace {
// Screen readers announce the bar by its name and the dialog by its task.
void NameProgress(QProgressDialog* dialog, const QString& name)
{
    dialog->setAccessibleName(name);
    if (auto* bar = dialog->findChild<QProgressBar*>())
        bar->setAccessibleName(name);
}
} // namespace

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

void TExportProgress::Update(int done, int total)
{
    if (!FDialog && ElapsedMs() >= ShowAfterMs) {
        FDialog = new QProgressDialog(QStringLiteral("Writing the movie ..."), QString(), 0, 1, Parent);
        FDialog->setWindowTitle(QString::fromLatin1(Branding::AppTitle));
        NameProgress(FDialog, QStringLiteral("Writing the movie"));
        FDialog->setWindowModality(Qt::WindowModal);
        FDialog->setMinimumDuration(0);
        FDialog->setAutoClose(false);
        FDialog->setAutoReset(false);
        FDialog->show();
    }
    if (!FDialog)
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
    if (!FDialog && ElapsedMs() >= ShowAfterMs) {
        FDialog = new QProgressDialog(QStringLiteral("Writing the video ..."),
                                      QStringLiteral("Cancel"), 0, 1, Parent);
        FDialog->setWindowTitle(QString::fromLatin1(Branding::AppTitle));
        NameProgress(FDialog, QStringLiteral("Writing the video"));
        FDialog->setWindowModality(Qt::WindowModal);
        FDialog->setMinimumDuration(0);
        FDialog->setAutoClose(false);
        FDialog->setAutoReset(false);
        FDialog->show();
    }
    if (!FDialog)
        return true;
    FDialog->setMaximum(total > 0 ? total : 1);
    FDialog->setValue(std::clamp(done, 0, FDialog->maximum()));
    // The dialog is modal to the window: only its Cancel button takes input.
    QCoreApplication::processEvents();
    return !FDialog->wasCanceled();
}
