#include "video/Encoder.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "video/PicturePool.h"
#include "video/Renderer.h"
#include "video/TempFile.h"
#include "video/Vp9Encoder.h"

namespace video {

TEncodeResult EncodeGif(const TTimeline& timeline, const std::string& path,
                        const TEncodeOptions& options);

namespace {

constexpr int kAudioRate = 48000;

// Screen recordings hold still for seconds: a key frame every 20 s still
// seeks quickly and costs far less than one every 10 s. Both encoders (the
// WebM's waits up to 2 s more for a new picture; see TVp9Parts).
constexpr int kKeyFrameSeconds = 20;

// H.264 frames where the camera zooms are coded about 15 quantiser steps
// coarser (three tenths of the range): every pixel changes in a way motion
// search cannot predict, and they carried most of a zooming video's bytes
// (a quarter of the range took a quarter of the file off, three tenths
// another 3 to 4 %; the settled frames as sharp). A pan is an exact
// shift of the frame before and keeps full quality: coarser, the frames
// after it paid more than it saved. (VP9 sets its own quantiser for the
// moving frames, pans too; see Vp9Encoder.cpp.)
constexpr double kMovingQuantOffset = 0.3;

std::string AvError(int err)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

// One sound at the mix's rate.
std::vector<float> Resampled(const TSound& s, int rate)
{
    std::vector<float> out;
    if (s.samples.empty() || s.rate <= 0)
        return out;
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    SwrContext* swr = nullptr;
    if (swr_alloc_set_opts2(&swr, &mono, AV_SAMPLE_FMT_FLT, rate, &mono, AV_SAMPLE_FMT_S16, s.rate,
                            0, nullptr) < 0 ||
        swr_init(swr) < 0) {
        swr_free(&swr);
        throw std::runtime_error("Cannot convert a sound to " + std::to_string(rate) + " Hz");
    }
    int cap = int(av_rescale_rnd(int64_t(s.samples.size()), rate, s.rate, AV_ROUND_UP)) + 256;
    out.resize(size_t(cap));
    auto* dst = reinterpret_cast<uint8_t*>(out.data());
    const auto* src = reinterpret_cast<const uint8_t*>(s.samples.data());
    int got = swr_convert(swr, &dst, cap, &src, int(s.samples.size()));
    int more = 0;
    if (got >= 0) {
        uint8_t* rest = reinterpret_cast<uint8_t*>(out.data() + got);
        more = swr_convert(swr, &rest, cap - got, nullptr, 0);
    }
    swr_free(&swr);
    out.resize(size_t(std::max(got, 0) + std::max(more, 0)));
    return out;
}

struct TAv {
    AVFormatContext* Fmt = nullptr;
    AVCodecContext* V = nullptr;
    AVCodecContext* A = nullptr;
    AVStream* Vs = nullptr;
    AVStream* As = nullptr;
    AVFrame* Vf = nullptr;
    AVPacket* Pkt = nullptr;
    ~TAv()
    {
        av_packet_free(&Pkt);
        av_frame_free(&Vf);
        avcodec_free_context(&V);
        avcodec_free_context(&A);
        if (Fmt && Fmt->pb)
            avio_closep(&Fmt->pb);
        avformat_free_context(Fmt);
    }
};

} // namespace

int32_t VideoFrameCount(const TTimeline& t)
{
    int32_t frames = t.FrameCount();
    if (!t.stop)
        return frames; // one pass of a looping movie
    // A stopped movie still plays the sounds it started to their end.
    double end = 0;
    for (const TSoundStart& s : t.sounds)
        if (s.frame <= *t.stop && s.sound->rate > 0)
            end = std::max(end, double(s.frame) / t.rate +
                                    double(s.sound->samples.size()) / s.sound->rate);
    return std::max<int32_t>(frames, int32_t(std::ceil(end * t.rate - 1e-9)));
}

// Samples a sound converted to rate will have, at most (the converter's
// own count may be a little lower).
int64_t ConvertedLength(const TSound& s, int rate)
{
    if (s.samples.empty() || s.rate <= 0)
        return 0;
    return av_rescale_rnd(int64_t(s.samples.size()), rate, s.rate, AV_ROUND_UP) + 256;
}

TAudioMixer::TAudioMixer(const TTimeline& t, int sampleRate) : Rate(sampleRate)
{
    const int32_t shown = t.FrameCount();
    for (const TSoundStart& s : t.sounds) {
        if (s.frame >= shown)
            continue; // after the stop: never heard
        const int64_t at = std::llround(double(s.frame) * sampleRate / t.rate);
        Starts.push_back({at, s.sound.get()});
        LastEnd = std::max(LastEnd, at + ConvertedLength(*s.sound, sampleRate));
    }
    std::stable_sort(Starts.begin(), Starts.end(),
                     [](const TStart& a, const TStart& b) { return a.at < b.at; });
}

std::shared_ptr<const std::vector<float>> TAudioMixer::Converted(const TSound& sound)
{
    for (auto& [source, pcm] : Cache)
        if (source == &sound)
            if (auto p = pcm.lock())
                return p;
    auto p = std::make_shared<const std::vector<float>>(Resampled(sound, Rate));
    // Only sounds still playing hold theirs; the dead entries go.
    std::erase_if(Cache, [](const auto& c) { return c.second.expired(); });
    Cache.emplace_back(&sound, p);
    return p;
}

void TAudioMixer::Mix(int64_t from, int count, float* out)
{
    std::fill(out, out + count, 0.0f);
    const int64_t to = from + count;
    while (Next < Starts.size() && Starts[Next].at < to) {
        Playing.push_back({Starts[Next].at, Converted(*Starts[Next].sound)});
        ++Next;
    }
    for (const TPlaying& p : Playing) {
        const int64_t a = std::max(from, p.at), b = std::min(to, p.at + int64_t(p.pcm->size()));
        for (int64_t i = a; i < b; ++i)
            out[i - from] += (*p.pcm)[size_t(i - p.at)];
    }
    std::erase_if(Playing, [&](const TPlaying& p) { return p.at + int64_t(p.pcm->size()) <= to; });
    for (int i = 0; i < count; ++i)
        out[i] = std::clamp(out[i], -1.0f, 1.0f);
}

std::vector<float> MixAudio(const TTimeline& t, int sampleRate, int64_t minSamples)
{
    TAudioMixer mixer(t, sampleRate);
    // The end with the converter's spare room, cut back to what sounds.
    std::vector<float> mix(size_t(std::max<int64_t>(minSamples, mixer.End())), 0.0f);
    constexpr int kPiece = 1 << 16;
    for (int64_t at = 0; at < int64_t(mix.size()); at += kPiece)
        mixer.Mix(at, int(std::min<int64_t>(kPiece, int64_t(mix.size()) - at)), mix.data() + at);
    size_t keep = mix.size();
    while (keep > size_t(std::max<int64_t>(minSamples, 0)) && mix[keep - 1] == 0.0f)
        --keep;
    mix.resize(keep);
    return mix;
}

namespace {

// The frames of the video as 4:2:0 pictures, rendered and converted on a
// thread of their own a few frames ahead of the encoder, so that drawing
// and encoding work at once. Each frame is a new reference to a picture of
// the pool; one that did not change shares the picture of the one before.
struct TSourceFrame {
    AVFrame* picture;
    TRect changed; // from the frame before
    bool moving;   // the view moved from the frame before
};

class TFrameSource {
  public:
    // Frames from to to (the first changed all over); after shown the last
    // shown frame holds. movingOffset: the quantiser offset (a part of the
    // encoder's range) of a frame whose view moved from the one before; 0
    // for none.
    TFrameSource(TRenderer& renderer, const TTimeline& timeline, int32_t from, int32_t to,
                 int32_t shown, double movingOffset)
        : Renderer(renderer), Views(timeline.focus.views), From(from), To(to), Shown(shown),
          MovingOffset(movingOffset), Pictures(renderer.Width(), renderer.Height())
    {
        Thread = std::thread([this] { Run(); });
    }
    ~TFrameSource()
    {
        {
            std::lock_guard<std::mutex> lock(Mutex);
            Stop = true;
        }
        Changed.notify_all();
        Thread.join();
        for (TSourceFrame& f : Queue)
            av_frame_free(&f.picture);
    }
    TFrameSource(const TFrameSource&) = delete;
    TFrameSource& operator=(const TFrameSource&) = delete;

    // The next frame, its picture the caller's to free; rethrows what
    // stopped the thread.
    TSourceFrame Next()
    {
        std::unique_lock<std::mutex> lock(Mutex);
        Changed.wait(lock, [&] { return !Queue.empty() || Failure; });
        if (Queue.empty())
            std::rethrow_exception(Failure);
        TSourceFrame f = Queue.front();
        Queue.pop_front();
        Changed.notify_all();
        return f;
    }

  private:
    static constexpr size_t kAhead = 3;

    // The view moved from the frame before.
    bool ViewMoved(int32_t at) const
    {
        if (at <= 0 || size_t(at) >= Views.size())
            return false;
        return !(Views[size_t(at)] == Views[size_t(at) - 1]);
    }
    // ... and changed its size: a zoom, not a pan.
    bool ViewZoomed(int32_t at) const
    {
        if (!ViewMoved(at))
            return false;
        const TView &a = Views[size_t(at)], &b = Views[size_t(at) - 1];
        return a.w != b.w || a.h != b.h;
    }

    // While the camera zooms every pixel moves and the eye follows the
    // motion, not the detail: such frames are coded coarser. x264 takes the
    // map of each frame alone, so the frame the view settles on, unmarked,
    // is coded at full quality.
    bool MarkMoving(AVFrame* frame) const
    {
        AVFrameSideData* sd =
            av_frame_new_side_data(frame, AV_FRAME_DATA_REGIONS_OF_INTEREST, sizeof(AVRegionOfInterest));
        if (!sd)
            return false;
        auto* roi = reinterpret_cast<AVRegionOfInterest*>(sd->data);
        roi->self_size = sizeof(AVRegionOfInterest);
        roi->top = 0;
        roi->left = 0;
        roi->bottom = frame->height;
        roi->right = frame->width;
        roi->qoffset = av_d2q(MovingOffset, 1000);
        return true;
    }

    void Run()
    {
        try {
            for (int32_t f = From; f < To; ++f) {
                TRect dirty = Renderer.Render(std::min(f, Shown - 1));
                if (f == From)
                    dirty = {0, 0, Renderer.Width(), Renderer.Height()};
                AVFrame* frame = Pictures.Take(Renderer.Pixels(), Renderer.Stride(), dirty);
                const int32_t at = f < Shown ? f : -1;
                if (MovingOffset != 0 && ViewZoomed(at) && !MarkMoving(frame)) {
                    av_frame_free(&frame);
                    throw std::bad_alloc();
                }
                std::unique_lock<std::mutex> lock(Mutex);
                Changed.wait(lock, [&] { return Queue.size() < kAhead || Stop; });
                if (Stop) {
                    av_frame_free(&frame);
                    return;
                }
                Queue.push_back({frame, dirty, ViewMoved(at)});
                Changed.notify_all();
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(Mutex);
            Failure = std::current_exception();
            Changed.notify_all();
        }
    }

    TRenderer& Renderer;
    const std::vector<TView>& Views;
    const int32_t From, To, Shown;
    const double MovingOffset;
    TPicturePool Pictures;
    std::thread Thread;
    std::mutex Mutex;
    std::condition_variable Changed;
    std::deque<TSourceFrame> Queue;
    bool Stop = false;
    std::exception_ptr Failure;
};

// The sound track encoded on a thread of its own, up to a little ahead of
// the video: the mix is mostly silence, but the encoder works through every
// block of it all the same, a tenth of an MP4's time.
class TAudioEncoder {
  public:
    TAudioEncoder(AVCodecContext* codec, TAudioMixer& mixer, int64_t samples)
        : Codec(codec), Mixer(mixer), Samples(samples)
    {
        Thread = std::thread([this] { Run(); });
    }
    ~TAudioEncoder()
    {
        {
            std::lock_guard<std::mutex> lock(Mutex);
            Stop = true;
        }
        Changed.notify_all();
        if (Thread.joinable())
            Thread.join();
        for (AVPacket* p : Ready)
            av_packet_free(&p);
    }
    TAudioEncoder(const TAudioEncoder&) = delete;
    TAudioEncoder& operator=(const TAudioEncoder&) = delete;

    // Lets the thread encode the samples before upTo and a second more;
    // the packets done so far go to write, in order.
    template <typename Write> void Take(int64_t upTo, Write write)
    {
        std::deque<AVPacket*> ready;
        {
            std::lock_guard<std::mutex> lock(Mutex);
            if (Failure)
                std::rethrow_exception(Failure);
            Allowed = std::max(Allowed, upTo + kAhead);
            ready.swap(Ready);
        }
        Changed.notify_all();
        Hand(ready, write);
    }

    // Encodes the rest and hands over every packet left.
    template <typename Write> void Finish(Write write)
    {
        {
            std::lock_guard<std::mutex> lock(Mutex);
            Allowed = INT64_MAX;
        }
        Changed.notify_all();
        Thread.join();
        if (Failure)
            std::rethrow_exception(Failure);
        Hand(Ready, write);
    }

  private:
    static constexpr int64_t kAhead = kAudioRate;

    template <typename Write> static void Hand(std::deque<AVPacket*>& ready, Write& write)
    {
        while (!ready.empty()) {
            AVPacket* p = ready.front();
            ready.pop_front();
            try {
                write(p);
            } catch (...) {
                av_packet_free(&p);
                for (AVPacket* q : ready)
                    av_packet_free(&q);
                ready.clear();
                throw;
            }
            av_packet_free(&p);
        }
    }

    void Drain()
    {
        for (;;) {
            AVPacket* p = av_packet_alloc();
            if (!p)
                throw std::bad_alloc();
            int r = avcodec_receive_packet(Codec, p);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) {
                av_packet_free(&p);
                return;
            }
            if (r < 0) {
                av_packet_free(&p);
                throw std::runtime_error("audio encoding failed: " + AvError(r));
            }
            std::lock_guard<std::mutex> lock(Mutex);
            Ready.push_back(p);
        }
    }

    void Run()
    {
        AVFrame* frame = av_frame_alloc();
        try {
            if (!frame)
                throw std::bad_alloc();
            const int n = Codec->frame_size > 0 ? Codec->frame_size : 1024;
            for (int64_t done = 0; done < Samples;) {
                {
                    std::unique_lock<std::mutex> lock(Mutex);
                    Changed.wait(lock, [&] { return done < Allowed || Stop; });
                    if (Stop)
                        break;
                }
                const int count = int(std::min<int64_t>(n, Samples - done));
                av_frame_unref(frame);
                frame->format = Codec->sample_fmt;
                frame->sample_rate = Codec->sample_rate;
                if (av_channel_layout_copy(&frame->ch_layout, &Codec->ch_layout) < 0)
                    throw std::bad_alloc();
                frame->nb_samples = count;
                if (av_frame_get_buffer(frame, 0) < 0)
                    throw std::bad_alloc();
                Mixer.Mix(done, count, reinterpret_cast<float*>(frame->data[0]));
                frame->pts = done;
                int r = avcodec_send_frame(Codec, frame);
                if (r < 0)
                    throw std::runtime_error("audio encoding failed: " + AvError(r));
                Drain();
                done += count;
            }
            bool stopped;
            {
                std::lock_guard<std::mutex> lock(Mutex);
                stopped = Stop;
            }
            if (!stopped) {
                int r = avcodec_send_frame(Codec, nullptr);
                if (r < 0)
                    throw std::runtime_error("audio encoding failed: " + AvError(r));
                Drain();
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(Mutex);
            Failure = std::current_exception();
        }
        av_frame_free(&frame);
    }

    AVCodecContext* const Codec;
    TAudioMixer& Mixer;
    const int64_t Samples;
    std::thread Thread;
    std::mutex Mutex;
    std::condition_variable Changed;
    std::deque<AVPacket*> Ready;
    int64_t Allowed = 0;
    bool Stop = false;
    std::exception_ptr Failure;
};

// The WebM's video in parts of one key-frame interval each, every part a
// VP9 encoder of its own with a renderer of its own: two parts at once on
// two cores or more, the cores shared out as libvpx's threads. libvpx
// splits a frame between its threads by tile columns and waits for the
// slowest at every frame; a held frame, where only the arrow moves, keeps
// one thread busy and the other waiting. Two single-threaded parts side by
// side keep both cores busy all the time: on two cores a zooming 1080p
// WebM takes a fifth less time. Each part starts with a key frame (see
// PartStarts). An encoder done early goes on with the next part, but stays
// at most one part ahead of the writing, so that the movie waits in memory
// only a few parts at a time.
class TVp9Parts {
  public:
    TVp9Parts(const TTimeline& timeline, int padW, int padH, int32_t frames, int32_t partFrames)
        : T(timeline), PadW(padW), PadH(padH),
          Starts(PartStarts(timeline, frames, partFrames)), Parts(Starts.size() - 1)
    {
        const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
        const int workers = std::clamp(std::min(cores, int(Parts.size())), 1, kMaxAtOnce);
        Threads = std::max(1, cores / workers);
        Window = size_t(workers) + 1;
        try {
            for (int i = 0; i < workers; ++i)
                Workers.emplace_back([this] { Work(); });
        } catch (...) {
            StopAll();
            throw;
        }
    }
    ~TVp9Parts() { StopAll(); }
    TVp9Parts(const TVp9Parts&) = delete;
    TVp9Parts& operator=(const TVp9Parts&) = delete;

    // Hands every packet to write in order; progress(frames encoded so far)
    // whenever more are and after every packet written, so that a cancel
    // is heard until the last. Rethrows what stopped an encoder.
    template <typename Write, typename Progress> void Run(Write write, Progress progress)
    {
        int32_t reported = 0;
        for (size_t p = 0; p < Parts.size(); ++p) {
            for (;;) {
                std::unique_lock<std::mutex> lock(Mutex);
                Changed.wait(lock, [&] { return Parts[p].done || Failure || Encoded != reported; });
                if (Failure)
                    std::rethrow_exception(Failure);
                const bool done = Parts[p].done;
                const int32_t encoded = Encoded;
                lock.unlock();
                if (encoded != reported)
                    progress(reported = encoded);
                if (done)
                    break;
            }
            // Done: no encoder touches the part any more.
            TPart& part = Parts[p];
            for (const TPacket& k : part.packets) {
                write(TVp9Packet{part.bytes.data() + k.offset, k.size, k.pts, k.key});
                progress(reported);
            }
            part = TPart{};
            {
                std::lock_guard<std::mutex> lock(Mutex);
                Written = p + 1;
            }
            Changed.notify_all();
        }
    }

  private:
    // Each 1080p encoder holds about 170 MB: more at once would cost more
    // memory than two cores gain.
    static constexpr int kMaxAtOnce = 2;

    struct TPacket {
        size_t offset, size;
        int64_t pts;
        bool key;
    };
    struct TPart {
        std::vector<uint8_t> bytes;
        std::vector<TPacket> packets;
        bool done = false;
    };
    struct TFreeFrame {
        void operator()(AVFrame* f) const { av_frame_free(&f); }
    };

    // A part starts on the key-frame grid or, when a picture comes within a
    // tenth of the interval after it, on that picture (its key frame is
    // then the only one in the part). libvpx sets a new picture's quantiser
    // from the frames it coded before: an encoder started 12 frames before
    // a picture came coded that picture and every one after it in its part
    // 1 dB worse at a tenth fewer bytes (200 dense desktops at 640 x 480).
    // Started on the picture, the part is coded as one encoder going on
    // would code it.
    static std::vector<int32_t> PartStarts(const TTimeline& t, int32_t frames, int32_t every)
    {
        std::vector<int32_t> pictures;
        for (const TPlacement& p : t.placements)
            if (std::holds_alternative<TPictureDef>(*p.def))
                pictures.push_back(p.frame);
        std::sort(pictures.begin(), pictures.end());
        std::vector<int32_t> starts{0};
        for (int64_t grid = every; grid < frames; grid += every) {
            auto next = std::lower_bound(pictures.begin(), pictures.end(), int32_t(grid));
            const int32_t at = next != pictures.end() && *next <= grid + every / 10 && *next < frames
                                   ? *next
                                   : int32_t(grid);
            if (at > starts.back())
                starts.push_back(at);
        }
        starts.push_back(frames);
        return starts;
    }

    void StopAll()
    {
        {
            std::lock_guard<std::mutex> lock(Mutex);
            Stop = true;
        }
        Changed.notify_all();
        for (std::thread& w : Workers)
            w.join();
        Workers.clear();
    }

    void Work()
    {
        try {
            TRenderer renderer(T, PadW, PadH);
            for (;;) {
                size_t p;
                {
                    std::unique_lock<std::mutex> lock(Mutex);
                    Changed.wait(lock, [&] { return Stop || Next >= Parts.size() || Next < Written + Window; });
                    if (Stop || Next >= Parts.size())
                        return;
                    p = Next++;
                }
                TPart& part = Parts[p];
                const int32_t from = Starts[p], to = Starts[p + 1];
                TVp9Encoder encoder(renderer.Width(), renderer.Height(), T.rate, to - from, Threads,
                                    T.focus.views.empty(), [&](const TVp9Packet& k) {
                                        part.packets.push_back({part.bytes.size(), k.size, k.pts, k.key});
                                        part.bytes.insert(part.bytes.end(), k.data, k.data + k.size);
                                    });
                TFrameSource source(renderer, T, from, to, T.FrameCount(), 0);
                for (int32_t f = from; f < to; ++f) {
                    TSourceFrame next = source.Next();
                    std::unique_ptr<AVFrame, TFreeFrame> picture(next.picture);
                    encoder.Encode(picture.get(), f, next.changed, next.moving);
                    std::lock_guard<std::mutex> lock(Mutex);
                    ++Encoded;
                    Changed.notify_all();
                    if (Stop)
                        return;
                }
                encoder.Finish();
                {
                    std::lock_guard<std::mutex> lock(Mutex);
                    part.done = true;
                }
                Changed.notify_all();
            }
        } catch (...) {
            {
                std::lock_guard<std::mutex> lock(Mutex);
                if (!Failure)
                    Failure = std::current_exception();
                Stop = true;
            }
            Changed.notify_all();
        }
    }

    const TTimeline& T;
    const int PadW, PadH;
    const std::vector<int32_t> Starts; // of the parts, and the end
    int Threads = 1;
    size_t Window = 1;
    std::vector<TPart> Parts;
    std::vector<std::thread> Workers;
    std::mutex Mutex;
    std::condition_variable Changed;
    size_t Next = 0, Written = 0; // parts taken by an encoder, written out
    int32_t Encoded = 0;          // frames, all parts
    bool Stop = false;
    std::exception_ptr Failure;
};

TEncodeResult EncodeAv(const TTimeline& t, const std::string& path, TVideoFormat format,
                       const TEncodeOptions& options)
{
    av_log_set_level(AV_LOG_ERROR); // the encoders' chatter is not for our users
    TTempFile file(path);
    const bool mp4 = format == TVideoFormat::Mp4;
    const char* audioCodec = mp4 ? "aac" : "libopus";
    auto check = [&](int err, const char* what) {
        if (err < 0)
            file.Fail(std::string(what) + ": " + AvError(err));
        return err;
    };

    TEncodeResult result;
    const int stageW = t.PixelWidth(), stageH = t.PixelHeight();
    // 4:2:0 video needs even sizes: one column or row of background more.
    const int padW = stageW & 1, padH = stageH & 1;
    if (padW || padH)
        result.Note = "The stage is " + std::to_string(stageW) + " x " + std::to_string(stageH) +
                      " pixels; the video is padded to " + std::to_string(stageW + padW) + " x " +
                      std::to_string(stageH + padH) + " with the background colour.";
    const int W = stageW + padW, H = stageH + padH;
    const int32_t frames = VideoFrameCount(t);
    const int64_t audioSamples = av_rescale(frames, kAudioRate, t.rate);
    const bool hasAudio = std::any_of(t.sounds.begin(), t.sounds.end(), [&](const TSoundStart& s) {
        return s.frame < t.FrameCount();
    });
    // Mixed a frame of the encoder at a time, to the video's length.
    TAudioMixer mixer(t, kAudioRate);

    TAv av;
    check(
        avformat_alloc_output_context2(&av.Fmt, nullptr, mp4 ? "mp4" : "webm", file.Path().c_str()),
        "cannot start the container");
    // Opens an encoder and gives the container a stream of what it writes.
    auto openStream = [&](AVCodecContext* c, const AVCodec* codec, const char* what) {
        if (av.Fmt->oformat->flags & AVFMT_GLOBALHEADER)
            c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        check(avcodec_open2(c, codec, nullptr), what);
        AVStream* s = avformat_new_stream(av.Fmt, nullptr);
        if (!s)
            file.Fail("out of memory");
        s->time_base = c->time_base;
        avcodec_parameters_from_context(s->codecpar, c);
        return s;
    };
    auto setColour = [](AVColorSpace& space, AVColorPrimaries& primaries,
                        AVColorTransferCharacteristic& trc, AVColorRange& range) {
        space = AVCOL_SPC_SMPTE170M;
        primaries = AVCOL_PRI_SMPTE170M;
        trc = AVCOL_TRC_SMPTE170M;
        range = AVCOL_RANGE_MPEG;
    };
    // The WebM's video packets, as libvpx makes them; what libvpx refuses
    // fails the movie like any other error.
    auto writeVp9 = [&](const TVp9Packet& p) {
        check(av_new_packet(av.Pkt, int(p.size)), "out of memory");
        std::copy_n(p.data, p.size, av.Pkt->data);
        av.Pkt->pts = av.Pkt->dts = p.pts;
        av.Pkt->duration = 1;
        if (p.key)
            av.Pkt->flags |= AV_PKT_FLAG_KEY;
        av_packet_rescale_ts(av.Pkt, {1, t.rate}, av.Vs->time_base);
        av.Pkt->stream_index = av.Vs->index;
        check(av_interleaved_write_frame(av.Fmt, av.Pkt), "writing failed");
    };
    av.Pkt = av_packet_alloc();
    if (!av.Pkt)
        file.Fail("out of memory");
    if (mp4) {
        const AVCodec* vc = avcodec_find_encoder_by_name("libx264");
        if (!vc)
            file.Fail("this system's FFmpeg has no libx264 encoder");
        av.V = avcodec_alloc_context3(vc);
        av.V->width = W;
        av.V->height = H;
        av.V->time_base = {1, t.rate};
        av.V->framerate = {t.rate, 1};
        av.V->pix_fmt = AV_PIX_FMT_YUV420P;
        av.V->gop_size = t.rate * kKeyFrameSeconds;
        setColour(av.V->colorspace, av.V->color_primaries, av.V->color_trc, av.V->color_range);
        av.V->thread_count = 0;
        av_opt_set(av.V->priv_data, "preset", "veryfast", 0);
        // Tuned for pictures that stay: sharper text and a fifth fewer bytes
        // than the default at the same PSNR.
        av_opt_set(av.V->priv_data, "tune", "stillimage", 0);
        av_opt_set(av.V->priv_data, "crf", "23", 0);
        // Text and thin lines keep sharper through 4x4 transforms than 8x8:
        // 7 % fewer bytes at the same PSNR on dense desktops, and the
        // decoder needs only the Main profile.
        av_opt_set(av.V->priv_data, "8x8dct", "0", 0);
        // x264's lookahead, which picks each frame's type and how much the
        // frames after it lean on it, searches the motion of every frame at
        // half size, and at 1080p that search was the largest part of the
        // export. At subme 1 it takes the diamond and SAD instead of the
        // hexagon, SATD and quarter pixels: an export takes a sixth less
        // time (50 screenshots at 1920 x 1080, zoom 2x: 11.5 -> 9.6 s). The
        // frames themselves are still coded at the preset's subme 2,
        // through one zone over the whole movie: x264 applies a zone's
        // settings to the frames it codes, not to its lookahead. On the
        // benchmark's desktops the PSNR stays within 0.06 dB at 1 to 4 %
        // more bytes; on dense ones the quantiser drifts a little coarser
        // (0.3 dB less, 5 % fewer bytes).
        const std::string params = "subme=1:zones=0," + std::to_string(frames - 1) + ",subme=2";
        av_opt_set(av.V->priv_data, "x264-params", params.c_str(), 0);
        av.Vs = openStream(av.V, vc, "cannot start the video encoder");
    } else {
        av.Vs = avformat_new_stream(av.Fmt, nullptr);
        if (!av.Vs)
            file.Fail("out of memory");
        av.Vs->time_base = {1, t.rate};
        av.Vs->avg_frame_rate = av.Vs->r_frame_rate = {t.rate, 1};
        AVCodecParameters* par = av.Vs->codecpar;
        par->codec_type = AVMEDIA_TYPE_VIDEO;
        par->codec_id = AV_CODEC_ID_VP9;
        par->format = AV_PIX_FMT_YUV420P;
        par->profile = 0;
        par->width = W;
        par->height = H;
        par->field_order = AV_FIELD_PROGRESSIVE;
        setColour(par->color_space, par->color_primaries, par->color_trc, par->color_range);
    }

    if (hasAudio) {
        const AVCodec* ac = avcodec_find_encoder_by_name(audioCodec);
        if (!ac)
            file.Fail(std::string("this system's FFmpeg has no ") + audioCodec + " encoder");
        av.A = avcodec_alloc_context3(ac);
        av.A->sample_rate = kAudioRate;
        av_channel_layout_default(&av.A->ch_layout, 1);
        av.A->sample_fmt = ac->sample_fmts ? ac->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        for (const AVSampleFormat* f = ac->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
            if (*f == AV_SAMPLE_FMT_FLT || *f == AV_SAMPLE_FMT_FLTP)
                av.A->sample_fmt = *f;
        // Clicks over silence in mono: 64 kb/s is plenty for AAC. Opus keeps
        // coding a click's fading tail at the full rate for half a second, a
        // third of the file on a recording; at 32 kb/s mono it is still clear.
        av.A->bit_rate = mp4 ? 64000 : 32000;
        // Opus tuned for voice lets that tail go: a third of the bytes,
        // the click as close to the mix.
        if (!mp4)
            av_opt_set(av.A->priv_data, "application", "voip", 0);
        av.A->time_base = {1, kAudioRate};
        av.As = openStream(av.A, ac, "cannot start the audio encoder");
    }

    // The muxer orders the packets by time; the WebM's video comes a part at
    // a time, seconds ahead of the sound. Left to itself it would give up
    // waiting for the sound after 10 s, and the file would depend on which
    // thread was quicker.
    av.Fmt->max_interleave_delta = 0;
    check(avio_open(&av.Fmt->pb, file.Path().c_str(), AVIO_FLAG_WRITE), "cannot open");
    AVDictionary* muxOpts = nullptr;
    if (mp4)
        av_dict_set(&muxOpts, "movflags", "+faststart", 0);
    int err = avformat_write_header(av.Fmt, &muxOpts);
    av_dict_free(&muxOpts);
    check(err, "cannot write the header");
    // The header on disk at once: the file beside the target shows that the
    // export is under way, though the WebM's first part comes only after
    // seconds of encoding.
    avio_flush(av.Fmt->pb);

    auto drain = [&](AVCodecContext* c, AVStream* s) {
        for (;;) {
            int r = avcodec_receive_packet(c, av.Pkt);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return;
            check(r, "encoding failed");
            // Without a duration the last frame falls out of the MP4's edit list.
            if (c->codec_type == AVMEDIA_TYPE_VIDEO && av.Pkt->duration == 0)
                av.Pkt->duration = 1;
            av_packet_rescale_ts(av.Pkt, c->time_base, s->time_base);
            av.Pkt->stream_index = s->index;
            check(av_interleaved_write_frame(av.Fmt, av.Pkt), "writing failed");
        }
    };

    // Audio packets into the file, as the encoder's thread finishes them.
    auto writeAudio = [&](AVPacket* p) {
        av_packet_rescale_ts(p, av.A->time_base, av.As->time_base);
        p->stream_index = av.As->index;
        check(av_interleaved_write_frame(av.Fmt, p), "writing failed");
    };
    std::optional<TAudioEncoder> audio;
    if (av.A)
        audio.emplace(av.A, mixer, audioSamples);

    auto progress = [&](int32_t done) {
        if (options.Progress && !options.Progress(done, frames))
            throw TCancelled();
    };
    if (mp4) {
        TRenderer renderer(t, padW, padH);
        TFrameSource source(renderer, t, 0, frames, t.FrameCount(), kMovingQuantOffset);
        for (int32_t f = 0; f < frames; ++f) {
            TSourceFrame next = source.Next();
            av.Vf = next.picture;
            av.Vf->pts = f;
            check(avcodec_send_frame(av.V, av.Vf), "video encoding failed");
            drain(av.V, av.Vs);
            av_frame_free(&av.Vf); // the picture goes back to the pool
            if (audio)
                audio->Take(av_rescale(f + 1, kAudioRate, t.rate), writeAudio);
            progress(f + 1);
        }
        check(avcodec_send_frame(av.V, nullptr), "video encoding failed");
        drain(av.V, av.Vs);
    } else {
        try {
            TVp9Parts parts(t, padW, padH, frames, t.rate * kKeyFrameSeconds);
            parts.Run(
                [&](const TVp9Packet& p) {
                    writeVp9(p);
                    if (audio)
                        audio->Take(av_rescale(p.pts + 1, kAudioRate, t.rate), writeAudio);
                },
                progress);
        } catch (const TVp9Error& e) {
            file.Fail(e.what());
        }
    }
    if (audio)
        audio->Finish(writeAudio);
    check(av_write_trailer(av.Fmt), "writing failed");
    check(avio_closep(&av.Fmt->pb), "writing failed");
    file.Commit();
    result.Frames = frames;
    result.Width = W;
    result.Height = H;
    return result;
}

} // namespace

TEncodeResult EncodeVideo(const TTimeline& timeline, const std::string& path, TVideoFormat format,
                          const TEncodeOptions& options)
{
    if (VideoFrameCount(timeline) > MaxVideoFrames(timeline.rate))
        throw std::runtime_error("Cannot write the movie \"" + path +
                                 "\": it would be longer than " + std::to_string(kMaxVideoHours) +
                                 " hours");
    if (format == TVideoFormat::Gif)
        return EncodeGif(timeline, path, options);
    return EncodeAv(timeline, path, format, options);
}

} // namespace video
