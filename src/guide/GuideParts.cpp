#include "guide/GuideParts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include <turbojpeg.h>

#include "base/Error.h"

namespace guide::detail {

namespace {

struct TjHandle {
    tjhandle H;
    explicit TjHandle(bool compress) : H(compress ? tjInitCompress() : tjInitDecompress())
    {
        if (!H)
            throw quillora::Error("Cannot start the JPEG codec");
    }
    ~TjHandle() { tjDestroy(H); }
};

std::vector<uint8_t> Encode(cairo_surface_t* s)
{
    cairo_surface_flush(s);
    TjHandle tj(true);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    if (tjCompress2(tj.H, cairo_image_surface_get_data(s), cairo_image_surface_get_width(s),
                    cairo_image_surface_get_stride(s), cairo_image_surface_get_height(s),
                    TJPF_BGRX, &out, &size, TJSAMP_420, 90, 0) != 0) {
        std::string why = tjGetErrorStr2(tj.H);
        tjFree(out);
        throw quillora::Error("Cannot encode a picture: " + why);
    }
    std::vector<uint8_t> bytes(out, out + size);
    tjFree(out);
    return bytes;
}

} // namespace

TPicture LoadPicture(const std::string& path)
{
    TPicture p;
    if (path.empty()) {
        p.Why = "the picture names no file";
        return p;
    }
    // One read into a buffer of the file's size: growing a vector a byte at
    // a time copied each picture several times into fresh pages.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        p.Why = std::strerror(errno);
        return p;
    }
    struct stat st {};
    bool readOk = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (readOk) {
        p.Jpeg.resize(size_t(st.st_size));
        size_t got = 0;
        while (readOk && got < p.Jpeg.size()) {
            const ssize_t n = read(fd, p.Jpeg.data() + got, p.Jpeg.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            readOk = n > 0;
            got += n > 0 ? size_t(n) : 0;
        }
    }
    close(fd);
    if (!readOk) {
        p.Jpeg.clear();
        p.Why = "it cannot be read";
        return p;
    }
    TjHandle tj(false);
    int w = 0, h = 0, sub = 0, space = 0;
    if (tjDecompressHeader3(tj.H, p.Jpeg.data(), p.Jpeg.size(), &w, &h, &sub, &space) != 0 ||
        w <= 0 || h <= 0) {
        p.Why = std::string("not a JPEG picture (") + tjGetErrorStr2(tj.H) + ")";
        return p;
    }
    // Decoding at an eighth reads every entropy-coded byte: a damaged file
    // shows as missing rather than as a broken picture in the guide.
    tjscalingfactor f{1, 8};
    const int sw = TJSCALED(w, f), sh = TJSCALED(h, f);
    std::vector<uint8_t> small(size_t(sw) * sh * 4);
    if (tjDecompress2(tj.H, p.Jpeg.data(), p.Jpeg.size(), small.data(), sw, 0, sh, TJPF_BGRX,
                      TJFLAG_STOPONWARNING) != 0) {
        p.Why = std::string("a damaged JPEG picture (") + tjGetErrorStr2(tj.H) + ")";
        return p;
    }
    p.Width = w;
    p.Height = h;
    p.Ok = true;
    return p;
}

std::optional<std::pair<double, double>> PointerOn(const TStep& step, int width, int height)
{
    if (!step.HasMouse || width <= 0 || height <= 0)
        return std::nullopt;
    // The pointer is recorded in movie pixels; the picture may be shown
    // scaled there.
    const double sx = step.MovieWidth > 0 ? double(width) / step.MovieWidth : 1.0;
    const double sy = step.MovieHeight > 0 ? double(height) / step.MovieHeight : 1.0;
    const double x = (double(step.MouseX) - step.MovieX) * sx;
    const double y = (double(step.MouseY) - step.MovieY) * sy;
    if (x < 0 || y < 0 || x >= width || y >= height)
        return std::nullopt;
    return std::pair{x + 0.5, y + 0.5}; // the middle of the pixel
}

double MarkerRadius(int width, int height)
{
    return std::clamp(std::round(std::min(width, height) * 0.03), 12.0, 48.0);
}

void DrawMarker(cairo_t* cr, double x, double y, double radius)
{
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_arc(cr, x, y, radius, 0, 2 * M_PI);
    cairo_set_source_rgba(cr, 0.1, 0.1, 0.1, 0.9);
    cairo_set_line_width(cr, radius * 0.42);
    cairo_stroke_preserve(cr);
    cairo_set_source_rgb(cr, 1.0, 0.84, 0.0);
    cairo_set_line_width(cr, radius * 0.2);
    cairo_stroke(cr);
    cairo_restore(cr);
}

std::vector<uint8_t> MarkedJpeg(const TPicture& picture, const TStep& step)
{
    auto pointer = PointerOn(step, picture.Width, picture.Height);
    if (!pointer)
        return picture.Jpeg; // nothing to draw: the file as it is
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> s(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, picture.Width, picture.Height),
        cairo_surface_destroy);
    if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS)
        throw quillora::Error("Not enough memory for a picture of " +
                              std::to_string(picture.Width) + " x " +
                              std::to_string(picture.Height));
    cairo_surface_flush(s.get());
    TjHandle tj(false);
    if (tjDecompress2(tj.H, picture.Jpeg.data(), picture.Jpeg.size(),
                      cairo_image_surface_get_data(s.get()), picture.Width,
                      cairo_image_surface_get_stride(s.get()), picture.Height, TJPF_BGRX, 0) != 0)
        throw quillora::Error("Cannot decode " + step.PicturePath + ": " + tjGetErrorStr2(tj.H));
    cairo_surface_mark_dirty(s.get());
    cairo_t* cr = cairo_create(s.get());
    DrawMarker(cr, pointer->first, pointer->second, MarkerRadius(picture.Width, picture.Height));
    cairo_destroy(cr);
    return Encode(s.get());
}

void DrawPlaceholder(cairo_t* cr, double x, double y, double w, double h, const std::string& file)
{
    cairo_save(cr);
    cairo_rectangle(cr, x, y, w, h);
    cairo_set_source_rgb(cr, 0.93, 0.93, 0.93);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.6, 0.1, 0.1);
    cairo_set_line_width(cr, std::max(1.0, w / 200));
    cairo_stroke(cr);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    // The name fits the width, however long the path.
    const std::string lines[2] = {"Picture missing:", file};
    double size = std::max(6.0, h / 14);
    for (const std::string& l : lines) {
        cairo_set_font_size(cr, size);
        cairo_text_extents_t e;
        cairo_text_extents(cr, l.c_str(), &e);
        if (e.x_advance > w * 0.9)
            size = std::max(4.0, size * w * 0.9 / e.x_advance);
    }
    cairo_set_font_size(cr, size);
    double ly = y + h / 2 - size * 0.3;
    for (const std::string& l : lines) {
        cairo_text_extents_t e;
        cairo_text_extents(cr, l.c_str(), &e);
        cairo_move_to(cr, x + (w - e.x_advance) / 2, ly);
        cairo_show_text(cr, l.c_str());
        ly += size * 1.4;
    }
    cairo_restore(cr);
}

std::vector<uint8_t> PlaceholderJpeg(const TStep& step, int width, int height)
{
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> s(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height), cairo_surface_destroy);
    cairo_t* cr = cairo_create(s.get());
    DrawPlaceholder(cr, 0, 0, width, height, step.PicturePath);
    cairo_destroy(cr);
    return Encode(s.get());
}

std::string MissingText(const std::string& file)
{
    return "Picture missing: " + (file.empty() ? std::string("(no file named)") : file);
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    size_t from = 0;
    while (from <= text.size()) {
        size_t nl = text.find('\n', from);
        if (nl == std::string::npos)
            nl = text.size();
        std::string line = text.substr(from, nl - from);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        size_t lead = line.find_first_not_of(" \t");
        if (lead != std::string::npos)
            out.push_back(line.substr(lead));
        from = nl + 1;
    }
    return out;
}

[[noreturn]] void Fail(const std::string& target, const std::string& why)
{
    throw quillora::Error("Cannot write the guide \"" + target + "\": " + why);
}

void WriteBytes(const std::string& path, const void* data, size_t size, const std::string& target)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        Fail(target, std::strerror(errno));
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            int e = n < 0 ? errno : ENOSPC;
            ::close(fd);
            Fail(target, std::strerror(e));
        }
        p += n;
        size -= size_t(n);
    }
    if (::close(fd) != 0)
        Fail(target, std::strerror(errno));
}

} // namespace guide::detail
