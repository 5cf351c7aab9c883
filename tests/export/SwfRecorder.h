// A stand-in for the movie writer that records every call as one line of
// text, so tests can compare an export with the exact call sequence expected.
#pragma once

#include <cstdio>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "export/SwfWriters.h"
#include "swf/Swf.h"

namespace rec {

using Log = std::vector<std::string>;

inline std::string Num(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

class Object : public swf::ISwfObject {
  public:
    Object(std::string name, Log& log) : Name(std::move(name)), L(log) {}

    std::string Name;
    std::set<std::string> BadPictures; // MakePicture of these paths throws
    std::set<std::string> BadSounds;   // MakeSound of these paths throws
    // Each ExpectPictures hint; kept apart from the calls, as it is only a hint.
    std::vector<std::vector<std::string>> Hints;

    void ExpectPictures(const std::vector<std::string>& paths) override { Hints.push_back(paths); }

    void MakePicture(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t w, int32_t h,
                     const std::string& path) override
    {
        Add("MakePicture(" + std::to_string(x1) + "," + std::to_string(y1) + "," +
            std::to_string(x2) + "," + std::to_string(y2) + "," + std::to_string(w) + "," +
            std::to_string(h) + "," + path + ")");
        if (BadPictures.count(path))
            throw std::runtime_error("bad picture " + path);
    }
    void MakeSound(const std::string& path) override
    {
        Add("MakeSound(" + path + ")");
        if (BadSounds.count(path))
            throw std::runtime_error("bad sound " + path);
    }
    void MakePolygon(int32_t x, int32_t y) override
    {
        Add("MakePolygon(" + std::to_string(x) + "," + std::to_string(y) + ")");
    }
    void AddStraightLine(int32_t dx, int32_t dy) override
    {
        Add("AddStraightLine(" + std::to_string(dx) + "," + std::to_string(dy) + ")");
    }
    void Translate(int32_t x, int32_t y) override
    {
        Add("Translate(" + std::to_string(x) + "," + std::to_string(y) + ")");
    }
    void MakeFont(const std::string& face) override { Add("MakeFont(" + face + ")"); }
    void AddGlyph(const std::string& face, const std::string& ch, int32_t code) override
    {
        Add("AddGlyph(" + face + "," + ch + "," + std::to_string(code) + ")");
    }
    void MakeTextEx(const std::string& text, swf::ISwfObject& font, double x, double y,
                    double height) override
    {
        auto* f = dynamic_cast<Object*>(&font);
        Add("MakeTextEx(" + text + "," + (f ? f->Name : "?") + "," + Num(x) + "," + Num(y) + "," +
            Num(height) + ")");
    }
    void SetSolidFill(uint8_t r, uint8_t g, uint8_t b, int32_t a) override
    {
        Add("SetSolidFill(" + std::to_string(r) + "," + std::to_string(g) + "," +
            std::to_string(b) + "," + std::to_string(a) + ")");
    }

  private:
    void Add(const std::string& call) { L.push_back(Name + "." + call); }
    Log& L;
};

class Action : public swf::ISwfAction {
  public:
    explicit Action(Log& log) : L(log) {}
    void MakeActionStop() override { L.push_back("Action.MakeActionStop()"); }

  private:
    Log& L;
};

class Movie : public swf::ISwfMovie {
  public:
    explicit Movie(Log& log) : L(log) {}

    bool FailWrite = false; // WriteMovie throws, as for an unwritable folder

    void SetSize(int32_t w, int32_t h) override
    {
        Add("SetSize(" + std::to_string(w) + "," + std::to_string(h) + ")");
    }
    void SetFrameRate(int32_t r) override { Add("SetFrameRate(" + std::to_string(r) + ")"); }
    void SetFrameBkColor(uint8_t r, uint8_t g, uint8_t b) override
    {
        Add("SetFrameBkColor(" + std::to_string(r) + "," + std::to_string(g) + "," +
            std::to_string(b) + ")");
    }
    void GotoFrame(int32_t f) override { Add("GotoFrame(" + std::to_string(f) + ")"); }
    void AddObject(swf::ISwfObject& o) override { Add("AddObject(" + NameOf(o) + ")"); }
    void RemoveObject(swf::ISwfObject& o) override { Add("RemoveObject(" + NameOf(o) + ")"); }
    void AddAction(swf::ISwfAction&) override { Add("AddAction(Action)"); }
    void WriteMovie(const std::string& path) override
    {
        Add("WriteMovie(" + path + ")");
        if (FailWrite)
            throw std::runtime_error("Cannot write " + path);
    }

  private:
    static std::string NameOf(swf::ISwfObject& o)
    {
        auto* r = dynamic_cast<Object*>(&o);
        return r ? r->Name : "?";
    }
    void Add(const std::string& call) { L.push_back("Movie." + call); }
    Log& L;
};

// The five objects of an export, all writing to one log.
struct Writers {
    Log Calls;
    Movie SwfMovie{Calls};
    Object SwfMedia{"Media", Calls};
    Object SwfFont{"Font", Calls};
    Object SwfText{"Text", Calls};
    Action SwfAction{Calls};

    TSwfWriters Refs() { return {SwfMovie, SwfMedia, SwfFont, SwfText, SwfAction}; }
};

} // namespace rec
