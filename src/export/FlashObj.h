// The object tools: reusable tools bound to the open movie document. A tool
// loads any "Obj" item into its fields, appends its fields as a new item,
// and adds a loaded object to the movie being written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "document/XMLUnit.h"
#include "export/ExportReporter.h"
#include "export/SwfWriters.h"

namespace quillora {

// What AddToMovie needs besides the document: the writers, where to report
// refused pictures and sounds, and the click sound of still pictures.
struct TExportTarget {
    TSwfWriters Writers;
    IExportReporter* Reporter = nullptr; // may be null: problems are then dropped
    std::string ClickPath;               // full path of click.wav
};

class TFlashObj {
  public:
    virtual ~TFlashObj() = default;
    TFlashObj(const TFlashObj&) = delete;
    TFlashObj& operator=(const TFlashObj&) = delete;

    // The main window's Movie variable (not a copy), so the tool always sees
    // the document open at the moment of use. Bound by the owner.
    const IXMLMovie* MovieRef = nullptr;
    std::string Demo;
    int32_t MouseX = 0;
    int32_t MouseY = 0;
    std::string ObjName;
    int32_t StartTime = 0;
    int32_t EndTime = 0;
    int32_t Layer = 0;
    std::string KindName;
    int32_t PositionX = 0;
    int32_t PositionY = 0;
    std::string EffectName;
    // The owner's modified flag, set after every append (the controller
    // binds its tools to its Modified, so New and Close can ask to save).
    bool* ModifiedRef = nullptr;
    // Where an append's save goes. Unset, the document is saved to its file
    // at once; a recording hands the save to its disk thread instead.
    std::function<void(const IXMLObj&)> SaveAppendedRef;

    // Loads "Obj" item index into the fields. A missing or non-numeric
    // integer throws and leaves the fields read so far changed.
    virtual void LoadObject(int32_t index);
    // Appends the fields as a new, newly named "Obj" item and saves the
    // document to its file.
    virtual void AppendToDocument();
    // Loads item index and adds it to the movie.
    virtual void AddToMovie(int32_t index, const TExportTarget& target) = 0;

  protected:
    explicit TFlashObj(std::string kindName) : KindName(std::move(kindName)) {}

    const IXMLMovie& Movie() const;
    IXMLObj Item(int32_t index) const;
    // The common part of an append: names the object, adds the item and
    // writes the eight common elements; returns the new item.
    IXMLObj AppendCommon(bool endTimeIsOne);
    // Saves the document after an append and marks the owner modified.
    void SaveAppended(const IXMLObj& obj);
    static void Report(const TExportTarget& target, const char* message, const std::string& detail);
};

// pixels -> twips, failing with "Integer overflow" rather than wrapping.
int32_t Twips(int64_t pixels);

} // namespace quillora
