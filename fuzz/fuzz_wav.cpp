// Any bytes: ParseWav reads them or throws std::runtime_error; what it
// accepts is consistent.
#include <cstdlib>
#include <stdexcept>

#include "swf/Media.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        swf::WavSound s = swf::ParseWav(data, size);
        if (s.samples.size() != 2u * s.sampleCount || s.sampleCount == 0 || s.rateCode < 0 || s.rateCode > 3)
            std::abort();
    } catch (const std::runtime_error&) {
    }
    return 0;
}
