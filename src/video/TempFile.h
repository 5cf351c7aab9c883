// A movie written beside its target and renamed over it only when complete.
#pragma once

#include "base/TempFile.h"

#include <string>

namespace video {

class TTempFile : public quillora::TTempFile {
  public:
    explicit TTempFile(const std::string& target) : quillora::TTempFile(target, "movie") {}
    static void CheckTarget(const std::string& target)
    {
        quillora::TTempFile::CheckTarget(target, "movie");
    }
};

} // namespace video
