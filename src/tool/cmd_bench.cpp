// hvtool bench VIDEO [--frames N] [--view WxH] [--quality draft|high] [--whole]:
// decodes VIDEO as fast as it can through the player's own stages (the frame
// source with the decoder's planes, the unwrap engine, the view renderer; no
// window, no sound) and prints what the machine needs per frame, so a user
// can tell whether it plays the file in real time.
//
// The source runs in every-frame mode, so each decoded picture is unwrapped
// and rendered once (the player's latest-frame source would drop pictures
// instead). "source" is the CPU the process spent outside the unwrap and
// render calls: decoding and the hand-over, on GStreamer's threads. As in
// the player, each panorama is unwrapped only where the view looks, unless
// --whole asks for all of it (as an export unwraps).
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

#include "tool/commands.h"
#include "tool/unwrap_options.h"
#include "unwrap/render_view.h"
#include "unwrap/unwrap_engine.h"
#include "unwrap/view_region.h"
#include "unwrap/view_setup.h"
#include "video/gst_frame_source.h"

namespace hvtool {
namespace {

constexpr const char* kUsage =
    "usage: hvtool bench VIDEO [--frames N] [--view WxH] [--quality draft|high] [--whole]\n"
    "  --frames   stop after N pictures (default: the whole file)\n"
    "  --view     the view size to render (default and, for now, only: the\n"
    "             view size the panorama gives)\n"
    "  --quality  draft (nearest pixel) or high (bilinear; default)\n"
    "  --whole    unwrap every panorama whole, not only where the view looks\n"
    "Prints frames, wall seconds, CPU seconds, CPU ms per frame and the\n"
    "stages' CPU ms per frame.\n";

constexpr int kNextPictureTimeoutMs = 10'000;

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "hvtool bench: %s\n", message.c_str());
    return 1;
}

double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The CPU time of the calls made inside one stage, on this thread.
class StageClock {
  public:
    template <class Fn>
    auto Time(Fn&& fn) {
        const double start = ThreadCpuSeconds();
        auto result = fn();
        seconds_ += ThreadCpuSeconds() - start;
        return result;
    }
    double Seconds() const { return seconds_; }

  private:
    double seconds_ = 0;
};

// The share of the panorama's pixels a region holds (tiles counted whole).
double Share(const hv::PanoramaRegion& r, const hv::RingGeometry& g) {
    if (r.whole) return 1.0;
    const double bands = hv::TileBands(g.Hp), tiles = hv::TileColumns(g.Wp);
    return double(r.bandEnd - r.bandBegin) / bands * double(std::min(r.tileCount, r.tilesAround)) /
           tiles;
}

}  // namespace

int RunBench(int argc, char** argv) {
    std::string input, error;
    int64_t maxFrames = -1;
    int32_t viewW = 0, viewH = 0;
    hv::RenderOptions options;
    bool whole = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--frames" && hasValue) {
            if (!ParsePositiveCount(argv[++i], maxFrames)) {
                std::fprintf(stderr, "hvtool bench: --frames takes a positive number\n");
                return Usage();
            }
        } else if (arg == "--view" && hasValue) {
            if (!ParseSize(argv[++i], viewW, viewH)) {
                std::fprintf(stderr, "hvtool bench: --view takes WxH, e.g. 640x480\n");
                return Usage();
            }
        } else if (arg == "--quality" && hasValue) {
            if (!ParseQuality(argv[++i], options.quality)) {
                std::fprintf(stderr, "hvtool bench: --quality takes draft or high\n");
                return Usage();
            }
        } else if (arg == "--whole") {
            whole = true;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!arg.empty() && arg[0] != '-' && input.empty()) {
            input = std::string(arg);
        } else {
            std::fprintf(stderr, "hvtool bench: unexpected argument '%s'\n", argv[i]);
            return Usage();
        }
    }
    if (input.empty()) return Usage();

    hv::PlayerConfigState state;
    if (!LoadPlayerState({}, state, &error)) return Fail(error);

    const double wallStart =
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    const double cpuStart = ProcessCpuSeconds();

    std::unique_ptr<hv::FrameSource> source = hv::CreateGstFrameSource();
    hv::FrameSourceOptions sourceOptions;
    sourceOptions.withAudio = false;
    sourceOptions.syncToClock = false;
    sourceOptions.mode = hv::FrameSourceMode::EveryFrame;
    sourceOptions.planarPictures = true;
    if (source->Open(input, sourceOptions) != hv::BuildStep::None) {
        return Fail("cannot open '" + input + "' as a video");
    }
    const hv::VideoFormat format = source->Format();
    const hv::RingGeometryResult ring =
        hv::BuildRingGeometry(state.geometry, format.width, format.height);
    if (!ring.ok) return Fail("the player's geometry does not fit this video");
    hv::UnwrapEngine engine;
    if (!engine.Configure(ring.ring, &error)) return Fail(error);
    engine.SetFlipMode(state.flipMode);

    const hv::ViewSetupResult setup = hv::InitViewEngine(ring.ring.Ws(), ring.ring.Hs());
    if (!setup.ok) return Fail(setup.error);
    const hv::ViewSetup& s = *setup.setup;
    if (viewW != 0 && (viewW != s.Wout || viewH != s.Hout)) {
        return Fail("--view can only be " + std::to_string(s.Wout) + "x" + std::to_string(s.Hout) +
                    " (the view size of this panorama)");
    }
    hv::ViewRenderer renderer(setup.setup);
    hv::ViewBuffer view;

    hv::FrameBuffer frame;  // pictures that come without planes (sized by the source)
    StageClock unwrapClock, renderClock;
    int64_t frames = 0, planar = 0, rendered = 0;
    double unwrappedShare = 0;  // summed over the rendered frames
    hv::NextFrameResult result = hv::NextFrameResult::Frame;
    while (maxFrames < 0 || frames < maxFrames) {
        hv::PlanarPictureRef picture;
        result = source->NextPicture(picture, frame, nullptr, kNextPictureTimeoutMs);
        if (result != hv::NextFrameResult::Frame) break;
        ++frames;
        if (picture) ++planar;
        unwrapClock.Time([&] {
            // The first job of the stream builds the table and copies
            // nothing: that picture is unwrapped again.
            const bool firstJob = engine.TableBuilds() == 0 || !engine.TableValid();
            for (int pass = 0; pass < (firstJob ? 2 : 1); ++pass) {
                if (picture) {
                    engine.UnwrapPicture(*picture);
                } else {
                    engine.UnwrapFrame(frame);
                }
            }
            picture.reset();  // released as the player's job releases it
            return true;
        });
        const bool ok = renderClock.Time([&] {
            const hv::PanoramaView panorama = engine.AcquireReady();
            if (!panorama) return false;
            const hv::RingGeometry& g = panorama.Geometry();
            const int32_t sourceRow = g.ViewSourceRow(panorama.Mode());
            const hv::ViewSource src{panorama.ViewSource(), panorama.Ws(), panorama.Hs(),
                                     g.Hp + hv::kPanoramaSpareRows - sourceRow};
            if (!renderer.Render(src, setup.start, false, options, view)) return false;
            // As the player does: the next frames are unwrapped where the
            // view looks.
            if (!whole) {
                engine.SetDemand(hv::ViewDemand(renderer.setup(), setup.start, setup.start, g,
                                                panorama.Mode()));
            }
            unwrappedShare += Share(panorama.Region(), g);
            return true;
        });
        if (ok) ++rendered;
    }
    const std::string streamError = source->StreamError();
    source->Close();
    const double cpu = ProcessCpuSeconds() - cpuStart;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count() -
        wallStart;
    if (result == hv::NextFrameResult::Error) return Fail("the stream failed: " + streamError);
    if (frames == 0) return Fail("no picture was decoded");

    const double perFrame = 1000.0 / double(frames);
    const double unwrapMs = unwrapClock.Seconds() * perFrame;
    const double renderMs = renderClock.Seconds() * perFrame;
    const double cpuMs = cpu * perFrame;
    const double sourceMs = std::max(0.0, cpuMs - unwrapMs - renderMs);
    std::printf("video %s: %dx%d\n", input.c_str(), format.width, format.height);
    std::printf("frames %lld\n", static_cast<long long>(frames));
    std::printf("rendered %lld\n", static_cast<long long>(rendered));
    std::printf("from the decoder's planes %lld\n", static_cast<long long>(planar));
    std::printf("wall seconds %.3f\n", wall);
    std::printf("cpu seconds %.3f\n", cpu);
    std::printf("cpu ms per frame %.3f\n", cpuMs);
    std::printf("frames per second %.1f\n", wall > 0 ? double(frames) / wall : 0.0);
    std::printf("source ms per frame %.3f\n", sourceMs);
    std::printf("unwrap ms per frame %.3f\n", unwrapMs);
    std::printf("render ms per frame %.3f (view %dx%d, %s)\n", renderMs, s.Wout, s.Hout,
                options.quality == hv::QualityMode::Draft ? "draft" : "high");
    std::printf("source + unwrap ms per frame %.3f\n", sourceMs + unwrapMs);
    std::printf("panorama unwrapped per frame %.0f%%\n",
                rendered > 0 ? 100.0 * unwrappedShare / double(rendered) : 0.0);
    return 0;
}

}  // namespace hvtool
