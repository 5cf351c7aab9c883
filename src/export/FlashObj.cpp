#include "export/FlashObj.h"

#include <limits>

namespace quillora {

int32_t Twips(int64_t pixels)
{
    int64_t t = pixels * 20;
    if (t < std::numeric_limits<int32_t>::min() || t > std::numeric_limits<int32_t>::max())
        throw Error("Integer overflow");
    return static_cast<int32_t>(t);
}

const IXMLMovie& TFlashObj::Movie() const
{
    if (!MovieRef || MovieRef->IsNull())
        throw Error("No movie document is open");
    return *MovieRef;
}

IXMLObj TFlashObj::Item(int32_t index) const
{
    return Movie().GetObj().Items(index);
}

void TFlashObj::LoadObject(int32_t index)
{
    IXMLObj obj = Item(index);
    Demo = obj.GetDemo();
    MouseX = obj.GetMouseX();
    MouseY = obj.GetMouseY();
    ObjName = obj.GetObjName();
    StartTime = obj.GetStartTime();
    EndTime = obj.GetEndTime();
    Layer = obj.GetLayer();
}

void TFlashObj::AppendToDocument()
{
    ObjName = NewObjectName(Movie().GetObj(), KindName);
}

IXMLObj TFlashObj::AppendCommon(bool endTimeIsOne)
{
    TFlashObj::AppendToDocument();
    IXMLObj obj = Movie().GetObj().Add();
    obj.SetDemo(Demo);
    obj.SetMouseX(MouseX);
    obj.SetMouseY(MouseY);
    obj.SetObjName(ObjName);
    obj.SetStartTime(StartTime);
    if (endTimeIsOne) {
        obj.SetEndTime(1);
    } else {
        int32_t start = obj.GetStartTime();
        if (start > std::numeric_limits<int32_t>::max() - 24)
            throw Error("Integer overflow");
        obj.SetEndTime(start + 24);
    }
    obj.SetLayer(2);
    obj.SetObjTypeName(KindName);
    return obj;
}

void TFlashObj::SaveAppended(const IXMLObj& obj)
{
    if (SaveAppendedRef)
        SaveAppendedRef(obj);
    else
        obj.SaveDocument();
    if (ModifiedRef)
        *ModifiedRef = true;
}

void TFlashObj::Report(const TExportTarget& target, const char* message, const std::string& detail)
{
    if (target.Reporter)
        target.Reporter->ExportError(message, detail);
}

} // namespace quillora
