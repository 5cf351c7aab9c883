// The export driver: header, objects in document order, the arrow cursor and
// its motion, the stop action, the file.
#include "export/MovieExport.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "export/FlashPic.h"
#include "export/FlashSound.h"
#include "export/FlashText.h"

namespace quillora {

namespace {

// Passes every call on to the real movie and notes the last frame in which
// something landed, so the stop action never cuts a movie short.
class TFrameTracker : public swf::ISwfMovie {
  public:
    explicit TFrameTracker(swf::ISwfMovie& movie) : M(movie) {}
    int32_t LastFrame = -1;

    void SetSize(int32_t w, int32_t h) override { M.SetSize(w, h); }
    void SetFrameRate(int32_t r) override { M.SetFrameRate(r); }
    void SetFrameBkColor(uint8_t r, uint8_t g, uint8_t b) override { M.SetFrameBkColor(r, g, b); }
    void GotoFrame(int32_t f) override
    {
        M.GotoFrame(f);
        Current = f;
    }
    void AddObject(swf::ISwfObject& o) override
    {
        M.AddObject(o);
        Landed();
    }
    void RemoveObject(swf::ISwfObject& o) override
    {
        M.RemoveObject(o);
        Landed();
    }
    void AddAction(swf::ISwfAction& a) override
    {
        M.AddAction(a);
        Landed();
    }
    void WriteMovie(const std::string& path) override { M.WriteMovie(path); }
    int32_t MaxFrame() const override { return M.MaxFrame(); }

  private:
    void Landed() { LastFrame = std::max(LastFrame, Current); }
    swf::ISwfMovie& M;
    int32_t Current = 0;
};

// The arrow cursor, tip at the origin, 11 x 20 pixels, as steps in twips.
constexpr int32_t kArrowSteps[][2] = {
    {220, 220}, {-80, 0},   {0, 40},   {20, 20},   {0, 20},    {20, 20},  {0, 20},
    {20, 20},   {0, 20},    {-20, 20}, {-20, 0},   {-20, -20}, {0, -20},  {-20, -20},
    {0, -20},   {-20, -20}, {0, -20},  {-20, -20}, {0, -20},   {-80, 80}, {0, -320}};

// The picture files the loop of ExportTimeline will make, in order, found
// without changing the document (reading through the bindings would create
// missing elements ahead of their turn).
std::vector<std::string> ExpectedPictures(const IXMLObjList& list, const std::string& basePath)
{
    std::vector<std::string> paths;
    for (const IXMLObj& obj : list.AllItems()) {
        if (obj.PeekText({"ObjTypeName"}) != "Pic")
            continue;
        std::string content = obj.ResolvePath(obj.PeekText({"ObjType", "ObjPic", "Content"}));
        std::string effect = obj.PeekText({"ObjType", "ObjPic", "EffectName"});
        if (content.empty())
            continue;
        if (effect == "None")
            paths.push_back(content);
        else if (effect == "Move")
            paths.push_back(MovePathOf(basePath, obj.PeekText({"ObjName"})));
    }
    return paths;
}

// A number element read without changing the document; nullopt where it is
// missing or does not read (the export itself reports those, with their place).
std::optional<int64_t> PeekInt(const XMLNodeBinding& owner, const char* element)
{
    const std::string text = owner.PeekText({element});
    if (text.empty())
        return std::nullopt;
    try {
        return StrToInt32(text);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

TMovieEnd LastMovieFrame(const IXMLMovie& movie, bool stopAtEnd)
{
    TMovieEnd end;
    if (stopAtEnd)
        end.Frame = std::max<int64_t>(0, PeekInt(movie, "TotalFrames").value_or(0));
    const std::vector<IXMLObj> objs = movie.GetObj().AllItems();
    for (size_t i = 0; i < objs.size(); ++i) {
        const std::string kind = objs[i].PeekText({"ObjTypeName"});
        if (kind != "Pic" && kind != "Text" && kind != "Sound")
            continue;
        const int64_t last = std::max(PeekInt(objs[i], "StartTime").value_or(0),
                                      PeekInt(objs[i], "EndTime").value_or(0));
        if (last > end.Frame) {
            end.Frame = last;
            end.Object = int32_t(i);
            end.Name = objs[i].PeekText({"ObjName"});
        }
    }
    return end;
}

namespace {

// Refuses, before any work, a movie longer than the writer can hold, with
// the way out; otherwise every picture past the limit would be refused one
// by one and the export would fail all the same.
void CheckLength(const IXMLMovie& movie, bool stopAtEnd, const swf::ISwfMovie& writer)
{
    const int64_t maxFrame = writer.MaxFrame();
    const int64_t last = LastMovieFrame(movie, stopAtEnd).Frame;
    if (last <= maxFrame)
        return;
    const int64_t limit = maxFrame + 1;
    std::string message = "This project is " + std::to_string(last + 1) +
                          " frames long, but an SWF movie holds at most " + std::to_string(limit) +
                          " frames (" + std::to_string(limit / 24) + " pictures of 24 frames";
    const int64_t rate = PeekInt(movie, "Rate").value_or(0);
    if (rate > 0)
        message += ", about " + std::to_string((limit / rate + 30) / 60) + " minutes at " +
                   std::to_string(rate) + " frames per second";
    message += "). Export it as MP4, WebM or GIF, which have no such limit, or split the "
               "project into shorter ones.";
    throw Error(message);
}

// Runs work for object index; a failure that does not say where it arose
// is put on that object, so the user knows where to look.
template <class Work> void ForObject(const IXMLObjList& list, int32_t index, Work&& work)
{
    try {
        work();
    } catch (Error& e) {
        if (e.Place().Empty())
            e.Place() = list.Items(index).Place();
        throw;
    }
}

// A colour that does not read, or is out of range, names its element.
ColorRGB ColorOf(const XMLNodeBinding& owner, const char* element, const std::string& text)
{
    try {
        return SplitColor(ParseColor(text));
    } catch (Error& e) {
        if (e.Place().Empty())
            e.Place() = owner.Place(element);
        throw;
    }
}

void ExportHeader(const IXMLMovie& movie, const TExportTarget& target)
{
    auto& m = target.Writers.SwfMovie;
    int32_t width = movie.GetWidth();
    int32_t height = movie.GetHeight();
    m.SetSize(Twips(width), Twips(height));
    m.SetFrameRate(movie.GetRate());
    m.GotoFrame(0);
    ColorRGB c = ColorOf(movie, "BgColor", movie.GetBgColor());
    m.SetFrameBkColor(c.r, c.g, c.b);
}

void ExportTimeline(const IXMLMovie& movie, const std::string& basePath,
                    const TExportTarget& target)
{
    auto& m = target.Writers.SwfMovie;
    auto& media = target.Writers.SwfMedia;

    TFlashText textTool;
    TFlashPic currentPic, nextPic;
    TFlashSound soundTool;
    for (TFlashObj* tool :
         {static_cast<TFlashObj*>(&textTool), static_cast<TFlashObj*>(&currentPic),
          static_cast<TFlashObj*>(&nextPic), static_cast<TFlashObj*>(&soundTool)})
        tool->MovieRef = &movie;
    currentPic.BasePathRef = &basePath;
    nextPic.BasePathRef = &basePath;

    // Objects in document order, each complete before the next; the count is
    // read anew for every object.
    IXMLObjList list = movie.GetObj();
    media.ExpectPictures(ExpectedPictures(list, basePath));
    if (target.Reporter)
        target.Reporter->ExportProgress(0, list.Count());
    for (int32_t i = 0; i < list.Count(); ++i) {
        ForObject(list, i, [&] {
            std::string kind = list.Items(i).GetObjTypeName();
            if (kind == "Text")
                textTool.AddToMovie(i, target);
            else if (kind == "Pic")
                currentPic.AddToMovie(i, target);
            else if (kind == "Sound")
                soundTool.AddToMovie(i, target);
        });
        if (target.Reporter)
            target.Reporter->ExportProgress(i + 1, list.Count());
    }

    media.MakePolygon(0, 0);
    for (const auto& step : kArrowSteps) {
        // The last dy travels as a 16-bit value.
        int32_t dy = &step == &kArrowSteps[std::size(kArrowSteps) - 1]
                         ? static_cast<int16_t>(step[1])
                         : step[1];
        media.AddStraightLine(step[0], dy);
    }

    const int32_t n = list.Count();
    if (n == 1) {
        ForObject(list, 0, [&] {
            if (list.Items(0).GetObjTypeName() == "Pic") {
                currentPic.LoadObject(0);
                m.GotoFrame(currentPic.StartTime);
                media.Translate(Twips(currentPic.MouseX), Twips(currentPic.MouseY));
                m.AddObject(media); // never removed: the arrow stays to the end
            }
        });
        return;
    }
    for (int32_t j = 0; j < list.Count(); ++j) {
        ForObject(list, j, [&] {
            if (list.Items(j).GetObjTypeName() != "Pic")
                return;
            currentPic.LoadObject(j);
            if (j + 1 < list.Count()) {
                IXMLObj following = list.Items(j + 1);
                if (following.GetObjTypeName() == "Pic") {
                    nextPic.LoadObject(j + 1);
                } else {
                    // A text or sound: only its mouse position, which every
                    // object carries; reading it as a picture would add
                    // picture elements to it.
                    nextPic.MouseX = following.GetMouseX();
                    nextPic.MouseY = following.GetMouseY();
                }
            } else {
                // The last object: the arrow rests where it was recorded.
                nextPic.MouseX = currentPic.MouseX;
                nextPic.MouseY = currentPic.MouseY;
            }
            const int64_t s = currentPic.StartTime, e = currentPic.EndTime, span = e - s;
            const double dx = double(nextPic.MouseX) - currentPic.MouseX;
            const double dy = double(nextPic.MouseY) - currentPic.MouseY;
            int64_t k = 0;
            for (int64_t f = s; f <= e; ++f, ++k) {
                m.GotoFrame(static_cast<int32_t>(f));
                if (f > s)
                    m.RemoveObject(media);
                int64_t x = currentPic.MouseX, y = currentPic.MouseY;
                if (span != 0) {
                    // nearbyint rounds halves to even in the default rounding mode.
                    x += static_cast<int64_t>(std::nearbyint(double(k) * dx / double(span)));
                    y += static_cast<int64_t>(std::nearbyint(double(k) * dy / double(span)));
                }
                media.Translate(Twips(x), Twips(y));
                m.AddObject(media);
            }
            m.RemoveObject(media);
        });
    }
}

} // namespace

void ExportMovie(const IXMLMovie& movie, const TExportSettings& settings, const std::string& target,
                 const TSwfWriters& writers, IExportReporter* reporter)
{
    if (movie.IsNull())
        throw Error("No movie document is open");
    CheckLength(movie, settings.StopAtEnd, writers.SwfMovie);
    TFrameTracker tracker(writers.SwfMovie);
    TExportTarget t{
        {tracker, writers.SwfMedia, writers.SwfFont, writers.SwfText, writers.SwfAction},
        reporter,
        settings.ClickPath};

    ExportHeader(movie, t);
    ExportTimeline(movie, settings.BasePath, t);
    if (settings.StopAtEnd) {
        // The program never writes "TotalFrames"; a recording longer than
        // the template's value must still play to its end.
        int32_t frame = std::max({movie.GetTotalFrames(), tracker.LastFrame, 0});
        tracker.GotoFrame(frame);
        writers.SwfAction.MakeActionStop();
        tracker.AddAction(writers.SwfAction);
    }
    tracker.WriteMovie(target);
}

} // namespace quillora
