// Editing a recorded movie: delete, reorder and retime pictures, captions,
// sounds and the recorded cursor, each undoable.
//
// After every edit the document is laid out again: the pictures follow each
// other from frame 0 without gaps (each keeps its length), every caption and
// sound keeps its distance from the start of the picture it belongs to (the
// picture on screen when it starts), and the items are stored pictures first,
// then captions and sounds in time order. That order is what the export
// needs: the cursor glides from one picture to the next item in the
// document, so captions and sounds carry the last picture's cursor position,
// and being written after the pictures they are drawn over them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "document/XMLUnit.h"
#include "project/CommandStack.h"
#include "project/FocusSettings.h"

namespace quillora {

// One object as the storyboard shows it, read without changing the document.
struct TStoryItem {
    int32_t Index = -1; // in document order
    std::string Name;   // "ObjName"
    std::string Kind;   // "ObjTypeName": "Pic", "Text", "Sound" or anything else
    int32_t Start = 0;  // first frame
    int32_t Length = 0; // frames on screen; 0 for a sound
    int32_t MouseX = 0, MouseY = 0;
    std::string Content; // picture or sound file, or the caption's text
    int32_t PositionX = 0, PositionY = 0;
    int32_t Width = 0, Height = 0; // pictures
    std::string FontName;          // captions
    int32_t FontSize = 0;
    int32_t FontColor = 0; // red in the lowest byte
    // For captions and sounds: Index of the picture they belong to, or -1.
    int32_t Picture = -1;
    // Pictures: whether a video's zoom goes to it ("Zoom" is not False).
    bool Zoom = true;
    // Why the object cannot be used as it stands, or "".
    std::string Problem;
};

// What a caption says and how it looks.
struct TCaption {
    std::string Content;
    std::string FontName = "Microsoft Sans Serif";
    int32_t FontSize = 18;
    int32_t FontColor = 0xFF0000; // red in the lowest byte: this is blue
    int32_t PositionX = 50;
    int32_t PositionY = 50;
};

// The longest a picture may stay, in frames (an SWF movie counts its frames
// in 16 bits).
inline constexpr int32_t kMaxPictureLength = 65535;

class TProjectEditor {
  public:
    TProjectEditor() = default;
    TProjectEditor(const TProjectEditor&) = delete;
    TProjectEditor& operator=(const TProjectEditor&) = delete;

    // The main window's Movie variable, as the object tools have it.
    const IXMLMovie* MovieRef = nullptr;
    // Set after every edit, undo and redo (the controller's Modified).
    bool* ModifiedRef = nullptr;

    // Every object in time order: each picture followed by its captions and
    // sounds; objects of other kinds last.
    std::vector<TStoryItem> Items() const;
    // Frames per second of the movie; 15 when it does not read.
    int32_t Rate() const;

    // Each edit changes the document, lays it out again and saves it to its
    // file. One the document refuses (a value that does not read, a file
    // that cannot be written, a bad argument) throws an Error saying why and
    // leaves the document and its file as they were. Indexes are document
    // indexes as Items gives them; the edits that return one give the index
    // of the object they made or moved, after the layout.

    // A picture goes with its captions and sounds.
    void DeleteObjects(std::vector<int32_t> indexes);
    // Moves the picture to that place among the pictures (0 is the first).
    int32_t MovePicture(int32_t index, int32_t place);
    void SetPictureLength(int32_t index, int32_t frames);
    int32_t AddCaption(int32_t pictureIndex, const TCaption& caption);
    void EditCaption(int32_t textIndex, const TCaption& caption);
    // Only a 16-bit mono WAV the movie writer can use is added.
    int32_t AddSound(int32_t pictureIndex, const std::string& wavPath);
    void SetCursor(int32_t pictureIndex, int32_t x, int32_t y);
    // Keeps a picture out of the videos' zoom, or lets it in again.
    void SetPictureZoom(int32_t pictureIndex, bool zoom);
    // How the videos show the action (zoom, its level, click rings).
    void SetFocusChoice(const TFocusChoice& choice);

    TCommandStack& History() { return Stack; }
    const TCommandStack& History() const { return Stack; }
    // Undo and redo save the document too, and fail like an edit.
    void Undo();
    void Redo();
    // Forgets the history when the document was changed other than by these
    // edits (a recording added pictures), so that no undo can take such a
    // change away. Undo, Redo and every edit check this first.
    void CheckHistory();

    // The state of the "Obj" items, shared between snapshots where equal.
    using TSnapshot = std::vector<std::shared_ptr<const std::string>>;
    TSnapshot Snapshot() const;
    void RestoreSnapshot(const TSnapshot& snapshot);

  private:
    template <class Change> int32_t Edit(const std::string& name, Change&& change);
    const IXMLMovie& Movie() const;
    void Touched();

    TCommandStack Stack;
    mutable TSnapshot Last; // the newest snapshot, to share unchanged items with
    TSnapshot Known;        // the document as the last edit, undo or redo left it
};

} // namespace quillora
