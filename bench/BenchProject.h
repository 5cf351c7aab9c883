// Recorded projects for the benchmarks: a scratch folder, the header a new
// recording writes, and picture objects as a capture appends them.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "document/XMLUnit.h"

namespace bench {

// A fresh folder under the system's temporary folder.
inline std::string ScratchDir()
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "quillora-bench-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        std::abort();
    return tmpl;
}

inline void WriteRecordingHeader(const quillora::IXMLMovie& movie, int width, int height)
{
    movie.SetBgColor("16777215");
    movie.SetWidth(width);
    movie.SetHeight(height);
    movie.SetRate(15);
}

// The fields every object of a recording carries, for the index-th capture.
inline void SetRecordedFields(const quillora::IXMLObj& obj, const std::string& kind, int index,
                              const std::string& name, int start, int end)
{
    obj.SetDemo("");
    obj.SetMouseX(100 + index % 300);
    obj.SetMouseY(80 + index % 200);
    obj.SetObjName(name);
    obj.SetStartTime(start);
    obj.SetEndTime(end);
    obj.SetLayer(2);
    obj.SetObjTypeName(kind);
}

// The index-th capture of 24 frames, a width x height picture in content.
inline void AppendRecordedPicture(const quillora::IXMLObjList& list, int index,
                                  const std::string& name, const std::string& content, int width,
                                  int height)
{
    quillora::IXMLObj obj = list.Add();
    SetRecordedFields(obj, "Pic", index, name, 24 * index, 24 * index + 24);
    quillora::IXMLObjPic pic = obj.GetObjType().GetObjPic();
    pic.SetContent(content);
    pic.SetPositionX(0);
    pic.SetPositionY(0);
    pic.SetWidth(width);
    pic.SetHeight(height);
    pic.SetEffectName("None");
}

// Where a recording puts the index-th capture.
inline std::string RecordedShot(int index)
{
    return "/home/user/Documents/Quillora/screenshots/" + std::to_string(1000000 + index) + ".jpg";
}

} // namespace bench
