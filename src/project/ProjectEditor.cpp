#include "project/ProjectEditor.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <set>
#include <string_view>
#include <unordered_map>

#include "export/ExportReporter.h"
#include "swf/Media.h"

namespace quillora {

namespace {

bool IsPic(std::string_view kind)
{
    return kind == "Pic";
}
bool IsAttached(std::string_view kind)
{
    return kind == "Text" || kind == "Sound";
}

std::string Describe(const IXMLObj& obj, int32_t index)
{
    std::string name = obj.PeekText({"ObjName"});
    return name.empty() ? "object " + std::to_string(index + 1) : name;
}

// --- the layout ---------------------------------------------------------------

struct LayoutPic {
    IXMLObj Obj;
    int32_t Start = 0;
    int32_t Length = 0;
};

struct LayoutOther {
    IXMLObj Obj;
    bool Text = false;
    int32_t Owner = -1; // index into Pics
    int32_t Offset = 0; // frames from the owner's start
    // A caption that lasts exactly as long as its picture keeps doing so;
    // EndDelta is its end less the picture's.
    bool Covers = false;
    int32_t EndDelta = 0;
    int32_t Duration = 0;
    int32_t Start = 0; // after the layout
    size_t Order = 0;  // in the document, for a stable sort
};

struct Layout {
    std::vector<LayoutPic> Pics;
    std::vector<LayoutOther> Others;
    std::vector<IXMLObj> Unknown; // other kinds: stay as they are, last
};

// The picture on screen at frame t (the last that starts at or before it),
// or the first picture for a frame before all of them.
int32_t OwnerAt(const std::vector<LayoutPic>& pics, int32_t t)
{
    auto it = std::upper_bound(pics.begin(), pics.end(), t,
                               [](int32_t f, const LayoutPic& p) { return f < p.Start; });
    return it == pics.begin() ? 0 : int32_t(it - pics.begin()) - 1;
}

// Items in spare that do not read are kept aside as of an unknown kind, so
// that an object the document cannot use can still be deleted.
Layout ReadLayout(const IXMLObjList& list, const std::set<pugi::xml_node>& spare = {})
{
    Layout layout;
    std::vector<IXMLObj> items = list.AllItems();
    std::vector<std::pair<LayoutOther, int32_t>> others; // with their end
    for (size_t i = 0; i < items.size(); ++i) {
        const IXMLObj& obj = items[i];
        std::string kind = obj.PeekText({"ObjTypeName"});
        try {
            if (IsPic(kind)) {
                int32_t s = obj.GetStartTime(), e = obj.GetEndTime();
                layout.Pics.push_back({obj, s, int32_t(std::max<int64_t>(0, int64_t(e) - s))});
            } else if (IsAttached(kind)) {
                LayoutOther o;
                o.Obj = obj;
                o.Text = kind == "Text";
                o.Start = obj.GetStartTime();
                o.Order = i;
                others.emplace_back(o, o.Text ? obj.GetEndTime() : 0);
            } else {
                layout.Unknown.push_back(obj);
            }
        } catch (const std::exception& e) {
            if (spare.count(obj.Node())) { // nothing of it was kept before the throw
                layout.Unknown.push_back(obj);
                continue;
            }
            throw Error(Describe(obj, int32_t(i)) + ": " + e.what());
        }
    }
    std::stable_sort(layout.Pics.begin(), layout.Pics.end(),
                     [](const LayoutPic& a, const LayoutPic& b) { return a.Start < b.Start; });
    for (auto& [o, end] : others) {
        if (!layout.Pics.empty()) {
            o.Owner = OwnerAt(layout.Pics, o.Start);
            const LayoutPic& p = layout.Pics[size_t(o.Owner)];
            o.Offset = int32_t(std::max<int64_t>(0, int64_t(o.Start) - p.Start));
            const int64_t picEnd = int64_t(p.Start) + p.Length;
            if (o.Text && o.Start == p.Start && (end == picEnd - 1 || end == picEnd)) {
                o.Covers = true;
                o.EndDelta = int32_t(end - picEnd);
            }
        }
        o.Duration = int32_t(std::max<int64_t>(0, int64_t(end) - o.Start));
        layout.Others.push_back(o);
    }
    return layout;
}

int32_t Checked(int64_t frame)
{
    if (frame > std::numeric_limits<int32_t>::max())
        throw Error("the movie would be too long");
    return int32_t(frame);
}

// Times, cursor positions and order as the layout says.
void WriteLayout(const IXMLObjList& list, Layout& layout)
{
    int64_t t = 0;
    for (LayoutPic& p : layout.Pics) {
        p.Start = Checked(t);
        t += p.Length;
        if (p.Obj.GetStartTime() != p.Start)
            p.Obj.SetStartTime(p.Start);
        if (p.Obj.GetEndTime() != Checked(t))
            p.Obj.SetEndTime(Checked(t));
    }
    int32_t mouseX = 0, mouseY = 0;
    if (!layout.Pics.empty()) {
        mouseX = layout.Pics.back().Obj.GetMouseX();
        mouseY = layout.Pics.back().Obj.GetMouseY();
    }
    for (LayoutOther& o : layout.Others) {
        if (o.Owner >= 0) {
            const LayoutPic& p = layout.Pics[size_t(o.Owner)];
            const int32_t offset = std::min(o.Offset, std::max(0, p.Length - 1));
            o.Start = Checked(int64_t(p.Start) + offset);
            if (o.Obj.GetStartTime() != o.Start)
                o.Obj.SetStartTime(o.Start);
            if (o.Text) {
                int64_t end = o.Covers ? int64_t(p.Start) + p.Length + o.EndDelta
                                       : int64_t(o.Start) + o.Duration;
                end = std::max<int64_t>(end, o.Start);
                if (o.Obj.GetEndTime() != Checked(end))
                    o.Obj.SetEndTime(Checked(end));
            }
            if (o.Obj.GetMouseX() != mouseX)
                o.Obj.SetMouseX(mouseX);
            if (o.Obj.GetMouseY() != mouseY)
                o.Obj.SetMouseY(mouseY);
        }
    }
    std::stable_sort(layout.Others.begin(), layout.Others.end(),
                     [](const LayoutOther& a, const LayoutOther& b) {
                         return a.Start != b.Start ? a.Start < b.Start : a.Order < b.Order;
                     });
    std::vector<IXMLObj> order;
    for (const LayoutPic& p : layout.Pics)
        order.push_back(p.Obj);
    for (const LayoutOther& o : layout.Others)
        order.push_back(o.Obj);
    order.insert(order.end(), layout.Unknown.begin(), layout.Unknown.end());
    list.Arrange(order);
}

int32_t IndexOf(const IXMLObjList& list, const IXMLObj& obj)
{
    int32_t i = 0;
    for (const IXMLObj& item : list.AllItems()) {
        if (item == obj)
            return i;
        ++i;
    }
    return -1;
}

int32_t PicturePlace(const Layout& layout, const IXMLObj& obj)
{
    for (size_t i = 0; i < layout.Pics.size(); ++i)
        if (layout.Pics[i].Obj == obj)
            return int32_t(i);
    return -1;
}

// The item at index, which must be of that kind.
IXMLObj ItemOfKind(const IXMLObjList& list, int32_t index, std::string_view kind, const char* what)
{
    if (index < 0 || index >= list.Count())
        throw Error(std::string("there is no such ") + what);
    IXMLObj obj = list.Items(index);
    if (obj.PeekText({"ObjTypeName"}) != kind)
        throw Error(Describe(obj, index) + " is not a " + what);
    return obj;
}

std::string ColorText(int32_t color)
{
    if (color < 0 || color > 0xFFFFFF)
        throw Error("the colour " + std::to_string(color) + " is not a colour value");
    char buf[16];
    std::snprintf(buf, sizeof buf, "$%06X", unsigned(color));
    return buf;
}

void CheckCaption(const TCaption& c)
{
    if (c.Content.empty())
        throw Error("a caption needs some text");
    if (c.FontName.empty())
        throw Error("a caption needs a font");
    if (c.FontSize < 1 || c.FontSize > 1000)
        throw Error("the font size must be 1 to 1000");
    ColorText(c.FontColor);
}

void WriteCaption(const IXMLObjText& t, const TCaption& c)
{
    // The order a new text is written in.
    t.SetContent(c.Content);
    t.SetTextUnit(1);
    t.SetFontName(c.FontName);
    t.SetFontSize(c.FontSize);
    t.SetFontColor(ColorText(c.FontColor));
    t.SetPositionX(c.PositionX);
    t.SetPositionY(c.PositionY);
    t.SetEffectName("None");
    t.SetEffectValue("");
}

// A new item with the common elements, in the order the object tools write.
IXMLObj AppendObject(const IXMLObjList& list, const char* kind, int32_t start, int32_t end)
{
    std::string name = NewObjectName(list, kind);
    IXMLObj obj = list.Add();
    obj.SetDemo("");
    obj.SetMouseX(0);
    obj.SetMouseY(0);
    obj.SetObjName(name);
    obj.SetStartTime(start);
    obj.SetEndTime(end);
    obj.SetLayer(2);
    obj.SetObjTypeName(kind);
    return obj;
}

void CheckSound(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error(kSoundErrorMessage);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
        swf::ParseWav(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    } catch (const std::exception&) {
        throw Error(kSoundErrorMessage);
    }
}

int32_t PeekInt(const IXMLObj& obj, std::initializer_list<const char*> path, std::string& problem)
{
    try {
        return StrToInt32(obj.PeekText(path));
    } catch (const std::exception& e) {
        if (problem.empty()) {
            std::string where;
            for (const char* p : path)
                where = p; // the value's own name
            problem = where + ": " + e.what();
        }
        return 0;
    }
}

// Undo and redo of one edit: the items before and after it.
class TSnapshotCommand : public TEditCommand {
  public:
    TSnapshotCommand(TProjectEditor& editor, std::string name, TProjectEditor::TSnapshot before,
                     TProjectEditor::TSnapshot after)
        : Editor(editor), Label(std::move(name)), Before(std::move(before)), After(std::move(after))
    {
    }
    std::string Name() const override { return Label; }
    void Undo() override { Editor.RestoreSnapshot(Before); }
    void Redo() override { Editor.RestoreSnapshot(After); }

  private:
    TProjectEditor& Editor;
    std::string Label;
    TProjectEditor::TSnapshot Before, After;
};

// Undo and redo of a change of the videos' zoom: the movie's elements
// before and after it (the items stay as they are).
class TFocusCommand : public TEditCommand {
  public:
    TFocusCommand(const IXMLMovie& movie, bool* modified, TFocusElements before,
                  TFocusElements after)
        : Movie(movie), Modified(modified), Before(std::move(before)), After(std::move(after))
    {
    }
    std::string Name() const override { return "Zoom and Clicks"; }
    void Undo() override { Put(Before); }
    void Redo() override { Put(After); }

  private:
    void Put(const TFocusElements& e)
    {
        const TFocusElements now = PeekFocusElements(Movie);
        RestoreFocusElements(Movie, e);
        try {
            Movie.SaveDocument();
        } catch (...) {
            RestoreFocusElements(Movie, now);
            throw;
        }
        if (Modified)
            *Modified = true;
    }
    IXMLMovie Movie;
    bool* Modified;
    TFocusElements Before, After;
};

} // namespace

// --- reading ------------------------------------------------------------------

const IXMLMovie& TProjectEditor::Movie() const
{
    if (!MovieRef || MovieRef->IsNull())
        throw Error("No movie document is open");
    return *MovieRef;
}

int32_t TProjectEditor::Rate() const
{
    try {
        int32_t rate = StrToInt32(Movie().PeekText({"Rate"}));
        return rate > 0 ? rate : 15;
    } catch (const std::exception&) {
        return 15;
    }
}

std::vector<TStoryItem> TProjectEditor::Items() const
{
    std::vector<TStoryItem> pics, others, unknown;
    if (!MovieRef || MovieRef->IsNull())
        return {};
    int32_t index = 0;
    for (const IXMLObj& obj : Movie().GetObj().AllItems()) {
        TStoryItem it;
        it.Index = index++;
        it.Name = obj.PeekText({"ObjName"});
        it.Kind = obj.PeekText({"ObjTypeName"});
        it.Start = PeekInt(obj, {"StartTime"}, it.Problem);
        it.MouseX = PeekInt(obj, {"MouseX"}, it.Problem);
        it.MouseY = PeekInt(obj, {"MouseY"}, it.Problem);
        if (it.Kind == "Pic") {
            it.Length = std::max(0, PeekInt(obj, {"EndTime"}, it.Problem) - it.Start);
            it.Content = obj.ResolvePath(obj.PeekText({"ObjType", "ObjPic", "Content"}));
            it.PositionX = PeekInt(obj, {"ObjType", "ObjPic", "PositionX"}, it.Problem);
            it.PositionY = PeekInt(obj, {"ObjType", "ObjPic", "PositionY"}, it.Problem);
            it.Width = PeekInt(obj, {"ObjType", "ObjPic", "Width"}, it.Problem);
            it.Height = PeekInt(obj, {"ObjType", "ObjPic", "Height"}, it.Problem);
            it.Zoom = obj.PeekText({"Zoom"}) != "False";
            if (it.Content.empty() && it.Problem.empty())
                it.Problem = "no picture file";
            pics.push_back(std::move(it));
        } else if (it.Kind == "Text") {
            // A caption shows in every frame from its start to its end.
            it.Length = std::max(0, PeekInt(obj, {"EndTime"}, it.Problem) - it.Start + 1);
            it.Content = obj.PeekText({"ObjType", "ObjText", "Content"});
            it.FontName = obj.PeekText({"ObjType", "ObjText", "FontName"});
            it.FontSize = PeekInt(obj, {"ObjType", "ObjText", "FontSize"}, it.Problem);
            it.PositionX = PeekInt(obj, {"ObjType", "ObjText", "PositionX"}, it.Problem);
            it.PositionY = PeekInt(obj, {"ObjType", "ObjText", "PositionY"}, it.Problem);
            try {
                it.FontColor = ParseColor(obj.PeekText({"ObjType", "ObjText", "FontColor"}));
                SplitColor(it.FontColor);
            } catch (const std::exception& e) {
                if (it.Problem.empty())
                    it.Problem = std::string("FontColor: ") + e.what();
                it.FontColor = 0;
            }
            others.push_back(std::move(it));
        } else if (it.Kind == "Sound") {
            it.Content = obj.ResolvePath(obj.PeekText({"ObjType", "ObjSound", "Content"}));
            others.push_back(std::move(it));
        } else {
            it.Problem = "the movie has no place for objects of kind \"" + it.Kind + "\"";
            unknown.push_back(std::move(it));
        }
    }
    std::stable_sort(pics.begin(), pics.end(),
                     [](const TStoryItem& a, const TStoryItem& b) { return a.Start < b.Start; });
    std::stable_sort(others.begin(), others.end(),
                     [](const TStoryItem& a, const TStoryItem& b) { return a.Start < b.Start; });
    std::vector<TStoryItem> out;
    out.reserve(pics.size() + others.size() + unknown.size());
    size_t o = 0;
    for (size_t p = 0; p < pics.size(); ++p) {
        // Captions and sounds before the first picture belong to it.
        const bool last = p + 1 == pics.size();
        out.push_back(pics[p]);
        while (o < others.size() && (last || others[o].Start < pics[p + 1].Start)) {
            others[o].Picture = pics[p].Index;
            out.push_back(others[o++]);
        }
    }
    for (; o < others.size(); ++o)
        out.push_back(others[o]);
    for (TStoryItem& it : unknown)
        out.push_back(std::move(it));
    return out;
}

// --- snapshots ------------------------------------------------------------------

TProjectEditor::TSnapshot TProjectEditor::Snapshot() const
{
    std::unordered_map<std::string_view, std::shared_ptr<const std::string>> known;
    for (const auto& s : Last)
        known.emplace(*s, s);
    TSnapshot snap;
    for (const IXMLObj& obj : Movie().GetObj().AllItems()) {
        std::string xml = obj.SaveToXML();
        auto it = known.find(xml);
        snap.push_back(it != known.end() ? it->second
                                         : std::make_shared<const std::string>(std::move(xml)));
    }
    Last = snap;
    return snap;
}

void TProjectEditor::RestoreSnapshot(const TSnapshot& snapshot)
{
    const IXMLObjList list = Movie().GetObj();
    TSnapshot now = Snapshot();
    auto restore = [&](const TSnapshot& s) {
        std::vector<std::string_view> items;
        for (const auto& p : s)
            items.push_back(*p);
        list.Restore(items);
    };
    restore(snapshot);
    try {
        list.SaveDocument();
    } catch (...) {
        restore(now);
        throw;
    }
    Last = snapshot;
    Known = snapshot;
    Touched();
}

namespace {
bool SameItems(const TProjectEditor::TSnapshot& a, const TProjectEditor::TSnapshot& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const auto& x, const auto& y) { return x == y || *x == *y; });
}
} // namespace

void TProjectEditor::CheckHistory()
{
    if (Stack.Size() == 0 || !MovieRef || MovieRef->IsNull())
        return;
    if (!SameItems(Snapshot(), Known))
        Stack.Clear();
}

void TProjectEditor::Touched()
{
    if (ModifiedRef)
        *ModifiedRef = true;
}

void TProjectEditor::Undo()
{
    const std::string name = Stack.UndoName();
    CheckHistory();
    if (!name.empty() && !Stack.CanUndo())
        throw Error("Cannot undo " + name +
                    ": the movie was changed since other than by an edit (a recording?), so "
                    "the edits before that can no longer be undone");
    try {
        Stack.Undo();
    } catch (const std::exception& e) {
        throw Error("Cannot undo " + name + ": " + e.what());
    }
}

void TProjectEditor::Redo()
{
    const std::string name = Stack.RedoName();
    CheckHistory();
    if (!name.empty() && !Stack.CanRedo())
        throw Error("Cannot redo " + name +
                    ": the movie was changed since other than by an edit (a recording?)");
    try {
        Stack.Redo();
    } catch (const std::exception& e) {
        throw Error("Cannot redo " + name + ": " + e.what());
    }
}

// --- the edits ------------------------------------------------------------------

template <class Change> int32_t TProjectEditor::Edit(const std::string& name, Change&& change)
{
    const IXMLObjList list = Movie().GetObj();
    CheckHistory();
    TSnapshot before = Snapshot();
    int32_t result = -1;
    try {
        result = change(list);
        list.SaveDocument();
    } catch (const std::exception& e) {
        std::vector<std::string_view> items;
        for (const auto& p : before)
            items.push_back(*p);
        list.Restore(items);
        std::string what = name;
        if (!what.empty())
            what[0] = char(std::tolower(static_cast<unsigned char>(what[0])));
        throw Error("Cannot " + what + ": " + e.what());
    }
    TSnapshot after = Snapshot();
    if (after == before) // shared items compare by pointer: nothing changed
        return result;
    Known = after;
    Stack.Push(
        std::make_unique<TSnapshotCommand>(*this, name, std::move(before), std::move(after)));
    Touched();
    return result;
}

void TProjectEditor::SetPictureZoom(int32_t pictureIndex, bool zoom)
{
    const IXMLObjList list = Movie().GetObj();
    IXMLObj pic = ItemOfKind(list, pictureIndex, "Pic", "picture");
    Edit((zoom ? "Zoom on " : "No Zoom on ") + Describe(pic, pictureIndex),
         [&](const IXMLObjList&) {
             // A picture let in again is as it was recorded: no element.
             if (zoom) {
                 if (pugi::xml_node n = pic.Node().child("Zoom"))
                     pic.Node().remove_child(n);
             } else {
                 pic.SetZoom("False");
             }
             return -1;
         });
}

void TProjectEditor::SetFocusChoice(const TFocusChoice& choice)
{
    const IXMLMovie& movie = Movie();
    CheckHistory();
    const TFocusElements before = PeekFocusElements(movie);
    try {
        WriteFocusChoice(movie, choice);
        movie.SaveDocument();
    } catch (const std::exception& e) {
        RestoreFocusElements(movie, before);
        throw Error(std::string("Cannot change the zoom and clicks: ") + e.what());
    }
    TFocusElements after = PeekFocusElements(movie);
    if (after == before)
        return;
    Known = Snapshot(); // the items as this edit leaves them, for CheckHistory
    Stack.Push(std::make_unique<TFocusCommand>(movie, ModifiedRef, before, std::move(after)));
    Touched();
}

void TProjectEditor::DeleteObjects(std::vector<int32_t> indexes)
{
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    if (indexes.empty())
        return;
    const IXMLObjList list = Movie().GetObj();
    std::string name = "Delete";
    if (indexes.size() == 1 && indexes[0] >= 0 && indexes[0] < list.Count())
        name += " " + Describe(list.Items(indexes[0]), indexes[0]);
    else
        name += " " + std::to_string(indexes.size()) + " Objects";
    Edit(name, [&](const IXMLObjList& l) {
        std::vector<IXMLObj> items = l.AllItems();
        for (int32_t i : indexes)
            if (i < 0 || i >= int32_t(items.size()))
                throw Error("there is no such object");
        std::set<pugi::xml_node> gone;
        for (int32_t i : indexes)
            gone.insert(items[size_t(i)].Node());
        Layout layout = ReadLayout(l, gone);
        auto isGone = [&](const IXMLObj& o) { return gone.count(o.Node()) > 0; };
        // A picture takes its captions and sounds with it.
        std::vector<bool> picGone;
        for (const LayoutPic& p : layout.Pics)
            picGone.push_back(isGone(p.Obj));
        std::vector<IXMLObj> remove;
        Layout kept;
        std::vector<int32_t> newPlace(layout.Pics.size(), -1);
        for (size_t i = 0; i < layout.Pics.size(); ++i) {
            if (picGone[i]) {
                remove.push_back(layout.Pics[i].Obj);
            } else {
                newPlace[i] = int32_t(kept.Pics.size());
                kept.Pics.push_back(layout.Pics[i]);
            }
        }
        for (LayoutOther& o : layout.Others) {
            if (isGone(o.Obj) || (o.Owner >= 0 && picGone[size_t(o.Owner)])) {
                remove.push_back(o.Obj);
            } else {
                if (o.Owner >= 0)
                    o.Owner = newPlace[size_t(o.Owner)];
                kept.Others.push_back(o);
            }
        }
        for (const IXMLObj& u : layout.Unknown) {
            if (isGone(u))
                remove.push_back(u);
            else
                kept.Unknown.push_back(u);
        }
        for (const IXMLObj& o : remove)
            l.Remove(o);
        WriteLayout(l, kept);
        return -1;
    });
}

int32_t TProjectEditor::MovePicture(int32_t index, int32_t place)
{
    const IXMLObjList list = Movie().GetObj();
    IXMLObj pic = ItemOfKind(list, index, "Pic", "picture");
    {
        // Its own place: nothing to do, nothing to undo.
        std::vector<TStoryItem> items = Items();
        int32_t now = 0, count = 0;
        for (const TStoryItem& it : items) {
            if (it.Kind != "Pic")
                continue;
            if (it.Index == index)
                now = count;
            ++count;
        }
        if (std::clamp(place, 0, count - 1) == now)
            return index;
    }
    return Edit("Move " + Describe(pic, index), [&](const IXMLObjList& l) {
        Layout layout = ReadLayout(l);
        const int32_t from = PicturePlace(layout, pic);
        const int32_t to = std::clamp(place, 0, int32_t(layout.Pics.size()) - 1);
        if (from != to) {
            // Captions and sounds follow their picture to its new place.
            std::vector<int32_t> perm(layout.Pics.size());
            for (int32_t i = 0; i < int32_t(perm.size()); ++i)
                perm[size_t(i)] = i;
            perm.erase(perm.begin() + from);
            perm.insert(perm.begin() + to, from);
            std::vector<int32_t> placeOf(perm.size());
            std::vector<LayoutPic> pics;
            for (size_t k = 0; k < perm.size(); ++k) {
                placeOf[size_t(perm[k])] = int32_t(k);
                pics.push_back(layout.Pics[size_t(perm[k])]);
            }
            layout.Pics = std::move(pics);
            for (LayoutOther& o : layout.Others)
                if (o.Owner >= 0)
                    o.Owner = placeOf[size_t(o.Owner)];
        }
        WriteLayout(l, layout);
        return IndexOf(l, pic);
    });
}

void TProjectEditor::SetPictureLength(int32_t index, int32_t frames)
{
    const IXMLObjList list = Movie().GetObj();
    IXMLObj pic = ItemOfKind(list, index, "Pic", "picture");
    Edit("Set Length of " + Describe(pic, index), [&](const IXMLObjList& l) {
        if (frames < 1 || frames > kMaxPictureLength)
            throw Error("a picture's length must be 1 to " + std::to_string(kMaxPictureLength) +
                        " frames");
        Layout layout = ReadLayout(l);
        layout.Pics[size_t(PicturePlace(layout, pic))].Length = frames;
        WriteLayout(l, layout);
        return -1;
    });
}

int32_t TProjectEditor::AddCaption(int32_t pictureIndex, const TCaption& caption)
{
    const IXMLObjList list = Movie().GetObj();
    IXMLObj pic = ItemOfKind(list, pictureIndex, "Pic", "picture");
    return Edit("Add Caption", [&](const IXMLObjList& l) {
        CheckCaption(caption);
        Layout layout = ReadLayout(l);
        const int32_t place = PicturePlace(layout, pic);
        const LayoutPic& p = layout.Pics[size_t(place)];
        // On screen in exactly the frames of its picture.
        IXMLObj text = AppendObject(l, "Text", p.Start, p.Start + std::max(0, p.Length - 1));
        WriteCaption(text.GetObjType().GetObjText(), caption);
        LayoutOther o;
        o.Obj = text;
        o.Text = true;
        o.Owner = place;
        o.Covers = true;
        o.EndDelta = -1;
        o.Order = size_t(l.Count());
        layout.Others.push_back(o);
        WriteLayout(l, layout);
        return IndexOf(l, text);
    });
}

void TProjectEditor::EditCaption(int32_t textIndex, const TCaption& caption)
{
    const IXMLObjList list = Movie().GetObj();
    IXMLObj text = ItemOfKind(list, textIndex, "Text", "caption");
    const bool moved = [&] {
        // Only the position changed: the edit is a move of the caption.
        auto peek = [&](const char* name) { return text.PeekText({"ObjType", "ObjText", name}); };
        try {
            return peek("Content") == caption.Content && peek("FontName") == caption.FontName &&
                   StrToInt32(peek("FontSize")) == caption.FontSize &&
                   ParseColor(peek("FontColor")) == caption.FontColor;
        } catch (const std::exception&) {
            return false;
        }
    }();
    Edit(moved ? "Move Caption" : "Edit Caption", [&](const IXMLObjList& l) {
        CheckCaption(caption);
        Layout layout = ReadLayout(l);
        WriteCaption(text.GetObjType().GetObjText(), caption);
        WriteLayout(l, layout);
        return -1;
    });
}

int32_t TProjectEditor::AddSound(int32_t pictureIndex, const std::string& wavPath)
{
    const IXMLObjList list = Movie().GetObj();
    IXMLObj pic = ItemOfKind(list, pictureIndex, "Pic", "picture");
    // The message the export would give, before anything is added.
    CheckSound(wavPath);
    return Edit("Add Sound", [&](const IXMLObjList& l) {
        Layout layout = ReadLayout(l);
        const int32_t place = PicturePlace(layout, pic);
        IXMLObj sound = AppendObject(l, "Sound", layout.Pics[size_t(place)].Start, 1);
        sound.GetObjType().GetObjSound().SetContent(wavPath);
        LayoutOther o;
        o.Obj = sound;
        o.Owner = place;
        o.Order = size_t(l.Count());
        layout.Others.push_back(o);
        WriteLayout(l, layout);
        return IndexOf(l, sound);
    });
}

void TProjectEditor::SetCursor(int32_t pictureIndex, int32_t x, int32_t y)
{
    const IXMLObjList list = Movie().GetObj();
    IXMLObj pic = ItemOfKind(list, pictureIndex, "Pic", "picture");
    Edit("Set Cursor of " + Describe(pic, pictureIndex), [&](const IXMLObjList& l) {
        Layout layout = ReadLayout(l);
        pic.SetMouseX(x);
        pic.SetMouseY(y);
        WriteLayout(l, layout);
        return -1;
    });
}

} // namespace quillora
