// Any bytes: the JPEG reader prepares them or throws std::runtime_error.
// Whatever the fast re-coder accepts must decode to exactly the pixels of
// the input, as libjpeg sees them.
#include <csetjmp>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

#include "swf/JpegRecode.h"
#include "swf/Media.h"

namespace {

struct Err {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void Fail(j_common_ptr c) { std::longjmp(reinterpret_cast<Err*>(c->err)->jump, 1); }
void Message(j_common_ptr c, int level) {
    if (level < 0) Fail(c);
}

// Decoded RGB pixels, or false when libjpeg refuses or warns.
bool Decode(const uint8_t* data, size_t size, std::vector<uint8_t>& px) {
    jpeg_decompress_struct d;
    Err err;
    d.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = Fail;
    err.pub.emit_message = Message;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&d);
        return false;
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, data, static_cast<unsigned long>(size));
    jpeg_read_header(&d, TRUE);
    if (static_cast<uint64_t>(d.image_width) * d.image_height > (1u << 20)) {
        jpeg_destroy_decompress(&d);
        return false;
    }
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    px.resize(static_cast<size_t>(d.output_width) * d.output_height * 3);
    while (d.output_scanline < d.output_height) {
        JSAMPROW r = px.data() + static_cast<size_t>(d.output_scanline) * d.output_width * 3;
        jpeg_read_scanlines(&d, &r, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 16)) return 0;
    swf::JpegInfo info;
    swf::Bytes out;
    if (swf::RecodeHuffman(data, size, &out, info) &&
        static_cast<uint64_t>(info.width) * info.height <= (1u << 20)) {
        std::vector<uint8_t> a, b;
        if (Decode(data, size, a)) {
            if (!Decode(out.data(), out.size(), b) || a != b) std::abort();
        }
    }
    for (bool optimize : {true, false}) {
        try {
            swf::JpegImage img = swf::PrepareJpeg(data, size, swf::JpegOptions{optimize, false});
            if (img.width <= 0 || img.height <= 0 || img.data.size() < 4) std::abort();
        } catch (const std::runtime_error&) {
        }
    }
    return 0;
}
