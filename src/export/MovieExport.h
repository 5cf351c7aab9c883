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

// The last frame an export of movie uses: the end of its latest object
// (Object, its index, and Name), or the stop action's frame ("TotalFrames",
// Object -1). Read without changing the document; values that do not read
// count as 0 here and are reported by the export itself.
struct TMovieEnd {
    int64_t Frame = 0;
    int32_t Object = -1;
    std::string Name;
};
TMovieEnd LastMovieFrame(const IXMLMovie& movie, bool stopAtEnd);

// Writes the header, every object in document order, the arrow cursor and
// (when asked) the stop action, then the movie to target. Refused
// pictures and sounds go to reporter and the export goes on; any other
// failure throws and writes nothing. A movie longer than the writer can hold
// is refused before any call on the writers.
void ExportMovie(const IXMLMovie& movie, const TExportSettings& settings, const std::string& target,
                 const TSwfWriters& writers, IExportReporter* reporter = nullptr);

} // namespace quillora
