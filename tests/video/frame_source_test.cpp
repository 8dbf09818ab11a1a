// The GStreamer frame source on real files made by the test-video maker.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "damaged_video.h"
#include "video/gst_frame_source.h"
#include "video/test_video_maker.h"
#include "video_test_util.h"

namespace {

using namespace std::chrono_literals;

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds bound) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(5ms);
    }
    return pred();
}

std::unique_ptr<hv::FrameSource> OpenOrFail(const std::string& path, bool audio) {
    auto source = hv::CreateGstFrameSource();
    hv::FrameSourceOptions options;
    options.withAudio = audio;
    const hv::BuildStep step = source->Open(path, options);
    EXPECT_EQ(step, hv::BuildStep::None) << path;
    if (step != hv::BuildStep::None) return nullptr;
    return source;
}

// The frame number in the corner of the current picture, -1 when none.
int32_t CurrentNumber(hv::FrameSource& source, hv::FrameBuffer& fb) {
    int32_t size = fb.PictureBytes();
    if (!source.CurrentFrame(fb.data(), &size)) return -1;
    return hv::ReadFrameNumber(fb.data(), fb.width, fb.height);
}

struct ContainerCase {
    const char* ext;
    bool exactDuration;  // the container stores the length, not an estimate
};

// Every container the player lists opens with the right format. 2 s at
// 25 fps, 320x240, with sound. MPEG-PS, MPEG-TS and FLV store no length:
// the demuxer estimates it from their timestamps, which may be a few frames
// short (allowed: 150 ms). The ASF files GStreamer's asfmux writes carry no
// frame rate, so the source reports its fallback (25 fps) for them; the
// files here are made at 25 fps.
TEST(GstFrameSource, EveryContainerOpensWithItsFormat) {
    const ContainerCase cases[] = {{"mp4", true},  {"mov", true},  {"mkv", true}, {"webm", true},
                                   {"ogv", true},  {"avi", true},  {"asf", true}, {"wmv", true},
                                   {"flv", false}, {"mpg", false}, {"ts", false}, {"m2ts", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ext);
        const std::string path =
            hvtest::MakeVideo(std::string("c.") + c.ext, 320, 240, 25, 1, 50, true);
        if (path.empty()) continue;
        // The setup utility's open (no sound branch) keeps this test quick;
        // the player's is covered below.
        auto source = OpenOrFail(path, false);
        if (!source) continue;
        const hv::VideoFormat& f = source->Format();
        EXPECT_EQ(f.width, 320);
        EXPECT_EQ(f.height, 240);
        EXPECT_EQ(f.sampleSize, 320 * 240 * 4);
        EXPECT_EQ(f.avgTimePerFrame, 400000);
        if (c.exactDuration) {
            EXPECT_EQ(f.duration, 20'000'000);
            EXPECT_EQ(f.frameCount, 50);
        } else {
            EXPECT_NEAR(static_cast<double>(f.duration), 20'000'000, 1'500'000);
            EXPECT_NEAR(f.frameCount, 50, 4);
        }
        EXPECT_EQ(f.frameCount, hv::FrameCountOf(f.duration, f.avgTimePerFrame));
        EXPECT_DOUBLE_EQ(f.durationSeconds, f.duration / 1e7);
        hv::FrameBuffer fb;
        fb.Allocate(f.width, f.height);
        const int32_t n = CurrentNumber(*source, fb);
        EXPECT_GE(n, 0);
        EXPECT_LT(n, 50);
        source->Close();
    }
}

TEST(GstFrameSource, NtscTenSecondsGives299Frames) {
    // 10 s at 30000/1001: the picture ends at 10 s, its last frame cut short.
    const std::string path =
        hvtest::MakeVideo("ntsc.mkv", 96, 64, 30000, 1001, 300, false, 10'000'000'000);
    ASSERT_FALSE(path.empty());
    auto source = OpenOrFail(path, false);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->Format().avgTimePerFrame, 333667);
    EXPECT_NEAR(static_cast<double>(source->Format().duration), 100'000'000, 100'000);
    EXPECT_EQ(source->Format().frameCount, 299);
}

TEST(GstFrameSource, HundredSecondsAt25Gives2500Frames) {
    const std::string path = hvtest::MakeVideo("long.mkv", 32, 32, 25, 1, 2500, false);
    ASSERT_FALSE(path.empty());
    auto source = OpenOrFail(path, false);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->Format().duration, 1'000'000'000);
    EXPECT_EQ(source->Format().avgTimePerFrame, 400'000);
    EXPECT_EQ(source->Format().frameCount, 2500);
}

TEST(GstFrameSource, CurrentFrameIsStableBottomUpAndSeeksExactly) {
    for (const char* ext : {"mp4", "webm"}) {
        SCOPED_TRACE(ext);
        const std::string path =
            hvtest::MakeVideo(std::string("seek.") + ext, 320, 240, 30000, 1001, 60, false);
        ASSERT_FALSE(path.empty());
        auto source = OpenOrFail(path, false);
        ASSERT_TRUE(source);
        const hv::VideoFormat f = source->Format();
        ASSERT_TRUE(source->Pause());
        source->WaitForState();
        for (int32_t n : {0, 7, 23, 59, 1}) {
            ASSERT_TRUE(source->Seek(f.avgTimePerFrame * n));
            source->WaitForState();
            hv::FrameBuffer fb;
            fb.Allocate(f.width, f.height);
            int32_t size = f.sampleSize;
            ASSERT_TRUE(source->CurrentFrame(fb.data(), &size));
            EXPECT_EQ(size, f.sampleSize);
            EXPECT_EQ(hv::ReadFrameNumber(fb.data(), f.width, f.height), n);
            // Nothing new decoded: the same bytes again.
            std::vector<uint32_t> again(fb.pixels.size(), 0);
            int32_t size2 = f.sampleSize;
            ASSERT_TRUE(source->CurrentFrame(again.data(), &size2));
            EXPECT_EQ(size2, size);
            EXPECT_EQ(0, std::memcmp(again.data(), fb.data(), static_cast<size_t>(size)));
            // The spare row is never written.
            for (int32_t x = 0; x < f.width; ++x) {
                ASSERT_EQ(fb.pixels[static_cast<size_t>(f.height) * f.width + x], 0u);
            }
            // Top-left picture corner = last memory row: the white start block.
            EXPECT_GT(fb.pixels[static_cast<size_t>(f.height - 1) * f.width + 2] & 0xff, 200u);
        }
    }
}

TEST(GstFrameSource, ShortCapacityCopiesWholeRowsOnly) {
    const std::string path = hvtest::MakeVideo("cap.mkv", 64, 48, 25, 1, 5, false);
    ASSERT_FALSE(path.empty());
    auto source = OpenOrFail(path, false);
    ASSERT_TRUE(source);
    std::vector<uint32_t> buf(64 * 48 + 64, 0xdeadbeefu);
    int32_t size = 64 * 4 * 10 + 17;  // ten rows and a bit
    ASSERT_TRUE(source->CurrentFrame(buf.data(), &size));
    EXPECT_EQ(size, 64 * 4 * 10);
    EXPECT_EQ(buf[64 * 10], 0xdeadbeefu);
    size = 0;
    EXPECT_TRUE(source->CurrentFrame(buf.data(), &size));
    EXPECT_EQ(size, 0);
    EXPECT_FALSE(source->CurrentFrame(nullptr, &size));
}

TEST(GstFrameSource, PlaysToTheEndAndReportsTheDuration) {
    const std::string path = hvtest::MakeVideo("end.mp4", 96, 64, 25, 1, 10, true);
    ASSERT_FALSE(path.empty());
    // With the sound branch (player) and with the sound left out (setup).
    for (bool audio : {true, false}) {
        SCOPED_TRACE(audio ? "player" : "setup");
        auto source = OpenOrFail(path, audio);
        ASSERT_TRUE(source);
        hv::FrameBuffer fb;
        fb.Allocate(source->Format().width, source->Format().height);
        EXPECT_TRUE(WaitUntil([&] { return source->Position() == source->Format().duration; }, 5s));
        EXPECT_EQ(CurrentNumber(*source, fb), 9) << "the last picture stays";
        const uint64_t serial = source->PictureSerial();
        EXPECT_GE(serial, 10u);
        // Back to the start, paused: the first picture again.
        ASSERT_TRUE(source->Pause());
        ASSERT_TRUE(source->Seek(0));
        source->WaitForState();
        EXPECT_LT(source->Position(), source->Format().duration);
        EXPECT_EQ(CurrentNumber(*source, fb), 0);
        EXPECT_GT(source->PictureSerial(), serial);
        // Running again moves on.
        ASSERT_TRUE(source->Run());
        EXPECT_TRUE(WaitUntil([&] { return CurrentNumber(*source, fb) > 2; }, 5s));
        ASSERT_TRUE(source->Stop());
        source->WaitForState();
    }
}

TEST(GstFrameSource, VolumeActsOnlyWithASoundBranch) {
    const std::string withSound = hvtest::MakeVideo("snd.mkv", 64, 48, 25, 1, 25, true);
    const std::string silent = hvtest::MakeVideo("quiet.mkv", 64, 48, 25, 1, 25, false);
    ASSERT_FALSE(withSound.empty());
    ASSERT_FALSE(silent.empty());

    auto player = OpenOrFail(withSound, true);
    ASSERT_TRUE(player);
    EXPECT_TRUE(player->HasAudio());
    EXPECT_EQ(player->GetVolume(), 0);
    EXPECT_TRUE(player->SetVolume(-2000));
    EXPECT_EQ(player->GetVolume(), -2000);
    EXPECT_TRUE(player->SetVolume(-20000));
    EXPECT_EQ(player->GetVolume(), -10000);
    player->Close();
    EXPECT_FALSE(player->SetVolume(0));

    auto quiet = OpenOrFail(silent, true);  // a file without sound plays its picture
    ASSERT_TRUE(quiet);
    EXPECT_FALSE(quiet->HasAudio());
    EXPECT_FALSE(quiet->SetVolume(-1000));

    auto setup = OpenOrFail(withSound, false);
    ASSERT_TRUE(setup);
    EXPECT_FALSE(setup->HasAudio());
}

TEST(GstFrameSource, OddFrameSizes) {
    // VP8 keeps odd sizes; H.264 in MP4 is padded to even by the maker.
    const std::string webm = hvtest::MakeVideo("odd.webm", 321, 241, 25, 1, 5, false);
    const std::string mp4 = hvtest::MakeVideo("odd.mp4", 321, 241, 25, 1, 5, false);
    ASSERT_FALSE(webm.empty());
    ASSERT_FALSE(mp4.empty());
    auto a = OpenOrFail(webm, false);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->Format().width, 321);
    EXPECT_EQ(a->Format().height, 241);
    hv::FrameBuffer fb;
    fb.Allocate(321, 241);
    ASSERT_TRUE(a->Pause());
    ASSERT_TRUE(a->Seek(a->Format().avgTimePerFrame * 2));
    a->WaitForState();
    EXPECT_EQ(CurrentNumber(*a, fb), 2);
    auto b = OpenOrFail(mp4, false);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->Format().width, 322);
    EXPECT_EQ(b->Format().height, 242);
}

TEST(GstFrameSource, OperationsAfterCloseDoNothing) {
    auto source = hv::CreateGstFrameSource();
    uint32_t px[4] = {};
    int32_t size = sizeof px;
    EXPECT_FALSE(source->CurrentFrame(px, &size));
    EXPECT_FALSE(source->Run());
    EXPECT_FALSE(source->Pause());
    EXPECT_FALSE(source->Stop());
    EXPECT_FALSE(source->WaitForState());
    EXPECT_FALSE(source->Seek(0));
    EXPECT_EQ(source->Position(), 0);
    source->Close();
    source->Close();
}

// Many threads take the current picture while the worker seeks, pauses and
// runs; every copy is a whole picture of one frame.
TEST(GstFrameSource, CurrentFrameFromManyThreads) {
    const std::string path = hvtest::MakeVideo("threads.mkv", 160, 120, 25, 1, 50, false);
    ASSERT_FALSE(path.empty());
    auto source = OpenOrFail(path, false);
    ASSERT_TRUE(source);
    const hv::VideoFormat f = source->Format();
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0}, copies{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&] {
            hv::FrameBuffer fb;
            fb.Allocate(f.width, f.height);
            while (!stop.load()) {
                const int32_t n = CurrentNumber(*source, fb);
                if (n < 0 || n >= 50) bad.fetch_add(1);
                copies.fetch_add(1);
            }
        });
    }
    for (int i = 0; i < 5; ++i) {
        source->Pause();
        source->Seek(f.avgTimePerFrame * (i * 9));
        source->WaitForState();
        source->Run();
        std::this_thread::sleep_for(30ms);
    }
    stop.store(true);
    for (auto& t : readers) t.join();
    source->Close();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_GT(copies.load(), 10);
}

// EveryFrame: every picture exactly once, in order, with increasing times,
// then the end of the stream; a file damaged half way through gives its
// good pictures and then an error, told apart from the end.
TEST(GstFrameSource, EveryFrameDeliversEachPictureOnceThenTheEnd) {
    const std::string mp4 = hvtest::MakeVideo("every.mp4", 96, 64, 25, 1, 37, false);
    const std::string mkv = hvtest::MakeVideo("every.mkv", 97, 63, 30000, 1001, 23, true);
    ASSERT_FALSE(mp4.empty());
    ASSERT_FALSE(mkv.empty());
    hv::FrameSourceOptions options;
    options.mode = hv::FrameSourceMode::EveryFrame;
    for (const auto& [path, frames] : {std::pair{mp4, 37}, std::pair{mkv, 23}}) {
        SCOPED_TRACE(path);
        auto source = hv::CreateGstFrameSource();
        ASSERT_EQ(source->Open(path, options), hv::BuildStep::None);
        EXPECT_FALSE(source->HasAudio()) << "no sound branch in EveryFrame";
        hv::FrameBuffer fb;
        int64_t pts = -1, prev = -1;
        int32_t next = 0;
        hv::NextFrameResult r;
        while ((r = source->NextFrame(fb, &pts, 5000)) == hv::NextFrameResult::Frame) {
            EXPECT_EQ(fb.width, source->Format().width);
            EXPECT_EQ(hv::ReadFrameNumber(fb.data(), fb.width, fb.height), next) << "in order";
            EXPECT_GT(pts, prev) << "picture " << next;
            prev = pts;
            if (++next > frames + 5) break;
        }
        EXPECT_EQ(r, hv::NextFrameResult::EndOfStream);
        EXPECT_EQ(next, frames);
        EXPECT_EQ(source->NextFrame(fb, nullptr, 100), hv::NextFrameResult::EndOfStream);
        EXPECT_EQ(source->StreamError(), "");
        hv::FrameBuffer cur;
        cur.Allocate(fb.width, fb.height);
        int32_t size = cur.PictureBytes();
        ASSERT_TRUE(source->CurrentFrame(cur.data(), &size));
        EXPECT_EQ(hv::ReadFrameNumber(cur.data(), cur.width, cur.height), frames - 1);
        source->Close();
        EXPECT_EQ(source->NextFrame(fb, nullptr, 10), hv::NextFrameResult::NotOpen);
    }

    // Damaged from half way: the good pictures in order, then an error.
    const std::string damaged = hvtest::MakeVideo("every_damaged.mp4", 96, 64, 25, 1, 40, false);
    ASSERT_FALSE(damaged.empty());
    ASSERT_EQ(hvtest::DamageMp4FromHalfway(damaged), "");
    auto source = hv::CreateGstFrameSource();
    ASSERT_EQ(source->Open(damaged, options), hv::BuildStep::None);
    hv::FrameBuffer fb;
    int32_t next = 0;
    hv::NextFrameResult r;
    while ((r = source->NextFrame(fb, nullptr, 5000)) == hv::NextFrameResult::Frame) {
        EXPECT_EQ(hv::ReadFrameNumber(fb.data(), fb.width, fb.height), next);
        if (++next > 40) break;
    }
    EXPECT_EQ(r, hv::NextFrameResult::Error);
    EXPECT_GT(next, 0);
    EXPECT_LE(next, 20) << "no picture past the damage";
    EXPECT_NE(source->StreamError(), "");
    EXPECT_EQ(source->NextFrame(fb, nullptr, 100), hv::NextFrameResult::Error);
    // A latest-frame source has no NextFrame; the next open clears the error.
    ASSERT_EQ(source->Open(mp4, hv::FrameSourceOptions{}), hv::BuildStep::None);
    EXPECT_EQ(source->StreamError(), "");
    EXPECT_EQ(source->NextFrame(fb, nullptr, 10), hv::NextFrameResult::NotOpen);
}

// Close on one thread while others run transport calls and take pictures:
// Close waits for the calls in progress, later calls do nothing.
TEST(GstFrameSource, CloseWhileOtherThreadsCallIn) {
    const std::string path = hvtest::MakeVideo("closing.mkv", 96, 64, 25, 1, 50, false);
    ASSERT_FALSE(path.empty());
    for (int round = 0; round < 3; ++round) {
        auto source = OpenOrFail(path, false);
        ASSERT_TRUE(source);
        const int64_t step = source->Format().avgTimePerFrame;
        std::atomic<bool> stop{false};
        std::vector<std::thread> callers;
        for (int t = 0; t < 3; ++t) {
            callers.emplace_back([&, t] {
                hv::FrameBuffer fb;
                fb.Allocate(96, 64);
                for (int i = 0; !stop.load(); ++i) {
                    if (t == 0) source->Seek(step * (i % 40));
                    if (t == 1) source->Position();
                    if (t == 2) CurrentNumber(*source, fb);
                }
            });
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50 + 40 * round));
        source->Close();
        EXPECT_FALSE(source->Seek(0));
        EXPECT_EQ(source->Position(), 0);
        stop.store(true);
        for (auto& c : callers) c.join();
    }
}

// EveryFrame and a seek: the next picture is the first at or after the
// target (past the end: the end of the stream), and Close returns promptly,
// also when the seek meets the decoder blocked on a full queue or the
// re-preroll meets a NextFrame already waiting. Each round runs on its own thread under a bound,
// so that a hang fails the test instead of stalling the suite (a hung round
// is leaked).
TEST(GstFrameSource, EveryFrameSeekThenNextFrameThenClose) {
    const std::string path = hvtest::MakeVideo("every_seek.mp4", 96, 64, 25, 1, 50, false);
    ASSERT_FALSE(path.empty());
    struct Round {
        hv::NextFrameResult afterSeek = hv::NextFrameResult::NotOpen;
        int32_t number = -1;
        int64_t pts = -1;
        bool seekOk = false;
    };
    constexpr int32_t kTarget = 25;
    constexpr int32_t kPastEnd = 60;
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        const bool pastEnd = round % 5 == 4;
        auto result = std::make_shared<std::promise<Round>>();
        std::future<Round> done = result->get_future();
        std::thread([path, result, round, pastEnd] {
            Round out;
            hv::FrameSourceOptions options;
            options.mode = hv::FrameSourceMode::EveryFrame;
            auto source = hv::CreateGstFrameSource();
            if (source->Open(path, options) == hv::BuildStep::None) {
                hv::FrameBuffer fb;
                // Vary how far the decoder has run ahead (its queue full or not).
                for (int i = 0; i < round % 4; ++i) source->NextFrame(fb, nullptr, 2000);
                if (round % 2 == 1) std::this_thread::sleep_for(std::chrono::milliseconds(20));
                const int64_t step = source->Format().avgTimePerFrame;
                out.seekOk = source->Seek(step * (pastEnd ? kPastEnd : kTarget));
                out.afterSeek = source->NextFrame(fb, &out.pts, 3000);
                if (out.afterSeek == hv::NextFrameResult::Frame) {
                    out.number = hv::ReadFrameNumber(fb.data(), fb.width, fb.height);
                }
                source->Close();
            }
            result->set_value(out);
        }).detach();
        ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready)
            << "seek, NextFrame or Close hung";
        const Round r = done.get();
        EXPECT_TRUE(r.seekOk);
        if (pastEnd) {
            EXPECT_EQ(r.afterSeek, hv::NextFrameResult::EndOfStream);
            continue;
        }
        ASSERT_EQ(r.afterSeek, hv::NextFrameResult::Frame);
        EXPECT_EQ(r.number, kTarget);
        EXPECT_EQ(r.pts, int64_t{kTarget} * 400000);
    }
}

}  // namespace
