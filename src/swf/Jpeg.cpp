// libjpeg reports errors through a callback that must not return; it jumps
// back here with longjmp. Everything with a destructor lives outside the
// function that calls setjmp.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <jpeglib.h>

#include "swf/JpegRecode.h"
#include "swf/Media.h"

namespace swf {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings mean damaged data (a truncated scan, corrupt Huffman codes): the
// picture would show garbage, so they end the read like errors.
void OnMessage(j_common_ptr cinfo, int level) {
    if (level < 0) OnError(cinfo);
}

struct Work {
    jpeg_decompress_struct in;
    jpeg_compress_struct out;
    ErrorManager inErr, outErr;
    bool inCreated = false, outCreated = false;
    unsigned char* outBuf = nullptr;
    unsigned long outSize = 0;
    Bytes pixels;  // only for the lossy path
    ~Work() {
        if (inCreated) jpeg_destroy_decompress(&in);
        if (outCreated) jpeg_destroy_compress(&out);
        std::free(outBuf);
    }
};

void SetupErrors(ErrorManager& e) {
    jpeg_std_error(&e.pub);
    e.pub.error_exit = OnError;
    e.pub.emit_message = OnMessage;
    e.message[0] = 0;
}

enum class Path { Keep, Recode, Reencode };

// Returns false on a libjpeg error; w.inErr/outErr hold the message.
bool Run(Work& w, const uint8_t* data, size_t size, const JpegOptions& options, Path& path,
         JpegImage& img) {
    SetupErrors(w.inErr);
    SetupErrors(w.outErr);
    w.in.err = &w.inErr.pub;
    w.out.err = &w.outErr.pub;
    if (setjmp(w.inErr.jump)) return false;
    if (setjmp(w.outErr.jump)) {
        std::memcpy(w.inErr.message, w.outErr.message, sizeof w.inErr.message);
        return false;
    }
    // The two jump buffers are set in this frame, which stays live below.
    jpeg_create_decompress(&w.in);
    w.inCreated = true;
    jpeg_mem_src(&w.in, data, static_cast<unsigned long>(size));
    jpeg_read_header(&w.in, TRUE);
    img.width = static_cast<int>(w.in.image_width);
    img.height = static_cast<int>(w.in.image_height);
    if (!JpegSizeFits(img.width, img.height)) {
        std::snprintf(w.inErr.message, sizeof w.inErr.message,
                      "%d x %d pixels is larger than players show (8191 a side, 16777215 in all)",
                      img.width, img.height);
        return false;
    }
    img.components = w.in.num_components;

    bool playable = !w.in.arith_code && w.in.data_precision == 8 &&
                    ((w.in.num_components == 1 && w.in.jpeg_color_space == JCS_GRAYSCALE) ||
                     (w.in.num_components == 3 && w.in.jpeg_color_space == JCS_YCbCr));
    if (playable) {
        jvirt_barray_ptr* coefs = jpeg_read_coefficients(&w.in);
        bool needRecode = w.in.progressive_mode || options.optimizeHuffman;
        if (!needRecode) {
            path = Path::Keep;
            return true;
        }
        path = Path::Recode;
        jpeg_create_compress(&w.out);
        w.outCreated = true;
        jpeg_mem_dest(&w.out, &w.outBuf, &w.outSize);
        jpeg_copy_critical_parameters(&w.in, &w.out);
        w.out.optimize_coding = TRUE;
        jpeg_write_coefficients(&w.out, coefs);
        jpeg_finish_compress(&w.out);
        jpeg_finish_decompress(&w.in);
        return true;
    }

    // Players decode only YCbCr and grayscale Huffman JPEGs: decode to RGB and
    // store a high-quality baseline JPEG instead.
    path = Path::Reencode;
    bool cmyk = w.in.jpeg_color_space == JCS_CMYK || w.in.jpeg_color_space == JCS_YCCK;
    w.in.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&w.in);
    const int inComps = w.in.output_components;
    const size_t width = w.in.output_width;
    w.pixels.resize(width * w.in.output_height * 3);
    {
        // Separate scope: the row buffer is libjpeg-owned memory, no destructor.
        JSAMPARRAY row = (*w.in.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&w.in),
                                                    JPOOL_IMAGE, width * inComps, 1);
        while (w.in.output_scanline < w.in.output_height) {
            size_t y = w.in.output_scanline;
            jpeg_read_scanlines(&w.in, row, 1);
            uint8_t* dst = w.pixels.data() + y * width * 3;
            const JSAMPLE* src = row[0];
            for (size_t x = 0; x < width; ++x) {
                if (inComps == 4) {
                    // Adobe writes CMYK inverted (0 = full ink).
                    int c = src[4 * x], m = src[4 * x + 1], yy = src[4 * x + 2], k = src[4 * x + 3];
                    if (!w.in.saw_Adobe_marker) {
                        c = 255 - c;
                        m = 255 - m;
                        yy = 255 - yy;
                        k = 255 - k;
                    }
                    dst[3 * x] = static_cast<uint8_t>(c * k / 255);
                    dst[3 * x + 1] = static_cast<uint8_t>(m * k / 255);
                    dst[3 * x + 2] = static_cast<uint8_t>(yy * k / 255);
                } else if (inComps == 3) {
                    dst[3 * x] = src[3 * x];
                    dst[3 * x + 1] = src[3 * x + 1];
                    dst[3 * x + 2] = src[3 * x + 2];
                } else {
                    dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = src[x];
                }
            }
        }
    }
    jpeg_finish_decompress(&w.in);

    jpeg_create_compress(&w.out);
    w.outCreated = true;
    jpeg_mem_dest(&w.out, &w.outBuf, &w.outSize);
    w.out.image_width = static_cast<JDIMENSION>(width);
    w.out.image_height = w.in.output_height;
    w.out.input_components = 3;
    w.out.in_color_space = JCS_RGB;
    jpeg_set_defaults(&w.out);
    jpeg_set_quality(&w.out, 95, TRUE);
    w.out.optimize_coding = TRUE;
    jpeg_start_compress(&w.out, TRUE);
    while (w.out.next_scanline < w.out.image_height) {
        JSAMPROW r = w.pixels.data() + static_cast<size_t>(w.out.next_scanline) * width * 3;
        jpeg_write_scanlines(&w.out, &r, 1);
    }
    jpeg_finish_compress(&w.out);
    img.components = 3;
    return true;
}

}  // namespace

static JpegImage PrepareWithLibjpeg(const uint8_t* data, size_t size, const JpegOptions& options);

CheckedJpeg CheckJpeg(const uint8_t* data, size_t size, const JpegOptions& options) {
    CheckedJpeg c;
    // The fast path handles what screenshots are: baseline Huffman JPEGs.
    auto scan = std::make_shared<ScanData>();
    if (ParseScan(data, size, options.optimizeHuffman, *scan)) {
        c.width = scan->info.width;
        c.height = scan->info.height;
        c.components = scan->info.components;
        if (options.optimizeHuffman) {
            c.finish = [scan] {
                JpegImage img;
                img.width = scan->info.width;
                img.height = scan->info.height;
                img.components = scan->info.components;
                img.recoded = true;
                if (!EncodeScan(*scan, img.data)) throw std::runtime_error("Unusable JPEG picture: cannot re-code");
                return img;
            };
        } else {
            auto copy = std::make_shared<Bytes>(data, data + size);
            c.finish = [copy, info = scan->info] {
                JpegImage img;
                img.width = info.width;
                img.height = info.height;
                img.components = info.components;
                img.data = *copy;
                return img;
            };
        }
        return c;
    }
    auto img = std::make_shared<JpegImage>(PrepareWithLibjpeg(data, size, options));
    c.width = img->width;
    c.height = img->height;
    c.components = img->components;
    c.finish = [img] { return *img; };
    return c;
}

JpegImage PrepareJpeg(const uint8_t* data, size_t size, const JpegOptions& options) {
    return CheckJpeg(data, size, options).finish();
}

static JpegImage PrepareWithLibjpeg(const uint8_t* data, size_t size, const JpegOptions& options) {
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        throw std::runtime_error(size == 0 ? "Unusable JPEG picture: the file is empty"
                                           : "Unusable JPEG picture: not a JPEG file");
    JpegImage img;
    Work w;
    Path path = Path::Keep;
    if (!Run(w, data, size, options, path, img))
        throw std::runtime_error(std::string("Unusable JPEG picture: ") + w.inErr.message);
    if (img.width <= 0 || img.height <= 0)
        throw std::runtime_error("Unusable JPEG picture: empty image");
    switch (path) {
        case Path::Keep: img.data.assign(data, data + size); break;
        case Path::Recode:
            img.recoded = true;
            img.data.assign(w.outBuf, w.outBuf + w.outSize);
            break;
        case Path::Reencode:
            img.reencoded = true;
            img.data.assign(w.outBuf, w.outBuf + w.outSize);
            break;
    }
    return img;
}

}  // namespace swf
