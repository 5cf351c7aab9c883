// The guide as a PDF on cairo's PDF surface: real text, an outline entry per
// step, the screenshots passed through as the JPEG files they are, and the
// marker drawn as vectors over them.
#include <cairo-pdf.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "guide/GuideParts.h"

namespace guide::detail {

namespace {

constexpr double kMargin = 50;
constexpr double kTitleSize = 22, kHeadSize = 14, kBodySize = 11, kFootSize = 9;
constexpr double kGap = 18;
const char* kFont = "DejaVu Sans";

void Font(cairo_t* cr, double size, bool bold)
{
    cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

double Advance(cairo_t* cr, const std::string& s)
{
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    return e.x_advance;
}

size_t Utf8Next(const std::string& s, size_t i)
{
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
        ++i;
    return i;
}

// Lines of text that fit width in cr's current font; a word wider than the
// line is broken between characters.
std::vector<std::string> Wrap(cairo_t* cr, const std::string& text, double width)
{
    std::vector<std::string> out;
    for (const std::string& para : Lines(text)) {
        std::string line;
        size_t i = 0;
        while (i < para.size()) {
            size_t end = para.find(' ', i);
            if (end == std::string::npos)
                end = para.size();
            std::string word = para.substr(i, end - i);
            i = end + 1;
            if (word.empty())
                continue;
            std::string tried = line.empty() ? word : line + " " + word;
            if (Advance(cr, tried) <= width) {
                line = tried;
                continue;
            }
            if (!line.empty())
                out.push_back(line);
            line.clear();
            // The word alone, broken where it must be.
            size_t c = 0;
            while (c < word.size()) {
                size_t n = Utf8Next(word, c);
                std::string more = line + word.substr(c, n - c);
                if (!line.empty() && Advance(cr, more) > width) {
                    out.push_back(line);
                    line.clear();
                    continue;
                }
                line = more;
                c = n;
            }
        }
        if (!line.empty())
            out.push_back(line);
    }
    return out;
}

struct TBlock {
    std::vector<std::string> Lines;
    double PicW = 0, PicH = 0, Height = 0;
    int Page = 0;
    double Y = 0;
    TPicture Picture;
};

void FreeBytes(void* p)
{
    delete static_cast<std::vector<uint8_t>*>(p);
}

struct TSink {
    FILE* File = nullptr;
    int Errno = 0; // of the first write that failed
};

cairo_status_t WriteTo(void* closure, const unsigned char* data, unsigned int length)
{
    auto* sink = static_cast<TSink*>(closure);
    if (std::fwrite(data, 1, length, sink->File) == length)
        return CAIRO_STATUS_SUCCESS;
    if (!sink->Errno)
        sink->Errno = errno ? errno : EIO;
    return CAIRO_STATUS_WRITE_ERROR;
}

} // namespace

void WritePdf(const TGuide& guide, const std::string& target, const TGuideOptions& options,
              TGuideReport& report)
{
    const TPaper paper = options.Paper == TPaper::Auto ? LocalePaper() : options.Paper;
    const double pageW = paper == TPaper::Letter ? 612 : 595.276;
    const double pageH = paper == TPaper::Letter ? 792 : 841.89;
    const double textW = pageW - 2 * kMargin;
    const double bottom = pageH - kMargin - kFootSize * 2; // above the page number

    TTempFile tmp(target);
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(tmp.Path().c_str(), "wb"), std::fclose);
    if (!file)
        Fail(target, std::strerror(errno));
    TSink sink{file.get()};
    // The pictures' surfaces are never drawn from, so they share a buffer
    // that is never written: calloc's pages stay unmapped, where a surface
    // of its own per picture cleared megabytes for each. Declared before the
    // PDF surface, which holds the pictures to its end.
    struct TFree {
        void operator()(void* p) const { std::free(p); }
    };
    std::vector<std::unique_ptr<void, TFree>> pixelBuffers;
    size_t pixelBytes = 0;
    // Held until the document is finished: a picture let go while its page is
    // still recorded is copied, pixels and all, for the page to keep.
    using TSurface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
    std::vector<TSurface> pictures;
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_pdf_surface_create_for_stream(WriteTo, &sink, pageW, pageH),
        cairo_surface_destroy);
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE, guide.Title.c_str());
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "Quillora");
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> crHold(cairo_create(surface.get()),
                                                              cairo_destroy);
    cairo_t* cr = crHold.get();

    const int total = int(guide.Steps.size());
    Step(options, 0, total);

    // Lay out first, so every page can say how many there are.
    Font(cr, kTitleSize, true);
    std::vector<std::string> title = Wrap(cr, guide.Title, textW);
    double y = kMargin + title.size() * kTitleSize * 1.25 + kGap;
    int page = 0;
    std::vector<TBlock> blocks(guide.Steps.size());
    for (size_t i = 0; i < guide.Steps.size(); ++i) {
        const TStep& s = guide.Steps[i];
        TBlock& b = blocks[i];
        b.Picture = LoadPicture(s.PicturePath);
        if (!b.Picture.Ok)
            report.Missing.push_back({s.Number, s.PicturePath, b.Picture.Why});
        Font(cr, kBodySize, false);
        if (s.Captioned)
            b.Lines = Wrap(cr, s.Text, textW);
        const double textH = kHeadSize * 1.4 + b.Lines.size() * kBodySize * 1.35 + 4;
        double w = b.Picture.Ok ? b.Picture.Width : std::max(s.MovieWidth, 1);
        double h = b.Picture.Ok ? b.Picture.Height : std::max(s.MovieHeight, 1);
        if (!b.Picture.Ok && (s.MovieWidth <= 0 || s.MovieHeight <= 0))
            w = 4, h = 3;
        // The text width, or less where the picture would not fit a page
        // with its text.
        b.PicW = textW;
        b.PicH = textW * h / w;
        const double room = std::max(bottom - kMargin - textH, 72.0);
        if (b.PicH > room) {
            b.PicW *= room / b.PicH;
            b.PicH = room;
        }
        b.Height = textH + b.PicH;
        if (y + b.Height > bottom && y > kMargin + 1) {
            ++page;
            y = kMargin;
        }
        b.Page = page;
        b.Y = y;
        y += b.Height + kGap;
    }
    const int pages = page + 1;

    auto footer = [&](int p) {
        Font(cr, kFootSize, false);
        cairo_set_source_rgb(cr, 0.35, 0.35, 0.35);
        std::string text = "Page " + std::to_string(p + 1) + " of " + std::to_string(pages);
        cairo_move_to(cr, (pageW - Advance(cr, text)) / 2, pageH - kMargin + kFootSize);
        cairo_show_text(cr, text.c_str());
    };

    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    Font(cr, kTitleSize, true);
    double ty = kMargin + kTitleSize;
    for (const std::string& l : title) {
        cairo_move_to(cr, kMargin, ty);
        cairo_show_text(cr, l.c_str());
        ty += kTitleSize * 1.25;
    }
    page = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const TStep& s = guide.Steps[i];
        TBlock& b = blocks[i];
        while (page < b.Page) {
            footer(page);
            cairo_show_page(cr);
            ++page;
        }
        double by = b.Y;
        const std::string heading = "Step " + std::to_string(s.Number);
        char dest[96];
        std::snprintf(dest, sizeof dest, "page=%d pos=[%.1f %.1f]", b.Page + 1, kMargin, by);
        std::string entry = heading;
        if (s.Captioned) {
            std::string first = Lines(s.Text).front();
            if (first.size() > 80) {
                size_t cut = 80;
                while (cut > 0 && (static_cast<unsigned char>(first[cut]) & 0xC0) == 0x80)
                    --cut;
                first = first.substr(0, cut) + "...";
            }
            entry += ": " + first;
        }
        cairo_pdf_surface_add_outline(surface.get(), CAIRO_PDF_OUTLINE_ROOT, entry.c_str(), dest,
                                      cairo_pdf_outline_flags_t(0));
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        Font(cr, kHeadSize, true);
        cairo_move_to(cr, kMargin, by + kHeadSize);
        cairo_show_text(cr, heading.c_str());
        by += kHeadSize * 1.4;
        Font(cr, kBodySize, false);
        for (const std::string& l : b.Lines) {
            cairo_move_to(cr, kMargin, by + kBodySize);
            cairo_show_text(cr, l.c_str());
            by += kBodySize * 1.35;
        }
        by += 4;
        if (b.Picture.Ok) {
            TPicture& pic = b.Picture;
            // The pixels are never drawn from: the PDF carries the JPEG itself.
            const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, pic.Width);
            const size_t need = size_t(stride) * size_t(pic.Height);
            if (need > pixelBytes) {
                void* pixels = std::calloc(need, 1);
                if (!pixels)
                    Fail(target, "not enough memory for the pictures");
                pixelBuffers.emplace_back(pixels);
                pixelBytes = need;
            }
            TSurface& img = pictures.emplace_back(
                cairo_image_surface_create_for_data(
                    static_cast<unsigned char*>(pixelBuffers.back().get()), CAIRO_FORMAT_RGB24,
                    pic.Width, pic.Height, stride),
                cairo_surface_destroy);
            // The surface owns the bytes from here; the block needs them no more.
            auto* bytes = new std::vector<uint8_t>(std::move(pic.Jpeg));
            if (cairo_surface_set_mime_data(img.get(), CAIRO_MIME_TYPE_JPEG, bytes->data(),
                                            bytes->size(), FreeBytes, bytes) !=
                CAIRO_STATUS_SUCCESS) {
                delete bytes;
                Fail(target, "not enough memory for the pictures");
            }
            cairo_save(cr);
            cairo_translate(cr, kMargin, by);
            cairo_scale(cr, b.PicW / pic.Width, b.PicH / pic.Height);
            cairo_set_source_surface(cr, img.get(), 0, 0);
            cairo_paint(cr);
            cairo_restore(cr);
            if (auto p = PointerOn(s, pic.Width, pic.Height)) {
                const double k = b.PicW / pic.Width;
                // A ring near the edge stays on its picture.
                cairo_save(cr);
                cairo_rectangle(cr, kMargin, by, b.PicW, b.PicH);
                cairo_clip(cr);
                DrawMarker(cr, kMargin + p->first * k, by + p->second * k,
                           std::max(MarkerRadius(pic.Width, pic.Height) * k, 6.0));
                cairo_restore(cr);
            }
            b.Picture = {}; // written; no need to keep it
        } else {
            DrawPlaceholder(cr, kMargin, by, b.PicW, b.PicH, s.PicturePath);
        }
        Step(options, s.Number, total);
    }
    footer(page);
    crHold.reset();
    cairo_surface_finish(surface.get());
    const cairo_status_t status = cairo_surface_status(surface.get());
    surface.reset();
    if (sink.Errno)
        Fail(target, std::strerror(sink.Errno));
    if (status != CAIRO_STATUS_SUCCESS)
        Fail(target, cairo_status_to_string(status));
    FILE* f = file.release();
    if (std::fflush(f) != 0 || std::ferror(f)) {
        std::fclose(f);
        Fail(target, std::strerror(errno));
    }
    if (std::fclose(f) != 0)
        Fail(target, std::strerror(errno));
    tmp.Commit();
}

} // namespace guide::detail
