// hvtool detect VIDEO [--frames N] [--out CamSetup.xml]: finds the ring in
// frames spread over the video (or in a still picture) and prints it in
// pixels, as the five geometry values and with its confidence, as
// name=value lines. With --out the values go into a configuration file,
// keeping everything else the file holds (flips, seam, folder, positions).
//
// Exit status: 0 ring found with good confidence, 3 low confidence (the best
// guess is still printed; no file is written), 2 errors.
#include <QImageReader>
#include <QString>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "config/configuration.h"
#include "detect/ring_config.h"
#include "detect/ring_detect.h"
#include "tool/commands.h"
#include "tool/image_io.h"
#include "tool/number_options.h"
#include "video/spread_frames.h"

namespace hvtool {
namespace {

constexpr int kExitFound = 0;
constexpr int kExitError = 2;
constexpr int kExitLowConfidence = 3;

const char* kUsage =
    "usage: hvtool detect VIDEO [--frames N] [--out CamSetup.xml]\n"
    "  Finds the doughnut ring in N frames spread over VIDEO (default 16, at most 64;\n"
    "  a still picture is one frame) and prints it. --out writes the five geometry\n"
    "  values into the file when the ring was found with good confidence, keeping\n"
    "  the file's other settings. Exit status: 0 found, 3 low confidence, 2 error.\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return kExitError;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "hvtool detect: %s\n", message.c_str());
    return kExitError;
}

bool LoadFrames(const std::string& path, int32_t count, std::vector<hv::FrameBuffer>& out,
                std::string& error) {
    QImageReader reader(QString::fromStdString(path));
    if (reader.canRead()) {
        hv::FrameBuffer fb;
        if (!LoadPictureAsFrame(path, fb, &error)) return false;
        out.push_back(std::move(fb));
        return true;
    }
    return hv::LoadSpreadVideoFrames(path, count, out, error);
}

void PrintResult(const hv::RingDetection& d, size_t frames, const hv::RingValues* values) {
    std::printf("status=%s\n", hv::RingDetectStatusName(d.status));
    std::printf("frames=%zu\n", frames);
    std::printf("frame_size=%dx%d\n", d.frameW, d.frameH);
    if (!d.hasGuess) return;
    std::printf("centre_x=%.2f\ncentre_y=%.2f\n", d.cx, d.cy);
    std::printf("outer_radius=%.2f\ninner_radius=%.2f\n", d.outerRadius, d.innerRadius);
    if (values != nullptr) {
        const hv::DoughnutGeometry& g = values->geometry;
        std::printf("X1_1=%d\nY1_1=%d\nX2_1=%d\nY2_1=%d\nRSIZE_1=%d\n", g.left, g.top, g.width,
                    g.height, g.innerRadius);
    }
    const hv::RingConfidence& c = d.confidence;
    std::printf("confidence=%.3f\n", c.score);
    std::printf("outer_agreement=%.3f\ninner_agreement=%.3f\n", c.outerAgreement, c.innerAgreement);
    std::printf("residual_px=%.3f\nconcentricity_px=%.3f\n", c.residualPx, c.concentricityPx);
    std::printf("outer_inside_frame=%.3f\nedge_contrast=%.1f\n", c.outerInsideFrame,
                c.edgeContrast);
}

}  // namespace

int RunDetect(int argc, char** argv) {
    std::string input, outFile;
    int32_t frames = hv::kDetectDefaultFrames;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--frames") {
            if (i + 1 >= argc || !ParseCount(argv[i + 1], hv::kDetectMaxFrames, frames)) {
                std::fprintf(stderr, "hvtool detect: --frames takes a number from 1 to %d\n",
                             hv::kDetectMaxFrames);
                return Usage();
            }
            ++i;
        } else if (arg == "--out") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fprintf(stderr, "hvtool detect: --out takes a file name\n");
                return Usage();
            }
            outFile = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "hvtool detect: unknown option '%s'\n", argv[i]);
            return Usage();
        } else if (input.empty()) {
            input = std::string(arg);
        } else {
            std::fprintf(stderr, "hvtool detect: more than one VIDEO given\n");
            return Usage();
        }
    }
    if (input.empty()) {
        std::fprintf(stderr, "hvtool detect: no VIDEO given\n");
        return Usage();
    }

    std::vector<hv::FrameBuffer> buffers;
    std::string error;
    if (!LoadFrames(input, frames, buffers, error)) return Fail(error);
    const hv::RingDetection d = hv::DetectRing(buffers);
    if (d.status == hv::RingDetectStatus::Error || d.status == hv::RingDetectStatus::Cancelled) {
        return Fail(input + ": " + d.message);
    }

    // The existing file's settings stay; only the five values change.
    hv::SetupConfigState state = hv::SetupStartupDefaults(std::filesystem::current_path().string());
    if (!outFile.empty() && hv::ConfigurationExists(outFile)) {
        hv::ReadConfiguration(outFile, state);
    }
    hv::RingValues values;
    if (d.hasGuess) {
        values = hv::RingToGeometry(d.cx, d.cy, d.outerRadius, d.innerRadius, d.frameW, d.frameH,
                                    state.geometry);
    }
    PrintResult(d, buffers.size(), values.ok ? &values : nullptr);

    if (d.status != hv::RingDetectStatus::Found || !values.ok) {
        std::fprintf(stderr, "hvtool detect: %s\n",
                     d.message.empty() ? values.error.c_str() : d.message.c_str());
        if (!outFile.empty()) {
            std::fprintf(stderr, "hvtool detect: %s not written\n", outFile.c_str());
        }
        return kExitLowConfidence;
    }
    if (!outFile.empty()) {
        state.geometry = values.geometry;
        const hv::WriteResult w = hv::WriteConfiguration(outFile, state);
        if (!w.ok) return Fail("cannot write " + outFile + ": " + w.error);
    }
    return kExitFound;
}

}  // namespace hvtool
