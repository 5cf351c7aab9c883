#pragma once
// Shared helpers of the export tests: a scratch folder, movie documents built
// from a few lines, and a reporter that keeps what it was told.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "project/FlashCard.h"
#include "document/XMLDocument.h"
#include "document/XMLUnit.h"
#include "export/ExportReporter.h"

namespace quillora::test {

class Scratch {
  public:
    Scratch()
    {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "quillora-export-XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    ~Scratch()
    {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    std::string str() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};

inline std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteAll(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

inline bool Exists(const std::string& path)
{
    return std::filesystem::exists(path);
}

// Element text helper: <Name>value</Name>.
inline std::string El(const std::string& name, const std::string& value)
{
    return "<" + name + ">" + value + "</" + name + ">";
}
inline std::string El(const std::string& name, int value)
{
    return El(name, std::to_string(value));
}

inline std::string Common(const std::string& name, const std::string& kind, int start, int end,
                          int mx, int my)
{
    return El("Demo", "") + El("MouseX", mx) + El("MouseY", my) + El("ObjName", name) +
           El("StartTime", start) + El("EndTime", end) + El("Layer", 2) + El("ObjTypeName", kind);
}

struct Pic {
    std::string name = "Pic1";
    int start = 0, end = 24, mx = 0, my = 0;
    std::string content = "/shots/1.jpg";
    std::string effect = "None";
    int px = 0, py = 0, w = 640, h = 480;
    std::string Xml() const
    {
        return "<Obj>" + Common(name, "Pic", start, end, mx, my) + "<ObjType><ObjPic>" +
               El("Content", content) + El("PositionX", px) + El("PositionY", py) + El("Width", w) +
               El("Height", h) + El("EffectName", effect) + "</ObjPic></ObjType></Obj>";
    }
};

struct Text {
    std::string name = "Text1";
    int start = 0, end = 24, mx = 0, my = 0;
    std::string content = "Hi";
    std::string font = "Microsoft Sans Serif";
    int size = 18;
    std::string color = "$FF0000";
    int px = 50, py = 50, unit = 1;
    std::string effect = "None";
    std::string Xml() const
    {
        return "<Obj>" + Common(name, "Text", start, end, mx, my) + "<ObjType><ObjText>" +
               El("Content", content) + El("TextUnit", unit) + El("FontName", font) +
               El("FontSize", size) + El("FontColor", color) + El("PositionX", px) +
               El("PositionY", py) + El("EffectName", effect) + El("EffectValue", "") +
               "</ObjText></ObjType></Obj>";
    }
};

struct Sound {
    std::string name = "Sound1";
    int start = 0, end = 1, mx = 0, my = 0;
    std::string content = "/sounds/a.wav";
    std::string Xml() const
    {
        return "<Obj>" + Common(name, "Sound", start, end, mx, my) + "<ObjType><ObjSound>" +
               El("Content", content) + "</ObjSound></ObjType></Obj>";
    }
};

inline std::string MovieXml(const std::string& objs, int totalFrames = 0,
                            const std::string& bg = "16777215", int w = 640, int h = 480,
                            int rate = 15)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Movie>" + El("BgColor", bg) +
           "<BgPic></BgPic>" + El("Width", w) + El("Height", h) + El("Rate", rate) +
           El("TotalFrames", totalFrames) + El("Times", 0) + El("FileSize", 0) +
           "<MovieName></MovieName><Author></Author><Loop>False</Loop>" + objs + "</Movie>";
}

class Reporter : public IExportReporter {
  public:
    std::vector<std::string> Errors;
    std::vector<std::string> Details;
    std::vector<std::pair<int, int>> Progress;
    void ExportError(const std::string& message, const std::string& detail) override
    {
        Errors.push_back(message);
        Details.push_back(detail);
    }
    void ExportProgress(int done, int total) override { Progress.emplace_back(done, total); }
};

// A project on disk, opened as the program opens one: the document object,
// the main window's Movie and a controller bound to it.
struct Project {
    Scratch dir;
    TXMLDocument doc;
    IXMLMovie Movie;
    TFlashCard card{dir / "Untitled", nullptr};

    explicit Project(const std::string& xml)
    {
        WriteAll(dir / "Untitled.qlv", xml);
        doc.SetFileName(card.WorkProjectPath);
        Movie = GetMovie(doc);
        card.BindMovie(&Movie);
        card.ClickSoundPath = "/data/click.wav";
    }
};

} // namespace quillora::test
