// hvtool: the command-line front end of the doughnut engine.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "tool/commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int, char**);
    const char* usage;
};

const Command kCommands[] = {
    {"geometry", hvtool::RunGeometry, "geometry --frame WxH [--config FILE] [--player|--setup]"},
    {"unwrap", hvtool::RunUnwrap,
     "unwrap INPUT [--config FILE] [--flip N] [--frame N|--time T] --out PANO.png"},
    {"config", hvtool::RunConfig, "config [FILE [--player|--setup]]"},
    {"view", hvtool::RunView,
     "view INPUT [--config FILE] [--flip N] [--frame N|--time T] [--pan P --tilt T --fov F] "
     "[--quality draft|high] [--soften] [--grayscale] --out VIEW.png"},
    {"info", hvtool::RunInfo, "info VIDEO"},
    {"make-video", hvtool::RunMakeVideo, "make-video --out FILE [options]"},
    {"make-sample", hvtool::RunMakeSample, "make-sample --out PICTURE.png [--size WxH]"},
    {"detect", hvtool::RunDetect, "detect VIDEO [--frames N] [--out CamSetup.xml]"},
    {"export", hvtool::RunExport,
     "export VIDEO... (--out OUT.mp4|--out-dir DIR) --mode reframe|panorama|equirect [options]"},
};

void PrintUsage(FILE* to) {
    std::fprintf(to, "usage: hvtool COMMAND [ARGS]\n\ncommands:\n");
    for (const auto& c : kCommands) std::fprintf(to, "  hvtool %s\n", c.usage);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    const std::string_view name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        PrintUsage(stdout);
        return 0;
    }
    for (const auto& c : kCommands) {
        if (name == c.name) return c.run(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "hvtool: unknown command '%s'\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
