// Small text helpers shared by the Qt-free libraries.
#pragma once

#include <cctype>
#include <string>

namespace quillora {

// s in lower case, ASCII letters only: for file name extensions and option
// values, whatever the user's locale.
inline std::string AsciiLower(std::string s)
{
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace quillora
