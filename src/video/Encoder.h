// Video files from a timeline: MP4 (H.264, AAC), WebM (VP9, Opus) on
// FFmpeg's libraries, and GIF with a palette per picture. Written beside the
// target and renamed over it, so a failure or a cancel leaves the old file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "video/Timeline.h"

namespace video {

enum class TVideoFormat { Mp4, WebM, Gif };

// The format of a file name's extension (.mp4, .webm, .gif), if any.
std::optional<TVideoFormat> VideoFormatOf(const std::string& path);

// The longest video written: a day of the movie. Far past any recording,
// and short enough that a time typed wrong is refused instead of encoded
// for hours.
constexpr int kMaxVideoHours = 24;
constexpr int64_t MaxVideoFrames(int rate)
{
    return int64_t(rate) * 3600 * kMaxVideoHours;
}

struct TEncodeOptions {
    // Frames done of frames total; returning false cancels.
    std::function<bool(int done, int total)> Progress;
};

// Thrown when Progress cancelled the encoding.
class TCancelled : public std::runtime_error {
  public:
    TCancelled() : std::runtime_error("The export was cancelled") {}
};

struct TEncodeResult {
    int Frames = 0;            // video frames written
    int Width = 0, Height = 0; // of the video
    std::string Note;          // e.g. how an odd stage size was made even
};

TEncodeResult EncodeVideo(const TTimeline& timeline, const std::string& path, TVideoFormat format,
                          const TEncodeOptions& options = {});

// The movie's sounds mixed at sampleRate, mono, from the start of frame 0,
// a piece at a time: only the sounds playing in a piece are held, converted,
// so a long movie costs no more memory than a short one.
class TAudioMixer {
  public:
    TAudioMixer(const TTimeline& timeline, int sampleRate);
    // Samples from..from+count into out; pieces are asked for in order.
    void Mix(int64_t from, int count, float* out);
    // Where the last sound ends, in samples.
    int64_t End() const { return LastEnd; }

  private:
    struct TStart {
        int64_t at;
        const TSound* sound;
    };
    struct TPlaying {
        int64_t at;
        std::shared_ptr<const std::vector<float>> pcm;
    };
    std::shared_ptr<const std::vector<float>> Converted(const TSound& sound);
    int Rate;
    std::vector<TStart> Starts; // in time order
    size_t Next = 0;
    std::vector<TPlaying> Playing;
    // Converted sounds by source, kept while a later start uses them.
    std::vector<std::pair<const TSound*, std::weak_ptr<const std::vector<float>>>> Cache;
    int64_t LastEnd = 0;
};

// The whole mix at once (the player's): at least minSamples long, longer
// when a sound rings on.
std::vector<float> MixAudio(const TTimeline& timeline, int sampleRate, int64_t minSamples = 0);

// Frames the video shows: to the stop frame, held while a sound still plays.
int32_t VideoFrameCount(const TTimeline& timeline);

} // namespace video
