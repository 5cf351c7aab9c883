#include "recording/Screenshot.h"

#include "base/FileSync.h"

#include <jpeglib.h>

#include <cerrno>
#include <chrono>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace quillora {

namespace {

struct TJpegError {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
};

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<TJpegError*>(cinfo->err)->Jump, 1);
}

} // namespace

std::string EncodeJpeg(const QImage& source, int quality)
{
    const QImage image =
        source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
            ? source
            : source.convertToFormat(QImage::Format_RGB32);
    jpeg_compress_struct cinfo{};
    TJpegError error{};
    cinfo.err = jpeg_std_error(&error.Manager);
    error.Manager.error_exit = JpegErrorExit;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(error.Jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        throw std::runtime_error("Cannot encode the screenshot as JPEG.");
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(image.width());
    cinfo.image_height = JDIMENSION(image.height());
    // Qt's RGB32 is 0xAARRGGBB in native order: B, G, R, X bytes here.
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE); // baseline tables; progressive stays off
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

uint32_t ClockSeededName()
{
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    std::mt19937 generator(static_cast<uint32_t>(ticks ^ (ticks >> 32)));
    return std::uniform_int_distribution<uint32_t>(0, 99999998)(generator);
}

std::string WriteScreenshotFile(const std::string& folder, const std::string& bytes,
                                const TNameSource& drawName,
                                const std::function<void(const std::string& path)>& named)
{
    std::string path;
    int fd = -1;
    // Far more draws than a folder can hold names for; only a broken name
    // source gets here.
    for (int attempt = 0; attempt < 1000 && fd < 0; ++attempt) {
        path = folder + "/" + std::to_string(drawName() % 99999999u) + ".jpg";
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST)
            throw std::runtime_error("Cannot write the screenshot " + path + ": " +
                                     std::strerror(errno));
    }
    if (fd < 0)
        throw std::runtime_error("Cannot find a free file name for the screenshot in " + folder);

    if (named) {
        try {
            named(path);
        } catch (...) {
            ::close(fd);
            ::unlink(path.c_str());
            throw;
        }
    }
    const char* data = bytes.data();
    size_t left = bytes.size();
    int failure = 0;
    while (left > 0 && !failure) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno != EINTR)
            failure = errno;
        if (n > 0) {
            data += n;
            left -= size_t(n);
        }
    }
    // The document will point at this file: it must be whole before that.
    if (!failure && quillora::SyncFile(fd) != 0 && errno != EINVAL)
        failure = errno;
    if (::close(fd) != 0 && !failure)
        failure = errno;
    if (failure) {
        ::unlink(path.c_str());
        throw std::runtime_error("Cannot write the screenshot " + path + ": " +
                                 std::strerror(failure));
    }
    return path;
}

} // namespace quillora
