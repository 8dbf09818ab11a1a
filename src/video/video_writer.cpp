#include "video/video_writer.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/audio/audio.h>
#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <numeric>
#include <system_error>

#include "video/gst_frame_source.h"

namespace hv {

namespace {

constexpr int32_t kAudioRate = 44100;
constexpr int32_t kMinSide = 16;
constexpr int32_t kMaxSide = 8192;
constexpr int32_t kMaxFps = 240;
// Frames the appsrc holds before Write waits for the encoder.
constexpr guint64 kQueuedFrames = 4;
// Samples the tone stops before the end of the picture.
constexpr int64_t kToneMarginSamples = 4096;
constexpr int64_t kToneBufferSamples = 1024;
// The libav video encoders start their timestamps at 1000 hours (room for
// negative decoding times); asfmux keeps raw timestamps, so the sound has
// to start there as well.
constexpr GstClockTime kAsfStart = GST_SECOND * 3600 * 1000;
// Bounds of the waits: a stuck encoder ends with a message, not a hang.
constexpr auto kStallBound = std::chrono::seconds(60);
constexpr auto kRoomPoll = std::chrono::milliseconds(50);
constexpr GstClockTime kDiscoverBound = GST_SECOND * 10;

// x264 at constant quantizer: fast enough for 4K test files, clean enough
// for small blocks of detail; a key frame at least every second keeps
// accurate seeks cheap.
const char* kX264 =
    "x264enc speed-preset=ultrafast pass=quant quantizer=20 key-int-max=25 ! h264parse";

const VideoWriterFormat kFormats[] = {
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

bool IsAsf(const VideoWriterFormat& f) {
    return f.muxer == "asfmux";
}

// The element name of a launch fragment ("mpegtsmux m2ts-mode=true").
std::string FirstWord(const std::string& s) {
    return s.substr(0, s.find(' '));
}

GstClockTime FrameTime(const VideoWriterSettings& s, int64_t index) {
    return static_cast<GstClockTime>(VideoFrameTimeNs(s.fpsNum, s.fpsDen, index));
}

// One text for a GStreamer error: its message, and the system's reason
// when the element gave one ("Permission denied", "No space left ...").
std::string ErrorText(GError* error, const gchar* debug) {
    std::string text = error != nullptr ? error->message : "unknown error";
    if (debug != nullptr) {
        const std::string d = debug;
        const std::string tag = "system error: ";
        const size_t at = d.find(tag);
        if (at != std::string::npos) {
            text += " (" + d.substr(at + tag.size()) + ")";
        } else {
            // A failed write of filesink ("Could not write to resource.")
            // names the reason ("File too large") only at the end of its
            // detail: "Error while writing to file descriptor N: <reason>".
            const size_t line = d.rfind('\n');
            const std::string last = d.substr(line == std::string::npos ? 0 : line + 1);
            const size_t colon = last.rfind(": ");
            if (last.rfind("Error while writing", 0) == 0 && colon != std::string::npos)
                text += " (" + last.substr(colon + 2) + ")";
        }
    }
    return text;
}

// The first sound stream of a file, as it is stored (not decoded).
// Returns its caps (caller unrefs) or nullptr with *error set.
GstCaps* StoredAudioCaps(const std::string& path, std::string* error) {
    GError* gerror = nullptr;
    gchar* uri = gst_filename_to_uri(path.c_str(), &gerror);
    if (uri == nullptr) {
        *error = "bad sound file name '" + path + "'";
        if (gerror != nullptr) g_error_free(gerror);
        return nullptr;
    }
    GstDiscoverer* discoverer = gst_discoverer_new(kDiscoverBound, &gerror);
    if (discoverer == nullptr) {
        *error = "cannot read sound files: " + ErrorText(gerror, nullptr);
        if (gerror != nullptr) g_error_free(gerror);
        g_free(uri);
        return nullptr;
    }
    GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri, &gerror);
    g_free(uri);
    GstCaps* caps = nullptr;
    if (info == nullptr || gst_discoverer_info_get_result(info) != GST_DISCOVERER_OK) {
        *error = "cannot read the sound file '" + path + "'";
        if (gerror != nullptr) *error += ": " + ErrorText(gerror, nullptr);
    } else {
        GList* streams = gst_discoverer_info_get_audio_streams(info);
        if (streams == nullptr) {
            *error = "'" + path + "' has no sound";
        } else {
            caps = gst_discoverer_stream_info_get_caps(
                static_cast<GstDiscovererStreamInfo*>(streams->data));
            if (caps == nullptr) *error = "cannot read the sound format of '" + path + "'";
        }
        gst_discoverer_stream_info_list_free(streams);
    }
    if (gerror != nullptr) g_error_free(gerror);
    if (info != nullptr) gst_discoverer_info_unref(info);
    g_object_unref(discoverer);
    return caps;
}

}  // namespace

bool HasSoundStream(const std::string& path) {
    if (!EnsureGstInitialised()) return false;
    std::string error;
    GstCaps* caps = StoredAudioCaps(path, &error);
    if (caps == nullptr) return false;
    gst_caps_unref(caps);
    return true;
}

namespace {

// True when a sink pad template of the muxer takes these caps as they are.
bool MuxerTakes(const std::string& muxer, const GstCaps* caps) {
    GstElementFactory* factory = gst_element_factory_find(muxer.c_str());
    if (factory == nullptr) return false;
    bool takes = false;
    for (const GList* l = gst_element_factory_get_static_pad_templates(factory);
         l != nullptr && !takes; l = l->next) {
        auto* t = static_cast<GstStaticPadTemplate*>(l->data);
        if (t->direction != GST_PAD_SINK) continue;
        GstCaps* templateCaps = gst_static_pad_template_get_caps(t);
        takes = gst_caps_can_intersect(templateCaps, caps);
        gst_caps_unref(templateCaps);
    }
    gst_object_unref(factory);
    return takes;
}

// asfmux keeps raw timestamps: the sound leaving `last` moves to where the
// picture starts (kAsfStart).
void OffsetSoundForAsf(GstElement* last) {
    GstPad* pad = gst_element_get_static_pad(last, "src");
    gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo* info, gpointer) {
            GstBuffer* b = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
            if (GST_BUFFER_PTS_IS_VALID(b)) GST_BUFFER_PTS(b) += kAsfStart;
            if (GST_BUFFER_DTS_IS_VALID(b)) GST_BUFFER_DTS(b) += kAsfStart;
            GST_PAD_PROBE_INFO_DATA(info) = b;
            return GST_PAD_PROBE_OK;
        },
        nullptr, nullptr);
    gst_object_unref(pad);
}

// A pad appearing on a parser or decoder (streaming thread) links to the
// target when its caps start with the prefix and the target is still free.
struct PadLink {
    GstPad* target = nullptr;  // owned
    const char* prefix = "";
};

void LinkPadByPrefix(GstElement*, GstPad* pad, gpointer data) {
    const auto* link = static_cast<const PadLink*>(data);
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (caps == nullptr) caps = gst_pad_query_caps(pad, nullptr);
    const bool wanted =
        caps != nullptr && !gst_caps_is_empty(caps) && !gst_caps_is_any(caps) &&
        g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps, 0)), link->prefix);
    if (caps != nullptr) gst_caps_unref(caps);
    if (wanted && !gst_pad_is_linked(link->target)) gst_pad_link(pad, link->target);
}

std::string PipelineText(const VideoWriterFormat& f, const VideoWriterSettings& s, int32_t ew,
                         int32_t eh, bool copyAudio) {
    std::string text =
        "appsrc name=frames format=time caps=video/x-raw,format=BGRx,width=" + std::to_string(ew) +
        ",height=" + std::to_string(eh) + ",framerate=" + std::to_string(s.fpsNum) + "/" +
        std::to_string(s.fpsDen) + ",pixel-aspect-ratio=1/1" +
         " ! videoconvert ! video/x-raw,format=" + f.videoCaps + " ! " +
        (s.videoEncoder.empty() ? f.videoEncoder : s.videoEncoder) +
        " ! queue ! mux. " + f.muxer + " name=mux ! filesink name=out";
    if (s.tone) {
        const int64_t samples =
            s.tone->pictureNs / 1000 * kAudioRate / 1000000 - kToneMarginSamples;
        const int64_t buffers = std::max<int64_t>(1, samples / kToneBufferSamples);
        text += std::string(" audiotestsrc") +
                (IsAsf(f) ? " timestamp-offset=" + std::to_string(kAsfStart) : "") +
                " wave=sine freq=440 volume=0.2 samplesperbuffer=" +
                std::to_string(kToneBufferSamples) + " num-buffers=" + std::to_string(buffers) +
                " ! audio/x-raw,rate=" + std::to_string(kAudioRate) +
                ",channels=2 ! audioconvert ! audioresample ! " + f.audioEncoder +
                " ! queue ! mux.";
    } else if (!s.audioSourcePath.empty() && s.audioPart) {
        // The part arrives decoded from the sound pipeline (OpenSoundPart).
        text += " appsrc name=soundpart format=time ! audioconvert ! audioresample ! " +
                f.audioEncoder + " ! queue name=audioout ! mux.";
    } else if (!s.audioSourcePath.empty()) {
        // The file's stream reaches "audioin" through a pad that appears
        // while it is read (linked in OnSourcePad).
        if (copyAudio) {
            text +=
                " filesrc name=audiofile ! parsebin name=audiosource"
                " queue name=audioin";  // linked to the muxer by caps in Open
        } else {
            text +=
                " filesrc name=audiofile ! decodebin name=audiosource"
                " audioconvert name=audioin ! audioresample ! " +
                f.audioEncoder + " ! queue name=audioout ! mux.";
        }
    }
    return text;
}

}  // namespace

std::optional<VideoWriterFormat> VideoWriterFormatFor(const std::string& extension) {
    const std::string e = Lower(extension);
    for (const auto& f : kFormats) {
        if (f.extension == e) return f;
    }
    return std::nullopt;
}

std::vector<std::string> VideoWriterExtensions() {
    std::vector<std::string> out;
    for (const auto& f : kFormats) out.push_back(f.extension);
    return out;
}

std::string VideoExtensionOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return Lower(path.substr(dot + 1));
}

int64_t VideoFrameTimeNs(int32_t fpsNum, int32_t fpsDen, int64_t index) {
    // gst_util_uint64_scale keeps a 128-bit intermediate: exact for every
    // index, frame rate and length the writer takes.
    return static_cast<int64_t>(gst_util_uint64_scale(static_cast<guint64>(index),
                                                      GST_SECOND * static_cast<guint64>(fpsDen),
                                                      static_cast<guint64>(fpsNum)));
}

void EncodedSize(const VideoWriterFormat& format, int32_t width, int32_t height, int32_t* outWidth,
                 int32_t* outHeight) {
    *outWidth = format.evenSize ? width + (width & 1) : width;
    *outHeight = format.evenSize ? height + (height & 1) : height;
}

struct VideoWriter::Impl {
    // Set in Open, then read-only.
    VideoWriterSettings settings;
    VideoWriterFormat format;
    int32_t ew = 0, eh = 0;
    guint64 maxBytes = 0;
    GstElement* pipeline = nullptr;
    GstElement* appsrc = nullptr;
    GstBus* bus = nullptr;
    GstPad* audioTarget = nullptr;  // sink pad the sound file's stream links to
    bool audioCopied = false;       // the stream goes in as stored (else decoded)
    // A sound part (audioPart): its own pipeline reads and decodes the file
    // (parsebin, then a decoder for the sound stream only, into an appsink)
    // and its streaming thread hands the part to "soundpart", the appsrc of
    // the writer's pipeline. Set in Open; torn down after the writer's
    // pipeline, which releases a push blocked in the appsrc.
    GstElement* soundPipeline = nullptr;
    GstBus* soundBus = nullptr;
    GstElement* soundIn = nullptr;
    PadLink parsedLink, decodedLink;
    // The sound pipeline's streaming thread only: the caps soundIn has.
    GstCaps* soundCaps = nullptr;

    // The owner's thread only.
    GstBuffer* pending = nullptr;  // the last frame, held until its length is known
    int64_t written = 0;
    bool fileOpened = false;  // filesink opened the file: a failure removes it
    bool done = false;        // finished or failed: the pipeline is down
    std::string failure;

    // Shared with GStreamer's threads (bus handler, need-data), behind mu.
    std::mutex mu;
    std::condition_variable cv;
    std::string busError;  // the first error the pipeline posted
    bool eos = false;
    bool room = false;  // the appsrc asked for data since the last wait

    ~Impl();
    static GstBusSyncReply OnBusMessage(GstBus* bus, GstMessage* message, gpointer self);
    static void OnNeedData(GstAppSrc* src, guint length, gpointer self);
    static void OnSourcePad(GstElement* element, GstPad* pad, gpointer self);
    static GstFlowReturn OnSoundSample(GstAppSink* sink, gpointer self);
    static void OnSoundEnd(GstAppSink* sink, gpointer self);
    bool OpenSoundPart(std::string* error);
    std::string BusError();
    bool Fail(const std::string& message, std::string* error);
    void Stop();
    bool WaitForRoom(std::string* error);
    bool PushPending(bool last, std::string* error);
};

VideoWriter::Impl::~Impl() {
    if (pending != nullptr) gst_buffer_unref(pending);
    Stop();
    if (soundPipeline != nullptr) {
        gst_element_set_state(soundPipeline, GST_STATE_NULL);
        gst_object_unref(soundPipeline);
    }
    if (soundBus != nullptr) {
        gst_bus_set_sync_handler(soundBus, nullptr, nullptr, nullptr);
        gst_object_unref(soundBus);
    }
    if (parsedLink.target != nullptr) gst_object_unref(parsedLink.target);
    if (decodedLink.target != nullptr) gst_object_unref(decodedLink.target);
    if (soundCaps != nullptr) gst_caps_unref(soundCaps);
    if (soundIn != nullptr) gst_object_unref(soundIn);
    if (audioTarget != nullptr) gst_object_unref(audioTarget);
    if (appsrc != nullptr) gst_object_unref(appsrc);
    if (bus != nullptr) {
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
    }
    if (pipeline != nullptr) gst_object_unref(pipeline);
}

// The one place pipeline messages are handled, on the posting thread: the
// first error becomes the writer's failure text; end of stream is noted.
// Nothing is kept on the bus.
GstBusSyncReply VideoWriter::Impl::OnBusMessage(GstBus*, GstMessage* message, gpointer self) {
    auto* impl = static_cast<Impl*>(self);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError* error = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(message, &error, &debug);
        const std::string text = ErrorText(error, debug);
        if (error != nullptr) g_error_free(error);
        g_free(debug);
        {
            std::lock_guard<std::mutex> lock(impl->mu);
            if (impl->busError.empty()) impl->busError = text;
        }
        impl->cv.notify_all();
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS &&
               GST_MESSAGE_SRC(message) == GST_OBJECT(impl->pipeline)) {
        {
            std::lock_guard<std::mutex> lock(impl->mu);
            impl->eos = true;
        }
        impl->cv.notify_all();
    }
    // A handler that drops a message owns it: each holds a reference to
    // its source, so one kept would keep the pipeline (and its bus's
    // descriptors) alive after the writer is gone.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

void VideoWriter::Impl::OnNeedData(GstAppSrc*, guint, gpointer self) {
    auto* impl = static_cast<Impl*>(self);
    {
        std::lock_guard<std::mutex> lock(impl->mu);
        impl->room = true;
    }
    impl->cv.notify_all();
}

// A stream of the sound file appeared (streaming thread): the first sound
// stream links to the sound branch, every other stream stays unlinked.
void VideoWriter::Impl::OnSourcePad(GstElement*, GstPad* pad, gpointer self) {
    auto* impl = static_cast<Impl*>(self);
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (caps == nullptr) caps = gst_pad_query_caps(pad, nullptr);
    const GstStructure* s = caps != nullptr && !gst_caps_is_empty(caps) && !gst_caps_is_any(caps)
                                ? gst_caps_get_structure(caps, 0)
                                : nullptr;
    const bool wanted =
        s != nullptr && (impl->audioCopied ? g_str_has_prefix(gst_structure_get_name(s), "audio/")
                                           : gst_structure_has_name(s, "audio/x-raw"));
    if (caps != nullptr) gst_caps_unref(caps);
    if (wanted && !gst_pad_is_linked(impl->audioTarget)) gst_pad_link(pad, impl->audioTarget);
}

// A decoded piece of the sound file (the sound pipeline's streaming thread):
// what lies inside the part, moved so that its start is time 0, goes to the
// writer's pipeline. A push refused because the writer stopped ends the
// sound pipeline's stream quietly.
GstFlowReturn VideoWriter::Impl::OnSoundSample(GstAppSink* sink, gpointer self) {
    auto* impl = static_cast<Impl*>(self);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (sample == nullptr) return GST_FLOW_FLUSHING;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstCaps* caps = gst_sample_get_caps(sample);
    const GstSegment* segment = gst_sample_get_segment(sample);
    GstAudioInfo info;
    GstFlowReturn flow = GST_FLOW_OK;
    if (buffer != nullptr && caps != nullptr && segment != nullptr &&
        segment->format == GST_FORMAT_TIME && gst_audio_info_from_caps(&info, caps)) {
        // The decoder starts at the stored frame that holds the part's start
        // and the stop may fall inside one: cut to the sample.
        GstBuffer* part = gst_audio_buffer_clip(
            gst_buffer_ref(buffer), segment, GST_AUDIO_INFO_RATE(&info), GST_AUDIO_INFO_BPF(&info));
        if (part != nullptr) {
            part = gst_buffer_make_writable(part);
            const GstClockTime at =
                gst_segment_to_running_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(part));
            if (GST_CLOCK_TIME_IS_VALID(at)) {
                GST_BUFFER_PTS(part) = at;
                GST_BUFFER_DTS(part) = GST_CLOCK_TIME_NONE;
                if (impl->soundCaps == nullptr || !gst_caps_is_equal(impl->soundCaps, caps)) {
                    gst_caps_replace(&impl->soundCaps, caps);
                    gst_app_src_set_caps(GST_APP_SRC(impl->soundIn), caps);
                }
                flow = gst_app_src_push_buffer(GST_APP_SRC(impl->soundIn), part);
            } else {
                gst_buffer_unref(part);
            }
        }
    }
    gst_sample_unref(sample);
    return flow;
}

void VideoWriter::Impl::OnSoundEnd(GstAppSink*, gpointer self) {
    gst_app_src_end_of_stream(GST_APP_SRC(static_cast<Impl*>(self)->soundIn));
}

// Builds the sound pipeline of a part, prerolls it, seeks it accurately to
// the part (start and stop) and waits for it to preroll there. The writer's
// pipeline is built but not started; the sound pipeline is started after it.
bool VideoWriter::Impl::OpenSoundPart(std::string* error) {
    const VideoWriterSoundPart& part = *settings.audioPart;
    GError* gerror = nullptr;
    soundPipeline = gst_parse_launch(
        "filesrc name=file ! parsebin name=parse  decodebin name=decode"
        "  audioconvert name=convert ! audio/x-raw,format=F32LE,layout=interleaved"
        " ! appsink name=sink sync=false",
        &gerror);
    if (soundPipeline == nullptr || gerror != nullptr) {
        *error = "cannot read sound files";
        if (gerror != nullptr) {
            *error += ": " + std::string(gerror->message);
            g_error_free(gerror);
        }
        return false;
    }
    GstBin* bin = GST_BIN(soundPipeline);
    soundBus = gst_element_get_bus(soundPipeline);
    gst_bus_set_sync_handler(soundBus, &Impl::OnBusMessage, this, nullptr);
    GstElement* file = gst_bin_get_by_name(bin, "file");
    g_object_set(file, "location", settings.audioSourcePath.c_str(), nullptr);
    gst_object_unref(file);
    // Only the sound stream is decoded: the picture's stays unlinked.
    GstElement* decode = gst_bin_get_by_name(bin, "decode");
    parsedLink = {gst_element_get_static_pad(decode, "sink"), "audio/"};
    GstElement* parse = gst_bin_get_by_name(bin, "parse");
    g_signal_connect(parse, "pad-added", G_CALLBACK(&LinkPadByPrefix), &parsedLink);
    gst_object_unref(parse);
    GstElement* convert = gst_bin_get_by_name(bin, "convert");
    decodedLink = {gst_element_get_static_pad(convert, "sink"), "audio/x-raw"};
    gst_object_unref(convert);
    g_signal_connect(decode, "pad-added", G_CALLBACK(&LinkPadByPrefix), &decodedLink);
    gst_object_unref(decode);

    GstElement* sink = gst_bin_get_by_name(bin, "sink");
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &Impl::OnSoundSample;
    callbacks.eos = &Impl::OnSoundEnd;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
    const std::string name = "'" + settings.audioSourcePath + "'";
    auto prerolled = [&] {
        GstState state = GST_STATE_NULL;
        return gst_element_get_state(soundPipeline, &state, nullptr, kDiscoverBound) ==
                   GST_STATE_CHANGE_SUCCESS &&
               BusError().empty();
    };
    bool ok = gst_element_set_state(soundPipeline, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE &&
              prerolled();
    if (!ok) {
        const std::string text = BusError();
        *error = "cannot read the sound of " + name + (text.empty() ? "" : ": " + text);
    } else {
        ok = gst_element_seek(
                 soundPipeline, 1.0, GST_FORMAT_TIME,
                 static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                 GST_SEEK_TYPE_SET, static_cast<gint64>(std::max<int64_t>(0, part.startNs)),
                 part.endNs < 0 ? GST_SEEK_TYPE_NONE : GST_SEEK_TYPE_SET,
                 static_cast<gint64>(std::max<int64_t>(-1, part.endNs))) &&
             prerolled();
        if (!ok) *error = "cannot seek in the sound of " + name;
    }
    if (ok) {
        // The caps the part starts with (a part past the sound's end has
        // none: the first preroll's stand in).
        GstPad* pad = gst_element_get_static_pad(sink, "sink");
        soundCaps = gst_pad_get_current_caps(pad);
        gst_object_unref(pad);
        GstAudioInfo info;
        if (soundCaps == nullptr || !gst_audio_info_from_caps(&info, soundCaps)) {
            *error = "cannot read the sound format of " + name;
            ok = false;
        } else {
            // About a second queued ahead of the muxer; the streaming thread
            // waits in the push beyond it.
            g_object_set(
                soundIn, "caps", soundCaps, "block", TRUE, "max-bytes",
                static_cast<guint64>(GST_AUDIO_INFO_RATE(&info)) * GST_AUDIO_INFO_BPF(&info),
                nullptr);
        }
    }
    gst_object_unref(sink);
    return ok;
}

std::string VideoWriter::Impl::BusError() {
    std::lock_guard<std::mutex> lock(mu);
    return busError;
}

// Takes the pipeline down (filesink closes the file). Safe to call more
// than once; removing a failed file is Fail's part.
void VideoWriter::Impl::Stop() {
    if (pipeline == nullptr || done) return;
    done = true;
    gst_element_set_state(pipeline, GST_STATE_NULL);
    if (soundPipeline != nullptr) gst_element_set_state(soundPipeline, GST_STATE_NULL);
}

bool VideoWriter::Impl::Fail(const std::string& message, std::string* error) {
    if (failure.empty()) failure = message;
    if (error != nullptr) *error = failure;
    if (pending != nullptr) {
        gst_buffer_unref(pending);
        pending = nullptr;
    }
    Stop();
    // Only a regular file we opened: never a device (/dev/full) or a file
    // filesink could not open.
    std::error_code ec;
    if (fileOpened && std::filesystem::is_regular_file(settings.path, ec)) {
        std::filesystem::remove(settings.path, ec);
    }
    fileOpened = false;
    return false;
}

// Waits until the appsrc holds less than its limit, the pipeline fails, or
// the encoder has taken nothing for kStallBound.
bool VideoWriter::Impl::WaitForRoom(std::string* error) {
    guint64 level = gst_app_src_get_current_level_bytes(GST_APP_SRC(appsrc));
    auto lastProgress = std::chrono::steady_clock::now();
    while (level >= maxBytes) {
        {
            std::unique_lock<std::mutex> lock(mu);
            // need-data wakes this at once; the poll covers a wake-up that
            // came before the level was read.
            cv.wait_for(lock, kRoomPoll, [this] { return room || !busError.empty(); });
            room = false;
            if (!busError.empty()) {
                const std::string text = busError;
                lock.unlock();
                return Fail("encoding failed: " + text, error);
            }
        }
        const guint64 now = gst_app_src_get_current_level_bytes(GST_APP_SRC(appsrc));
        if (now < level) lastProgress = std::chrono::steady_clock::now();
        level = now;
        if (std::chrono::steady_clock::now() - lastProgress > kStallBound) {
            return Fail("the encoder stopped taking frames", error);
        }
    }
    return true;
}

bool VideoWriter::Impl::PushPending(bool last, std::string* error) {
    if (pending == nullptr) return true;
    if (last && settings.endNs > 0) {
        const GstClockTime start = GST_BUFFER_PTS(pending);
        const auto end = static_cast<GstClockTime>(settings.endNs);
        if (end > start) {
            GST_BUFFER_DURATION(pending) = std::min(GST_BUFFER_DURATION(pending), end - start);
        }
    }
    if (!WaitForRoom(error)) return false;
    GstBuffer* buffer = pending;
    pending = nullptr;
    if (gst_app_src_push_buffer(GST_APP_SRC(appsrc), buffer) != GST_FLOW_OK) {
        const std::string text = BusError();
        return Fail(text.empty() ? "the encoder stopped early" : "encoding failed: " + text, error);
    }
    const std::string text = BusError();
    if (!text.empty()) return Fail("encoding failed: " + text, error);
    return true;
}

VideoWriter::VideoWriter(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

VideoWriter::~VideoWriter() {
    if (!impl_->done) impl_->Fail("not finished", nullptr);
}

int32_t VideoWriter::EncodedWidth() const {
    return impl_->ew;
}

int32_t VideoWriter::EncodedHeight() const {
    return impl_->eh;
}

std::unique_ptr<VideoWriter> VideoWriter::Open(const VideoWriterSettings& s, std::string* error) {
    if (s.path.empty()) {
        *error = "no output file given";
        return nullptr;
    }
    const std::string ext = s.container.empty() ? VideoExtensionOf(s.path) : Lower(s.container);
    const auto format = VideoWriterFormatFor(ext);
    if (!format) {
        *error = "unsupported file type '." + ext +
                 "' (use one of mp4 mov mkv webm ogv avi asf wmv flv mpg ts m2ts)";
        return nullptr;
    }
    if (s.width < kMinSide || s.height < kMinSide || s.width > kMaxSide || s.height > kMaxSide) {
        *error = "frame size must be between 16x16 and 8192x8192";
        return nullptr;
    }
    if (s.fpsNum <= 0 || s.fpsDen <= 0 || s.fpsNum / s.fpsDen > kMaxFps) {
        *error = "frame rate must be positive and at most 240";
        return nullptr;
    }
    if ((ext == "mpg" || ext == "mpeg") && !IsMpeg2Rate(s.fpsNum, s.fpsDen)) {
        *error = "MPEG-2 takes only 23.976, 24, 25, 29.97, 30, 50, 59.94 or 60 frames per second";
        return nullptr;
    }
    if (s.tone && !s.audioSourcePath.empty()) {
        *error = "give a tone or a sound file, not both";
        return nullptr;
    }
    if (s.audioPart && (s.audioSourcePath.empty() ||
                        (s.audioPart->endNs >= 0 && s.audioPart->endNs <= s.audioPart->startNs))) {
        *error = "a sound part needs a sound file and an end after its start";
        return nullptr;
    }
    if ((s.tone || !s.audioSourcePath.empty()) && format->audioEncoder.empty()) {
        *error = "." + ext + " files take no sound";
        return nullptr;
    }
    if (!EnsureGstInitialised()) {
        *error = "GStreamer cannot be initialised";
        return nullptr;
    }

    auto impl = std::make_unique<Impl>();
    impl->settings = s;
    impl->format = *format;
    EncodedSize(*format, s.width, s.height, &impl->ew, &impl->eh);
    impl->maxBytes = kQueuedFrames * 4 * static_cast<guint64>(impl->ew) * impl->eh;

    GstCaps* audioCaps = nullptr;
    if (!s.audioSourcePath.empty()) {
        audioCaps = StoredAudioCaps(s.audioSourcePath, error);
        if (audioCaps == nullptr) return nullptr;
        impl->audioCopied = !s.audioPart && MuxerTakes(FirstWord(format->muxer), audioCaps);
    }

    GError* gerror = nullptr;
    impl->pipeline = gst_parse_launch(
        PipelineText(*format, s, impl->ew, impl->eh, impl->audioCopied).c_str(), &gerror);
    if (impl->pipeline == nullptr || gerror != nullptr) {
        *error = "cannot build the encoder for ." + ext;
        if (gerror != nullptr) {
            *error += ": " + std::string(gerror->message);
            g_error_free(gerror);
        }
        if (audioCaps != nullptr) gst_caps_unref(audioCaps);
        return nullptr;  // ~Impl releases a partly built pipeline
    }
    GstBin* bin = GST_BIN(impl->pipeline);
    impl->bus = gst_element_get_bus(impl->pipeline);
    gst_bus_set_sync_handler(impl->bus, &Impl::OnBusMessage, impl.get(), nullptr);

    GstElement* out = gst_bin_get_by_name(bin, "out");
    g_object_set(out, "location", s.path.c_str(), nullptr);
    gst_object_unref(out);
    impl->appsrc = gst_bin_get_by_name(bin, "frames");
    // Write waits for room itself (WaitForRoom), so that a failed pipeline
    // can never leave it blocked inside the appsrc.
    g_object_set(impl->appsrc, "block", FALSE, "max-bytes", impl->maxBytes, "min-percent", 50u,
                 nullptr);
    GstAppSrcCallbacks callbacks{};
    callbacks.need_data = &Impl::OnNeedData;
    gst_app_src_set_callbacks(GST_APP_SRC(impl->appsrc), &callbacks, impl.get(), nullptr);

    if (!s.audioSourcePath.empty() && s.audioPart) {
        impl->soundIn = gst_bin_get_by_name(bin, "soundpart");
        if (IsAsf(*format)) {
            GstElement* last = gst_bin_get_by_name(bin, "audioout");
            OffsetSoundForAsf(last);
            gst_object_unref(last);
        }
        gst_caps_unref(audioCaps);
        audioCaps = nullptr;
        if (!impl->OpenSoundPart(error)) return nullptr;
    } else if (!s.audioSourcePath.empty()) {
        std::string linkError;
        GstElement* file = gst_bin_get_by_name(bin, "audiofile");
        g_object_set(file, "location", s.audioSourcePath.c_str(), nullptr);
        gst_object_unref(file);
        GstElement* in = gst_bin_get_by_name(bin, "audioin");
        impl->audioTarget = gst_element_get_static_pad(in, "sink");
        GstElement* last = in;
        if (impl->audioCopied) {
            // The muxer's sound pad is chosen by the stream's caps: the
            // queue's own caps (ANY) would match its picture pad first.
            GstPad* queueOut = gst_element_get_static_pad(in, "src");
            GstElement* mux = gst_bin_get_by_name(bin, "mux");
            GstPad* muxIn = gst_element_get_compatible_pad(mux, queueOut, audioCaps);
            gst_object_unref(mux);
            if (muxIn == nullptr || GST_PAD_LINK_FAILED(gst_pad_link(queueOut, muxIn))) {
                linkError = "the container does not take the sound of '" + s.audioSourcePath + "'";
            }
            if (muxIn != nullptr) gst_object_unref(muxIn);
            gst_object_unref(queueOut);
        } else {
            gst_object_unref(in);
            last = gst_bin_get_by_name(bin, "audioout");
        }
        if (IsAsf(*format) && linkError.empty()) OffsetSoundForAsf(last);
        gst_object_unref(last);
        GstElement* source = gst_bin_get_by_name(bin, "audiosource");
        g_signal_connect(source, "pad-added", G_CALLBACK(&Impl::OnSourcePad), impl.get());
        gst_object_unref(source);
        if (!linkError.empty()) {
            *error = linkError;
            gst_caps_unref(audioCaps);
            return nullptr;
        }
    }
    if (audioCaps != nullptr) gst_caps_unref(audioCaps);

    std::error_code ec;
    const bool existed = std::filesystem::exists(s.path, ec);
    if (gst_element_set_state(impl->pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        const std::string text = impl->BusError();
        *error = "cannot write '" + s.path + "'" + (text.empty() ? "" : ": " + text);
        // filesink opens the file before the other elements start: an
        // element failing after it leaves an empty file of ours behind.
        impl->fileOpened = !existed;
        impl->Fail(*error, nullptr);
        return nullptr;
    }
    impl->fileOpened = true;
    if (impl->soundPipeline != nullptr &&
        gst_element_set_state(impl->soundPipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        impl->Fail("cannot read the sound of '" + s.audioSourcePath + "'", error);
        return nullptr;
    }
    const std::string text = impl->BusError();
    if (!text.empty()) {
        impl->Fail("cannot write '" + s.path + "': " + text, error);
        return nullptr;
    }
    return std::unique_ptr<VideoWriter>(new VideoWriter(std::move(impl)));
}

bool VideoWriter::Write(const FrameBuffer& frame, std::string* error) {
    Impl& d = *impl_;
    if (d.done) {
        *error = d.failure.empty() ? "the writer is finished" : d.failure;
        return false;
    }
    const VideoWriterSettings& s = d.settings;
    if (frame.width != s.width || frame.height != s.height ||
        frame.pixels.size() < static_cast<size_t>(s.width) * static_cast<size_t>(s.height)) {
        *error = "frame is " + std::to_string(frame.width) + "x" + std::to_string(frame.height) +
                 ", the file takes " + std::to_string(s.width) + "x" + std::to_string(s.height);
        return false;  // the caller's mistake: the file stays writable
    }
    const size_t bytes = size_t{4} * static_cast<size_t>(d.ew) * static_cast<size_t>(d.eh);
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
    GstMapInfo map;
    if (buffer == nullptr || !gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        if (buffer != nullptr) gst_buffer_unref(buffer);
        return d.Fail("out of memory for a frame", error);
    }
    auto* px = reinterpret_cast<uint32_t*>(map.data);
    if (d.ew != s.width || d.eh != s.height) std::memset(map.data, 0, bytes);  // black padding
    // Upright: the file's row y is the frame's memory row height - 1 - y.
    for (int32_t y = 0; y < s.height; ++y) {
        std::memcpy(
            px + static_cast<size_t>(y) * static_cast<size_t>(d.ew),
            frame.data() + static_cast<size_t>(s.height - 1 - y) * static_cast<size_t>(s.width),
            size_t{4} * static_cast<size_t>(s.width));
    }
    gst_buffer_unmap(buffer, &map);
    const GstClockTime start = FrameTime(s, d.written);
    GST_BUFFER_PTS(buffer) = start;
    GST_BUFFER_DTS(buffer) = start;
    GST_BUFFER_DURATION(buffer) = FrameTime(s, d.written + 1) - start;
    ++d.written;
    if (!d.PushPending(false, error)) {
        gst_buffer_unref(buffer);
        return false;
    }
    d.pending = buffer;
    return true;
}

bool VideoWriter::Finish(std::string* error) {
    Impl& d = *impl_;
    if (d.done) {
        *error = d.failure.empty() ? "the writer is finished" : d.failure;
        return false;
    }
    if (d.written == 0) return d.Fail("no frames written", error);
    if (!d.PushPending(true, error)) return false;
    gst_app_src_end_of_stream(GST_APP_SRC(d.appsrc));
    const auto bound = std::chrono::seconds(60 + d.written / 5);
    std::string text;
    bool eos = false;
    {
        std::unique_lock<std::mutex> lock(d.mu);
        d.cv.wait_for(lock, bound, [&d] { return d.eos || !d.busError.empty(); });
        text = d.busError;
        eos = d.eos;
    }
    if (!text.empty()) return d.Fail("encoding failed: " + text, error);
    if (!eos) return d.Fail("encoding did not finish in time", error);
    d.Stop();
    d.fileOpened = false;
    return true;
}

}  // namespace hv
