// The guide formats and paper sizes by name, apart from the writers, so a
// program can tell a guide's name without loading cairo.
#include "guide/Guide.h"

#include <langinfo.h>
#include <locale.h>

#include <filesystem>

#include "base/Text.h"

namespace guide {

namespace fs = std::filesystem;

const char* const kGuideFormatList = "  .html  step-by-step guide, one web page with its pictures\n"
                                     "  .md    step-by-step guide in Markdown, pictures in NAME_files/\n"
                                     "  .pdf   step-by-step guide as a PDF document\n";

std::optional<TGuideFormat> GuideFormatOf(const std::string& path)
{
    const std::string ext = quillora::AsciiLower(fs::path(path).extension().string());
    if (ext == ".html")
        return TGuideFormat::Html;
    if (ext == ".md")
        return TGuideFormat::Markdown;
    if (ext == ".pdf")
        return TGuideFormat::Pdf;
    return std::nullopt;
}

std::optional<TPaper> PaperOf(const std::string& name)
{
    const std::string n = quillora::AsciiLower(name);
    if (n == "a4")
        return TPaper::A4;
    if (n == "letter")
        return TPaper::Letter;
    return std::nullopt;
}

TPaper LocalePaper()
{
    // The paper of the user's locale, without touching the process's own.
    locale_t loc = newlocale(LC_PAPER_MASK, "", locale_t(0));
    if (!loc)
        return TPaper::A4;
    // glibc hands this integer item back in the pointer itself.
    const auto height = int(reinterpret_cast<intptr_t>(nl_langinfo_l(_NL_PAPER_HEIGHT, loc)));
    freelocale(loc);
    return height == 279 ? TPaper::Letter : TPaper::A4;
}

} // namespace guide
