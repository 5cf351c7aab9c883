// How an export talks back to whoever started it, so the core needs no GUI:
// the program shows message boxes and a progress dialog, the command-line
// exporter prints to the terminal.
#pragma once

#include <string>

// Shown when the writer refuses a picture; the export goes on.
inline constexpr const char* kPictureErrorMessage = "Sorry, can not use the picture!";
// Shown when the writer refuses a sound or the click; the export goes on.
inline constexpr const char* kSoundErrorMessage =
    "Please select a sound file with 16Bits mono format!";

class IExportReporter {
  public:
    virtual ~IExportReporter() = default;

    // A picture or sound that could not be used. message is the text to show
    // the user; detail names the object, the file and the writer's reason
    // (for a terminal or a log). The export carries on with the next object
    // once this returns (the program shows an OK box here).
    virtual void ExportError(const std::string& message, const std::string& detail) = 0;

    // Objects done of objects total; called once with done == 0 before the
    // first object and after every object. total can grow while exporting
    // only if the document does.
    virtual void ExportProgress(int done, int total) = 0;
};
