// The main window's step-by-step guide: File > Export Guide... and writing
// a step's text from the storyboard with Enter or F2.
#include "app/MainFormGuide.h"

#include "app/ExportProgress.h"
#include "app/ErrorHandler.h"
#include "app/MainForm.h"
#include "base/Error.h"
#include "guide/Guide.h"
#include "project/MovieFormats.h"
#include "ui/EditDialogs.h"
#include "ui/Shell.h"
#include "ui/Storyboard.h"
#include "video/Encoder.h"

#include <QAction>
#include <QDialog>
#include <QFileInfo>

#include <filesystem>

namespace {

const char* const SaveFilterGuide =
    "Web page (*.html);;Markdown (*.md);;PDF document (*.pdf)";

std::string S(const QString& s)
{
    return s.toStdString();
}

} // namespace

void CheckMovieName(const QString& path)
{
    const std::string p = S(path);
    if (QFileInfo(path).suffix().compare(QStringLiteral("swf"), Qt::CaseInsensitive) == 0 ||
        video::VideoFormatOf(p))
        return;
    std::string message = "Quillora cannot write \"" + S(QFileInfo(path).fileName()) + "\": ";
    if (guide::GuideFormatOf(p))
        message += "a step-by-step guide is written with File > Export Guide.";
    else
        message += "its extension names no movie format.";
    throw quillora::Error(message + "\n\nThe movie formats are:\n" + quillora::kMovieFormatList);
}

void TMainForm::BuildGuideActions()
{
    FileExportGuide = MakeAction(QStringLiteral("FileExportGuide"), QStringLiteral("Export &Guide..."),
                                 QStringLiteral("Export Guide"), &TMainForm::FileExportGuideExecute);
    connect(Storyboard, &TStoryboard::CaptionRequested, this,
            [this] { RunGuarded(Shell, this, [this] { EditStepTextExecute(); }); });
}

void TMainForm::FileExportGuideExecute()
{
    if (!FFlashCard || !FXMLDoc)
        return;
    const QString path = Shell.GetSaveFileName(this, QString::fromLatin1(SaveFilterGuide));
    if (path.isEmpty())
        return;
    const std::string target = S(path);
    if (!guide::GuideFormatOf(target))
        throw quillora::Error("Quillora cannot write \"" + S(QFileInfo(path).fileName()) +
                              "\": its extension names no guide format.\n\nThe formats are:\n" +
                              guide::kGuideFormatList);
    // The working file holds every edit; the guide is named after the project.
    guide::TGuide g = guide::ReadGuide(FXMLDoc->FileName());
    g.Title = std::filesystem::path(FFlashCard->BasePath).filename().string();
    Progress = std::make_unique<TExportProgress>(this);
    struct Done {
        std::unique_ptr<TExportProgress>& progress;
        ~Done() { progress.reset(); }
    } done{Progress};
    guide::TGuideOptions options;
    options.Progress = [this](int step, int steps) { return Progress->UpdateSteps(step, steps); };
    guide::TGuideReport report;
    try {
        report = guide::WriteGuide(g, target, options);
    } catch (const guide::TCancelled&) {
        return; // the old guide is as it was; nothing to tell
    }
    Progress.reset();
    if (report.Missing.empty())
        return;
    QString text = QStringLiteral("The guide was written, but these pictures could not be "
                                  "read; their steps show which file is missing:\n");
    for (const auto& m : report.Missing)
        text += QStringLiteral("\nStep %1: %2 (%3)")
                    .arg(m.Step)
                    .arg(QString::fromStdString(m.File), QString::fromStdString(m.Why));
    Shell.ShowInfo(this, text);
}

void TMainForm::EditStepTextExecute()
{
    auto* editor = Editor();
    if (!editor)
        return;
    if (Storyboard->CurrentCaption()) {
        EditCaptionExecute();
        return;
    }
    const auto pic = Storyboard->CurrentPicture();
    if (!pic)
        return;
    // The picture's first caption is its step's text; without one, a new one.
    std::optional<quillora::TStoryItem> caption;
    for (const quillora::TStoryItem& item : editor->Items())
        if (item.Kind == "Text" && item.Picture == pic->Index) {
            caption = item;
            break;
        }
    if (!caption) {
        EditCaptionExecute();
        Storyboard->Reload(pic->Index);
        return;
    }
    // The picture stays selected, so the next one is a Right arrow away.
    EditCaptionItem(*caption, pic->Index);
}
