// The video side under faults: the file deleted or truncated while it plays,
// and frame sizes from 16 x 16 to 7680 x 4320 with odd widths. Each ends in
// the designed behaviour: playback goes on or ends quietly, a stop is honoured within its
// bound, a refused size carries a message.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "hardening_util.h"
#include "playback_test_util.h"
#include "unwrap/render_view.h"
#include "unwrap/unwrap_engine.h"
#include "unwrap/view_setup.h"
#include "video/frame_source_graph.h"
#include "video/gst_frame_source.h"
#include "video/messages.h"
#include "video/test_video_maker.h"

namespace hvhard {
namespace {

using hvtest::TestPump;
using hvtest::WaitUntil;

constexpr int kTimeoutMs = 30000;

class PlayingVideoFault : public ::testing::TestWithParam<std::string> {
  protected:
    // A private copy of a 4 s video, so that the test may damage it.
    void SetUp() override {
        std::string err;
        const std::string made = TestVideo(GetParam(), 320, 240, 100, true, &err);
        ASSERT_EQ(err, "");
        copy = dir / ("copy." + GetParam());
        std::filesystem::copy_file(made, copy);
        ctl = std::make_unique<hv::PlaybackController>(host, unwrapper);
        host.controller = ctl.get();
        ASSERT_TRUE(ctl->OpenVideo(copy.string(), kVideoGeometry, TestPump));
        ASSERT_TRUE(WaitUntil([&] { return ctl->PlaybackLoopRunning(); }, kTimeoutMs));
        ASSERT_TRUE(WaitUntil([&] { return unwrapper.calls.load() > 5; }, kTimeoutMs));
    }

    // After the fault: the loop keeps cycling (the last picture stays) or
    // has ended on its own; transport commands return; exit releases all.
    void ExpectCleanEnd() {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        ctl->PlayVideo();
        ctl->PauseVideo();
        ctl->SeekToFrame(10, TestPump);
        ctl->Shutdown(TestPump);
        EXPECT_TRUE(WaitUntil([&] { return !ctl->WorkerAlive(); }, kTimeoutMs));
        EXPECT_EQ(hv::GraphActive.load(), 0);
        EXPECT_EQ(unwrapper.configured.load(), unwrapper.released.load());
        EXPECT_EQ(unwrapper.maxInFlight.load(), 1);
        for (const auto& m : host.sink.Messages())
            ADD_FAILURE() << "unexpected message: " << m.caption << ": " << m.text;
    }

    TempFolder dir{"playfault"};
    std::filesystem::path copy;
    hvtest::PlayerHostRecorder host;
    hvtest::CountingUnwrapper unwrapper;
    std::unique_ptr<hv::PlaybackController> ctl;
};

TEST_P(PlayingVideoFault, FileDeletedWhilePlaying) {
    std::filesystem::remove(copy);
    ExpectCleanEnd();
}

TEST_P(PlayingVideoFault, FileTruncatedWhilePlaying) {
    const auto size = std::filesystem::file_size(copy);
    std::filesystem::resize_file(copy, size / 3);
    ExpectCleanEnd();
}

TEST_P(PlayingVideoFault, FileEmptiedWhilePlaying) {
    std::filesystem::resize_file(copy, 0);
    ExpectCleanEnd();
}

INSTANTIATE_TEST_SUITE_P(Containers, PlayingVideoFault,
                         ::testing::Values("mp4", "mkv", "avi", "mpg"),
                         [](const auto& info) { return info.param; });

// The whole engine on one frame of every size: geometry, table, unwrap,
// view set-up and the three qualities with both filters.
void EngineOnFrame(int32_t w, int32_t h) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    const hv::RingGeometryResult g = hv::BuildRingGeometry(kVideoGeometry, w, h);
    ASSERT_TRUE(g.ok) << g.error;
    hv::UnwrapEngine engine;
    ASSERT_TRUE(engine.Configure(g.ring));
    hv::FrameBuffer fb;
    ASSERT_TRUE(fb.Allocate(w, h));
    for (size_t i = 0; i < size_t(w) * size_t(h); ++i) fb.pixels[i] = uint32_t(i) * 2654435761u;
    engine.UnwrapFrame(fb);
    ASSERT_TRUE(engine.UnwrapFrame(fb));
    hv::PanoramaView pano = engine.AcquireReady();
    ASSERT_TRUE(pano);
    const hv::ViewSetupResult vs = hv::InitViewEngine(pano.Ws(), pano.Hs());
    ASSERT_TRUE(vs.ok) << vs.error;
    hv::ViewSource src{pano.ViewSource(), pano.Ws(), pano.Hs(),
                       g.ring.Hp + hv::kPanoramaSpareRows - g.ring.ViewSourceRow(0)};
    hv::ViewRenderer renderer(vs.setup);
    hv::ViewBuffer buffer;
    buffer.Prepare(vs.setup->Wout, vs.setup->Hout);
    for (int q = 0; q < 3; ++q)
        EXPECT_TRUE(renderer.Render(src, vs.start, q == 1,
                                    {static_cast<hv::QualityMode>(q), true, true}, buffer));
}

// The engine is single-threaded work: under ThreadSanitizer (a slow debug
// build) the largest frames add time but nothing to check.
// The same holds for the one-thread opens of odd and damaged files, which
// the ASan build covers.
#if defined(__SANITIZE_THREAD__)
constexpr int32_t kLargestEngineWidth = 2000;
constexpr bool kSingleThreadedCasesToo = false;
#else
constexpr int32_t kLargestEngineWidth = 7680;
constexpr bool kSingleThreadedCasesToo = true;
#endif

TEST(FrameSizes, EngineFrom16x16To8KWithOddWidths) {
    for (auto [w, h] : {std::pair{16, 16},
                        {17, 16},
                        {31, 17},
                        {33, 600},
                        {641, 480},
                        {1919, 1081},
                        {3840, 2160},
                        {7680, 4320}})
        if (w <= kLargestEngineWidth) EngineOnFrame(w, h);
}

TEST(FrameSizes, SizesBeyondTheLimitsAreRefusedWithAMessage) {
    for (auto [w, h] : {std::pair{0, 480},
                        {640, 0},
                        {-640, 480},
                        {16385, 16},
                        {16384, 16384},
                        {INT32_MAX, INT32_MAX},
                        {INT32_MIN, 2}}) {
        const hv::RingGeometryResult g = hv::BuildRingGeometry(kVideoGeometry, w, h);
        EXPECT_FALSE(g.ok) << w << "x" << h;
        EXPECT_FALSE(g.error.empty());
        hv::FrameBuffer fb;
        EXPECT_FALSE(fb.Allocate(w, h));
        EXPECT_TRUE(fb.pixels.empty());
    }
    // A frame too small for a ring of one panorama row.
    const hv::RingGeometryResult tiny = hv::BuildRingGeometry(kVideoGeometry, 2, 2);
    EXPECT_EQ(tiny.ok, tiny.error.empty());
}

// Real videos of odd and extreme sizes decoded by the frame source: the
// reported size is the encoded one and a picture of exactly that size comes.
TEST(FrameSizes, VideosOfOddAndExtremeSizesDecode) {
    if (!kSingleThreadedCasesToo) GTEST_SKIP() << "covered by the ASan build";
    struct Case {
        const char* ext;
        int32_t w, h, frames;
    };
    for (const Case c : {Case{"avi", 16, 16, 3}, Case{"avi", 17, 17, 3}, Case{"mkv", 33, 21, 3},
                         Case{"webm", 641, 479, 3}, Case{"mp4", 7680, 4320, 2}}) {
        SCOPED_TRACE(std::string(c.ext) + " " + std::to_string(c.w) + "x" + std::to_string(c.h));
        std::string err;
        const std::string path = TestVideo(c.ext, c.w, c.h, c.frames, false, &err);
        ASSERT_EQ(err, "");
        int32_t ew = 0, eh = 0;
        hv::EncodedSize(*hv::TestVideoFormatFor(c.ext), c.w, c.h, &ew, &eh);
        auto source = hv::CreateGstFrameSource();
        hv::FrameSourceOptions options;
        options.withAudio = false;
        options.prerollTimeoutMs = 30000;
        ASSERT_EQ(source->Open(path, options), hv::BuildStep::None);
        EXPECT_EQ(source->Format().width, ew);
        EXPECT_EQ(source->Format().height, eh);
        hv::FrameBuffer fb;
        ASSERT_TRUE(fb.Allocate(ew, eh));
        int32_t bytes = fb.PictureBytes();
        ASSERT_TRUE(source->CurrentFrame(fb.data(), &bytes));
        EXPECT_EQ(bytes, fb.PictureBytes());
        // The frame-number blocks survive the codecs from a moderate size on.
        if (ew >= 64) EXPECT_GE(hv::ReadFrameNumber(fb.data(), ew, eh), 0);
        source->Close();
        if (ew < 3840) EngineOnFrame(ew, eh);  // the large sizes: see above
    }
}

// Damaged and odd files opened as the player opens them: each either opens
// with a valid picture size or fails at a build step that has the player's
// message; none hangs past the preroll bound. A FIFO or a device must not
// block the open.
TEST(BadFiles, DamagedAndOddFilesOpenOrFailWithAMessage) {
    if (!kSingleThreadedCasesToo) GTEST_SKIP() << "covered by the ASan build";
    TempFolder dir("badfiles");
    std::vector<std::filesystem::path> files;
    for (const char* ext : {"mp4", "mkv", "avi", "ogv", "webm", "mpg", "ts", "flv", "wmv"}) {
        std::string err;
        const std::string made = TestVideo(ext, 160, 120, 10, true, &err);
        ASSERT_EQ(err, "") << ext;
        const std::string bytes = ReadFile(made);
        for (size_t den : {2u, 10u}) {
            const auto p = dir / ("cut" + std::to_string(den) + "." + ext);
            WriteFile(p, bytes.substr(0, bytes.size() / den));
            files.push_back(p);
        }
        std::string flipped = bytes;  // every 97th byte damaged
        for (size_t i = 64; i < flipped.size(); i += 97)
            flipped[i] = static_cast<char>(~flipped[i]);
        files.push_back(dir / (std::string("damaged.") + ext));
        WriteFile(files.back(), flipped);
    }
    files.push_back(dir / "empty.mp4");
    WriteFile(files.back(), "");
    std::string noise(256 * 1024, '\0');
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 13);
    files.push_back(dir / "noise.avi");
    WriteFile(files.back(), noise);
    files.push_back(dir / "folder.mkv");
    std::filesystem::create_directory(files.back());
    files.push_back(dir / "fifo.mp4");
    ASSERT_EQ(::mkfifo(files.back().c_str(), 0600), 0);
    files.push_back(dir / "zero.mp4");
    std::filesystem::create_symlink("/dev/zero", files.back());
    files.push_back(dir / "missing.mp4");

    int opened = 0;
    for (const auto& f : files) {
        SCOPED_TRACE(f.filename().string());
        auto source = hv::CreateGstFrameSource();
        hv::FrameSourceOptions options;
        options.prerollTimeoutMs = 5000;
        const hv::BuildStep step = source->Open(f.string(), options);
        if (step == hv::BuildStep::None) {
            ++opened;
            EXPECT_TRUE(hv::ValidFrameSize(source->Format().width, source->Format().height));
        } else {
            EXPECT_TRUE(hv::MessageForStep(hv::FrameSourceProgram::Player, step).has_value())
                << static_cast<int>(step);
        }
        source->Close();
    }
    std::printf("%zu damaged or odd files, %d opened\n", files.size(), opened);
}

}  // namespace
}  // namespace hvhard
