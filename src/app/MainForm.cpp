#include "app/MainForm.h"

#include "app/ErrorHandler.h"
#include "app/ExportProgress.h"
#include "app/MainFormGuide.h"
#include "project/MovieFormats.h"
#include "app/FileNames.h"
#include "base/Error.h"
#include "project/FlashCard.h"
#include "project/ProjectFiles.h"
#include "project/Recovery.h"
#include "export/SwfWriters.h"
#include "recording/NewForm.h"
#include "ui/AboutForm.h"
#include "ui/Branding.h"
#include "ui/Shell.h"
#include "ui/Storyboard.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QToolBar>
#include <QVBoxLayout>

namespace {
const QString AppTitle = QString::fromLatin1(Branding::AppTitle);
const char* const SaveFilterQLV = "Quillora Project (*.qlv)";
const char* const SaveFilterSWF =
    "Flash file (*.swf);;MP4 video (*.mp4);;WebM video (*.webm);;GIF animation (*.gif)";
// The menu and tool bar highlight, a light warm grey.
const QColor HighlightColor(0xE2, 0xE1, 0xDB);

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

std::string S(const QString& s)
{
    return s.toStdString();
}

} // namespace

TMainForm::TMainForm(IShell& shell, quillora::TGlobalVars& vars, QWidget* parent)
    : QMainWindow(parent)
    , Globals(vars)
    , Shell(shell)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(AppTitle);
    RestoreWindowPlace();
    auto* client = new QWidget(this);
    client->setAutoFillBackground(true);
    QPalette white = client->palette();
    white.setColor(QPalette::Window, Qt::white);
    client->setPalette(white);
    setCentralWidget(client);
    auto* clientLayout = new QVBoxLayout(client);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    Storyboard = new TStoryboard(client);
    clientLayout->addWidget(Storyboard);

    FileNew = MakeAction(QStringLiteral("FileNew"), QStringLiteral("&New"), QStringLiteral("New"),
                         &TMainForm::FileNewExecute);
    FileNew->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    FileNew->setIcon(QIcon(QStringLiteral(":/icons/new.png")));
    FileOpen = MakeAction(QStringLiteral("FileOpen"), QStringLiteral("&Open ..."), QStringLiteral("Open ..."),
                          &TMainForm::FileOpenExecute);
    FileOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    FileOpen->setIcon(QIcon(QStringLiteral(":/icons/open.png")));
    FileSave = MakeAction(QStringLiteral("FileSave"), QStringLiteral("&Save"), QStringLiteral("Save"),
                          &TMainForm::FileSaveExecute);
    FileSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    FileSave->setIcon(QIcon(QStringLiteral(":/icons/save.png")));
    FileSaveAs = MakeAction(QStringLiteral("FileSaveAs"), QStringLiteral("Save &As..."),
                            QStringLiteral("Save As..."), &TMainForm::FileSaveAsExecute);
    FileClose = MakeAction(QStringLiteral("FileClose"), QStringLiteral("&Close"), QStringLiteral("Close"),
                           &TMainForm::FileCloseExecute);
    FileExportSWF = MakeAction(QStringLiteral("FileExportSWF"), QStringLiteral("&Export to Flash"),
                               QStringLiteral("Export to Flash"), &TMainForm::FileExportSWFExecute);
    FileExit = MakeAction(QStringLiteral("FileExit"), QStringLiteral("E&xit"), QStringLiteral("Exit"),
                          &TMainForm::FileExitExecute);
    ViewPlay = MakeAction(QStringLiteral("ViewPlay"), QStringLiteral("&PreView"), QString(),
                          &TMainForm::ViewPlayExecute);
    ViewPlay->setIcon(QIcon(QStringLiteral(":/icons/preview.png")));
    HelpContents = MakeAction(QStringLiteral("HelpContents"), QStringLiteral("&Contents"),
                              QStringLiteral("Contents"), &TMainForm::HelpContentsExecute);
    HelpContents->setShortcut(QKeySequence(Qt::Key_F1));
    const QString visit = QStringLiteral("Visit ") + QString::fromLatin1(Branding::HomePageShown);
    HelpHomePage = MakeAction(QStringLiteral("HelpHomePage"), QStringLiteral("&") + visit, visit,
                              &TMainForm::HelpHomePageExecute);
    HelpAbout = MakeAction(QStringLiteral("HelpAbout"), QStringLiteral("&About ..."), QStringLiteral("About ..."),
                           &TMainForm::HelpAboutExecute);
    BuildEditActions();
    BuildGuideActions();
    BuildRecentMenu();
    BuildMenus();
    Storyboard->RunEdit = [this](const std::function<void()>& edit) { RunGuarded(Shell, this, edit); };
    Storyboard->ZoomViews = [this] {
        std::map<int32_t, QRectF> out;
        if (!FFlashCard || !FFlashCard->MovieRef)
            return out;
        for (const auto& [index, v] :
             quillora::PictureZoomViews(*FFlashCard->MovieRef, FFlashCard->BasePath))
            out[index] = QRectF(v.x, v.y, v.w, v.h);
        return out;
    };
    connect(Storyboard, &TStoryboard::Edited, this, &TMainForm::UpdateEditActions);
    connect(Storyboard, &TStoryboard::Edited, this, &TMainForm::ProjectEdited);
    connect(Storyboard, &TStoryboard::SelectionChanged, this, &TMainForm::UpdateEditActions);
    UpdateEditActions();

    // FormCreate, in its order.
    quillora::InitFolders(Globals);
    DataFolder = Q(quillora::ProgramDataFolder());
    ProgramFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    ReadLastOpenDir();
    // Every file dialog starts where the last one ended.
    Shell.StartFolder = [this] { return StartFolder(); };
    Shell.FileChosen = [this](const QString& file) { FolderChosen(file); };
    DisableDocumentActions();
    Writers = std::make_unique<TSwfWriterSet>();
    FFlashCard = MakeFlashCard();
#ifdef QUILLORA_HAVE_RECORDER
    Recorder = new TRecorder(*this, Globals, this);
    StartRecording = [this](int w, int h, bool autoMode) { Recorder->Start(w, h, autoMode); };
    PrepareRecording = [this] { Recorder->OpenScreen(); };
#else
    // Without the recording library the project gets its header and stays
    // open, as after a recording without captures.
    StartRecording = [this](int w, int h, bool) { WriteRecordingHeader(w, h); };
#endif
}

TMainForm::~TMainForm()
{
    // Both call back into this window as they end (the recorder clears the
    // desktop, the controller disables the actions): let them go while the
    // window is still whole.
#ifdef QUILLORA_HAVE_RECORDER
    delete Recorder;
    Recorder = nullptr;
#endif
    Storyboard->SetEditor(nullptr);
    FFlashCard.reset();
    Shell.StartFolder = nullptr;
    Shell.FileChosen = nullptr;
}

std::unique_ptr<quillora::TFlashCard> TMainForm::MakeFlashCard()
{
    return std::make_unique<quillora::TFlashCard>(Globals.UntitledBase, this);
}

QAction* TMainForm::MakeAction(const QString& name, const QString& caption, const QString& hint,
                               void (TMainForm::*handler)())
{
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    if (!hint.isEmpty()) {
        action->setToolTip(hint);
        action->setStatusTip(hint);
    }
    connect(action, &QAction::triggered, this, [this, handler] { RunGuarded(Shell, this, [&] { (this->*handler)(); }); });
    return action;
}

void TMainForm::BuildMenus()
{
    ActionMainMenuBar1 = menuBar();
    QPalette pal = ActionMainMenuBar1->palette();
    pal.setColor(QPalette::Highlight, HighlightColor);
    pal.setColor(QPalette::HighlightedText, Qt::black);
    ActionMainMenuBar1->setPalette(pal);

    auto addMenu = [&](const QString& title) {
        QMenu* menu = ActionMainMenuBar1->addMenu(title);
        menu->setPalette(pal);
        return menu;
    };
    QMenu* file = addMenu(QStringLiteral("&File"));
    file->addActions({FileNew, FileOpen});
    file->addMenu(FileOpenRecent);
    file->addActions({FileSave, FileSaveAs, FileClose});
    file->addSeparator();
    file->addActions({FileExportSWF, FileExportGuide});
    file->addSeparator();
    file->addAction(FileExit);
    QMenu* edit = addMenu(QStringLiteral("&Edit"));
    edit->addActions({EditUndo, EditRedo});
    edit->addSeparator();
    edit->addActions({EditDelete, EditMoveEarlier, EditMoveLater, EditSetLength});
    edit->addSeparator();
    edit->addActions({EditCaption, EditAddSound});
    edit->addSeparator();
    edit->addAction(EditZoomPicture);
    QMenu* view = addMenu(QStringLiteral("&View"));
    view->addAction(ViewPlay);
    QMenu* help = addMenu(QStringLiteral("&Help"));
    help->addAction(HelpContents);
    help->addSeparator();
    help->addAction(HelpHomePage);
    help->addSeparator();
    help->addAction(HelpAbout);

    ActionToolBar1 = addToolBar(QStringLiteral("ActionToolBar1"));
    ActionToolBar1->setObjectName(QStringLiteral("ActionToolBar1"));
    ActionToolBar1->setMovable(false);
    ActionToolBar1->setFloatable(false);
    ActionToolBar1->setIconSize(QSize(16, 16));
    ActionToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ActionToolBar1->setFixedHeight(29);
    ActionToolBar1->setPalette(pal);
    ActionToolBar1->addActions({FileNew, FileOpen, FileSave});
    ActionToolBar1->addSeparator();
    ActionToolBar1->addAction(ViewPlay);
    ActionToolBar1->toggleViewAction()->setEnabled(false);
    setContextMenuPolicy(Qt::NoContextMenu);
}

void TMainForm::showEvent(QShowEvent* event)
{
    if (FirstShow) {
        FirstShow = false;
        const QScreen* screen = PlaceRestored ? nullptr : this->screen();
        if (screen) {
            const QRect area = screen->availableGeometry();
            move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
        }
    }
    QMainWindow::showEvent(event);
}

// --- settings ---------------------------------------------------------------

void TMainForm::ReadLastOpenDir()
{
    QSettings settings(QStringLiteral("Brindlecove"), QStringLiteral("Quillora"));
    settings.beginGroup(QStringLiteral("Common"));
    const QString value = settings.value(QStringLiteral("LastOpenDir")).toString();
    Globals.LastOpenDir = S(value.isEmpty() ? DefaultFolder() : value);
}

void TMainForm::WriteLastOpenDir()
{
    QSettings settings(QStringLiteral("Brindlecove"), QStringLiteral("Quillora"));
    settings.beginGroup(QStringLiteral("Common"));
    settings.setValue(QStringLiteral("LastOpenDir"), Q(Globals.LastOpenDir));
    settings.endGroup();
    settings.sync();
}

// --- document actions -------------------------------------------------------

void TMainForm::DisableDocumentActions()
{
    for (QAction* a : {FileSave, FileSaveAs, FileClose, FileExportSWF, FileExportGuide, ViewPlay})
        a->setEnabled(false);
}

void TMainForm::EnableDocumentActions()
{
    // Preview waits for the first Save.
    for (QAction* a : {FileSave, FileSaveAs, FileClose, FileExportSWF, FileExportGuide})
        a->setEnabled(true);
}

bool TMainForm::Modified() const
{
    return FFlashCard && FFlashCard->Modified;
}

bool TMainForm::AskSaveChanges()
{
    if (!Modified())
        return true;
    switch (Shell.AskSaveChanges(this, QStringLiteral("Save changes?"))) {
    case IShell::TSaveAnswer::Save:
        return SaveProject();
    case IShell::TSaveAnswer::DontSave:
        return true;
    case IShell::TSaveAnswer::Cancel:
        break;
    }
    return false;
}

void TMainForm::ForgetWorkingProject()
{
    // Only a project of this run works in the working file; the controller
    // of the start-up has none.
    if (FFlashCard && FFlashCard->Mode == "Edit")
        quillora::ClearRecoveryMarker(Globals.UntitledBase);
}

bool TMainForm::MayReplaceWorkingProject()
{
    const std::optional<quillora::TRecoverable> left =
        quillora::FindRecoverable(Globals.UntitledBase);
    if (!left)
        return true;
    const int pictures = left->Pictures + int(left->Missing.size());
    if (pictures > 0 &&
        !Shell.ConfirmOkCancel(
            this, QStringLiteral("The working project still holds %1 pictures of a recording "
                                 "that was not saved. A new recording replaces them; they are "
                                 "kept in the trash of the working folder for %2 days.")
                      .arg(pictures)
                      .arg(quillora::kTrashDays)))
        return false;
    quillora::DiscardWorkingProject(Globals.UntitledBase, std::time(nullptr));
    return true;
}

void TMainForm::ReportMissingFiles()
{
    if (!FFlashCard || FFlashCard->MissingFiles.empty())
        return;
    QString list;
    for (const std::string& path : FFlashCard->MissingFiles)
        list += QStringLiteral("\n") + Q(path);
    Shell.ShowError(this, QStringLiteral("These files of the project cannot be found:%1\n\n"
                                         "Their tiles show them as missing. Put them back, or "
                                         "delete their tiles before saving.")
                              .arg(list));
}

void TMainForm::OfferRecovery()
{
    const std::string folder = Globals.ScreenshotsDir;
    quillora::PruneTrash(folder, std::time(nullptr));
    quillora::PruneWorkingPictures(Globals.UntitledBase);
    const std::optional<quillora::TRecoverable> left =
        quillora::FindRecoverable(Globals.UntitledBase);
    if (!left)
        return;
    const int pictures = left->Pictures + int(left->Missing.size());
    if (pictures == 0) {
        // A recording that captured nothing: nothing to offer.
        quillora::DiscardWorkingProject(Globals.UntitledBase, std::time(nullptr));
        return;
    }
    const int answer = Shell.Choose(
        this,
        QStringLiteral("Quillora was not closed properly. The last recording, with %1 pictures, "
                       "was not saved.\n\nRecover opens it so you can save it. Discard puts it "
                       "in the trash of the working folder, kept for %2 days.")
            .arg(pictures)
            .arg(quillora::kTrashDays),
        {QStringLiteral("&Recover"), QStringLiteral("&Discard")}, -1);
    if (answer == 1) {
        quillora::DiscardWorkingProject(Globals.UntitledBase, std::time(nullptr));
        return;
    }
    if (answer != 0)
        return; // asked again at the next start, and by New
    quillora::RecoverWorkingProject(Globals.UntitledBase);
    // Opened as the recording left it: untitled, with changes to save.
    if (FFlashCard)
        FreeFlashCard();
    FFlashCard = MakeFlashCard();
    ProjectExtension = QStringLiteral(".qlv");
    FFlashCard->SetMode("Edit");
    FXMLDoc = std::make_unique<quillora::TXMLDocument>(FFlashCard->WorkProjectPath);
    Movie = quillora::GetMovie(*FXMLDoc);
    FFlashCard->BindMovie(&Movie);
    FFlashCard->Modified = true;
    SetTitleFromBasePath();
    ShowProject();
}

void TMainForm::FreeFlashCard()
{
    // The storyboard lets go of the controller's editor first.
    Storyboard->SetEditor(nullptr);
    UpdateEditActions();
    ForgetWorkingProject();
    // The controller's end disables the document actions.
    FFlashCard.reset();
    DisableDocumentActions();
    SavedState.clear();
    UpdateTitleMarker();
}

void TMainForm::SetTitleFromBasePath()
{
    // "[*]" is where the desktop's mark of unsaved changes goes; one in the
    // name itself is doubled to show as it is.
    QString name = FileNames::FileNamePart(Q(FFlashCard->BasePath));
    name.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(AppTitle + QStringLiteral(" - ") + name + QStringLiteral("[*]"));
    UpdateTitleMarker();
}

// --- the lifecycle ----------------------------------------------------------

// A project file must load as a movie document before anything relies on
// it; the message says which file and why.
void TMainForm::CheckProjectFile(const QString& path, const char* what)
{
    try {
        quillora::TXMLDocument probe;
        probe.LoadFromFile(S(path));
        quillora::GetMovie(probe);
    } catch (const std::exception& e) {
        throw quillora::Error(std::string("Cannot read ") + what + " " + S(path) + ": " + e.what());
    }
}

void TMainForm::FileNewExecute()
{
    if (FFlashCard) {
        if (!AskSaveChanges())
            return;
        FreeFlashCard();
    }
    if (!FNewForm)
        FNewForm = new TNewForm(this);
    if (!MayReplaceWorkingProject())
        return;
    if (FNewForm->exec() != QDialog::Accepted)
        return;

    // A missing or broken template would otherwise show up only once the
    // recording runs; stop here, before anything is hidden or written.
    const QString templatePath = DataFolder + QStringLiteral("/blank.qlv");
    CheckProjectFile(templatePath, "the project template");
    if (PrepareRecording)
        PrepareRecording();

    FFlashCard = MakeFlashCard();
    FFlashCard->SourcePath = S(templatePath);
    ProjectExtension = QStringLiteral(".qlv");
    FFlashCard->SetMode("Edit");
    FXMLDoc = std::make_unique<quillora::TXMLDocument>(FFlashCard->WorkProjectPath);
    Movie = quillora::IXMLMovie();
    SetTitleFromBasePath();

#ifdef QUILLORA_HAVE_RECORDER
    Recorder->SetCountdown(FNewForm->Countdown());
    Recorder->SetFitWindow(FNewForm->FitWindow());
#endif
    StartRecording(FNewForm->CaptureWidth, FNewForm->CaptureHeight, FNewForm->AutoMode());
}

void TMainForm::FileSaveExecute()
{
    SaveProject();
}

bool TMainForm::SaveProject()
{
    if (!FFlashCard)
        return false;
    quillora::TFlashCard& card = *FFlashCard;
    bool write = true;
    if (card.BasePath == Globals.UntitledBase) {
        const QString path = Shell.GetSaveFileName(this, QString::fromLatin1(SaveFilterQLV));
        if (path.isEmpty())
            write = false;
        else {
            card.BasePath = S(FileNames::RemoveExtension(path));
            ProjectExtension = QStringLiteral(".qlv");
        }
    }
    if (write) {
        // The project travels with a folder of its files beside it.
        quillora::SaveProjectWithFiles(card.WorkProjectPath, card.BasePath + S(ProjectExtension));
        const bool modified = card.Modified;
        RunExport(std::string());
        try {
            quillora::CopyFileOver(card.MoviePath, card.BasePath + ".swf");
        } catch (...) {
            // The project's movie was not written: it still needs a Save.
            card.Modified = modified;
            throw;
        }
        SavedProject();
        ForgetWorkingProject();
    }
    SetTitleFromBasePath();
    ViewPlay->setEnabled(true);
    return write;
}

void TMainForm::FileSaveAsExecute()
{
    if (!FFlashCard)
        return;
    FFlashCard->BasePath = Globals.UntitledBase;
    FileSaveExecute();
}

void TMainForm::FileCloseExecute()
{
    if (!FFlashCard)
        return;
    if (!AskSaveChanges())
        return;
    FFlashCard->SetMode("Close");
    FreeFlashCard();
    setWindowTitle(AppTitle);
}

void TMainForm::FileExportSWFExecute()
{
    if (!FFlashCard)
        return;
    const QString path = Shell.GetSaveFileName(this, QString::fromLatin1(SaveFilterSWF));
    if (path.isEmpty())
        return;
    // The extension picks the format; one that names none is refused.
    CheckMovieName(path);
    if (video::VideoFormatOf(S(path)) && FFlashCard->MovieRef && !FFlashCard->MovieRef->IsNull()) {
        // The project's choice, as far as it reads; the dialog shows the rest
        // at their defaults and the edit stores what the user confirms.
        quillora::TFocusChoice choice;
        try {
            choice = quillora::ReadFocusChoice(*FFlashCard->MovieRef);
        } catch (const quillora::Error&) {
            choice.Zoom = FFlashCard->MovieRef->PeekText({"Zoom"}) == "True";
            choice.ClickRings = choice.Zoom;
        }
        const quillora::TFocusChoice before = choice;
        if (!Shell.AskVideoOptions(this, choice))
            return;
        if (!(choice == before)) {
            bool stored = false;
            quillora::TProjectEditor* editor = FFlashCard->Editor.get();
            RunEdit([&] {
                editor->SetFocusChoice(choice);
                stored = true;
            });
            if (!stored)
                return;
        }
    }
    // A movie written elsewhere saves nothing of the project: its changes
    // are still to be saved.
    struct KeepModified {
        quillora::TFlashCard& card;
        bool modified;
        ~KeepModified() { card.Modified = modified; }
    } keep{*FFlashCard, FFlashCard->Modified};
    RunExport(S(path));
}

void TMainForm::FileExitExecute()
{
    close();
}

void TMainForm::ViewPlayExecute()
{
    if (!FFlashCard)
        return;
    // Without a program for the SWF, our own player shows what the last
    // Save wrote (its problems were reported then).
    PlayMovie(Q(FFlashCard->MoviePath), Q(FFlashCard->BasePath) + ProjectExtension);
}

void TMainForm::HelpContentsExecute()
{
    Shell.OpenUrl(QUrl::fromLocalFile(DataFolder + QStringLiteral("/help.html")));
}

void TMainForm::HelpHomePageExecute()
{
    Shell.OpenUrl(QUrl(QString::fromLatin1(Branding::HomePage)));
}

void TMainForm::HelpAboutExecute()
{
    if (!FAboutForm)
        FAboutForm = new TAboutForm(Shell, this);
    FAboutForm->exec();
}

void TMainForm::HandleCommandLine(const QStringList& arguments)
{
    if (arguments.isEmpty() || !FFlashCard)
        return;
    const QString arg = arguments.first();
    const QString ext = FileNames::Extension(arg).toUpper();
    const QString path = QFileInfo(arg).absoluteFilePath();
    if (ext == QLatin1String(".SWF")) {
        FFlashCard->MoviePath = S(path);
        FFlashCard->SetMode("Play");
    } else if (ext == QLatin1String(".QLV")) {
        // Copying an unreadable project would leave the working file as the
        // last project left it, and Save would then write that back here.
        CheckProjectFile(path, "the project");
        FFlashCard->SourcePath = S(path);
        FFlashCard->BasePath = S(FileNames::RemoveExtension(path));
        // Saved back to its own file, whatever the case of its extension.
        ProjectExtension = FileNames::Extension(path);
        FFlashCard->SetMode("Edit");
        FXMLDoc = std::make_unique<quillora::TXMLDocument>(FFlashCard->WorkProjectPath);
        try {
            Movie = quillora::GetMovie(*FXMLDoc);
        } catch (...) {
            FFlashCard->SetMode("Close");
            FreeFlashCard();
            throw;
        }
        FFlashCard->BindMovie(&Movie);
        ShowProject();
        OpenedProject(path);
        ReportMissingFiles();
    }
}

void TMainForm::RunExport(const std::string& target)
{
    Progress = std::make_unique<TExportProgress>(this);
    struct Done {
        std::unique_ptr<TExportProgress>& progress;
        ~Done() { progress.reset(); }
    } done{Progress};
    video::TEncodeOptions options;
    options.Progress = [this](int frame, int frames) { return Progress->UpdateFrames(frame, frames); };
    try {
        quillora::ExportMovieFile(*FFlashCard, target, Writers->Writers(), this, options);
    } catch (const video::TCancelled&) {
        // Cancel leaves the old file as it was; nothing to tell.
    }
}

// --- close ------------------------------------------------------------------

void TMainForm::closeEvent(QCloseEvent* event)
{
#ifdef QUILLORA_HAVE_RECORDER
    if (Recorder && Recorder->IsRecording()) {
        event->ignore();
        return;
    }
#endif
    // An error while saving keeps the window open, so nothing is lost.
    bool goOn = false;
    if (!RunGuarded(Shell, this, [&] { goOn = AskSaveChanges(); }) || !goOn) {
        event->ignore();
        return;
    }
    ForgetWorkingProject();
    WriteSettings();
    event->accept();
    emit Closed();
}

void TMainForm::EndSession()
{
    WriteSettings();
}

void TMainForm::WriteSettings()
{
    WriteLastOpenDir();
    WriteWindowPlace();
}

// --- what the recording and the export call -------------------------------

void TMainForm::HideMainWindow()
{
    hide();
}

void TMainForm::ShowMainWindow()
{
    // The recording has stopped: its captures join the storyboard.
    ShowProject();
    show();
    raise();
    activateWindow();
}

void TMainForm::WriteRecordingHeader(int captureWidth, int captureHeight)
{
    quillora::TFlashCard& card = *FFlashCard;
    Movie = quillora::GetMovie(*FXMLDoc);
    card.BindMovie(&Movie);
    card.MovieBgColor = 16777215;
    card.MovieWidth = captureWidth;
    card.MovieHeight = captureHeight;
    card.MovieRate = 15;
    card.Looping = false;
    card.WriteHeader();
    card.Modified = true;
    ShowProject();
}

TFlashPic& TMainForm::RebindAndGetPictureTool()
{
    Movie = quillora::GetMovie(*FXMLDoc);
    FFlashCard->BindMovie(&Movie);
    // Each capture changes the document.
    FFlashCard->Modified = true;
    return *FFlashCard->PicTool;
}

void TMainForm::ExportError(const std::string& message, const std::string& detail)
{
    // The box says what the user can act on; the details go to the terminal.
    if (!detail.empty())
        qWarning("%s", detail.c_str());
    Shell.ShowError(this, Q(message));
}

void TMainForm::ExportProgress(int done, int total)
{
    if (Progress)
        Progress->Update(done, total);
}
