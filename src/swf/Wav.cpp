#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "swf/Media.h"

namespace swf {

namespace {

FileStamp StampOf(const struct stat& st) {
    return FileStamp{static_cast<uint64_t>(st.st_dev),
                     static_cast<uint64_t>(st.st_ino),
                     static_cast<int64_t>(st.st_size),
                     static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                     static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
}

}  // namespace

Bytes ReadFileBytes(const std::string& path, FileStamp* stamp) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        int err = errno;
        throw std::runtime_error("Cannot open \"" + path + "\": " + std::strerror(err));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int err = errno;
        throw std::runtime_error("Cannot read \"" + path + "\": " + std::strerror(err));
    }
    if (!S_ISREG(st.st_mode)) throw std::runtime_error("Cannot read \"" + path + "\": not a regular file");
    Bytes data(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::read(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int err = errno;
            throw std::runtime_error("Cannot read \"" + path + "\": " + std::strerror(err));
        }
        if (n == 0) break;  // shorter than it was a moment ago
        done += static_cast<size_t>(n);
    }
    data.resize(done);
    if (stamp) *stamp = StampOf(st);
    return data;
}

std::optional<FileStamp> StampFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return StampOf(st);
}

namespace {

uint32_t Le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

[[noreturn]] void Bad(const std::string& why) { throw std::runtime_error("Unusable WAV sound: " + why); }

}  // namespace

WavSound ParseWav(const uint8_t* data, size_t size) {
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        Bad("not a RIFF/WAVE file");
    bool haveFormat = false;
    uint16_t format = 0, channels = 0, bits = 0, blockAlign = 0;
    uint32_t rate = 0;
    const uint8_t* samples = nullptr;
    uint32_t sampleBytes = 0;
    size_t pos = 12;
    while (pos + 8 <= size) {
        const uint8_t* chunk = data + pos;
        uint32_t len = Le32(chunk + 4);
        size_t body = pos + 8;
        if (len > size - body) {
            if (std::memcmp(chunk, "data", 4) == 0)
                Bad("the data chunk claims " + std::to_string(len) + " bytes but the file holds " +
                    std::to_string(size - body));
            Bad("a chunk runs past the end of the file");
        }
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (len < 16) Bad("the format chunk is too short");
            format = Le16(data + body);
            channels = Le16(data + body + 2);
            rate = Le32(data + body + 4);
            blockAlign = Le16(data + body + 12);
            bits = Le16(data + body + 14);
            // WAVE_FORMAT_EXTENSIBLE names its real format in a sub-format GUID.
            if (format == 0xFFFE && len >= 40) format = Le16(data + body + 24);
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0 && !samples) {
            samples = data + body;
            sampleBytes = len;
        }
        // Chunks are padded to an even length.
        pos = body + len + (len & 1);
    }
    if (!haveFormat) Bad("no format chunk");
    if (format != 1) Bad("format " + std::to_string(format) + " is not PCM");
    if (channels != 1) Bad(std::to_string(channels) + " channels; only mono can be used");
    if (bits != 16) Bad(std::to_string(bits) + "-bit samples; only 16-bit can be used");
    if (blockAlign != 2) Bad("inconsistent block alignment " + std::to_string(blockAlign));
    WavSound s;
    switch (rate) {
        case 5512:
        case 5513: s.rateCode = 0; break;
        case 11025: s.rateCode = 1; break;
        case 22050: s.rateCode = 2; break;
        case 44100: s.rateCode = 3; break;
        default:
            Bad("sample rate " + std::to_string(rate) +
                " Hz; only 5512, 11025, 22050 and 44100 Hz can be used");
    }
    if (!samples) Bad("no data chunk");
    if (sampleBytes == 0) Bad("no samples");
    if (sampleBytes % 2) Bad("the data chunk size " + std::to_string(sampleBytes) + " is odd");
    s.sampleRate = rate;
    s.sampleCount = sampleBytes / 2;
    s.samples.assign(samples, samples + sampleBytes);
    return s;
}

}  // namespace swf
