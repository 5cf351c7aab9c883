// Options of the real writer, beyond the component contract in Swf.h.
#pragma once

#include <memory>
#include <string>

#include "swf/Bits.h"
#include "swf/Media.h"
#include "swf/Swf.h"

namespace swf {

struct WriterOptions {
    // SWF version written. 8 and above start with a FileAttributes tag.
    int version = 8;
    // Compress the file body (CWS). Screenshots have flat areas whose JPEG
    // data still repeats, so even a fast level saves about a seventh.
    bool compress = true;
    // igzip's levels, 0 to 3. 2 is about as small as zlib's level 1 and
    // several times faster; 3 gains almost nothing more; 0 may even grow
    // JPEG data.
    int compressionLevel = 2;
    // Highest depth used; placements are renumbered when they would go past
    // it. Tests lower it to exercise the renumbering.
    int maxDepth = 65535;
    // Flush the file to disk before it replaces the old one.
    bool syncToDisk = true;
};

std::unique_ptr<ISwfMovie> CreateMovie(const WriterOptions& options);
// An object whose pictures are prepared with these options (CreateObject()
// uses the defaults: optimal Huffman tables).
std::unique_ptr<ISwfObject> CreateObject(const JpegOptions& options);

// The bytes WriteMovie would write, for tests and tools.
Bytes BuildMovieBytes(ISwfMovie& movie);

}  // namespace swf
