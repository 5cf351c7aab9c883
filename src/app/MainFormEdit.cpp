// The main window's Edit menu: undo and redo, and the edits of the open
// project through its storyboard.
#include "app/ErrorHandler.h"
#include "app/MainForm.h"
#include "ui/EditDialogs.h"
#include "ui/Shell.h"
#include "ui/Storyboard.h"

#include <QAction>
#include <QDialog>
#include <QListView>

namespace {
const char* const SoundFilter = "Sound file (*.wav)";
}

void TMainForm::BuildEditActions()
{
    EditUndo = MakeAction(QStringLiteral("EditUndo"), QStringLiteral("&Undo"),
                          QStringLiteral("Undo"), &TMainForm::EditUndoExecute);
    EditUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    EditRedo = MakeAction(QStringLiteral("EditRedo"), QStringLiteral("&Redo"),
                          QStringLiteral("Redo"), &TMainForm::EditRedoExecute);
    EditRedo->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    EditDelete = MakeAction(QStringLiteral("EditDelete"), QStringLiteral("&Delete"),
                            QStringLiteral("Delete"), &TMainForm::EditDeleteExecute);
    EditDelete->setShortcut(QKeySequence(Qt::Key_Delete));
    EditMoveEarlier =
        MakeAction(QStringLiteral("EditMoveEarlier"), QStringLiteral("Move &Earlier"),
                   QStringLiteral("Move Earlier"), &TMainForm::EditMoveEarlierExecute);
    EditMoveEarlier->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Left));
    EditMoveLater = MakeAction(QStringLiteral("EditMoveLater"), QStringLiteral("Move &Later"),
                               QStringLiteral("Move Later"), &TMainForm::EditMoveLaterExecute);
    EditMoveLater->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Right));
    EditSetLength = MakeAction(QStringLiteral("EditSetLength"), QStringLiteral("Set &Length..."),
                               QStringLiteral("Set Length"), &TMainForm::EditSetLengthExecute);
    EditSetLength->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    EditCaption = MakeAction(QStringLiteral("EditCaption"), QStringLiteral("Add &Caption..."),
                             QStringLiteral("Add Caption"), &TMainForm::EditCaptionExecute);
    EditCaption->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    EditAddSound = MakeAction(QStringLiteral("EditAddSound"), QStringLiteral("Add S&ound..."),
                              QStringLiteral("Add Sound"), &TMainForm::EditAddSoundExecute);
    EditZoomPicture =
        MakeAction(QStringLiteral("EditZoomPicture"), QStringLiteral("&Zoom on This Picture"),
                   QStringLiteral("Zoom on This Picture"), &TMainForm::EditZoomPictureExecute);
    EditZoomPicture->setCheckable(true);
    EditZoomPicture->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    ExecEditDialog = [](QDialog& d) { return d.exec(); };
}

quillora::TProjectEditor* TMainForm::Editor() const
{
    if (!FFlashCard || Movie.IsNull() || FFlashCard->Mode != "Edit")
        return nullptr;
    return FFlashCard->Editor.get();
}

void TMainForm::ShowProject()
{
    if (!Storyboard)
        return;
    quillora::TProjectEditor* editor = Editor();
    // A recording may have added captures: undo must not take them away.
    if (editor)
        editor->CheckHistory();
    if (editor != Storyboard->Model()->Editor()) {
        Storyboard->SetEditor(editor);
        // The keyboard starts on the strip, at the first tile.
        if (editor)
            Storyboard->Strip()->setFocus();
    } else
        Storyboard->Reload();
    UpdateEditActions();
}

void TMainForm::UpdateEditActions()
{
    quillora::TProjectEditor* editor = Storyboard ? Storyboard->Model()->Editor() : nullptr;
    const auto& history = editor ? &editor->History() : nullptr;
    const QString undo = history ? QString::fromStdString(history->UndoName()) : QString();
    const QString redo = history ? QString::fromStdString(history->RedoName()) : QString();
    EditUndo->setText(undo.isEmpty() ? QStringLiteral("&Undo") : QStringLiteral("&Undo ") + undo);
    EditUndo->setEnabled(!undo.isEmpty());
    EditRedo->setText(redo.isEmpty() ? QStringLiteral("&Redo") : QStringLiteral("&Redo ") + redo);
    EditRedo->setEnabled(!redo.isEmpty());

    const bool any = editor && !Storyboard->SelectedIndexes().empty();
    const auto pic = editor ? Storyboard->CurrentPicture() : std::nullopt;
    const auto caption = editor ? Storyboard->CurrentCaption() : std::nullopt;
    const QModelIndex cur = Storyboard ? Storyboard->Strip()->currentIndex() : QModelIndex();
    const bool onPicture = pic && cur.isValid() &&
                           cur.data(TStoryboardModel::KindRole).toString() == QLatin1String("Pic");
    const int place = onPicture ? Storyboard->Model()->PicturesBefore(pic->Index) : -1;
    const int pictures = onPicture ? Storyboard->Model()->PictureCount() : 0;
    EditDelete->setEnabled(any);
    EditMoveEarlier->setEnabled(onPicture && place > 0);
    EditMoveLater->setEnabled(onPicture && place + 1 < pictures);
    EditSetLength->setEnabled(onPicture);
    EditCaption->setEnabled(bool(pic) || bool(caption));
    EditCaption->setText(caption ? QStringLiteral("Edit &Caption...")
                                 : QStringLiteral("Add &Caption..."));
    EditAddSound->setEnabled(bool(pic));
    EditZoomPicture->setEnabled(onPicture);
    EditZoomPicture->setChecked(!onPicture || pic->Zoom);
    UpdateTitleMarker();
}

void TMainForm::RunEdit(const std::function<void()>& edit, int selectIndex)
{
    // An edit the document refuses shows why; the document is as it was.
    RunGuarded(Shell, this, edit);
    if (Storyboard)
        Storyboard->Reload(selectIndex);
    UpdateEditActions();
    ProjectEdited();
}

void TMainForm::EditUndoExecute()
{
    if (auto* editor = Editor())
        RunEdit([editor] { editor->Undo(); });
}

void TMainForm::EditRedoExecute()
{
    if (auto* editor = Editor())
        RunEdit([editor] { editor->Redo(); });
}

void TMainForm::EditDeleteExecute()
{
    auto* editor = Editor();
    if (!editor)
        return;
    const std::vector<int32_t> indexes = Storyboard->SelectedIndexes();
    if (!indexes.empty())
        RunEdit([&] { editor->DeleteObjects(indexes); });
}

void TMainForm::EditMoveEarlierExecute()
{
    MoveCurrentPicture(-1, EditMoveEarlier);
}

void TMainForm::EditMoveLaterExecute()
{
    MoveCurrentPicture(1, EditMoveLater);
}

void TMainForm::MoveCurrentPicture(int step, QAction* action)
{
    auto* editor = Editor();
    const auto pic = editor ? Storyboard->CurrentPicture() : std::nullopt;
    if (!pic || !action->isEnabled())
        return;
    const int place = Storyboard->Model()->PicturesBefore(pic->Index);
    int moved = -1;
    RunEdit([&] { moved = editor->MovePicture(pic->Index, place + step); }, -1);
    if (moved >= 0)
        Storyboard->Reload(moved);
    UpdateEditActions();
}

void TMainForm::EditSetLengthExecute()
{
    auto* editor = Editor();
    const auto pic = editor ? Storyboard->CurrentPicture() : std::nullopt;
    if (!pic)
        return;
    TLengthDialog dialog(pic->Length, editor->Rate(), this);
    dialog.setWindowTitle(QStringLiteral("Set Length of ") + QString::fromStdString(pic->Name));
    if (ExecEditDialog(dialog) != QDialog::Accepted)
        return;
    const int frames = dialog.Frames();
    RunEdit([&] { editor->SetPictureLength(pic->Index, frames); });
}

void TMainForm::EditCaptionItem(const quillora::TStoryItem& caption, int select)
{
    quillora::TCaption c{caption.Content,   caption.FontName,  caption.FontSize,
                         caption.FontColor, caption.PositionX, caption.PositionY};
    TCaptionDialog dialog(QStringLiteral("Edit Caption"), c, this);
    if (ExecEditDialog(dialog) != QDialog::Accepted)
        return;
    const quillora::TCaption changed = dialog.Caption();
    quillora::TProjectEditor* editor = Editor();
    RunEdit([&] { editor->EditCaption(caption.Index, changed); }, select);
}

void TMainForm::EditCaptionExecute()
{
    auto* editor = Editor();
    if (!editor)
        return;
    if (const auto caption = Storyboard->CurrentCaption()) {
        EditCaptionItem(*caption, caption->Index);
        return;
    }
    const auto pic = Storyboard->CurrentPicture();
    if (!pic)
        return;
    TCaptionDialog dialog(QStringLiteral("Add Caption"), quillora::TCaption{}, this);
    if (ExecEditDialog(dialog) != QDialog::Accepted)
        return;
    const quillora::TCaption c = dialog.Caption();
    int added = -1;
    RunEdit([&] { added = editor->AddCaption(pic->Index, c); });
    if (added >= 0)
        Storyboard->Reload(added);
    UpdateEditActions();
}

void TMainForm::EditZoomPictureExecute()
{
    auto* editor = Editor();
    const auto pic = editor ? Storyboard->CurrentPicture() : std::nullopt;
    if (!pic)
        return;
    // The item shows the picture's own state again after the edit, or
    // after a failed one.
    RunEdit([&] { editor->SetPictureZoom(pic->Index, !pic->Zoom); }, pic->Index);
}

void TMainForm::EditAddSoundExecute()
{
    auto* editor = Editor();
    const auto pic = editor ? Storyboard->CurrentPicture() : std::nullopt;
    if (!pic)
        return;
    const QString path = Shell.GetOpenFileName(this, QString::fromLatin1(SoundFilter));
    if (path.isEmpty())
        return;
    int added = -1;
    RunEdit([&] { added = editor->AddSound(pic->Index, path.toStdString()); });
    if (added >= 0)
        Storyboard->Reload(added);
    UpdateEditActions();
}
