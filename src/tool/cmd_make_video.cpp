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

bool ParseInt(std::string_view text, int64_t max, int32_t& out) {
    if (text.empty() || text.size() > 9) return false;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v <= 0 || v > max) return false;
    out = static_cast<int32_t>(v);
    return true;
}

// "25", "30000/1001", or a decimal such as "29.97" (taken as 30000/1001
// style: N * 1000 / 1000 reduced).
bool ParseFps(std::string_view text, int32_t& num, int32_t& den) {
    const size_t slash = text.find('/');
    if (slash != std::string_view::npos) {
        return ParseInt(text.substr(0, slash), 1'000'000, num) &&
               ParseInt(text.substr(slash + 1), 1'000'000, den);
    }
    char* end = nullptr;
    const std::string s(text);
    const double v = std::strtod(s.c_str(), &end);
    if (s.empty() || *end != '\0' || !(v > 0) || v > 240) return false;
    if (std::fabs(v - 29.97) < 1e-9) {
        num = 30000;
        den = 1001;
        return true;
    }
    if (std::fabs(v - 59.94) < 1e-9) {
        num = 60000;
        den = 1001;
        return true;
    }
    if (std::fabs(v - 23.976) < 1e-9) {
        num = 24000;
        den = 1001;
        return true;
    }
    num = static_cast<int32_t>(std::lrint(v * 1000));
    den = 1000;
    return num > 0;
}

bool ParseGeometry(std::string_view text, hv::DoughnutGeometry& g) {
    int32_t v[5];
    for (int k = 0; k < 5; ++k) {
        const size_t comma = text.find(',');
        const std::string_view part = k < 4 ? text.substr(0, comma) : text;
        if ((k < 4 && comma == std::string_view::npos) || !ParseInt(part, 100000, v[k]))
            return false;
        if (k < 4) text.remove_prefix(comma + 1);
    }
    g.left = v[0];
    g.top = v[1];
    g.width = v[2];
    g.height = v[3];
    g.innerRadius = v[4];
    return true;
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
            if (!ParseFps(argv[++i], clip.fpsNum, clip.fpsDen)) {
                std::fprintf(stderr, "hvtool make-video: bad frame rate '%s'\n", argv[i]);
                return Usage();
            }
        } else if (arg == "--seconds" && hasValue) {
            char* end = nullptr;
            seconds = std::strtod(argv[++i], &end);
            if (*end != '\0' || !(seconds > 0) || seconds > 36000) {
                std::fprintf(stderr, "hvtool make-video: bad length '%s'\n", argv[i]);
                return Usage();
            }
            frames = 0;
        } else if (arg == "--frames" && hasValue) {
            if (!ParseInt(argv[++i], 1'000'000, frames)) {
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
    } else if (!ParseGeometry(geometry, clip.geometry)) {
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
