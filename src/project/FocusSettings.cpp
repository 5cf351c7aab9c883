#include "project/FocusSettings.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace quillora {

namespace {

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// "True", "False" or missing; anything else is named with its element.
std::optional<bool> ReadSwitch(const XMLNodeBinding& owner, const char* element)
{
    const std::string text = owner.PeekText({element});
    const std::string_view t = Trimmed(text);
    if (t.empty())
        return std::nullopt;
    if (t == "True")
        return true;
    if (t == "False")
        return false;
    throw Error("\"" + std::string(element) + "\" is \"" + text + "\"; it holds True or False",
                owner.Place(element));
}

std::optional<int64_t> PeekInt(const XMLNodeBinding& owner, const char* element)
{
    try {
        return StrToInt32(owner.PeekText({element}));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

std::string ZoomLevelRange()
{
    return "a number from " + ZoomLevelText(video::kMinZoomLevel) + " to " +
           ZoomLevelText(video::kMaxZoomLevel);
}

std::optional<double> ParseZoomLevel(std::string_view text)
{
    const std::string_view t = Trimmed(text);
    double v = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::fixed);
    if (t.empty() || ec != std::errc() || end != t.data() + t.size())
        return std::nullopt;
    if (!(v >= video::kMinZoomLevel && v <= video::kMaxZoomLevel))
        return std::nullopt;
    return v;
}

std::string ZoomLevelText(double level)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", level);
    std::string s = buf;
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.')
        s.pop_back();
    return s;
}

TFocusChoice ReadFocusChoice(const IXMLMovie& movie, const TFocusOverride& over)
{
    TFocusChoice c;
    const std::optional<bool> zoom = ReadSwitch(movie, "Zoom");
    const std::optional<bool> rings = ReadSwitch(movie, "ClickRings");
    c.Zoom = over.Zoom.value_or(zoom.value_or(false));
    c.ClickRings = over.ClickRings.value_or(rings.value_or(c.Zoom));
    if (over.Level) {
        c.Level = *over.Level;
    } else if (const std::string text = movie.PeekText({"ZoomLevel"}); !Trimmed(text).empty()) {
        // Kept while the zoom is off, for when it is turned on again.
        if (const std::optional<double> level = ParseZoomLevel(text))
            c.Level = *level;
        else if (c.Zoom)
            throw Error("The zoom level \"" + text + "\" is not " + ZoomLevelRange(),
                        movie.Place("ZoomLevel"));
    }
    return c;
}

void WriteFocusChoice(const IXMLMovie& movie, const TFocusChoice& choice)
{
    movie.SetZoom(choice.Zoom ? "True" : "False");
    movie.SetZoomLevel(ZoomLevelText(choice.Level));
    movie.SetClickRings(choice.ClickRings ? "True" : "False");
}

namespace {
const char* const kFocusNames[] = {"Zoom", "ZoomLevel", "ClickRings"};
} // namespace

TFocusElements PeekFocusElements(const IXMLMovie& movie)
{
    TFocusElements e;
    std::optional<std::string>* fields[] = {&e.Zoom, &e.Level, &e.ClickRings};
    for (size_t i = 0; i < 3; ++i)
        if (movie.Node().child(kFocusNames[i]))
            *fields[i] = movie.PeekText({kFocusNames[i]});
    return e;
}

void RestoreFocusElements(const IXMLMovie& movie, const TFocusElements& e)
{
    const std::optional<std::string>* fields[] = {&e.Zoom, &e.Level, &e.ClickRings};
    for (size_t i = 0; i < 3; ++i) {
        pugi::xml_node n = movie.Node().child(kFocusNames[i]);
        if (!*fields[i]) {
            if (n)
                movie.Node().remove_child(n);
            continue;
        }
        if (!n)
            n = movie.Node().append_child(kFocusNames[i]);
        while (n.first_child())
            n.remove_child(n.first_child());
        n.append_child(pugi::node_pcdata).set_value((*fields[i])->c_str());
    }
}

bool PictureZooms(const IXMLObj& obj)
{
    return ReadSwitch(obj, "Zoom").value_or(true);
}

video::TFocus MakeFocus(const IXMLMovie& movie, const video::TTimeline& t,
                        const TFocusChoice& choice)
{
    video::TFocus focus;
    if (!choice.Zoom && !choice.ClickRings)
        return focus;
    video::TCameraScene scene;
    scene.width = t.PixelWidth();
    scene.height = t.PixelHeight();
    scene.rate = t.rate;
    scene.frames = t.FrameCount();
    scene.pointer = video::PointerPath(t, scene.frames);
    const std::vector<IXMLObj> objs = movie.GetObj().AllItems();
    for (const IXMLObj& obj : objs) {
        if (obj.PeekText({"ObjTypeName"}) != "Pic")
            continue;
        const auto start = PeekInt(obj, "StartTime"), end = PeekInt(obj, "EndTime");
        if (!start || !end)
            continue;
        scene.shots.push_back({int32_t(*start), int32_t(*end), PictureZooms(obj)});
        // The click of a still picture sounds in its second frame.
        const int64_t click = *start + 1;
        if (choice.ClickRings && obj.PeekText({"ObjType", "ObjPic", "EffectName"}) == "None" &&
            !obj.PeekText({"ObjType", "ObjPic", "Content"}).empty() && click >= 0 &&
            click < scene.frames) {
            video::TClickRing ring{int32_t(click), 0, 0};
            if (const auto& tip = scene.pointer[size_t(click)]) {
                ring.x = tip->x;
                ring.y = tip->y;
            } else {
                ring.x = PeekInt(obj, "MouseX").value_or(0);
                ring.y = PeekInt(obj, "MouseY").value_or(0);
            }
            focus.rings.push_back(ring);
        }
    }
    std::stable_sort(focus.rings.begin(), focus.rings.end(),
                     [](const auto& a, const auto& b) { return a.frame < b.frame; });
    if (choice.Zoom)
        focus.views = video::CameraTrack(scene, choice.Level);
    return focus;
}

} // namespace quillora
