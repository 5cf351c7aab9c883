// What the three guide writers share: the pictures, the marker and the
// atomic file.
#pragma once

#include "base/TempFile.h"

#include <cairo.h>

#include <cstdint>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "guide/Guide.h"

namespace guide::detail {

// A step's picture as read from its file, checked to decode.
struct TPicture {
    bool Ok = false;
    std::string Why; // when not Ok
    std::vector<uint8_t> Jpeg;
    int Width = 0, Height = 0;
};
TPicture LoadPicture(const std::string& path);

// The recorded pointer in the picture's own pixels, when it lies on it.
std::optional<std::pair<double, double>> PointerOn(const TStep& step, int width, int height);

// Ring radius for a picture of that size, in its pixels.
double MarkerRadius(int width, int height);
// The ring around (x, y) in cr's user space: a dark outer and a light inner
// stroke, so it shows on light and dark screens; the middle stays clear so
// the clicked point is seen.
void DrawMarker(cairo_t* cr, double x, double y, double radius);
// The picture decoded, with the marker drawn in when the step has a
// pointer, encoded as a JPEG again.
std::vector<uint8_t> MarkedJpeg(const TPicture& picture, const TStep& step);
// The placeholder of a missing picture as a JPEG, naming the file.
std::vector<uint8_t> PlaceholderJpeg(const TStep& step, int width, int height);
// Draws the placeholder into cr's rectangle.
void DrawPlaceholder(cairo_t* cr, double x, double y, double w, double h, const std::string& file);

// "Picture not found: FILE" and the like, for texts.
std::string MissingText(const std::string& file);

// Text as lines; empty lines dropped.
std::vector<std::string> Lines(const std::string& text);

// Writes path; a failure is reported as one writing target.
void WriteBytes(const std::string& path, const void* data, size_t size, const std::string& target);

// A guide written beside its target and renamed over it when complete.
class TTempFile : public quillora::TTempFile {
  public:
    explicit TTempFile(const std::string& target) : quillora::TTempFile(target, "guide") {}
};

[[noreturn]] void Fail(const std::string& target, const std::string& why);
void Step(const TGuideOptions& options, int done, int total);

void WriteHtml(const TGuide& guide, const std::string& target, const TGuideOptions& options,
               TGuideReport& report);
void WriteMarkdown(const TGuide& guide, const std::string& target, const TGuideOptions& options,
                   TGuideReport& report);
void WritePdf(const TGuide& guide, const std::string& target, const TGuideOptions& options,
              TGuideReport& report);

} // namespace guide::detail
