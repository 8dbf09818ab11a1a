#include "video/gst_frame_source.h"

#include <fcntl.h>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

namespace hv {

bool EnsureGstInitialised() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
        GError* error = nullptr;
        ok = gst_init_check(nullptr, nullptr, &error) != FALSE;
        if (error != nullptr) g_error_free(error);
    });
    return ok;
}

namespace {

std::atomic<int64_t> gLivePlanarPictures{0};

}  // namespace

int64_t LivePlanarPictures() {
    return gLivePlanarPictures.load();
}

namespace {

constexpr int64_t kNsPer100ns = 100;
constexpr auto kWaitForStateBound = std::chrono::seconds(5);

// The path names a regular file that this process can open for reading.
bool IsReadableFile(const std::string& path) {
    if (path.empty()) return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

// The 100 ns average time per frame of a prerolled picture: from the caps'
// frame rate, else from the picture's own duration, else 25 fps.
int64_t AvgTimePerFrameOf(const GstVideoInfo& info, GstBuffer* buffer) {
    if (int64_t avg = AvgTimePerFrameFromRate(info.fps_n, info.fps_d); avg > 0) return avg;
    if (buffer != nullptr && GST_BUFFER_DURATION_IS_VALID(buffer) &&
        GST_BUFFER_DURATION(buffer) >= static_cast<GstClockTime>(kNsPer100ns)) {
        return static_cast<int64_t>(
            std::nearbyint(static_cast<double>(GST_BUFFER_DURATION(buffer)) / kNsPer100ns));
    }
    return kFallbackAvgTimePerFrame;
}

bool IsPlanarFormat(GstVideoFormat f) {
    return f == GST_VIDEO_FORMAT_I420 || f == GST_VIDEO_FORMAT_NV12;
}

// The colour GStreamer's converter applies to the picture: the caps'
// matrix and range (gst_video_info_from_caps has already filled in
// GStreamer's default for caps without colorimetry); an unknown matrix is
// taken as BT.601 up to SD heights and BT.709 above.
YuvColour ColourOf(const GstVideoInfo& info) {
    YuvColour colour;
    GstVideoColorMatrix matrix = info.colorimetry.matrix;
    gdouble kr = 0, kb = 0;
    if (matrix == GST_VIDEO_COLOR_MATRIX_RGB ||
        !gst_video_color_matrix_get_Kr_Kb(matrix, &kr, &kb)) {
        matrix = info.height > 576 ? GST_VIDEO_COLOR_MATRIX_BT709 : GST_VIDEO_COLOR_MATRIX_BT601;
        gst_video_color_matrix_get_Kr_Kb(matrix, &kr, &kb);
    }
    colour.kr = kr;
    colour.kb = kb;
    colour.fullRange = info.colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255;
    return colour;
}

// A mapped sample behind a PlanarPicture; deleting it unmaps and unrefs.
struct MappedPicture {
    PlanarPicture picture;
    GstVideoFrame frame;
    GstSample* sample;
};

// Takes over the caller's reference to `sample`; null (the reference
// released) when it is not a mappable I420 / NV12 picture.
PlanarPictureRef MapPlanar(GstSample* sample) {
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstVideoInfo info;
    if (caps == nullptr || buffer == nullptr || !gst_video_info_from_caps(&info, caps) ||
        !IsPlanarFormat(GST_VIDEO_INFO_FORMAT(&info))) {
        gst_sample_unref(sample);
        return nullptr;
    }
    auto* mapped = new MappedPicture{};
    mapped->sample = sample;
    if (!gst_video_frame_map(&mapped->frame, &info, buffer, GST_MAP_READ)) {
        gst_sample_unref(sample);
        delete mapped;
        return nullptr;
    }
    PlanarPicture& p = mapped->picture;
    p.layout = GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_NV12 ? PlanarLayout::NV12
                                                                     : PlanarLayout::I420;
    p.width = info.width;
    p.height = info.height;
    const int planes = GST_VIDEO_FRAME_N_PLANES(&mapped->frame);
    for (int i = 0; i < planes && i < 3; ++i) {
        p.planes[i] = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped->frame, i));
        p.strides[i] = GST_VIDEO_FRAME_PLANE_STRIDE(&mapped->frame, i);
    }
    p.colour = ColourOf(info);
    gLivePlanarPictures.fetch_add(1);
    return PlanarPictureRef(&mapped->picture, [mapped](const PlanarPicture*) {
        gst_video_frame_unmap(&mapped->frame);
        gst_sample_unref(mapped->sample);
        delete mapped;
        gLivePlanarPictures.fetch_sub(1);
    });
}

// Set once a probe of the sound systems found no device; the process then
// plays sound into a fakesink that keeps the timing.
std::atomic<bool> gNoAudioDevice{false};

// autoaudiosink falls back to a fakesink of its own when no sound system
// opens.
bool PlaysIntoFakeSink(GstElement* autoSink) {
    bool fake = false;
    GstIterator* it = gst_bin_iterate_sinks(GST_BIN(autoSink));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto* e = GST_ELEMENT(g_value_get_object(&item));
        GstElementFactory* f = gst_element_get_factory(e);
        if (f != nullptr && g_strcmp0(GST_OBJECT_NAME(f), "fakesink") == 0) fake = true;
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return fake;
}

class GstFrameSource final : public FrameSource {
  public:
    ~GstFrameSource() override { Close(); }

    BuildStep Open(const std::string& path, const FrameSourceOptions& options) override {
        BeginOwnerWork();
        TearDown();
        ClearStreamError();
        options_ = options;
        if (options_.mode == FrameSourceMode::EveryFrame) options_.syncToClock = false;
        if (!options_.syncToClock) options_.withAudio = false;
        BuildStep step = Build(path, /*fakeAudio=*/false);
        if (step != BuildStep::None && audioFailed_.load() && options_.withAudio) {
            // The sound device broke the preroll: play with a silent sink
            // that keeps the timing instead.
            TearDown();
            ClearStreamError();
            step = Build(path, /*fakeAudio=*/true);
        }
        if (step != BuildStep::None) TearDown();
        EndOwnerWork(step == BuildStep::None ? pipeline_ : nullptr);
        return step;
    }

    bool HasAudio() const override { return audioLinked_.load(); }

    bool CurrentFrame(uint32_t* dst, int32_t* size) override {
        if (dst == nullptr || size == nullptr) return false;
        GstSample* sample = LatestSample();
        if (sample == nullptr) return false;
        const bool ok = CopyBottomUp(sample, dst, size);
        gst_sample_unref(sample);
        return ok;
    }

    PlanarPictureRef CurrentPicture() override {
        GstSample* sample = LatestSample();
        return sample != nullptr ? MapPlanar(sample) : nullptr;
    }

    uint64_t PictureSerial() const override { return serial_.load(); }

    NextFrameResult NextFrame(FrameBuffer& fb, int64_t* pts, int timeoutMs) override {
        return Next(nullptr, fb, pts, timeoutMs);
    }

    NextFrameResult NextPicture(PlanarPictureRef& picture, FrameBuffer& fb, int64_t* pts,
                                int timeoutMs) override {
        picture.reset();
        return Next(&picture, fb, pts, timeoutMs);
    }

    std::string StreamError() const override {
        std::lock_guard guard(busMutex_);
        return streamError_;
    }

    bool Run() override { return SetState(GST_STATE_PLAYING); }
    bool Pause() override { return SetState(GST_STATE_PAUSED); }
    bool Stop() override { return SetState(GST_STATE_READY); }

    bool WaitForState() override {
        const Call call(*this);
        if (!call) return false;
        const auto bound =
            std::chrono::duration_cast<std::chrono::nanoseconds>(kWaitForStateBound).count();
        const GstStateChangeReturn r = gst_element_get_state(call.pipeline(), nullptr, nullptr,
                                                             static_cast<GstClockTime>(bound));
        return r == GST_STATE_CHANGE_SUCCESS || r == GST_STATE_CHANGE_NO_PREROLL;
    }

    int64_t Position() override {
        const Call call(*this);
        if (!call) return 0;
        if (eos_.load()) return duration_.load();
        gint64 ns = 0;
        if (gst_element_query_position(call.pipeline(), GST_FORMAT_TIME, &ns) && ns >= 0) {
            lastPosition_.store(ns / kNsPer100ns);
        }
        return lastPosition_.load();
    }

    bool Seek(int64_t t) override {
        const Call call(*this);
        if (!call) return false;
        if (t < 0) t = 0;
        const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
        if (!gst_element_seek_simple(call.pipeline(), GST_FORMAT_TIME, flags, t * kNsPer100ns)) {
            return false;
        }
        eos_.store(false);
        lastPosition_.store(t);
        return true;
    }

    int32_t GetVolume() override { return volume_.load(); }

    bool SetVolume(int32_t v) override {
        v = std::clamp(v, -10000, 0);
        volume_.store(v);
        const Call call(*this);
        if (!call) return false;
        // The element belongs to the pipeline, which the call keeps alive.
        GstElement* element = nullptr;
        {
            std::lock_guard guard(audioMutex_);
            element = volumeElement_;
        }
        if (element == nullptr) return false;
        ApplyVolume(element, v);
        return true;
    }

    void Close() override {
        BeginOwnerWork();
        TearDown();
        EndOwnerWork(nullptr);
    }

    const VideoFormat& Format() const override { return format_; }

  private:
    static constexpr const char* kBgrxCaps = "video/x-raw,format=BGRx";
    static constexpr const char* kPlanarCaps = "video/x-raw,format={I420,NV12,BGRx}";

    // EveryFrame: pulls the next sample; an I420 / NV12 one goes to
    // *picture when the caller takes planes, anything else into fb.
    NextFrameResult Next(PlanarPictureRef* picture, FrameBuffer& fb, int64_t* pts, int timeoutMs) {
        const Call call(*this);
        if (!call || options_.mode != FrameSourceMode::EveryFrame) return NextFrameResult::NotOpen;
        GstAppSink* sink = GST_APP_SINK(appsink_);
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
        for (;;) {
            // Short slices, so that an error (which brings no end of stream
            // to the sink) is reported soon after the last good picture.
            const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
                deadline - std::chrono::steady_clock::now());
            const auto slice = std::clamp(left, std::chrono::nanoseconds(0),
                                          std::chrono::nanoseconds(kNextFrameSlice));
            GstSample* sample =
                gst_app_sink_try_pull_sample(sink, static_cast<GstClockTime>(slice.count()));
            if (sample != nullptr) {
                bool ok = false;
                if (picture != nullptr) {
                    *picture = MapPlanar(gst_sample_ref(sample));
                    ok = *picture != nullptr;
                    if (ok) ReadPts(sample, pts);
                }
                if (!ok) ok = TakeSample(sample, fb, pts);
                StoreSample(sample);
                if (ok) return NextFrameResult::Frame;
                RecordStreamError("a decoded picture could not be read");
                return NextFrameResult::Error;
            }
            // A demuxer that fails sends the end of the stream after its
            // error: the error decides.
            if (hasStreamError_.load()) return NextFrameResult::Error;
            if (gst_app_sink_is_eos(sink)) return NextFrameResult::EndOfStream;
            if (std::chrono::steady_clock::now() >= deadline) return NextFrameResult::Timeout;
        }
    }

    // How long one try of NextFrame waits before it looks for an error.
    static constexpr std::chrono::nanoseconds kNextFrameSlice = std::chrono::milliseconds(20);

    // A transport call on the open pipeline. While one exists, Open and
    // Close wait before they tear the pipeline down; none is admitted while
    // they work. False when nothing is open.
    class Call {
      public:
        explicit Call(GstFrameSource& source) : source_(source), pipeline_(source.Enter()) {}
        ~Call() {
            if (pipeline_ != nullptr) source_.Leave();
        }
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;
        explicit operator bool() const { return pipeline_ != nullptr; }
        GstElement* pipeline() const { return pipeline_; }

      private:
        GstFrameSource& source_;
        GstElement* pipeline_;
    };

    GstElement* Enter() {
        std::lock_guard guard(gateMutex_);
        if (open_ == nullptr) return nullptr;
        ++calls_;
        return open_;
    }

    void Leave() {
        bool last = false;
        {
            std::lock_guard guard(gateMutex_);
            last = --calls_ == 0;
        }
        if (last) gateCv_.notify_all();
    }

    // Open and Close: one at a time; closes the gate to new calls and waits
    // until the calls in progress have returned (each is bounded: a state
    // wait of kWaitForStateBound, a NextFrame of its own bound).
    void BeginOwnerWork() {
        std::unique_lock lock(gateMutex_);
        gateCv_.wait(lock, [this] { return !ownerBusy_; });
        ownerBusy_ = true;
        open_ = nullptr;
        gateCv_.wait(lock, [this] { return calls_ == 0; });
    }

    // Opens the gate on `pipeline` (null: stays closed).
    void EndOwnerWork(GstElement* pipeline) {
        {
            std::lock_guard guard(gateMutex_);
            open_ = pipeline;
            ownerBusy_ = false;
        }
        gateCv_.notify_all();
    }

    static void ApplyVolume(GstElement* element, int32_t v) {
        // Hundredths of a decibel to an amplitude factor; -10000 is silence.
        const double factor = v <= -10000 ? 0.0 : std::pow(10.0, v / 2000.0);
        g_object_set(element, "volume", factor, nullptr);
    }

    bool SetState(GstState state) {
        const Call call(*this);
        if (!call) return false;
        if (state == GST_STATE_READY) eos_.store(false);
        return gst_element_set_state(call.pipeline(), state) != GST_STATE_CHANGE_FAILURE;
    }

    GstSample* LatestSample() {
        std::lock_guard guard(sampleMutex_);
        return latest_ != nullptr ? gst_sample_ref(latest_) : nullptr;
    }

    // Owner work: makes, prerolls and starts the pipeline in the owner
    // fields. Nothing else reaches it until EndOwnerWork publishes it.
    BuildStep Build(const std::string& path, bool fakeAudio) {
        fakeAudio_ = fakeAudio;
        if (!EnsureGstInitialised()) return BuildStep::CreateGraph;
        pipeline_ = gst_pipeline_new("frame-source");
        if (pipeline_ == nullptr) return BuildStep::CreateGraph;
        gst_object_ref_sink(pipeline_);
        GstBus* bus = gst_pipeline_get_bus(GST_PIPELINE(pipeline_));
        gst_bus_set_sync_handler(bus, &GstFrameSource::OnBusMessage, this, nullptr);
        gst_object_unref(bus);

        GstElement* sink = gst_element_factory_make("appsink", "grabber");
        if (sink == nullptr) return BuildStep::SampleGrabber;
        if (!gst_bin_add(GST_BIN(pipeline_), sink)) {
            gst_object_unref(gst_object_ref_sink(sink));
            return BuildStep::AddGrabber;
        }
        appsink_ = sink;
        GstCaps* caps = gst_caps_from_string(options_.planarPictures ? kPlanarCaps : kBgrxCaps);
        if (caps == nullptr) return BuildStep::SetMediaType;
        gst_app_sink_set_caps(GST_APP_SINK(sink), caps);
        gst_caps_unref(caps);
        if (!ConfigureSink(sink)) return BuildStep::KeepSamples;

        // The path is checked here rather than left to filesrc so that a
        // folder (which filesrc may report only later) fails like a
        // missing file.
        if (!IsReadableFile(path)) return BuildStep::AddSource;
        GstElement* src = gst_element_factory_make("filesrc", "source");
        if (src == nullptr) return BuildStep::AddSource;
        g_object_set(src, "location", path.c_str(), nullptr);
        if (!gst_bin_add(GST_BIN(pipeline_), src)) {
            gst_object_unref(gst_object_ref_sink(src));
            return BuildStep::AddSource;
        }
        GstElement* decode = gst_element_factory_make("decodebin", "decoder");
        if (decode == nullptr) return BuildStep::ConnectSource;
        if (!gst_bin_add(GST_BIN(pipeline_), decode)) {
            gst_object_unref(gst_object_ref_sink(decode));
            return BuildStep::ConnectSource;
        }
        if (!gst_element_link(src, decode)) return BuildStep::ConnectSource;

        GstElement* convert = gst_element_factory_make("videoconvert", "convert");
        if (convert == nullptr) return BuildStep::AddNullRenderer;
        if (!gst_bin_add(GST_BIN(pipeline_), convert)) {
            gst_object_unref(gst_object_ref_sink(convert));
            return BuildStep::AddNullRenderer;
        }
        if (!gst_element_link(convert, sink)) return BuildStep::ConnectNullRenderer;
        convert_ = convert;

        g_signal_connect(decode, "pad-added", G_CALLBACK(&GstFrameSource::OnPadAdded), this);
        g_signal_connect(decode, "no-more-pads", G_CALLBACK(&GstFrameSource::OnNoMorePads), this);
        if (!options_.withAudio) {
            g_signal_connect(decode, "autoplug-continue",
                             G_CALLBACK(&GstFrameSource::OnAutoplugContinue), nullptr);
        }

        BuildStep step = Preroll();
        if (step != BuildStep::None) return step;
        step = ReadFormat();
        if (step != BuildStep::None) return step;
        // A failed start is not reported: the source stays open and the
        // caller's Run can try again.
        gst_element_set_state(pipeline_, GST_STATE_PLAYING);
        return BuildStep::None;
    }

    bool ConfigureSink(GstElement* sink) {
        GstAppSink* app = GST_APP_SINK(sink);
        const bool every = options_.mode == FrameSourceMode::EveryFrame;
        const guint maxBuffers = every ? static_cast<guint>(kEveryFrameQueue) : 1;
        gst_app_sink_set_max_buffers(app, maxBuffers);
        gst_app_sink_set_drop(app, every ? FALSE : TRUE);
        gst_app_sink_set_emit_signals(app, FALSE);
        g_object_set(sink, "sync", options_.syncToClock ? TRUE : FALSE, "enable-last-sample", FALSE,
                     nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.eos = &GstFrameSource::OnEos;
        callbacks.new_preroll = &GstFrameSource::OnNewPreroll;
        // EveryFrame leaves the samples queued for NextFrame to pull.
        if (!every) callbacks.new_sample = &GstFrameSource::OnNewSample;
        gst_app_sink_set_callbacks(app, &callbacks, this, nullptr);
        return gst_app_sink_get_max_buffers(app) == maxBuffers &&
               (gst_app_sink_get_drop(app) != FALSE) == !every;
    }

    // PAUSED, then wait (bounded) for the preroll, an error, or the news
    // that the file has no video. Waits on the bus outcome only: no lock of
    // the gate is held, so nothing else is kept waiting meanwhile.
    BuildStep Preroll() {
        const GstStateChangeReturn r = gst_element_set_state(pipeline_, GST_STATE_PAUSED);
        std::unique_lock lock(busMutex_);
        if (r == GST_STATE_CHANGE_FAILURE) {
            return errorStep_ != BuildStep::None ? errorStep_ : BuildStep::AddSource;
        }
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.prerollTimeoutMs);
        busCv_.wait_until(lock, deadline, [this] {
            return prerolled_ || errorStep_ != BuildStep::None || noVideo_ || audioFailed_.load();
        });
        if (errorStep_ != BuildStep::None) return errorStep_;
        if (audioFailed_.load()) return BuildStep::ConnectSource;
        if (noVideo_) return BuildStep::ConnectSource;
        if (!prerolled_) return BuildStep::ConnectSource;  // bound reached
        // From here on an error belongs to the running stream.
        prerollDone_ = true;
        return BuildStep::None;
    }

    BuildStep ReadFormat() {
        GstSample* sample = LatestSample();
        if (sample == nullptr) return BuildStep::ConnectedType;
        GstVideoInfo info;
        GstCaps* caps = gst_sample_get_caps(sample);
        const bool ok =
            caps != nullptr && gst_video_info_from_caps(&info, caps) &&
            (GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_BGRx ||
             (options_.planarPictures && IsPlanarFormat(GST_VIDEO_INFO_FORMAT(&info)))) &&
            info.width > 0 && info.height > 0;
        if (!ok) {
            gst_sample_unref(sample);
            return BuildStep::ConnectedType;
        }
        VideoFormat f;
        f.width = info.width;
        f.height = info.height;
        const int64_t bytes = int64_t{4} * info.width * info.height;
        f.sampleSize = bytes > INT32_MAX ? INT32_MAX : static_cast<int32_t>(bytes);
        f.avgTimePerFrame = AvgTimePerFrameOf(info, gst_sample_get_buffer(sample));
        gst_sample_unref(sample);
        gint64 ns = 0;
        if (gst_element_query_duration(pipeline_, GST_FORMAT_TIME, &ns) && ns > 0) {
            f.duration = ns / kNsPer100ns;
        }
        f.durationSeconds = static_cast<double>(f.duration) / static_cast<double>(kUnitsPerSecond);
        f.frameCount = FrameCountOf(f.duration, f.avgTimePerFrame);
        format_ = f;
        duration_.store(f.duration);
        return BuildStep::None;
    }

    // Copies a pulled sample into fb (resized when its picture has another
    // size) and reads its time from the start of the stream.
    bool TakeSample(GstSample* sample, FrameBuffer& fb, int64_t* pts) {
        GstVideoInfo info;
        GstCaps* caps = gst_sample_get_caps(sample);
        if (caps == nullptr || !gst_video_info_from_caps(&info, caps)) return false;
        if ((fb.width != info.width || fb.height != info.height) &&
            !fb.Allocate(info.width, info.height)) {
            return false;
        }
        int32_t size = fb.PictureBytes();
        if (!CopyBottomUp(sample, fb.data(), &size, info.width)) return false;
        ReadPts(sample, pts);
        return true;
    }

    // The sample's time from the start of the stream in 100 ns units into
    // *pts (when not null); -1 when it has none.
    static void ReadPts(GstSample* sample, int64_t* pts) {
        if (pts != nullptr) {
            *pts = -1;
            GstBuffer* buffer = gst_sample_get_buffer(sample);
            const GstSegment* segment = gst_sample_get_segment(sample);
            if (buffer != nullptr && GST_BUFFER_PTS_IS_VALID(buffer)) {
                guint64 t = GST_BUFFER_PTS(buffer);
                if (segment != nullptr && segment->format == GST_FORMAT_TIME) {
                    t = gst_segment_to_stream_time(segment, GST_FORMAT_TIME, t);
                }
                if (GST_CLOCK_TIME_IS_VALID(t)) *pts = static_cast<int64_t>(t) / kNsPer100ns;
            }
        }
    }

    // Copies the picture of a sample into dst as bottom-up rows of
    // 4 * width bytes (width: the stream's, unless given), at most *size
    // bytes; a picture of another size (a mid-stream change) is cut or left
    // short, never overrun.
    bool CopyBottomUp(GstSample* sample, uint32_t* dst, int32_t* size, int32_t width = 0) {
        GstCaps* caps = gst_sample_get_caps(sample);
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstVideoInfo info;
        if (caps == nullptr || buffer == nullptr || !gst_video_info_from_caps(&info, caps)) {
            return false;
        }
        GstVideoFrame frame;
        if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) return false;
        if (GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGRx) {
            // A planar picture: converted whole, as videoconvert would.
            GstVideoFrame bgrx;
            const bool converted = ConvertToBgrx(frame, bgrx);
            gst_video_frame_unmap(&frame);
            if (!converted) return false;
            frame = bgrx;
        }
        const int32_t dstWidth = width > 0 ? width : format_.width > 0 ? format_.width : info.width;
        const size_t dstRowBytes = size_t{4} * static_cast<size_t>(dstWidth);
        const size_t capacity = *size > 0 ? static_cast<size_t>(*size) : 0;
        const size_t rows = std::min(static_cast<size_t>(info.height), capacity / dstRowBytes);
        const size_t rowBytes = std::min(dstRowBytes, size_t{4} * static_cast<size_t>(info.width));
        const auto* src = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
        const size_t stride = static_cast<size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
        auto* out = reinterpret_cast<uint8_t*>(dst);
        for (size_t r = 0; r < rows; ++r) {
            // Memory row r is picture line height - 1 - r (bottom-up).
            const uint8_t* line = src + (static_cast<size_t>(info.height) - 1 - r) * stride;
            std::memcpy(out + r * dstRowBytes, line, rowBytes);
            if (rowBytes < dstRowBytes)
                std::memset(out + r * dstRowBytes + rowBytes, 0, dstRowBytes - rowBytes);
        }
        gst_video_frame_unmap(&frame);
        *size = static_cast<int32_t>(rows * dstRowBytes);
        return true;
    }

    // Converts a mapped picture into a new BGRx buffer, mapped into `out`
    // (the caller unmaps it, which frees the buffer).
    static bool ConvertToBgrx(GstVideoFrame& in, GstVideoFrame& out) {
        GstVideoInfo info;
        gst_video_info_set_format(&info, GST_VIDEO_FORMAT_BGRx, GST_VIDEO_FRAME_WIDTH(&in),
                                  GST_VIDEO_FRAME_HEIGHT(&in));
        // The converter wants the same rate and pixel shape on both sides.
        info.fps_n = in.info.fps_n;
        info.fps_d = in.info.fps_d;
        info.par_n = in.info.par_n;
        info.par_d = in.info.par_d;
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
        if (buffer == nullptr) return false;
        const bool mapped = gst_video_frame_map(&out, &info, buffer, GST_MAP_READWRITE);
        gst_buffer_unref(buffer);  // the mapping holds it
        if (!mapped) return false;
        GstVideoConverter* converter = gst_video_converter_new(&in.info, &info, nullptr);
        if (converter == nullptr) {
            gst_video_frame_unmap(&out);
            return false;
        }
        gst_video_converter_frame(converter, &in, &out);
        gst_video_converter_free(converter);
        return true;
    }

    // Takes ownership of `sample` as the latest picture.
    void StoreSample(GstSample* sample) {
        if (sample == nullptr) return;
        GstSample* old = nullptr;
        {
            std::lock_guard guard(sampleMutex_);
            old = latest_;
            latest_ = sample;
        }
        // The preroll picture comes again as the first played one: count it
        // once. `old` is ours until unreffed, so it is read without the lock.
        if (old == nullptr || gst_sample_get_buffer(old) != gst_sample_get_buffer(sample)) {
            serial_.fetch_add(1);
        }
        if (old != nullptr) gst_sample_unref(old);
    }

    // The first error of the stream wins; later ones follow from it.
    void RecordStreamError(const std::string& text) {
        {
            std::lock_guard guard(busMutex_);
            if (!streamError_.empty()) return;
            streamError_ = text.empty() ? std::string("the stream failed") : text;
        }
        hasStreamError_.store(true);
    }

    void ClearStreamError() {
        {
            std::lock_guard guard(busMutex_);
            streamError_.clear();
        }
        hasStreamError_.store(false);
    }

    // Owner work: stops and releases the pipeline (its streaming threads
    // have ended when the state change to NULL returns, so no callback runs
    // afterwards) and resets the per-stream state. The stream error stays
    // for the caller to read until the next Open.
    void TearDown() {
        if (pipeline_ != nullptr) {
            gst_element_set_state(pipeline_, GST_STATE_NULL);
            GstBus* bus = gst_pipeline_get_bus(GST_PIPELINE(pipeline_));
            gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
            gst_object_unref(bus);
            gst_object_unref(pipeline_);
            pipeline_ = nullptr;
        }
        appsink_ = nullptr;
        convert_ = nullptr;
        {
            std::lock_guard guard(audioMutex_);
            audioBin_ = nullptr;
            volumeElement_ = nullptr;
        }
        GstSample* old = nullptr;
        {
            std::lock_guard guard(sampleMutex_);
            old = std::exchange(latest_, nullptr);
        }
        if (old != nullptr) gst_sample_unref(old);
        {
            std::lock_guard guard(busMutex_);
            prerolled_ = false;
            prerollDone_ = false;
            noVideo_ = false;
            errorStep_ = BuildStep::None;
        }
        videoLinked_.store(false);
        audioLinked_.store(false);
        audioFailed_.store(false);
        eos_.store(false);
        lastPosition_.store(0);
        duration_.store(0);
    }

    // --- streaming-thread callbacks -------------------------------------

    // The one handler of every bus message. An error of the sound branch
    // marks the sound as failed (the open then retries with a silent
    // sink); any other error fails the preroll with its build step, or,
    // once prerolled, becomes the stream error the playback reads.
    static GstBusSyncReply OnBusMessage(GstBus*, GstMessage* message, gpointer data) {
        auto* self = static_cast<GstFrameSource*>(data);
        switch (GST_MESSAGE_TYPE(message)) {
            case GST_MESSAGE_ERROR: {
                GError* error = nullptr;
                gst_message_parse_error(message, &error, nullptr);
                const bool fromAudio = self->IsInAudioBranch(GST_MESSAGE_SRC(message));
                const bool resource = error != nullptr && error->domain == GST_RESOURCE_ERROR;
                const std::string text =
                    error != nullptr && error->message != nullptr ? error->message : "";
                if (error != nullptr) g_error_free(error);
                if (fromAudio) {
                    self->audioFailed_.store(true);
                } else {
                    std::lock_guard guard(self->busMutex_);
                    if (!self->prerollDone_ && self->errorStep_ == BuildStep::None) {
                        self->errorStep_ =
                            resource ? BuildStep::AddSource : BuildStep::ConnectSource;
                    }
                }
                if (!fromAudio) self->RecordStreamError(text);
                self->busCv_.notify_all();
                break;
            }
            case GST_MESSAGE_ASYNC_DONE:
                if (GST_MESSAGE_SRC(message) == GST_OBJECT(self->pipeline_)) {
                    {
                        std::lock_guard guard(self->busMutex_);
                        self->prerolled_ = true;
                    }
                    self->busCv_.notify_all();
                }
                break;
            case GST_MESSAGE_EOS:
                self->eos_.store(true);
                break;
            default:
                break;
        }
        // Nobody pops this bus: every message ends here. A handler that
        // drops a message owns it.
        gst_message_unref(message);
        return GST_BUS_DROP;
    }

    // The bin belongs to the pipeline, which outlives every bus message.
    bool IsInAudioBranch(GstObject* object) {
        GstElement* bin = nullptr;
        {
            std::lock_guard guard(audioMutex_);
            bin = audioBin_;
        }
        return bin != nullptr &&
               (object == GST_OBJECT(bin) || gst_object_has_as_ancestor(object, GST_OBJECT(bin)));
    }

    // Never waits: in EveryFrame mode a NextFrame pulling at the same time
    // takes the preroll picture away between the sink's store and this
    // call (a pull of a sample drops the preroll). A waiting pull would then
    // block the streaming thread for good: the preroll never completes, no
    // picture reaches the queue, and a flush does not wake that wait, so
    // Close would hang. The picture is not lost: it is also queued as the
    // first played one.
    static GstFlowReturn OnNewPreroll(GstAppSink* sink, gpointer data) {
        static_cast<GstFrameSource*>(data)->StoreSample(gst_app_sink_try_pull_preroll(sink, 0));
        return GST_FLOW_OK;
    }

    static GstFlowReturn OnNewSample(GstAppSink* sink, gpointer data) {
        static_cast<GstFrameSource*>(data)->StoreSample(gst_app_sink_pull_sample(sink));
        return GST_FLOW_OK;
    }

    static void OnEos(GstAppSink*, gpointer data) {
        static_cast<GstFrameSource*>(data)->eos_.store(true);
    }

    static void OnPadAdded(GstElement*, GstPad* pad, gpointer data) {
        auto* self = static_cast<GstFrameSource*>(data);
        GstCaps* caps = gst_pad_get_current_caps(pad);
        if (caps == nullptr) caps = gst_pad_query_caps(pad, nullptr);
        if (caps == nullptr) return;
        const char* name = gst_structure_get_name(gst_caps_get_structure(caps, 0));
        const bool video = g_str_has_prefix(name, "video/x-raw");
        const bool audio = g_str_has_prefix(name, "audio/x-raw");
        gst_caps_unref(caps);
        if (video && !self->videoLinked_.load()) {
            if (self->options_.planarPictures) self->KeepPlanarOnlyIfDecoded(pad);
            GstPad* sinkPad = gst_element_get_static_pad(self->convert_, "sink");
            if (gst_pad_link(pad, sinkPad) == GST_PAD_LINK_OK) self->videoLinked_.store(true);
            gst_object_unref(sinkPad);
        } else if (audio && self->options_.withAudio && !self->audioLinked_.load()) {
            self->AddAudioBranch(pad);
        }
    }

    // Without a sound branch the sound stays undecoded: decodebin exposes
    // it as it leaves the demuxer (a pad nobody links) instead of parsing
    // and decoding it for nothing.
    static gboolean OnAutoplugContinue(GstElement*, GstPad*, GstCaps* caps, gpointer) {
        if (caps == nullptr || gst_caps_is_empty(caps) || gst_caps_is_any(caps)) return TRUE;
        const char* name = gst_structure_get_name(gst_caps_get_structure(caps, 0));
        return g_str_has_prefix(name, "audio/") ? FALSE : TRUE;
    }

    // A decoder whose pictures are neither I420 nor NV12 gets today's BGRx
    // (videoconvert would otherwise pick the nearest planar format).
    void KeepPlanarOnlyIfDecoded(GstPad* pad) {
        GstCaps* caps = gst_pad_get_current_caps(pad);
        if (caps == nullptr) return;
        GstVideoInfo info;
        const bool known = gst_caps_is_fixed(caps) && gst_video_info_from_caps(&info, caps);
        gst_caps_unref(caps);
        if (!known || IsPlanarFormat(GST_VIDEO_INFO_FORMAT(&info))) return;
        GstCaps* bgrx = gst_caps_from_string(kBgrxCaps);
        gst_app_sink_set_caps(GST_APP_SINK(appsink_), bgrx);
        gst_caps_unref(bgrx);
    }

    static void OnNoMorePads(GstElement*, gpointer data) {
        auto* self = static_cast<GstFrameSource*>(data);
        if (self->videoLinked_.load()) return;
        {
            std::lock_guard guard(self->busMutex_);
            self->noVideo_ = true;
        }
        self->busCv_.notify_all();
    }

    // audioconvert ! audioresample ! volume ! autoaudiosink (or a fakesink
    // that syncs, when no device opens), linked to decodebin's sound pad.
    void AddAudioBranch(GstPad* pad) {
        GstElement* bin = gst_bin_new("sound");
        GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
        GstElement* resample = gst_element_factory_make("audioresample", nullptr);
        GstElement* volume = gst_element_factory_make("volume", nullptr);
        const bool probe = !fakeAudio_ && !gNoAudioDevice.load();
        GstElement* out = probe ? gst_element_factory_make("autoaudiosink", nullptr) : nullptr;
        if (out != nullptr &&
            gst_element_set_state(out, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
            gst_element_set_state(out, GST_STATE_NULL);
            gst_object_unref(gst_object_ref_sink(out));
            out = nullptr;
        }
        if (probe && (out == nullptr || PlaysIntoFakeSink(out))) {
            // No device could be opened: later opens skip the (slow, noisy)
            // probe of every sound system.
            gNoAudioDevice.store(true);
        }
        if (out == nullptr) {
            out = gst_element_factory_make("fakesink", nullptr);
            if (out != nullptr) g_object_set(out, "sync", TRUE, nullptr);
        }
        if (convert == nullptr || resample == nullptr || volume == nullptr || out == nullptr) {
            // No sound then; the picture plays on. The pad stays unlinked.
            for (GstElement* e : {bin, convert, resample, volume, out}) {
                if (e != nullptr) gst_object_unref(gst_object_ref_sink(e));
            }
            return;
        }
        gst_bin_add_many(GST_BIN(bin), convert, resample, volume, out, nullptr);
        if (!gst_element_link_many(convert, resample, volume, out, nullptr)) {
            gst_object_unref(gst_object_ref_sink(bin));
            return;
        }
        GstPad* target = gst_element_get_static_pad(convert, "sink");
        gst_element_add_pad(bin, gst_ghost_pad_new("sink", target));
        gst_object_unref(target);
        {
            std::lock_guard guard(audioMutex_);
            audioBin_ = bin;
            volumeElement_ = volume;
        }
        // After publishing: a SetVolume meanwhile either finds the element
        // or has stored the level read here.
        ApplyVolume(volume, volume_.load());
        gst_bin_add(GST_BIN(pipeline_), bin);
        gst_element_sync_state_with_parent(bin);
        GstPad* binPad = gst_element_get_static_pad(bin, "sink");
        if (gst_pad_link(pad, binPad) == GST_PAD_LINK_OK) audioLinked_.store(true);
        gst_object_unref(binPad);
    }

    // ---- Owner fields: written only by Open and Close (one at a time, with
    // the gate closed). Streaming-thread callbacks read them while the
    // pipeline runs: they are set before it leaves NULL and cleared after
    // it is back in NULL. A Call reads appsink_ and options_ while the gate
    // is open on this pipeline.
    GstElement* pipeline_ = nullptr;  // owned reference
    GstElement* appsink_ = nullptr;   // owned by the pipeline
    GstElement* convert_ = nullptr;   // owned by the pipeline
    FrameSourceOptions options_;
    bool fakeAudio_ = false;
    VideoFormat format_;  // valid from a successful Open until the next Open

    // ---- The gate, protected by gateMutex_. Transport calls copy open_
    // and count themselves in calls_ under the lock, then call GStreamer
    // without it; Open and Close take ownerBusy_, set open_ to null and wait
    // (gateCv_) until calls_ is 0 before touching the owner fields.
    std::mutex gateMutex_;
    std::condition_variable gateCv_;
    GstElement* open_ = nullptr;  // the pipeline calls may use; null: closed
    int calls_ = 0;
    bool ownerBusy_ = false;

    // ---- The latest picture, protected by sampleMutex_: streaming threads
    // store it, any thread takes a reference under the lock and copies the
    // picture outside it.
    std::mutex sampleMutex_;
    GstSample* latest_ = nullptr;

    // ---- The bus outcome, protected by busMutex_ (busCv_ wakes the
    // preroll wait): written by the bus handler and decodebin callbacks.
    mutable std::mutex busMutex_;
    std::condition_variable busCv_;
    bool prerolled_ = false;
    bool prerollDone_ = false;  // Open's wait has ended well: errors are stream errors
    bool noVideo_ = false;
    BuildStep errorStep_ = BuildStep::None;
    std::string streamError_;  // cleared by Open only

    // ---- Protected by audioMutex_: the sound branch's elements (owned by
    // the pipeline), published by the streaming thread that adds it.
    std::mutex audioMutex_;
    GstElement* audioBin_ = nullptr;
    GstElement* volumeElement_ = nullptr;

    // ---- Atomic words, any thread.
    std::atomic<bool> videoLinked_{false};
    std::atomic<bool> audioLinked_{false};
    std::atomic<bool> audioFailed_{false};
    std::atomic<bool> hasStreamError_{false};  // streamError_ is not empty
    std::atomic<bool> eos_{false};
    std::atomic<int64_t> lastPosition_{0};
    std::atomic<int64_t> duration_{0};  // format_.duration, for Position
    std::atomic<int32_t> volume_{0};
    std::atomic<uint64_t> serial_{0};
};

}  // namespace

std::unique_ptr<FrameSource> CreateGstFrameSource() {
    return std::make_unique<GstFrameSource>();
}

}  // namespace hv
