#pragma once
// Typed access to the movie document. Each binding is a cheap copyable
// handle over one element; every property stands for the child element of
// the same name and every read and write goes straight to the DOM, so the
// DOM is the single state of the document.
//
// A child element that is missing is appended as the last child of its
// parent when first touched, on reads as well as on writes; existing
// elements are never reordered. Text is UTF-8.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "base/Error.h"
#include "document/XMLDocument.h"

namespace quillora {

// Integer text as the document holds it: optional blanks around an optional
// sign and decimal digits, within the signed 32-bit range. The empty text
// fails with the "Null" conversion message, anything else that does not fit
// with the "String" one.
int32_t StrToInt32(std::string_view text);
std::string IntToStr(int32_t value);

// Colour text: decimal, or hexadecimal after "$" (e.g. "$FF0000"), read as
// a 32-bit signed value like any integer of the format. Bad text throws an
// error quoting the text.
int32_t ParseColor(std::string_view text);

struct ColorRGB {
    uint8_t r = 0, g = 0, b = 0;
};
// Splits a colour value (red in the lowest byte); negative values fail with
// "Range check error".
ColorRGB SplitColor(int32_t color);

// Common part of every binding: the element and the document that owns it.
class XMLNodeBinding {
  public:
    XMLNodeBinding() = default;
    XMLNodeBinding(std::shared_ptr<detail::DocState> doc, pugi::xml_node node)
        : doc_(std::move(doc)), node_(node)
    {
    }

    pugi::xml_node Node() const { return node_; }
    bool IsNull() const { return !node_; }
    // Writes the whole document this element belongs to back to its file
    // (atomically); what the tools do after each completed change.
    void SaveDocument() const;
    const std::string& DocumentFileName() const;
    // A picture or sound path as the document holds it, made usable: a
    // relative path is taken from the folder of the document's file (a saved
    // project keeps its files in a folder beside it), an absolute or empty
    // one is returned as it is. Every reader of such paths goes through here.
    std::string ResolvePath(std::string_view stored) const;
    const std::shared_ptr<detail::DocState>& DocumentState() const { return doc_; }
    // The text of the element at this path of child names, for a look that
    // changes nothing: "" where an element is missing or holds more than text.
    std::string PeekText(std::initializer_list<const char*> path) const;
    // Where this element, or its child of that name, sits in the project:
    // for the errors of values that do not read.
    ErrorPlace Place(const char* child = nullptr) const;
    friend bool operator==(const XMLNodeBinding& a, const XMLNodeBinding& b)
    {
        return a.node_ == b.node_;
    }

  protected:
    // First child element of that name, appended when missing.
    pugi::xml_node Child(const char* name) const;
    std::string GetText(const char* name) const;
    void SetText(const char* name, std::string_view value) const;
    int32_t GetInt(const char* name) const;
    void SetInt(const char* name, int32_t value) const;

    template <class T> T Bind(pugi::xml_node n) const { return T(doc_, n); }

    std::shared_ptr<detail::DocState> doc_;
    mutable pugi::xml_node node_; // a handle: const methods still change the DOM
};

class IXMLObjText : public XMLNodeBinding {
  public:
    using XMLNodeBinding::XMLNodeBinding;
    std::string GetContent() const { return GetText("Content"); }
    std::string GetFontName() const { return GetText("FontName"); }
    int32_t GetFontSize() const { return GetInt("FontSize"); }
    std::string GetFontColor() const { return GetText("FontColor"); }
    int32_t GetPositionX() const { return GetInt("PositionX"); }
    int32_t GetPositionY() const { return GetInt("PositionY"); }
    std::string GetEffectName() const { return GetText("EffectName"); }
    std::string GetEffectValue() const { return GetText("EffectValue"); }
    int32_t GetTextUnit() const { return GetInt("TextUnit"); }
    void SetContent(std::string_view v) const { SetText("Content", v); }
    void SetFontName(std::string_view v) const { SetText("FontName", v); }
    void SetFontSize(int32_t v) const { SetInt("FontSize", v); }
    void SetFontColor(std::string_view v) const { SetText("FontColor", v); }
    void SetPositionX(int32_t v) const { SetInt("PositionX", v); }
    void SetPositionY(int32_t v) const { SetInt("PositionY", v); }
    void SetEffectName(std::string_view v) const { SetText("EffectName", v); }
    void SetEffectValue(std::string_view v) const { SetText("EffectValue", v); }
    void SetTextUnit(int32_t v) const { SetInt("TextUnit", v); }
};

class IXMLObjPic : public XMLNodeBinding {
  public:
    using XMLNodeBinding::XMLNodeBinding;
    std::string GetContent() const { return GetText("Content"); }
    int32_t GetPositionX() const { return GetInt("PositionX"); }
    int32_t GetPositionY() const { return GetInt("PositionY"); }
    int32_t GetWidth() const { return GetInt("Width"); }
    int32_t GetHeight() const { return GetInt("Height"); }
    std::string GetEffectName() const { return GetText("EffectName"); }
    std::string GetEffectValue() const { return GetText("EffectValue"); }
    void SetContent(std::string_view v) const { SetText("Content", v); }
    void SetPositionX(int32_t v) const { SetInt("PositionX", v); }
    void SetPositionY(int32_t v) const { SetInt("PositionY", v); }
    void SetWidth(int32_t v) const { SetInt("Width", v); }
    void SetHeight(int32_t v) const { SetInt("Height", v); }
    void SetEffectName(std::string_view v) const { SetText("EffectName", v); }
    void SetEffectValue(std::string_view v) const { SetText("EffectValue", v); }
};

class IXMLObjSound : public XMLNodeBinding {
  public:
    using XMLNodeBinding::XMLNodeBinding;
    std::string GetContent() const { return GetText("Content"); }
    void SetContent(std::string_view v) const { SetText("Content", v); }
};

class IXMLObjType : public XMLNodeBinding {
  public:
    using XMLNodeBinding::XMLNodeBinding;
    // Asking for a kind the object does not hold adds an empty element of it.
    IXMLObjText GetObjText() const { return Bind<IXMLObjText>(Child("ObjText")); }
    IXMLObjPic GetObjPic() const { return Bind<IXMLObjPic>(Child("ObjPic")); }
    IXMLObjSound GetObjSound() const { return Bind<IXMLObjSound>(Child("ObjSound")); }
};

class IXMLObj : public XMLNodeBinding {
  public:
    using XMLNodeBinding::XMLNodeBinding;
    std::string GetDemo() const { return GetText("Demo"); }
    int32_t GetMouseX() const { return GetInt("MouseX"); }
    int32_t GetMouseY() const { return GetInt("MouseY"); }
    std::string GetObjName() const { return GetText("ObjName"); }
    int32_t GetStartTime() const { return GetInt("StartTime"); }
    int32_t GetEndTime() const { return GetInt("EndTime"); }
    int32_t GetLayer() const { return GetInt("Layer"); }
    std::string GetObjTypeName() const { return GetText("ObjTypeName"); }
    IXMLObjType GetObjType() const { return Bind<IXMLObjType>(Child("ObjType")); }
    void SetDemo(std::string_view v) const { SetText("Demo", v); }
    void SetMouseX(int32_t v) const { SetInt("MouseX", v); }
    void SetMouseY(int32_t v) const { SetInt("MouseY", v); }
    void SetObjName(std::string_view v) const { SetText("ObjName", v); }
    void SetStartTime(int32_t v) const { SetInt("StartTime", v); }
    void SetEndTime(int32_t v) const { SetInt("EndTime", v); }
    void SetLayer(int32_t v) const { SetInt("Layer", v); }
    void SetObjTypeName(std::string_view v) const { SetText("ObjTypeName", v); }
    // "False" keeps a picture out of a video's zoom; read with PeekText.
    void SetZoom(std::string_view v) const { SetText("Zoom", v); }
    // The whole "Obj" element as XML text (an empty value always spelt
    // <X></X>); what IXMLObjList::Restore takes back.
    std::string SaveToXML() const;
};

// The "Obj" children of "Movie", in document order. Other children of
// "Movie" are not items. Indexes run from 0; an index out of range fails
// with "List index out of bounds (<index>)".
class IXMLObjList : public XMLNodeBinding {
  public:
    using XMLNodeBinding::XMLNodeBinding;
    int32_t Count() const;
    IXMLObj Items(int32_t index) const;
    // Every item, in one walk of the list.
    std::vector<IXMLObj> AllItems() const;
    // Appends after every child of "Movie", not merely after the last item.
    IXMLObj Add() const;
    // Places the new item before item index; index == Count appends.
    IXMLObj Insert(int32_t index) const;
    void Delete(int32_t index) const;
    // Removes the item and returns its former index, or -1 when it is not
    // an item of this list.
    int32_t Remove(const IXMLObj& item) const;
    void Clear() const;
    // Puts the items in this order, in the places items hold now; other
    // children of "Movie" stay where they are. order must hold every item
    // exactly once, else it throws and nothing moves.
    void Arrange(const std::vector<IXMLObj>& order) const;
    // Makes the items exactly these "Obj" elements (as IXMLObj::SaveToXML
    // gives them), in this order. Items that already match are left alone.
    // A text that is not one "Obj" element throws and changes nothing.
    void Restore(const std::vector<std::string_view>& items) const;
    // Changes to the "Obj" children made past the methods above (on the
    // pugi nodes directly) must call this before the list is read again.
    void ItemsChanged() const;
};

class IXMLMovie : public XMLNodeBinding {
  public:
    using XMLNodeBinding::XMLNodeBinding;
    std::string GetBgColor() const { return GetText("BgColor"); }
    std::string GetBgPic() const { return GetText("BgPic"); }
    int32_t GetWidth() const { return GetInt("Width"); }
    int32_t GetHeight() const { return GetInt("Height"); }
    int32_t GetRate() const { return GetInt("Rate"); }
    int32_t GetTotalFrames() const { return GetInt("TotalFrames"); }
    int32_t GetTimes() const { return GetInt("Times"); }
    int32_t GetFileSize() const { return GetInt("FileSize"); }
    std::string GetMovieName() const { return GetText("MovieName"); }
    std::string GetAuthor() const { return GetText("Author"); }
    std::string GetLoop() const { return GetText("Loop"); }
    IXMLObjList GetObj() const { return IXMLObjList(doc_, node_); }
    void SetBgColor(std::string_view v) const { SetText("BgColor", v); }
    void SetBgPic(std::string_view v) const { SetText("BgPic", v); }
    void SetWidth(int32_t v) const { SetInt("Width", v); }
    void SetHeight(int32_t v) const { SetInt("Height", v); }
    void SetRate(int32_t v) const { SetInt("Rate", v); }
    void SetTotalFrames(int32_t v) const { SetInt("TotalFrames", v); }
    void SetTimes(int32_t v) const { SetInt("Times", v); }
    void SetFileSize(int32_t v) const { SetInt("FileSize", v); }
    void SetMovieName(std::string_view v) const { SetText("MovieName", v); }
    void SetAuthor(std::string_view v) const { SetText("Author", v); }
    void SetLoop(std::string_view v) const { SetText("Loop", v); }
    // A video's focus on the action, read with PeekText where it may be missing.
    void SetZoom(std::string_view v) const { SetText("Zoom", v); }
    void SetZoomLevel(std::string_view v) const { SetText("ZoomLevel", v); }
    void SetClickRings(std::string_view v) const { SetText("ClickRings", v); }
};

// The root "Movie" of the document, opening (loading) it first when needed
// and creating the root when the document has none. A root of another name
// fails with "Interface not supported". Calling it again does not reload.
IXMLMovie GetMovie(TXMLDocument& doc);

// A name no "Obj" item carries, made of the kind word ("Text", "Pic",
// "Sound") and a number: after Pic1 and Pic2 comes Pic3. Reads each item's
// "ObjTypeName" and "ObjName" (creating them when missing, like any read).
std::string NewObjectName(const IXMLObjList& list, std::string_view kind);

} // namespace quillora
