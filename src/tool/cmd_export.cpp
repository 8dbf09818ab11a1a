// hvtool export VIDEO... (--out OUT.mp4 | --out-dir DIR) --mode
// reframe|panorama|equirect [options]: every frame of each video through the
// player's unwrap into a new video file (see export/export_job.h). Progress
// goes to a terminal as a bar, or as JSON lines with --progress json; Ctrl+C
// stops the export in progress and leaves no file.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "export/export_job.h"
#include "export/view_path.h"
#include "tool/commands.h"
#include "tool/unwrap_options.h"

namespace hvtool {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: hvtool export VIDEO... (--out OUT.mp4 | --out-dir DIR)\n"
    "                     --mode reframe|panorama|equirect [options]\n"
    "  --config FILE   the CamSetup.xml to read (default: the player's)\n"
    "  --flip N        flip mode 0..3 (default: the file's)\n"
    "reframe:\n"
    "  --size WxH      view size (default 1920x1080)\n"
    "  --pan P --tilt T --fov F   a fixed view (default -90, 0, 100)\n"
    "  --path FILE     a view path: JSON (.json) or an ffmpeg sendcmd file\n"
    "  --save-path FILE  write the view path used, as JSON (.json) or as a\n"
    "                  sendcmd file for ffmpeg's v360 (any other name)\n"
    "  --quality draft|high  (default high)   --soften   --grayscale\n"
    "equirect:\n"
    "  --width W       width of the 2:1 frame (default 3840)\n"
    "  --crop          only the rows the ring covers, with crop metadata\n"
    "all modes:\n"
    "  --start S --end E  export the part from S to E seconds\n"
    "  --crf N         x264 constant quality 0..51 (default 20)\n"
    "  --preset NAME   x264 preset (default veryfast)\n"
    "  --no-sound      leave the sound out\n"
    "  --progress bar|json|none  (default: bar on a terminal, else none)\n"
    "  --force         with --out-dir: replace outputs that exist\n";

std::atomic<bool> gCancel{false};
// The signal that cancelled the job: the exit status is 128 + it, as a
// shell reports a program the signal ended (130 Ctrl+C, 143 SIGTERM).
std::atomic<int> gSignal{SIGINT};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

extern "C" void OnInterrupt(int signal) {
    gSignal.store(signal);
    gCancel.store(true);
}

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "hvtool export: %s\n", message.c_str());
    return Usage();
}

bool ReadText(const std::string& path, std::string* text, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read '" + path + "'";
        return false;
    }
    std::ostringstream s;
    s << in.rdbuf();
    *text = s.str();
    return true;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Clock(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) return "--:--";
    const long s = std::lround(seconds);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    return buf;
}

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

enum class Progress { Bar, Json, None };

}  // namespace

int RunExport(int argc, char** argv) {
    std::vector<std::string> inputs;
    std::string out, outDir, config, pathFile, savePath, error;
    std::string mode;
    hv::ExportSettings settings;
    bool flipGiven = false, force = false;
    bool panGiven = false, tiltGiven = false, fovGiven = false;
    double pan = -90, tilt = 0, fov = 100;
    Progress progress = isatty(STDERR_FILENO) ? Progress::Bar : Progress::None;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--force") {
            force = true;
        } else if (arg == "--crop") {
            settings.crop = true;
        } else if (arg == "--soften") {
            settings.render.soften = true;
        } else if (arg == "--grayscale") {
            settings.render.grayscale = true;
        } else if (arg == "--no-sound") {
            settings.sound = false;
        } else if (!hasValue && arg.size() > 2 && arg.substr(0, 2) == "--") {
            return UsageError(std::string(arg) + " needs a value");
        } else if (arg == "--out") {
            out = argv[++i];
        } else if (arg == "--out-dir") {
            outDir = argv[++i];
        } else if (arg == "--config") {
            config = argv[++i];
        } else if (arg == "--path") {
            pathFile = argv[++i];
        } else if (arg == "--save-path") {
            savePath = argv[++i];
        } else if (arg == "--mode") {
            mode = argv[++i];
            if (mode == "reframe") {
                settings.mode = hv::ExportMode::Reframe;
            } else if (mode == "panorama") {
                settings.mode = hv::ExportMode::Panorama;
            } else if (mode == "equirect") {
                settings.mode = hv::ExportMode::Equirect;
            } else {
                return UsageError("--mode takes reframe, panorama or equirect");
            }
        } else if (arg == "--flip") {
            if (!ParseFlipMode(argv[++i], settings.flip))
                return UsageError("--flip takes 0, 1, 2 or 3");
            flipGiven = true;
        } else if (arg == "--size") {
            if (!ParseSize(argv[++i], settings.width, settings.height))
                return UsageError("--size takes WxH, e.g. 1920x1080");
        } else if (arg == "--quality") {
            if (!ParseQuality(argv[++i], settings.render.quality))
                return UsageError("--quality takes draft or high");
        } else if (arg == "--progress") {
            const std::string_view p = argv[++i];
            if (p == "bar") {
                progress = Progress::Bar;
            } else if (p == "json") {
                progress = Progress::Json;
            } else if (p == "none") {
                progress = Progress::None;
            } else {
                return UsageError("--progress takes bar, json or none");
            }
        } else if (arg == "--preset") {
            settings.preset = argv[++i];
            static const char* const kPresets[] = {"ultrafast", "superfast", "veryfast", "faster",
                                                   "fast",      "medium",    "slow",     "slower",
                                                   "veryslow",  "placebo"};
            bool known = false;
            for (const char* p : kPresets) known = known || settings.preset == p;
            if (!known) return UsageError("--preset takes an x264 preset (ultrafast..veryslow)");
        } else if (arg == "--pan" || arg == "--tilt" || arg == "--fov" || arg == "--start" ||
                   arg == "--end" || arg == "--crf" || arg == "--width") {
            double v = 0;
            if (!ParseBoundedNumber(argv[++i], v))
                return UsageError(std::string(arg) + " takes a number, not '" + argv[i] + "'");
            if (arg == "--pan") {
                pan = v;
                panGiven = true;
            } else if (arg == "--tilt") {
                tilt = v;
                tiltGiven = true;
            } else if (arg == "--fov") {
                fov = v;
                fovGiven = true;
            } else if (arg == "--start") {
                if (v < 0) return UsageError("--start must not be negative");
                settings.start = v;
            } else if (arg == "--end") {
                if (v <= 0) return UsageError("--end must be positive");
                settings.end = v;
            } else if (arg == "--crf") {
                if (v != std::floor(v) || v < 0 || v > 51)
                    return UsageError("--crf takes a whole number 0..51");
                settings.crf = static_cast<int32_t>(v);
            } else {
                if (v != std::floor(v) || v < 64 || v > 8192)
                    return UsageError("--width takes a whole number 64..8192");
                settings.equirectWidth = static_cast<int32_t>(v);
            }
        } else if (!arg.empty() && arg[0] != '-') {
            inputs.emplace_back(arg);
        } else {
            return UsageError("unexpected argument '" + std::string(arg) + "'");
        }
    }
    if (inputs.empty()) return UsageError("no VIDEO given");
    if (mode.empty()) return UsageError("--mode is required");
    if (out.empty() == outDir.empty()) return UsageError("give either --out or --out-dir");
    if (!out.empty() && inputs.size() > 1) return UsageError("several videos need --out-dir");
    if (settings.end > 0 && settings.end <= settings.start)
        return UsageError("--end must come after --start");
    if (settings.mode != hv::ExportMode::Reframe &&
        (panGiven || tiltGiven || fovGiven || !pathFile.empty() || !savePath.empty()))
        return UsageError("--pan, --tilt, --fov and --path belong to --mode reframe");
    if (!pathFile.empty() && (panGiven || tiltGiven || fovGiven))
        return UsageError("give a fixed view or --path, not both");

    if (settings.mode == hv::ExportMode::Reframe) {
        if (!pathFile.empty()) {
            std::string text;
            if (!ReadText(pathFile, &text, &error)) {
                std::fprintf(stderr, "hvtool export: %s\n", error.c_str());
                return 1;
            }
            const bool ok =
                EndsWith(pathFile, ".json")
                    ? hv::ParseViewPathJson(text, &settings.path, &error)
                    : hv::ParseSendCmd(text, static_cast<double>(settings.height) / settings.width,
                                       &settings.path, &error);
            if (!ok) {
                std::fprintf(stderr, "hvtool export: %s: %s\n", pathFile.c_str(), error.c_str());
                return 1;
            }
        } else {
            hv::ViewKeyframe key;
            key.pan = static_cast<float>(pan);
            key.tilt = static_cast<float>(tilt);
            key.fov = static_cast<float>(fov);
            settings.path = hv::ViewPath({key});
            if (!settings.path.Validate(&error)) {
                std::fprintf(stderr, "hvtool export: %s\n",
                             error.substr(error.find(": ") + 2).c_str());
                return 1;
            }
        }
    }

    hv::PlayerConfigState state;
    if (!LoadPlayerState(config, state, &error)) {
        std::fprintf(stderr, "hvtool export: %s\n", error.c_str());
        return 1;
    }
    settings.geometry = state.geometry;
    if (!flipGiven) settings.flip = state.flipMode;

    // Ctrl+C and termination stop the job in progress cleanly; a file size
    // limit becomes a write error instead of killing the process.
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGXFSZ, SIG_IGN);

    int failures = 0;
    for (const std::string& input : inputs) {
        if (gCancel.load()) break;
        std::string target = out;
        if (!outDir.empty()) {
            const std::string suffix = mode == "reframe"    ? ".view.mp4"
                                       : mode == "panorama" ? ".panorama.mp4"
                                                            : ".360.mp4";
            target = (fs::path(outDir) / (fs::path(input).stem().string() + suffix)).string();
            std::error_code ec;
            if (!force && fs::exists(target, ec)) {
                std::printf("%s: skipped, %s exists\n", input.c_str(), target.c_str());
                std::fflush(stdout);
                continue;
            }
        }
        settings.input = input;
        settings.output = target;
        hv::ExportHooks hooks;
        hooks.cancel = &gCancel;
        double lastShown = -1;
        hooks.progress = [&](const hv::ExportProgress& p) {
            const bool done = p.frames == p.total;
            if (progress == Progress::None || (!done && p.elapsed - lastShown < 0.25)) return;
            lastShown = p.elapsed;
            const double fps = p.elapsed > 0 ? p.frames / p.elapsed : 0;
            const double left = fps > 0 ? (p.total - p.frames) / fps : -1;
            if (progress == Progress::Json) {
                std::printf(
                    "{\"file\": %s, \"frame\": %lld, \"frames\": %lld, \"fps\": %.2f, "
                    "\"elapsed\": %.2f, \"left\": %.2f}\n",
                    JsonString(input).c_str(), static_cast<long long>(p.frames),
                    static_cast<long long>(p.total), fps, p.elapsed, left < 0 ? 0.0 : left);
                std::fflush(stdout);
                return;
            }
            constexpr int kWidth = 30;
            const int filled = p.total > 0 ? static_cast<int>(kWidth * p.frames / p.total) : 0;
            std::fprintf(stderr, "\r[%s%s] %lld/%lld frames  %.1f fps  %s left ",
                         std::string(static_cast<size_t>(filled), '#').c_str(),
                         std::string(static_cast<size_t>(kWidth - filled), '-').c_str(),
                         static_cast<long long>(p.frames), static_cast<long long>(p.total), fps,
                         Clock(left).c_str());
            std::fflush(stderr);
        };
        const hv::ExportResult r = hv::RunExport(settings, hooks);
        if (progress == Progress::Bar && lastShown >= 0) std::fputc('\n', stderr);
        if (!r.ok) {
            ++failures;
            std::fprintf(stderr, "hvtool export: %s: %s\n", input.c_str(), r.error.c_str());
            std::printf("%s: %s\n", input.c_str(), r.cancelled ? "cancelled" : "failed");
            std::fflush(stdout);
            if (r.cancelled) return 128 + gSignal.load();
            continue;
        }
        std::printf("%s: %s, %lld frames, %dx%d, %s, %.1f s (%.1f fps)\n", input.c_str(),
                    target.c_str(), static_cast<long long>(r.frames), r.width, r.height,
                    r.sound ? "sound" : "no sound", r.seconds,
                    r.seconds > 0 ? r.frames / r.seconds : 0.0);
        std::fflush(stdout);
        if (!savePath.empty()) {
            const std::string text =
                EndsWith(savePath, ".json")
                    ? hv::ViewPathToJson(settings.path)
                    : hv::ViewPathToSendCmd(settings.path, r.frames / r.fps, r.fps,
                                            static_cast<double>(settings.height) / settings.width);
            std::ofstream file(savePath, std::ios::binary | std::ios::trunc);
            file << text;
            file.close();
            if (!file) {
                std::fprintf(stderr, "hvtool export: cannot write '%s'\n", savePath.c_str());
                ++failures;
            }
        }
    }
    if (gCancel.load()) return 128 + gSignal.load();
    return failures == 0 ? 0 : 1;
}

}  // namespace hvtool
