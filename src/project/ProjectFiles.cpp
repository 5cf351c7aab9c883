#include "project/ProjectFiles.h"

#include "base/Error.h"
#include "document/XMLDocument.h"
#include "document/XMLUnit.h"
#include "project/FlashCard.h"
#include "project/Recovery.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <system_error>

namespace fs = std::filesystem;

namespace quillora {

namespace {

// The "Content" element of each picture and sound object, with its kind.
std::vector<std::pair<std::string, pugi::xml_node>> FileContents(TXMLDocument& doc)
{
    std::vector<std::pair<std::string, pugi::xml_node>> found;
    const pugi::xml_node root = doc.DocumentElement();
    for (pugi::xml_node obj = root.child("Obj"); obj; obj = obj.next_sibling("Obj")) {
        const std::string kind = obj.child("ObjTypeName").text().get();
        const char* holder = kind == "Pic" ? "ObjPic" : kind == "Sound" ? "ObjSound" : nullptr;
        if (!holder)
            continue;
        pugi::xml_node content = obj.child("ObjType").child(holder).child("Content");
        if (content && *content.text().get())
            found.emplace_back(kind, content);
    }
    return found;
}

std::string Resolved(const std::string& stored, const fs::path& folder)
{
    fs::path p(stored);
    if (p.is_relative())
        p = folder / p;
    return p.lexically_normal().string();
}

bool SameBytes(const fs::path& a, const fs::path& b)
{
    std::error_code ec;
    if (fs::file_size(a, ec) != fs::file_size(b, ec) || ec)
        return false;
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    return std::equal(std::istreambuf_iterator<char>(x), std::istreambuf_iterator<char>(),
                      std::istreambuf_iterator<char>(y), std::istreambuf_iterator<char>());
}

void SetText(pugi::xml_node element, const std::string& value)
{
    // The format's values hold one text node or none.
    while (element.first_child())
        element.remove_child(element.first_child());
    element.append_child(pugi::node_pcdata).set_value(value.c_str());
}

} // namespace

std::string ProjectFilesFolder(const std::string& projectPath)
{
    fs::path p(projectPath);
    p.replace_extension();
    return p.string() + "_files";
}

TSavedFiles SaveProjectWithFiles(const std::string& workingProject, const std::string& target)
{
    TXMLDocument doc;
    doc.LoadFromFile(workingProject);
    GetMovie(doc);
    const fs::path from = fs::absolute(workingProject).parent_path();
    const fs::path files = ProjectFilesFolder(fs::absolute(target).lexically_normal().string());
    const std::string filesName = files.filename().string();

    TSavedFiles saved;
    bool changed = false;
    std::map<std::string, std::string> placed; // source -> path relative to the project
    for (auto& [kind, content] : FileContents(doc)) {
        const std::string source = Resolved(content.text().get(), from);
        auto known = placed.find(source);
        if (known == placed.end()) {
            const char* what = kind == "Pic" ? "picture" : "sound";
            std::error_code ec;
            if (!fs::is_regular_file(source, ec))
                throw Error("Cannot save " + target + ": the " + what + " " + source +
                            " cannot be found. Put it back, or delete its tile, and save again.");
            std::string relative;
            if (fs::path(source).parent_path() == files) {
                relative = filesName + "/" + fs::path(source).filename().string();
            } else {
                // A name of its own in the folder: files of the same name
                // from different folders must not replace each other.
                const fs::path name = fs::path(source).filename();
                fs::path copy = files / name;
                for (int i = 2; fs::exists(copy, ec) && !SameBytes(source, copy); ++i)
                    copy = files / (name.stem().string() + "-" + std::to_string(i) +
                                    name.extension().string());
                fs::create_directories(files, ec);
                if (ec)
                    throw Error("Cannot save " + target + ": cannot create " + files.string() +
                                ": " + ec.message());
                if (!fs::exists(copy, ec)) {
                    CopyFileOver(source, copy.string());
                    saved.Copies.emplace_back(source, copy.string());
                }
                relative = filesName + "/" + copy.filename().string();
            }
            known = placed.emplace(source, relative).first;
        }
        if (known->second != content.text().get()) {
            SetText(content, known->second);
            changed = true;
        }
    }
    // A project whose files are all in place already is copied byte for byte.
    if (changed)
        WriteFileAtomic(target, SerializeDocument(doc.DOM()));
    else
        CopyFileOver(workingProject, target);

    // The working folder may let go of a screenshot once a saved project
    // holds its copy: say where it is.
    for (const auto& [source, copy] : saved.Copies) {
        std::optional<TCaptureNote> note = ReadCaptureNote(source);
        if (!note)
            continue;
        note->Copies.push_back(copy);
        try {
            WriteCaptureNote(source, *note);
        } catch (const std::exception&) {
            // Then the working picture just stays.
        }
    }
    return saved;
}

std::vector<std::string> CopyProjectToWorking(const std::string& source,
                                              const std::string& workingProject)
{
    TXMLDocument doc;
    try {
        doc.LoadFromFile(source);
    } catch (const std::exception& e) {
        throw Error("Cannot copy " + source + " to " + workingProject + ": " + e.what());
    }
    const fs::path folder = fs::absolute(source).parent_path();
    std::vector<std::string> missing;
    bool relative = false;
    for (auto& [kind, content] : FileContents(doc)) {
        const std::string stored = content.text().get();
        const std::string path = Resolved(stored, folder);
        if (fs::path(stored).is_relative()) {
            SetText(content, path);
            relative = true;
        }
        std::error_code ec;
        if (!fs::is_regular_file(path, ec))
            missing.push_back(path);
    }
    // Older projects (and the template) are copied byte for byte.
    if (!relative) {
        CopyFileOver(source, workingProject);
        return missing;
    }
    try {
        WriteFileAtomic(workingProject, SerializeDocument(doc.DOM()));
    } catch (const std::exception& e) {
        throw Error("Cannot copy " + source + " to " + workingProject + ": " + e.what());
    }
    return missing;
}

} // namespace quillora
