#include "project/Recovery.h"

#include "base/Error.h"
#include "document/XMLDocument.h"
#include "document/XMLUnit.h"
#include "export/FlashPic.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

namespace quillora {

namespace {

constexpr std::string_view kNoteHeader = "quillora capture 1";
constexpr std::string_view kNoteEnd = "end";
constexpr const char* kTrashFolder = "Trash";

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool ReadWhole(const std::string& path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

template <class T> bool ParseNumber(std::string_view text, T& value)
{
    if (text.empty())
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// The JPEGs a working project's pictures point at, as absolute paths.
std::set<std::string> PicturesOf(const IXMLMovie& movie)
{
    std::set<std::string> paths;
    for (const IXMLObj& obj : movie.GetObj().AllItems()) {
        if (obj.PeekText({"ObjTypeName"}) != "Pic")
            continue;
        const std::string content =
            obj.ResolvePath(obj.PeekText({"ObjType", "ObjPic", "Content"}));
        if (!content.empty())
            paths.insert(fs::path(content).lexically_normal().string());
    }
    return paths;
}

struct TNoted {
    std::string Jpeg;
    TCaptureNote Note;
};

// Every readable note in the folder, with its JPEG's path.
std::vector<TNoted> NotesIn(const std::string& folder)
{
    std::vector<TNoted> notes;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        if (entry.path().extension() != ".capture")
            continue;
        std::string text;
        if (!ReadWhole(entry.path().string(), text))
            continue;
        if (std::optional<TCaptureNote> note = ParseCaptureNote(text)) {
            fs::path jpeg = entry.path();
            jpeg.replace_extension(".jpg");
            notes.push_back({jpeg.lexically_normal().string(), std::move(*note)});
        }
    }
    return notes;
}

void MoveInto(const fs::path& from, const fs::path& folder)
{
    std::error_code ec;
    if (!fs::exists(from, ec))
        return;
    fs::rename(from, folder / from.filename(), ec);
    if (ec)
        throw Error("Cannot move " + from.string() + " to " + folder.string() + ": " +
                    ec.message());
}

} // namespace

std::string CaptureNotePath(const std::string& jpegPath)
{
    fs::path p(jpegPath);
    p.replace_extension(".capture");
    return p.string();
}

std::string FormatCaptureNote(const TCaptureNote& n)
{
    std::string text(kNoteHeader);
    text += "\nrecording " + n.Recording;
    text += "\nsequence " + std::to_string(n.Sequence);
    text += "\nmouse " + std::to_string(n.MouseX) + " " + std::to_string(n.MouseY);
    text += "\nsize " + std::to_string(n.Width) + " " + std::to_string(n.Height);
    text += "\nbytes " + std::to_string(n.Bytes);
    for (const std::string& copy : n.Copies)
        text += "\ncopy " + copy;
    // A note without its last line was cut short.
    text += "\n" + std::string(kNoteEnd) + "\n";
    return text;
}

std::optional<TCaptureNote> ParseCaptureNote(std::string_view text)
{
    TCaptureNote n;
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t eol = text.find('\n');
        if (eol == std::string_view::npos)
            return std::nullopt; // every line ends with a newline
        lines.push_back(text.substr(0, eol));
        text.remove_prefix(eol + 1);
    }
    if (lines.size() < 7 || lines.front() != kNoteHeader || lines.back() != kNoteEnd)
        return std::nullopt;
    bool recording = false, sequence = false, mouse = false, size = false, bytes = false;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const size_t space = line.find(' ');
        if (space == std::string_view::npos)
            return std::nullopt;
        const std::string_view key = line.substr(0, space), value = line.substr(space + 1);
        const size_t gap = value.find(' ');
        const auto pair = [&](int32_t& a, int32_t& b) {
            return gap != std::string_view::npos && ParseNumber(value.substr(0, gap), a) &&
                   ParseNumber(value.substr(gap + 1), b);
        };
        if (key == "recording" && !value.empty()) {
            n.Recording = std::string(value);
            recording = true;
        } else if (key == "sequence") {
            sequence = ParseNumber(value, n.Sequence) && n.Sequence > 0;
        } else if (key == "mouse") {
            mouse = pair(n.MouseX, n.MouseY);
        } else if (key == "size") {
            size = pair(n.Width, n.Height) && n.Width > 0 && n.Height > 0;
        } else if (key == "bytes") {
            bytes = ParseNumber(value, n.Bytes);
        } else if (key == "copy" && !value.empty()) {
            n.Copies.emplace_back(value);
        }
    }
    if (!(recording && sequence && mouse && size && bytes))
        return std::nullopt;
    return n;
}

std::optional<TCaptureNote> ReadCaptureNote(const std::string& jpegPath)
{
    std::string text;
    if (!ReadWhole(CaptureNotePath(jpegPath), text))
        return std::nullopt;
    return ParseCaptureNote(text);
}

void WriteCaptureNote(const std::string& jpegPath, const TCaptureNote& note)
{
    WriteFileAtomic(CaptureNotePath(jpegPath), FormatCaptureNote(note));
}

std::string NewRecordingId()
{
    std::random_device device;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(now).count()) +
           "-" + std::to_string(::getpid()) + "-" + std::to_string(device());
}

std::string RecoveryMarkerPath(const std::string& untitledBase)
{
    return untitledBase + ".recovery";
}

void WriteRecoveryMarker(const std::string& untitledBase, const std::string& recording)
{
    WriteFileAtomic(RecoveryMarkerPath(untitledBase), "recording " + recording + "\n");
}

std::optional<std::string> ReadRecoveryMarker(const std::string& untitledBase)
{
    std::string text;
    if (!ReadWhole(RecoveryMarkerPath(untitledBase), text))
        return std::nullopt;
    constexpr std::string_view key = "recording ";
    if (text.compare(0, key.size(), key) != 0 || text.back() != '\n')
        return std::string(); // a marker all the same: something was not saved
    return text.substr(key.size(), text.size() - key.size() - 1);
}

void ClearRecoveryMarker(const std::string& untitledBase)
{
    std::error_code ec;
    fs::remove(RecoveryMarkerPath(untitledBase), ec);
}

bool IsWholeJpeg(const std::string& path, uint64_t expectedBytes)
{
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    if (ec || size != expectedBytes || size < 4)
        return false;
    std::ifstream in(path, std::ios::binary);
    char head[2] = {}, tail[2] = {};
    in.read(head, 2);
    in.seekg(-2, std::ios::end);
    in.read(tail, 2);
    return in && uint8_t(head[0]) == 0xFF && uint8_t(head[1]) == 0xD8 &&
           uint8_t(tail[0]) == 0xFF && uint8_t(tail[1]) == 0xD9;
}

std::optional<TRecoverable> FindRecoverable(const std::string& untitledBase)
{
    const std::optional<std::string> recording = ReadRecoveryMarker(untitledBase);
    if (!recording)
        return std::nullopt;
    TRecoverable r;
    r.Recording = *recording;
    r.WorkProjectPath = untitledBase + ".qlv";
    std::set<std::string> held;
    try {
        TXMLDocument doc;
        doc.LoadFromFile(r.WorkProjectPath);
        const IXMLMovie movie = GetMovie(doc);
        held = PicturesOf(movie);
        for (const IXMLObj& obj : movie.GetObj().AllItems())
            if (obj.PeekText({"ObjTypeName"}) == "Pic")
                ++r.Pictures;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (r.Recording.empty())
        return r;
    std::vector<TNoted> notes = NotesIn(FolderOf(untitledBase));
    std::sort(notes.begin(), notes.end(),
              [](const TNoted& a, const TNoted& b) { return a.Note.Sequence < b.Note.Sequence; });
    for (const TNoted& n : notes)
        if (n.Note.Recording == r.Recording && !held.count(n.Jpeg) &&
            IsWholeJpeg(n.Jpeg, n.Note.Bytes))
            r.Missing.push_back(n.Jpeg);
    return r;
}

int32_t RecoverWorkingProject(const std::string& untitledBase)
{
    const std::optional<TRecoverable> r = FindRecoverable(untitledBase);
    if (!r)
        throw Error("There is no recording to recover in " + untitledBase + ".qlv");
    if (r->Missing.empty())
        return 0;
    TXMLDocument doc;
    doc.LoadFromFile(r->WorkProjectPath);
    const IXMLMovie movie = GetMovie(doc);
    TFlashPic pic;
    pic.MovieRef = &movie;
    // One save at the end: the working file on disk is either the old one or
    // the one with every picture back.
    pic.SaveAppendedRef = [](const IXMLObj&) {};
    for (const std::string& jpeg : r->Missing) {
        const std::optional<TCaptureNote> note = ReadCaptureNote(jpeg);
        if (!note)
            continue;
        pic.Content = jpeg;
        pic.MouseX = note->MouseX;
        pic.MouseY = note->MouseY;
        pic.Width = note->Width;
        pic.Height = note->Height;
        pic.StartTime = 24 * movie.GetObj().Count();
        pic.AppendToDocument();
    }
    doc.Save();
    return int32_t(r->Missing.size());
}

std::string DiscardWorkingProject(const std::string& untitledBase, std::time_t now)
{
    const std::optional<std::string> recording = ReadRecoveryMarker(untitledBase);
    const fs::path folder = FolderOf(untitledBase);
    fs::path trash = folder / kTrashFolder / std::to_string(int64_t(now));
    for (int i = 2; fs::exists(trash); ++i)
        trash = folder / kTrashFolder / (std::to_string(int64_t(now)) + "-" + std::to_string(i));
    std::error_code ec;
    fs::create_directories(trash, ec);
    if (ec)
        throw Error("Cannot create " + trash.string() + ": " + ec.message());
    if (recording && !recording->empty())
        for (const TNoted& n : NotesIn(folder.string()))
            if (n.Note.Recording == *recording) {
                MoveInto(n.Jpeg, trash);
                MoveInto(CaptureNotePath(n.Jpeg), trash);
            }
    MoveInto(untitledBase + ".qlv", trash);
    MoveInto(untitledBase + ".swf", trash);
    // Last: while it is there, the next start still offers what is left.
    MoveInto(RecoveryMarkerPath(untitledBase), trash);
    return trash.string();
}

void PruneTrash(const std::string& workingFolder, std::time_t now, int days)
{
    const fs::path trash = fs::path(workingFolder) / kTrashFolder;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(trash, ec)) {
        // The folder's name is when it was discarded.
        const std::string name = entry.path().filename().string();
        int64_t when = 0;
        if (!ParseNumber(std::string_view(name).substr(0, name.find('-')), when))
            continue;
        if (entry.is_directory(ec) && now - when > int64_t(days) * 24 * 3600)
            fs::remove_all(entry.path(), ec);
    }
}

int32_t PruneWorkingPictures(const std::string& untitledBase)
{
    const std::optional<std::string> recording = ReadRecoveryMarker(untitledBase);
    std::set<std::string> inUse;
    if (recording) {
        // The unsaved recording keeps every picture its project points at.
        try {
            TXMLDocument doc;
            doc.LoadFromFile(untitledBase + ".qlv");
            inUse = PicturesOf(GetMovie(doc));
        } catch (const std::exception&) {
            return 0; // what it uses cannot be told: remove nothing
        }
    }
    int32_t removed = 0;
    for (const TNoted& n : NotesIn(FolderOf(untitledBase))) {
        if (recording && (recording->empty() || n.Note.Recording == *recording))
            continue;
        if (inUse.count(n.Jpeg))
            continue;
        const bool copied = std::any_of(n.Note.Copies.begin(), n.Note.Copies.end(),
                                        [&](const std::string& copy) {
                                            return IsWholeJpeg(copy, n.Note.Bytes);
                                        });
        if (!copied)
            continue;
        std::error_code ec;
        if (fs::remove(n.Jpeg, ec) && !ec) {
            fs::remove(CaptureNotePath(n.Jpeg), ec);
            ++removed;
        }
    }
    return removed;
}

} // namespace quillora
