// The formats' list apart from the export, for help texts of programs that
// write videos through a module loaded later.
#include "project/MovieFormats.h"

namespace quillora {

const char* const kMovieFormatList = "  .swf   Flash movie (the default), at most 65535 frames:\n"
                                     "         2730 pictures of 24 frames\n"
                                     "  .mp4   H.264 video with AAC sound\n"
                                     "  .webm  VP9 video with Opus sound\n"
                                     "  .gif   animated GIF, without sound\n";

} // namespace quillora
