// The main window's way into files: File > Open and Open Recent, a file
// handed over by a second start, playing a movie, the folder the file
// dialogs start in, the window's remembered size and place, and the
// title's mark of unsaved changes.
#include "app/ErrorHandler.h"
#include "app/FileNames.h"
#include "app/MainForm.h"
#include "app/ProjectState.h"
#include "base/Error.h"
#include "project/MovieFormats.h"
#include "ui/Branding.h"
#include "ui/Player.h"
#include "ui/Shell.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QTimer>

namespace {
const char* const OpenFilter = "All file (*.qlv *.swf);;Quillora file (*.qlv);;Flash file (*.swf)";
constexpr int MaxRecentProjects = 8;
// The size a first run opens at: room for the storyboard's picture and
// strip, never more than the screen has.
const QSize FirstSize(1024, 720);

QSettings Settings()
{
    return QSettings(QStringLiteral("Brindlecove"), QStringLiteral("Quillora"));
}


// "~/Documents/demos" for a folder in the home folder, else the folder.
QString ShownFolder(const QString& folder)
{
    const QString home = QDir::homePath();
    if (folder == home)
        return QStringLiteral("~");
    if (folder.startsWith(home + QLatin1Char('/')))
        return QStringLiteral("~") + folder.mid(home.size());
    return folder;
}

bool IsProject(const QString& path)
{
    return FileNames::Extension(path).toUpper() == QLatin1String(".QLV");
}

bool IsMovie(const QString& path)
{
    return FileNames::Extension(path).toUpper() == QLatin1String(".SWF");
}
} // namespace

// --- Open -------------------------------------------------------------------

void TMainForm::FileOpenExecute()
{
    const QString path = Shell.GetOpenFileName(this, QString::fromLatin1(OpenFilter));
    if (path.isEmpty())
        return;
    OpenFile(path);
}

void TMainForm::OpenFile(const QString& chosen)
{
    const QString path = QFileInfo(chosen).absoluteFilePath();
    if (IsMovie(path)) {
        // A movie is watched beside the open project, which stays.
        PlayMovie(path, QString());
        return;
    }
    if (!IsProject(path))
        throw quillora::Error("Quillora opens projects (.qlv) and Flash movies (.swf); " +
                              path.toStdString() + " is neither.");
    // A file that cannot be opened must not cost the open project.
    CheckProjectFile(path, "the project");
    if (FFlashCard) {
        if (!AskSaveChanges())
            return;
        FreeFlashCard();
    }
    setWindowTitle(QString::fromLatin1(Branding::AppTitle));
    FFlashCard = MakeFlashCard();
    HandleCommandLine({path});
}

void TMainForm::PlayMovie(const QString& movie, const QString& project)
{
    if (!QFileInfo::exists(movie) && project.isEmpty())
        throw quillora::Error("Cannot play " + movie.toStdString() + ": the file does not exist.");
    if (Shell.HasProgramFor(QStringLiteral("application/x-shockwave-flash"))) {
        Shell.OpenUrl(QUrl::fromLocalFile(movie));
        return;
    }
    // No program plays the SWF here: our own player shows the project the
    // movie was made from, where there is one beside it.
    QString source = project;
    if (source.isEmpty())
        for (const QString& ext : {QStringLiteral(".qlv"), QStringLiteral(".QLV")})
            if (QFileInfo(FileNames::ChangeExtension(movie, ext)).isFile()) {
                source = FileNames::ChangeExtension(movie, ext);
                break;
            }
    if (source.isEmpty())
        throw quillora::Error("No program on this desktop plays Flash movies, and " +
                              movie.toStdString() +
                              " has no project beside it (the same name with .qlv) for "
                              "Quillora's own player to show.");
    // A long project takes a moment to read.
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    struct Restore {
        ~Restore() { QGuiApplication::restoreOverrideCursor(); }
    } restore;
    auto* player = new TPlayerForm(quillora::ProjectTimeline(source.toStdString(),
                                                             DataFolder.toStdString() + "/click.wav",
                                                             nullptr),
                                   this);
    player->setAttribute(Qt::WA_DeleteOnClose);
    player->show();
    // A movie is asked for to watch it: it plays at once.
    player->Play();
}

// --- a second start ---------------------------------------------------------

bool TMainForm::IsRecording() const
{
#ifdef QUILLORA_HAVE_RECORDER
    return Recorder && Recorder->IsRecording();
#else
    return false;
#endif
}

QString TMainForm::RequestOpen(const QString& path)
{
    if (IsRecording())
        return QStringLiteral("Quillora is recording. Stop the recording, then open %1.").arg(path);
    PendingOpens << path;
    RequestRaise();
    // Answered at once; the file opens when no dialog of ours is open, as
    // "Save changes?" may be asked.
    QTimer::singleShot(0, this, &TMainForm::OpenPending);
    return {};
}

QString TMainForm::RequestRaise()
{
    if (IsRecording())
        return QStringLiteral("Quillora is recording; stop the recording to see its window.");
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
    return {};
}

void TMainForm::OpenPending()
{
    if (PendingOpens.isEmpty())
        return;
    if (QApplication::activeModalWidget() || IsRecording() || OpeningRequest) {
        QTimer::singleShot(200, this, &TMainForm::OpenPending);
        return;
    }
    const QString path = PendingOpens.takeFirst();
    OpeningRequest = true;
    RunGuarded(Shell, this, [&] { OpenFile(path); });
    OpeningRequest = false;
    if (!PendingOpens.isEmpty())
        QTimer::singleShot(0, this, &TMainForm::OpenPending);
}

// --- Open Recent ------------------------------------------------------------

void TMainForm::BuildRecentMenu()
{
    FileOpenRecent = new QMenu(QStringLiteral("Open &Recent"), this);
    FileOpenRecent->setObjectName(QStringLiteral("FileOpenRecent"));
    FileOpenRecent->menuAction()->setObjectName(QStringLiteral("FileOpenRecentMenu"));
    FileOpenRecent->menuAction()->setToolTip(QStringLiteral("Open Recent"));
    FileOpenRecent->menuAction()->setStatusTip(QStringLiteral("Open Recent"));
    FileClearRecent = new QAction(QStringLiteral("&Clear List"), this);
    FileClearRecent->setObjectName(QStringLiteral("FileClearRecent"));
    FileClearRecent->setToolTip(QStringLiteral("Clear List"));
    FileClearRecent->setStatusTip(QStringLiteral("Clear List"));
    connect(FileClearRecent, &QAction::triggered, this, [this] {
        QSettings settings = Settings();
        settings.remove(QStringLiteral("Common/RecentProjects"));
        settings.sync();
        UpdateRecentMenu();
    });
    // Missing files show as such when the menu opens, not when they went.
    connect(FileOpenRecent, &QMenu::aboutToShow, this, &TMainForm::UpdateRecentMenu);
    UpdateRecentMenu();
}

QStringList TMainForm::RecentProjects() const
{
    QStringList list = Settings().value(QStringLiteral("Common/RecentProjects")).toStringList();
    list.removeAll(QString());
    return list.mid(0, MaxRecentProjects);
}

void TMainForm::NoteRecentProject(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList list = RecentProjects();
    list.removeAll(absolute);
    list.prepend(absolute);
    QSettings settings = Settings();
    settings.setValue(QStringLiteral("Common/RecentProjects"), list.mid(0, MaxRecentProjects));
    settings.sync();
    UpdateRecentMenu();
}

void TMainForm::UpdateRecentMenu()
{
    FileOpenRecent->clear();
    const QStringList list = RecentProjects();
    int number = 0;
    for (const QString& path : list) {
        ++number;
        const QFileInfo info(path);
        // An "&" in a file name is shown, not taken for a mnemonic.
        QString shown = info.fileName() + QStringLiteral("  (") + ShownFolder(info.path()) + ")";
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        auto* action = FileOpenRecent->addAction(QStringLiteral("&%1 ").arg(number) + shown);
        action->setObjectName(QStringLiteral("FileOpenRecent%1").arg(number));
        const bool there = info.isFile();
        action->setEnabled(there);
        const QString tip = there ? path : path + QStringLiteral(" (not found)");
        action->setToolTip(tip);
        action->setStatusTip(tip);
        connect(action, &QAction::triggered, this,
                [this, path] { RunGuarded(Shell, this, [&] { OpenFile(path); }); });
    }
    if (list.isEmpty()) {
        auto* none = FileOpenRecent->addAction(QStringLiteral("No recent projects"));
        none->setObjectName(QStringLiteral("FileOpenRecentNone"));
        none->setEnabled(false);
    }
    FileOpenRecent->addSeparator();
    FileOpenRecent->addAction(FileClearRecent);
    FileClearRecent->setEnabled(!list.isEmpty());
}

// --- folders and the window's place -----------------------------------------

QString TMainForm::DefaultFolder() const
{
    // The documents folder where it exists, else home: where the
    // program's own folder sits.
    return QFileInfo(QString::fromStdString(quillora::GetDocumentFolder())).path() + QLatin1Char('/');
}

QString TMainForm::StartFolder() const
{
    const QString last = QString::fromStdString(Globals.LastOpenDir);
    if (!last.isEmpty() && QFileInfo(last).isDir())
        return last;
    return DefaultFolder();
}

void TMainForm::FolderChosen(const QString& file)
{
    if (file.isEmpty())
        return;
    Globals.LastOpenDir = (QFileInfo(file).absolutePath() + QLatin1Char('/')).toStdString();
}

void TMainForm::RestoreWindowPlace()
{
    const QByteArray geometry = Settings().value(QStringLiteral("Window/Geometry")).toByteArray();
    if (!geometry.isEmpty() && restoreGeometry(geometry)) {
        PlaceRestored = true;
        return;
    }
    QSize size = FirstSize;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        // Leave room for the window's frame and the desktop's panels.
        const QSize room = screen->availableGeometry().size() - QSize(40, 80);
        size = size.boundedTo(room).expandedTo(QSize(642, 443).boundedTo(room));
    }
    resize(size);
}

void TMainForm::WriteWindowPlace()
{
    QSettings settings = Settings();
    settings.setValue(QStringLiteral("Window/Geometry"), saveGeometry());
    settings.sync();
}

// --- the title's mark -------------------------------------------------------

void TMainForm::UpdateTitleMarker()
{
    // Only a title that names a project carries the mark.
    setWindowModified(Modified() && windowTitle().contains(QLatin1String("[*]")));
}

void TMainForm::NoteSavedState()
{
    SavedState = FFlashCard ? ProjectContentHash(QString::fromStdString(FFlashCard->WorkProjectPath)) : QByteArray();
}

void TMainForm::ProjectEdited()
{
    // Edits (or undos) that bring the project back to what was saved leave
    // nothing to save.
    if (FFlashCard && FFlashCard->Modified && !SavedState.isEmpty() &&
        ProjectContentHash(QString::fromStdString(FFlashCard->WorkProjectPath)) == SavedState)
        FFlashCard->Modified = false;
    UpdateTitleMarker();
}

// --- what Save and the command line tell ------------------------------------

void TMainForm::SavedProject()
{
    NoteSavedState();
    NoteRecentProject(QString::fromStdString(FFlashCard->BasePath) + ProjectExtension);
}

void TMainForm::OpenedProject(const QString& path)
{
    // The storyboard shows the project: the title names it.
    SetTitleFromBasePath();
    NoteSavedState();
    NoteRecentProject(path);
}
