// RunExport as a window runs it: on a worker thread of its own, its progress
// read and its cancel flag raised from another thread; and two jobs writing
// one output name at the same time. Tiny videos: these run under ASan/UBSan
// and ThreadSanitizer as well.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "export/export_job.h"
#include "video/frame_source.h"
#include "video/gst_frame_source.h"
#include "video/test_video_maker.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kFrames = 25;

class ExportWorker : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new fs::path(fs::temp_directory_path() /
                            ("hv_export_worker_" + std::to_string(getpid())));
        fs::create_directories(*dir_);
        hv::TestVideoOptions clip;
        clip.path = (*dir_ / "ring.mp4").string();
        clip.width = 160;
        clip.height = 120;
        clip.frames = kFrames;
        clip.audio = false;
        ASSERT_EQ(hv::MakeTestVideo(clip), "");
        video_ = new std::string(clip.path);
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(*dir_, ec);
        delete dir_;
        delete video_;
    }

    static hv::ExportSettings Settings(const std::string& name) {
        hv::ExportSettings s;
        s.input = *video_;
        s.output = (*dir_ / name).string();
        s.width = 160;
        s.height = 96;
        s.preset = "ultrafast";
        s.sound = false;
        return s;
    }

    // Files in the folder besides the source: outputs and leftovers.
    static int OtherFiles() {
        int n = 0;
        for (const auto& e : fs::directory_iterator(*dir_)) n += e.path() != fs::path(*video_);
        return n;
    }

    static fs::path* dir_;
    static std::string* video_;
};
fs::path* ExportWorker::dir_ = nullptr;
std::string* ExportWorker::video_ = nullptr;

int64_t CountFrames(const std::string& path) {
    auto source = hv::CreateGstFrameSource();
    hv::FrameSourceOptions options;
    options.mode = hv::FrameSourceMode::EveryFrame;
    if (source->Open(path, options) != hv::BuildStep::None) return -1;
    int64_t n = 0;
    hv::FrameBuffer fb;
    while (source->NextFrame(fb, nullptr, 30'000) == hv::NextFrameResult::Frame) ++n;
    source->Close();
    return n;
}

// A whole export on a worker: every frame is reported, in order, and the
// watching thread sees the last count. Then one cancelled by the watching
// thread once the first frame is reported (the hook holds the worker until
// the flag is up, so the cancel always lands mid-job): no file is left.
TEST_F(ExportWorker, ProgressAndCancelFromAnotherThread) {
    std::atomic<int64_t> seen{0};
    std::atomic<bool> inOrder{true};
    hv::ExportResult result;
    std::thread worker([&] {
        hv::ExportHooks hooks;
        hooks.progress = [&](const hv::ExportProgress& p) {
            if (p.frames != seen.load() + 1) inOrder.store(false);
            seen.store(p.frames);
        };
        result = hv::RunExport(Settings("whole.mp4"), hooks);
    });
    worker.join();
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.frames, kFrames);
    EXPECT_EQ(seen.load(), kFrames);
    EXPECT_TRUE(inOrder.load());
    EXPECT_EQ(CountFrames(Settings("whole.mp4").output), kFrames);
    fs::remove(Settings("whole.mp4").output);

    std::atomic<bool> cancel{false};
    std::atomic<int64_t> reported{0};
    hv::ExportResult cancelled;
    std::thread job([&] {
        hv::ExportHooks hooks;
        hooks.cancel = &cancel;
        hooks.progress = [&](const hv::ExportProgress& p) {
            reported.store(p.frames);
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (!cancel.load() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        cancelled = hv::RunExport(Settings("cancelled.mp4"), hooks);
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (reported.load() == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    cancel.store(true);
    job.join();
    EXPECT_EQ(reported.load(), 1);
    EXPECT_FALSE(cancelled.ok);
    EXPECT_TRUE(cancelled.cancelled) << cancelled.error;
    EXPECT_EQ(OtherFiles(), 0);
}

// Two jobs of one process write the same output name at once: each writes
// its own temporary file, both finish, and the file is one whole export
// with nothing else left beside it.
TEST_F(ExportWorker, TwoJobsToOneOutputAtOnce) {
    hv::ExportResult a, b;
    hv::ExportSettings pano = Settings("same.mp4");
    pano.mode = hv::ExportMode::Panorama;
    std::thread first([&] { a = hv::RunExport(Settings("same.mp4")); });
    std::thread second([&] { b = hv::RunExport(pano); });
    first.join();
    second.join();
    EXPECT_TRUE(a.ok) << a.error;
    EXPECT_TRUE(b.ok) << b.error;
    EXPECT_EQ(CountFrames(Settings("same.mp4").output), kFrames);
    EXPECT_EQ(OtherFiles(), 1);
    fs::remove(Settings("same.mp4").output);
}

}  // namespace
