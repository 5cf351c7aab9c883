// The storyboard in the main window, driven from the keyboard: the tiles and
// their names, delete, undo, redo, move, length, caption, cursor, and the
// question before closing an edited project.
#include "../ui/TestSupport.h"

#include "app/MainForm.h"
#include "ui/EditDialogs.h"
#include "ui/Storyboard.h"

#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class StoryboardTest : public ::testing::Test {
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
        form = std::make_unique<TMainForm>(shell, vars);
        form->StartRecording = [this](int w, int h, bool) { form->WriteRecordingHeader(w, h); };
    }
    void TearDown() override { form.reset(); }

    QString Work(const QString& name) const { return home.path() + "/work/" + name; }
    QString WorkProject() const
    {
        return QString::fromStdString(vars.ScreenshotsDir) + "/Untitled.qlv";
    }

    // Three pictures of 24 frames (the second one's file missing when asked)
    // opened from the command line, the window shown and the strip focused.
    void Open(bool missingSecond = false, bool zoom = false)
    {
        QByteArray objs;
        const char* colours[] = {"red", "green", "blue"};
        for (int i = 0; i < 3; ++i) {
            const QString jpg = Work(QStringLiteral("%1.jpg").arg(i + 1));
            QImage img(320, 240, QImage::Format_RGB32);
            img.fill(QColor(colours[i]));
            if (!(missingSecond && i == 1)) {
                ASSERT_TRUE(img.save(jpg, "JPEG"));
            }
            objs +=
                QStringLiteral("<Obj><Demo></Demo><MouseX>%1</MouseX><MouseY>%2</MouseY>"
                               "<ObjName>Pic%3</ObjName><StartTime>%4</StartTime>"
                               "<EndTime>%5</EndTime><Layer>2</Layer><ObjTypeName>Pic</ObjTypeName>"
                               "<ObjType><ObjPic><Content>%6</Content><PositionX>0</PositionX>"
                               "<PositionY>0</PositionY><Width>320</Width><Height>240</Height>"
                               "<EffectName>None</EffectName></ObjPic></ObjType></Obj>")
                    .arg(10 * (i + 1))
                    .arg(20 * (i + 1))
                    .arg(i + 1)
                    .arg(24 * i)
                    .arg(24 * i + 24)
                    .arg(jpg)
                    .toUtf8();
        }
        QFile f(Work("demo.qlv"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Movie><BgColor>16777215</BgColor>"
                "<Width>320</Width><Height>240</Height><Rate>15</Rate><TotalFrames>0</TotalFrames>"
                "<Loop>False</Loop>" + QByteArray(zoom ? "<Zoom>True</Zoom>" : "") +
                objs + "</Movie>");
        f.close();
        form->HandleCommandLine({Work("demo.qlv")});
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        Strip()->setFocus();
        Board()->Thumbnails()->WaitForDone();
    }

    TStoryboard* Board() { return form->Storyboard; }
    QListView* Strip() { return Board()->Strip(); }
    // The tiles' accessible names, as the model gives them to the view.
    QStringList Names()
    {
        QStringList names;
        for (int r = 0; r < Strip()->model()->rowCount(); ++r)
            names << Strip()->model()->index(r, 0).data(Qt::AccessibleTextRole).toString();
        return names;
    }
    // The same as a screen reader reads them, before any change.
    QStringList ReaderNames()
    {
        QStringList names;
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(Strip());
        EXPECT_EQ(list->role(), QAccessible::List);
        for (int i = 0; i < list->childCount(); ++i)
            if (QAccessibleInterface* c = list->child(i); c && c->role() == QAccessible::ListItem)
                names << c->text(QAccessible::Name);
        return names;
    }
    QString Current() { return Strip()->currentIndex().data(Qt::AccessibleTextRole).toString(); }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), mods);
    }
    QString Saved()
    {
        QFile f(WorkProject());
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll());
    }

    QTemporaryDir home;
    quillora::TGlobalVars vars;
    TFakeShell shell;
    std::unique_ptr<TMainForm> form;
};

TEST_F(StoryboardTest, NoProjectLeavesTheAreaEmptyAndTheEditMenuOff)
{
    form->show();
    EXPECT_FALSE(Strip()->isVisible());
    EXPECT_FALSE(Board()->Large()->isVisible());
    for (QAction* a :
         {form->EditUndo, form->EditRedo, form->EditDelete, form->EditMoveEarlier,
          form->EditMoveLater, form->EditSetLength, form->EditCaption, form->EditAddSound,
          form->EditZoomPicture})
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
}

TEST_F(StoryboardTest, TilesAreNamedAndAMissingPictureSaysWhy)
{
    Open(true);
    EXPECT_TRUE(Strip()->isVisible());
    const QStringList names = Names();
    EXPECT_EQ(ReaderNames(), names);
    ASSERT_EQ(names.size(), 3);
    EXPECT_EQ(names[0], "Pic1, 1.6 s at 0 s");
    EXPECT_TRUE(names[1].startsWith("Pic2, 1.6 s at 1.6 s, Cannot show the picture: "))
        << names[1].toStdString();
    EXPECT_TRUE(names[1].contains("No such file")) << names[1].toStdString();
    EXPECT_EQ(names[2], "Pic3, 1.6 s at 3.2 s");
    EXPECT_FALSE(Strip()->model()->index(0, 0).data(Qt::DecorationRole).isNull());

    // A missing one can still go.
    Key(Qt::Key_Right);
    EXPECT_EQ(Current().left(4), "Pic2");
    Key(Qt::Key_Delete);
    EXPECT_EQ(Names(), (QStringList{"Pic1, 1.6 s at 0 s", "Pic3, 1.6 s at 1.6 s"}));
}

TEST_F(StoryboardTest, DeleteUndoRedoAndMoveFromTheKeyboard)
{
    Open();
    const QString before = Saved();
    Key(Qt::Key_Right);
    Key(Qt::Key_Delete);
    EXPECT_EQ(Names(), (QStringList{"Pic1, 1.6 s at 0 s", "Pic3, 1.6 s at 1.6 s"}));
    EXPECT_EQ(form->EditUndo->text(), "&Undo Delete Pic2");
    EXPECT_TRUE(form->FlashCard()->Modified);
    EXPECT_FALSE(Saved().contains("Pic2"));

    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Names().size(), 3);
    EXPECT_EQ(form->EditRedo->text(), "&Redo Delete Pic2");
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Names().size(), 2);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Names()[2], "Pic3, 1.6 s at 3.2 s");

    // Pic3 before Pic1: two steps earlier, the selection going along.
    Key(Qt::Key_End);
    EXPECT_EQ(Current().left(4), "Pic3");
    EXPECT_FALSE(form->EditMoveLater->isEnabled());
    Key(Qt::Key_Left, Qt::ControlModifier);
    Key(Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(Names(),
              (QStringList{"Pic3, 1.6 s at 0 s", "Pic1, 1.6 s at 1.6 s", "Pic2, 1.6 s at 3.2 s"}));
    EXPECT_EQ(Current().left(4), "Pic3");
    EXPECT_FALSE(form->EditMoveEarlier->isEnabled());
    EXPECT_EQ(form->EditUndo->text(), "&Undo Move Pic3");
}

TEST_F(StoryboardTest, APictureIsKeptOutOfTheZoomWithACheckItemAndItsKey)
{
    Open();
    const QString before = Saved();
    EXPECT_TRUE(form->EditZoomPicture->isCheckable());
    EXPECT_EQ(form->EditZoomPicture->shortcut().toString(), "Ctrl+M");
    Key(Qt::Key_Right);
    ASSERT_EQ(Current().left(4), "Pic2");
    EXPECT_TRUE(form->EditZoomPicture->isEnabled());
    EXPECT_TRUE(form->EditZoomPicture->isChecked());
    Key(Qt::Key_M, Qt::ControlModifier);
    EXPECT_FALSE(form->EditZoomPicture->isChecked());
    EXPECT_TRUE(Saved().contains("<ObjName>Pic2</ObjName>"));
    EXPECT_EQ(Saved().count("<Zoom>False</Zoom>"), 1);
    EXPECT_EQ(form->EditUndo->text(), "&Undo No Zoom on Pic2");
    EXPECT_EQ(Current().left(4), "Pic2") << "the selection stays";
    // Another picture shows its own state.
    Key(Qt::Key_Left);
    EXPECT_TRUE(form->EditZoomPicture->isChecked());
    Key(Qt::Key_Right);
    EXPECT_FALSE(form->EditZoomPicture->isChecked());
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(form->EditZoomPicture->isChecked());
    // As it was, an empty element spelt either way.
    EXPECT_EQ(Saved().replace("<Demo/>", "<Demo></Demo>"), before);
}

// Where the project's videos zoom, the large picture frames what the video
// shows of it; a picture kept out of the zoom, or a project whose videos do
// not zoom, shows no frame.
TEST_F(StoryboardTest, TheLargeViewFramesWhatTheZoomingVideoShows)
{
    Open(false, true);
    const QString saved = Saved();
    TPictureView* large = Board()->Large();
    Key(Qt::Key_Right);
    ASSERT_EQ(Current().left(4), "Pic2");
    ASSERT_TRUE(large->ZoomView().has_value());
    const QRectF view = *large->ZoomView();
    // Twice as close, inside the stage, around the recorded cursor.
    EXPECT_NEAR(view.width(), 160, 1);
    EXPECT_NEAR(view.height(), 120, 1);
    EXPECT_TRUE(QRectF(0, 0, 320, 240).contains(view));
    EXPECT_TRUE(view.contains(QPointF(20, 40)));
    // Working out the views changes nothing of the project.
    EXPECT_FALSE(form->isWindowModified());
    EXPECT_EQ(Saved(), saved);
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(large);
    EXPECT_TRUE(reader->text(QAccessible::Description).startsWith("The video zooms to 160 by 120"))
        << reader->text(QAccessible::Description).toStdString();
    Key(Qt::Key_M, Qt::ControlModifier);
    EXPECT_FALSE(large->ZoomView().has_value());
    EXPECT_TRUE(reader->text(QAccessible::Description).isEmpty());
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(large->ZoomView().has_value());

    form.reset();
    form = std::make_unique<TMainForm>(shell, vars);
    Open();
    EXPECT_FALSE(Board()->Large()->ZoomView().has_value());
}

TEST_F(StoryboardTest, LengthCaptionAndCursorThroughTheirDialogsAndKeys)
{
    Open();
    // Set Length: 3 seconds is 45 frames.
    form->ExecEditDialog = [](QDialog& d) {
        auto& l = dynamic_cast<TLengthDialog&>(d);
        EXPECT_EQ(l.Frames(), 24);
        l.SecondsEdit->setValue(3.0);
        return int(QDialog::Accepted);
    };
    form->EditSetLength->trigger();
    EXPECT_EQ(Names()[0], "Pic1, 3 s at 0 s");
    EXPECT_EQ(Names()[1], "Pic2, 1.6 s at 3 s");

    // A caption over the second picture, in red.
    Key(Qt::Key_Right);
    form->ExecEditDialog = [](QDialog& d) {
        auto& c = dynamic_cast<TCaptionDialog&>(d);
        EXPECT_EQ(c.windowTitle(), "Add Caption");
        c.TextEdit->setText("Click here");
        return int(QDialog::Accepted);
    };
    Key(Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(Names()[2], "Text1 \"Click here\", 1.6 s at 3 s");
    EXPECT_EQ(Current(), Names()[2]);
    EXPECT_EQ(form->EditCaption->text(), "Edit &Caption...");
    EXPECT_TRUE(Saved().contains("<Content>Click here</Content>"));

    // Cancelled dialogs change nothing.
    form->ExecEditDialog = [](QDialog&) { return int(QDialog::Rejected); };
    const QString now = Saved();
    form->EditCaption->trigger();
    form->EditSetLength->trigger();
    EXPECT_EQ(Saved(), now);

    // The cursor of Pic2 (recorded at 20, 40), three right and one down.
    Key(Qt::Key_Left);
    Board()->Large()->setFocus();
    Key(Qt::Key_Right);
    Key(Qt::Key_Right);
    Key(Qt::Key_Right);
    Key(Qt::Key_Down);
    EXPECT_EQ(Board()->Large()->accessibleName(), "Picture Pic2, cursor at 23, 41");
    Key(Qt::Key_Return);
    EXPECT_TRUE(Saved().contains("<MouseX>23</MouseX><MouseY>41</MouseY><ObjName>Pic2</ObjName>"));
    EXPECT_EQ(form->EditUndo->text(), "&Undo Set Cursor of Pic2");

    // An edited project asks before it is closed.
    shell.SaveChangesAnswers = {IShell::TSaveAnswer::DontSave};
    form->FileClose->trigger();
    EXPECT_EQ(shell.Confirms, QStringList{"Save changes?"});
    EXPECT_FALSE(Strip()->isVisible());
}

// A guide written from the keyboard in one pass: select a picture, Enter
// or F2, type its step's text, Right to the next one.
TEST_F(StoryboardTest, EnterOrF2OnATileOpensItsStepText)
{
    Open();
    QAccessibleInterface* strip = QAccessible::queryAccessibleInterface(Strip());
    EXPECT_EQ(strip->role(), QAccessible::List);
    EXPECT_EQ(strip->text(QAccessible::Name), "Storyboard");
    QStringList titles;
    QString typed;
    form->ExecEditDialog = [&](QDialog& d) {
        auto& c = dynamic_cast<TCaptionDialog&>(d);
        titles << c.windowTitle();
        EXPECT_EQ(QAccessible::queryAccessibleInterface(c.TextEdit)->role(),
                  QAccessible::EditableText);
        EXPECT_FALSE(QAccessible::queryAccessibleInterface(c.TextEdit)->text(QAccessible::Name).isEmpty());
        c.TextEdit->setText(typed);
        return int(QDialog::Accepted);
    };
    Key(Qt::Key_Right);
    ASSERT_EQ(Current(), "Pic2, 1.6 s at 1.6 s");
    typed = "Open the File menu";
    Key(Qt::Key_Return);
    EXPECT_EQ(titles, QStringList{"Add Caption"});
    EXPECT_TRUE(Saved().contains("<Content>Open the File menu</Content>"));
    EXPECT_EQ(Current(), "Pic2, 1.6 s at 1.6 s") << "the picture stays selected";

    // Its caption now: F2 edits it rather than adding a second one.
    typed = "Open the Edit menu";
    Key(Qt::Key_F2);
    EXPECT_EQ(titles.last(), "Edit Caption");
    EXPECT_TRUE(Saved().contains("<Content>Open the Edit menu</Content>"));
    EXPECT_FALSE(Saved().contains("Open the File menu"));
    EXPECT_EQ(Saved().count("<ObjTypeName>Text</ObjTypeName>"), 1);
    EXPECT_EQ(Current(), "Pic2, 1.6 s at 1.6 s");

    // Enter on the caption's own tile edits that caption; the keypad's too.
    Key(Qt::Key_Right);
    ASSERT_TRUE(Current().startsWith("Text1")) << Current().toStdString();
    typed = "Choose Edit";
    Key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(titles.last(), "Edit Caption");
    EXPECT_TRUE(Saved().contains("<Content>Choose Edit</Content>"));

    // The third picture gets its own; a cancelled dialog changes nothing.
    Key(Qt::Key_Right);
    ASSERT_EQ(Current(), "Pic3, 1.6 s at 3.2 s");
    const QString before = Saved();
    form->ExecEditDialog = [](QDialog&) { return int(QDialog::Rejected); };
    Key(Qt::Key_F2);
    EXPECT_EQ(Saved(), before);
    EXPECT_EQ(titles.size(), 3);
}

TEST_F(StoryboardTest, ExportGuideWritesTheStepsAndSaysWhatIsMissing)
{
    Open(true);
    // The open already named the picture that is gone.
    ASSERT_EQ(shell.Errors.size(), 1);
    EXPECT_TRUE(shell.Errors[0].contains(Work("2.jpg"))) << shell.Errors[0].toStdString();
    shell.Errors.clear();
    QAction* action = form->FileExportGuide;
    ASSERT_TRUE(action->isEnabled());
    QMenu* file = form->ActionMainMenuBar1->actions()[0]->menu();
    QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(file);
    bool named = false;
    for (int i = 0; i < menu->childCount(); ++i)
        if (QAccessibleInterface* c = menu->child(i); c && c->role() == QAccessible::MenuItem &&
                                                      c->text(QAccessible::Name) == "Export Guide...")
            named = true;
    EXPECT_TRUE(named) << "the menu entry reads as \"Export Guide...\"";

    // A caption on the first picture, written from the keyboard.
    form->ExecEditDialog = [](QDialog& d) {
        dynamic_cast<TCaptionDialog&>(d).TextEdit->setText("Press <Start> & wait");
        return int(QDialog::Accepted);
    };
    Key(Qt::Key_Return);

    shell.SaveAnswers = {Work("steps.md")};
    action->trigger();
    EXPECT_EQ(shell.SaveFilters.last(), "Web page (*.html);;Markdown (*.md);;PDF document (*.pdf)");
    EXPECT_TRUE(shell.Errors.isEmpty()) << shell.Errors.join("\n").toStdString();
    QFile md(Work("steps.md"));
    ASSERT_TRUE(md.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(md.readAll());
    EXPECT_TRUE(text.startsWith("# demo\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("Press \\<Start\\> \\& wait")) << text.toStdString();
    EXPECT_TRUE(QFile::exists(Work("steps_files/step-003.jpg")));
    // The second picture's file is missing: the guide is written and says so.
    ASSERT_EQ(shell.Infos.size(), 1);
    EXPECT_TRUE(shell.Infos[0].contains("Step 2: " + Work("2.jpg"))) << shell.Infos[0].toStdString();

    // A name of no guide format: a message with the formats, no file.
    shell.SaveAnswers = {Work("steps.txt")};
    action->trigger();
    ASSERT_EQ(shell.Errors.size(), 1);
    EXPECT_TRUE(shell.Errors[0].contains(".pdf")) << shell.Errors[0].toStdString();
    EXPECT_FALSE(QFile::exists(Work("steps.txt")));

    // No project, no guide.
    shell.SaveChangesAnswers = {IShell::TSaveAnswer::DontSave};
    form->FileClose->trigger();
    EXPECT_FALSE(action->isEnabled());
}

TEST_F(StoryboardTest, MouseDropsPicturesSetsTheCursorAndDragsCaptions)
{
    Open();
    // A tile dropped before the first one, as the strip does it.
    TStoryboardModel* model = Board()->Model();
    std::unique_ptr<QMimeData> data(model->mimeData({model->index(2)}));
    model->dropMimeData(data.get(), Qt::MoveAction, 0, 0, {});
    EXPECT_EQ(Names()[0], "Pic3, 1.6 s at 0 s");
    EXPECT_EQ(form->EditUndo->text(), "&Undo Move Pic3");

    // A click on the large picture puts the cursor there.
    Strip()->setCurrentIndex(model->index(0));
    TPictureView* large = Board()->Large();
    QTest::mouseClick(large, Qt::LeftButton, {}, large->ToWidget(QPointF(100.5, 60.5)).toPoint());
    EXPECT_TRUE(Saved().contains("<MouseX>100</MouseX><MouseY>60</MouseY><ObjName>Pic3</ObjName>"))
        << Saved().toStdString();

    // A caption dragged 40 picture pixels to the right.
    form->ExecEditDialog = [](QDialog& d) {
        dynamic_cast<TCaptionDialog&>(d).TextEdit->setText("Hello");
        return int(QDialog::Accepted);
    };
    form->EditCaption->trigger();
    Strip()->setCurrentIndex(model->index(0));
    const QPoint from = large->ToWidget(QPointF(60, 50)).toPoint();
    ASSERT_GE(large->CaptionAt(from), 0);
    const QPoint to = large->ToWidget(QPointF(100, 50)).toPoint();
    QTest::mousePress(large, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, to, large->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(large, &move);
    QTest::mouseRelease(large, Qt::LeftButton, {}, to);
    EXPECT_EQ(form->EditUndo->text(), "&Undo Move Caption");
    EXPECT_TRUE(Saved().contains("<PositionX>9")) << Saved().toStdString();
}

TEST_F(StoryboardTest, ARefusedEditSaysWhyAndChangesNothing)
{
    Open();
    const QString before = Saved();
    shell.OpenAnswers = {Work("1.jpg")}; // not a sound
    form->EditAddSound->trigger();
    EXPECT_EQ(shell.Errors, QStringList{"Please select a sound file with 16Bits mono format!"});
    EXPECT_EQ(Saved(), before);
    EXPECT_FALSE(form->EditUndo->isEnabled());
}

} // namespace
