#include "video/test_video_maker.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <numeric>

#include "unwrap/ring_geometry.h"
#include "video/gst_frame_source.h"

namespace hv {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kAudioRate = 44100;
constexpr int32_t kMaxSide = 8192;

// x264 at constant quantizer: fast enough for 4K test files, clean enough
// for the frame-number blocks; a key frame at least every second keeps
// accurate seeks cheap.
const char* kX264 =
    "x264enc speed-preset=ultrafast pass=quant quantizer=20 key-int-max=25 ! h264parse";

const TestVideoFormat kFormats[] = {
    {"mp4", "mp4mux", kX264, "avenc_aac", "I420", true},
    {"m4v", "mp4mux", kX264, "avenc_aac", "I420", true},
    {"mov", "qtmux", kX264, "avenc_aac", "I420", true},
    {"qt", "qtmux", kX264, "avenc_aac", "I420", true},
    {"mkv", "matroskamux", kX264, "vorbisenc", "I420", true},
    {"webm", "webmmux", "vp8enc deadline=1 cpu-used=16 target-bitrate=4000000 keyframe-max-dist=25",
     "vorbisenc", "I420", false},
    {"ogv", "oggmux", "theoraenc bitrate=4000 keyframe-force=25", "vorbisenc", "I420", false},
    {"ogg", "oggmux", "theoraenc bitrate=4000 keyframe-force=25", "vorbisenc", "I420", false},
    {"avi", "avimux", "jpegenc quality=90", "lamemp3enc", "I420", false},
    {"asf", "asfmux", "avenc_wmv2 bitrate=4000000 gop-size=25", "avenc_wmav2", "I420", true},
    {"wmv", "asfmux", "avenc_wmv2 bitrate=4000000 gop-size=25", "avenc_wmav2", "I420", true},
    {"flv", "flvmux", kX264, "avenc_aac", "I420", true},
    {"mpg", "avmux_vob", "mpeg2enc format=3 bitrate=6000 ! mpegvideoparse",
     "avenc_mp2 ! mpegaudioparse", "I420", true},
    {"mpeg", "avmux_vob", "mpeg2enc format=3 bitrate=6000 ! mpegvideoparse",
     "avenc_mp2 ! mpegaudioparse", "I420", true},
    {"ts", "mpegtsmux", kX264, "avenc_aac", "I420", true},
    {"m2ts", "mpegtsmux m2ts-mode=true", kX264, "avenc_aac", "I420", true},
    {"mts", "mpegtsmux m2ts-mode=true", kX264, "avenc_aac", "I420", true},
};

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string ExtensionOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return Lower(path.substr(dot + 1));
}

uint32_t Bgrx(int r, int g, int b) {
    return static_cast<uint32_t>(b) | (static_cast<uint32_t>(g) << 8) |
           (static_cast<uint32_t>(r) << 16);
}

// Where the scene's ring lies in frame pixels (top-down): the player's
// mapping of the geometry, or a centred ring when the geometry does not
// fit the frame.
struct SceneRing {
    double cx, cy, outer, inner;
};

SceneRing RingFor(const TestVideoOptions& clip) {
    RingGeometryResult g = BuildRingGeometry(clip.geometry, clip.width, clip.height);
    if (g.ok && g.ring.Hp > g.ring.inner + 4) {
        return {static_cast<double>(g.ring.cx), static_cast<double>(g.ring.cy), g.ring.D / 2.0,
                static_cast<double>(g.ring.inner)};
    }
    const double outer = std::min(clip.width, clip.height) / 2.0 - 1;
    return {clip.width / 2.0, clip.height / 2.0, outer, outer / 5};
}

// Elevation 0 is the inner circle (the bottom of the unwrapped view), 1 the
// outer circle (its top).
constexpr double kHorizon = 0.4;

struct Landmark {
    double azimuth;  // degrees, the mapping's angle: 0 straight down the picture
    uint32_t colour;
};

const Landmark kLandmarks[] = {{0, Bgrx(220, 30, 30)},
                               {90, Bgrx(240, 220, 30)},
                               {180, Bgrx(200, 40, 200)},
                               {270, Bgrx(30, 210, 220)}};

uint32_t SceneColour(double azimuthDeg, double elevation) {
    for (const auto& l : kLandmarks) {
        double d = std::fabs(azimuthDeg - l.azimuth);
        d = std::min(d, 360 - d);
        if (d < 3 && elevation > 0.1 && elevation < 0.75) return l.colour;
    }
    if (std::fabs(elevation - kHorizon) < 0.02 && std::fmod(azimuthDeg + 0.3, 10.0) < 0.6) {
        return Bgrx(255, 255, 255);
    }
    if (elevation > kHorizon) {
        const double t = (elevation - kHorizon) / (1 - kHorizon);
        return Bgrx(static_cast<int>(120 - 70 * t), static_cast<int>(170 - 80 * t),
                    static_cast<int>(235 - 40 * t));
    }
    const bool stripe = static_cast<int>(azimuthDeg / 15) % 2 == 0;
    const double t = elevation / kHorizon;
    return stripe ? Bgrx(static_cast<int>(60 + 40 * t), static_cast<int>(110 + 40 * t), 40)
                  : Bgrx(static_cast<int>(90 + 40 * t), static_cast<int>(80 + 30 * t), 40);
}

// The still part of the scene, drawn once per video.
std::vector<uint32_t> RenderBackground(const TestVideoOptions& clip, const SceneRing& ring) {
    std::vector<uint32_t> img(static_cast<size_t>(clip.width) * static_cast<size_t>(clip.height),
                              0);
    for (int32_t y = 0; y < clip.height; ++y) {
        for (int32_t x = 0; x < clip.width; ++x) {
            const double dx = x - ring.cx, dy = y - ring.cy;
            const double r = std::sqrt(dx * dx + dy * dy);
            uint32_t c = 0;
            if (r <= ring.outer) {
                if (r < ring.inner) {
                    c = Bgrx(40, 40, 40);
                } else {
                    double az = std::atan2(dx, dy) * 180 / kPi;
                    if (az < 0) az += 360;
                    c = SceneColour(az, (r - ring.inner) / std::max(1.0, ring.outer - ring.inner));
                }
            }
            img[static_cast<size_t>(y) * static_cast<size_t>(clip.width) + static_cast<size_t>(x)] =
                c;
        }
    }
    return img;
}

void DrawMovingMarker(const TestVideoOptions& clip, const SceneRing& ring, int32_t index,
                      uint32_t* img) {
    // One turn every four seconds, in the sky.
    const double seconds = static_cast<double>(index) * clip.fpsDen / clip.fpsNum;
    const double az = std::fmod(seconds * 90.0, 360.0) * kPi / 180;
    const double r = ring.inner + 0.8 * (ring.outer - ring.inner);
    const double mx = ring.cx + std::sin(az) * r, my = ring.cy + std::cos(az) * r;
    const double radius = std::max(2.0, 0.07 * (ring.outer - ring.inner));
    const int32_t x0 = std::max(0, static_cast<int32_t>(mx - radius));
    const int32_t x1 = std::min(clip.width - 1, static_cast<int32_t>(mx + radius) + 1);
    const int32_t y0 = std::max(0, static_cast<int32_t>(my - radius));
    const int32_t y1 = std::min(clip.height - 1, static_cast<int32_t>(my + radius) + 1);
    for (int32_t y = y0; y <= y1; ++y) {
        for (int32_t x = x0; x <= x1; ++x) {
            if ((x - mx) * (x - mx) + (y - my) * (y - my) <= radius * radius) {
                img[static_cast<size_t>(y) * static_cast<size_t>(clip.width) +
                    static_cast<size_t>(x)] = Bgrx(255, 200, 60);
            }
        }
    }
}

void DrawFrameCode(int32_t width, int32_t height, int32_t index, uint32_t* img) {
    const int32_t b = CodeBlockSize(width, height);
    if (b == 0) return;
    for (int32_t k = 0; k <= kCodeBits; ++k) {
        // Block 0 is the start block; blocks 1.. carry the bits, MSB first.
        const bool on = k == 0 || ((static_cast<uint32_t>(index) >> (kCodeBits - k)) & 1u) != 0;
        const uint32_t c = on ? Bgrx(255, 255, 255) : 0u;
        for (int32_t y = 0; y < b; ++y) {
            for (int32_t x = k * b; x < (k + 1) * b; ++x) {
                img[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                    c;
            }
        }
    }
    // A black row of blocks below keeps the ring's colours off the code.
    for (int32_t y = b; y < std::min(height, 2 * b); ++y) {
        for (int32_t x = 0; x < (kCodeBits + 1) * b; ++x) {
            img[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = 0;
        }
    }
}

GstClockTime FrameTime(const TestVideoOptions& clip, int64_t index) {
    return gst_util_uint64_scale(static_cast<guint64>(index),
                                 GST_SECOND * static_cast<guint64>(clip.fpsDen),
                                 static_cast<guint64>(clip.fpsNum));
}

bool IsMpeg2Rate(int32_t num, int32_t den) {
    const int32_t g = std::gcd(num, den);
    num /= g;
    den /= g;
    const int32_t rates[][2] = {{24000, 1001}, {24, 1}, {25, 1},       {30000, 1001},
                                {30, 1},       {50, 1}, {60000, 1001}, {60, 1}};
    for (const auto& r : rates) {
        if (r[0] == num && r[1] == den) return true;
    }
    return false;
}

std::string PipelineText(const TestVideoFormat& f, const TestVideoOptions& clip, int32_t ew,
                         int32_t eh) {
    std::string s =
        "appsrc name=frames format=time caps=video/x-raw,format=BGRx,width=" + std::to_string(ew) +
        ",height=" + std::to_string(eh) + ",framerate=" + std::to_string(clip.fpsNum) + "/" +
        std::to_string(clip.fpsDen) + ",pixel-aspect-ratio=1/1" +
        " ! videoconvert ! video/x-raw,format=" + f.videoCaps + " ! " + f.videoEncoder +
        " ! queue ! mux. " + f.muxer + " name=mux ! filesink name=out";
    if (clip.audio && !f.audioEncoder.empty()) {
        // The tone stops a little before the picture so that the container's
        // length is the picture's, whatever the sound encoder pads.
        int64_t videoNs = static_cast<int64_t>(FrameTime(clip, clip.frames));
        if (clip.lengthNs > 0) videoNs = std::min(videoNs, clip.lengthNs);
        const int64_t samples = videoNs / 1000 * kAudioRate / 1000000 - 4096;
        const int64_t buffers = std::max<int64_t>(1, samples / 1024);
        // The libav video encoders start their timestamps at 1000 hours
        // (room for negative decoding times); asfmux keeps raw timestamps,
        // so the sound has to start there as well.
        const bool asf = f.muxer == "asfmux";
        s += std::string(" audiotestsrc") + (asf ? " timestamp-offset=3600000000000000" : "") +
             " wave=sine freq=440 volume=0.2 samplesperbuffer=1024 num-buffers=" +
             std::to_string(buffers) + " ! audio/x-raw,rate=" + std::to_string(kAudioRate) +
             ",channels=2 ! audioconvert ! audioresample ! " + f.audioEncoder + " ! queue ! mux.";
    }
    return s;
}

}  // namespace

std::optional<TestVideoFormat> TestVideoFormatFor(const std::string& extension) {
    const std::string e = Lower(extension);
    for (const auto& f : kFormats) {
        if (f.extension == e) return f;
    }
    return std::nullopt;
}

std::vector<std::string> TestVideoExtensions() {
    std::vector<std::string> out;
    for (const auto& f : kFormats) out.push_back(f.extension);
    return out;
}

void EncodedSize(const TestVideoFormat& format, int32_t width, int32_t height, int32_t* outWidth,
                 int32_t* outHeight) {
    *outWidth = format.evenSize ? width + (width & 1) : width;
    *outHeight = format.evenSize ? height + (height & 1) : height;
}

int32_t CodeBlockSize(int32_t width, int32_t height) {
    const int32_t b = std::min({8, width / (kCodeBits + 2), height / 4});
    return b >= 2 ? b : 0;
}

int32_t ReadFrameNumber(const uint32_t* bottomUp, int32_t width, int32_t height) {
    const int32_t b = CodeBlockSize(width, height);
    if (b == 0 || bottomUp == nullptr) return -1;
    int32_t value = 0;
    for (int32_t k = 0; k <= kCodeBits; ++k) {
        // Average the middle of the block: its edges blur under coding.
        int64_t sum = 0, n = 0;
        for (int32_t y = b / 4; y < b - b / 4; ++y) {
            const uint32_t* row =
                bottomUp + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width);
            for (int32_t x = k * b + b / 4; x < (k + 1) * b - b / 4; ++x) {
                const uint32_t p = row[x];
                sum += (p & 0xff) + ((p >> 8) & 0xff) * 2 + ((p >> 16) & 0xff);
                ++n;
            }
        }
        const bool on = n > 0 && sum / n >= 4 * 128;
        if (k == 0) {
            if (!on) return -1;
        } else {
            value = value * 2 + (on ? 1 : 0);
        }
    }
    return value;
}

void RenderTestFrame(const TestVideoOptions& clip, int32_t index, uint32_t* img) {
    const SceneRing ring = RingFor(clip);
    const std::vector<uint32_t> bg = RenderBackground(clip, ring);
    std::memcpy(img, bg.data(), bg.size() * sizeof(uint32_t));
    DrawMovingMarker(clip, ring, index, img);
    DrawFrameCode(clip.width, clip.height, index, img);
}

std::string MakeTestVideo(const TestVideoOptions& clip) {
    if (clip.path.empty()) return "no output file given";
    const std::string ext = ExtensionOf(clip.path);
    const auto format = TestVideoFormatFor(ext);
    if (!format)
        return "unsupported file type '." + ext +
               "' (use one of mp4 mov mkv webm ogv avi asf wmv flv mpg ts m2ts)";
    if (clip.width < 16 || clip.height < 16 || clip.width > kMaxSide || clip.height > kMaxSide) {
        return "frame size must be between 16x16 and 8192x8192";
    }
    if (clip.fpsNum <= 0 || clip.fpsDen <= 0 || clip.fpsNum / clip.fpsDen > 240) {
        return "frame rate must be positive and at most 240";
    }
    if (clip.frames < 1 || clip.frames > 1'000'000) return "length must be 1 to 1000000 frames";
    if ((ext == "mpg" || ext == "mpeg") && !IsMpeg2Rate(clip.fpsNum, clip.fpsDen)) {
        return "MPEG-2 takes only 23.976, 24, 25, 29.97, 30, 50, 59.94 or 60 frames per second";
    }
    if (!EnsureGstInitialised()) return "GStreamer cannot be initialised";

    int32_t ew = 0, eh = 0;
    EncodedSize(*format, clip.width, clip.height, &ew, &eh);
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(PipelineText(*format, clip, ew, eh).c_str(), &error);
    if (pipeline == nullptr || error != nullptr) {
        std::string msg = "cannot build the encoder for ." + ext;
        if (error != nullptr) {
            msg += ": " + std::string(error->message);
            g_error_free(error);
        }
        if (pipeline != nullptr) gst_object_unref(pipeline);
        return msg;
    }
    GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    g_object_set(out, "location", clip.path.c_str(), nullptr);
    gst_object_unref(out);
    GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "frames");
    g_object_set(src, "block", TRUE, "max-bytes", static_cast<guint64>(4) * ew * eh * 4, nullptr);

    std::string result;
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        result = "cannot start the encoder (is the output folder writable?)";
    }
    const SceneRing ring = RingFor(clip);
    const std::vector<uint32_t> bg = RenderBackground(clip, ring);
    GstBus* bus = gst_element_get_bus(pipeline);
    for (int32_t i = 0; result.empty() && i < clip.frames; ++i) {
        const size_t bytes = size_t{4} * static_cast<size_t>(ew) * static_cast<size_t>(eh);
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_WRITE);
        auto* px = reinterpret_cast<uint32_t*>(map.data);
        std::vector<uint32_t> frame(bg);
        DrawMovingMarker(clip, ring, i, frame.data());
        DrawFrameCode(clip.width, clip.height, i, frame.data());
        std::memset(map.data, 0, bytes);  // padding of odd sizes stays black
        for (int32_t y = 0; y < clip.height; ++y) {
            std::memcpy(px + static_cast<size_t>(y) * static_cast<size_t>(ew),
                        frame.data() + static_cast<size_t>(y) * static_cast<size_t>(clip.width),
                        size_t{4} * static_cast<size_t>(clip.width));
        }
        gst_buffer_unmap(buffer, &map);
        GST_BUFFER_PTS(buffer) = FrameTime(clip, i);
        GST_BUFFER_DTS(buffer) = GST_BUFFER_PTS(buffer);
        GstClockTime end = FrameTime(clip, i + 1);
        if (i == clip.frames - 1 && clip.lengthNs > 0 &&
            static_cast<GstClockTime>(clip.lengthNs) > FrameTime(clip, i)) {
            end = std::min(end, static_cast<GstClockTime>(clip.lengthNs));
        }
        GST_BUFFER_DURATION(buffer) = end - FrameTime(clip, i);
        if (gst_app_src_push_buffer(GST_APP_SRC(src), buffer) != GST_FLOW_OK) {
            result = "the encoder stopped early";
        }
        if (GstMessage* m = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
            GError* e = nullptr;
            gst_message_parse_error(m, &e, nullptr);
            result =
                std::string("encoding failed: ") + (e != nullptr ? e->message : "unknown error");
            if (e != nullptr) g_error_free(e);
            gst_message_unref(m);
        }
    }
    gst_app_src_end_of_stream(GST_APP_SRC(src));
    gst_object_unref(src);
    if (result.empty()) {
        // Bounded: a stuck encoder ends with a message, not a hang.
        const GstClockTime bound = GST_SECOND * (60 + static_cast<GstClockTime>(clip.frames) / 5);
        GstMessage* m = gst_bus_timed_pop_filtered(
            bus, bound, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        if (m == nullptr) {
            result = "encoding did not finish in time";
        } else {
            if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR) {
                GError* e = nullptr;
                gst_message_parse_error(m, &e, nullptr);
                result = std::string("encoding failed: ") +
                         (e != nullptr ? e->message : "unknown error");
                if (e != nullptr) g_error_free(e);
            }
            gst_message_unref(m);
        }
    }
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return result;
}

}  // namespace hv
