// hvtool make-sample --out PICTURE.png [--size WxH]: draws the synthetic
// doughnut picture of sample_picture.h (default 1280x960).
#include <cstdio>
#include <string>
#include <string_view>

#include "tool/commands.h"
#include "tool/image_io.h"
#include "tool/sample_picture.h"
#include "tool/unwrap_options.h"

namespace hvtool {
namespace {

constexpr const char* kUsage = "usage: hvtool make-sample --out PICTURE.png [--size WxH]\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int RunMakeSample(int argc, char** argv) {
    std::string out;
    int32_t w = 1280, h = 960;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--out" && i + 1 < argc) {
            out = argv[++i];
        } else if (arg == "--size" && i + 1 < argc) {
            if (!ParseSize(argv[++i], w, h)) {
                std::fprintf(stderr, "hvtool make-sample: give the size as WxH, e.g. 1280x960\n");
                return Usage();
            }
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "hvtool make-sample: unexpected argument '%s'\n", argv[i]);
            return Usage();
        }
    }
    if (out.empty()) return Usage();
    std::string error;
    hv::FrameBuffer fb;
    if (!DrawSamplePicture(w, h, fb, &error) ||
        !SaveBottomUpAsPng(out, fb.data(), fb.width, fb.height, 4 * fb.width, &error)) {
        std::fprintf(stderr, "hvtool make-sample: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: %dx%d doughnut picture\n", out.c_str(), w, h);
    return 0;
}

}  // namespace hvtool
