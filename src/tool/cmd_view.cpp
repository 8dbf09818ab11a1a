// hvtool view INPUT [--config FILE] [--flip N] [--frame N|--time T] [--pan P]
// [--tilt T] [--fov F] [--quality draft|high] [--soften] [--grayscale]
// [--size WxH] --out VIEW.png: unwraps a still doughnut picture (or one frame of a
// doughnut video) and renders one perspective view of it exactly as
// the player would (same tables, renderer and filters), saved top-down as a
// PNG. View options left out keep the player's starting view; --size renders
// at any size as the player's "Window" view resolution does.
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>

#include "tool/commands.h"
#include "tool/frame_input.h"
#include "tool/image_io.h"
#include "tool/unwrap_options.h"
#include "unwrap/render_view.h"
#include "unwrap/unwrap_engine.h"
#include "unwrap/view_setup.h"

namespace hvtool {
namespace {

constexpr const char* kUsage =
    "usage: hvtool view INPUT [--config FILE] [--flip N] [--frame N|--time T]\n"
    "                   [--pan P] [--tilt T] [--fov F] [--quality draft|high]\n"
    "                   [--soften] [--grayscale] [--size WxH] --out VIEW.png\n"
    "  INPUT      a PNG or JPEG doughnut picture, or a doughnut video\n"
    "  --frame    the video's frame to show, counted from 0 (default: the first)\n"
    "  --time     the video's picture shown at T seconds (a decimal number)\n"
    "  --config   the CamSetup.xml to read (default: the player's, as it opens a video)\n"
    "  --flip     flip mode 0..3 (none, horizontal, vertical, both; default: the file's)\n"
    "  --pan      azimuth in degrees (default: the starting view, -90)\n"
    "  --tilt     elevation in degrees, -90..90 (default 0)\n"
    "  --fov      horizontal field of view in degrees, 1..150 (default: the starting\n"
    "             view's, 120 reduced to fit the panorama)\n"
    "  --quality  draft (nearest pixel) or high (bilinear; default)\n"
    "  --soften   apply the soften filter\n"
    "  --grayscale apply the grayscale filter\n"
    "  --size     the view's size in pixels, 1x1 .. 3840x2160 (default: the player's\n"
    "             view size for the panorama)\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "hvtool view: %s\n", message.c_str());
    return 1;
}

}  // namespace

int RunView(int argc, char** argv) {
    std::string input, file, out, error;
    FrameChoice choice;
    hv::FlipMode flip = 0;
    bool flipGiven = false;
    bool panGiven = false, tiltGiven = false, fovGiven = false;
    float pan = 0, tilt = 0, fov = 0;
    int32_t width = 0, height = 0;  // 0: the player's view size
    hv::RenderOptions options;      // High, no filters: the player's start-up settings
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if ((arg == "--config" || arg == "--out") && hasValue) {
            (arg == "--config" ? file : out) = argv[++i];
        } else if (arg == "--flip" && hasValue) {
            if (!ParseFlipMode(argv[++i], flip)) {
                std::fprintf(stderr, "hvtool view: --flip takes 0, 1, 2 or 3\n");
                return Usage();
            }
            flipGiven = true;
        } else if ((arg == "--pan" || arg == "--tilt" || arg == "--fov") && hasValue) {
            float& value = arg == "--pan" ? pan : arg == "--tilt" ? tilt : fov;
            (arg == "--pan" ? panGiven : arg == "--tilt" ? tiltGiven : fovGiven) = true;
            if (!ParseDegrees(argv[++i], value)) {
                std::fprintf(stderr, "hvtool view: %s takes a number of degrees, not '%s'\n",
                             argv[i - 1], argv[i]);
                return Usage();
            }
        } else if (arg == "--size" && hasValue) {
            if (!ParseSize(argv[++i], width, height)) {
                std::fprintf(stderr, "hvtool view: --size takes WxH, such as 1920x1080\n");
                return Usage();
            }
        } else if (arg == "--quality" && hasValue) {
            if (!ParseQuality(argv[++i], options.quality)) {
                std::fprintf(stderr, "hvtool view: --quality takes draft or high\n");
                return Usage();
            }
        } else if (const FrameOption o = ParseFrameOption(argc, argv, i, choice, &error);
                   o != FrameOption::NotMine) {
            if (o == FrameOption::Bad) {
                std::fprintf(stderr, "hvtool view: %s\n", error.c_str());
                return Usage();
            }
        } else if (arg == "--soften") {
            options.soften = true;
        } else if (arg == "--grayscale") {
            options.grayscale = true;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!arg.empty() && arg[0] != '-' && input.empty()) {
            input = std::string(arg);
        } else {
            std::fprintf(stderr, "hvtool view: unexpected argument '%s'\n", argv[i]);
            return Usage();
        }
    }
    if (input.empty() || out.empty()) return Usage();
    if (tiltGiven && (tilt < -90 || tilt > 90)) return Fail("--tilt must lie within -90..90");
    if (fovGiven && (fov < 1 || fov > 150)) return Fail("--fov must lie within 1..150");
    if (panGiven && std::fabs(pan) > 1e6f) return Fail("--pan is out of range");

    hv::PlayerConfigState state;
    if (!LoadPlayerVideoState(file, state, &error)) return Fail(error);
    hv::FrameBuffer frame;
    if (!LoadInputFrame(input, choice, frame, &error)) return Fail(error);
    hv::UnwrapEngine engine;
    if (!UnwrapStill(frame, state.geometry, flipGiven ? flip : state.flipMode, engine, &error))
        return Fail(error);
    const hv::PanoramaView panorama = engine.AcquireReady();
    if (!panorama) return Fail("no panorama was produced");

    // The starting view is the player's, whatever the size: its "Window"
    // resolution keeps the navigation of the view size it derives.
    const hv::ViewSetupResult derived = hv::InitViewEngine(panorama.Ws(), panorama.Hs());
    if (!derived.ok) return Fail(derived.error);
    const hv::ViewSetupResult setup =
        width > 0 ? hv::InitViewEngine(panorama.Ws(), panorama.Hs(), width, height) : derived;
    if (!setup.ok) return Fail(setup.error);
    hv::ViewState view = derived.start;
    if (panGiven) view.pan = pan;
    if (tiltGiven) view.tilt = tilt;
    if (fovGiven) view.fov = fov;

    const hv::RingGeometry& ring = panorama.Geometry();
    const int32_t sourceRow = ring.ViewSourceRow(panorama.Mode());
    const hv::ViewSource source{panorama.ViewSource(), panorama.Ws(), panorama.Hs(),
                                ring.Hp + hv::kPanoramaSpareRows - sourceRow};
    hv::ViewRenderer renderer(setup.setup);
    renderer.SetThreads(static_cast<int32_t>(std::thread::hardware_concurrency()));
    hv::ViewBuffer buffer;
    if (!renderer.Render(source, view, false, options, buffer)) {
        return Fail("this view cannot be rendered (field of view too wide for the panorama)");
    }
    const hv::ViewSetup& s = *setup.setup;
    if (!SaveBottomUpAsPng(out, buffer.data(), s.Wout, s.Hout, 4 * s.Wout, &error)) {
        return Fail(error);
    }
    std::printf("%s: %dx%d view of a %dx%d panorama, pan %.2f, tilt %.2f, fov %.2f, %s%s%s\n",
                out.c_str(), s.Wout, s.Hout, panorama.Ws(), panorama.Hs(), view.pan, view.tilt,
                view.fov, options.quality == hv::QualityMode::Draft ? "draft" : "high",
                options.soften ? ", soften" : "", options.grayscale ? ", grayscale" : "");
    return 0;
}

}  // namespace hvtool
