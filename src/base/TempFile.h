// A file written beside its target and renamed over it only when complete,
// for every movie and guide we write.
#pragma once

#include <string>

namespace quillora {

class TTempFile {
  public:
    // kind names the file in messages: "movie", "guide".
    TTempFile(const std::string& target, std::string kind);
    ~TTempFile(); // removes the temporary file unless committed
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    // Throws, with the same message the write would give, when target
    // cannot be written: a folder, a folder that does not exist or that
    // does not take new files. Cheap, so a long export can check first.
    static void CheckTarget(const std::string& target, const std::string& kind);

    const std::string& Path() const { return Tmp; }
    void Commit();
    [[noreturn]] void Fail(const std::string& why) const;

  private:
    std::string Target, Kind, Tmp;
    bool Done = false;
};

} // namespace quillora
