#include "project/FlashCard.h"

#include "base/GlobalVars.h"
#include "project/ProjectFiles.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace quillora {

void CopyFileOver(const std::string& from, const std::string& to)
{
    std::ifstream in(from, std::ios::binary);
    if (!in)
        throw Error("Cannot copy " + from + " to " + to + ": " + std::strerror(errno));
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw Error("Cannot copy " + from + " to " + to + ": read error");
    try {
        WriteFileAtomic(to, bytes);
    } catch (const std::exception& e) {
        throw Error("Cannot copy " + from + " to " + to + ": " + e.what());
    }
}

TFlashCard::TFlashCard(const std::string& untitledBase, IDocumentActions* actions)
    : TextTool(std::make_unique<TFlashText>()), PicTool(std::make_unique<TFlashPic>()),
      SoundTool(std::make_unique<TFlashSound>()), BasePath(untitledBase),
      WorkProjectPath(untitledBase + ".qlv"), MoviePath(untitledBase + ".swf"),
      UntitledBase(untitledBase), Actions(actions)
{
    // A "Move" picture recorded by this controller's tool looks for its file
    // beside the project.
    PicTool->BasePathRef = &BasePath;
    TextTool->ModifiedRef = &Modified;
    PicTool->ModifiedRef = &Modified;
    SoundTool->ModifiedRef = &Modified;
    Editor->ModifiedRef = &Modified;
}

TFlashCard::~TFlashCard()
{
    if (Actions)
        Actions->DisableDocumentActions();
    SoundTool.reset();
    PicTool.reset();
    TextTool.reset();
}

void TFlashCard::BindMovie(const IXMLMovie* movie)
{
    MovieRef = movie;
    TextTool->MovieRef = movie;
    PicTool->MovieRef = movie;
    SoundTool->MovieRef = movie;
    Editor->MovieRef = movie;
}

void TFlashCard::SetMode(const std::string& word)
{
    Mode = word;
    if (word == "Close" || word == "Play") {
        if (Actions)
            Actions->DisableDocumentActions();
    } else if (word == "Edit") {
        if (Actions)
            Actions->EnableDocumentActions();
        // A missing template or project is reported here, before a recording
        // starts on a working file that holds something else.
        // A saved project's relative paths would mean nothing in the working
        // folder: the copy names its files absolutely.
        if (!SourcePath.empty())
            MissingFiles = CopyProjectToWorking(SourcePath, WorkProjectPath);
    }
}

void TFlashCard::WriteHeader()
{
    if (!MovieRef || MovieRef->IsNull())
        throw Error("No movie document is open");
    const IXMLMovie& movie = *MovieRef;
    movie.SetBgColor(std::to_string(MovieBgColor));
    movie.SetWidth(MovieWidth);
    movie.SetHeight(MovieHeight);
    movie.SetRate(MovieRate);
    movie.SetLoop(Looping ? "True" : "False");
    movie.SaveDocument();
}

void TFlashCard::ExportSwf(const std::string& scope, const std::string& target,
                           const TSwfWriters& writers, IExportReporter* reporter)
{
    if (!MovieRef)
        throw Error("No movie document is open");
    TExportSettings settings;
    settings.BasePath = BasePath;
    settings.StopAtEnd = scope == "All" && !Looping;
    settings.ClickPath =
        ClickSoundPath.empty() ? ProgramDataFolder() + "/click.wav" : ClickSoundPath;
    ExportMovie(*MovieRef, settings, target.empty() ? MoviePath : target, writers, reporter);
    Modified = false;
}

} // namespace quillora
