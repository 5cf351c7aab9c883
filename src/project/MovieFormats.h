// The movie formats a project exports to, picked by the target's extension:
// the SWF of the movie writer, or a video of the same timeline.
#pragma once

#include <map>
#include <string>

#include "export/ExportReporter.h"
#include "export/SwfWriters.h"
#include "project/FlashCard.h"
#include "project/FocusSettings.h"
#include "video/Encoder.h"

namespace quillora {

// One line per format, for help texts: extension and what it holds.
extern const char* const kMovieFormatList;

// Writes the movie of card's document to target (empty: its MoviePath) in
// the format its extension names: .mp4, .webm and .gif are videos, anything
// else is the SWF made with swfWriters. Refused pictures and sounds go to
// reporter as in the SWF export. options.Progress follows the video's frames
// and may cancel (video::TCancelled); note gets what the video changed, if
// anything (an odd stage size made even). A video zooms and shows clicks as
// the project chooses, with focus over that; a choice that does not read is
// refused before any work.
void ExportMovieFile(TFlashCard& card, const std::string& target, const TSwfWriters& swfWriters,
                     IExportReporter* reporter, const video::TEncodeOptions& options = {},
                     std::string* note = nullptr, const TFocusOverride& focus = {});

// The timeline of the project saved at projectPath, made by the same export
// as its movie, with clickPath as every still picture's click, and the
// focus its videos have. Throws what the export throws; refused pictures
// and sounds go to reporter.
video::TTimeline ProjectTimeline(const std::string& projectPath, const std::string& clickPath,
                                 IExportReporter* reporter);

// What a zooming video shows of each picture halfway through its time, by
// the picture's document index, made by the same export and camera as the
// video; empty when the project's videos do not zoom or its choice does not
// read. basePath resolves the pictures as the project's own; nothing is
// written.
std::map<int32_t, video::TView> PictureZoomViews(const IXMLMovie& movie,
                                                 const std::string& basePath);

} // namespace quillora
