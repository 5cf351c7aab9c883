// The main window: the actions, menu and tool bar, start-up and close, the
// project lifecycle (New, Open, Save, Save As, Close, Export to Flash,
// Exit, the command line), Preview and the help actions. It is also what
// the recording and the export talk back to.
#pragma once

#include "base/GlobalVars.h"
#include "project/FlashCard.h"
#include "document/XMLDocument.h"
#include "document/XMLUnit.h"
#include "export/ExportReporter.h"
#include "recording/Recorder.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class IShell;
class QAction;
class QMenu;
class QMenuBar;
class TExportProgress;
class QToolBar;
class TAboutForm;
class TNewForm;
class TStoryboard;
class QDialog;
struct TSwfWriterSet;

class TMainForm : public QMainWindow,
                  public IRecordingHost,
                  public IExportReporter,
                  public quillora::IDocumentActions {
    Q_OBJECT
public:
    // FormCreate: folders, LastOpenDir, the document actions disabled, the
    // five writer objects and the first controller. The command line is
    // handled apart (HandleCommandLine), once the program owns its folder.
    TMainForm(IShell& shell, quillora::TGlobalVars& vars, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The program's arguments without the program name; only the first is
    // looked at.
    void HandleCommandLine(const QStringList& arguments);
    // At start-up: tidies the working folder and offers to recover a
    // recording that a run which died did not save.
    void OfferRecovery();

    // Open's work once a file is chosen: a project opens in the storyboard
    // as from the command line, after "Save changes?"; a movie plays. A
    // file that cannot be opened throws and leaves the open project as it is.
    void OpenFile(const QString& path);
    // Plays movie as Preview does: in the desktop's program for SWF files,
    // else our player on project (empty: the project beside the movie).
    void PlayMovie(const QString& movie, const QString& project);
    // A second start's requests, over the session bus: empty when taken,
    // else why not. The file opens once no dialog of ours is open.
    QString RequestOpen(const QString& path);
    QString RequestRaise();
    // The projects of File > Open Recent, newest first.
    QStringList RecentProjects() const;
    // Where the next file dialog starts: the last folder used while it
    // exists, else the documents folder, else home.
    QString StartFolder() const;

    // The program ends without the window closing (a signal, the session's
    // end): no question is asked, as none could be answered; unsaved work
    // stays in the working project. The settings are written; the caller
    // then leaves the event loop and destroys the window, which stops a
    // recording after its captures are on disk.
    void EndSession();

    // Where blank.qlv and the help page are; where LastOpenDir falls back to.
    QString DataFolder;
    QString ProgramFolder;

    QAction* FileNew;
    QAction* FileOpen;
    QMenu* FileOpenRecent;
    QAction* FileClearRecent;
    QAction* FileSave;
    QAction* FileSaveAs;
    QAction* FileClose;
    QAction* FileExportSWF;
    QAction* FileExportGuide; // HTML, Markdown or PDF
    QAction* FileExit;
    QAction* ViewPlay;
    // The Edit menu; each works on the storyboard's selection.
    QAction* EditUndo;
    QAction* EditRedo;
    QAction* EditDelete;
    QAction* EditMoveEarlier;
    QAction* EditMoveLater;
    QAction* EditSetLength;
    QAction* EditCaption;
    QAction* EditAddSound;
    QAction* EditZoomPicture; // a check item: the picture takes part in a video's zoom
    QAction* HelpContents;
    QAction* HelpHomePage;
    QAction* HelpAbout;
    QMenuBar* ActionMainMenuBar1;
    QToolBar* ActionToolBar1;

    // The action handlers. Errors propagate; the actions run them through
    // the application's error handler.
    void FileNewExecute();
    void FileOpenExecute();
    void FileSaveExecute();
    void FileSaveAsExecute();
    void FileCloseExecute();
    void FileExportSWFExecute();
    void FileExportGuideExecute();
    // Enter or F2 on the storyboard: the selected picture's caption, or a new one.
    void EditStepTextExecute();
    void FileExitExecute();
    void ViewPlayExecute();
    void EditUndoExecute();
    void EditRedoExecute();
    void EditDeleteExecute();
    void EditMoveEarlierExecute();
    void EditMoveLaterExecute();
    // Moves the selected picture step places among the pictures, if action allows.
    void MoveCurrentPicture(int step, QAction* action);
    void EditSetLengthExecute();
    void EditCaptionExecute();
    // The caption dialog on one caption; select is the tile selected after.
    void EditCaptionItem(const quillora::TStoryItem& caption, int select);
    void EditAddSoundExecute();
    void EditZoomPictureExecute();
    void HelpContentsExecute();
    void HelpHomePageExecute();
    void HelpAboutExecute();

    // IDocumentActions
    void DisableDocumentActions() override;
    void EnableDocumentActions() override;

    quillora::TFlashCard* FlashCard() const { return FFlashCard.get(); }
    TNewForm* NewForm() const { return FNewForm; }
    TAboutForm* AboutForm() const { return FAboutForm; }
    quillora::TXMLDocument* XMLDoc() const { return FXMLDoc.get(); }
    quillora::IXMLMovie Movie;
    // The client area: the open project's storyboard, or empty and white.
    TStoryboard* Storyboard = nullptr;
    // Runs the Edit menu's dialogs (length, caption); tests answer them.
    std::function<int(QDialog&)> ExecEditDialog;
    quillora::TGlobalVars& Globals;
    // Starts the recording once New has prepared the document: the
    // recorder's Start when the recording library is built in. Tests put a
    // stand-in here that writes the header as a recording does.
    std::function<void(int captureWidth, int captureHeight, bool autoMode)> StartRecording;
    // Opens what the recording reads the screen with, before New changes
    // anything: a refusal (no screen-cast portal, the desktop's dialog
    // cancelled) throws and leaves the project and the title as they were.
    std::function<void()> PrepareRecording;
    // The extension the project file is saved with: ".qlv", or the one of
    // a project named on the command line (project.QLV stays project.QLV).
    QString ProjectExtension = QStringLiteral(".qlv");

    // IRecordingHost
    void HideMainWindow() override;
    void ShowMainWindow() override;
    void WriteRecordingHeader(int captureWidth, int captureHeight) override;
    TFlashPic& RebindAndGetPictureTool() override;

    // IExportReporter
    void ExportError(const std::string& message, const std::string& detail) override;
    void ExportProgress(int done, int total) override;

signals:
    // The window closed for good; the program ends.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QAction* MakeAction(const QString& name, const QString& caption, const QString& hint,
                        void (TMainForm::*handler)());
    void BuildMenus();
    std::unique_ptr<quillora::TFlashCard> MakeFlashCard();
    void FreeFlashCard();
    // The user is done with the working project (saved it, or let it go):
    // the next start has nothing to offer.
    void ForgetWorkingProject();
    // False when a recording of a run that died is still in the working
    // project and the user keeps it.
    bool MayReplaceWorkingProject();
    void ReportMissingFiles();
    // "Save changes?" while the project is modified. False when the caller
    // must stop and leave everything as it is: Cancel, or Save whose name
    // dialog was cancelled (an error from that save stops it too).
    bool AskSaveChanges();
    // Save's work; false when the name dialog was cancelled.
    bool SaveProject();
    bool Modified() const;
    void SetTitleFromBasePath();
    void RunExport(const std::string& target);
    void ReadLastOpenDir();
    void BuildEditActions();
    void BuildGuideActions();
    static void CheckProjectFile(const QString& path, const char* what);
    bool IsRecording() const;
    void OpenPending();
    void BuildRecentMenu();
    void UpdateRecentMenu();
    void NoteRecentProject(const QString& path);
    // The documents folder, or home.
    QString DefaultFolder() const;
    void FolderChosen(const QString& file);
    // The size and place of the last run, else a size that fits the screen.
    void RestoreWindowPlace();
    void WriteWindowPlace();
    // The title's mark follows the project's Modified.
    void UpdateTitleMarker();
    // Remembers the working project as saved, so that undoing back to it
    // leaves nothing to save.
    void NoteSavedState();
    void ProjectEdited();
    void SavedProject();
    void OpenedProject(const QString& path);
    // Shows the open project in the storyboard, or nothing.
    void ShowProject();
    // Enables the Edit menu for the selection and names Undo and Redo.
    void UpdateEditActions();
    quillora::TProjectEditor* Editor() const;
    // Runs an edit through the error handler, then shows its result.
    void RunEdit(const std::function<void()>& edit, int selectIndex = -1);
    void WriteLastOpenDir();
    // What close writes: LastOpenDir.
    void WriteSettings();

    IShell& Shell;
    std::unique_ptr<TSwfWriterSet> Writers;
    std::unique_ptr<quillora::TFlashCard> FFlashCard;
    std::unique_ptr<quillora::TXMLDocument> FXMLDoc;
    TNewForm* FNewForm = nullptr;
    TAboutForm* FAboutForm = nullptr;
    TRecorder* Recorder = nullptr; // a child of the window
    std::unique_ptr<TExportProgress> Progress; // while an export runs
    bool FirstShow = true;
    bool PlaceRestored = false;
    QStringList PendingOpens;
    bool OpeningRequest = false;
    QByteArray SavedState; // hash of the working project as last saved or opened
};
