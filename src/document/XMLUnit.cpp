#include "document/XMLUnit.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <set>
#include <sstream>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quillora {

namespace {

const char* const kNullToInteger = "Could not convert variant of type (Null) into type (Integer)";
const char* const kStringToInteger =
    "Could not convert variant of type (String) into type (Integer)";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view TrimBlanks(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool IsElementNamed(pugi::xml_node n, const char* name)
{
    return n.type() == pugi::node_element && std::string_view(n.name()) == name;
}

// The first child element of that name, or a null node.
pugi::xml_node FirstChildNamed(pugi::xml_node parent, const char* name)
{
    for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling())
        if (IsElementNamed(n, name))
            return n;
    return {};
}

// The text of a value element, or "" when it holds anything but one text
// (or CDATA) node.
std::string_view PlainText(pugi::xml_node element)
{
    pugi::xml_node first = element.first_child();
    if (!first || first != element.last_child() ||
        (first.type() != pugi::node_pcdata && first.type() != pugi::node_cdata))
        return {};
    return first.value();
}

// Where element sits: its path up to its "Obj" item (or up to the root for
// a setting of the movie) and that item's place among all items. Only
// failures ask, so the walk over the items costs nothing on the way.
ErrorPlace PlaceOf(pugi::xml_node element)
{
    ErrorPlace place;
    place.Value = PlainText(element);
    std::string path;
    for (pugi::xml_node n = element; n && n.parent().type() == pugi::node_element; n = n.parent()) {
        pugi::xml_node parent = n.parent();
        if (parent.parent().type() == pugi::node_document && IsElementNamed(n, "Obj")) {
            place.ObjectIndex = 0;
            for (pugi::xml_node o = parent.first_child(); o; o = o.next_sibling()) {
                if (!IsElementNamed(o, "Obj"))
                    continue;
                if (o == n)
                    place.ObjectIndex = place.ObjectCount;
                ++place.ObjectCount;
            }
            place.ObjectName = PlainText(FirstChildNamed(n, "ObjName"));
            break;
        }
        path = path.empty() ? std::string(n.name()) : std::string(n.name()) + "/" + path;
    }
    place.Element = std::move(path);
    return place;
}

// The single text (or CDATA) node of a value element, created when the
// element is empty.
pugi::xml_node TextNode(pugi::xml_node element)
{
    pugi::xml_node first = element.first_child();
    if (!first)
        return element.append_child(pugi::node_pcdata);
    if (first == element.last_child() &&
        (first.type() == pugi::node_pcdata || first.type() == pugi::node_cdata))
        return first;
    throw Error("Element does not contain a single text node", PlaceOf(element));
}

[[noreturn]] void OutOfBounds(int32_t index)
{
    throw Error("List index out of bounds (" + std::to_string(index) + ")");
}

} // namespace

int32_t StrToInt32(std::string_view text)
{
    if (text.empty())
        throw Error(kNullToInteger);
    std::string_view s = TrimBlanks(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty())
        throw Error(kStringToInteger);
    int64_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            throw Error(kStringToInteger);
        value = value * 10 + (c - '0');
        if (value > int64_t(std::numeric_limits<int32_t>::max()) + 1)
            throw Error(kStringToInteger);
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int32_t>::max() || value < std::numeric_limits<int32_t>::min())
        throw Error(kStringToInteger);
    return static_cast<int32_t>(value);
}

std::string IntToStr(int32_t value)
{
    return std::to_string(value);
}

int32_t ParseColor(std::string_view text)
{
    std::string_view s = TrimBlanks(text);
    auto bad = [&]() -> Error {
        return Error("'" + std::string(text) + "' is not a valid colour value");
    };
    if (!s.empty() && s.front() == '$') {
        s.remove_prefix(1);
        // Up to eight hex digits: the full 32 bits, as the format's integer
        // parser reads them ("$FFFFFFFF" is -1 and then fails the range check).
        if (s.empty() || s.size() > 8)
            throw bad();
        uint32_t value = 0;
        auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, 16);
        if (ec != std::errc() || end != s.data() + s.size())
            throw bad();
        return static_cast<int32_t>(value);
    }
    try {
        return StrToInt32(text);
    } catch (const Error&) {
        throw bad();
    }
}

ColorRGB SplitColor(int32_t color)
{
    if (color < 0)
        throw Error("Range check error");
    return ColorRGB{uint8_t(color & 0xFF), uint8_t((color >> 8) & 0xFF),
                    uint8_t((color >> 16) & 0xFF)};
}

void XMLNodeBinding::SaveDocument() const
{
    if (!doc_)
        throw Error("Cannot save: no document");
    if (doc_->fileName.empty())
        throw Error("Cannot save: the document has no file name");
    WriteFileAtomic(doc_->fileName, SerializeDocument(doc_->dom));
}

const std::string& XMLNodeBinding::DocumentFileName() const
{
    static const std::string none;
    return doc_ ? doc_->fileName : none;
}

pugi::xml_node XMLNodeBinding::Child(const char* name) const
{
    pugi::xml_node n = FirstChildNamed(node_, name);
    return n ? n : node_.append_child(name);
}

std::string XMLNodeBinding::GetText(const char* name) const
{
    return TextNode(Child(name)).value();
}

void XMLNodeBinding::SetText(const char* name, std::string_view value) const
{
    TextNode(Child(name)).set_value(std::string(value).c_str());
}

std::string XMLNodeBinding::ResolvePath(std::string_view stored) const
{
    if (stored.empty() || stored.front() == '/')
        return std::string(stored);
    const std::string& file = DocumentFileName();
    const size_t slash = file.find_last_of('/');
    if (slash == std::string::npos)
        return std::string(stored);
    return file.substr(0, slash + 1) + std::string(stored);
}

std::string XMLNodeBinding::PeekText(std::initializer_list<const char*> path) const
{
    pugi::xml_node n = node_;
    for (const char* name : path)
        if (!(n = FirstChildNamed(n, name)))
            return {};
    return std::string(PlainText(n));
}

int32_t XMLNodeBinding::GetInt(const char* name) const
{
    pugi::xml_node element = Child(name);
    try {
        return StrToInt32(TextNode(element).value());
    } catch (Error& e) {
        if (e.Place().Empty())
            e.Place() = PlaceOf(element);
        throw;
    }
}

ErrorPlace XMLNodeBinding::Place(const char* child) const
{
    if (!child)
        return PlaceOf(node_);
    pugi::xml_node n = FirstChildNamed(node_, child);
    if (n)
        return PlaceOf(n);
    // Not there (yet): where it would be.
    ErrorPlace place = PlaceOf(node_);
    place.Element = place.Element.empty() ? child : place.Element + "/" + child;
    return place;
}

void XMLNodeBinding::SetInt(const char* name, int32_t value) const
{
    SetText(name, IntToStr(value));
}

// --- the "Obj" collection ---------------------------------------------------

namespace {
std::vector<pugi::xml_node> ObjItems(pugi::xml_node movie)
{
    std::vector<pugi::xml_node> items;
    for (pugi::xml_node n = movie.first_child(); n; n = n.next_sibling())
        if (IsElementNamed(n, "Obj"))
            items.push_back(n);
    return items;
}

// The array of parent's items, built when it holds another parent's or
// none. The caller holds the array's lock.
std::vector<pugi::xml_node>& IndexedItems(detail::ObjIndex& index, pugi::xml_node parent)
{
    if (index.parent != parent) {
        index.items = ObjItems(parent);
        index.parent = parent;
    }
    return index.items;
}

// Reading item i by walking the i items before it made reading a whole
// project quadratic, so each document keeps its items in an array, built on
// first use and kept in step by every change the list makes. fn runs under
// the array's lock: a change and its update are one step to other readers.
template <class Fn> auto ReadItems(detail::DocState* doc, pugi::xml_node parent, Fn&& fn)
{
    if (!doc || !parent) {
        const std::vector<pugi::xml_node> items = ObjItems(parent);
        return fn(items);
    }
    detail::ObjIndex& index = doc->objIndex;
    std::lock_guard<std::mutex> hold(index.lock);
    return fn(std::as_const(IndexedItems(index, parent)));
}

// As ReadItems, for a change: fn changes the DOM and the array alike. Should
// it throw halfway, the array is dropped and built again on the next read.
template <class Fn> auto ChangeItems(detail::DocState* doc, pugi::xml_node parent, Fn&& fn)
{
    if (!doc || !parent) {
        std::vector<pugi::xml_node> items = ObjItems(parent);
        return fn(items);
    }
    detail::ObjIndex& index = doc->objIndex;
    std::lock_guard<std::mutex> hold(index.lock);
    std::vector<pugi::xml_node>& items = IndexedItems(index, parent);
    try {
        return fn(items);
    } catch (...) {
        index.parent = {};
        index.items.clear();
        throw;
    }
}

pugi::xml_node At(const std::vector<pugi::xml_node>& items, int32_t index)
{
    if (index < 0 || size_t(index) >= items.size())
        OutOfBounds(index);
    return items[size_t(index)];
}
} // namespace

int32_t IXMLObjList::Count() const
{
    return ReadItems(doc_.get(), node_, [](const std::vector<pugi::xml_node>& items) {
        return int32_t(items.size());
    });
}

std::vector<IXMLObj> IXMLObjList::AllItems() const
{
    return ReadItems(doc_.get(), node_, [&](const std::vector<pugi::xml_node>& nodes) {
        std::vector<IXMLObj> items;
        items.reserve(nodes.size());
        for (pugi::xml_node n : nodes)
            items.push_back(Bind<IXMLObj>(n));
        return items;
    });
}

IXMLObj IXMLObjList::Items(int32_t index) const
{
    return Bind<IXMLObj>(
        ReadItems(doc_.get(), node_,
                  [&](const std::vector<pugi::xml_node>& items) { return At(items, index); }));
}

IXMLObj IXMLObjList::Add() const
{
    return Bind<IXMLObj>(ChangeItems(doc_.get(), node_, [&](std::vector<pugi::xml_node>& items) {
        pugi::xml_node n = node_.append_child("Obj");
        if (n)
            items.push_back(n);
        return n;
    }));
}

IXMLObj IXMLObjList::Insert(int32_t index) const
{
    return Bind<IXMLObj>(ChangeItems(doc_.get(), node_, [&](std::vector<pugi::xml_node>& items) {
        pugi::xml_node n;
        if (index >= 0 && size_t(index) == items.size())
            n = node_.append_child("Obj");
        else
            n = node_.insert_child_before("Obj", At(items, index));
        if (n)
            items.insert(items.begin() + index, n);
        return n;
    }));
}

void IXMLObjList::Delete(int32_t index) const
{
    ChangeItems(doc_.get(), node_, [&](std::vector<pugi::xml_node>& items) {
        node_.remove_child(At(items, index));
        items.erase(items.begin() + index);
        return 0;
    });
}

int32_t IXMLObjList::Remove(const IXMLObj& item) const
{
    return ChangeItems(doc_.get(), node_, [&](std::vector<pugi::xml_node>& items) {
        auto it = std::find(items.begin(), items.end(), item.Node());
        if (it == items.end() || !item.Node())
            return int32_t(-1);
        node_.remove_child(*it);
        const auto index = int32_t(it - items.begin());
        items.erase(it);
        return index;
    });
}

void IXMLObjList::Clear() const
{
    ChangeItems(doc_.get(), node_, [&](std::vector<pugi::xml_node>& items) {
        for (pugi::xml_node n : items)
            node_.remove_child(n);
        items.clear();
        return 0;
    });
}

void IXMLObjList::ItemsChanged() const
{
    if (doc_)
        doc_->objIndex.Forget();
}

std::string IXMLObj::SaveToXML() const
{
    std::ostringstream out;
    // An empty value reads the same with or without its empty text node;
    // one spelling for both keeps comparisons of items honest.
    node_.print(out, "", pugi::format_raw | pugi::format_no_empty_element_tags,
                pugi::encoding_utf8);
    return std::move(out).str();
}

void IXMLObjList::Arrange(const std::vector<IXMLObj>& order) const
{
    ChangeItems(doc_.get(), node_, [&](std::vector<pugi::xml_node>& slots) {
        std::set<pugi::xml_node> wanted;
        for (const IXMLObj& item : order)
            wanted.insert(item.Node());
        if (order.size() != slots.size() || wanted.size() != slots.size() ||
            !std::all_of(slots.begin(), slots.end(),
                         [&](pugi::xml_node n) { return wanted.count(n); }))
            throw Error("Cannot arrange the objects: the new order does not hold each object once");
        // Markers hold the places while the items move between them.
        std::vector<pugi::xml_node> markers;
        for (pugi::xml_node slot : slots)
            markers.push_back(node_.insert_child_before(pugi::node_comment, slot));
        for (size_t k = 0; k < order.size(); ++k)
            node_.insert_move_after(order[k].Node(), markers[k]);
        for (pugi::xml_node marker : markers)
            node_.remove_child(marker);
        for (size_t k = 0; k < order.size(); ++k)
            slots[k] = order[k].Node();
        return 0;
    });
}

void IXMLObjList::Restore(const std::vector<std::string_view>& items) const
{
    // Parse everything first, so a bad fragment changes nothing.
    pugi::xml_document parsed;
    std::vector<pugi::xml_node> fresh;
    for (std::string_view xml : items) {
        pugi::xml_document one;
        if (!one.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8) ||
            !IsElementNamed(one.first_child(), "Obj") || one.first_child().next_sibling())
            throw Error("Cannot restore the objects: not an \"Obj\" element");
        fresh.push_back(parsed.append_copy(one.first_child()));
    }
    ChangeItems(doc_.get(), node_, [&](std::vector<pugi::xml_node>& current) {
        std::vector<pugi::xml_node> result;
        result.reserve(fresh.size());
        for (size_t i = 0; i < fresh.size(); ++i) {
            if (i < current.size()) {
                if (IXMLObj(doc_, current[i]).SaveToXML() == items[i]) {
                    result.push_back(current[i]);
                    continue;
                }
                result.push_back(node_.insert_copy_before(fresh[i], current[i]));
                node_.remove_child(current[i]);
            } else {
                result.push_back(node_.append_copy(fresh[i])); // where Add puts a new item
            }
        }
        for (size_t i = fresh.size(); i < current.size(); ++i)
            node_.remove_child(current[i]);
        current = std::move(result);
        return 0;
    });
}

// --- root access ------------------------------------------------------------

IXMLMovie GetMovie(TXMLDocument& doc)
{
    pugi::xml_node root = doc.DocumentElement();
    if (!root)
        root = doc.DOM().append_child("Movie");
    if (std::string_view(root.name()) != "Movie")
        throw Error("Interface not supported");
    return IXMLMovie(doc.State(), root);
}

// --- object naming ----------------------------------------------------------

std::string NewObjectName(const IXMLObjList& list, std::string_view kind)
{
    // Read every item once, in the order the walk reads them; the walk below
    // then runs on the copies. Reads create missing elements, as the walk
    // itself would on its last, clash-free pass over all items.
    std::vector<bool> sameKind;
    std::vector<std::string> names;
    for (const IXMLObj& item : list.AllItems()) {
        sameKind.push_back(item.GetObjTypeName() == kind);
        names.push_back(item.GetObjName());
    }
    // Each restart of the walk ends at the first item carrying the
    // candidate, with c the number of same-kind items up to and including
    // it: look both up instead of walking again, so a name costs one pass
    // over the items rather than one per restart.
    std::unordered_map<std::string_view, size_t> firstWith;
    std::vector<int64_t> sameKindUpTo(names.size());
    int64_t c = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        firstWith.emplace(names[i], i);
        sameKindUpTo[i] = c += sameKind[i] ? 1 : 0;
    }

    auto nameFor = [&](int64_t n) { return std::string(kind) + std::to_string(n); };
    // Candidates already tried. The plain rule (restart with "kind" + the
    // count of same-kind items up to the clash, plus one) loops for ever when
    // it comes back to a candidate it has tried, e.g. when an item of another
    // kind carries it. Moving to the next untried number instead changes no
    // result the plain rule reaches, and every walk ends: each restart adds
    // a name taken by an item, and there are only so many.
    std::set<int64_t> tried;
    int64_t number = 1;
    tried.insert(number);
    std::string candidate = nameFor(number);
    for (auto clash = firstWith.find(candidate); clash != firstWith.end();
         clash = firstWith.find(candidate)) {
        number = sameKindUpTo[clash->second] + 1;
        while (tried.count(number))
            ++number;
        tried.insert(number);
        candidate = nameFor(number);
    }
    return candidate;
}

} // namespace quillora
