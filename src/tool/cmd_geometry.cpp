// hvtool geometry --frame WxH [--config FILE] [--player|--setup]: the ring
// geometry a program would use for a frame of that size, as name=value
// lines. --player (the default) gives the player's mapping, --setup the
// setup utility's preview mapping with the file's seam rotation.
#include <cstdio>
#include <string>
#include <string_view>

#include "tool/commands.h"
#include "tool/unwrap_options.h"
#include "unwrap/ring_geometry.h"

namespace hvtool {
namespace {

constexpr const char* kUsage =
    "usage: hvtool geometry --frame WxH [--config FILE] [--player|--setup]\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

void Print(const char* name, int32_t v) {
    std::printf("%s=%d\n", name, v);
}
void PrintSingle(const char* name, float v) {
    std::printf("%s=%.6f\n", name, double(v));
}

}  // namespace

int RunGeometry(int argc, char** argv) {
    std::string frame, file;
    bool setup = false;
    int programFlags = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if ((arg == "--frame" || arg == "--config") && i + 1 < argc) {
            (arg == "--frame" ? frame : file) = argv[++i];
        } else if (arg == "--player" || arg == "--setup") {
            setup = arg == "--setup";
            ++programFlags;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "hvtool geometry: unexpected argument '%s'\n", argv[i]);
            return Usage();
        }
    }
    int32_t w = 0, h = 0;
    if (frame.empty() || !ParseSize(frame, w, h)) {
        std::fprintf(stderr, "hvtool geometry: give the frame size as --frame WxH, e.g. 640x480\n");
        return Usage();
    }
    if (programFlags > 1) {
        std::fprintf(stderr, "hvtool geometry: give at most one of --player and --setup\n");
        return Usage();
    }

    std::string error;
    hv::RingGeometryResult res;
    if (setup) {
        hv::SetupConfigState state;
        if (!LoadSetupState(file, state, &error)) {
            std::fprintf(stderr, "hvtool geometry: %s\n", error.c_str());
            return 1;
        }
        res = hv::BuildPreviewGeometry(state.geometry, state.settings.shiftRect, w, h);
    } else {
        hv::PlayerConfigState state;
        if (!LoadPlayerState(file, state, &error)) {
            std::fprintf(stderr, "hvtool geometry: %s\n", error.c_str());
            return 1;
        }
        res = hv::BuildRingGeometry(state.geometry, w, h);
    }
    if (!res.ok) {
        std::fprintf(stderr, "hvtool geometry: %s\n", res.error.c_str());
        return 1;
    }
    const hv::RingGeometry& r = res.ring;
    Print("frameW", r.frameW);
    Print("frameH", r.frameH);
    PrintSingle("sx", r.sx);
    PrintSingle("sy", r.sy);
    Print("left", r.left);
    Print("top", r.top);
    Print("inner", r.inner);
    Print("cutW", r.cutW);
    Print("D", r.D);
    Print("cx", r.cx);
    Print("cy", r.cy);
    Print("Hp", r.Hp);
    PrintSingle("step", r.step);
    Print("Wp", r.Wp);
    Print("halfW", r.halfW);
    Print("halfH", r.halfH);
    Print("origin", r.origin);
    Print("Ws", r.Ws());
    Print("Hs", r.Hs());
    return 0;
}

}  // namespace hvtool
