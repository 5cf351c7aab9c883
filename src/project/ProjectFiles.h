// A saved project travels with its files: the pictures and sounds it uses
// lie in a folder beside it ("clip_files" beside "clip.qlv") and the project
// names them by paths relative to its own folder. The working project, in
// the working folder, names its files by absolute paths.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quillora {

// "/a/clip.qlv" -> "/a/clip_files".
std::string ProjectFilesFolder(const std::string& projectPath);

struct TSavedFiles {
    // Each file copied in this save: where it came from, where it is now.
    std::vector<std::pair<std::string, std::string>> Copies;
};

// Writes the project in workingProject to target: every picture and sound
// it uses that is not in target's files folder yet is copied there (each
// copy atomic), then the project is written (atomic too) with paths
// relative to target's folder. A file that is missing or cannot be copied
// throws an Error naming it, and target is left as it was. The working
// project is not changed. A copied screenshot's note records its copy, so
// the working folder can let go of it later.
TSavedFiles SaveProjectWithFiles(const std::string& workingProject, const std::string& target);

// Copies the project at source onto the working project file, its relative
// paths made absolute from source's folder (older projects' absolute paths
// stay as they are). Returns the pictures and sounds that cannot be found.
std::vector<std::string> CopyProjectToWorking(const std::string& source,
                                              const std::string& workingProject);

} // namespace quillora
