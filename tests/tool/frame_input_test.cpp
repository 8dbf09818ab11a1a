// hvtool's INPUT: one frame of a video, picked by number or by time, loaded
// through the GStreamer frame source (checked by the frame number the test
// video carries in its corner), and hvtool unwrap / view run on a video as
// a user runs them.
#include "tool/frame_input.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../video/damaged_video.h"
#include "config/configuration.h"
#include "process_runner.h"
#include "tool/number_options.h"
#include "unwrap/ring_geometry.h"
#include "unwrap/view_setup.h"
#include "video/test_video_maker.h"

namespace {

namespace fs = std::filesystem;

using ToolRun = hvtest::ProcessResult;

// One 320x240, 2 s, 25 fps MP4 (frames 0..49) for the whole suite.
class FrameInput : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new fs::path(fs::temp_directory_path() /
                            ("hv_tool_video_" + std::to_string(::getpid())));
        fs::create_directories(*dir_);
        // hvtool runs from the suite's folder, so that the player's
        // CamSetup.xml it looks for is the one these tests put there (none
        // at first), not whatever was saved beside the build's programs.
        tool_ = new std::string(hvtest::PlaceProgramIn(HVTOOL_PATH, *dir_));
        const ToolRun r = Run({"make-video", "--out", Video(), "--size", "320x240", "--seconds",
                               "2", "--fps", "25", "--no-audio"});
        made_ = r.exitCode == 0;
        if (!made_) std::fprintf(stderr, "make-video failed: %s\n", r.err.c_str());
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(*dir_, ec);
        delete dir_;
        dir_ = nullptr;
        delete tool_;
        tool_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(made_); }

    static fs::path Video() { return *dir_ / "clip.mp4"; }
    static fs::path Path(const std::string& name) { return *dir_ / name; }
    // Runs hvtool as a user does; its stderr is what the tests read.
    static ToolRun Run(const std::vector<std::string>& args) {
        return hvtest::RunProcess(*tool_, args);
    }

    // The frame number coded into the picture loaded for `choice`; -1 on failure.
    static int32_t NumberOf(const hvtool::FrameChoice& choice) {
        return NumberIn(Video(), choice, 320, 240);
    }
    static int32_t NumberIn(const fs::path& video, const hvtool::FrameChoice& choice, int32_t w,
                            int32_t h) {
        hv::FrameBuffer fb;
        std::string error;
        if (!hvtool::LoadInputFrame(video.string(), choice, fb, &error)) {
            ADD_FAILURE() << error;
            return -1;
        }
        EXPECT_EQ(fb.width, w);
        EXPECT_EQ(fb.height, h);
        for (int32_t x = 0; x < fb.width; ++x) EXPECT_EQ(fb.pixels[fb.pixels.size() - 1 - x], 0u);
        return hv::ReadFrameNumber(fb.data(), fb.width, fb.height);
    }

    static inline fs::path* dir_ = nullptr;
    static inline std::string* tool_ = nullptr;
    static inline bool made_ = false;
};

hvtool::FrameChoice ByFrame(int64_t n) {
    hvtool::FrameChoice c;
    c.by = hvtool::FrameChoice::By::Frame;
    c.frame = n;
    return c;
}

hvtool::FrameChoice ByTime(double s) {
    hvtool::FrameChoice c;
    c.by = hvtool::FrameChoice::By::Time;
    c.seconds = s;
    return c;
}

TEST_F(FrameInput, PicksTheFrameByNumberOrTime) {
    EXPECT_EQ(NumberOf({}), 0);  // neither option: the first frame
    EXPECT_EQ(NumberOf(ByFrame(0)), 0);
    EXPECT_EQ(NumberOf(ByFrame(10)), 10);
    EXPECT_EQ(NumberOf(ByFrame(49)), 49);  // the last one
    // A time inside frame 10's 40 ms, and exactly on its start.
    EXPECT_EQ(NumberOf(ByTime(0.42)), 10);
    EXPECT_EQ(NumberOf(ByTime(0.4)), 10);
    EXPECT_EQ(NumberOf(ByTime(1.999)), 49);
}

// --frame N is the N-th decoded picture counted from 0 whatever the frame
// rate's rounding and the container's timestamps: a rate whose frame length
// is no whole number of 100 ns units, MPEG-2 with B-frames (pictures stored
// out of display order), and a transport stream that starts late. Frame 40
// is sought rather than read through (MPEG program streams seek by an
// estimate, so the B-frame clip stays with the frames read through).
TEST_F(FrameInput, FrameNumbersCountDecodedPictures) {
    struct Clip {
        const char* name;
        const char* fps;
        bool sought;
    };
    for (const Clip& c :
         {Clip{"ntsc.mp4", "30000/1001", true}, Clip{"bframes.mpg", "25", false},
          Clip{"late.ts", "30000/1001", true}, Clip{"film.mkv", "24000/1001", true}}) {
        SCOPED_TRACE(c.name);
        const fs::path video = Path(c.name);
        const ToolRun made = Run({"make-video", "--out", video, "--size", "160x128", "--frames",
                                  "48", "--fps", c.fps, "--no-audio"});
        ASSERT_EQ(made.exitCode, 0) << made.err;
        for (int64_t n : {0, 1, 2, 5, 20}) EXPECT_EQ(NumberIn(video, ByFrame(n), 160, 128), n);
        if (c.sought) {
            EXPECT_EQ(NumberIn(video, ByFrame(40), 160, 128), 40);
        }
    }
}

TEST_F(FrameInput, RefusesWhatIsNotThere) {
    hv::FrameBuffer fb;
    std::string error;
    EXPECT_FALSE(hvtool::LoadInputFrame(Video().string(), ByFrame(50), fb, &error));
    EXPECT_NE(error.find("frame 50 is past the end"), std::string::npos) << error;
    EXPECT_NE(error.find("50 frames (0..49)"), std::string::npos) << error;
    EXPECT_FALSE(hvtool::LoadInputFrame(Video().string(), ByFrame(INT64_MAX), fb, &error));
    EXPECT_NE(error.find("past the end"), std::string::npos) << error;
    EXPECT_FALSE(hvtool::LoadInputFrame(Video().string(), ByTime(2.0), fb, &error));
    EXPECT_NE(error.find("past the end"), std::string::npos) << error;
    EXPECT_FALSE(hvtool::LoadInputFrame(Video().string(), ByTime(1e300), fb, &error));
    EXPECT_TRUE(fb.pixels.empty());

    // The player's fixed texts for a file that is not there and for one
    // that is no video.
    EXPECT_FALSE(hvtool::LoadInputFrame(Path("missing.mp4").string(), {}, fb, &error));
    EXPECT_EQ(error, "Error: AddSourceFilte Error");
    {
        std::ofstream f(Path("text.mp4"), std::ios::binary);
        for (int i = 0; i < 200; ++i) f << "no video in here, line " << i << "\n";
    }
    EXPECT_FALSE(hvtool::LoadInputFrame(Path("text.mp4").string(), {}, fb, &error));
    EXPECT_EQ(error, "Error: Unsupported media type!");
    EXPECT_TRUE(fb.pixels.empty());
}

TEST_F(FrameInput, ParsesFrameAndTimeOptions) {
    const auto parse = [](std::vector<std::string> words, hvtool::FrameChoice& c,
                          std::string& error) {
        std::vector<char*> argv;
        for (auto& w : words) argv.push_back(w.data());
        hvtool::FrameOption last = hvtool::FrameOption::NotMine;
        for (int i = 0; i < static_cast<int>(argv.size()); ++i) {
            last =
                hvtool::ParseFrameOption(static_cast<int>(argv.size()), argv.data(), i, c, &error);
            if (last == hvtool::FrameOption::Bad) break;
        }
        return last;
    };
    hvtool::FrameChoice c;
    std::string error;
    EXPECT_EQ(parse({"--frame", "12"}, c, error), hvtool::FrameOption::Taken);
    EXPECT_EQ(c.by, hvtool::FrameChoice::By::Frame);
    EXPECT_EQ(c.frame, 12);
    c = {};
    EXPECT_EQ(parse({"--time", "0.75"}, c, error), hvtool::FrameOption::Taken);
    EXPECT_EQ(c.by, hvtool::FrameChoice::By::Time);
    EXPECT_DOUBLE_EQ(c.seconds, 0.75);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--frame", "-1"},
                                                {"--frame", "1.5"},
                                                {"--frame", ""},
                                                {"--frame", "99999999999999999999"},
                                                {"--frame"},
                                                {"--time", "-0.1"},
                                                {"--time", "nan"},
                                                {"--time", "inf"},
                                                {"--time", "1s"},
                                                {"--frame", "1", "--time", "1"}}) {
        c = {};
        error.clear();
        EXPECT_EQ(parse(bad, c, error), hvtool::FrameOption::Bad) << bad[0];
        EXPECT_FALSE(error.empty());
    }
    // make-video's --fps: either form at most 240 frames per second.
    int32_t num = 0, den = 0;
    EXPECT_TRUE(hvtool::ParseFrameRate("30000/1001", num, den));
    EXPECT_EQ(num, 30000);
    EXPECT_EQ(den, 1001);
    EXPECT_TRUE(hvtool::ParseFrameRate("240/1", num, den));
    EXPECT_FALSE(hvtool::ParseFrameRate("1000000/1", num, den));
    EXPECT_FALSE(hvtool::ParseFrameRate("241", num, den));
}

TEST_F(FrameInput, UnwrapAndViewTakeAVideo) {
    ToolRun r = Run({"unwrap", Video(), "--frame", "10", "--out", Path("p.png")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = Run({"unwrap", Video(), "--time", "0.42", "--out", Path("t.png")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = Run({"unwrap", Video(), "--frame", "11", "--out", Path("n.png")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const QImage byFrame(QString::fromStdString(Path("p.png").string()));
    const QImage byTime(QString::fromStdString(Path("t.png").string()));
    const QImage next(QString::fromStdString(Path("n.png").string()));
    ASSERT_FALSE(byFrame.isNull());
    EXPECT_EQ(byFrame, byTime);
    EXPECT_NE(byFrame, next);  // the scene's marker moves from frame to frame
    // The first two frames are two pictures.
    r = Run({"unwrap", Video(), "--frame", "0", "--out", Path("f0.png")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = Run({"unwrap", Video(), "--frame", "1", "--out", Path("f1.png")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(QImage(QString::fromStdString(Path("f0.png").string())),
              QImage(QString::fromStdString(Path("f1.png").string())));

    r = Run({"view", Video(), "--frame", "5", "--out", Path("v.png")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const QImage view(QString::fromStdString(Path("v.png").string()));
    ASSERT_FALSE(view.isNull());
    const hv::ViewSetupResult setup = hv::InitViewEngine(byFrame.width(), byFrame.height());
    ASSERT_TRUE(setup.ok) << setup.error;
    EXPECT_EQ(view.width(), setup.setup->Wout);
    EXPECT_EQ(view.height(), setup.setup->Hout);
}

// Without --config the tool takes what the player would take on opening the
// video: its CamSetup.xml when there is one, else the fallback geometry.
TEST_F(FrameInput, InfoUsesThePlayersGeometry) {
    // 640 x 480: the start-up and the fallback geometry give different
    // panoramas there (380 x 114 against 380 x 116).
    const fs::path video = Path("info.mp4");
    ToolRun made =
        Run({"make-video", "--out", video, "--size", "640x480", "--frames", "3", "--no-audio"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    auto panorama = [](const hv::DoughnutGeometry& g) {
        const hv::RingGeometryResult ring = hv::BuildRingGeometry(g, 640, 480);
        return "Doghnut frame: " + std::to_string(ring.ring.Ws()) + "x" +
               std::to_string(ring.ring.Hs());
    };
    ASSERT_NE(panorama(hv::kFallbackGeometry), panorama(hv::kStartupGeometry));

    ToolRun r = Run({"info", video});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(panorama(hv::kFallbackGeometry)), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(Path("CamSetup.xml"))) << "looking must not create the file";

    hv::SetupConfigState saved = hv::SetupStartupDefaults("/v");
    saved.geometry = {100, 60, 300, 290, 20, 0, 0};
    ASSERT_TRUE(hv::WriteConfiguration(Path("CamSetup.xml"), saved).ok);
    r = Run({"info", video});
    fs::remove(Path("CamSetup.xml"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(panorama(saved.geometry)), std::string::npos) << r.out;
}

TEST_F(FrameInput, UnwrapAndViewFailCleanly) {
    ToolRun r = Run({"unwrap", Path("missing.mp4"), "--out", Path("m.png")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "hvtool unwrap: Error: AddSourceFilte Error\n");
    EXPECT_FALSE(fs::exists(Path("m.png")));

    r = Run({"unwrap", Video(), "--frame", "60", "--out", Path("m.png")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("frame 60 is past the end"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(Path("m.png")));

    r = Run({"view", Video(), "--time", "5", "--out", Path("m.png")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("past the end"), std::string::npos) << r.err;

    r = Run({"view", Video(), "--frame", "-3", "--out", Path("m.png")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--frame takes a frame number"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(Path("m.png")));

    // A still picture has no frames to choose.
    ASSERT_EQ(Run({"make-sample", "--out", Path("s.png")}).exitCode, 0);
    r = Run({"unwrap", Path("s.png"), "--frame", "1", "--out", Path("m.png")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("still picture"), std::string::npos) << r.err;
    EXPECT_EQ(Run({"unwrap", Path("s.png"), "--out", Path("m.png")}).exitCode, 0);
}

// A video damaged half way through (pictures 25..49 unreadable): a frame
// before the damage loads, one past it fails with a clear message and exit
// code 1 instead of waiting out the picture bound; info, which reads no
// further than the first picture, still works.
TEST_F(FrameInput, ADamagedVideoFailsCleanlyPastTheDamage) {
    const fs::path damaged = Path("damaged.mp4");
    fs::copy_file(Video(), damaged, fs::copy_options::overwrite_existing);
    ASSERT_EQ(hvtest::DamageMp4FromHalfway(damaged.string()), "");

    ToolRun r = Run({"unwrap", damaged, "--frame", "10", "--out", Path("d10.png")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = Run({"view", damaged, "--frame", "40", "--out", Path("d40.png")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.timedOut);
    EXPECT_NE(r.err.find("hvtool view: " + damaged.string() + ": the video is damaged"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(Path("d40.png")));
    EXPECT_EQ(Run({"info", damaged}).exitCode, 0);
}

}  // namespace

namespace {

// The number after `key ` at the start of a line of hvtool bench's output;
// NaN when there is no such line.
double BenchValue(const std::string& out, const std::string& key) {
    size_t at = 0;
    while ((at = out.find(key + " ", at)) != std::string::npos) {
        if (at == 0 || out[at - 1] == '\n')
            return std::strtod(out.c_str() + at + key.size(), nullptr);
        at += key.size();
    }
    return std::nan("");
}

}  // namespace

TEST_F(FrameInput, BenchPrintsConsistentNumbers) {
    const ToolRun all = Run({"bench", Video().string(), "--quality", "draft"});
    ASSERT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(BenchValue(all.out, "frames"), 50);
    EXPECT_EQ(BenchValue(all.out, "rendered"), 50);
    EXPECT_EQ(BenchValue(all.out, "from the decoder's planes"), 50);
    const double cpu = BenchValue(all.out, "cpu seconds");
    const double perFrame = BenchValue(all.out, "cpu ms per frame");
    const double wall = BenchValue(all.out, "wall seconds");
    ASSERT_GT(cpu, 0);
    ASSERT_GT(wall, 0);
    // Printed to 3 decimals: per frame is the total over the frames.
    EXPECT_NEAR(perFrame, cpu * 1000 / 50, 0.05);
    const double source = BenchValue(all.out, "source ms per frame");
    const double unwrap = BenchValue(all.out, "unwrap ms per frame");
    const double render = BenchValue(all.out, "render ms per frame");
    EXPECT_GE(source, 0);
    EXPECT_GE(unwrap, 0);
    EXPECT_GE(render, 0);
    EXPECT_LE(source + unwrap + render, perFrame + 0.01);
    EXPECT_NEAR(BenchValue(all.out, "source + unwrap ms per frame"), source + unwrap, 0.01);

    const ToolRun some = Run({"bench", Video().string(), "--frames", "10"});
    ASSERT_EQ(some.exitCode, 0) << some.err;
    EXPECT_EQ(BenchValue(some.out, "frames"), 10);

    EXPECT_EQ(Run({"bench", Video().string(), "--frames", "0"}).exitCode, 2);
    EXPECT_EQ(Run({"bench", Video().string(), "--quality", "best"}).exitCode, 2);
    EXPECT_EQ(Run({"bench", Video().string(), "--view", "wide"}).exitCode, 2);
    EXPECT_EQ(Run({"bench", Video().string(), "--view", "7x5"}).exitCode, 1);
    EXPECT_EQ(Run({"bench", Path("missing.mp4").string()}).exitCode, 1);
}
