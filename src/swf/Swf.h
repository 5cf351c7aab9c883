// The movie writer's interfaces: one per component class (movie, object,
// action). The export talks only to these, so tests can put a recorder of
// calls in place of the real writer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace swf {

// A shape, picture, sound, font or text definition. Its current definition is
// what ISwfMovie::AddObject places; redefining it later changes nothing placed.
class ISwfObject {
public:
    virtual ~ISwfObject() = default;

    // Coordinates in twips; width and height of the JPEG in pixels.
    virtual void MakePicture(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t width,
                             int32_t height, const std::string& path) = 0;
    virtual void MakeSound(const std::string& path) = 0;
    virtual void MakePolygon(int32_t x, int32_t y) = 0;
    virtual void AddStraightLine(int32_t dx, int32_t dy) = 0;
    virtual void Translate(int32_t x, int32_t y) = 0;
    virtual void MakeFont(const std::string& faceName) = 0;
    // character: the glyph's character as UTF-8 text; code: its code.
    virtual void AddGlyph(const std::string& faceName, const std::string& character,
                          int32_t code) = 0;
    // text is UTF-8; font is an object on which MakeFont was called.
    virtual void MakeTextEx(const std::string& text, ISwfObject& font, double x, double y,
                            double height) = 0;
    virtual void SetSolidFill(uint8_t red, uint8_t green, uint8_t blue, int32_t alpha) = 0;
    // A hint: the files MakePicture will be asked for next, in that order. A
    // writer may read and check them ahead on other cores; results and
    // errors still come from MakePicture alone. Does nothing by default.
    virtual void ExpectPictures(const std::vector<std::string>& paths) { (void)paths; }
};

class ISwfAction {
public:
    virtual ~ISwfAction() = default;
    virtual void MakeActionStop() = 0;
};

class ISwfMovie {
public:
    virtual ~ISwfMovie() = default;

    // SetSize opens a new movie: everything an earlier export defined is gone.
    virtual void SetSize(int32_t width, int32_t height) = 0;
    virtual void SetFrameRate(int32_t rate) = 0;
    virtual void SetFrameBkColor(uint8_t red, uint8_t green, uint8_t blue) = 0;
    virtual void GotoFrame(int32_t frame) = 0;
    virtual void AddObject(ISwfObject& object) = 0;
    virtual void RemoveObject(ISwfObject& object) = 0;
    virtual void AddAction(ISwfAction& action) = 0;
    virtual void WriteMovie(const std::string& path) = 0;
    // The highest frame GotoFrame accepts, so a caller can refuse a movie
    // that does not fit before it starts.
    virtual int32_t MaxFrame() const { return INT32_MAX; }
};

// The real writer.
std::unique_ptr<ISwfMovie> CreateMovie();
std::unique_ptr<ISwfObject> CreateObject();
std::unique_ptr<ISwfAction> CreateAction();

}  // namespace swf
