// Soak of the export job and the ring detection in one process: many exports
// in a row (the three modes in turn) and many detections in a row (frames
// read from a video, then DetectRing). Memory (VmRSS), threads and file
// descriptors are measured after a warm-up and at the end and must not grow
// beyond a small bound. Small in CI; HV_SOAK_FULL=1 (`make soak`) runs 50
// exports and 200 detections, measured from the tenth on.
#include <gtest/gtest.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "detect/ring_detect.h"
#include "export/export_job.h"
#include "hardening_util.h"
#include "video/spread_frames.h"

namespace hvhard {
namespace {

// One malloc arena for the whole program: every export starts new GStreamer
// and encoder threads, and glibc gives threads arenas of their own that keep
// what was freed in them (many MiB on a machine with many cores), which
// would hide a real leak behind a bound wide enough for them. With one
// arena VmRSS follows what is really held.
[[maybe_unused]] const int kOneArena = mallopt(M_ARENA_MAX, 1);

void ExpectFlat(const char* what, const ProcessFigures& first, const ProcessFigures& warm,
                const ProcessFigures& end, long rssBoundKiB) {
    std::printf("%s soak figures: start %s; after warm-up %s; end %s\n", what,
                Describe(first).c_str(), Describe(warm).c_str(), Describe(end).c_str());
    EXPECT_LE(end.threads, warm.threads + kIdlePoolThreads) << "threads left behind";
    EXPECT_LE(end.descriptors, warm.descriptors + 1) << "descriptors left open";
    EXPECT_LE(end.residentKiB - warm.residentKiB, rssBoundKiB) << "memory grows per round";
}

TEST(ExportSoak, ExportsInARowLeaveNothingBehind) {
    std::string error;
    const std::string video = TestVideo("mp4", 160, 120, 25, false, &error);
    ASSERT_EQ(error, "");
    const TempFolder out("export_soak");
    const int rounds = SoakSize(8, 50);
    const int warmUp = SoakSize(3, 10);
    const ProcessFigures first = MeasureProcess();
    ProcessFigures warm;
    for (int i = 0; i < rounds; ++i) {
        hv::ExportSettings s;
        s.input = video;
        s.output = (out / "soak.mp4").string();  // replaced every round
        s.mode = static_cast<hv::ExportMode>(i % 3);
        s.geometry = kVideoGeometry;
        s.width = 160;
        s.height = 96;
        s.equirectWidth = 256;
        s.preset = "ultrafast";
        const hv::ExportResult r = hv::RunExport(s);
        ASSERT_TRUE(r.ok) << "round " << i << ": " << r.error;
        ASSERT_EQ(r.frames, 25) << "round " << i;
        if (i + 1 == warmUp) warm = SettledFigures(first);
    }
    const ProcessFigures end = SettledFigures(warm);
    std::printf("%d exports\n", rounds);
    ExpectFlat("export", first, warm, end, SoakFull() ? 32 * 1024 : 16 * 1024);
}

TEST(ExportSoak, DetectionsInARowLeaveNothingBehind) {
    std::string error;
    const std::string video = TestVideo("mp4", 160, 120, 25, false, &error);
    ASSERT_EQ(error, "");
    const int rounds = SoakSize(20, 200);
    const int warmUp = SoakSize(5, 10);
    const ProcessFigures first = MeasureProcess();
    ProcessFigures warm;
    for (int i = 0; i < rounds; ++i) {
        std::vector<hv::FrameBuffer> frames;
        ASSERT_TRUE(hv::LoadSpreadVideoFrames(video, 4, frames, error)) << error;
        const hv::RingDetection d = hv::DetectRing(frames);
        ASSERT_NE(d.status, hv::RingDetectStatus::Error) << "round " << i << ": " << d.message;
        if (i + 1 == warmUp) warm = SettledFigures(first);
    }
    const ProcessFigures end = SettledFigures(warm);
    std::printf("%d detections\n", rounds);
    ExpectFlat("detection", first, warm, end, SoakFull() ? 32 * 1024 : 16 * 1024);
}

}  // namespace
}  // namespace hvhard
