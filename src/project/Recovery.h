// Getting a recording back after the program died.
//
// A recording writes each screenshot and, beside it, a small note with what
// the picture object needs (its place in the recording, the pointer, the
// size); the project save that puts the object into the working project
// comes after both. A marker beside the working project says that it holds
// a recording not yet saved. At the next start the marker shows there is
// something to recover: the working project, plus every picture whose note
// belongs to the marked recording and whose JPEG is whole but which the
// project does not hold yet.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillora {

struct TCaptureNote {
    std::string Recording; // the recording that took the picture
    int64_t Sequence = 0;  // its place among the recording's captures, from 1
    int32_t MouseX = 0, MouseY = 0;
    int32_t Width = 0, Height = 0;
    uint64_t Bytes = 0; // size of the JPEG as it was written
    // Copies of the picture in saved projects' folders.
    std::vector<std::string> Copies;
};

// "/folder/123.jpg" -> "/folder/123.capture".
std::string CaptureNotePath(const std::string& jpegPath);
std::string FormatCaptureNote(const TCaptureNote& note);
// Nothing for a note that is cut short, unknown or does not read.
std::optional<TCaptureNote> ParseCaptureNote(std::string_view text);
std::optional<TCaptureNote> ReadCaptureNote(const std::string& jpegPath);
// Atomic and flushed. Throws "Cannot save <path>: <reason>".
void WriteCaptureNote(const std::string& jpegPath, const TCaptureNote& note);

// A fresh id for a recording: unique enough to tell the recordings that
// share one working folder apart.
std::string NewRecordingId();

// The marker beside the working project (untitledBase + ".recovery").
std::string RecoveryMarkerPath(const std::string& untitledBase);
void WriteRecoveryMarker(const std::string& untitledBase, const std::string& recording);
// The recording the marker names; nothing when there is no marker.
std::optional<std::string> ReadRecoveryMarker(const std::string& untitledBase);
void ClearRecoveryMarker(const std::string& untitledBase);

// A JPEG that was written to its end: its size is the note's and it ends
// with the end-of-image marker.
bool IsWholeJpeg(const std::string& path, uint64_t expectedBytes);

struct TRecoverable {
    std::string Recording;
    std::string WorkProjectPath;
    int32_t Pictures = 0; // pictures the working project holds
    // Whole captures of the recording that it does not hold, in capture
    // order: the JPEG paths.
    std::vector<std::string> Missing;
};

// What an unsaved recording left in the working folder of untitledBase, or
// nothing when there is no marker or the working project does not read.
std::optional<TRecoverable> FindRecoverable(const std::string& untitledBase);

// Appends the missing captures to the working project in capture order,
// as the recording would have (start times 24 frames apart), and saves it.
// Returns how many were added. The marker stays until the project is saved.
int32_t RecoverWorkingProject(const std::string& untitledBase);

// Moves the working project, its movie, the marker and the pictures and
// notes of the marked recording into a folder of its own under "Trash" in
// the working folder, and returns that folder. Pictures of other recordings
// (older projects may still point at them) stay where they are.
std::string DiscardWorkingProject(const std::string& untitledBase, std::time_t now);

// Removes what Discard put in the trash more than `days` ago.
inline constexpr int kTrashDays = 14;
void PruneTrash(const std::string& workingFolder, std::time_t now, int days = kTrashDays);

// Removes working pictures that a saved project's folder holds a whole copy
// of, unless the unsaved recording still uses them. Only pictures with a
// note are touched: older projects may point at the others. Returns how
// many pictures were removed.
int32_t PruneWorkingPictures(const std::string& untitledBase);

} // namespace quillora
