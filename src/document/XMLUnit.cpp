#include "document/XMLUnit.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <set>
#include <sstream>
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
    throw Error("Element does not contain a single text node");
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

std::string XMLNodeBinding::PeekText(std::initializer_list<const char*> path) const
{
    pugi::xml_node n = node_;
    for (const char* name : path)
        if (!(n = FirstChildNamed(n, name)))
            return {};
    pugi::xml_node first = n.first_child();
    if (!first || first != n.last_child() ||
        (first.type() != pugi::node_pcdata && first.type() != pugi::node_cdata))
        return {};
    return first.value();
}

int32_t XMLNodeBinding::GetInt(const char* name) const
{
    return StrToInt32(TextNode(Child(name)).value());
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

pugi::xml_node ObjItem(pugi::xml_node movie, int32_t index)
{
    if (index >= 0) {
        int32_t i = 0;
        for (pugi::xml_node n = movie.first_child(); n; n = n.next_sibling())
            if (IsElementNamed(n, "Obj") && i++ == index)
                return n;
    }
    OutOfBounds(index);
}
} // namespace

int32_t IXMLObjList::Count() const
{
    int32_t count = 0;
    for (pugi::xml_node n = node_.first_child(); n; n = n.next_sibling())
        if (IsElementNamed(n, "Obj"))
            ++count;
    return count;
}

std::vector<IXMLObj> IXMLObjList::AllItems() const
{
    std::vector<IXMLObj> items;
    for (pugi::xml_node n : ObjItems(node_))
        items.push_back(Bind<IXMLObj>(n));
    return items;
}

IXMLObj IXMLObjList::Items(int32_t index) const
{
    return Bind<IXMLObj>(ObjItem(node_, index));
}

IXMLObj IXMLObjList::Add() const
{
    return Bind<IXMLObj>(node_.append_child("Obj"));
}

IXMLObj IXMLObjList::Insert(int32_t index) const
{
    if (index == Count())
        return Add();
    pugi::xml_node before = ObjItem(node_, index);
    return Bind<IXMLObj>(node_.insert_child_before("Obj", before));
}

void IXMLObjList::Delete(int32_t index) const
{
    node_.remove_child(ObjItem(node_, index));
}

int32_t IXMLObjList::Remove(const IXMLObj& item) const
{
    int32_t index = 0;
    for (pugi::xml_node n : ObjItems(node_)) {
        if (n == item.Node()) {
            node_.remove_child(n);
            return index;
        }
        ++index;
    }
    return -1;
}

void IXMLObjList::Clear() const
{
    for (pugi::xml_node n : ObjItems(node_))
        node_.remove_child(n);
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
    std::vector<pugi::xml_node> slots = ObjItems(node_);
    std::set<pugi::xml_node> wanted;
    for (const IXMLObj& item : order)
        wanted.insert(item.Node());
    if (order.size() != slots.size() || wanted.size() != slots.size() ||
        !std::all_of(slots.begin(), slots.end(), [&](pugi::xml_node n) { return wanted.count(n); }))
        throw Error("Cannot arrange the objects: the new order does not hold each object once");
    // Markers hold the places while the items move between them.
    std::vector<pugi::xml_node> markers;
    for (pugi::xml_node slot : slots)
        markers.push_back(node_.insert_child_before(pugi::node_comment, slot));
    for (size_t k = 0; k < order.size(); ++k)
        node_.insert_move_after(order[k].Node(), markers[k]);
    for (pugi::xml_node marker : markers)
        node_.remove_child(marker);
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
    std::vector<pugi::xml_node> current = ObjItems(node_);
    for (size_t i = 0; i < fresh.size(); ++i) {
        if (i < current.size()) {
            if (IXMLObj(doc_, current[i]).SaveToXML() == items[i])
                continue;
            node_.insert_copy_before(fresh[i], current[i]);
            node_.remove_child(current[i]);
        } else {
            node_.append_copy(fresh[i]); // where Add puts a new item
        }
    }
    for (size_t i = fresh.size(); i < current.size(); ++i)
        node_.remove_child(current[i]);
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
    for (pugi::xml_node n : ObjItems(list.Node())) {
        IXMLObj item(list.DocumentState(), n);
        sameKind.push_back(item.GetObjTypeName() == kind);
        names.push_back(item.GetObjName());
    }
    const size_t count = names.size();

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
    size_t i = 0;
    int64_t c = 0;
    while (i < count) {
        if (sameKind[i])
            ++c;
        if (names[i] == candidate) {
            number = c + 1;
            while (tried.count(number))
                ++number;
            tried.insert(number);
            candidate = nameFor(number);
            i = 0;
            c = 0;
        } else {
            ++i;
        }
    }
    return candidate;
}

} // namespace quillora
