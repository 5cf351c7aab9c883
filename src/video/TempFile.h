// A file written beside its target and renamed over it only when complete.
#pragma once

#include <string>

namespace video {

class TTempFile {
  public:
    explicit TTempFile(const std::string& target);
    ~TTempFile(); // removes the temporary file unless committed
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    // Throws, with the same message the write would give, when target
    // cannot be written: a folder, a folder that does not exist or that
    // does not take new files. Cheap, so a long export can check first.
    static void CheckTarget(const std::string& target);

    const std::string& Path() const { return Tmp; }
    void Commit();
    [[noreturn]] void Fail(const std::string& why) const;

  private:
    std::string Target, Tmp;
    bool Done = false;
};

} // namespace video
