#include "base/Error.h"

namespace quillora {

namespace {
// A text from the project as it goes into a message line: control
// characters shown as escapes, so a value cannot move the terminal's
// cursor or split the line, and long texts cut short.
std::string Quoted(const std::string& text)
{
    constexpr size_t kLongest = 60;
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (i >= kLongest && (c & 0xC0) != 0x80) { // not inside a character
            out += "...";
            break;
        }
        if (c < 0x20 || c == 0x7F) {
            static const char hex[] = "0123456789ABCDEF";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}
} // namespace

std::string DescribePlace(const ErrorPlace& place)
{
    std::string out;
    if (place.ObjectIndex >= 0) {
        out = "object " + std::to_string(place.ObjectIndex + 1) + " of " +
              std::to_string(place.ObjectCount);
        if (!place.ObjectName.empty())
            out += " (" + Quoted(place.ObjectName) + ")";
    }
    if (!place.Element.empty()) {
        if (!out.empty())
            out += ", ";
        out += "element \"" + place.Element + "\"";
        if (place.ObjectIndex < 0)
            out += " of the movie";
        if (!place.Value.empty())
            out += " holding " + Quoted(place.Value);
    }
    return out;
}

} // namespace quillora
