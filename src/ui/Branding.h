// Texts and addresses that name the program and its maker.
#pragma once

namespace Branding {
inline constexpr const char* AppTitle = "Quillora 1.0";
inline constexpr const char* ProductName = "Quillora";
inline constexpr const char* MailAddress = "support@brindlecove.example";
inline constexpr const char* HomePage = "https://www.brindlecove.example/";
inline constexpr const char* HomePageShown = "www.brindlecove.example";
inline constexpr const char* Notice =
    "Copyright (C) 2026 Brindlecove.\n"
    "Records software demonstrations\n"
    "as Flash movies and videos.";
} // namespace Branding
