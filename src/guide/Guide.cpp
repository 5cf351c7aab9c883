#include "guide/Guide.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "base/Error.h"
#include "document/XMLDocument.h"
#include "document/XMLUnit.h"
#include "guide/GuideParts.h"

namespace guide {

namespace fs = std::filesystem;

namespace {

std::optional<int32_t> Int(const quillora::XMLNodeBinding& node,
                           std::initializer_list<const char*> path)
{
    try {
        return quillora::StrToInt32(node.PeekText(path));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

struct TItem {
    quillora::IXMLObj Obj;
    int32_t Start = 0, End = 0;
    size_t Order = 0;
};

} // namespace

TGuide ReadGuide(const std::string& projectPath)
{
    quillora::TXMLDocument doc(projectPath);
    quillora::IXMLMovie movie = quillora::GetMovie(doc);
    const fs::path folder = fs::absolute(fs::path(projectPath)).parent_path();

    std::vector<TItem> pics, texts;
    size_t order = 0;
    for (const quillora::IXMLObj& obj : movie.GetObj().AllItems()) {
        const std::string kind = obj.PeekText({"ObjTypeName"});
        TItem item{obj, 0, 0, order++};
        item.Start = Int(obj, {"StartTime"}).value_or(0);
        item.End = Int(obj, {"EndTime"}).value_or(item.Start);
        if (kind == "Pic")
            pics.push_back(item);
        else if (kind == "Text")
            texts.push_back(item);
    }
    if (pics.empty())
        throw quillora::Error("The project " + projectPath +
                              " has no pictures, so there is no guide to write");
    // Movie order: by start, and as stored where two start together.
    auto byTime = [](const TItem& a, const TItem& b) {
        return a.Start != b.Start ? a.Start < b.Start : a.Order < b.Order;
    };
    std::stable_sort(pics.begin(), pics.end(), byTime);
    std::stable_sort(texts.begin(), texts.end(), byTime);

    TGuide guide;
    guide.Title = fs::path(projectPath).stem().string();
    for (size_t i = 0; i < pics.size(); ++i) {
        const TItem& p = pics[i];
        TStep s;
        s.Number = int(i + 1);
        // A picture is on screen until its end, or until the next one starts
        // when its times do not say.
        int32_t end = p.End > p.Start ? p.End
                                      : (i + 1 < pics.size() ? pics[i + 1].Start : p.Start + 1);
        std::string text;
        for (const TItem& t : texts) {
            const int32_t tEnd = std::max(t.End, t.Start + 1);
            if (t.Start >= end || tEnd <= p.Start)
                continue;
            const std::string content = t.Obj.PeekText({"ObjType", "ObjText", "Content"});
            if (content.empty())
                continue;
            if (!text.empty())
                text += '\n';
            text += content;
        }
        s.Captioned = !text.empty();
        s.Text = s.Captioned ? text : "Step " + std::to_string(s.Number);
        std::string content = p.Obj.PeekText({"ObjType", "ObjPic", "Content"});
        fs::path file(content);
        if (!content.empty() && file.is_relative())
            file = folder / file;
        s.PicturePath = content.empty() ? "" : file.lexically_normal().string();
        s.MovieX = Int(p.Obj, {"ObjType", "ObjPic", "PositionX"}).value_or(0);
        s.MovieY = Int(p.Obj, {"ObjType", "ObjPic", "PositionY"}).value_or(0);
        s.MovieWidth = Int(p.Obj, {"ObjType", "ObjPic", "Width"}).value_or(0);
        s.MovieHeight = Int(p.Obj, {"ObjType", "ObjPic", "Height"}).value_or(0);
        auto mx = Int(p.Obj, {"MouseX"}), my = Int(p.Obj, {"MouseY"});
        if (mx && my) {
            s.HasMouse = true;
            s.MouseX = *mx;
            s.MouseY = *my;
        }
        guide.Steps.push_back(std::move(s));
    }
    return guide;
}

namespace detail {

void Step(const TGuideOptions& options, int done, int total)
{
    if (options.Progress && !options.Progress(done, total))
        throw TCancelled();
}

} // namespace detail

TGuideReport WriteGuide(const TGuide& guide, const std::string& target, const TGuideOptions& options)
{
    std::optional<TGuideFormat> format = GuideFormatOf(target);
    if (!format)
        throw quillora::Error("Cannot write the guide \"" + target +
                              "\": its extension names no guide format. The formats are:\n" +
                              kGuideFormatList);
    if (guide.Steps.empty())
        throw quillora::Error("The guide has no steps: the project has no pictures");
    TGuideReport report;
    switch (*format) {
    case TGuideFormat::Html:
        detail::WriteHtml(guide, target, options, report);
        break;
    case TGuideFormat::Markdown:
        detail::WriteMarkdown(guide, target, options, report);
        break;
    case TGuideFormat::Pdf:
        detail::WritePdf(guide, target, options, report);
        break;
    }
    return report;
}

TGuideReport ExportGuide(const std::string& projectPath, const std::string& target,
                         const TGuideOptions& options)
{
    if (!GuideFormatOf(target))
        WriteGuide({}, target, options); // says which formats there are
    std::error_code ec;
    if (fs::equivalent(projectPath, target, ec) && !ec)
        throw quillora::Error("The guide " + target + " would replace the project");
    return WriteGuide(ReadGuide(projectPath), target, options);
}

} // namespace guide
