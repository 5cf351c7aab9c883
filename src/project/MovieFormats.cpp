#include "project/MovieFormats.h"

#include <filesystem>

#include "document/XMLDocument.h"
#include "document/XMLUnit.h"
#include "video/Timeline.h"

namespace quillora {

const char* const kMovieFormatList = "  .swf   Flash movie (the default), at most 65535 frames:\n"
                                     "         2730 pictures of 24 frames\n"
                                     "  .mp4   H.264 video with AAC sound\n"
                                     "  .webm  VP9 video with Opus sound\n"
                                     "  .gif   animated GIF, without sound\n";

void ExportMovieFile(TFlashCard& card, const std::string& target, const TSwfWriters& swfWriters,
                     IExportReporter* reporter, const video::TEncodeOptions& options,
                     std::string* note)
{
    const std::string path = target.empty() ? card.MoviePath : target;
    std::optional<video::TVideoFormat> format = video::VideoFormatOf(path);
    if (!format) {
        card.ExportSwf("All", path, swfWriters, reporter);
        return;
    }
    // A video repeats when the controller or the project's "Loop" says so;
    // the SWF keeps the controller's rule. Read without adding the element.
    const bool looping = card.Looping;
    card.Looping = looping || (card.MovieRef && !card.MovieRef->IsNull() &&
                               card.MovieRef->PeekText({"Loop"}) == "True");
    struct Restore {
        TFlashCard& card;
        bool looping;
        ~Restore() { card.Looping = looping; }
    } restore{card, looping};
    video::TTimelineWriterSet set;
    set.Movie->SetOutput([&](const video::TTimeline& timeline, const std::string& file) {
        video::TEncodeResult r = video::EncodeVideo(timeline, file, *format, options);
        if (note)
            *note = r.Note;
    });
    card.ExportSwf("All", path, {*set.Movie, *set.Media, *set.Font, *set.Text, *set.Action},
                   reporter);
}

video::TTimeline ProjectTimeline(const std::string& projectPath, const std::string& clickPath,
                                 IExportReporter* reporter)
{
    const std::string base = std::filesystem::path(projectPath).replace_extension().string();
    TXMLDocument doc(projectPath);
    IXMLMovie movie = GetMovie(doc);
    TFlashCard card(base, nullptr);
    card.BindMovie(&movie);
    card.ClickSoundPath = clickPath;
    video::TTimelineWriterSet set;
    video::TTimeline timeline;
    set.Movie->SetOutput([&](const video::TTimeline& t, const std::string&) { timeline = t; });
    card.ExportSwf("All", base + ".swf", {*set.Movie, *set.Media, *set.Font, *set.Text, *set.Action},
                   reporter);
    return timeline;
}

} // namespace quillora
