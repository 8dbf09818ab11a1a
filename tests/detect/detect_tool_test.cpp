// hvtool detect as a user runs it: on H.264 videos made by hvtool make-video
// (a ring the player's mapping places, coded at the test maker's bitrate),
// on a still picture without a ring and on bad input; exit codes 0, 3, 2 and
// the configuration file it writes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QColor>
#include <QImage>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "process_runner.h"
#include "unwrap/ring_geometry.h"

namespace {

namespace fs = std::filesystem;

using ToolRun = hvtest::ProcessResult;

// name=value lines of hvtool's output.
std::map<std::string, std::string> Values(const std::string& out) {
    std::map<std::string, std::string> v;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos) v[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return v;
}

double Number(const std::map<std::string, std::string>& v, const std::string& key) {
    const auto it = v.find(key);
    if (it == v.end()) {
        ADD_FAILURE() << "no " << key << " printed";
        return NAN;
    }
    return std::stod(it->second);
}

struct VideoCase {
    const char* file;
    const char* size;
    int32_t w, h;
    hv::DoughnutGeometry geometry;
};

// Off-centre in a 720p frame; and in a 1080p frame a ring taller than the
// picture, cut at the top and the bottom as many lenses on a 16:9 sensor are.
const VideoCase kVideos[] = {
    {"offcentre.mp4", "1280x720", 1280, 720, {130, 90, 380, 400, 40, 0, 0}},
    {"cut.mp4", "1920x1080", 1920, 1080, {120, -40, 360, 680, 70, 0, 0}},
};

class DetectTool : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new fs::path(fs::temp_directory_path() /
                            ("hv_detect_tool_" + std::to_string(::getpid())));
        fs::create_directories(*dir_);
        made_ = true;
        for (const VideoCase& v : kVideos) {
            // Through a configuration file: --geometry takes no negative value.
            hv::SetupConfigState config;
            config.geometry = v.geometry;
            const fs::path file = Path(std::string(v.file) + ".xml");
            const ToolRun r =
                hv::WriteConfiguration(file, config).ok
                    ? Run({"make-video", "--out", Path(v.file).string(), "--size", v.size,
                           "--seconds", "1", "--no-audio", "--config", file.string()})
                    : ToolRun{};
            if (r.exitCode != 0) {
                std::fprintf(stderr, "make-video failed: %s\n", r.err.c_str());
                made_ = false;
            }
        }
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(*dir_, ec);
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(made_); }

    static fs::path Path(const std::string& name) { return *dir_ / name; }
    static ToolRun Run(const std::vector<std::string>& args) {
        return hvtest::RunProcess(HVTOOL_PATH, args);
    }

    static inline fs::path* dir_ = nullptr;
    static inline bool made_ = false;
};

// Exit 0, the ring where the player's mapping put it (the test maker draws
// the scene around its integer centre with radius D / 2), and the printed
// values map back onto it.
TEST_F(DetectTool, FindsTheRingOfCompressedVideos) {
    for (const VideoCase& v : kVideos) {
        SCOPED_TRACE(v.file);
        const ToolRun r = Run({"detect", Path(v.file).string(), "--frames", "8"});
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        const auto values = Values(r.out);
        EXPECT_EQ(values.at("status"), "found");
        const hv::RingGeometryResult truth = hv::BuildRingGeometry(v.geometry, v.w, v.h);
        ASSERT_TRUE(truth.ok);
        std::printf("%s: centre %.3f px, outer %.3f px, inner %.3f px off\n", v.file,
                    std::hypot(Number(values, "centre_x") - truth.ring.cx,
                               Number(values, "centre_y") - truth.ring.cy),
                    std::fabs(Number(values, "outer_radius") - truth.ring.D / 2.0),
                    std::fabs(Number(values, "inner_radius") - truth.ring.inner));
        EXPECT_NEAR(Number(values, "centre_x"), truth.ring.cx, 1.5);
        EXPECT_NEAR(Number(values, "centre_y"), truth.ring.cy, 1.5);
        EXPECT_NEAR(Number(values, "outer_radius"), truth.ring.D / 2.0, 3.0);
        EXPECT_NEAR(Number(values, "inner_radius"), truth.ring.inner, 3.0);

        hv::DoughnutGeometry found;
        found.left = static_cast<int32_t>(Number(values, "X1_1"));
        found.top = static_cast<int32_t>(Number(values, "Y1_1"));
        found.width = static_cast<int32_t>(Number(values, "X2_1"));
        found.height = static_cast<int32_t>(Number(values, "Y2_1"));
        found.innerRadius = static_cast<int32_t>(Number(values, "RSIZE_1"));
        const hv::RingGeometryResult mapped = hv::BuildRingGeometry(found, v.w, v.h);
        ASSERT_TRUE(mapped.ok) << mapped.error;
        EXPECT_LE(std::abs(mapped.ring.cx - truth.ring.cx), 2);
        EXPECT_LE(std::abs(mapped.ring.cy - truth.ring.cy), 2);
        EXPECT_LE(std::abs(mapped.ring.D - truth.ring.D), 4);
        EXPECT_LE(std::abs(mapped.ring.inner - truth.ring.inner), 4);
    }
}

// --out changes only the five values of an existing file.
TEST_F(DetectTool, WritesTheGeometryAndKeepsTheFilesOtherSettings) {
    const fs::path file = Path("CamSetup.xml");
    hv::SetupConfigState before;
    before.geometry = {10, 20, 30, 40, 5, 1, 1};
    before.settings.lastFolder = "/videos/lens";
    before.settings.shiftRect = 77;
    before.settings.mainX = 12;
    ASSERT_TRUE(hv::WriteConfiguration(file, before).ok);

    const ToolRun r =
        Run({"detect", Path(kVideos[0].file).string(), "--frames", "4", "--out", file.string()});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const auto values = Values(r.out);
    hv::SetupConfigState after;
    ASSERT_EQ(hv::ReadConfiguration(file, after), hv::ReadOutcome::FromFile);
    EXPECT_EQ(after.geometry.left, Number(values, "X1_1"));
    EXPECT_EQ(after.geometry.top, Number(values, "Y1_1"));
    EXPECT_EQ(after.geometry.width, Number(values, "X2_1"));
    EXPECT_EQ(after.geometry.height, Number(values, "Y2_1"));
    EXPECT_EQ(after.geometry.innerRadius, Number(values, "RSIZE_1"));
    EXPECT_EQ(after.geometry.flipH, 1);
    EXPECT_EQ(after.geometry.flipV, 1);
    EXPECT_EQ(after.settings, before.settings);
}

// A picture without a ring: exit 3, the doubt said, no file written. Bad
// input and options: exit 2 with a message.
TEST_F(DetectTool, DoubtAndErrorsHaveTheirOwnExitCodes) {
    QImage plain(640, 480, QImage::Format_RGB32);
    for (int y = 0; y < plain.height(); ++y) {
        for (int x = 0; x < plain.width(); ++x) {
            plain.setPixel(x, y, qRgb(60 + x / 5, 90 + y / 6, 120 + ((x * 7 + y * 13) % 40)));
        }
    }
    const fs::path picture = Path("plain.png");
    ASSERT_TRUE(plain.save(QString::fromStdString(picture.string())));
    const fs::path out = Path("never.xml");
    const ToolRun doubt = Run({"detect", picture.string(), "--out", out.string()});
    EXPECT_EQ(doubt.exitCode, 3) << doubt.out << doubt.err;
    EXPECT_EQ(Values(doubt.out)["status"], "low confidence");
    EXPECT_NE(doubt.err.find("not written"), std::string::npos) << doubt.err;
    EXPECT_FALSE(fs::exists(out));

    const std::vector<std::vector<std::string>> bad = {
        {"detect", Path("missing.mp4").string()},      {"detect"},
        {"detect", picture.string(), "--frames", "0"}, {"detect", picture.string(), "--frames"},
        {"detect", picture.string(), "--bogus"},
    };
    for (const auto& args : bad) {
        SCOPED_TRACE(args.size() > 1 ? args[1] : "no input");
        const ToolRun r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
        EXPECT_FALSE(r.err.empty());
    }
}

}  // namespace
