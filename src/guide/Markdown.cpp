// The guide as a Markdown file and a folder of pictures beside it, with the
// marker drawn into them. The folder is built beside the old one and swapped
// in whole, so a reader never sees a mix of two exports.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "guide/GuideParts.h"

namespace guide::detail {

namespace fs = std::filesystem;

namespace {

// Every ASCII punctuation character may be escaped in CommonMark, and an
// escaped one is always literal text: captions never turn into markup.
void Escape(std::string& out, const std::string& text)
{
    for (char c : text) {
        if (c == '\r')
            continue;
        if (c == '\n' || c == '\t') {
            out += ' ';
            continue;
        }
        if ((c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') ||
            (c >= '{' && c <= '~'))
            out += '\\';
        out += c;
    }
}

// A link that works for any folder name: everything but the plain characters
// percent-encoded.
std::string LinkPath(const std::string& path)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~' || c == '/')
            out += char(c);
        else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

class TTempFolder {
  public:
    explicit TTempFolder(const std::string& target) : Target(target)
    {
        Tmp = target + ".XXXXXX";
        if (!mkdtemp(Tmp.data())) {
            int e = errno;
            Tmp.clear();
            Fail(target, std::strerror(e));
        }
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::chmod(Tmp.c_str(), 0777 & ~mask);
    }
    ~TTempFolder()
    {
        std::error_code ec;
        if (!Tmp.empty())
            fs::remove_all(Tmp, ec);
    }
    const std::string& Path() const { return Tmp; }
    // Puts the folder in place; the old one, if any, is now at Path().
    // Returns whether there was an old one.
    bool SwapIn()
    {
        if (::renameat2(AT_FDCWD, Tmp.c_str(), AT_FDCWD, Target.c_str(), RENAME_EXCHANGE) == 0)
            return Swapped = true;
        if (errno != ENOENT)
            Fail(Target, std::strerror(errno));
        if (::rename(Tmp.c_str(), Target.c_str()) != 0)
            Fail(Target, std::strerror(errno));
        Tmp.clear();
        Moved = true;
        return false;
    }
    // Takes the swap back after a later failure.
    void SwapBack()
    {
        if (Swapped)
            ::renameat2(AT_FDCWD, Tmp.c_str(), AT_FDCWD, Target.c_str(), RENAME_EXCHANGE);
        else if (Moved) {
            std::error_code ec;
            fs::remove_all(Target, ec);
        }
        Swapped = Moved = false;
    }

  private:
    std::string Target, Tmp;
    bool Swapped = false, Moved = false;
};

} // namespace

void WriteMarkdown(const TGuide& guide, const std::string& target, const TGuideOptions& options,
                   TGuideReport& report)
{
    const fs::path md(target);
    const std::string folderName = md.stem().string() + "_files";
    const std::string folder = (md.parent_path() / folderName).string();
    std::error_code ec;
    if (fs::exists(fs::symlink_status(folder, ec)) && !fs::is_directory(fs::symlink_status(folder, ec)))
        Fail(target, "the pictures would replace \"" + folder + "\", which is not a folder");
    TTempFile file(target);
    TTempFolder pictures(folder);
    const int total = int(guide.Steps.size());
    Step(options, 0, total);

    std::string out = "# ";
    Escape(out, guide.Title);
    out += "\n";
    for (const TStep& s : guide.Steps) {
        const std::string n = std::to_string(s.Number);
        out += "\n## Step " + n + "\n\n";
        if (s.Captioned)
            for (const std::string& line : Lines(s.Text)) {
                Escape(out, line);
                out += "\n\n";
            }
        char name[32];
        std::snprintf(name, sizeof name, "step-%03d.jpg", s.Number);
        TPicture pic = LoadPicture(s.PicturePath);
        std::vector<uint8_t> bytes;
        if (pic.Ok) {
            bytes = MarkedJpeg(pic, s);
        } else {
            report.Missing.push_back({s.Number, s.PicturePath, pic.Why});
            bytes = PlaceholderJpeg(s, s.MovieWidth > 0 ? std::min(s.MovieWidth, 4000) : 640,
                                    s.MovieHeight > 0 ? std::min(s.MovieHeight, 4000) : 480);
            Escape(out, MissingText(s.PicturePath));
            out += "\n\n";
        }
        WriteBytes(pictures.Path() + "/" + name, bytes.data(), bytes.size(), target);
        out += "![";
        Escape(out, s.Text);
        out += "](" + LinkPath(folderName + "/" + name) + ")\n";
        Step(options, s.Number, total);
    }
    WriteBytes(file.Path(), out.data(), out.size(), target);
    const bool hadOld = pictures.SwapIn();
    try {
        file.Commit();
    } catch (...) {
        pictures.SwapBack();
        throw;
    }
    (void)hadOld; // the old folder goes with the temporary one
}

} // namespace guide::detail
