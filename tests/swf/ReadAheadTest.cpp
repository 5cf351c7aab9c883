// Pictures read and checked ahead on the workers: the movie must come out
// exactly as without read-ahead, whatever the caller does with the hint, and
// every failure must still come from MakePicture.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "TestMedia.h"
#include "swf/SwfReader.h"
#include "swf/Tags.h"
#include "swf/Workers.h"
#include "swf/Writer.h"

using namespace swf;
namespace fs = std::filesystem;

namespace {

TEST(Job, RunsOnceWhoeverAsksAndLetsGoOfWhatItHeld) {
    std::atomic<int> runs{0};
    auto held = std::make_shared<int>(7);
    std::weak_ptr<int> watch = held;
    auto job = std::make_shared<Job<int>>([&runs, held] {
        ++runs;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return *held * 6;
    });
    held.reset();
    std::vector<std::thread> askers;
    std::atomic<int> sum{0};
    for (int i = 0; i < 4; ++i) askers.emplace_back([&] { sum += job->Get(); });
    for (auto& t : askers) t.join();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(sum, 4 * 42);
    // The job is still alive, but what its function captured is gone.
    EXPECT_TRUE(watch.expired());
}

TEST(Job, FailureReachesEveryAskerAndCancelledJobsNeverRun) {
    auto failing = std::make_shared<Job<int>>([]() -> int { throw std::runtime_error("broken picture"); });
    for (int i = 0; i < 2; ++i) {
        try {
            failing->Get();
            FAIL();
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "broken picture");
        }
    }
    bool ran = false;
    auto dropped = std::make_shared<Job<int>>([&] {
        ran = true;
        return 1;
    });
    dropped->Cancel();
    dropped->TryRun();
    EXPECT_THROW(dropped->Get(), std::runtime_error);
    EXPECT_FALSE(ran);
}

TEST(Job, WaitingCallerTakesQueuedWorkInstead) {
    // A queue full of jobs and one that sleeps on the worker: the caller of
    // Get finishes the queued ones itself instead of waiting idle.
    std::atomic<int> done{0};
    auto slow = Workers::Run<int>([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return 1;
    }, Workers::Kind::ReadAhead);
    std::vector<std::shared_ptr<Job<int>>> queued;
    for (int i = 0; i < 8; ++i)
        queued.push_back(Workers::Run<int>([&done] { return ++done; }, Workers::Kind::ReadAhead));
    EXPECT_EQ(slow->Get(), 1);
    for (auto& j : queued) j->Get();
    EXPECT_EQ(done, 8);
}

class ReadAheadTest : public ::testing::Test {
protected:
    swftest::TempDir dir;

    std::string Jpeg(const std::string& name, int seed, int w = 48, int h = 32) {
        std::string p = dir.File(name);
        swftest::WriteFile(p, swftest::MakeJpeg(w, h, swftest::JpegKind::Baseline, seed));
        return p;
    }

    // One picture per file, each for 10 frames; `expected` is the hint given
    // first (none: no hint at all).
    Bytes Movie(const std::vector<std::string>& files, const std::vector<std::string>* expected) {
        auto movie = CreateMovie();
        auto media = CreateObject();
        movie->SetSize(960, 640);
        if (expected) media->ExpectPictures(*expected);
        for (size_t i = 0; i < files.size(); ++i) {
            movie->GotoFrame(static_cast<int32_t>(10 * i));
            media->MakePicture(0, 0, 960, 640, 48, 32, files[i]);
            movie->AddObject(*media);
            movie->GotoFrame(static_cast<int32_t>(10 * i + 10));
            movie->RemoveObject(*media);
        }
        return BuildMovieBytes(*movie);
    }
};

TEST_F(ReadAheadTest, MovieIsTheSameWhateverTheHintSays) {
    std::vector<std::string> files;
    for (int i = 0; i < 12; ++i) files.push_back(Jpeg("shot" + std::to_string(i) + ".jpg", i));
    fs::copy_file(files[2], dir.File("same-as-2.jpg"));
    files.push_back(dir.File("same-as-2.jpg"));
    files.push_back(files[5]);  // the same file again
    const Bytes plain = Movie(files, nullptr);

    // The exact list, as the export gives it.
    EXPECT_EQ(Movie(files, &files), plain);
    // A list with files never asked for, files missing from it, and an
    // order that differs from the calls.
    std::vector<std::string> odd = {dir.File("never-made.jpg"), files[3], files[0], files[1]};
    for (int i = 11; i >= 6; --i) odd.push_back(files[i]);
    EXPECT_EQ(Movie(files, &odd), plain);
    // An empty hint.
    std::vector<std::string> none;
    EXPECT_EQ(Movie(files, &none), plain);

    ReadMovie m = ParseMovie(plain);
    EXPECT_EQ(m.CountTags(kDefineBitsJpeg2), 12u);  // the copy and the repeat share one bitmap
}

TEST_F(ReadAheadTest, FileChangedAfterTheHintIsReadAgain) {
    std::string a = Jpeg("a.jpg", 1);
    std::vector<std::string> files = {a};
    auto movie = CreateMovie();
    auto media = CreateObject();
    movie->SetSize(960, 640);
    media->ExpectPictures(files);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let the read-ahead finish
    swftest::WriteFile(a, swftest::MakeJpeg(64, 40, swftest::JpegKind::Baseline, 9));
    media->MakePicture(0, 0, 960, 640, 64, 40, a);
    movie->AddObject(*media);
    ReadMovie m = ParseMovie(BuildMovieBytes(*movie));
    ASSERT_EQ(m.CountTags(kDefineBitsJpeg2), 1u);
    for (auto& [id, c] : m.characters)
        if (c.tag == kDefineBitsJpeg2) {
            int w = 0, h = 0;
            swftest::DecodeRgb(c.jpeg, &w, &h);
            EXPECT_EQ(w, 64);
            EXPECT_EQ(h, 40);
        }
}

TEST_F(ReadAheadTest, FailuresStillComeFromMakePictureWithTheirOwnMessage) {
    std::string bad = dir.File("bad.jpg");
    swftest::WriteFile(bad, Bytes{'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'});
    std::string missing = dir.File("missing.jpg");
    std::string good = Jpeg("good.jpg", 3);

    auto message = [&](const std::string& path, bool hint) {
        auto media = CreateObject();
        if (hint) media->ExpectPictures({bad, missing, good});
        try {
            media->MakePicture(0, 0, 960, 640, 48, 32, path);
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    for (const std::string& path : {bad, missing}) {
        std::string plain = message(path, false);
        EXPECT_NE(plain.find(path), std::string::npos) << plain;
        EXPECT_EQ(message(path, true), plain);
    }
    EXPECT_EQ(message(good, true), "");
    // A missing file that appears after the hint is used.
    auto media = CreateObject();
    media->ExpectPictures({missing});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    fs::copy_file(good, missing);
    EXPECT_NO_THROW(media->MakePicture(0, 0, 960, 640, 48, 32, missing));
}

TEST_F(ReadAheadTest, SameContentMadeAtOnceOnManyThreadsIsOneBitmap) {
    // Several objects make pictures of the same content at the same moment:
    // the first reads and checks it, the others wait for that one.
    std::vector<std::string> copies;
    std::string first = Jpeg("first.jpg", 4, 320, 240);
    for (int i = 0; i < 6; ++i) {
        copies.push_back(dir.File("copy" + std::to_string(i) + ".jpg"));
        fs::copy_file(first, copies.back());
    }
    for (int round = 0; round < 5; ++round) {
        std::vector<std::unique_ptr<ISwfObject>> objects;
        for (size_t i = 0; i < copies.size(); ++i) objects.push_back(CreateObject());
        std::vector<std::thread> threads;
        for (size_t i = 0; i < copies.size(); ++i)
            threads.emplace_back([&, i] { objects[i]->MakePicture(0, 0, 960, 640, 320, 240, copies[i]); });
        for (auto& t : threads) t.join();
        auto movie = CreateMovie();
        movie->SetSize(960, 640);
        for (auto& o : objects) movie->AddObject(*o);
        ReadMovie m = ParseMovie(BuildMovieBytes(*movie));
        EXPECT_EQ(m.CountTags(kDefineBitsJpeg2), 1u) << "round " << round;
    }
}

// Large pictures are compared through their files, not kept in memory: a
// copy still shares the first one's bitmap, and a file that changed or went
// away since can never stand in for a new one.
TEST_F(ReadAheadTest, LargeDuplicatesShareABitmapOnlyWhileTheFirstFileIsUnchanged) {
    std::string a = Jpeg("a-large.jpg", 21, 800, 600);
    ASSERT_GT(fs::file_size(a), 64u * 1024);  // beyond what the cache keeps
    std::string copy = dir.File("copy.jpg");
    fs::copy_file(a, copy);
    auto count = [&](const std::vector<std::string>& files, const std::function<void()>& between) {
        auto movie = CreateMovie();
        std::vector<std::unique_ptr<ISwfObject>> objects;
        movie->SetSize(960, 640);
        for (size_t i = 0; i < files.size(); ++i) {
            if (i == 1) between();
            objects.push_back(CreateObject());
            objects.back()->MakePicture(0, 0, 960, 640, 800, 600, files[i]);
            movie->AddObject(*objects.back());
        }
        ReadMovie m = ParseMovie(BuildMovieBytes(*movie));
        for (auto& [id, c] : m.characters)
            if (c.tag == kDefineBitsJpeg2) {
                int w = 0, h = 0;
                swftest::DecodeRgb(c.jpeg, &w, &h);
                EXPECT_EQ(w, 800);
            }
        return m.CountTags(kDefineBitsJpeg2);
    };
    EXPECT_EQ(count({a, copy}, [] {}), 1u);
    // The first file replaced by another picture before the copy is made:
    // its bytes can no longer be checked, so the copy gets its own bitmap.
    std::string b = dir.File("b-large.jpg");
    fs::copy_file(a, b);
    EXPECT_EQ(count({b, copy}, [&] { swftest::WriteFile(b, swftest::MakeJpeg(800, 600, swftest::JpegKind::Baseline, 22)); }), 2u);
    // The first file gone.
    std::string c = Jpeg("c-large.jpg", 21, 800, 600);
    EXPECT_EQ(count({c, copy}, [&] { fs::remove(c); }), 2u);
}

}  // namespace
