// hvtool unwrap INPUT [--config FILE] [--flip N] [--frame N|--time T]
// --out PANO.png: unwraps a still doughnut picture, or one frame of a
// doughnut video, into the panorama the player would show (its view source,
// Ws x Hs), saved top-down as a PNG.
#include <cstdio>
#include <string>
#include <string_view>

#include "tool/commands.h"
#include "tool/frame_input.h"
#include "tool/image_io.h"
#include "tool/unwrap_options.h"
#include "unwrap/unwrap_engine.h"

namespace hvtool {
namespace {

constexpr const char* kUsage =
    "usage: hvtool unwrap INPUT [--config FILE] [--flip N] [--frame N|--time T] --out PANO.png\n"
    "  INPUT    a PNG or JPEG doughnut picture, or a doughnut video\n"
    "  --frame  the video's frame to unwrap, counted from 0 (default: the first)\n"
    "  --time   the video's picture shown at T seconds (a decimal number)\n"
    "  --config the CamSetup.xml to read (default: the player's, as it opens a video)\n"
    "  --flip   flip mode 0..3 (none, horizontal, vertical, both; default: the file's)\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "hvtool unwrap: %s\n", message.c_str());
    return 1;
}

}  // namespace

int RunUnwrap(int argc, char** argv) {
    std::string input, file, out, error;
    FrameChoice choice;
    hv::FlipMode flip = 0;
    bool flipGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if ((arg == "--config" || arg == "--out") && i + 1 < argc) {
            (arg == "--config" ? file : out) = argv[++i];
        } else if (arg == "--flip" && i + 1 < argc) {
            if (!ParseFlipMode(argv[++i], flip)) {
                std::fprintf(stderr, "hvtool unwrap: --flip takes 0, 1, 2 or 3\n");
                return Usage();
            }
            flipGiven = true;
        } else if (const FrameOption o = ParseFrameOption(argc, argv, i, choice, &error);
                   o != FrameOption::NotMine) {
            if (o == FrameOption::Bad) {
                std::fprintf(stderr, "hvtool unwrap: %s\n", error.c_str());
                return Usage();
            }
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!arg.empty() && arg[0] != '-' && input.empty()) {
            input = std::string(arg);
        } else {
            std::fprintf(stderr, "hvtool unwrap: unexpected argument '%s'\n", argv[i]);
            return Usage();
        }
    }
    if (input.empty() || out.empty()) return Usage();

    hv::PlayerConfigState state;
    if (!LoadPlayerVideoState(file, state, &error)) return Fail(error);
    hv::FrameBuffer frame;
    if (!LoadInputFrame(input, choice, frame, &error)) return Fail(error);
    hv::UnwrapEngine engine;
    if (!UnwrapStill(frame, state.geometry, flipGiven ? flip : state.flipMode, engine, &error))
        return Fail(error);
    const hv::PanoramaView view = engine.AcquireReady();
    if (!SaveBottomUpAsPng(out, view.ViewSource(), view.Ws(), view.Hs(), 4 * view.Ws(), &error))
        return Fail(error);
    std::printf("%s: %dx%d panorama\n", out.c_str(), view.Ws(), view.Hs());
    return 0;
}

}  // namespace hvtool
