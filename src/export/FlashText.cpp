#include "export/FlashText.h"

#include <algorithm>

namespace quillora {

namespace {

// Splits UTF-8 text into its characters (one string each). A byte that does
// not start a valid sequence counts as a character of its own.
std::vector<std::string> Characters(const std::string& text)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t len = c < 0x80           ? 1
                     : (c >> 5) == 0x6  ? 2
                     : (c >> 4) == 0xE  ? 3
                     : (c >> 3) == 0x1E ? 4
                                        : 1;
        if (i + len > text.size())
            len = 1;
        for (size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                len = 1;
        out.push_back(text.substr(i, len));
        i += len;
    }
    return out;
}

// The code of one character as Characters() cut it.
int32_t CodeOf(const std::string& ch)
{
    auto b = [&](size_t i) { return static_cast<unsigned char>(ch[i]); };
    switch (ch.size()) {
    case 2:
        return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
    case 3:
        return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
    case 4:
        return ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
    default:
        return b(0);
    }
}

} // namespace

void TFlashText::LoadObject(int32_t index)
{
    TFlashObj::LoadObject(index);
    KindName = "Text";
    IXMLObjText t = Item(index).GetObjType().GetObjText();
    Content = t.GetContent();
    PositionX = t.GetPositionX();
    PositionY = t.GetPositionY();
    EffectName = t.GetEffectName();
    FontName = t.GetFontName();
    FontSize = t.GetFontSize();
    try {
        FontColor = ParseColor(t.GetFontColor());
    } catch (Error& e) {
        if (e.Place().Empty())
            e.Place() = t.Place("FontColor");
        throw;
    }
    TextUnit = t.GetTextUnit();
}

void TFlashText::AppendToDocument()
{
    IXMLObj obj = AppendCommon(false);
    IXMLObjText t = obj.GetObjType().GetObjText();
    t.SetContent(Content);
    t.SetTextUnit(1);
    t.SetFontName("Microsoft Sans Serif");
    t.SetFontSize(18);
    t.SetFontColor("$FF0000");
    t.SetPositionX(50);
    t.SetPositionY(50);
    t.SetEffectName("None");
    t.SetEffectValue("");
    SaveAppended(obj);
}

void TFlashText::AddToMovie(int32_t index, const TExportTarget& target)
{
    LoadObject(index);
    if (Content.empty())
        return;
    DefineGlyphs(target);
    if (EffectName == "None")
        PlaceText(target);
}

void TFlashText::DefineGlyphs(const TExportTarget& target)
{
    // A unit below 1 would never move on through the text; every piece gets
    // the glyph of its first character, and only pieces are walked (the list
    // holds no empty entries).
    const size_t unit = static_cast<size_t>(std::max<int32_t>(TextUnit, 1));
    std::vector<std::string> chars = Characters(Content);
    GlyphPieces.clear();
    for (size_t p = 0; p < chars.size(); p += unit) {
        std::string piece;
        for (size_t k = p; k < std::min(chars.size(), p + unit); ++k)
            piece += chars[k];
        GlyphPieces.push_back(std::move(piece));
    }
    target.Writers.SwfFont.MakeFont(FontName);
    for (const std::string& piece : GlyphPieces) {
        std::string first = Characters(piece).front();
        target.Writers.SwfFont.AddGlyph(FontName, first, CodeOf(first));
    }
}

void TFlashText::PlaceText(const TExportTarget& target)
{
    auto& movie = target.Writers.SwfMovie;
    auto& text = target.Writers.SwfText;
    text.MakeTextEx(Content, target.Writers.SwfFont, double(PositionX) * 20,
                    (double(PositionY) + 5) * 20, double(FontSize) * 28);
    ColorRGB c = SplitColor(FontColor);
    text.SetSolidFill(c.r, c.g, c.b, 255);
    for (int64_t f = StartTime; f <= EndTime; ++f) {
        movie.GotoFrame(static_cast<int32_t>(f));
        movie.RemoveObject(text);
        movie.AddObject(text);
    }
    // Gone in the frame after its end, as a picture is gone at its end;
    // otherwise it stayed until the next caption took its place. A caption
    // that ends with the last frame a movie can hold has no frame after it.
    if (EndTime >= StartTime && EndTime < movie.MaxFrame()) {
        movie.GotoFrame(EndTime + 1);
        movie.RemoveObject(text);
    }
}

} // namespace quillora
