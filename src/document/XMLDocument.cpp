#include "document/XMLDocument.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Error.h"
#include "base/FileSync.h"

namespace quillora {

namespace {

// Whitespace between elements is dropped; comments, processing instructions
// and the prolog are kept so a saved file carries what it was loaded with.
constexpr unsigned kParseOptions = pugi::parse_cdata | pugi::parse_escapes | pugi::parse_eol |
                                   pugi::parse_wconv_attribute | pugi::parse_comments |
                                   pugi::parse_pi | pugi::parse_declaration | pugi::parse_doctype;

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::string Utf16ToUtf8(std::string_view in, bool bigEndian)
{
    std::string out;
    out.reserve(in.size());
    auto unit = [&](size_t i) -> uint32_t {
        auto a = uint8_t(in[i]), b = uint8_t(in[i + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    for (size_t i = 0; i + 1 < in.size(); i += 2) {
        uint32_t u = unit(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < in.size()) {
            uint32_t lo = unit(i + 2);
            if (lo >= 0xDC00 && lo < 0xE000) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (u >= 0xD800 && u < 0xE000)
            u = 0xFFFD; // lone surrogate
        AppendUtf8(out, u);
    }
    return out;
}

// windows-1252 differs from Latin-1 in 0x80-0x9F only.
const uint16_t kCp1252High[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                  0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

std::string SingleByteToUtf8(std::string_view in, bool cp1252)
{
    std::string out;
    out.reserve(in.size() + in.size() / 4);
    for (char ch : in) {
        auto b = uint8_t(ch);
        if (cp1252 && b >= 0x80 && b < 0xA0)
            AppendUtf8(out, kCp1252High[b - 0x80]);
        else
            AppendUtf8(out, b);
    }
    return out;
}

// The encoding named in an ASCII-compatible declaration, lower case, or "".
std::string DeclaredEncoding(std::string_view bytes)
{
    if (bytes.substr(0, 5) != "<?xml")
        return {};
    size_t end = bytes.find("?>");
    if (end == std::string_view::npos)
        return {};
    std::string_view decl = bytes.substr(0, end);
    size_t at = decl.find("encoding");
    if (at == std::string_view::npos)
        return {};
    size_t q = decl.find_first_of("\"'", at);
    if (q == std::string_view::npos)
        return {};
    size_t q2 = decl.find(decl[q], q + 1);
    if (q2 == std::string_view::npos)
        return {};
    return Lower(std::string(decl.substr(q + 1, q2 - q - 1)));
}

// Line and column (in characters) of a byte offset into UTF-8 text.
std::string Where(std::string_view text, size_t offset)
{
    size_t line = 1, column = 1;
    offset = std::min(offset, text.size());
    for (size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else if ((uint8_t(text[i]) & 0xC0) != 0x80) {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Offset of the first byte that breaks UTF-8, or npos.
size_t InvalidUtf8At(std::string_view s)
{
    size_t i = 0;
    while (i < s.size()) {
        auto b = uint8_t(s[i]);
        size_t len = b < 0x80           ? 1
                     : (b >> 5) == 0x6  ? 2
                     : (b >> 4) == 0xE  ? 3
                     : (b >> 3) == 0x1E ? 4
                                        : 0;
        if (len == 0 || i + len > s.size())
            return i;
        uint32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        for (size_t k = 1; k < len; ++k) {
            auto c = uint8_t(s[i + k]);
            if ((c & 0xC0) != 0x80)
                return i;
            cp = (cp << 6) | (c & 0x3F);
        }
        static const uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))
            return i;
        i += len;
    }
    return std::string_view::npos;
}

// Brings the file's bytes to UTF-8, by byte-order mark or declaration.
std::string ToUtf8(std::string bytes, const std::string& what)
{
    auto starts = [&](std::string_view p) {
        return std::string_view(bytes).substr(0, p.size()) == p;
    };
    auto checked = [&](std::string text) {
        // A file that says UTF-8 (or nothing) but is not: refuse it rather
        // than carry broken text into the movie.
        if (size_t at = InvalidUtf8At(text); at != std::string::npos)
            throw Error("Cannot load " + what + ": invalid UTF-8 at " + Where(text, at));
        return text;
    };
    if (starts("\xEF\xBB\xBF"))
        return checked(bytes.substr(3));
    if (starts("\xFF\xFE"))
        return Utf16ToUtf8(std::string_view(bytes).substr(2), false);
    if (starts("\xFE\xFF"))
        return Utf16ToUtf8(std::string_view(bytes).substr(2), true);
    // UTF-16 without a mark still starts with "<" and a zero byte.
    if (starts(std::string_view("<\0", 2)))
        return Utf16ToUtf8(bytes, false);
    if (starts(std::string_view("\0<", 2)))
        return Utf16ToUtf8(bytes, true);

    std::string enc = DeclaredEncoding(bytes);
    if (enc.empty() || enc == "utf-8" || enc == "utf8" || enc == "us-ascii" || enc == "ascii")
        return checked(std::move(bytes));
    if (enc == "iso-8859-1" || enc == "latin1" || enc == "latin-1" || enc == "iso_8859-1" ||
        enc == "l1")
        return SingleByteToUtf8(bytes, false);
    if (enc == "windows-1252" || enc == "cp1252")
        return SingleByteToUtf8(bytes, true);
    throw Error("Cannot load " + what + ": unsupported encoding \"" + enc + "\"");
}

} // namespace

TXMLDocument::TXMLDocument() : state_(std::make_shared<detail::DocState>()) {}

TXMLDocument::TXMLDocument(std::string fileName) : TXMLDocument()
{
    state_->fileName = std::move(fileName);
}

void TXMLDocument::SetFileName(std::string fileName)
{
    if (fileName == state_->fileName)
        return;
    SetActive(false);
    state_->fileName = std::move(fileName);
}

void TXMLDocument::SetActive(bool active)
{
    if (active == state_->active)
        return;
    if (!active) {
        // Earlier bindings keep the old DOM alive; this document starts afresh.
        auto fresh = std::make_shared<detail::DocState>();
        fresh->fileName = state_->fileName;
        state_ = std::move(fresh);
        return;
    }
    if (state_->fileName.empty()) {
        state_->dom.reset();
        state_->objIndex.Forget();
        state_->active = true;
        return;
    }
    LoadFromFile(state_->fileName);
}

void TXMLDocument::LoadFromFile(const std::string& pathRef)
{
    const std::string path = pathRef; // may be our own file name, which loading replaces
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error("Cannot open " + path + ": " + std::strerror(errno));
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        throw Error("Cannot read " + path + ": " + std::strerror(errno));
    loadBytes(std::move(bytes).str(), path);
    state_->fileName = path;
}

void TXMLDocument::LoadFromXML(std::string_view xml)
{
    loadBytes(std::string(xml), "document");
}

void TXMLDocument::loadBytes(std::string bytes, const std::string& what)
{
    std::string text = ToUtf8(std::move(bytes), what);
    // Parse into a fresh state so a failure leaves the current one untouched.
    auto next = std::make_shared<detail::DocState>();
    next->fileName = state_->fileName;
    pugi::xml_parse_result r =
        next->dom.load_buffer(text.data(), text.size(), kParseOptions, pugi::encoding_utf8);
    if (!r)
        throw Error("Cannot load " + what + ": " + r.description() + " at " +
                    Where(text, size_t(std::max<ptrdiff_t>(r.offset, 0))));
    // The text is UTF-8 in memory and is written as UTF-8; say so.
    if (pugi::xml_node decl = next->dom.first_child();
        decl.type() == pugi::node_declaration && decl.attribute("encoding"))
        decl.attribute("encoding").set_value("UTF-8");
    next->active = true;
    state_ = std::move(next);
}

pugi::xml_node TXMLDocument::DocumentElement()
{
    SetActive(true);
    pugi::xml_node root;
    for (pugi::xml_node n = state_->dom.first_child(); n; n = n.next_sibling())
        if (n.type() == pugi::node_element)
            root = n;
    return root;
}

std::string SerializeDocument(const pugi::xml_document& dom)
{
    std::ostringstream out;
    dom.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return std::move(out).str();
}

std::string TXMLDocument::SaveToXML() const
{
    return SerializeDocument(state_->dom);
}

void TXMLDocument::SaveToFile(const std::string& path) const
{
    if (path.empty())
        throw Error("Cannot save: the document has no file name");
    WriteFileAtomic(path, SaveToXML());
}

void WriteFileAtomic(const std::string& path, std::string_view bytes)
{
    namespace fs = std::filesystem;
    auto fail = [&](const std::string& reason) -> Error {
        return Error("Cannot save " + path + ": " + reason);
    };
    // Write through a symbolic link to the file it names, so the link stays.
    fs::path target(path);
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec)
            target = resolved;
    }
    if (fs::is_directory(target, ec))
        throw fail("it is a folder");
    // Renaming would replace a file the user made read-only; honour it.
    if (access(target.c_str(), F_OK) == 0 && access(target.c_str(), W_OK) != 0)
        throw fail(std::strerror(errno));

    fs::path dir = target.parent_path();
    // Hidden, and short enough that a long target name still leaves room.
    std::string tmpl =
        (dir / ("." + target.filename().string().substr(0, 64) + ".XXXXXX")).string();
    int fd = mkstemp(tmpl.data());
    if (fd < 0)
        throw fail(std::strerror(errno));

    auto abandon = [&](int err) {
        close(fd);
        unlink(tmpl.c_str());
        return fail(std::strerror(err));
    };

    // mkstemp makes the file private; give it the target's mode, or the
    // usual mode of a new file.
    struct stat st {};
    mode_t mode;
    if (stat(target.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    if (fchmod(fd, mode) != 0)
        throw abandon(errno);

    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw abandon(errno);
        }
        p += n;
        left -= size_t(n);
    }
    if (SyncFile(fd, true) != 0)
        throw abandon(errno);
    if (close(fd) != 0) {
        int err = errno;
        unlink(tmpl.c_str());
        throw fail(std::strerror(err));
    }
    if (rename(tmpl.c_str(), target.c_str()) != 0) {
        int err = errno;
        unlink(tmpl.c_str());
        throw fail(std::strerror(err));
    }
    // Make the rename itself durable. The new file is complete either way,
    // so a folder that cannot be synced is not an error.
    int dirfd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd >= 0) {
        fsync(dirfd);
        close(dirfd);
    }
}

} // namespace quillora
