#pragma once

#include <string>

#include "export/FlashObj.h"

namespace quillora {

class TFlashSound : public TFlashObj {
  public:
    TFlashSound() : TFlashObj("Sound") {}

    std::string Content; // path of the WAV file

    void LoadObject(int32_t index) override;
    void AppendToDocument() override;
    void AddToMovie(int32_t index, const TExportTarget& target) override;
};

} // namespace quillora
