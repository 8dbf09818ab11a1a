// hvtool view, run as its own process on a sample picture it unwraps itself;
// its PNG must equal the engine's own render of the same panorama.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "process_runner.h"
#include "unwrap/render_view.h"

namespace {

namespace fs = std::filesystem;

// Runs hvtool and gives its exit status; what it prints is not looked at.
// hvtool runs from a folder of its own, so that the player's CamSetup.xml it
// reads without --config is a known one (the start-up geometry).
int Hvtool(const std::vector<std::string>& args) {
    static const hvtest::ProgramFolder folder(HVTOOL_PATH, hvtest::kStartupCamSetup);
    return hvtest::RunProcess(folder.Program(), args).exitCode;
}

// The words of a case's options, which hold no quotes or spaces of their own.
std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

struct TempFolder {
    fs::path path;
    TempFolder() {
        path = fs::temp_directory_path() /
               ("hv-view-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

// A top-down PNG as bottom-up BGRX rows.
std::vector<uint32_t> BottomUp(const QImage& picture) {
    const QImage img = picture.convertToFormat(QImage::Format_RGB32);
    std::vector<uint32_t> px(static_cast<size_t>(img.width()) * img.height());
    for (int r = 0; r < img.height(); ++r) {
        const auto* line =
            reinterpret_cast<const uint32_t*>(img.constScanLine(img.height() - 1 - r));
        for (int c = 0; c < img.width(); ++c)
            px[static_cast<size_t>(r) * img.width() + c] = line[c] | 0xFF000000u;
    }
    return px;
}

TEST(HvtoolView, MatchesTheEngineRender) {
    TempFolder dir;
    ASSERT_EQ(Hvtool({"make-sample", "--out", dir / "sample.png"}), 0);
    ASSERT_EQ(Hvtool({"unwrap", dir / "sample.png", "--out", dir / "pano.png"}), 0);
    const QImage pano(QString::fromStdString(dir / "pano.png"));
    ASSERT_FALSE(pano.isNull());
    std::vector<uint32_t> source = BottomUp(pano);
    for (auto& p : source) p &= 0x00FFFFFFu;  // the unwrap copies BGRX with a zero fourth byte
    const int32_t Ws = pano.width(), Hs = pano.height();
    const hv::ViewSetupResult setup = hv::InitViewEngine(Ws, Hs);
    ASSERT_TRUE(setup.ok) << setup.error;
    const hv::ViewSource src{source.data(), Ws, Hs, Hs};

    struct Case {
        std::string args;
        float pan, tilt, fov;
        hv::RenderOptions options;
    };
    const hv::ViewState start = setup.start;
    const Case cases[] = {
        {"", start.pan, start.tilt, start.fov, {}},
        {"--pan 33.5 --tilt -12 --fov 70 --quality draft",
         33.5f,
         -12,
         70,
         {hv::QualityMode::Draft}},
        {"--pan 170 --tilt 8 --fov 45 --quality high --soften --grayscale",
         170,
         8,
         45,
         {hv::QualityMode::High, true, true}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"view", dir / "sample.png"};
        for (const std::string& w : Words(c.args)) args.push_back(w);
        args.insert(args.end(), {"--out", dir / "view.png"});
        ASSERT_EQ(Hvtool(args), 0) << c.args;
        const QImage got(QString::fromStdString(dir / "view.png"));
        ASSERT_EQ(got.width(), setup.setup->Wout);
        ASSERT_EQ(got.height(), setup.setup->Hout);
        hv::ViewState v = start;
        v.pan = c.pan;
        v.tilt = c.tilt;
        v.fov = c.fov;
        hv::ViewRenderer renderer(setup.setup);
        hv::ViewBuffer buffer;
        ASSERT_TRUE(renderer.Render(src, v, false, c.options, buffer));
        std::vector<uint32_t> expect(buffer.data(), buffer.data() + setup.setup->pixelCount);
        for (auto& p : expect) p |= 0xFF000000u;
        EXPECT_TRUE(BottomUp(got) == expect) << c.args;
    }

    // --size: the same starting view at any size, split over threads, equal
    // to the one-thread scalar reference of a setup built for that size.
    for (const auto [w, h] : {std::pair{1283, 721}, std::pair{7, 3}}) {
        const std::string size = std::to_string(w) + "x" + std::to_string(h);
        ASSERT_EQ(Hvtool({"view", dir / "sample.png", "--size", size, "--out", dir / "big.png"}), 0)
            << size;
        const QImage got(QString::fromStdString(dir / "big.png"));
        ASSERT_EQ(got.width(), w);
        ASSERT_EQ(got.height(), h);
        const hv::ViewSetupResult sized = hv::InitViewEngine(Ws, Hs, w, h);
        ASSERT_TRUE(sized.ok) << sized.error;
        hv::ViewBuffer buffer;
        buffer.Prepare(w, h);
        ASSERT_TRUE(hv::RenderHighScalar(*sized.setup, hv::ViewMatrix(*sized.setup, start), src,
                                         buffer.data()));
        std::vector<uint32_t> expect(buffer.data(), buffer.data() + sized.setup->pixelCount);
        for (auto& p : expect) p |= 0xFF000000u;
        EXPECT_TRUE(BottomUp(got) == expect) << size;
    }
}

TEST(HvtoolView, RefusesBadOptions) {
    TempFolder dir;
    ASSERT_EQ(Hvtool({"make-sample", "--out", dir / "sample.png"}), 0);
    const std::string in = dir / "sample.png", out = dir / "v.png";
    EXPECT_NE(Hvtool({"view", in, "--fov", "0", "--out", out}), 0);
    EXPECT_NE(Hvtool({"view", in, "--fov", "400", "--out", out}), 0);
    EXPECT_NE(Hvtool({"view", in, "--tilt", "91", "--out", out}), 0);
    EXPECT_NE(Hvtool({"view", in, "--pan", "abc", "--out", out}), 0);
    EXPECT_NE(Hvtool({"view", in, "--pan", "nan", "--out", out}), 0);
    EXPECT_NE(Hvtool({"view", in, "--quality", "best", "--out", out}), 0);
    EXPECT_NE(Hvtool({"view", in, "--size", "0x100", "--out", out}), 0);
    EXPECT_NE(Hvtool({"view", in, "--size", "3841x100", "--out", out}), 0);
    EXPECT_NE(Hvtool({"view", in, "--size", "640", "--out", out}), 0);
    EXPECT_NE(Hvtool({"view", in, "--size", "640x-4", "--out", out}), 0);
    EXPECT_NE(Hvtool({"view", in}), 0) << "--out is required";
    EXPECT_NE(Hvtool({"view", dir / "missing.png", "--out", out}), 0);
    EXPECT_FALSE(fs::exists(dir / "v.png"));
}

}  // namespace
