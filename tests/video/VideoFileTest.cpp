// The video files decoded again with FFmpeg's libraries: pictures against
// their JPEGs, the clicks' onsets, lengths and streams, bad targets, cancel.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "VideoTestUtil.h"

namespace quillora::test {
namespace {

struct Decoded {
    int w = 0, h = 0;
    std::vector<std::vector<uint8_t>> frames; // RGB24
    std::vector<double> times;                // when each frame shows, seconds
    std::vector<float> audio;                 // mono
    int audioRate = 0;
    std::string videoCodec, audioCodec;
    AVPixelFormat pixFmt = AV_PIX_FMT_NONE;
};

Decoded Decode(const std::string& path)
{
    Decoded out;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0)
        throw std::runtime_error("cannot open " + path);
    avformat_find_stream_info(fmt, nullptr);
    struct Stream {
        AVCodecContext* ctx = nullptr;
    };
    std::vector<Stream> streams(fmt->nb_streams);
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVCodec* c = avcodec_find_decoder(fmt->streams[i]->codecpar->codec_id);
        streams[i].ctx = avcodec_alloc_context3(c);
        avcodec_parameters_to_context(streams[i].ctx, fmt->streams[i]->codecpar);
        avcodec_open2(streams[i].ctx, c, nullptr);
        if (c->type == AVMEDIA_TYPE_VIDEO)
            out.videoCodec = c->name;
        else
            out.audioCodec = c->name;
        if (c->type == AVMEDIA_TYPE_VIDEO)
            out.pixFmt = AVPixelFormat(fmt->streams[i]->codecpar->format);
    }
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    AVRational timeBase{1, 1};
    auto take = [&](AVCodecContext* ctx) {
        while (avcodec_receive_frame(ctx, frame) == 0) {
            if (ctx->codec_type == AVMEDIA_TYPE_VIDEO) {
                out.w = frame->width;
                out.h = frame->height;
                std::vector<uint8_t> rgb(size_t(out.w) * out.h * 3);
                SwsContext* sws =
                    sws_getContext(out.w, out.h, AVPixelFormat(frame->format), out.w, out.h,
                                   AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr);
                uint8_t* dst[1] = {rgb.data()};
                int ls[1] = {out.w * 3};
                sws_scale(sws, frame->data, frame->linesize, 0, out.h, dst, ls);
                sws_freeContext(sws);
                out.frames.push_back(std::move(rgb));
                out.times.push_back(double(frame->best_effort_timestamp) * av_q2d(timeBase));
            } else {
                out.audioRate = frame->sample_rate;
                for (int i = 0; i < frame->nb_samples; ++i) {
                    float v = 0;
                    if (frame->format == AV_SAMPLE_FMT_FLTP || frame->format == AV_SAMPLE_FMT_FLT)
                        v = reinterpret_cast<float*>(
                            frame->data[0])[i * (frame->format == AV_SAMPLE_FMT_FLT
                                                     ? frame->ch_layout.nb_channels
                                                     : 1)];
                    else if (frame->format == AV_SAMPLE_FMT_S16)
                        v = reinterpret_cast<int16_t*>(
                                frame->data[0])[i * frame->ch_layout.nb_channels] /
                            32768.0f;
                    out.audio.push_back(v);
                }
            }
        }
    };
    while (av_read_frame(fmt, pkt) >= 0) {
        AVCodecContext* ctx = streams[size_t(pkt->stream_index)].ctx;
        if (ctx->codec_type == AVMEDIA_TYPE_VIDEO)
            timeBase = fmt->streams[pkt->stream_index]->time_base;
        avcodec_send_packet(ctx, pkt);
        av_packet_unref(pkt);
        take(ctx);
    }
    for (auto& s : streams) {
        avcodec_send_packet(s.ctx, nullptr);
        take(s.ctx);
        avcodec_free_context(&s.ctx);
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avformat_close_input(&fmt);
    return out;
}

// Where sound starts after quiet, in seconds, from `from` on.
double Onset(const std::vector<float>& pcm, int rate, double from)
{
    for (size_t i = size_t(std::max(0.0, from * rate)); i < pcm.size(); ++i)
        if (std::fabs(pcm[i]) > 0.05f)
            return double(i) / rate;
    return -1;
}

std::string Export(ShotProject& p, const std::string& name, Reporter* reporter = nullptr,
                   std::string* note = nullptr)
{
    TSwfWriterSet swf;
    std::string target = p.dir / name;
    ExportMovieFile(p.card, target, swf.Writers(), reporter, {}, note);
    return target;
}

TEST(VideoFile, Mp4ShowsEveryPictureWithItsClickAndStopsAtTheStopFrame)
{
    ShotProject p(3);
    std::string path = Export(p, "movie.mp4");
    Decoded d = Decode(path);
    EXPECT_EQ(d.videoCodec, "h264");
    EXPECT_EQ(d.audioCodec, "aac");
    EXPECT_EQ(d.pixFmt, AV_PIX_FMT_YUV420P);
    ASSERT_EQ(d.w, kStageW);
    ASSERT_EQ(d.h, kStageH);
    video::TTimeline t = RecordTimeline(p.card);
    EXPECT_EQ(int(d.frames.size()), video::VideoFrameCount(t));
    EXPECT_EQ(int(d.frames.size()), 24 * 3 + 1); // to the stop frame, which holds
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> jpeg = swftest::DecodeRgb(ReadBytes(p.Shots[size_t(i)]));
        std::vector<uint8_t> other = swftest::DecodeRgb(ReadBytes(p.Shots[size_t((i + 1) % 3)]));
        // The test pictures are sharp colour bands, hard for 4:2:0 video;
        // the right picture still stands well clear of a wrong one.
        auto cursor = CursorBox(p.Mouse[size_t(i)]);
        double right = Psnr(d.frames[size_t(24 * i + 2)], jpeg, d.w, d.h, cursor);
        double wrong = Psnr(d.frames[size_t(24 * i + 2)], other, d.w, d.h, cursor);
        EXPECT_GT(right, 22.0) << "picture " << i;
        EXPECT_GT(right, wrong + 8) << "picture " << i;
        // The arrow is dark just below its tip on the picture's first frame.
        auto tip = p.Mouse[size_t(i)];
        const uint8_t* px =
            &d.frames[size_t(24 * i)][(size_t(tip.second + 5) * d.w + tip.first + 1) * 3];
        EXPECT_LT(px[0] + px[1] + px[2], 200) << "picture " << i;
    }
    // Each click starts within a frame of its picture's StartTime + 1.
    ASSERT_EQ(d.audioRate, 48000);
    for (int i = 0; i < 3; ++i) {
        double want = (24.0 * i + 1) / 15;
        double got = Onset(d.audio, d.audioRate, want - 1.0 / 15);
        EXPECT_NEAR(got, want, 1.0 / 15) << "click " << i;
    }
}

TEST(VideoFile, AViewThatSettlesAfterAPanIsCodedAsWellAsOneThatNeverMoved)
{
    constexpr int w = 320, h = 240;
    ShotProject p(2, w, h);
    video::TTimeline held = RecordTimeline(p.card), panned = held;
    const video::TView still{80, 60, 160, 120};
    held.focus.views.assign(size_t(held.FrameCount()), still);
    panned.focus.views = held.focus.views;
    for (int f = 0; f < 12; ++f) // a pan of 12 frames onto the held view
        panned.focus.views[size_t(f)] = {double(f) * 80 / 12, double(f) * 60 / 12, 160, 120};
    Scratch dir;
    video::EncodeVideo(held, dir / "held.mp4", video::TVideoFormat::Mp4);
    video::EncodeVideo(panned, dir / "panned.mp4", video::TVideoFormat::Mp4);
    const Decoded a = Decode(dir / "held.mp4"), b = Decode(dir / "panned.mp4");
    ASSERT_EQ(a.frames.size(), size_t(video::VideoFrameCount(held)));
    ASSERT_EQ(b.frames.size(), a.frames.size());
    video::TRenderer heldR(held), pannedR(panned);
    for (int f = 0; f < 24; ++f) {
        heldR.Render(f);
        pannedR.Render(f);
        const double moving = Psnr(b.frames[size_t(f)], Rgb(pannedR), w, h);
        if (f < 12) {
            // Coarser while the view moves, but the picture still reads.
            EXPECT_GT(moving, 25) << "frame " << f;
        } else if (f >= 16) {
            // Once settled, as good as where the view never moved.
            EXPECT_GT(moving, Psnr(a.frames[size_t(f)], Rgb(heldR), w, h) - 1.5) << "frame " << f;
        }
    }
}

// The decoded image on screen in movie frame f (a GIF stores only the
// images that changed).
const std::vector<uint8_t>& FrameAt(const Decoded& d, int f, int rate = 15)
{
    size_t k = 0;
    while (k + 1 < d.frames.size() && d.times[k + 1] <= (f + 0.5) / rate)
        ++k;
    return d.frames.at(k);
}

TEST(VideoFile, ACaptionShowsFromItsStartToItsEndAndIsGoneInTheFrameAfter)
{
    // "HH" low on the left, frames 5 to 30: over the end of the first picture
    // and into the second, away from where the arrow glides then.
    Text caption{
        .start = 5, .end = 30, .content = "HH", .size = 10, .color = "0", .px = 2, .py = 40};
    ShotProject p(2, kStageW, kStageH, caption.Xml());
    const video::TRect box{2, 44, 30, 18};
    const std::vector<uint8_t> first = swftest::DecodeRgb(ReadBytes(p.Shots[0]));
    const std::vector<uint8_t> second = swftest::DecodeRgb(ReadBytes(p.Shots[1]));
    for (const char* name : {"movie.mp4", "movie.webm", "movie.gif"}) {
        Decoded d = Decode(Export(p, name));
        ASSERT_EQ(d.w, kStageW) << name;
        // Without the caption the box shows the picture; with it, black text.
        const double before = PsnrIn(FrameAt(d, 4), first, d.w, box);
        const double after = PsnrIn(FrameAt(d, 31), second, d.w, box);
        EXPECT_GT(before, 20.0) << name << ": before its start";
        EXPECT_GT(after, 20.0) << name << ": the frame after its end";
        EXPECT_LT(PsnrIn(FrameAt(d, 5), first, d.w, box), before - 4) << name << ": first frame";
        EXPECT_LT(PsnrIn(FrameAt(d, 30), second, d.w, box), after - 4) << name << ": last frame";
    }
}

TEST(VideoFile, TheSoundTrackMixedPieceByPieceIsTheWholeMix)
{
    // Clicks that overlap (a sound object on top of a picture's click) and
    // pieces of odd sizes that cut through them.
    Sound extra{.start = 25, .content = std::string(QUILLORA_BIN_DIR) + "/click.wav"};
    ShotProject p(3, kStageW, kStageH, extra.Xml());
    video::TTimeline t = RecordTimeline(p.card);
    ASSERT_EQ(t.sounds.size(), 4u);
    const std::vector<float> whole = video::MixAudio(t, 48000, 48000 * 5);
    ASSERT_EQ(whole.size(), size_t(48000 * 5));
    video::TAudioMixer mixer(t, 48000);
    std::vector<float> pieces(whole.size());
    int64_t at = 0;
    for (int step = 1; at < int64_t(pieces.size()); step = step * 7 % 3001 + 1) {
        const int n = int(std::min<int64_t>(step, int64_t(pieces.size()) - at));
        mixer.Mix(at, n, pieces.data() + at);
        at += n;
    }
    EXPECT_EQ(pieces, whole);
    // The overlapping clicks add up: louder than one alone somewhere.
    float loudest = 0, alone = 0;
    for (size_t i = 0; i < whole.size(); ++i) {
        const double s = double(i) / 48000;
        if (s > 25.0 / 15 && s < 25.0 / 15 + 0.05)
            loudest = std::max(loudest, std::fabs(whole[i]));
        if (s > 1.0 / 15 && s < 1.0 / 15 + 0.05)
            alone = std::max(alone, std::fabs(whole[i]));
    }
    EXPECT_GT(alone, 0.05f);
    EXPECT_GT(loudest, alone * 1.2f);
}

// The sound is encoded on a thread of its own, ahead of the pictures: over
// many seconds every click still lands on its picture and the track runs to
// the end of the video, in both formats (the WebM in two parts).
TEST(VideoFile, EveryClickOfALongMovieLandsOnItsPictureAndTheSoundRunsToTheEnd)
{
    constexpr int n = 14; // 22 s, many times what the sound runs ahead
    ShotProject p(n);
    const int frames = video::VideoFrameCount(RecordTimeline(p.card));
    for (const char* name : {"long.mp4", "long.webm"}) {
        Decoded d = Decode(Export(p, name));
        ASSERT_EQ(int(d.frames.size()), frames) << name;
        ASSERT_EQ(d.audioRate, 48000) << name;
        for (int i = 0; i < n; ++i) {
            const double want = (24.0 * i + 1) / 15;
            EXPECT_NEAR(Onset(d.audio, d.audioRate, want - 1.0 / 15), want, 1.0 / 15)
                << name << " click " << i;
        }
        // Quiet between the clicks: nothing doubled or shifted.
        for (int i = 0; i + 1 < n; ++i) {
            const double from = (24.0 * i + 1) / 15 + 0.7, to = (24.0 * (i + 1) + 1) / 15 - 0.1;
            const double next = Onset(d.audio, d.audioRate, from);
            EXPECT_TRUE(next < 0 || next > to) << name << " after click " << i;
        }
        const double seconds = double(d.audio.size()) / d.audioRate;
        EXPECT_GT(seconds, double(frames) / 15 - 0.05) << name;
        EXPECT_LT(seconds, double(frames) / 15 + 0.1) << name;
    }
}

TEST(VideoFile, WebmAndGifShowThePicturesAndGifLoopsAsTheProjectSays)
{
    ShotProject p(2);
    Decoded webm = Decode(Export(p, "movie.webm"));
    EXPECT_EQ(webm.videoCodec, "vp9");
    EXPECT_EQ(webm.audioCodec, "opus");
    EXPECT_EQ(webm.frames.size(), size_t(49));

    std::string gif = Export(p, "movie.gif");
    EXPECT_EQ(ReadAll(gif).find("NETSCAPE2.0"), std::string::npos) << "a stopping movie plays once";
    Decoded g = Decode(gif);
    ASSERT_EQ(g.w, kStageW);
    // The GIF demuxer gives one frame per stored image: the first picture,
    // then only what changed; every image's frame shows the whole state.
    ASSERT_GT(g.frames.size(), size_t(10));
    for (int i = 0; i < 2; ++i) {
        std::vector<uint8_t> jpeg = swftest::DecodeRgb(ReadBytes(p.Shots[size_t(i)]));
        // The last image stored before the picture's 20th frame.
        size_t k = 0;
        while (k + 1 < g.frames.size() && g.times[k + 1] <= (24.0 * i + 20) / 15)
            ++k;
        const std::vector<uint8_t>& frame = g.frames[k];
        auto tip = p.Mouse[size_t(i)];
        std::vector<uint8_t> other = swftest::DecodeRgb(ReadBytes(p.Shots[size_t(1 - i)]));
        double right = Psnr(frame, jpeg, g.w, g.h, CursorBox(tip));
        EXPECT_GT(right, 20.0) << "picture " << i;
        EXPECT_GT(right, Psnr(frame, other, g.w, g.h, CursorBox(tip)) + 5) << "picture " << i;
    }
    // Small changes are stored as small rectangles.
    EXPECT_LT(std::filesystem::file_size(gif), 49 * size_t(kStageW) * kStageH / 4);

    p.card.Looping = true;
    EXPECT_NE(ReadAll(Export(p, "loop.gif")).find("NETSCAPE2.0"), std::string::npos);
}

// The images a GIF stores, from its blocks: where, how large, and whether
// a transparent index leaves the pixels under it as shown.
struct GifImage {
    int x = 0, y = 0, w = 0, h = 0;
    bool transparent = false;
};
std::vector<GifImage> GifImages(const std::string& b)
{
    auto word = [&](size_t at) { return int(uint8_t(b.at(at)) | uint8_t(b.at(at + 1)) << 8); };
    std::vector<GifImage> out;
    size_t at = 13;
    if (uint8_t(b.at(10)) & 0x80)
        at += size_t(3) << ((uint8_t(b[10]) & 7) + 1);
    bool transparent = false;
    auto skipSubBlocks = [&]() {
        while (uint8_t(b.at(at)) != 0)
            at += size_t(uint8_t(b[at])) + 1;
        ++at;
    };
    while (at < b.size() && b[at] != 0x3B) {
        if (b[at] == 0x21) {
            if (uint8_t(b.at(at + 1)) == 0xF9)
                transparent = uint8_t(b.at(at + 3)) & 1;
            at += 2;
            skipSubBlocks();
        } else if (b[at] == 0x2C) {
            out.push_back({word(at + 1), word(at + 3), word(at + 5), word(at + 7), transparent});
            const uint8_t flags = uint8_t(b.at(at + 9));
            at += 10;
            if (flags & 0x80)
                at += size_t(3) << ((flags & 7) + 1);
            ++at; // LZW minimum code size
            skipSubBlocks();
            transparent = false;
        } else {
            ADD_FAILURE() << "unknown GIF block " << int(uint8_t(b[at])) << " at " << at;
            break;
        }
    }
    return out;
}

TEST(VideoFile, EveryGifFrameShowsTheRenderersAndLaterImagesHoldOnlyWhatChangesTheSight)
{
    // A caption appears over the first picture, with the picture between its
    // letters left as it was, and goes with the second.
    Text caption{
        .start = 5, .end = 30, .content = "HH", .size = 10, .color = "0", .px = 2, .py = 40};
    ShotProject p(3, kStageW, kStageH, caption.Xml());
    const std::string gif = Export(p, "movie.gif");
    Decoded g = Decode(gif);
    ASSERT_EQ(g.w, kStageW);
    video::TTimeline t = RecordTimeline(p.card);
    video::TRenderer r(t);
    const int frames = video::VideoFrameCount(t);
    for (int f = 0; f < frames; ++f) {
        r.Render(std::min(f, t.FrameCount() - 1));
        const std::vector<uint8_t> want = Rgb(r);
        const std::vector<uint8_t>& got = FrameAt(g, f);
        // Quantised to a palette, never a pixel left from an earlier frame
        // (an arrow where it was, a picture before this one).
        EXPECT_GT(Psnr(got, want, g.w, g.h), 26.0) << "frame " << f;
        int far = 0;
        for (size_t i = 0; i < want.size(); ++i)
            far += std::abs(int(got[i]) - int(want[i])) > 64;
        EXPECT_EQ(far, 0) << "frame " << f;
    }
    const std::vector<GifImage> images = GifImages(ReadAll(gif));
    ASSERT_GT(images.size(), size_t(6));
    EXPECT_EQ(images[0].w, kStageW);
    EXPECT_EQ(images[0].h, kStageH);
    EXPECT_FALSE(images[0].transparent) << "the first image is all there is to see";
    size_t small = 0, transparent = 0;
    for (size_t i = 1; i < images.size(); ++i) {
        small += int64_t(images[i].w) * images[i].h < int64_t(kStageW) * kStageH / 4;
        transparent += images[i].transparent;
    }
    // The arrow's glide: small images; the caption's leave out what stays.
    EXPECT_GT(small, images.size() / 2);
    EXPECT_GT(transparent, size_t(0));
}

TEST(VideoFile, EveryWebmFrameShowsTheRenderersWhetherTheViewHoldsPansOrZooms)
{
    // The encoder codes only the blocks the renderer touched: an arrow
    // left where it was, a caption kept after its end or a picture kept
    // under a new one would show as blocks far from the renderer's.
    constexpr int w = 320, h = 240;
    Text caption{
        .start = 5, .end = 20, .content = "HH", .size = 20, .color = "0", .px = 120, .py = 100};
    ShotProject p(3, w, h, caption.Xml());
    video::TTimeline t = RecordTimeline(p.card);
    const int shown = t.FrameCount();
    t.focus.views.assign(size_t(shown), video::TView{0, 0, w, h});
    for (int f = 0; f < shown; ++f) {
        video::TView& v = t.focus.views[size_t(f)];
        if (f < 30)
            v = {80, 60, 160, 120}; // held on a quarter
        else if (f < 42)            // a pan of 12 frames
            v = {80 + (f - 29) * 80.0 / 12, 60 + (f - 29) * 60.0 / 12, 160, 120};
        else if (f < 52)
            v = {160, 120, 160, 120};
        else if (f < 59) // out to the whole stage in 7
            v = {160 - (f - 51) * 160.0 / 7, 120 - (f - 51) * 120.0 / 7,
                 160 + (f - 51) * 160.0 / 7, 120 + (f - 51) * 120.0 / 7};
    }
    Scratch dir;
    video::EncodeVideo(t, dir / "movie.webm", video::TVideoFormat::WebM);
    const Decoded d = Decode(dir / "movie.webm");

    const int frames = video::VideoFrameCount(t);
    ASSERT_EQ(int(d.frames.size()), frames);
    ASSERT_EQ(d.w, w);
    video::TRenderer r(t);
    for (int f = 0; f < frames; ++f) {
        r.Render(std::min(f, shown - 1));
        const std::vector<uint8_t> want = Rgb(r);
        const std::vector<uint8_t>& got = d.frames[size_t(f)];
        const bool moving = f >= 30 && f < 59 && !(f >= 42 && f < 52);
        EXPECT_GT(Psnr(got, want, w, h), moving ? 16.0 : 22.0) << "frame " << f;
        // The worst 8 x 8 block, by its mean difference.
        double worst = 0;
        for (int by = 0; by < h; by += 8)
            for (int bx = 0; bx < w; bx += 8) {
                double sum = 0;
                for (int y = by; y < by + 8; ++y)
                    for (int x = bx * 3; x < (bx + 8) * 3; ++x) {
                        const size_t i = size_t(y) * w * 3 + size_t(x);
                        sum += std::abs(int(got[i]) - int(want[i]));
                    }
                worst = std::max(worst, sum / (8 * 8 * 3));
            }
        // Codec error stays below 20 held and 40 moving on these noisy
        // pictures; a block kept from an earlier frame is 60 and more.
        EXPECT_LT(worst, moving ? 50.0 : 30.0) << "frame " << f;
    }
}

// Past 20 s the WebM is encoded in parts of about 20 s side by side: one
// movie all the same, its frames every 15th of a second, every frame the
// renderer's. The second part starts, on a key frame, with the first
// picture after 20 s, and no other frame is a key frame.
TEST(VideoFile, AWebmOfManyPartsPlaysAsOneMovie)
{
    ShotProject p(14); // 22.4 s
    const std::string path = Export(p, "parts.webm");
    const Decoded d = Decode(path);
    video::TTimeline t = RecordTimeline(p.card);
    const int frames = video::VideoFrameCount(t);
    ASSERT_EQ(int(d.frames.size()), frames);
    video::TRenderer r(t);
    for (int f = 0; f < frames; ++f) {
        EXPECT_NEAR(d.times[size_t(f)] - d.times[0], f / 15.0, 0.002) << "frame " << f;
        r.Render(std::min(f, t.FrameCount() - 1));
        EXPECT_GT(Psnr(d.frames[size_t(f)], Rgb(r), d.w, d.h), 22.0) << "frame " << f;
    }
    AVFormatContext* fmt = nullptr;
    ASSERT_GE(avformat_open_input(&fmt, path.c_str(), nullptr, nullptr), 0);
    std::vector<double> keys;
    AVPacket* pkt = av_packet_alloc();
    while (av_read_frame(fmt, pkt) >= 0) {
        const AVStream* s = fmt->streams[pkt->stream_index];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && (pkt->flags & AV_PKT_FLAG_KEY))
            keys.push_back(double(pkt->pts) * av_q2d(s->time_base));
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&fmt);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_NEAR(keys[1] - keys[0], 24 * 13 / 15.0, 0.002);
}

TEST(VideoFile, OddStageIsPaddedAndFfprobeAgrees)
{
    ShotProject p(1, 63, 47);
    std::string note;
    std::string path = Export(p, "odd.mp4", nullptr, &note);
    EXPECT_NE(note.find("padded to 64 x 48"), std::string::npos) << note;
    Decoded d = Decode(path);
    EXPECT_EQ(d.w, 64);
    EXPECT_EQ(d.h, 48);
    if (!std::filesystem::exists("/usr/bin/ffprobe"))
        GTEST_SKIP() << "ffprobe is not installed";
    std::string out = p.dir / "probe.txt";
    std::string cmd = "/usr/bin/ffprobe -v error -show_entries "
                      "stream=codec_name,pix_fmt,r_frame_rate:format=duration -of compact '" +
                      path + "' > '" + out + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string probe = ReadAll(out);
    EXPECT_NE(probe.find("codec_name=h264|pix_fmt=yuv420p|r_frame_rate=15/1"), std::string::npos)
        << probe;
    EXPECT_NE(probe.find("codec_name=aac"), std::string::npos) << probe;
    // 25 frames at 15 a second.
    EXPECT_NE(probe.find("duration=1.6"), std::string::npos) << probe;
}

TEST(VideoFile, BadInputsAndTargetsLeaveNoPartialFile)
{
    ShotProject p(2);
    std::filesystem::remove(p.Shots[1]);
    Reporter swfReporter, videoReporter;
    Export(p, "movie.swf", &swfReporter);
    std::string video = Export(p, "movie.mp4", &videoReporter);
    EXPECT_EQ(videoReporter.Errors, swfReporter.Errors);
    ASSERT_EQ(videoReporter.Errors.size(), 1u);
    EXPECT_EQ(videoReporter.Errors[0], kPictureErrorMessage);
    EXPECT_TRUE(Exists(video));

    // A folder that is a file: the old movie stays as it was.
    WriteAll(p.dir / "notafolder", "x");
    TSwfWriterSet swf;
    try {
        ExportMovieFile(p.card, p.dir / "notafolder/movie.gif", swf.Writers(), nullptr);
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot write the movie"), std::string::npos)
            << e.what();
    }

    // Cancel half way: the old file is untouched and nothing else is left.
    std::string before = ReadAll(video);
    for (const char* name : {"movie.mp4", "movie.webm", "movie.gif"}) {
        video::TEncodeOptions cancel;
        cancel.Progress = [](int done, int) { return done < 5; };
        WriteAll(p.dir / "movie.gif", "old");
        EXPECT_THROW(ExportMovieFile(p.card, p.dir / name, swf.Writers(), nullptr, cancel),
                     video::TCancelled);
    }
    EXPECT_EQ(ReadAll(video), before);
    EXPECT_EQ(ReadAll(p.dir / "movie.gif"), "old");
    for (auto& e : std::filesystem::directory_iterator(p.dir.str()))
        for (const char* part : {".mp4.", ".webm."})
            EXPECT_EQ(e.path().filename().string().find(part), std::string::npos) << e.path();
}

TEST(VideoFile, ExporterPicksTheFormatFromTheExtension)
{
    std::string tool = std::string(QUILLORA_BIN_DIR) + "/quillora-export";
    ShotProject p(1);
    std::string help = p.dir / "help.txt";
    ASSERT_EQ(std::system((tool + " --help > '" + help + "'").c_str()), 0);
    for (const char* ext : {".swf", ".mp4", ".webm", ".gif"})
        EXPECT_NE(ReadAll(help).find(ext), std::string::npos) << ext;
    std::string gif = p.dir / "tool.gif";
    ASSERT_EQ(std::system((tool + " '" + p.card.WorkProjectPath + "' '" + gif + "'").c_str()), 0);
    EXPECT_EQ(ReadAll(gif).substr(0, 6), "GIF89a");
    EXPECT_EQ(ReadAll(gif).find("NETSCAPE2.0"), std::string::npos) << "\"Loop\" is \"False\"";

    // A project whose "Loop" is "True" gives a GIF that repeats forever.
    std::string xml = ReadAll(p.card.WorkProjectPath);
    const size_t at = xml.find("<Loop>False</Loop>");
    ASSERT_NE(at, std::string::npos);
    xml.replace(at, 18, "<Loop>True</Loop>");
    std::string looping = p.dir / "looping.qlv";
    swftest::WriteFile(looping, std::vector<uint8_t>(xml.begin(), xml.end()));
    std::string loopGif = p.dir / "loop.gif";
    ASSERT_EQ(std::system((tool + " '" + looping + "' '" + loopGif + "'").c_str()), 0);
    EXPECT_NE(ReadAll(loopGif).find("NETSCAPE2.0"), std::string::npos);
}

} // namespace
} // namespace quillora::test
