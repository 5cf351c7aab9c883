// The export driver: turns the movie document into calls on the movie
// writers. The program's Save, the command-line exporter and the video
// output all go through it, so every output shows the same timeline.
#pragma once

#include <string>

#include "document/XMLUnit.h"
#include "export/ExportReporter.h"
#include "export/SwfWriters.h"

namespace quillora {

struct TExportSettings {
    // The project path without extension; "Move" pictures are found beside it.
    std::string BasePath;
    // A stop action after the last frame; a looping movie has none.
    bool StopAtEnd = true;
    // Full path of the click every still picture plays.
    std::string ClickPath;
};

// Writes the header, every object in document order, the arrow cursor and
// (when asked) the stop action, then the movie to target. Refused
// pictures and sounds go to reporter and the export goes on; any other
// failure throws and writes nothing. A movie longer than the writer can hold
// is refused before any call on the writers.
void ExportMovie(const IXMLMovie& movie, const TExportSettings& settings, const std::string& target,
                 const TSwfWriters& writers, IExportReporter* reporter = nullptr);

} // namespace quillora
