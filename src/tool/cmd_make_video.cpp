// hvtool make-video --out FILE [--size WxH] [--fps N[/D]] [--seconds S | --frames N]
//                   [--audio|--no-audio] [--config CamSetup.xml | --geometry X1,Y1,X2,Y2,R]
// Writes a synthetic doughnut video (see video/test_video_maker.h); the
// file's extension picks container and codecs.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tool/commands.h"
#include "tool/unwrap_options.h"
#include "video/test_video_maker.h"

namespace hvtool {
namespace {

const char* kUsage =
    "usage: hvtool make-video --out FILE [--size WxH] [--fps N[/D]]\n"
    "                         [--seconds S | --frames N] [--audio|--no-audio]\n"
    "                         [--config CamSetup.xml | --geometry X1,Y1,X2,Y2,R]\n"
    "  FILE's extension picks the format: mp4 m4v mov qt mkv webm ogv ogg avi asf wmv\n"
    "  flv mpg mpeg ts m2ts mts. Defaults: 640x480, 25 fps, 2 seconds, with sound,\n"
    "  the geometry the player would use (its CamSetup.xml, else the fallback).\n"
    "  Codecs that need even sizes get odd sizes padded with one black column / row.\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int RunMakeVideo(int argc, char** argv) {
    hv::TestVideoOptions clip;
    double seconds = 2.0;
    int32_t frames = 0;
    std::string config, geometry;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--out" && hasValue) {
            clip.path = argv[++i];
        } else if (arg == "--size" && hasValue) {
            if (!ParseSize(argv[++i], clip.width, clip.height)) {
                std::fprintf(stderr, "hvtool make-video: bad size '%s' (want WxH)\n", argv[i]);
                return Usage();
            }
        } else if (arg == "--fps" && hasValue) {
            if (!ParseFrameRate(argv[++i], clip.fpsNum, clip.fpsDen)) {
                std::fprintf(stderr, "hvtool make-video: bad frame rate '%s'\n", argv[i]);
                return Usage();
            }
        } else if (arg == "--seconds" && hasValue) {
            if (!ParseSeconds(argv[++i], seconds)) {
                std::fprintf(stderr, "hvtool make-video: bad length '%s'\n", argv[i]);
                return Usage();
            }
            frames = 0;
        } else if (arg == "--frames" && hasValue) {
            if (!ParseWholeNumber(argv[++i], 1'000'000, frames)) {
                std::fprintf(stderr, "hvtool make-video: bad frame count '%s'\n", argv[i]);
                return Usage();
            }
        } else if (arg == "--audio" || arg == "--no-audio") {
            clip.audio = arg == "--audio";
        } else if (arg == "--config" && hasValue) {
            config = argv[++i];
        } else if (arg == "--geometry" && hasValue) {
            geometry = argv[++i];
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "hvtool make-video: unknown or incomplete option '%s'\n", argv[i]);
            return Usage();
        }
    }
    if (clip.path.empty()) {
        std::fprintf(stderr, "hvtool make-video: no --out FILE given\n");
        return Usage();
    }
    if (!config.empty() && !geometry.empty()) {
        std::fprintf(stderr, "hvtool make-video: give --config or --geometry, not both\n");
        return Usage();
    }
    if (geometry.empty()) {
        hv::PlayerConfigState state;
        std::string error;
        if (!LoadPlayerVideoState(config, state, &error)) {
            std::fprintf(stderr, "hvtool make-video: %s\n", error.c_str());
            return 1;
        }
        clip.geometry = state.geometry;
    } else if (!ParseGeometryValues(geometry, clip.geometry)) {
        std::fprintf(stderr, "hvtool make-video: bad geometry '%s' (want X1,Y1,X2,Y2,R)\n",
                     geometry.c_str());
        return Usage();
    }
    if (frames == 0) {
        // Exactly `seconds` long: enough frames to cover it, the last one cut
        // short where the length is not a whole number of frames.
        frames = static_cast<int32_t>(std::ceil(seconds * clip.fpsNum / clip.fpsDen - 1e-9));
        if (frames < 1) frames = 1;
        clip.lengthNs = static_cast<int64_t>(std::llround(seconds * 1e9));
    }
    clip.frames = frames;
    const std::string error = hv::MakeTestVideo(clip);
    if (!error.empty()) {
        std::fprintf(stderr, "hvtool make-video: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace hvtool
