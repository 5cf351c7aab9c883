// Movie writers that take every call and do nothing, counting the movie's
// calls: what a benchmark measures with them is the export driver's own walk
// over the document.
#pragma once

#include <string>

#include "swf/Swf.h"

namespace bench {

struct NullObject : swf::ISwfObject {
    void MakePicture(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                     const std::string&) override
    {
    }
    void MakeSound(const std::string&) override {}
    void MakePolygon(int32_t, int32_t) override {}
    void AddStraightLine(int32_t, int32_t) override {}
    void Translate(int32_t, int32_t) override {}
    void MakeFont(const std::string&) override {}
    void AddGlyph(const std::string&, const std::string&, int32_t) override {}
    void MakeTextEx(const std::string&, ISwfObject&, double, double, double) override {}
    void SetSolidFill(uint8_t, uint8_t, uint8_t, int32_t) override {}
};

struct NullMovie : swf::ISwfMovie {
    long Calls = 0;
    void SetSize(int32_t, int32_t) override { ++Calls; }
    void SetFrameRate(int32_t) override { ++Calls; }
    void SetFrameBkColor(uint8_t, uint8_t, uint8_t) override { ++Calls; }
    void GotoFrame(int32_t) override { ++Calls; }
    void AddObject(swf::ISwfObject&) override { ++Calls; }
    void RemoveObject(swf::ISwfObject&) override { ++Calls; }
    void AddAction(swf::ISwfAction&) override { ++Calls; }
    void WriteMovie(const std::string&) override { ++Calls; }
};

struct NullAction : swf::ISwfAction {
    void MakeActionStop() override {}
};

} // namespace bench
