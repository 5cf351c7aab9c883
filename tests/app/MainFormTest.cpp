// The main window: start-up, the actions and their enabled state, the
// titles, and the project lifecycle with the dialogs answered by the test.
#include "../ui/AccessibilityCheck.h"
#include "../ui/TestSupport.h"

#include "app/ErrorHandler.h"
#include "app/FileNames.h"
#include "app/MainForm.h"
#include "app/ProjectState.h"
#include "platform/CaptureService.h"
#include "recording/NewForm.h"
#include "recording/SpinEdit.h"
#include "ui/AboutForm.h"
#include "ui/Player.h"
#include "ui/Storyboard.h"

#include <stdexcept>
#include <QAccessible>
#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <gtest/gtest.h>

namespace {

QString ReadAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

const QByteArray SmallProject =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Movie><BgColor>16777215</BgColor><BgPic></BgPic>"
    "<Width>320</Width><Height>240</Height><Rate>15</Rate><TotalFrames>0</TotalFrames><Times>0</Times>"
    "<FileSize>0</FileSize><MovieName></MovieName><Author></Author><Loop>False</Loop></Movie>\n";

class MainFormTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        UseTemporaryConfig();
        TestApp();
    }

    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        UseHome(home.path());
        QSettings settings(QStringLiteral("Brindlecove"), QStringLiteral("Quillora"));
        settings.clear();
        settings.sync();
    }

    void TearDown() override
    {
        form.reset();
    }

    TMainForm& Form()
    {
        if (!form) {
            form = std::make_unique<TMainForm>(shell, vars);
            // The recording itself is not part of these tests: like a
            // recording without captures, it writes the header.
            form->StartRecording = [this](int w, int h, bool autoMode) {
                recordings.push_back({w, h, autoMode});
                form->WriteRecordingHeader(w, h);
            };
        }
        return *form;
    }

    // The title as the desktop shows it: "*" where the project has changes
    // to save.
    QString Title()
    {
        // "[*][*]" shows as "[*]".
        QStringList parts = Form().windowTitle().split("[*][*]");
        for (QString& part : parts)
            part.replace("[*]", Form().isWindowModified() ? "*" : "");
        return parts.join("[*]");
    }

    QString Work(const QString& name) const { return home.path() + "/work/" + name; }
    QString Screenshots() const { return QString::fromStdString(vars.ScreenshotsDir); }
    QString WorkProject() const { return Screenshots() + "/Untitled.qlv"; }
    QString WorkMovie() const { return Screenshots() + "/Untitled.swf"; }

    // Runs New; the dialog is answered while it is open.
    void New(bool start = true, int width = 640, int height = 480, bool autoMode = false)
    {
        bool answered = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<TNewForm*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            answered = true;
            dialog->EditWidth->SetValue(width);
            dialog->EditHeight->SetValue(height);
            (autoMode ? dialog->RBtnAuto : dialog->RBtnManu)->setChecked(true);
            (start ? dialog->Button1 : dialog->Button2)->click();
        });
        Form().FileNew->trigger();
        EXPECT_TRUE(answered);
    }

    // A 64 x 48 dark cyan capture "1234.jpg" appended as a recording does.
    void AddDarkCyanCapture()
    {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        ASSERT_TRUE(image.save(Screenshots() + "/1234.jpg", "JPG"));
        quillora::TFlashPic& pic = Form().RebindAndGetPictureTool();
        pic.Content = (Screenshots() + "/1234.jpg").toStdString();
        pic.MouseX = 10;
        pic.MouseY = 20;
        pic.Width = 64;
        pic.Height = 48;
        pic.StartTime = 0;
        pic.AppendToDocument();
    }

    std::vector<bool> DocumentActions()
    {
        std::vector<bool> states;
        for (QAction* a : {Form().FileSave, Form().FileSaveAs, Form().FileClose, Form().FileExportSWF, Form().ViewPlay})
            states.push_back(a->isEnabled());
        return states;
    }

    struct Recording {
        int Width, Height;
        bool Auto;
    };
    std::vector<Recording> recordings;
    QTemporaryDir home;
    quillora::TGlobalVars vars;
    TFakeShell shell;
    std::unique_ptr<TMainForm> form;
};

const std::vector<bool> AllOff = {false, false, false, false, false};
const std::vector<bool> EditBeforeSave = {true, true, true, true, false};
const std::vector<bool> EditAfterSave = {true, true, true, true, true};

TEST_F(MainFormTest, StartUpBuildsTheFoldersAndTheWindow)
{
    TMainForm& f = Form();
    EXPECT_EQ(Screenshots(), home.path() + "/Documents/Quillora/screenshots");
    EXPECT_TRUE(QDir(Screenshots()).exists());
    EXPECT_EQ(vars.UntitledBase, (Screenshots() + "/Untitled").toStdString());
    EXPECT_EQ(Title(), "Quillora 1.0");
    // Room for the storyboard, within the screen.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_GT(f.width(), 642);
    EXPECT_GT(f.height(), 443);
    EXPECT_LE(f.width(), area.width());
    EXPECT_LE(f.height(), area.height());
    EXPECT_EQ(DocumentActions(), AllOff);
    for (QAction* a : {f.FileNew, f.FileOpen, f.FileExit, f.HelpContents, f.HelpHomePage, f.HelpAbout})
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    ASSERT_NE(f.FlashCard(), nullptr);
    EXPECT_EQ(f.FlashCard()->Mode, "");
    EXPECT_EQ(f.FlashCard()->BasePath, vars.UntitledBase);
}

TEST_F(MainFormTest, ActionsCarryTheirCaptionsHintsShortcutsAndImages)
{
    TMainForm& f = Form();
    struct Row {
        QAction* action;
        const char *caption, *hint, *shortcut;
        bool image;
    };
    const Row rows[] = {
        {f.FileNew, "&New", "New", "Ctrl+N", true},
        {f.FileOpen, "&Open ...", "Open ...", "Ctrl+O", true},
        {f.FileSave, "&Save", "Save", "Ctrl+S", true},
        {f.FileSaveAs, "Save &As...", "Save As...", "", false},
        {f.FileClose, "&Close", "Close", "", false},
        {f.FileExportSWF, "&Export to Flash", "Export to Flash", "", false},
        {f.FileExportGuide, "Export &Guide...", "Export Guide", "", false},
        {f.FileExit, "E&xit", "Exit", "", false},
        {f.ViewPlay, "&PreView", "PreView", "", true},
        {f.HelpContents, "&Contents", "Contents", "F1", false},
        {f.HelpHomePage, "&Visit www.brindlecove.example", "Visit www.brindlecove.example", "", false},
        {f.HelpAbout, "&About ...", "About ...", "", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.caption);
        EXPECT_EQ(r.action->text(), r.caption);
        EXPECT_EQ(r.action->toolTip(), r.hint);
        EXPECT_EQ(r.action->shortcut().toString(), r.shortcut);
        EXPECT_EQ(!r.action->icon().isNull(), r.image);
    }

    QStringList menus;
    for (QAction* m : f.ActionMainMenuBar1->actions())
        menus << m->text();
    EXPECT_EQ(menus, QStringList({"&File", "&Edit", "&View", "&Help"}));
    auto items = [&](int index) {
        QStringList names;
        for (QAction* a : f.ActionMainMenuBar1->actions()[index]->menu()->actions())
            names << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return names;
    };
    EXPECT_EQ(items(0), QStringList({"&New", "&Open ...", "Open &Recent", "&Save", "Save &As...", "&Close", "-",
                                     "&Export to Flash", "Export &Guide...", "-", "E&xit"}));
    EXPECT_EQ(items(1), QStringList({"&Undo", "&Redo", "-", "&Delete", "Move &Earlier", "Move &Later",
                                     "Set &Length...", "-", "Add &Caption...", "Add S&ound...", "-",
                                     "&Zoom on This Picture"}));
    EXPECT_EQ(f.EditUndo->shortcut().toString(), "Ctrl+Z");
    EXPECT_EQ(f.EditRedo->shortcut().toString(), "Ctrl+Shift+Z");
    EXPECT_EQ(f.EditDelete->shortcut().toString(), "Del");
    EXPECT_EQ(f.EditMoveEarlier->shortcut().toString(), "Ctrl+Left");
    EXPECT_EQ(f.EditMoveLater->shortcut().toString(), "Ctrl+Right");
    EXPECT_EQ(items(2), QStringList({"&PreView"}));
    EXPECT_EQ(items(3), QStringList({"&Contents", "-", "&Visit www.brindlecove.example", "-", "&About ..."}));

    QList<QAction*> tools = f.ActionToolBar1->actions();
    ASSERT_EQ(tools.size(), 5);
    EXPECT_EQ(tools[0], f.FileNew);
    EXPECT_EQ(tools[1], f.FileOpen);
    EXPECT_EQ(tools[2], f.FileSave);
    EXPECT_TRUE(tools[3]->isSeparator());
    EXPECT_EQ(tools[4], f.ViewPlay);
}

TEST_F(MainFormTest, CtrlNStartsNew)
{
    Form().show();
    QApplication::setActiveWindow(&Form());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Form()));
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TNewForm*>(QApplication::activeModalWidget());
        seen = dialog != nullptr;
        if (dialog)
            dialog->Button2->click();
    });
    QTest::keyClick(&Form(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_TRUE(seen);
}

TEST_F(MainFormTest, LastOpenDirFallsBackToTheDocumentsFolderOrHomeAndIsWrittenOnClose)
{
    Form().close();
    {
        QSettings settings(QStringLiteral("Brindlecove"), QStringLiteral("Quillora"));
        EXPECT_EQ(settings.value("Common/LastOpenDir").toString(), home.path() + "/Documents/");
        settings.clear();
    }
    form.reset();
    qputenv("XDG_DOCUMENTS_DIR", (home.path() + "/no-documents").toLocal8Bit());
    Form().close();
    UseHome(home.path());
    QSettings settings(QStringLiteral("Brindlecove"), QStringLiteral("Quillora"));
    EXPECT_EQ(settings.value("Common/LastOpenDir").toString(), home.path() + "/");
}

TEST_F(MainFormTest, LastOpenDirIsReadAndWrittenBackUnchanged)
{
    {
        QSettings settings(QStringLiteral("Brindlecove"), QStringLiteral("Quillora"));
        settings.setValue("Common/LastOpenDir", "/data/demos/");
    }
    EXPECT_EQ(Form().Globals.LastOpenDir, "/data/demos/");
    Form().close();
    QSettings settings(QStringLiteral("Brindlecove"), QStringLiteral("Quillora"));
    EXPECT_EQ(settings.value("Common/LastOpenDir").toString(), "/data/demos/");
}

TEST_F(MainFormTest, NewPreparesAFreshUntitledProjectFromTheTemplate)
{
    Form();
    WriteAll(WorkProject(), "left over from an earlier project");
    New(true, 800, 600, true);
    ASSERT_EQ(recordings.size(), 1u);
    EXPECT_EQ(recordings[0].Width, 800);
    EXPECT_EQ(recordings[0].Height, 600);
    EXPECT_TRUE(recordings[0].Auto);
    EXPECT_EQ(Title(), "Quillora 1.0 - Untitled*");
    EXPECT_EQ(DocumentActions(), EditBeforeSave);
    ASSERT_NE(Form().FlashCard(), nullptr);
    EXPECT_EQ(Form().FlashCard()->Mode, "Edit");
    EXPECT_EQ(Form().FlashCard()->SourcePath, (Form().DataFolder + "/blank.qlv").toStdString());
    const QString work = ReadAll(WorkProject());
    EXPECT_TRUE(work.contains("<Width>800</Width>")) << work.toStdString();
    EXPECT_TRUE(work.contains("<Height>600</Height>"));
    EXPECT_TRUE(work.contains("<BgColor>16777215</BgColor>"));
    EXPECT_TRUE(work.contains("<Loop>False</Loop>"));
    EXPECT_TRUE(Form().FlashCard()->Modified);
}

TEST_F(MainFormTest, NewCancelledLeavesNoProjectAndTheTitle)
{
    New();
    shell.SaveChangesAnswers = {IShell::TSaveAnswer::DontSave};
    Form().setWindowTitle("Quillora 1.0 - clip");
    New(false);
    EXPECT_EQ(Form().FlashCard(), nullptr);
    EXPECT_EQ(DocumentActions(), AllOff);
    EXPECT_EQ(Title(), "Quillora 1.0 - clip");
    EXPECT_EQ(recordings.size(), 1u);
}

TEST_F(MainFormTest, ANewRecordingTheDesktopRefusesWritesNothingAndKeepsTheTitle)
{
    Form().setWindowTitle("Quillora 1.0 - clip");
    WriteAll(WorkProject(), SmallProject);
    Form().PrepareRecording = [] {
        throw std::runtime_error("Sharing the screen was cancelled, so nothing is recorded.");
    };
    New();
    ASSERT_EQ(shell.Errors.size(), 1u);
    EXPECT_EQ(shell.Errors[0], "Sharing the screen was cancelled, so nothing is recorded.");
    EXPECT_TRUE(recordings.empty());
    EXPECT_EQ(Form().FlashCard(), nullptr);
    EXPECT_EQ(Title(), "Quillora 1.0 - clip");
    EXPECT_EQ(ReadAll(WorkProject()), QString::fromUtf8(SmallProject));
}

TEST_F(MainFormTest, NewAsksToSaveAModifiedProjectAndGoesOnEitherWay)
{
    New();
    shell.SaveChangesAnswers = {IShell::TSaveAnswer::DontSave};
    New(true, 320, 200);
    EXPECT_EQ(shell.Confirms, QStringList({"Save changes?"}));
    EXPECT_TRUE(shell.SaveFilters.isEmpty());
    EXPECT_TRUE(ReadAll(WorkProject()).contains("<Width>320</Width>"));

    // OK saves first, with the dialog for an untitled project.
    shell.SaveChangesAnswers = {IShell::TSaveAnswer::Save};
    shell.SaveAnswers = {Work("first.qlv")};
    New(true, 500, 400);
    EXPECT_EQ(shell.Confirms.size(), 2);
    EXPECT_TRUE(ReadAll(Work("first.qlv")).contains("<Width>320</Width>"));
    EXPECT_TRUE(QFile::exists(Work("first.swf")));
    EXPECT_EQ(Title(), "Quillora 1.0 - Untitled*");
}

// Cancel, and Save with its name dialog cancelled, stop the whole action:
// the project stays open as it was, nothing is written or shown.
TEST_F(MainFormTest, CancellingSaveChangesStopsEveryActionThatAsked)
{
    using Answer = IShell::TSaveAnswer;
    New(true, 320, 200);
    Form().show();
    const std::string base = Form().FlashCard()->BasePath;
    const QString work = ReadAll(WorkProject());
    struct Case {
        const char* name;
        Answer answer;
        std::function<void()> run;
    };
    bool newDialogShown = false;
    const Case cases[] = {
        {"New", Answer::Cancel,
         [&] {
             QTimer::singleShot(0, [&] {
                 if (auto* d = qobject_cast<TNewForm*>(QApplication::activeModalWidget())) {
                     newDialogShown = true;
                     d->Button2->click();
                 }
             });
             Form().FileNew->trigger();
             QApplication::processEvents();
         }},
        {"Open", Answer::Cancel,
         [&] {
             WriteAll(home.path() + "/other.qlv", SmallProject);
             shell.OpenAnswers = {home.path() + "/other.qlv"};
             Form().FileOpen->trigger();
         }},
        {"Close", Answer::Cancel, [&] { Form().FileClose->trigger(); }},
        {"Exit", Answer::Cancel, [&] { Form().FileExit->trigger(); }},
        {"the close box", Answer::Cancel, [&] { EXPECT_FALSE(Form().close()); }},
        {"Close, Save, name dialog cancelled", Answer::Save,
         [&] {
             shell.SaveAnswers = {QString()};
             Form().FileClose->trigger();
         }},
    };
    int asked = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        shell.SaveChangesAnswers = {c.answer};
        c.run();
        EXPECT_EQ(shell.Confirms.size(), ++asked);
        EXPECT_FALSE(newDialogShown) << "no New dialog after Cancel";
        ASSERT_NE(Form().FlashCard(), nullptr);
        EXPECT_EQ(Form().FlashCard()->BasePath, base);
        EXPECT_TRUE(Form().FlashCard()->Modified);
        EXPECT_TRUE(Form().isVisible());
        EXPECT_EQ(Title(), "Quillora 1.0 - Untitled*");
        // A Save whose dialog is cancelled still enables Preview, as ever.
        EXPECT_EQ(DocumentActions(), c.answer == Answer::Save ? EditAfterSave : EditBeforeSave);
        EXPECT_TRUE(shell.Opened.isEmpty());
        EXPECT_EQ(ReadAll(WorkProject()), work);
    }
    EXPECT_EQ(recordings.size(), 1u);
    EXPECT_TRUE(QDir(Work("")).entryList(QDir::Files).isEmpty());

    // Don't Save goes on without writing anything.
    bool closed = false;
    QObject::connect(&Form(), &TMainForm::Closed, [&] { closed = true; });
    shell.SaveChangesAnswers = {Answer::DontSave};
    EXPECT_TRUE(Form().close());
    EXPECT_TRUE(closed);
    EXPECT_TRUE(QDir(Work("")).entryList(QDir::Files).isEmpty());
}

TEST_F(MainFormTest, SaveAsksForANameOnceThenWritesBothFiles)
{
    New();
    shell.SaveAnswers = {Work("clip.qlv")};
    Form().FileSave->trigger();
    ASSERT_EQ(shell.SaveFilters, QStringList({"Quillora Project (*.qlv)"}));
    EXPECT_TRUE(shell.Errors.isEmpty()) << shell.Errors.join("\n").toStdString();
    EXPECT_EQ(ReadAll(Work("clip.qlv")), ReadAll(WorkProject()));
    EXPECT_TRUE(QFile::exists(Work("clip.swf")));
    EXPECT_EQ(ReadAll(Work("clip.swf")), ReadAll(WorkMovie()));
    EXPECT_TRUE(ReadAll(Work("clip.swf")).startsWith("FWS") || ReadAll(Work("clip.swf")).startsWith("CWS"));
    EXPECT_EQ(Title(), "Quillora 1.0 - clip");
    EXPECT_EQ(DocumentActions(), EditAfterSave);
    EXPECT_FALSE(Form().FlashCard()->Modified);

    QFile::remove(Work("clip.qlv"));
    QFile::remove(Work("clip.swf"));
    Form().FileSave->trigger();
    EXPECT_EQ(shell.SaveFilters.size(), 1) << "no dialog the second time";
    EXPECT_TRUE(QFile::exists(Work("clip.qlv")));
    EXPECT_TRUE(QFile::exists(Work("clip.swf")));
}

TEST_F(MainFormTest, SaveTakesTheExtensionOffTheChosenName)
{
    const std::pair<const char*, const char*> cases[] = {
        {"my.project.qlv", "my.project"}, {"clip.txt", "clip"}, {"plain", "plain"}};
    for (const auto& [chosen, base] : cases) {
        SCOPED_TRACE(chosen);
        New();
        shell.SaveAnswers = {Work(chosen)};
        Form().FileSave->trigger();
        EXPECT_TRUE(QFile::exists(Work(QString(base) + ".qlv")));
        EXPECT_TRUE(QFile::exists(Work(QString(base) + ".swf")));
        EXPECT_EQ(Title(), "Quillora 1.0 - " + QString(base));
    }
    // A dot in a folder name is no extension.
    QDir(home.path()).mkpath("work/v1.2");
    New();
    shell.SaveAnswers = {Work("v1.2/demo")};
    Form().FileSave->trigger();
    EXPECT_TRUE(QFile::exists(Work("v1.2/demo.qlv")));
}

TEST_F(MainFormTest, SaveWithTheDialogCancelledWritesNothingButEnablesPreview)
{
    New();
    shell.SaveAnswers = {QString()};
    Form().FileSave->trigger();
    EXPECT_TRUE(QDir(Work("")).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(Title(), "Quillora 1.0 - Untitled*");
    EXPECT_EQ(DocumentActions(), EditAfterSave);
    Form().ViewPlay->trigger();
    ASSERT_EQ(shell.Opened.size(), 1);
    EXPECT_EQ(shell.Opened[0], QUrl::fromLocalFile(WorkMovie()));
}

TEST_F(MainFormTest, SaveAsCancelledMakesANamedProjectUntitled)
{
    New();
    shell.SaveAnswers = {Work("clip.qlv"), QString(), Work("other.qlv")};
    Form().FileSave->trigger();
    Form().FileSaveAs->trigger();
    EXPECT_EQ(shell.SaveFilters.size(), 2);
    EXPECT_EQ(Title(), "Quillora 1.0 - Untitled");
    Form().FileSave->trigger();
    EXPECT_EQ(shell.SaveFilters.size(), 3) << "the next Save asks again";
    EXPECT_TRUE(QFile::exists(Work("other.qlv")));
    EXPECT_EQ(Title(), "Quillora 1.0 - other");
}

TEST_F(MainFormTest, CloseDisablesTheDocumentActionsAndResetsTheTitle)
{
    New();
    shell.SaveAnswers = {Work("clip.qlv")};
    Form().FileSave->trigger();
    Form().FileClose->trigger();
    EXPECT_EQ(Title(), "Quillora 1.0");
    EXPECT_EQ(DocumentActions(), AllOff);
    EXPECT_EQ(Form().FlashCard(), nullptr);
    EXPECT_TRUE(shell.Confirms.isEmpty()) << "a saved project is not asked about";
}

TEST_F(MainFormTest, CloseAsksAboutUnsavedWork)
{
    New();
    shell.SaveChangesAnswers = {IShell::TSaveAnswer::DontSave};
    Form().FileClose->trigger();
    EXPECT_EQ(shell.Confirms, QStringList({"Save changes?"}));
    EXPECT_EQ(Form().FlashCard(), nullptr);
    EXPECT_TRUE(shell.SaveFilters.isEmpty());

    New();
    shell.SaveChangesAnswers = {IShell::TSaveAnswer::Save};
    shell.SaveAnswers = {Work("kept.qlv")};
    Form().FileClose->trigger();
    EXPECT_TRUE(QFile::exists(Work("kept.qlv")));
    EXPECT_EQ(Form().FlashCard(), nullptr);
    EXPECT_EQ(Title(), "Quillora 1.0");
}

TEST_F(MainFormTest, OpenOfAProjectOpensItForEditingAsTheCommandLineDoes)
{
    New();
    for (const char* name : {"clip.qlv", "Clip.QLV"})
        WriteAll(Work(name), SmallProject);
    shell.SaveChangesAnswers = {IShell::TSaveAnswer::DontSave};
    shell.OpenAnswers = {Work("clip.qlv")};
    Form().FileOpen->trigger();
    EXPECT_EQ(shell.Confirms, QStringList({"Save changes?"}));
    EXPECT_EQ(shell.OpenFilters.first(), "All file (*.qlv *.swf);;Quillora file (*.qlv);;Flash file (*.swf)");
    EXPECT_TRUE(shell.Errors.isEmpty()) << shell.Errors.join("\n").toStdString();
    EXPECT_TRUE(shell.Opened.isEmpty()) << "nothing goes to the desktop";
    auto* card = Form().FlashCard();
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->Mode, "Edit");
    EXPECT_EQ(card->BasePath, Work("clip").toStdString());
    EXPECT_FALSE(card->Modified);
    EXPECT_EQ(ReadAll(WorkProject()), QString::fromUtf8(SmallProject));
    EXPECT_EQ(DocumentActions(), EditBeforeSave);
    EXPECT_EQ(Title(), "Quillora 1.0 - clip");
    EXPECT_NE(Form().Storyboard->Model()->Editor(), nullptr) << "shown in the storyboard";

    // Saved back in place without a name asked; then a project in another
    // letter case opens without a question, as nothing changed.
    Form().FileSave->trigger();
    EXPECT_TRUE(shell.SaveFilters.isEmpty());
    EXPECT_TRUE(QFile::exists(Work("clip.swf")));
    shell.OpenAnswers = {Work("Clip.QLV")};
    Form().FileOpen->trigger();
    EXPECT_EQ(shell.Confirms.size(), 1);
    EXPECT_EQ(Title(), "Quillora 1.0 - Clip");
    Form().FileSave->trigger();
    EXPECT_EQ(ReadAll(Work("Clip.QLV")), QString::fromUtf8(SmallProject));
    EXPECT_TRUE(QFile::exists(Work("Clip.swf")));
}

TEST_F(MainFormTest, OpenOfAFileThatCannotBeOpenedSaysSoAndKeepsTheProject)
{
    New();
    Form().show();
    WriteAll(Work("broken.qlv"), "<Movie><Width>");
    const struct {
        QString chosen, message;
    } cases[] = {
        {Work("broken.qlv"), "Cannot read the project " + Work("broken.qlv")},
        {Work("missing.qlv"), "Cannot read the project " + Work("missing.qlv")},
        {Work("notes.txt"), "Quillora opens projects (.qlv) and Flash movies (.swf); " + Work("notes.txt")},
        {Work("missing.swf"), "Cannot play " + Work("missing.swf")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen.toStdString());
        shell.Errors.clear();
        shell.OpenAnswers = {c.chosen};
        Form().FileOpen->trigger();
        ASSERT_EQ(shell.Errors.size(), 1);
        EXPECT_TRUE(shell.Errors[0].startsWith(c.message)) << shell.Errors[0].toStdString();
        EXPECT_TRUE(shell.Confirms.isEmpty()) << "nothing is asked for a file that cannot open";
        ASSERT_NE(Form().FlashCard(), nullptr);
        EXPECT_EQ(Form().FlashCard()->Mode, "Edit");
        EXPECT_TRUE(Form().FlashCard()->Modified);
        EXPECT_EQ(Title(), "Quillora 1.0 - Untitled*");
    }
    shell.OpenAnswers = {QString()};
    Form().FileOpen->trigger();
    EXPECT_NE(Form().FlashCard(), nullptr) << "a cancelled Open changes nothing";
    EXPECT_TRUE(shell.Confirms.isEmpty());
}

// A movie plays as Preview plays one and leaves the open project as it is.
TEST_F(MainFormTest, OpenOfAMoviePlaysItInTheDesktopsProgramOrOurs)
{
    New(true, 64, 48);
    AddDarkCyanCapture();
    shell.SaveAnswers = {Work("one.qlv")};
    Form().FileSave->trigger();
    WriteAll(Work("alone.SWF"), "FWS");
    for (const char* name : {"one.swf", "alone.SWF"}) {
        SCOPED_TRACE(name);
        shell.OpenAnswers = {Work(name)};
        Form().FileOpen->trigger();
        ASSERT_EQ(shell.Opened.size(), 1);
        EXPECT_EQ(shell.Opened[0], QUrl::fromLocalFile(Work(name)));
        shell.Opened.clear();
    }

    shell.HasProgram = false;
    shell.OpenAnswers = {Work("one.swf")};
    Form().FileOpen->trigger();
    EXPECT_TRUE(shell.Errors.isEmpty()) << shell.Errors.join("\n").toStdString();
    auto* player = Form().findChild<TPlayerForm*>();
    ASSERT_NE(player, nullptr) << "the project beside the movie plays in our player";
    EXPECT_TRUE(player->IsPlaying());
    delete player;

    shell.OpenAnswers = {Work("alone.SWF")};
    Form().FileOpen->trigger();
    ASSERT_EQ(shell.Errors.size(), 1);
    EXPECT_TRUE(shell.Errors[0].contains(Work("alone.SWF"))) << shell.Errors[0].toStdString();
    EXPECT_TRUE(shell.Errors[0].contains("no project beside it")) << shell.Errors[0].toStdString();
    EXPECT_EQ(Form().findChild<TPlayerForm*>(), nullptr);
    EXPECT_TRUE(shell.Opened.isEmpty());
    EXPECT_TRUE(shell.Confirms.isEmpty());
    EXPECT_EQ(Form().FlashCard()->BasePath, Work("one").toStdString()) << "the project stays open";
    EXPECT_EQ(DocumentActions(), EditAfterSave);
}

TEST_F(MainFormTest, CommandLineMovieEntersPlay)
{
    Form().HandleCommandLine({Work("movie.SwF")});
    EXPECT_EQ(Form().FlashCard()->Mode, "Play");
    EXPECT_EQ(Form().FlashCard()->MoviePath, Work("movie.SwF").toStdString());
    EXPECT_EQ(DocumentActions(), AllOff);
    EXPECT_TRUE(shell.Opened.isEmpty()) << "nothing is played";
}

TEST_F(MainFormTest, CommandLineProjectOpensForEditingAndSavesInPlace)
{
    for (const char* name : {"project.qlv", "Project.QLV"}) {
        SCOPED_TRACE(name);
        form.reset();
        WriteAll(Work(name), SmallProject);
        Form().HandleCommandLine({Work(name), "ignored"});
        auto* card = Form().FlashCard();
        EXPECT_EQ(card->Mode, "Edit");
        EXPECT_EQ(card->SourcePath, Work(name).toStdString());
        EXPECT_EQ(card->BasePath, FileNames::RemoveExtension(Work(name)).toStdString());
        EXPECT_EQ(ReadAll(WorkProject()), QString::fromUtf8(SmallProject));
        EXPECT_EQ(DocumentActions(), EditBeforeSave);
        EXPECT_EQ(Title(), "Quillora 1.0 - " + FileNames::FileNamePart(FileNames::RemoveExtension(Work(name))));
        EXPECT_FALSE(Form().Movie.IsNull());

        Form().FileSave->trigger();
        EXPECT_TRUE(shell.SaveFilters.isEmpty());
        EXPECT_TRUE(shell.Errors.isEmpty()) << shell.Errors.join("\n").toStdString();
        EXPECT_TRUE(QFile::exists(FileNames::RemoveExtension(Work(name)) + ".swf"));
        EXPECT_EQ(ReadAll(Work(name)), QString::fromUtf8(SmallProject));
        EXPECT_EQ(QDir(Work("")).entryList({"*.qlv", "*.QLV"}, QDir::Files).size(), name[0] == 'p' ? 1 : 2)
            << "saved to its own file";
    }
}

TEST_F(MainFormTest, CommandLineOfAnotherKindOpensNothing)
{
    Form().HandleCommandLine({Work("notes.txt")});
    EXPECT_EQ(Form().FlashCard()->Mode, "");
    Form().HandleCommandLine({});
    EXPECT_EQ(Form().FlashCard()->Mode, "");
    EXPECT_EQ(DocumentActions(), AllOff);
}

TEST_F(MainFormTest, CommandLineProjectThatCannotBeReadIsReportedAndNothingIsOpen)
{
    Form();
    WriteAll(WorkProject(), SmallProject);
    WriteAll(Work("broken.qlv"), "<Movie><Width>");
    EXPECT_FALSE(RunGuarded(shell, nullptr, [&] { Form().HandleCommandLine({Work("broken.qlv")}); }));
    ASSERT_EQ(shell.Errors.size(), 1);
    EXPECT_TRUE(shell.Errors[0].startsWith("Cannot read the project " + Work("broken.qlv")))
        << shell.Errors[0].toStdString();
    EXPECT_EQ(ReadAll(WorkProject()), QString::fromUtf8(SmallProject)) << "the working file is untouched";
    EXPECT_EQ(DocumentActions(), AllOff);

    EXPECT_FALSE(RunGuarded(shell, nullptr, [&] { Form().HandleCommandLine({Work("missing.qlv")}); }));
    EXPECT_EQ(shell.Errors.size(), 2);
}

TEST_F(MainFormTest, ExitAsksAboutUnsavedWorkAndSavesOnOk)
{
    New();
    shell.SaveChangesAnswers = {IShell::TSaveAnswer::Save};
    shell.SaveAnswers = {Work("last.qlv")};
    Form().FileExit->trigger();
    EXPECT_EQ(shell.Confirms, QStringList({"Save changes?"}));
    EXPECT_TRUE(QFile::exists(Work("last.qlv")));
    EXPECT_TRUE(QFile::exists(Work("last.swf")));
}

TEST_F(MainFormTest, ASaveThatFailsIsReportedAndTheProgramGoesOn)
{
    New();
    shell.SaveAnswers = {home.path() + "/no/such/folder/clip.qlv"};
    Form().FileSave->trigger();
    ASSERT_EQ(shell.Errors.size(), 1);
    EXPECT_TRUE(shell.Errors[0].contains(home.path() + "/no/such/folder/clip.qlv")) << shell.Errors[0].toStdString();
    EXPECT_FALSE(Form().ViewPlay->isEnabled());
    EXPECT_EQ(Title(), "Quillora 1.0 - Untitled*");

    // Closing with the failed save still pending keeps the window open.
    shell.SaveChangesAnswers = {IShell::TSaveAnswer::Save};
    Form().show();
    EXPECT_FALSE(Form().close());
    EXPECT_EQ(shell.Errors.size(), 2);
}

TEST_F(MainFormTest, ExportToFlashWritesTheFormatOfTheNameAndLeavesTheProjectAlone)
{
    New();
    // A name whose extension names no movie format is refused, with the list.
    shell.SaveAnswers = {Work("clip.txt"), Work("clip.html")};
    Form().FileExportSWF->trigger();
    EXPECT_EQ(shell.SaveFilters, QStringList({"Flash file (*.swf);;MP4 video (*.mp4);;WebM "
                                              "video (*.webm);;GIF animation (*.gif)"}));
    Form().FileExportSWF->trigger();
    ASSERT_EQ(shell.Errors.size(), 2);
    EXPECT_TRUE(shell.Errors[0].contains("\"clip.txt\"")) << shell.Errors[0].toStdString();
    EXPECT_TRUE(shell.Errors[0].contains(".webm")) << shell.Errors[0].toStdString();
    EXPECT_TRUE(shell.Errors[1].contains("Export Guide")) << shell.Errors[1].toStdString();
    EXPECT_FALSE(QFile::exists(Work("clip.swf")));
    EXPECT_FALSE(QFile::exists(Work("clip.txt")));
    EXPECT_FALSE(QFile::exists(Work("clip.html")));
    shell.Errors.clear();

    shell.SaveAnswers = {Work("clip.swf")};
    Form().FileExportSWF->trigger();
    EXPECT_TRUE(QFile::exists(Work("clip.swf")));
    EXPECT_EQ(Title(), "Quillora 1.0 - Untitled*");
    EXPECT_FALSE(Form().ViewPlay->isEnabled());
    EXPECT_EQ(Form().FlashCard()->BasePath, vars.UntitledBase);

    shell.SaveAnswers = {QString()};
    Form().FileExportSWF->trigger();
    EXPECT_TRUE(shell.Errors.isEmpty());

    // A video's extension picks its format.
    shell.SaveAnswers = {Work("clip.gif")};
    Form().FileExportSWF->trigger();
    QFile gif(Work("clip.gif"));
    ASSERT_TRUE(gif.open(QIODevice::ReadOnly));
    EXPECT_EQ(gif.read(6), QByteArray("GIF89a"));
    EXPECT_TRUE(shell.Errors.isEmpty());
}

TEST_F(MainFormTest, ExportingAVideoAsksForZoomAndClicksAndKeepsTheChoiceAsAnEdit)
{
    New(true, 64, 48);
    AddDarkCyanCapture();
    // The SWF asks nothing.
    shell.SaveAnswers = {Work("clip.swf")};
    Form().FileExportSWF->trigger();
    EXPECT_TRUE(shell.VideoOptionsShown.empty());

    // A video shows the project's choice and stores the one confirmed.
    shell.SaveAnswers = {Work("zoom.mp4")};
    shell.VideoOptionsAnswers = {quillora::TFocusChoice{true, 3, true}};
    Form().FileExportSWF->trigger();
    ASSERT_EQ(shell.VideoOptionsShown.size(), 1u);
    EXPECT_EQ(shell.VideoOptionsShown[0], quillora::TFocusChoice{});
    EXPECT_TRUE(shell.Errors.isEmpty()) << shell.Errors.join(" ").toStdString();
    EXPECT_TRUE(QFile::exists(Work("zoom.mp4")));
    EXPECT_TRUE(ReadAll(WorkProject()).contains("<Zoom>True</Zoom>"));
    EXPECT_TRUE(ReadAll(WorkProject()).contains("<ZoomLevel>3</ZoomLevel>"));
    EXPECT_EQ(Form().EditUndo->text(), "&Undo Zoom and Clicks");
    EXPECT_TRUE(Form().FlashCard()->Modified) << "the choice is a change to save";

    // The next export starts from it; a cancel writes nothing and keeps it.
    shell.SaveAnswers = {Work("again.webm")};
    shell.VideoOptionsAnswers = {std::nullopt};
    Form().FileExportSWF->trigger();
    EXPECT_EQ(shell.VideoOptionsShown.back(), (quillora::TFocusChoice{true, 3, true}));
    EXPECT_FALSE(QFile::exists(Work("again.webm")));

    // Undo takes the choice back out of the project.
    Form().EditUndo->trigger();
    EXPECT_FALSE(ReadAll(WorkProject()).contains("<Zoom>"));
    shell.SaveAnswers = {Work("plain.gif")};
    Form().FileExportSWF->trigger();
    EXPECT_EQ(shell.VideoOptionsShown.back(), quillora::TFocusChoice{});
    EXPECT_TRUE(QFile::exists(Work("plain.gif")));
}

TEST_F(MainFormTest, CapturesMarkTheProjectModifiedAndSaveWritesThemIntoTheMovie)
{
    New(true, 64, 48);
    Form().FlashCard()->Modified = false;
    AddDarkCyanCapture();
    EXPECT_TRUE(Form().FlashCard()->Modified);
    EXPECT_TRUE(ReadAll(WorkProject()).contains("1234.jpg"));

    shell.SaveAnswers = {Work("one.qlv")};
    Form().FileSave->trigger();
    EXPECT_TRUE(shell.Errors.isEmpty()) << shell.Errors.join("\n").toStdString();
    EXPECT_TRUE(ReadAll(Work("one.qlv")).contains("1234.jpg"));
    EXPECT_GT(QFileInfo(Work("one.swf")).size(), 1000) << "the picture is in the movie";
    EXPECT_FALSE(Form().FlashCard()->Modified);
}

TEST_F(MainFormTest, PreviewPlaysInsideTheProgramWhenTheDesktopHasNoFlashProgram)
{
    New(true, 64, 48);
    AddDarkCyanCapture();

    shell.SaveAnswers = {Work("one.qlv")};
    Form().FileSave->trigger();
    shell.HasProgram = false;
    Form().ViewPlay->trigger();
    EXPECT_TRUE(shell.Opened.isEmpty());
    auto* player = Form().findChild<TPlayerForm*>();
    ASSERT_NE(player, nullptr);
    EXPECT_TRUE(player->isVisible());
    EXPECT_TRUE(player->IsPlaying()) << "Preview plays at once";
    // The stage holds the recorded picture.
    const QImage shown = player->View()->Image();
    ASSERT_FALSE(shown.isNull());
    int cyan = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            const QRgb p = shown.pixel(x, y);
            cyan += qRed(p) < 24 && std::abs(qGreen(p) - 128) < 24 && std::abs(qBlue(p) - 128) < 24;
        }
    EXPECT_GT(cyan, 64 * 48 / 2);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the wait cursor is gone";
    player->close();
    delete player;

    // A saved project that has gone since: a message, no player, no wait cursor.
    ASSERT_TRUE(QFile::remove(Work("one.qlv")));
    Form().ViewPlay->trigger();
    EXPECT_EQ(shell.Errors.size(), 1);
    EXPECT_EQ(Form().findChild<TPlayerForm*>(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    shell.Errors.clear();

    shell.HasProgram = true;
    Form().ViewPlay->trigger();
    ASSERT_EQ(shell.Opened.size(), 1);
    EXPECT_EQ(shell.Opened[0], QUrl::fromLocalFile(WorkMovie()));
}

TEST_F(MainFormTest, APictureTheExportCannotUseIsReportedAndTheSaveGoesOn)
{
    New(true, 64, 48);
    WriteAll(Screenshots() + "/999.jpg", "this is no JPEG");
    quillora::TFlashPic& pic = Form().RebindAndGetPictureTool();
    pic.Content = (Screenshots() + "/999.jpg").toStdString();
    pic.Width = 64;
    pic.Height = 48;
    pic.AppendToDocument();

    shell.SaveAnswers = {Work("bad.qlv")};
    Form().FileSave->trigger();
    EXPECT_EQ(shell.Errors, QStringList({"Sorry, can not use the picture!"}));
    EXPECT_TRUE(QFile::exists(Work("bad.swf")));
    EXPECT_EQ(Title(), "Quillora 1.0 - bad");
}

TEST_F(MainFormTest, AProjectTooLongForAnSwfIsSavedAndItsMovieRefusedWithOneMessage)
{
    // 2731 pictures of 24 frames: one more than an SWF movie holds.
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    ASSERT_TRUE(image.save(Work("shot.jpg"), "JPG"));
    QByteArray project = SmallProject;
    project.chop(QByteArray("</Movie>\n").size());
    for (int i = 0; i < 2731; ++i)
        project +=
            QStringLiteral(
                "<Obj><Demo></Demo><MouseX>8</MouseX><MouseY>8</MouseY><ObjName>Pic%1</ObjName>"
                "<StartTime>%2</StartTime><EndTime>%3</EndTime><Layer>2</Layer>"
                "<ObjTypeName>Pic</ObjTypeName><ObjType><ObjPic><Content>%4</Content>"
                "<PositionX>0</PositionX><PositionY>0</PositionY><Width>16</Width>"
                "<Height>16</Height><EffectName>None</EffectName></ObjPic></ObjType></Obj>")
                .arg(i + 1)
                .arg(24 * i)
                .arg(24 * (i + 1))
                .arg(Work("shot.jpg"))
                .toUtf8();
    project += "</Movie>\n";
    WriteAll(Work("long.qlv"), project);
    WriteAll(Work("long.swf"), "old movie");
    Form().HandleCommandLine({Work("long.qlv")});

    Form().FileSave->trigger();
    ASSERT_EQ(shell.Errors.size(), 1) << shell.Errors.join("\n").toStdString();
    const QString message = shell.Errors[0];
    EXPECT_TRUE(message.contains("at most 65535 frames")) << message.toStdString();
    EXPECT_TRUE(message.contains("MP4, WebM or GIF")) << message.toStdString();
    EXPECT_TRUE(message.contains("split the project")) << message.toStdString();
    EXPECT_EQ(ReadAll(Work("long.swf")), "old movie");
    // The project itself is saved, its picture copied beside it.
    const QString saved = ReadAll(Work("long.qlv"));
    EXPECT_EQ(saved.count("<Content>long_files/shot.jpg</Content>"), 2731);
    EXPECT_FALSE(saved.contains(Work("shot.jpg")));
    EXPECT_TRUE(QFile::exists(Work("long_files/shot.jpg")));

    // Export to Flash says the same once more and writes nothing.
    shell.SaveAnswers = {Work("other.swf")};
    Form().FileExportSWF->trigger();
    ASSERT_EQ(shell.Errors.size(), 2);
    EXPECT_EQ(shell.Errors[1], message);
    EXPECT_FALSE(QFile::exists(Work("other.swf")));
    EXPECT_EQ(QDir(Work("")).entryList(QDir::Files).size(), 3) << "nothing left beside";
}

TEST_F(MainFormTest, AMissingTemplateStopsNewBeforeAnythingChanges)
{
    QTemporaryDir empty;
    Form().DataFolder = empty.path();
    WriteAll(WorkProject(), SmallProject);
    New();
    ASSERT_EQ(shell.Errors.size(), 1);
    EXPECT_TRUE(shell.Errors[0].startsWith("Cannot read the project template " + empty.path() + "/blank.qlv"))
        << shell.Errors[0].toStdString();
    EXPECT_TRUE(recordings.empty());
    EXPECT_EQ(Form().FlashCard(), nullptr);
    EXPECT_EQ(DocumentActions(), AllOff);
    EXPECT_EQ(ReadAll(WorkProject()), QString::fromUtf8(SmallProject));
}

TEST_F(MainFormTest, HelpAndPreviewGoToTheShell)
{
    Form().HelpContents->trigger();
    Form().HelpHomePage->trigger();
    ASSERT_EQ(shell.Opened.size(), 2);
    EXPECT_EQ(shell.Opened[0], QUrl::fromLocalFile(Form().DataFolder + "/help.html"));
    EXPECT_TRUE(QFile::exists(Form().DataFolder + "/help.html"));
    EXPECT_EQ(shell.Opened[1].host(), "www.brindlecove.example");
}

TEST_F(MainFormTest, SecondaryWindowsAreMadeOnceAndKept)
{
    QTimer::singleShot(0, [] {
        if (auto* about = qobject_cast<TAboutForm*>(QApplication::activeModalWidget()))
            about->Button1->click();
    });
    Form().HelpAbout->trigger();
    TAboutForm* first = Form().AboutForm();
    ASSERT_NE(first, nullptr);
    QTimer::singleShot(0, [] {
        if (auto* about = qobject_cast<TAboutForm*>(QApplication::activeModalWidget()))
            about->Button1->click();
    });
    Form().HelpAbout->trigger();
    EXPECT_EQ(Form().AboutForm(), first);

    New(true, 700, 500, true);
    TNewForm* dialog = Form().NewForm();
    shell.SaveChangesAnswers = {IShell::TSaveAnswer::DontSave};
    bool kept = false;
    QTimer::singleShot(0, [&] {
        auto* again = qobject_cast<TNewForm*>(QApplication::activeModalWidget());
        kept = again == dialog && again->RBtnAuto->isChecked() && again->EditWidth->Value() == 700;
        again->Button2->click();
    });
    Form().FileNew->trigger();
    EXPECT_TRUE(kept);
}

TEST_F(MainFormTest, ScreenReadersCanNameEveryControlOfTheMainWindow)
{
    Form().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
    EXPECT_EQ(accessibility_check::Problems(&Form()).join('\n').toStdString(), "");
    New();
    AddDarkCyanCapture();
    QApplication::processEvents();
    EXPECT_EQ(accessibility_check::Problems(&Form()).join('\n').toStdString(), "")
        << "with a recording open";
}

TEST_F(MainFormTest, TheTitleMarksUnsavedChangesUntilSaveOrUndoBackToTheSave)
{
    New(true, 64, 48);
    EXPECT_EQ(Title(), "Quillora 1.0 - Untitled*") << "a new recording is unsaved";
    AddDarkCyanCapture();
    AddDarkCyanCapture();
    shell.SaveAnswers = {Work("clip.qlv")};
    Form().FileSave->trigger();
    EXPECT_EQ(Title(), "Quillora 1.0 - clip");

    Form().ShowMainWindow();
    Form().Storyboard->Strip()->setCurrentIndex(Form().Storyboard->Model()->index(0, 0));
    Form().EditDelete->trigger();
    EXPECT_EQ(Title(), "Quillora 1.0 - clip*");
    EXPECT_TRUE(Form().FlashCard()->Modified);
    Form().EditUndo->trigger();
    EXPECT_EQ(Title(), "Quillora 1.0 - clip") << "undone back to what was saved";
    EXPECT_FALSE(Form().FlashCard()->Modified);
    shell.SaveChangesAnswers = {};
    Form().FileClose->trigger();
    EXPECT_TRUE(shell.Confirms.isEmpty()) << "nothing to ask about";
    EXPECT_EQ(Title(), "Quillora 1.0");

    // Opened, edited and redone: changes to save, asked about on Close.
    Form().OpenFile(Work("clip.qlv"));
    EXPECT_EQ(Title(), "Quillora 1.0 - clip");
    Form().Storyboard->Strip()->setCurrentIndex(Form().Storyboard->Model()->index(0, 0));
    Form().EditDelete->trigger();
    Form().EditUndo->trigger();
    EXPECT_EQ(Title(), "Quillora 1.0 - clip");
    Form().EditRedo->trigger();
    EXPECT_EQ(Title(), "Quillora 1.0 - clip*");

    // A movie exported elsewhere saves nothing: the mark and the question stay.
    shell.SaveAnswers = {Work("elsewhere.swf")};
    Form().FileExportSWF->trigger();
    EXPECT_TRUE(QFile::exists(Work("elsewhere.swf")));
    EXPECT_EQ(Title(), "Quillora 1.0 - clip*");
    shell.SaveChangesAnswers = {IShell::TSaveAnswer::Cancel};
    Form().FileClose->trigger();
    EXPECT_EQ(shell.Confirms, QStringList({"Save changes?"}));
    Form().FileSave->trigger();
    EXPECT_EQ(Title(), "Quillora 1.0 - clip");
}

TEST_F(MainFormTest, ATitleMarkInTheProjectsNameIsShownAsItIs)
{
    New();
    shell.SaveAnswers = {Work("odd[*].qlv")};
    Form().FileSave->trigger();
    EXPECT_EQ(Title(), "Quillora 1.0 - odd[*]");
}

TEST_F(MainFormTest, OpenRecentListsTheLastProjectsOpenedOrSavedNewestFirst)
{
    for (int i = 1; i <= 9; ++i)
        WriteAll(Work(QString("p%1.qlv").arg(i)), SmallProject);
    WriteAll(Work("a&b.qlv"), SmallProject);
    Form().HandleCommandLine({Work("a&b.qlv")});
    for (int i = 1; i <= 9; ++i) {
        shell.OpenAnswers = {Work(QString("p%1.qlv").arg(i))};
        Form().FileOpen->trigger();
    }
    shell.OpenAnswers = {Work("p3.qlv")};
    Form().FileOpen->trigger();
    // Saved under a new name: that name is the newest.
    shell.SaveAnswers = {Work("saved.qlv")};
    Form().FileSaveAs->trigger();
    ASSERT_TRUE(shell.Errors.isEmpty()) << shell.Errors.join("\n").toStdString();
    const QStringList expected = {Work("saved.qlv"), Work("p3.qlv"), Work("p9.qlv"), Work("p8.qlv"),
                                  Work("p7.qlv"),    Work("p6.qlv"), Work("p5.qlv"), Work("p4.qlv")};
    EXPECT_EQ(Form().RecentProjects(), expected);

    // Kept across runs; a file gone since is shown, disabled.
    form.reset();
    ASSERT_TRUE(QFile::remove(Work("p9.qlv")));
    QMenu* menu = Form().FileOpenRecent;
    emit menu->aboutToShow();
    QStringList texts;
    for (QAction* a : menu->actions())
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text() + (a->isEnabled() ? "" : " (off)"));
    const QString folder = "  (~/work)";
    EXPECT_EQ(texts, QStringList({"&1 saved.qlv" + folder, "&2 p3.qlv" + folder, "&3 p9.qlv" + folder + " (off)",
                                  "&4 p8.qlv" + folder, "&5 p7.qlv" + folder, "&6 p6.qlv" + folder,
                                  "&7 p5.qlv" + folder, "&8 p4.qlv" + folder, "-", "&Clear List"}));
    EXPECT_EQ(menu->actions()[0]->statusTip(), Work("saved.qlv"));

    // Each entry is a named menu item a screen reader reads.
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(menu);
    ASSERT_NE(iface, nullptr);
    int named = 0;
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface* item = iface->child(i);
        if (item->role() == QAccessible::Separator)
            continue;
        EXPECT_EQ(item->role(), QAccessible::MenuItem);
        EXPECT_FALSE(item->text(QAccessible::Name).trimmed().isEmpty());
        ++named;
    }
    EXPECT_EQ(named, 9);

    // From the keyboard: Alt+F, R, 2 opens the second entry.
    Form().show();
    QApplication::setActiveWindow(&Form());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Form()));
    QTest::keyClick(&Form(), Qt::Key_F, Qt::AltModifier);
    QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_R);
    QTRY_COMPARE(QApplication::activePopupWidget(), static_cast<QWidget*>(menu));
    QTest::keyClick(menu, Qt::Key_2);
    QTRY_COMPARE(Form().FlashCard()->BasePath, Work("p3").toStdString());
    EXPECT_EQ(Title(), "Quillora 1.0 - p3");

    Form().FileClearRecent->trigger();
    EXPECT_TRUE(Form().RecentProjects().isEmpty());
    emit menu->aboutToShow();
    ASSERT_EQ(menu->actions().size(), 3);
    EXPECT_FALSE(menu->actions()[0]->isEnabled());
    EXPECT_FALSE(Form().FileClearRecent->isEnabled());
    form.reset();
    EXPECT_TRUE(Form().RecentProjects().isEmpty()) << "the cleared list stays cleared";
}

TEST_F(MainFormTest, TheWindowComesBackWhereItWasLeft)
{
    Form().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
    Form().resize(700, 500);
    Form().move(20, 30);
    QApplication::processEvents();
    const QRect left = Form().geometry();
    Form().close();
    form.reset();
    Form().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
    EXPECT_EQ(Form().geometry(), left);
}

TEST_F(MainFormTest, FileDialogsStartInTheLastFolderUsedElseTheDocumentsFolder)
{
    New();
    shell.SaveAnswers = {QString()};
    Form().FileSave->trigger();
    ASSERT_EQ(shell.StartFolders.size(), 1);
    EXPECT_EQ(shell.StartFolders[0], home.path() + "/Documents/") << "a cancel changes nothing";
    QDir(home.path()).mkpath("work/movies");
    shell.SaveAnswers = {Work("movies/clip.gif"), Work("clip.qlv")};
    Form().FileExportSWF->trigger();
    Form().FileSave->trigger();
    shell.OpenAnswers = {QString()};
    Form().FileOpen->trigger();
    EXPECT_EQ(shell.StartFolders.mid(1), QStringList({home.path() + "/Documents/",
                                                      Work("movies/"), Work("")}));
    // The last folder is what close writes; a folder gone since is not used.
    Form().close();
    QSettings settings(QStringLiteral("Brindlecove"), QStringLiteral("Quillora"));
    EXPECT_EQ(settings.value("Common/LastOpenDir").toString(), Work(""));
    form.reset();
    settings.setValue("Common/LastOpenDir", home.path() + "/gone/");
    settings.sync();
    shell.OpenAnswers = {QString()};
    Form().FileOpen->trigger();
    EXPECT_EQ(shell.StartFolders.last(), home.path() + "/Documents/");
}

// What a second start hands over: the file opens as Open opens it, once no
// dialog of ours is open, and the window comes to the front.
TEST_F(MainFormTest, ASecondStartsFileOpensOnceNoDialogIsOpen)
{
    New();
    WriteAll(Work("handed.qlv"), SmallProject);
    WriteAll(Work("then.qlv"), SmallProject);
    QDialog busy(&Form());
    busy.setModal(true);
    busy.show();
    shell.SaveChangesAnswers = {IShell::TSaveAnswer::DontSave};
    EXPECT_EQ(Form().RequestOpen(Work("handed.qlv")), "");
    EXPECT_EQ(Form().RequestOpen(Work("then.qlv")), "");
    QTest::qWait(400);
    EXPECT_TRUE(shell.Confirms.isEmpty()) << "nothing asked while a dialog is open";
    EXPECT_EQ(Form().FlashCard()->BasePath, vars.UntitledBase);
    busy.close();
    QTRY_COMPARE(Form().FlashCard()->BasePath, Work("then").toStdString());
    EXPECT_EQ(shell.Confirms, QStringList({"Save changes?"}));
    EXPECT_EQ(Form().RecentProjects().mid(0, 2), QStringList({Work("then.qlv"), Work("handed.qlv")}));
    EXPECT_TRUE(Form().isVisible());
    EXPECT_EQ(Title(), "Quillora 1.0 - then");

    // A file that cannot be opened is reported in this window.
    EXPECT_EQ(Form().RequestOpen(Work("nothing.qlv")), "");
    QTRY_COMPARE(shell.Errors.size(), 1);
    EXPECT_TRUE(shell.Errors[0].contains(Work("nothing.qlv")));
}

// The help page names menu entries as "Menu > Entry": each must be there,
// as a user looking for it would find it.
TEST_F(MainFormTest, EveryMenuEntryTheHelpNamesIsInTheMenus)
{
    QStringList entries;
    for (QAction* menu : Form().ActionMainMenuBar1->actions())
        for (QAction* a : menu->menu()->actions())
            if (!a->isSeparator())
                entries << QString(menu->text() + " > " + a->text()).remove('&');
    const QString help = ReadAll(Form().DataFolder + "/help.html");
    ASSERT_FALSE(help.isEmpty());
    const QRegularExpression named(R"(<b>(\w+) &gt; ([^<]+)</b>)");
    int found = 0;
    for (auto m = named.globalMatch(help); m.hasNext(); ++found) {
        const QRegularExpressionMatch match = m.next();
        const QString entry = match.captured(1) + " > " + match.captured(2).replace("&amp;", "&");
        EXPECT_TRUE(entries.contains(entry)) << entry.toStdString() << " is not in the menus: "
                                             << entries.join(", ").toStdString();
    }
    EXPECT_GE(found, 8);
}

TEST(ProjectStateTest, TheHashSeesWhatAProjectSaysNotHowItIsWritten)
{
    QTemporaryDir dir;
    auto hash = [&](const QByteArray& text) {
        const QString path = dir.filePath("p.qlv");
        QFile::remove(path);
        WriteAll(path, text);
        return ProjectContentHash(path);
    };
    const QByteArray recorded = hash("<?xml version=\"1.0\"?>\n<Movie><Obj><Demo></Demo><X>1</X></Obj></Movie>\n");
    ASSERT_FALSE(recorded.isEmpty());
    EXPECT_EQ(hash("<Movie>\n  <Obj><Demo/><X>1</X></Obj>\n</Movie>"), recorded);
    EXPECT_NE(hash("<Movie><Obj><Demo/><X>2</X></Obj></Movie>"), recorded);
    EXPECT_NE(hash("<Movie><Obj><Demo/></Obj><Obj><X>1</X></Obj></Movie>"), recorded);
    EXPECT_NE(hash("<Movie><Obj><Demo a=\"1\"/><X>1</X></Obj></Movie>"), recorded);
    EXPECT_NE(hash("<Movie><Obj><Demo/><X> 1</X></Obj></Movie>"), recorded) << "text counts whole";
    EXPECT_TRUE(hash("<Movie><Obj>").isEmpty()) << "a broken file is never the saved one";
    EXPECT_TRUE(ProjectContentHash(dir.filePath("missing.qlv")).isEmpty());
}

TEST(WindowServiceTest, TakesOnlyWholePathsAndAnswersForTheWindow)
{
    platform::TWindowService service;
    QStringList asked;
    EXPECT_EQ(service.Open("/a/clip.qlv"), "Quillora cannot open files yet.");
    service.OnOpen = [&](const QString& path) {
        asked << path;
        return QString();
    };
    service.OnRaise = [] { return QStringLiteral("recording"); };
    EXPECT_EQ(service.Open("/a/clip.qlv"), "");
    EXPECT_TRUE(service.Open("clip.qlv").contains("whole path")) << "read against our folder otherwise";
    EXPECT_TRUE(service.Open("").contains("whole path"));
    EXPECT_EQ(asked, QStringList({"/a/clip.qlv"}));
    EXPECT_EQ(service.Raise(), "recording");
}

TEST(FileNamesTest, ExtensionsAreTakenFromTheFileNameOnly)
{
    EXPECT_EQ(FileNames::RemoveExtension("/a/clip.qlv"), "/a/clip");
    EXPECT_EQ(FileNames::RemoveExtension("/a/my.project.qlv"), "/a/my.project");
    EXPECT_EQ(FileNames::RemoveExtension("/a.b/clip"), "/a.b/clip");
    EXPECT_EQ(FileNames::Extension("/a/clip.QLV"), ".QLV");
    EXPECT_EQ(FileNames::Extension("/a.b/clip"), "");
    EXPECT_EQ(FileNames::ChangeExtension("/a/clip.txt", ".swf"), "/a/clip.swf");
    EXPECT_EQ(FileNames::ChangeExtension("/a/clip", ".swf"), "/a/clip.swf");
    EXPECT_EQ(FileNames::FileNamePart("/a/b/Untitled"), "Untitled");
}

} // namespace
