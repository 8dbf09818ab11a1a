// hvtool geometry, make-sample and unwrap as a user runs them.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "process_runner.h"
#include "tool/sample_picture.h"
#include "unwrap/ring_geometry.h"

namespace {

namespace fs = std::filesystem;

using ToolRun = hvtest::ProcessResult;

// hvtool in a folder of its own whose CamSetup.xml (the player's file, which
// hvtool reads without --config) holds the start-up geometry the sample
// picture is drawn for, whatever was saved beside the build's programs.
const std::string& ToolPath() {
    static const hvtest::ProgramFolder folder(HVTOOL_PATH, hvtest::kStartupCamSetup);
    return folder.Program();
}

// Runs hvtool; `out` holds what it printed to stdout and stderr, in order.
ToolRun Tool(const std::vector<std::string>& args) {
    hvtest::ProcessOptions options;
    options.mergeStderr = true;
    return hvtest::RunProcess(ToolPath(), args, options);
}

class UnwrapTool : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() /
            ("hv_unwrap_tool_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const char* name) const { return (dir_ / name).string(); }
    fs::path dir_;
};

TEST_F(UnwrapTool, GeometryPrintsTheWorkedExample) {
    {
        std::ofstream f(Path("CamSetup.xml"), std::ios::binary);
        f << "<X1_1>115</X1_1>\r\n<Y1_1>35</Y1_1>\r\n<X2_1>390</X2_1>\r\n<Y2_1>380</Y2_1>\r\n"
             "<RSIZE_1>35</RSIZE_1>\r\n<FLIP_1>0</FLIP_1>\r\n<FLIP_V>0</FLIP_V>\r\n<OPATH></"
             "OPATH>\r\n";
    }
    const ToolRun r = Tool({"geometry", "--frame", "640x480", "--config", Path("CamSetup.xml")});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out,
              "frameW=640\nframeH=480\nsx=1.066667\nsy=0.800000\nleft=123\ntop=28\ninner=36\n"
              "cutW=416\nD=304\ncx=331\ncy=180\nHp=152\nstep=0.016447\nWp=380\nhalfW=190\n"
              "halfH=76\norigin=-114\nWs=380\nHs=116\n");
}

TEST_F(UnwrapTool, GeometryDefaultsAndSetupMapping) {
    ToolRun r = Tool({"geometry", "--frame", "640x480"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("left=118\ntop=89\ninner=38\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Wp=380\n"), std::string::npos) << r.out;
    r = Tool({"geometry", "--frame", "640x480", "--setup"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("D=293\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Wp=368\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("origin=-111\n"), std::string::npos) << r.out;

    // The seam rotation turns only the setup utility's preview.
    {
        std::ofstream f(Path("CamSetup.xml"), std::ios::binary);
        f << "<OPATH>/tmp</OPATH><SHIFTERECT>100</SHIFTERECT><X1_1>111</X1_1><Y1_1>111</Y1_1>"
             "<X2_1>390</X2_1><Y2_1>380</Y2_1><RSIZE_1>36</RSIZE_1><FLIP_1>1</FLIP_1>"
             "<FLIP_V>0</FLIP_V>";
    }
    r = Tool({"geometry", "--frame", "640x480", "--setup", "--config", Path("CamSetup.xml")});
    EXPECT_NE(r.out.find("origin=73\n"), std::string::npos) << r.out;
    r = Tool({"geometry", "--frame", "640x480", "--player", "--config", Path("CamSetup.xml")});
    EXPECT_NE(r.out.find("origin=-114\n"), std::string::npos) << r.out;
}

TEST_F(UnwrapTool, BadInputGetsAMessageNotACrash) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"geometry"},
             {"geometry", "--frame", "0x480"},
             {"geometry", "--frame", "640"},
             {"geometry", "--frame", "-640x480"},
             {"geometry", "--frame", "99999999x2"},
             {"geometry", "--frame", "640x480", "--player", "--setup"},
             {"unwrap"},
             {"unwrap", "nothing.png"},
             {"make-sample"},
             {"make-sample", "--size", "3x"}}) {
        const ToolRun r = Tool(args);
        EXPECT_NE(r.exitCode, 0) << ::testing::PrintToString(args);
        EXPECT_FALSE(r.out.empty()) << ::testing::PrintToString(args);
    }
    ToolRun r = Tool({"geometry", "--frame", "640x480", "--config", Path("missing.xml")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.out.find("missing.xml"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(Path("missing.xml")));
    r = Tool({"unwrap", Path("missing.png"), "--out", Path("p.png")});
    EXPECT_NE(r.exitCode, 0);
    {
        std::ofstream f(Path("broken.png"), std::ios::binary);
        f << "\x89PNG\r\n\x1a\nnot really";
    }
    r = Tool({"unwrap", Path("broken.png"), "--out", Path("p.png")});
    EXPECT_NE(r.exitCode, 0) << r.out;
    // A ring whose inner radius swallows the panorama.
    {
        std::ofstream f(Path("inner.xml"), std::ios::binary);
        f << "<X1_1>115<X1_1><Y1_1>35<Y1_1><X2_1>390<X2_1><Y2_1>380<Y2_1><RSIZE_1>500<RSIZE_1>"
             "<FLIP_1>0<FLIP_1><FLIP_V>0<FLIP_V><OPATH>/tmp<OPATH>";
    }
    r = Tool({"geometry", "--frame", "640x480", "--config", Path("inner.xml")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.out.find("inner radius"), std::string::npos) << r.out;
}

TEST_F(UnwrapTool, SamplePictureUnwrapsIntoThePlayersPanorama) {
    ToolRun r = Tool({"make-sample", "--size", "640x480", "--out", Path("sample.png")});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    ASSERT_TRUE(fs::exists(Path("sample.png")));
    for (int flip = 0; flip < 4; ++flip) {
        const std::string out = Path(("pano" + std::to_string(flip) + ".png").c_str());
        r = Tool({"unwrap", Path("sample.png"), "--flip", std::to_string(flip), "--out", out});
        ASSERT_EQ(r.exitCode, 0) << r.out;
        // The tool's CamSetup.xml (start-up geometry) on 640 x 480: Ws 380,
        // Hs 152 - 38.
        EXPECT_NE(r.out.find("380x114 panorama"), std::string::npos) << r.out;
        EXPECT_GT(fs::file_size(out), 1000u);
    }
    r = Tool({"unwrap", Path("sample.png"), "--flip", "4", "--out", Path("x.png")});
    EXPECT_NE(r.exitCode, 0);
}

// Without --config unwrap takes what the player would on opening a video: its
// CamSetup.xml, or the fallback geometry when there is none (never created).
TEST_F(UnwrapTool, WithoutConfigTakesThePlayersGeometry) {
    ASSERT_EQ(Tool({"make-sample", "--size", "640x480", "--out", Path("s.png")}).exitCode, 0);
    const hvtest::ProgramFolder bare(HVTOOL_PATH, "");
    hvtest::ProcessOptions options;
    options.mergeStderr = true;
    const ToolRun r = hvtest::RunProcess(
        bare.Program(), {"unwrap", Path("s.png"), "--out", Path("f.png")}, options);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const hv::RingGeometry fallback = hv::BuildRingGeometry(hv::kFallbackGeometry, 640, 480).ring;
    const std::string size = std::to_string(fallback.Ws()) + "x" + std::to_string(fallback.Hs());
    EXPECT_NE(size, "380x114");
    EXPECT_NE(r.out.find(size + " panorama"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(bare.Folder() / "CamSetup.xml"));
}

// The landmarks of the sample picture land in the columns their azimuths
// give, the sky on top and the ground below; a horizontal flip mirrors them.
TEST_F(UnwrapTool, SampleLandmarksLandWhereTheirAzimuthsSay) {
    ASSERT_EQ(Tool({"make-sample", "--size", "640x480", "--out", Path("s.png")}).exitCode, 0);
    ASSERT_EQ(Tool({"unwrap", Path("s.png"), "--out", Path("p0.png")}).exitCode, 0);
    ASSERT_EQ(Tool({"unwrap", Path("s.png"), "--flip", "1", "--out", Path("p1.png")}).exitCode, 0);
    const QImage p0(QString::fromStdString(Path("p0.png")));
    const QImage p1(QString::fromStdString(Path("p1.png")));
    const hv::RingGeometry ring = hv::BuildRingGeometry(hv::kStartupGeometry, 640, 480).ring;
    ASSERT_EQ(p0.width(), ring.Ws());
    ASSERT_EQ(p0.height(), ring.Hs());
    ASSERT_EQ(p1.size(), p0.size());
    auto rgb = [](const QImage& im, int x, int y) { return uint32_t(im.pixel(x, y)) & 0xffffffu; };
    // Columns turn with the azimuth; those past the last column wrap.
    auto column = [&](double deg) {
        const double seam = double(0.204f) * std::numbers::pi;
        double c = ring.origin + (deg * std::numbers::pi / 180 + seam) / ring.step;
        if (c < 0) c += 2 * std::numbers::pi / ring.step;
        return int(std::lround(c));
    };
    const int bottom = p0.height() - 2;  // just outside the inner circle: ground
    for (const hvtool::SampleLandmark& m : hvtool::kSampleLandmarks) {
        const int c = column(m.azimuthDeg);
        ASSERT_GE(c, 0);
        ASSERT_LT(c, p0.width());
        EXPECT_EQ(rgb(p0, c, bottom), m.colour) << m.azimuthDeg;
        EXPECT_EQ(rgb(p1, p0.width() - 1 - c, bottom), m.colour) << m.azimuthDeg;
    }
    // Sky blue at the top row, away from the landmarks.
    const uint32_t top = rgb(p0, column(105), 0);
    EXPECT_GT(top & 0xff, (top >> 16) & 0xff) << std::hex << top;
    // The north pole: red and white stripes in one column.
    const int north = column(360);
    bool red = false, white = false;
    for (int y = 0; y < p0.height(); ++y) {
        red |= rgb(p0, north, y) == 0xe02020;
        white |= rgb(p0, north, y) == 0xf0f0f0;
    }
    EXPECT_TRUE(red && white);
}

}  // namespace
