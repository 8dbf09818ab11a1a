// hvtool info VIDEO: opens VIDEO as the player would and prints its
// "Video Stream Info" text. A failure prints the player's message for the
// failed step to stderr and exits with 1.
#include <cstdio>
#include <string>
#include <string_view>

#include "config/configuration.h"
#include "tool/commands.h"
#include "tool/unwrap_options.h"
#include "unwrap/ring_geometry.h"
#include "video/frame_source_graph.h"
#include "video/video_info.h"

namespace hvtool {
namespace {

class StderrSink : public hv::MessageSink {
  public:
    void ShowMessage(hv::MessageKind, const std::string& caption,
                     const std::string& text) override {
        std::string t;
        for (char c : text) {
            if (c != '\r') t += c;
        }
        std::fprintf(stderr, "hvtool info: %s: %s\n", caption.c_str(), t.c_str());
        shown = true;
    }
    bool shown = false;
};

int Usage() {
    std::fprintf(stderr, "usage: hvtool info VIDEO\n");
    return 2;
}

}  // namespace

int RunInfo(int argc, char** argv) {
    std::string file;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::printf("usage: hvtool info VIDEO\n");
            return 0;
        }
        if (!file.empty()) return Usage();
        file = argv[i];
    }
    if (file.empty()) return Usage();

    // The geometry the player would read on opening this video.
    hv::PlayerConfigState state;
    std::string error;
    LoadPlayerVideoState(std::string(), state, &error);

    std::string text;
    hv::FrameSourceGraphHooks hooks;
    // The stream's description needs no sound device.
    hooks.withoutSound = true;
    hooks.running = [&](hv::FrameSource& source) {
        const hv::VideoFormat& f = source.Format();
        // The panorama size the player would unwrap into.
        const hv::RingGeometryResult ring =
            hv::BuildRingGeometry(state.geometry, f.width, f.height);
        const int32_t pw = ring.ok ? ring.ring.Ws() : 0;
        const int32_t ph = ring.ok ? ring.ring.Hs() : 0;
        text = hv::VideoInfoText(file, f, pw, ph);
    };
    StderrSink sink;
    const hv::BuildOutcome outcome =
        hv::BuildFrameSourceGraph(hv::FrameSourceProgram::Player, file, sink, hooks);
    if (outcome != hv::BuildOutcome::Ran) {
        if (!sink.shown) std::fprintf(stderr, "hvtool info: cannot open '%s'\n", file.c_str());
        return 1;
    }
    for (char c : text) {
        if (c != '\r') std::fputc(c, stdout);
    }
    std::fputc('\n', stdout);
    return 0;
}

}  // namespace hvtool
