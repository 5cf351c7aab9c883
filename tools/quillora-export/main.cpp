// quillora-export PROJECT.qlv [MOVIE.swf]: the movie of a project, written
// by the same export as the program's Save, for scripts and batch work; or
// its step-by-step guide.
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>

#include "base/GlobalVars.h"
#include "export/SwfWriters.h"
#include "guide/Guide.h"
#include "project/MovieFormats.h"
#include "video/TempFile.h"

#include "ExportProject.h"
#include "MediaModule.h"

namespace {

const char* kUsage = "Usage: quillora-export PROJECT.qlv [MOVIE.swf]\n"
                     "       quillora-export [--zoom[=LEVEL] | --no-zoom]\n"
                     "                       [--click-rings | --no-click-rings] PROJECT.qlv VIDEO\n"
                     "       quillora-export [--paper a4|letter] PROJECT.qlv GUIDE.html|.md|.pdf\n"
                     "\n"
                     "Writes the movie of a Quillora project, as Save does in the program.\n"
                     "MOVIE defaults to the project's path with the extension .swf. Its extension\n"
                     "picks the format:\n%s"
                     "or a step-by-step guide of the project, a step per picture with its\n"
                     "captions and a ring on the pointer:\n%s"
                     "A video (MP4, WebM, GIF) zooms toward the pointer and shows a ring at each\n"
                     "click as the project chooses (File > Export in the program); these options\n"
                     "override that choice for this export, and the SWF ignores them:\n"
                     "  --zoom[=LEVEL]     zoom toward the pointer; LEVEL is %s\n"
                     "                     (without it, the project's level, or 2)\n"
                     "  --no-zoom          show the whole stage all the time\n"
                     "  --click-rings      a ring at each click (with the zoom unless said)\n"
                     "  --no-click-rings   no rings\n"
                     "\n"
                     "A PDF guide is printed on A4 or Letter as the locale's paper size says;\n"
                     "--paper a4 or --paper letter picks it. A picture that cannot be read\n"
                     "becomes a step saying which file is missing, and is reported.\n"
                     "\n"
                     "The click of each still picture is click.wav from the program's data folder\n"
                     "(%s). Pictures with the \"Move\" effect are read from the project's\n"
                     "folder (the object's name plus .jpg). The project file is only read.\n"
                     "\n"
                     "A picture or sound that cannot be used is reported on standard error and\n"
                     "left out; the movie is written all the same. Any other problem (a project\n"
                     "that is not a Quillora project, a value that is not a number, a folder that\n"
                     "cannot be written) ends the export with its message, and no movie file is\n"
                     "written or changed; a value that does not read is named with its object\n"
                     "(its place in the project, from 1, and its name) and its element.\n"
                     "Progress is shown when standard error is a terminal. Ctrl+C, SIGTERM and\n"
                     "SIGHUP stop the export and leave no file behind.\n"
                     "\n"
                     "Exit status: 0 when the movie was written, 1 when the export failed,\n"
                     "2 for a wrong command line (an extension that names no format too).\n";

void Usage(FILE* to, const std::string& dataFolder)
{
    std::fprintf(to, kUsage, quillora::kMovieFormatList, guide::kGuideFormatList,
                 quillora::ZoomLevelRange().c_str(), dataFolder.c_str());
}

bool IsMovieName(const std::string& path)
{
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".swf" || video::VideoFormatOf(path).has_value();
}

// The extension is the part of the file name from its last "." on.
std::string WithoutExtension(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path;
    return path.substr(0, dot);
}

volatile sig_atomic_t Interrupted = 0;

// Ctrl+C, a kill and a closed terminal all stop the export at its next
// step, so the file being written beside the target is removed on the way
// out; the default action would end the process and leave it behind.
void CatchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = [](int sig) { Interrupted = sig; };
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &action, nullptr);
}

class TerminalReporter : public IExportReporter {
  public:
    TerminalReporter() : Progress(isatty(STDERR_FILENO)) {}
    int Problems = 0;

    void ExportError(const std::string& message, const std::string& detail) override
    {
        ++Problems;
        ClearLine();
        std::fprintf(stderr, "quillora-export: %s (%s)\n", message.c_str(), detail.c_str());
    }
    void ExportProgress(int done, int total) override
    {
        // Between objects nothing is written yet: a stop costs nothing.
        if (Interrupted)
            throw video::TCancelled();
        ExportProgress(done, total, "objects");
    }
    void ExportProgress(int done, int total, const char* what)
    {
        if (!Progress)
            return;
        // One update per percent is plenty for a terminal.
        int percent = total > 0 ? int(int64_t(done) * 100 / total) : 100;
        if (Shown && percent == LastPercent && done != total)
            return;
        LastPercent = percent;
        if (done == total) // the objects are in; the file is written next
            std::fprintf(stderr, "\r\033[KExporting: %d of %d %s, writing the movie...", done,
                         total, what);
        else
            std::fprintf(stderr, "\rExporting: %d of %d %s", done, total, what);
        Shown = true;
    }
    void ClearLine()
    {
        if (Shown)
            std::fputs("\r\033[K", stderr);
        Shown = false;
    }

  private:
    bool Progress;
    bool Shown = false;
    int LastPercent = -1;
};

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace quillora;
    const std::string dataFolder = ProgramDataFolder();
    std::string args[2];
    int count = 0;
    guide::TPaper paper = guide::TPaper::Auto;
    TFocusOverride focus;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            Usage(stdout, dataFolder);
            return 0;
        }
        if (!std::strncmp(argv[i], "--paper", 7) && (argv[i][7] == '=' || argv[i][7] == '\0')) {
            const char* value = argv[i][7] == '=' ? argv[i] + 8 : (i + 1 < argc ? argv[++i] : "");
            std::optional<guide::TPaper> p = guide::PaperOf(value);
            if (!p) {
                std::fprintf(stderr, "quillora-export: --paper takes a4 or letter, not \"%s\"\n",
                             value);
                return 2;
            }
            paper = *p;
            continue;
        }
        if (!std::strcmp(argv[i], "--zoom") || !std::strncmp(argv[i], "--zoom=", 7)) {
            focus.Zoom = true;
            if (argv[i][6] == '=') {
                std::optional<double> level = ParseZoomLevel(argv[i] + 7);
                if (!level) {
                    std::fprintf(stderr, "quillora-export: --zoom takes %s, not \"%s\"\n",
                                 ZoomLevelRange().c_str(), argv[i] + 7);
                    return 2;
                }
                focus.Level = *level;
            }
            continue;
        }
        if (!std::strcmp(argv[i], "--no-zoom")) {
            focus.Zoom = false;
            continue;
        }
        if (!std::strcmp(argv[i], "--click-rings") || !std::strcmp(argv[i], "--no-click-rings")) {
            focus.ClickRings = argv[i][2] != 'n';
            continue;
        }
        if (argv[i][0] == '-' && argv[i][1] != '\0') {
            std::fprintf(stderr, "quillora-export: unknown option %s\n\n", argv[i]);
            Usage(stderr, dataFolder);
            return 2;
        }
        if (count == 2) {
            std::fprintf(stderr, "quillora-export: too many arguments\n\n");
            Usage(stderr, dataFolder);
            return 2;
        }
        args[count++] = argv[i];
    }
    if (count == 0 || args[0].empty()) {
        Usage(stderr, dataFolder);
        return 2;
    }
    const std::string project = args[0];
    const std::string base = WithoutExtension(project);
    const std::string target = count == 2 ? args[1] : base + ".swf";

    const bool isGuide = guide::GuideFormatOf(target).has_value();
    if (!isGuide && !IsMovieName(target) && !SameFile(project, target)) {
        std::fprintf(stderr,
                     "quillora-export: cannot write %s: its extension names no format this\n"
                     "program writes. The formats are:\n%s%s",
                     target.c_str(), quillora::kMovieFormatList, guide::kGuideFormatList);
        return 2;
    }

    CatchStopSignals();
    TerminalReporter reporter;
    try {
        if (!std::filesystem::exists(project))
            throw Error("Cannot open " + project + ": no such file");
        if (!std::filesystem::is_regular_file(project))
            throw Error("Cannot open " + project + ": not a file");
        if (SameFile(project, target))
            throw Error("The movie " + target + " would replace the project");
        if (isGuide) {
            guide::TGuideOptions options;
            options.Paper = paper;
            options.Progress = [&](int done, int total) {
                reporter.ExportProgress(done, total, "steps");
                return !Interrupted;
            };
            guide::TGuideReport report =
                LoadMediaModule(TMediaKind::Guide).ExportGuide(project, target, options);
            reporter.ClearLine();
            for (const auto& m : report.Missing)
                std::fprintf(stderr, "quillora-export: step %d: picture %s is missing (%s)\n",
                             m.Step, m.File.c_str(), m.Why.c_str());
            if (!report.Missing.empty())
                std::fprintf(stderr,
                             "quillora-export: wrote %s; %zu step(s) show a placeholder for "
                             "their picture\n",
                             target.c_str(), report.Missing.size());
            return 0;
        }
        const std::string clickPath = dataFolder + "/click.wav";
        std::string note;
        if (video::VideoFormatOf(target)) {
            video::TEncodeOptions options;
            options.Progress = [&](int done, int total) {
                reporter.ExportProgress(done, total, "frames");
                return !Interrupted;
            };
            LoadMediaModule(TMediaKind::Video)
                .ExportVideo(project, base, target, clickPath, &reporter, options, &note, focus);
        } else {
            // A target that cannot be written is said at once, not after the work.
            video::TTempFile::CheckTarget(target);
            TExportProject opened(project, base, clickPath);
            TSwfWriterSet writers;
            opened.Card.ExportSwf("All", target, writers.Writers(), &reporter);
        }
        if (!note.empty())
            std::fprintf(stderr, "\rquillora-export: %s\n", note.c_str());
        reporter.ClearLine();
    } catch (const Error& e) {
        reporter.ClearLine();
        // Where the bad value is, before the program's own message.
        const std::string place = DescribePlace(e.Place());
        if (place.empty())
            std::fprintf(stderr, "quillora-export: %s\n", e.what());
        else
            std::fprintf(stderr, "quillora-export: %s: %s: %s\n", project.c_str(), place.c_str(),
                         e.what());
        return 1;
    } catch (const video::TCancelled& e) {
        reporter.ClearLine();
        const int sig = Interrupted;
        std::fprintf(stderr, "quillora-export: %s (%s)\n", e.what(),
                     sig == SIGTERM  ? "SIGTERM"
                     : sig == SIGHUP ? "SIGHUP"
                                     : "Ctrl+C");
        return 1;
    } catch (const std::exception& e) {
        reporter.ClearLine();
        std::fprintf(stderr, "quillora-export: %s\n", e.what());
        return 1;
    }
    if (reporter.Problems)
        std::fprintf(stderr, "quillora-export: wrote %s; %d object(s) left out or silent\n",
                     target.c_str(), reporter.Problems);
    return 0;
}
