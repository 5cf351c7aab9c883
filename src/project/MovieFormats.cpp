#include "project/MovieFormats.h"

#include <algorithm>
#include <filesystem>

#include "base/GlobalVars.h"
#include "document/XMLDocument.h"
#include "document/XMLUnit.h"
#include "export/MovieExport.h"
#include "video/TempFile.h"
#include "video/Timeline.h"

namespace quillora {

namespace {

// Refuses, before any work, a movie whose times run past what a video
// holds, naming the object to correct; without this a time typed wrong
// made the encoders work for hours or run out of memory.
void CheckVideoLength(const IXMLMovie& movie, bool stopAtEnd)
{
    int64_t rate = 0;
    try {
        rate = StrToInt32(movie.PeekText({"Rate"}));
    } catch (const std::exception&) {
        return; // the export says what is wrong with it
    }
    if (rate < 1 || rate > 255)
        return;
    const int64_t limit = video::MaxVideoFrames(int(rate));
    const TMovieEnd end = LastMovieFrame(movie, stopAtEnd);
    if (end.Frame < limit)
        return;
    const std::string at = " frames per second";
    const std::string what = end.Object < 0
                                 ? "its TotalFrames is " + std::to_string(end.Frame)
                                 : "object " + std::to_string(end.Object + 1) +
                                       (end.Name.empty() ? "" : " (\"" + end.Name + "\")") +
                                       " ends at frame " + std::to_string(end.Frame);
    throw Error("This project is too long for a video: " + what + ", about " +
                std::to_string(end.Frame / rate / 3600) + " hours at " + std::to_string(rate) + at +
                ". A video holds at most " + std::to_string(video::kMaxVideoHours) + " hours (" +
                std::to_string(limit) + " frames at " + std::to_string(rate) + at +
                "); correct the times of that object, or split the project into shorter ones.");
}

} // namespace

void ExportMovieFile(TFlashCard& card, const std::string& target, const TSwfWriters& swfWriters,
                     IExportReporter* reporter, const video::TEncodeOptions& options,
                     std::string* note, const TFocusOverride& focus)
{
    const std::string path = target.empty() ? card.MoviePath : target;
    std::optional<video::TVideoFormat> format = video::VideoFormatOf(path);
    // A target that cannot be written is said at once, not after the work.
    video::TTempFile::CheckTarget(path);
    if (!format) {
        card.ExportSwf("All", path, swfWriters, reporter);
        return;
    }
    // A video repeats when the controller or the project's "Loop" says so;
    // the SWF keeps the controller's rule. Read without adding the element.
    const bool looping = card.Looping;
    card.Looping = looping || (card.MovieRef && !card.MovieRef->IsNull() &&
                               card.MovieRef->PeekText({"Loop"}) == "True");
    TFocusChoice choice;
    if (card.MovieRef && !card.MovieRef->IsNull()) {
        CheckVideoLength(*card.MovieRef, !card.Looping);
        choice = ReadFocusChoice(*card.MovieRef, focus);
    }
    struct Restore {
        TFlashCard& card;
        bool looping;
        ~Restore() { card.Looping = looping; }
    } restore{card, looping};
    video::TTimelineWriterSet set;
    set.Movie->SetOutput([&](const video::TTimeline& timeline, const std::string& file) {
        video::TTimeline focused;
        if (choice.Zoom || choice.ClickRings) {
            focused = timeline;
            focused.focus = MakeFocus(*card.MovieRef, timeline, choice);
        }
        video::TEncodeResult r = video::EncodeVideo(
            choice.Zoom || choice.ClickRings ? focused : timeline, file, *format, options);
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
    CheckVideoLength(movie, true);
    const TFocusChoice choice = ReadFocusChoice(movie);
    video::TTimelineWriterSet set;
    video::TTimeline timeline;
    set.Movie->SetOutput([&](const video::TTimeline& t, const std::string&) {
        timeline = t;
        timeline.focus = MakeFocus(movie, timeline, choice);
    });
    card.ExportSwf("All", base + ".swf",
                   {*set.Movie, *set.Media, *set.Font, *set.Text, *set.Action}, reporter);
    return timeline;
}

std::map<int32_t, video::TView> PictureZoomViews(const IXMLMovie& movie,
                                                 const std::string& basePath)
{
    std::map<int32_t, video::TView> views;
    if (movie.IsNull())
        return views;
    TFocusChoice choice;
    try {
        choice = ReadFocusChoice(movie);
    } catch (const std::exception&) {
        return views; // the export says what is wrong with it
    }
    if (!choice.Zoom)
        return views;
    choice.ClickRings = false;
    TExportSettings settings;
    settings.BasePath = basePath;
    settings.StopAtEnd = true;
    settings.ClickPath = ProgramDataFolder() + "/click.wav";
    video::TTimeline timeline;
    video::TTimelineWriterSet set;
    set.Movie->SetOutput([&](const video::TTimeline& t, const std::string&) { timeline = t; });
    try {
        // The timeline writers keep what the movie would hold; no file.
        ExportMovie(movie, settings, basePath + ".swf",
                    {*set.Movie, *set.Media, *set.Font, *set.Text, *set.Action}, nullptr);
    } catch (const std::exception&) {
        return views;
    }
    const std::vector<video::TView> track = MakeFocus(movie, timeline, choice).views;
    if (track.empty())
        return views;
    const auto frame = [](const IXMLObj& obj, const char* element) -> std::optional<int64_t> {
        try {
            return StrToInt32(obj.PeekText({element}));
        } catch (const std::exception&) {
            return std::nullopt;
        }
    };
    const std::vector<IXMLObj> objs = movie.GetObj().AllItems();
    for (size_t i = 0; i < objs.size(); ++i) {
        if (objs[i].PeekText({"ObjTypeName"}) != "Pic")
            continue;
        const std::optional<int64_t> start = frame(objs[i], "StartTime");
        const std::optional<int64_t> end = frame(objs[i], "EndTime");
        if (!start || !end || *end <= *start)
            continue;
        const int64_t middle =
            std::clamp<int64_t>((*start + *end) / 2, 0, int64_t(track.size()) - 1);
        views[int32_t(i)] = track[size_t(middle)];
    }
    return views;
}

} // namespace quillora
