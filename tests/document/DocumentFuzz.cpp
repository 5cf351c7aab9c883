// Fuzz target: any bytes as a project file. Loading either fails with our
// error or yields a document whose every property can be read (or refused
// with our error) and that saves to text which loads again.

#include <cstddef>
#include <cstdint>
#include <string>

#include "document/XMLUnit.h"

using namespace quillora;

namespace {
template <class F> void Try(F&& f)
{
    try {
        f();
    } catch (const Error&) {
    }
}

void ReadAll(TXMLDocument& doc)
{
    IXMLMovie m = GetMovie(doc);
    Try([&] { m.GetBgColor(); });
    Try([&] { ParseColor(m.GetBgColor()); });
    Try([&] { m.GetWidth(); });
    Try([&] { m.GetTotalFrames(); });
    Try([&] { m.GetLoop(); });
    IXMLObjList list = m.GetObj();
    for (int32_t i = 0; i < list.Count() && i < 64; ++i) {
        IXMLObj o = list.Items(i);
        Try([&] { o.GetObjName(); });
        Try([&] { o.GetStartTime(); });
        Try([&] { o.GetObjType().GetObjPic().GetContent(); });
        Try([&] { o.GetObjType().GetObjText().GetFontColor(); });
    }
    Try([&] { NewObjectName(list, "Pic"); });
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TXMLDocument doc;
    try {
        doc.LoadFromXML(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const Error&) {
        return 0;
    }
    try {
        ReadAll(doc);
    } catch (const Error&) {
        return 0; // "Interface not supported"
    }
    TXMLDocument again;
    again.LoadFromXML(doc.SaveToXML()); // what we write must load again
    return 0;
}
