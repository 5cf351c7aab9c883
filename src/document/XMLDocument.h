#pragma once
// The document object behind a project: a file name, a DOM (pugixml) that is
// loaded from that file on first use, and atomic saves.
//
// Bindings (XMLUnit.h) share ownership of the DOM, so a binding handed out
// earlier stays valid even when the owner drops or replaces its document.

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

namespace quillora {

namespace detail {
// The "Obj" items of one parent in document order (see IXMLObjList), so
// that reading item i does not walk the i items before it.
struct ObjIndex {
    std::mutex lock;
    pugi::xml_node parent; // whose items these are; null when not built
    std::vector<pugi::xml_node> items;

    void Forget()
    {
        std::lock_guard<std::mutex> hold(lock);
        parent = {};
        items.clear();
    }
};

struct DocState {
    pugi::xml_document dom;
    std::string fileName;
    bool active = false;
    ObjIndex objIndex;
};
} // namespace detail

class TXMLDocument {
  public:
    TXMLDocument();
    explicit TXMLDocument(std::string fileName);
    // One document, one owner: a copy would silently share the DOM.
    TXMLDocument(const TXMLDocument&) = delete;
    TXMLDocument& operator=(const TXMLDocument&) = delete;
    TXMLDocument(TXMLDocument&&) = default;
    TXMLDocument& operator=(TXMLDocument&&) = default;

    const std::string& FileName() const { return state_->fileName; }
    // Naming another file closes the document; the next root access loads it.
    void SetFileName(std::string fileName);

    // Open: loads FileName (an empty name gives an empty document). A failed
    // load leaves the document closed and throws. Close drops the DOM.
    bool Active() const { return state_->active; }
    void SetActive(bool active);

    void LoadFromFile(const std::string& path); // sets FileName too
    void LoadFromXML(std::string_view xml);     // from memory, FileName unchanged

    // Atomic: a temporary file in the target's folder renamed over the target.
    // A failure throws "Cannot save <path>: <reason>" and the old file is whole.
    void SaveToFile(const std::string& path) const;
    void Save() const { SaveToFile(state_->fileName); }
    std::string SaveToXML() const;

    // The root element (opening the document first); empty when there is none.
    pugi::xml_node DocumentElement();

    // Changing the "Obj" items through the DOM itself, past IXMLObjList,
    // must be followed by IXMLObjList::ItemsChanged.
    pugi::xml_document& DOM() { return state_->dom; }
    const std::shared_ptr<detail::DocState>& State() const { return state_; }

  private:
    void loadBytes(std::string bytes, const std::string& what);

    std::shared_ptr<detail::DocState> state_;
};

// The document as the program writes it: UTF-8, no indentation, and no
// declaration of its own (the prolog it was loaded with is kept).
std::string SerializeDocument(const pugi::xml_document& dom);

// Writes bytes to path atomically (temporary file in the same folder, fsync,
// rename). Throws "Cannot save <path>: <reason>"; on failure the target is
// untouched and no temporary file is left behind.
void WriteFileAtomic(const std::string& path, std::string_view bytes);

} // namespace quillora
