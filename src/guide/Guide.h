// A step-by-step guide of a recorded project: one step per picture in movie
// order, with the captions shown on it as its text and a ring on the
// recorded pointer position, written as HTML, Markdown or PDF.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace guide {

enum class TGuideFormat { Html, Markdown, Pdf };
enum class TPaper { Auto, A4, Letter };

// One line per format, for help texts and error messages.
extern const char* const kGuideFormatList;

// The format a target's extension names (.html, .md, .pdf), if any.
std::optional<TGuideFormat> GuideFormatOf(const std::string& path);
// "a4" or "letter"; nothing for any other text.
std::optional<TPaper> PaperOf(const std::string& name);
// The paper of the locale (LC_PAPER): Letter where its pages are 279 mm high.
TPaper LocalePaper();

struct TStep {
    int Number = 0;          // from 1
    std::string Text;        // the captions, one per line, or "Step N"
    bool Captioned = false;  // Text comes from captions
    std::string PicturePath; // as resolved against the project's folder
    // Picture position and size in the movie, to map the pointer.
    int32_t MovieX = 0, MovieY = 0, MovieWidth = 0, MovieHeight = 0;
    int32_t MouseX = 0, MouseY = 0;
    bool HasMouse = false;
};

struct TGuide {
    std::string Title;
    std::vector<TStep> Steps;
};

// The steps of the project file. Throws quillora::Error when the file does
// not read or holds no pictures.
TGuide ReadGuide(const std::string& projectPath);

struct TGuideOptions {
    TPaper Paper = TPaper::Auto;
    // done of total steps; returning false cancels (TCancelled).
    std::function<bool(int done, int total)> Progress;
};

struct TGuideReport {
    // Steps whose picture could not be read, with the file and why.
    struct TMissing {
        int Step = 0;
        std::string File, Why;
    };
    std::vector<TMissing> Missing;
};

class TCancelled : public std::runtime_error {
  public:
    TCancelled() : std::runtime_error("The guide was cancelled") {}
};

// Writes guide to target in the format its extension names, atomically: a
// failure or a cancel leaves any earlier file (and Markdown folder) as it was.
TGuideReport WriteGuide(const TGuide& guide, const std::string& target,
                        const TGuideOptions& options = {});

// The guide of the project at projectPath, for the program and the tool.
TGuideReport ExportGuide(const std::string& projectPath, const std::string& target,
                         const TGuideOptions& options = {});

} // namespace guide
