#include "export/export_job.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "export/spherical_metadata.h"
#include "unwrap/unwrap_engine.h"
#include "video/frame_source.h"
#include "video/gst_frame_source.h"
#include "video/video_writer.h"

namespace hv {

namespace {

namespace fs = std::filesystem;

constexpr int32_t kMinSide = 16;
constexpr int32_t kMaxSide = 8192;
// Bound of the wait for one decoded picture: a stream that stalls this long
// is broken.
constexpr int kFrameTimeoutMs = 30'000;

// fpsNum / fpsDen of a stream from its average frame time (100 ns units):
// whole rates and the NTSC rates exactly, anything else as 10^7 / time.
void RateOf(int64_t avgTimePerFrame, int32_t* num, int32_t* den) {
    for (const int32_t d : {1, 1001}) {
        const double n = 1e7 * d / static_cast<double>(avgTimePerFrame);
        const int64_t rounded = std::llround(n / (d == 1 ? 1 : 1000)) * (d == 1 ? 1 : 1000);
        if (rounded > 0 &&
            std::fabs(1e7 * d / static_cast<double>(rounded) - avgTimePerFrame) <= 1) {
            *num = static_cast<int32_t>(rounded);
            *den = d;
            return;
        }
    }
    *num = 10'000'000;
    *den = static_cast<int32_t>(std::clamp<int64_t>(avgTimePerFrame, 1, INT32_MAX));
}

// Shortfall of a stream's last picture against its stated length beyond
// which the file counts as cut off: more than a container's sound running
// past its picture, less than any cut worth reporting.
constexpr int64_t kCutTolerance = 5'000'000;  // 0.5 s in 100 ns units

// A name beside `output` that no other export uses at the same time, in this
// process (a counter) or another one (the process id), with the same
// extension (the writer picks the file type from it). Two exports to one
// output then each write their own file and the later rename wins whole.
std::string TemporaryPath(const std::string& output) {
    static std::atomic<uint64_t> serial{0};
    const fs::path out(output);
    const std::string name = "." + out.stem().string() + ".partial-" + std::to_string(getpid()) +
                             "-" + std::to_string(serial.fetch_add(1)) + out.extension().string();
    return (out.parent_path() / name).string();
}

std::string Seconds(int64_t ticks) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(ticks) / 1e7);
    return text;
}

// The view-source row the high-quality renderer shows at elevation 0.
double HorizonRow(int32_t Hs) {
    return (Hs - 1) >> 1;
}

// Bilinear sampling positions: index of the first pixel and the weight
// (0..256) of the second.
struct Tap {
    int32_t i0 = 0, i1 = 0, w = 0;
};

uint32_t Mix(uint32_t a, uint32_t b, int32_t w) {
    const uint32_t iw = 256 - static_cast<uint32_t>(w);
    const uint32_t rb = ((a & 0xff00ffu) * iw + (b & 0xff00ffu) * static_cast<uint32_t>(w)) >> 8;
    const uint32_t g = ((a & 0x00ff00u) * iw + (b & 0x00ff00u) * static_cast<uint32_t>(w)) >> 8;
    return (rb & 0xff00ffu) | (g & 0x00ff00u);
}

// The equirectangular resampler of one panorama size: fixed taps per column
// and per row of the band.
class EquirectMapper {
  public:
    EquirectMapper(int32_t Ws, int32_t Hs, int32_t width, bool crop) : width_(width) {
        fullHeight_ = width / 2;
        band_ = EquirectBandOf(Ws, Hs, width);
        outTop_ = crop ? band_.top : 0;
        outRows_ = crop ? band_.rows : fullHeight_;
        const double colsPerDegree = Ws / 360.0;
        cols_.resize(static_cast<size_t>(width));
        for (int32_t x = 0; x < width; ++x) {
            // Azimuth of the column: -180 at the left edge, 0 in the middle.
            const double az = -180.0 + (x + 0.5) * 360.0 / width;
            double c = PanoramaColumnOf(az, Ws);
            const double f = std::floor(c);
            Tap t;
            t.i0 = static_cast<int32_t>(f) % Ws;
            if (t.i0 < 0) t.i0 += Ws;
            t.i1 = (t.i0 + 1) % Ws;
            t.w = static_cast<int32_t>(std::lround((c - f) * 256));
            if (t.w == 256) {
                t.i0 = t.i1;
                t.w = 0;
            }
            cols_[static_cast<size_t>(x)] = t;
        }
        const double halfHs = HorizonRow(Hs);
        rows_.resize(static_cast<size_t>(band_.rows));
        for (int32_t y = 0; y < band_.rows; ++y) {
            const double el = 90.0 - (band_.top + y + 0.5) * 180.0 / fullHeight_;
            const double r = std::clamp(halfHs + el * colsPerDegree, 0.0, Hs - 1.0);
            const double f = std::floor(r);
            Tap t;
            t.i0 = static_cast<int32_t>(f);
            t.i1 = std::min(t.i0 + 1, Hs - 1);
            t.w = static_cast<int32_t>(std::lround((r - f) * 256));
            if (t.w == 256) {
                t.i0 = t.i1;
                t.w = 0;
            }
            rows_[static_cast<size_t>(y)] = t;
        }
    }

    int32_t OutRows() const { return outRows_; }
    const EquirectBand& band() const { return band_; }
    int32_t fullHeight() const { return fullHeight_; }

    // Fills `fb` (width x OutRows, bottom-up) from the view source.
    void Map(const uint32_t* src, int32_t Ws, FrameBuffer& fb) const {
        for (int32_t y = 0; y < outRows_; ++y) {
            uint32_t* out = fb.data() + static_cast<size_t>(outRows_ - 1 - y) * width_;
            const int32_t by = outTop_ + y - band_.top;
            if (by < 0 || by >= band_.rows) {
                std::fill(out, out + width_, 0u);
                continue;
            }
            const Tap& rt = rows_[static_cast<size_t>(by)];
            const uint32_t* r0 = src + static_cast<size_t>(rt.i0) * Ws;
            const uint32_t* r1 = src + static_cast<size_t>(rt.i1) * Ws;
            for (int32_t x = 0; x < width_; ++x) {
                const Tap& ct = cols_[static_cast<size_t>(x)];
                const uint32_t a = Mix(r0[ct.i0], r0[ct.i1], ct.w);
                const uint32_t b = Mix(r1[ct.i0], r1[ct.i1], ct.w);
                out[x] = Mix(a, b, rt.w);
            }
        }
    }

  private:
    int32_t width_;
    int32_t fullHeight_ = 0;
    EquirectBand band_;
    int32_t outTop_ = 0, outRows_ = 0;
    std::vector<Tap> cols_, rows_;

  public:
    // The panorama column (fractional, pixel centres at .0) the renderers
    // show straight ahead at pan `az` degrees.
    static double PanoramaColumnOf(double az, int32_t Ws) {
        return (Ws >> 1) + az * Ws / 360.0;  // as the high-quality renderer's column base
    }
};

struct Stopwatch {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    double Seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

}  // namespace

std::string ExportEncoder(int32_t crf, const std::string& preset, int32_t keyInterval) {
    return "x264enc speed-preset=" + preset + " pass=qual quantizer=" + std::to_string(crf) +
           " key-int-max=" + std::to_string(std::max(1, keyInterval)) + " ! h264parse";
}

EquirectBand EquirectBandOf(int32_t Ws, int32_t Hs, int32_t width) {
    const int32_t fullHeight = width / 2;
    const double halfHs = HorizonRow(Hs);
    // Elevations of the panorama's outer pixel edges.
    const double upper = (Hs - 0.5 - halfHs) * 360.0 / Ws;
    const double lower = (-0.5 - halfHs) * 360.0 / Ws;
    int32_t top = static_cast<int32_t>(std::ceil((90.0 - upper) * fullHeight / 180.0 - 0.5));
    int32_t bottom = static_cast<int32_t>(std::floor((90.0 - lower) * fullHeight / 180.0 - 0.5));
    top = std::clamp(top, 0, fullHeight - 1);
    bottom = std::clamp(bottom, top, fullHeight - 1);
    EquirectBand b;
    b.top = top;
    b.rows = bottom - top + 1;
    if (b.rows % 2 != 0) {  // even for the encoder: one row less
        --b.rows;
        if (b.rows == 0) b.rows = 2;
    }
    return b;
}

ExportResult RunExport(const ExportSettings& s, const ExportHooks& hooks) {
    ExportResult result;
    const Stopwatch clock;
    auto fail = [&](const std::string& message) {
        result.ok = false;
        result.error = message;
        result.seconds = clock.Seconds();
        return result;
    };
    if (VideoExtensionOf(s.output) == "" || !VideoWriterFormatFor(VideoExtensionOf(s.output)))
        return fail("'" + s.output + "': unsupported output file type");
    if (s.mode == ExportMode::Equirect && VideoExtensionOf(s.output) != "mp4" &&
        VideoExtensionOf(s.output) != "mov" && VideoExtensionOf(s.output) != "m4v")
        return fail("equirect export writes MP4 files (.mp4, .m4v, .mov)");
    if (s.mode == ExportMode::Reframe) {
        std::string why;
        if (!s.path.Validate(&why)) return fail(why);
    }
    if (s.crf < 0 || s.crf > 51) return fail("--crf must lie within 0..51");

    // The output's folder must be writable before any decoding is spent.
    const fs::path outPath(s.output);
    const fs::path folder = outPath.parent_path().empty() ? fs::path(".") : outPath.parent_path();
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return fail("the folder '" + folder.string() + "' does not exist");
    if (access(folder.c_str(), W_OK) != 0)
        return fail("the folder '" + folder.string() + "' is not writable");

    if (!EnsureGstInitialised()) return fail("GStreamer cannot be initialised");
    std::unique_ptr<FrameSource> source = CreateGstFrameSource();
    FrameSourceOptions options;
    options.withAudio = false;
    options.mode = FrameSourceMode::EveryFrame;
    if (source->Open(s.input, options) != BuildStep::None)
        return fail("cannot open '" + s.input + "' as a video");
    const VideoFormat format = source->Format();
    if (format.avgTimePerFrame <= 0) {
        source->Close();
        return fail("'" + s.input + "' has no frame rate");
    }
    int32_t fpsNum = 25, fpsDen = 1;
    RateOf(format.avgTimePerFrame, &fpsNum, &fpsDen);

    const RingGeometryResult geometry = BuildRingGeometry(s.geometry, format.width, format.height);
    if (!geometry.ok) {
        source->Close();
        return fail(geometry.error);
    }
    UnwrapEngine engine;
    engine.SetFlipMode(s.flip);
    std::string error;
    if (!engine.Configure(geometry.ring, &error)) {
        source->Close();
        return fail(error);
    }
    const int32_t Ws = geometry.ring.Ws();
    const int32_t Hs = geometry.ring.Hs();

    // The picture the file holds.
    int32_t outW = 0, outH = 0;
    std::shared_ptr<const ViewSetup> viewSetup;
    std::unique_ptr<EquirectMapper> equirect;
    SphericalLayout layout;
    switch (s.mode) {
        case ExportMode::Reframe: {
            // The picture a file takes; the view's own limits are the engine's.
            if (s.width < kMinSide || s.height < kMinSide || s.width > kMaxSide ||
                s.height > kMaxSide) {
                source->Close();
                return fail("the view size " + std::to_string(s.width) + "x" +
                            std::to_string(s.height) + " is outside 16..8192 per side");
            }
            // The high-quality renderer leaves its first row and last column
            // alone (the player shows them black); it renders one row and
            // one column more, and the file takes the rest.
            const int32_t spare = s.render.quality == QualityMode::Draft ? 0 : 1;
            const ViewSetupResult sized =
                InitViewEngine(Ws, Hs, s.width + spare, s.height + spare, ViewSizeCap::File);
            if (!sized.ok) {
                source->Close();
                return fail(sized.error);
            }
            viewSetup = sized.setup;
            outW = s.width;
            outH = s.height;
            break;
        }
        case ExportMode::Panorama:
            outW = Ws & ~1;
            outH = Hs & ~1;
            if (outW < kMinSide || outH < kMinSide) {
                source->Close();
                return fail("the panorama (" + std::to_string(Ws) + "x" + std::to_string(Hs) +
                            ") is too small to export");
            }
            break;
        case ExportMode::Equirect: {
            const int32_t w = s.equirectWidth & ~3;  // a 2:1 frame of even sides
            if (w < 64 || w > kMaxSide) {
                source->Close();
                return fail("--width must lie within 64..8192");
            }
            equirect = std::make_unique<EquirectMapper>(Ws, Hs, w, s.crop);
            outW = w;
            outH = equirect->OutRows();
            layout.fullWidth = w;
            layout.fullHeight = equirect->fullHeight();
            layout.top = s.crop ? equirect->band().top : 0;
            layout.height = outH;
            break;
        }
    }

    // The part: pictures whose time lies in [start, end).
    const int64_t startTicks = std::llround(std::max(0.0, s.start) * 1e7);
    const int64_t endTicks = s.end < 0 ? INT64_MAX : std::llround(s.end * 1e7);
    const bool whole = startTicks == 0 && s.end < 0;
    int64_t total = format.frameCount;
    if (!whole && format.avgTimePerFrame > 0) {
        const int64_t to = std::min(endTicks, format.duration);
        total = std::max<int64_t>(
            0, (to - startTicks + format.avgTimePerFrame - 1) / format.avgTimePerFrame);
    }

    VideoWriterSettings ws;
    const std::string temporary = TemporaryPath(s.output);
    ws.path = temporary;
    ws.width = outW;
    ws.height = outH;
    ws.fpsNum = fpsNum;
    ws.fpsDen = fpsDen;
    ws.videoEncoder = ExportEncoder(s.crf, s.preset, 2 * std::max(1, fpsNum / fpsDen));
    if (s.sound && HasSoundStream(s.input)) ws.audioSourcePath = s.input;
    // The whole video's sound is copied. A part's sound starts with the
    // part's first picture, whose time is known once it is decoded: its
    // writer opens then.
    std::unique_ptr<VideoWriter> writer;
    auto openWriter = [&](int64_t firstPicture) {
        if (!whole && !ws.audioSourcePath.empty())
            ws.audioPart =
                VideoWriterSoundPart{firstPicture * 100, s.end < 0 ? -1 : endTicks * 100};
        writer = VideoWriter::Open(ws, &error);
        if (!writer) return false;
        result.width = writer->EncodedWidth();
        result.height = writer->EncodedHeight();
        return true;
    };
    if (whole && !openWriter(0)) {
        source->Close();
        std::remove(temporary.c_str());
        return fail("cannot write '" + s.output + "': " + error);
    }
    result.sound = !ws.audioSourcePath.empty();
    result.fps = static_cast<double>(fpsNum) / fpsDen;

    FrameBuffer in, out;
    out.Allocate(outW, outH);
    ViewRenderer renderer(viewSetup);
    // The view is this thread's work while GStreamer's threads decode and
    // encode; splitting its rows keeps it off the critical path.
    renderer.SetThreads(
        static_cast<int32_t>(std::clamp<unsigned>(std::thread::hardware_concurrency(), 1, 4)));
    ViewBuffer view;
    bool tableBuilt = false;
    int64_t firstTicks = -1;
    int64_t lastTicks = -1;  // time of the last picture decoded, exported or not
    auto abandon = [&](const std::string& message, bool cancelled) {
        writer.reset();  // a writer not finished removes its file
        source->Close();
        std::remove(temporary.c_str());
        result.cancelled = cancelled;
        return fail(message);
    };
    for (;;) {
        if (hooks.cancel != nullptr && hooks.cancel->load())
            return abandon("cancelled; nothing was written", true);
        int64_t pts = 0;
        const NextFrameResult next = source->NextFrame(in, &pts, kFrameTimeoutMs);
        if (next == NextFrameResult::EndOfStream) break;
        if (next == NextFrameResult::Timeout)
            return abandon("'" + s.input + "' stopped delivering pictures", false);
        if (next != NextFrameResult::Frame) {
            const std::string why = source->StreamError();
            return abandon("'" + s.input + "' cannot be decoded" + (why.empty() ? "" : ": " + why),
                           false);
        }
        lastTicks = pts;
        if (pts < startTicks) continue;
        if (pts >= endTicks) break;
        if (firstTicks < 0) {
            firstTicks = pts;
            if (!writer && !openWriter(pts))
                return abandon("cannot write '" + s.output + "': " + error, false);
        }
        // The first job of a stream builds the table and copies nothing.
        if (!tableBuilt) {
            engine.UnwrapFrame(in);
            tableBuilt = true;
        }
        if (!engine.UnwrapFrame(in)) return abandon("a frame could not be unwrapped", false);
        PanoramaView pano = engine.AcquireReady();
        if (!pano) return abandon("no panorama was produced", false);
        const RingGeometry& ring = pano.Geometry();
        const int32_t sourceRow = ring.ViewSourceRow(pano.Mode());
        const ViewSource src{pano.ViewSource(), Ws, Hs, ring.Hp + kPanoramaSpareRows - sourceRow};
        switch (s.mode) {
            case ExportMode::Reframe: {
                const double t = static_cast<double>(result.frames) * fpsDen / fpsNum;
                const ViewAngles a = s.path.At(t);
                ViewState state;
                state.pan = a.pan;
                state.tilt = a.tilt;
                state.fov = a.fov;
                if (!renderer.Render(src, state, false, s.render, view)) {
                    return abandon("the view at " + std::to_string(t) + " s (fov " +
                                       std::to_string(a.fov) + ") cannot be rendered at this size",
                                   false);
                }
                {
                    const int32_t spare = viewSetup->Wout - outW;  // 0 or 1, both sides
                    for (int32_t m = 0; m < outH; ++m) {
                        const uint32_t* row =
                            view.data() + static_cast<size_t>(m + spare) * viewSetup->Wout;
                        std::copy(row, row + outW, out.data() + static_cast<size_t>(m) * outW);
                    }
                }
                break;
            }
            case ExportMode::Panorama:
                for (int32_t r = 0; r < outH; ++r) {
                    std::copy(src.pixels + static_cast<size_t>(r) * Ws,
                              src.pixels + static_cast<size_t>(r) * Ws + outW,
                              out.data() + static_cast<size_t>(r) * outW);
                }
                break;
            case ExportMode::Equirect:
                equirect->Map(src.pixels, Ws, out);
                break;
        }
        pano.Reset();
        if (!writer->Write(out, &error))
            return abandon("cannot write '" + s.output + "': " + error, false);
        ++result.frames;
        // The file keeps being written after its folder is removed (the
        // descriptor outlives the name); stop at once instead of encoding
        // the rest for a rename that must fail.
        if (!fs::exists(temporary, ec)) {
            return abandon(
                fs::is_directory(folder, ec)
                    ? "the file being written ('" + temporary + "') was removed during the export"
                    : "the folder '" + folder.string() + "' was removed during the export",
                false);
        }
        if (hooks.progress)
            hooks.progress({result.frames, std::max(total, result.frames), clock.Seconds()});
    }
    source->Close();
    // A stream that ends well before its stated length was cut off (a copy
    // that stopped, a full card): its end says nothing about the part asked
    // for, so no shorter file is passed off as the export. A stream without
    // a stated length (MPEG-TS) ends where its data ends.
    const int64_t expectedEnd = std::min(endTicks, format.duration);
    if (format.duration > 0 && expectedEnd > startTicks &&
        std::max<int64_t>(lastTicks, 0) + format.avgTimePerFrame + kCutTolerance < expectedEnd) {
        return abandon("'" + s.input + "' is cut off: its pictures end at " +
                           Seconds(std::max<int64_t>(lastTicks, 0) + format.avgTimePerFrame) +
                           " of the " + Seconds(format.duration) + " it states",
                       false);
    }
    if (result.frames == 0) return abandon("no frames lie in the chosen part of the video", false);
    if (!writer->Finish(&error)) {
        std::remove(temporary.c_str());
        return fail("cannot write '" + s.output + "': " + error);
    }
    writer.reset();
    if (s.mode == ExportMode::Equirect && !InjectSphericalMetadata(temporary, layout, &error)) {
        std::remove(temporary.c_str());
        return fail(error);
    }
    if (std::rename(temporary.c_str(), s.output.c_str()) != 0) {
        const int why = errno;
        std::remove(temporary.c_str());
        if (!fs::is_directory(folder, ec))
            return fail("the folder '" + folder.string() + "' was removed during the export");
        return fail("cannot rename the finished file to '" + s.output + "': " + std::strerror(why));
    }
    result.ok = true;
    result.seconds = clock.Seconds();
    return result;
}

}  // namespace hv
