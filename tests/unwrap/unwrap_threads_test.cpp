// The unwrap job against renderers reading at the same time, flips from
// another thread, and a job that is still busy. Run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "unwrap/unwrap_engine.h"
#include "unwrap_test_util.h"

namespace {

using namespace std::chrono_literals;
using hv::UnwrapEngine;

void WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 5000 && !done(); ++i) std::this_thread::sleep_for(1ms);
}

TEST(UnwrapThreads, ReadersAlwaysSeeOneWholeFrameWhileJobsAndFlipsRun) {
    for (auto path : {UnwrapEngine::CopyPath::Fast, UnwrapEngine::CopyPath::FastThreads}) {
        // The worked example's ring at half size, wholly inside the frame.
        const hv::RingGeometry ring =
            hv::BuildRingGeometry(hvtest::kExampleGeometry, 320, 240).ring;
        UnwrapEngine engine;
        engine.SetCopyPath(path);
        ASSERT_TRUE(engine.Configure(ring));
        hvtest::StillSource source(hvtest::UniformFrame(320, 240, 1));
        std::atomic<bool> stop{false};
        std::atomic<int> bad{0}, renders{0};

        std::thread writer([&] {
            hv::FrameBuffer fb;
            fb.Allocate(320, 240);
            // At least 80 frames, and on until several flips have rebuilt the
            // table and a few frames were published: a loaded machine may
            // starve the flipper for a while, and the readers' pins drop
            // frames while they hold both other buffers.
            const auto deadline = std::chrono::steady_clock::now() + 20s;
            const auto more = [&] {
                return (engine.TableBuilds() < 4 || engine.AcquireReady().Sequence() <= 10) &&
                       std::chrono::steady_clock::now() < deadline;
            };
            for (uint32_t k = 1; k <= 80 || more(); ++k) {
                source.SetPicture(hvtest::UniformFrame(320, 240, k));
                engine.UnwrapFrame(fb, source.Fill());
                if (k > 80) std::this_thread::sleep_for(1ms);
            }
            stop = true;
        });
        // Flips, each once a frame has been copied since the previous one.
        std::thread flipper([&] {
            uint64_t seen = 0;
            while (!stop) {
                const uint64_t seq = engine.AcquireReady().Sequence();
                if (seq > seen) {
                    engine.AdvanceFlipMode();
                    seen = seq;
                }
                std::this_thread::sleep_for(2ms);
            }
        });
        auto reader = [&] {
            uint64_t lastSeq = 0;
            while (!stop) {
                const hv::PanoramaView v = engine.AcquireReady();
                if (v.Sequence() < lastSeq) ++bad;
                lastSeq = v.Sequence();
                const uint32_t* p = v.Pixels();
                const size_t n = size_t(ring.Wp) * ring.Hp;
                // One picture per panorama: every ring pixel the same value.
                for (size_t i = 1; i < n; ++i) {
                    if (p[i] != p[0]) {
                        ++bad;
                        break;
                    }
                }
                if (p[n] != 0) ++bad;  // spare rows stay zero
                ++renders;
                std::this_thread::sleep_for(1ms);  // a renderer's pace, roughly
            }
        };
        std::thread r1(reader), r2(reader);
        writer.join();
        flipper.join();
        r1.join();
        r2.join();
        EXPECT_EQ(bad.load(), 0);
        EXPECT_GT(renders.load(), 0);
        EXPECT_GT(engine.AcquireReady().Sequence(), 10u);
        EXPECT_GT(engine.TableBuilds(), 2u);
    }
}

TEST(UnwrapThreads, AJobThatFindsThePreviousOneBusyDropsItsFrame) {
    UnwrapEngine engine;
    ASSERT_TRUE(engine.Configure(hvtest::ExampleRing()));
    hvtest::StillSource source(hvtest::UniformFrame(640, 480, 5));
    hv::FrameBuffer fb;
    fb.Allocate(640, 480);
    source.Hold(true);
    std::thread job([&] { engine.UnwrapFrame(fb, source.Fill()); });
    WaitFor([&] { return source.CurrentFrameCalls() == 1; });
    ASSERT_EQ(source.CurrentFrameCalls(), 1);
    EXPECT_TRUE(engine.Busy());

    hv::FrameBuffer fb2;
    fb2.Allocate(640, 480);
    EXPECT_FALSE(engine.UnwrapFrame(fb2, source.Fill()));  // dropped at once
    EXPECT_FALSE(engine.UnwrapFrame(fb2));
    EXPECT_EQ(source.CurrentFrameCalls(), 1);

    // A new stream waits for the running job instead of pulling its tables
    // away.
    std::atomic<bool> configured{false};
    std::thread restart([&] {
        engine.Configure(hvtest::ExampleRing());
        configured = true;
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(configured.load());
    source.Hold(false);
    job.join();
    restart.join();
    EXPECT_TRUE(configured.load());
    EXPECT_FALSE(engine.Busy());
    EXPECT_FALSE(engine.TableValid());  // the new stream starts afresh
    EXPECT_TRUE(engine.UnwrapFrame(fb2, source.Fill()));
}

}  // namespace
