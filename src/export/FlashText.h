#pragma once

#include <string>
#include <vector>

#include "export/FlashObj.h"

namespace quillora {

class TFlashText : public TFlashObj {
  public:
    TFlashText() : TFlashObj("Text") {}

    std::string Content; // UTF-8
    int32_t TextUnit = 0;
    std::string FontName;
    int32_t FontSize = 0;
    int32_t FontColor = 0; // red in the lowest byte

    void LoadObject(int32_t index) override;
    // Only Content comes from the tool; font, colour, position and effect
    // are always the defaults of a new text.
    void AppendToDocument() override;
    void AddToMovie(int32_t index, const TExportTarget& target) override;

    void DefineGlyphs(const TExportTarget& target);
    void PlaceText(const TExportTarget& target);

    // The pieces the text is cut into for its glyphs, rebuilt by every
    // DefineGlyphs: TextUnit characters each, the last one shorter.
    std::vector<std::string> GlyphPieces;
};

} // namespace quillora
