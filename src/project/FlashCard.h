// The movie controller: the one open project, its mode, its file paths, the
// header values of a new movie, its three object tools and a reference to
// the movie document. The main window creates, replaces and frees it from
// its file actions; the export (ExportSwf) turns the document into a movie.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "document/XMLUnit.h"
#include "export/ExportReporter.h"
#include "export/FlashPic.h"
#include "export/FlashSound.h"
#include "export/FlashText.h"
#include "export/MovieExport.h"
#include "export/SwfWriters.h"
#include "project/ProjectEditor.h"

namespace quillora {

// Implemented by the main window: switches Save, Save As, Close, Export to
// Flash (and, on disable, Preview).
class IDocumentActions {
  public:
    virtual ~IDocumentActions() = default;
    virtual void DisableDocumentActions() = 0;
    virtual void EnableDocumentActions() = 0;
};

class TFlashCard {
  public:
    // untitledBase: TGlobalVars::UntitledBase. actions may be null.
    TFlashCard(const std::string& untitledBase, IDocumentActions* actions);
    // Disables the document actions; the working files stay on disk.
    virtual ~TFlashCard();
    TFlashCard(const TFlashCard&) = delete;
    TFlashCard& operator=(const TFlashCard&) = delete;

    std::string Mode; // "Edit", "Play", "Close" or empty
    bool Looping = false;
    // The main window's Movie variable, not a copy. Set it with BindMovie so
    // the three tools follow.
    const IXMLMovie* MovieRef = nullptr;
    std::unique_ptr<TFlashText> TextTool;
    std::unique_ptr<TFlashPic> PicTool;
    std::unique_ptr<TFlashSound> SoundTool;
    uint32_t MovieBgColor = 0; // red in the lowest byte
    int32_t MovieWidth = 0;
    int32_t MovieHeight = 0;
    int32_t MovieRate = 0;
    // Set when one of the three tools appends an object; the export clears it.
    bool Modified = false;
    std::string SourcePath;      // copied onto WorkProjectPath when "Edit" is entered
    std::string BasePath;        // project path without extension; untitled == UntitledBase
    std::string WorkProjectPath; // UntitledBase + ".qlv"
    std::string MoviePath;       // UntitledBase + ".swf", or a movie from the command line
    // Pictures and sounds of the project that SetMode("Edit") did not find.
    std::vector<std::string> MissingFiles;
    // The click every still picture plays; empty means click.wav in the
    // program's data folder.
    std::string ClickSoundPath;

    // The edits of this project and their history; follows BindMovie and
    // sets Modified.
    std::unique_ptr<TProjectEditor> Editor = std::make_unique<TProjectEditor>();

    void BindMovie(const IXMLMovie* movie);

    // "Close"/"Play" disable the document actions; "Edit" enables them and
    // copies SourcePath (when set) over WorkProjectPath. Any other word is
    // only stored. Throws "Cannot copy ..." when that copy fails.
    void SetMode(const std::string& word);

    // Writes BgColor, Width, Height, Rate and Loop through MovieRef and saves
    // the document to its file (WorkProjectPath).
    void WriteHeader();

    // Writes the movie of the document to target (empty: MoviePath) and
    // clears Modified. Refused pictures and sounds go to reporter and the
    // export goes on; any other failure throws, writes nothing and leaves
    // Modified as it was. Every caller passes the scope "All".
    void ExportSwf(const std::string& scope, const std::string& target, const TSwfWriters& writers,
                   IExportReporter* reporter = nullptr);

    bool IsUntitled() const { return BasePath == UntitledBase; }
    const std::string& GetUntitledBase() const { return UntitledBase; }

  private:
    std::string UntitledBase;
    IDocumentActions* Actions = nullptr;
};

// Copies a file over another, atomically; throws "Cannot copy <from> to
// <to>: <reason>". What Save uses for the working files.
void CopyFileOver(const std::string& from, const std::string& to);

} // namespace quillora
