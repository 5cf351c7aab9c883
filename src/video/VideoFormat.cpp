// A video's format by its name, apart from the encoders, so a program can
// tell a video's name without loading FFmpeg.
#include "video/Encoder.h"

#include "base/Text.h"

namespace video {

std::optional<TVideoFormat> VideoFormatOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::nullopt;
    std::string ext = quillora::AsciiLower(path.substr(dot + 1));
    if (ext == "mp4")
        return TVideoFormat::Mp4;
    if (ext == "webm")
        return TVideoFormat::WebM;
    if (ext == "gif")
        return TVideoFormat::Gif;
    return std::nullopt;
}

} // namespace video
