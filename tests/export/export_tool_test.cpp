// hvtool export as a user runs it, on doughnut videos made here: a ring with
// coloured markers at known azimuth and elevation (drawn through the
// player's own ring mapping, so the unwrap puts them at known panorama
// pixels), exported along view paths and as equirectangular 360 video.
#include <gst/app/gstappsink.h>
#include <gst/audio/audio.h>
#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "config/doughnut_geometry.h"
#include "export/spherical_metadata.h"
#include "export/view_path.h"
#include "process_runner.h"
#include "read_only_folder.h"
#include "unwrap/ring_geometry.h"
#include "unwrap/unwrap_table.h"
#include "video/frame_source.h"
#include "video/gst_frame_source.h"
#include "video/test_video_maker.h"
#include "video/video_writer.h"

namespace {

namespace fs = std::filesystem;
constexpr double kPi = std::numbers::pi;

constexpr int32_t kFrameW = 640, kFrameH = 480;  // the player's start-up geometry fits it
constexpr int32_t kFps = 25;

hvtest::ProcessResult Tool(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"export"};
    all.insert(all.end(), args.begin(), args.end());
    return hvtest::RunProcess(HVTOOL_PATH, all);
}

// A marker: a disc in panorama coordinates (view-source column and row,
// rows counted upward), in one pure colour.
struct Marker {
    double column, row;
    uint32_t colour;  // BGRx
};

class ExportToolTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new fs::path(fs::temp_directory_path() /
                            ("hv_export_test_" + std::to_string(getpid())));
        fs::create_directories(*dir_);
        const hv::RingGeometryResult g =
            hv::BuildRingGeometry(hv::kStartupGeometry, kFrameW, kFrameH);
        ASSERT_TRUE(g.ok) << g.error;
        ring_ = g.ring;
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(*dir_, ec);
        delete dir_;
    }
    static std::string Path(const std::string& name) { return (*dir_ / name).string(); }

    // Writes a ring video whose every frame holds the markers.
    static std::string MakeMarkerVideo(const std::string& name, const std::vector<Marker>& markers,
                                       int32_t frames, bool sound) {
        hv::FrameBuffer fb;
        fb.Allocate(kFrameW, kFrameH);
        for (int32_t y = 0; y < kFrameH; ++y) {
            for (int32_t x = 0; x < kFrameW; ++x) fb.pixels[y * kFrameW + x] = 0x00404040;
        }
        hv::ColumnAngles angles;
        hv::ComputeColumnAngles(ring_, 0, angles);
        const int32_t inner = ring_.ViewSourceRow(0);
        hv::ForEachRingSample(ring_, 0, angles, [&](int64_t index, int32_t X, int32_t row) {
            const int32_t r = static_cast<int32_t>(index / ring_.Wp) - inner;
            const int32_t c = static_cast<int32_t>(index % ring_.Wp);
            uint32_t colour = 0x00505050 + ((c / 8 + r / 8) % 2) * 0x00101010;
            for (const Marker& m : markers) {
                double dc = std::fabs(c - m.column);
                dc = std::min(dc, ring_.Wp - dc);
                if (dc * dc + (r - m.row) * (r - m.row) <= 16.0) colour = m.colour;
            }
            fb.pixels[static_cast<size_t>(row) * kFrameW + X] = colour;
        });
        hv::VideoWriterSettings s;
        s.path = Path(name);
        s.width = kFrameW;
        s.height = kFrameH;
        s.fpsNum = kFps;
        if (sound) s.tone = hv::VideoWriterTone{int64_t{frames} * 1'000'000'000 / kFps};
        std::string error;
        auto writer = hv::VideoWriter::Open(s, &error);
        EXPECT_TRUE(writer) << error;
        if (!writer) return s.path;
        for (int32_t i = 0; i < frames; ++i) EXPECT_TRUE(writer->Write(fb, &error)) << error;
        EXPECT_TRUE(writer->Finish(&error)) << error;
        return s.path;
    }

    static fs::path* dir_;
    static hv::RingGeometry ring_;
};
fs::path* ExportToolTest::dir_ = nullptr;
hv::RingGeometry ExportToolTest::ring_;

// Every frame of a video, decoded.
std::vector<hv::FrameBuffer> DecodeAll(const std::string& path) {
    std::vector<hv::FrameBuffer> frames;
    EXPECT_TRUE(hv::EnsureGstInitialised());
    auto source = hv::CreateGstFrameSource();
    hv::FrameSourceOptions options;
    options.mode = hv::FrameSourceMode::EveryFrame;
    EXPECT_EQ(source->Open(path, options), hv::BuildStep::None) << path;
    for (;;) {
        hv::FrameBuffer fb;
        const hv::NextFrameResult r = source->NextFrame(fb, nullptr, 30'000);
        if (r != hv::NextFrameResult::Frame) {
            EXPECT_EQ(r, hv::NextFrameResult::EndOfStream);
            break;
        }
        frames.push_back(std::move(fb));
    }
    source->Close();
    return frames;
}

// Sound and picture of a file as GStreamer's discoverer reports them.
struct Discovered {
    bool ok = false;
    bool video = false, audio = false;
    double seconds = 0;
};
Discovered Discover(const std::string& path) {
    Discovered d;
    EXPECT_TRUE(hv::EnsureGstInitialised());
    GstDiscoverer* discoverer = gst_discoverer_new(10 * GST_SECOND, nullptr);
    if (discoverer == nullptr) return d;
    gchar* uri = gst_filename_to_uri(path.c_str(), nullptr);
    GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri, nullptr);
    g_free(uri);
    if (info != nullptr && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
        d.ok = true;
        GList* v = gst_discoverer_info_get_video_streams(info);
        GList* a = gst_discoverer_info_get_audio_streams(info);
        d.video = v != nullptr;
        d.audio = a != nullptr;
        gst_discoverer_stream_info_list_free(v);
        gst_discoverer_stream_info_list_free(a);
        d.seconds = static_cast<double>(gst_discoverer_info_get_duration(info)) / GST_SECOND;
    }
    if (info != nullptr) gst_discoverer_info_unref(info);
    g_object_unref(discoverer);
    return d;
}

// The decoded sound of a file: where it starts and how long it lasts,
// counted in samples.
struct DecodedSound {
    bool ok = false;
    double start = 0, seconds = 0;
};
DecodedSound DecodeSound(const std::string& path) {
    DecodedSound d;
    EXPECT_TRUE(hv::EnsureGstInitialised());
    GstElement* pipeline = gst_parse_launch(
        "filesrc name=file ! decodebin ! audioconvert ! audio/x-raw,format=F32LE"
        " ! appsink name=sink sync=false",
        nullptr);
    if (pipeline == nullptr) return d;
    GstElement* file = gst_bin_get_by_name(GST_BIN(pipeline), "file");
    g_object_set(file, "location", path.c_str(), nullptr);
    gst_object_unref(file);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    int64_t samples = 0;
    for (;;) {
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 30 * GST_SECOND);
        if (sample == nullptr) break;
        GstAudioInfo info;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        if (gst_audio_info_from_caps(&info, gst_sample_get_caps(sample)) && buffer != nullptr) {
            if (!d.ok) d.start = static_cast<double>(GST_BUFFER_PTS(buffer)) / GST_SECOND;
            d.ok = true;
            samples +=
                static_cast<int64_t>(gst_buffer_get_size(buffer)) / GST_AUDIO_INFO_BPF(&info);
            d.seconds = static_cast<double>(samples) / GST_AUDIO_INFO_RATE(&info);
        }
        gst_sample_unref(sample);
    }
    d.ok = d.ok && gst_app_sink_is_eos(GST_APP_SINK(sink));
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return d;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The first box of `type` inside `parent` (its children), searched in order.
bool Find(const std::vector<uint8_t>& d, const hv::Mp4Box& parent, const std::string& type,
          hv::Mp4Box* out) {
    std::vector<hv::Mp4Box> kids;
    if (!hv::ListMp4Boxes(d, hv::Mp4ChildrenOffset(parent), parent.offset + parent.size, &kids))
        return false;
    for (const auto& k : kids) {
        if (k.type == type) {
            *out = k;
            return true;
        }
    }
    return false;
}

std::vector<std::string> Names(const std::vector<uint8_t>& d, const hv::Mp4Box& parent) {
    std::vector<hv::Mp4Box> kids;
    hv::ListMp4Boxes(d, hv::Mp4ChildrenOffset(parent), parent.offset + parent.size, &kids);
    std::vector<std::string> names;
    for (const auto& k : kids) names.push_back(k.type);
    return names;
}

bool NoPartialFiles(const fs::path& dir) {
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().filename().string().find(".partial-") != std::string::npos) return false;
    }
    return true;
}

// Centroid (x right, y down from the top row) of the pixels near a colour;
// false when there are none.
bool Centroid(const hv::FrameBuffer& fb, uint32_t colour, double* x, double* y) {
    double sx = 0, sy = 0, n = 0;
    for (int32_t m = 0; m < fb.height; ++m) {
        for (int32_t i = 0; i < fb.width; ++i) {
            const uint32_t p = fb.pixels[static_cast<size_t>(m) * fb.width + i];
            // The marker's channel strong, the others weak (coding blurs
            // the pure colours).
            bool match = true;
            for (int k = 0; k < 24; k += 8) {
                const int v = static_cast<int>((p >> k) & 255);
                match = match && (((colour >> k) & 255) != 0 ? v > 120 : v < 90);
            }
            if (match) {
                sx += i;
                sy += fb.height - 1 - m;
                n += 1;
            }
        }
    }
    if (n < 4) return false;
    *x = sx / n;
    *y = sy / n;
    return true;
}

}  // namespace

// Markers in three pure colours; the path looks at each in turn (blue at
// 0 s, green 20 degrees to the right at 0.8 s, red 10 degrees up at 1.6 s).
// The keyframes aim at the markers as the exported panorama shows them, so
// at each keyframe the marker must sit at the view's centre pixel.
TEST_F(ExportToolTest, ViewPathPutsMarkersWhereTheViewLooks) {
    const int32_t Ws = ring_.Ws(), Hs = ring_.Hs();
    const double horizon = (Hs - 1) >> 1;
    const std::vector<Marker> markers = {
        {Ws / 2.0, horizon, 0x000000ff},
        {Ws / 2.0 + Ws * 20.0 / 360.0, horizon, 0x0000ff00},
        {Ws / 2.0 - Ws * 30.0 / 360.0, horizon + Ws * 10.0 / 360.0, 0x00ff0000}};
    const std::string video = MakeMarkerVideo("markers.mp4", markers, 50, true);

    // Where the unwrap puts the markers.
    const std::string pano = Path("markers_pano.mp4");
    hvtest::ProcessResult r = Tool({video, "--out", pano, "--mode", "panorama"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<hv::FrameBuffer> panoFrames = DecodeAll(pano);
    ASSERT_EQ(panoFrames.size(), 50u);
    std::string json = "{\"version\": 1, \"keyframes\": [";
    const double times[3] = {0.0, 0.8, 1.6};
    for (int k = 0; k < 3; ++k) {
        double x = 0, y = 0;
        ASSERT_TRUE(Centroid(panoFrames[0], markers[k].colour, &x, &y)) << k;
        const double row = (panoFrames[0].height - 1) - y;  // counted upward
        const double pan = (x - (Ws >> 1)) * 360.0 / Ws;
        const double tilt = -(row - horizon) * 360.0 / Ws;  // positive tilt looks down
        json += std::string(k ? "," : "") + "{\"t\": " + std::to_string(times[k]) +
                ", \"pan\": " + std::to_string(pan) + ", \"tilt\": " + std::to_string(tilt) +
                ", \"fov\": 110}";
    }
    json += "]}";
    const std::string pathFile = Path("markers.json");
    std::ofstream(pathFile) << json;

    const std::string out = Path("markers_view.mp4");
    r = Tool({video, "--out", out, "--mode", "reframe", "--size", "400x224", "--path", pathFile,
              "--save-path", Path("markers.cmd")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("50 frames, 400x224, sound"), std::string::npos) << r.out;
    const std::vector<hv::FrameBuffer> frames = DecodeAll(out);
    ASSERT_EQ(frames.size(), 50u);
    // The view's centre: the high-quality renderer draws a view one column
    // and row larger and the file leaves out its bottom row; ray (0, 0) is
    // column W / 2 - 1 and row H / 2 - 1 counted from the bottom.
    const double cx = (400 >> 1) - 1;
    const double cy = 224 - 1 - ((224 >> 1) - 1);
    for (int k = 0; k < 3; ++k) {
        const size_t index = static_cast<size_t>(std::lround(times[k] * kFps));
        double x = 0, y = 0;
        ASSERT_TRUE(Centroid(frames[index], markers[k].colour, &x, &y)) << k;
        EXPECT_NEAR(x, cx, 1.0) << "marker " << k << " at frame " << index;
        EXPECT_NEAR(y, cy, 1.0) << "marker " << k << " at frame " << index;
    }
    // The same path as an ffmpeg sendcmd file reads back as the path it
    // was written from.
    std::ifstream cmdIn(Path("markers.cmd"));
    const std::string cmd{std::istreambuf_iterator<char>(cmdIn), std::istreambuf_iterator<char>()};
    hv::ViewPath original, back;
    std::string error;
    ASSERT_TRUE(hv::ParseViewPathJson(json, &original, &error)) << error;
    ASSERT_TRUE(hv::ParseSendCmd(cmd, 224.0 / 400.0, &back, &error)) << error;
    EXPECT_EQ(back.keyframes().size(), 50u);
    for (const double t : {0.0, 0.52, 1.2, 1.96}) {
        EXPECT_NEAR(back.At(t).pan, original.At(t).pan, 0.01) << t;
        EXPECT_NEAR(back.At(t).tilt, original.At(t).tilt, 0.01) << t;
        EXPECT_NEAR(back.At(t).fov, original.At(t).fov, 0.01) << t;
    }

    // Picture and sound as long as the source's.
    const Discovered src = Discover(video), dst = Discover(out);
    ASSERT_TRUE(src.ok && dst.ok);
    EXPECT_TRUE(dst.audio);
    EXPECT_NEAR(dst.seconds, src.seconds, 0.05);

    // A part: the frames from 0.4 s up to 1.2 s.
    const std::string part = Path("markers_part.mp4");
    r = Tool({video, "--out", part, "--mode", "reframe", "--size", "320x180", "--start", "0.4",
              "--end", "1.2"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("20 frames, 320x180, sound"), std::string::npos) << r.out;
    EXPECT_EQ(DecodeAll(part).size(), 20u);
    EXPECT_NEAR(Discover(part).seconds, 0.8, 0.05);
    // Its sound: the part's, starting with the first picture, as long as
    // the part within one sound frame (1024 samples) plus the encoder's
    // padding.
    const double soundFrame = 1024.0 / 44100;
    const DecodedSound sound = DecodeSound(part);
    ASSERT_TRUE(sound.ok);
    EXPECT_NEAR(sound.start, 0.0, 0.001);
    EXPECT_GE(sound.seconds, 0.8 - soundFrame);
    EXPECT_LE(sound.seconds, 0.8 + soundFrame + hv::kSoundPartPaddingNs / 1e9);
    EXPECT_TRUE(NoPartialFiles(*dir_));
}

// The equirectangular file: readable by GStreamer, version 1 in a uuid box
// at the end of the video trak, version 2 (st3d, sv3d) at the end of the
// avc1 sample entry, the media data untouched; ffprobe (when installed)
// reports it as spherical. --crop writes the elevation bounds.
TEST_F(ExportToolTest, EquirectCarriesBothMetadataVersions) {
    const std::string video = MakeMarkerVideo("eq_src.mp4", {}, 10, false);
    for (const bool crop : {false, true}) {
        SCOPED_TRACE(crop ? "crop" : "full");
        const std::string out = Path(crop ? "eq_crop.mp4" : "eq_full.mp4");
        std::vector<std::string> args = {video,      "--out",   out,  "--mode",
                                         "equirect", "--width", "512"};
        if (crop) args.push_back("--crop");
        const hvtest::ProcessResult r = Tool(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const Discovered d = Discover(out);
        EXPECT_TRUE(d.ok && d.video);
        const std::vector<hv::FrameBuffer> frames = DecodeAll(out);
        ASSERT_EQ(frames.size(), 10u);
        EXPECT_EQ(frames[0].width, 512);
        if (!crop) EXPECT_EQ(frames[0].height, 256);
        if (crop) EXPECT_LT(frames[0].height, 256);

        const std::vector<uint8_t> bytes = ReadBytes(out);
        std::vector<hv::Mp4Box> top;
        ASSERT_TRUE(hv::ListMp4Boxes(bytes, 0, bytes.size(), &top));
        hv::Mp4Box root{"root", 0, bytes.size(), 0};
        hv::Mp4Box moov, trak, mdia, minf, stbl, stsd, avc1, sv3d, proj, equi;
        ASSERT_TRUE(Find(bytes, root, "moov", &moov));
        ASSERT_TRUE(Find(bytes, moov, "trak", &trak));  // the video track comes first
        const std::vector<std::string> trakKids = Names(bytes, trak);
        ASSERT_FALSE(trakKids.empty());
        EXPECT_EQ(trakKids.back(), "uuid");
        ASSERT_TRUE(Find(bytes, trak, "mdia", &mdia) && Find(bytes, mdia, "minf", &minf) &&
                    Find(bytes, minf, "stbl", &stbl) && Find(bytes, stbl, "stsd", &stsd) &&
                    Find(bytes, stsd, "avc1", &avc1));
        const std::vector<std::string> entryKids = Names(bytes, avc1);
        ASSERT_GE(entryKids.size(), 3u);
        EXPECT_EQ(entryKids[entryKids.size() - 2], "st3d");
        EXPECT_EQ(entryKids.back(), "sv3d");
        ASSERT_TRUE(Find(bytes, avc1, "sv3d", &sv3d) && Find(bytes, sv3d, "proj", &proj) &&
                    Find(bytes, proj, "equi", &equi));
        hv::Mp4Box uuid;
        ASSERT_TRUE(Find(bytes, trak, "uuid", &uuid));
        const std::string xml(bytes.begin() + static_cast<long>(uuid.contentOffset + 16),
                              bytes.begin() + static_cast<long>(uuid.offset + uuid.size));
        EXPECT_NE(xml.find("<GSpherical:ProjectionType>equirectangular<"), std::string::npos);
        EXPECT_EQ(xml.find("CroppedAreaTopPixels") != std::string::npos, crop);
        auto be32 = [&](uint64_t at) {
            return (uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) |
                   (uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
        };
        const uint32_t boundTop = be32(equi.contentOffset + 4);
        const uint32_t boundBottom = be32(equi.contentOffset + 8);
        EXPECT_EQ(boundTop != 0 && boundBottom != 0, crop);
        // The band's share of the sphere adds up with the bounds.
        if (crop) {
            const double share = 1.0 - (boundTop + static_cast<double>(boundBottom)) / 4294967296.0;
            EXPECT_NEAR(share * 256, frames[0].height, 0.01);
        }

        if (std::system("command -v ffprobe >/dev/null 2>&1") == 0) {
            const hvtest::ProcessResult probe = hvtest::RunProcess(
                "/bin/sh", {"-c", "ffprobe -v error -show_streams '" + out + "' 2>&1"});
            EXPECT_NE(probe.out.find("equirectangular"), std::string::npos) << probe.out;
        }
    }
}

// Failures exit non-zero with a message and leave no file, finished or
// partial: a folder that cannot be written, a file size limit (a full
// disk as far as the writer can tell), Ctrl+C in the middle.
TEST_F(ExportToolTest, FailedOrCancelledExportsLeaveNoFile) {
    const std::string video = MakeMarkerVideo("fail_src.mp4", {}, 100, true);
    hvtest::ProcessResult r = Tool({video, "--out", "/proc/hv_export.mp4", "--mode", "panorama"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("/proc"), std::string::npos) << r.err;

    const fs::path locked = *dir_ / "locked";
    fs::create_directories(locked);
    {
        const hvtest::ReadOnlyFolder readOnly(locked);
        if (readOnly.Active()) {
            r = Tool({video, "--out", (locked / "pano.mp4").string(), "--mode", "panorama"});
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_NE(r.err.find("not writable"), std::string::npos) << r.err;
        }
    }
    EXPECT_TRUE(fs::is_empty(locked));

    const fs::path limited = *dir_ / "limited";
    fs::create_directories(limited);
    const std::string out = (limited / "big.mp4").string();
    r = hvtest::RunProcess(
        "/bin/sh", {"-c", "ulimit -f 64; exec '" + std::string(HVTOOL_PATH) + "' export '" + video +
                              "' --out '" + out + "' --mode reframe --size 1280x720 --crf 0"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(limited));

    // Ctrl+C once the first frame is reported.
    const std::string cancelled = (limited / "cancelled.mp4").string();
    const std::string script = "'" + std::string(HVTOOL_PATH) + "' export '" + video + "' --out '" +
                               cancelled +
                               "' --mode reframe --size 1920x1080 --preset slow --progress json"
                               " > '" +
                               (*dir_ / "progress.txt").string() +
                               "' & pid=$!; "
                               "while ! grep -q frame '" +
                               (*dir_ / "progress.txt").string() +
                               "' 2>/dev/null; do sleep 0.05; done; kill -INT $pid; wait $pid";
    r = hvtest::RunProcess("/bin/sh", {"-c", script});
    EXPECT_EQ(r.exitCode, 130) << r.err;
    EXPECT_NE(r.err.find("cancelled"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(limited));
}

// Faults while an export runs, on a tiny video (4 s at 160x120): each ends
// with a message saying why and leaves no file, finished or partial. Two
// exports to one name at once each finish, and the file is one whole export.
// The shell lines stop a child (SIGSTOP) before pulling its folder away, so
// the fault always lands in the middle of the job.
TEST_F(ExportToolTest, FaultsDuringAnExportSayWhyAndLeaveNoFile) {
    const fs::path dir = *dir_ / "faults";
    fs::create_directories(dir);
    hv::TestVideoOptions clip;
    clip.path = (dir / "src.mkv").string();
    clip.width = 160;
    clip.height = 120;
    clip.frames = 100;
    clip.audio = false;
    ASSERT_EQ(hv::MakeTestVideo(clip), "");
    const std::string tool = HVTOOL_PATH;
    auto exportTo = [&](const fs::path& out) {
        return "'" + tool + "' export '" + clip.path + "' --out '" + out.string() +
               "' --mode reframe --size 320x176 --crf 0";
    };
    // Waits (bounded) until the folder holds the export's temporary file.
    auto untilPartialIn = [](const fs::path& folder) {
        return "i=0; until ls -A '" + folder.string() +
               "' 2>/dev/null | grep -q partial || [ $i -gt 3000 ]; do i=$((i+1)); sleep 0.01; "
               "done; ";
    };
    hvtest::ProcessOptions bounded;
    bounded.timeout = std::chrono::seconds(120);  // a hang fails, it never blocks the suite

    // Two exports to the same name at once.
    const fs::path both = dir / "both";
    fs::create_directories(both);
    const fs::path shared = both / "same.mp4";
    hvtest::ProcessResult r = hvtest::RunProcess(
        "/bin/sh",
        {"-c", exportTo(shared) + " & a=$!; " + exportTo(shared) +
                   " & b=$!; wait $a; ra=$?; wait $b; echo \"exit codes $ra $?\""},
        bounded);
    EXPECT_NE(r.out.find("exit codes 0 0"), std::string::npos) << r.out << r.err;
    EXPECT_EQ(DecodeAll(shared.string()).size(), 100u);
    EXPECT_EQ(std::distance(fs::directory_iterator(both), fs::directory_iterator()), 1);
    const auto wholeSize = static_cast<rlim_t>(fs::file_size(shared));

    // The disk fills half way: writes beyond half the file's size fail
    // (EFBIG; SIGXFSZ ignored, as hvtool does itself).
    const fs::path full = dir / "full";
    fs::create_directories(full);
    {
        rlimit old{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit half = old;
        half.rlim_cur = wholeSize / 2;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &half), 0);
        r = hvtest::RunProcess("/bin/sh", {"-c", exportTo(full / "x.mp4")}, bounded);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(full));

    // The output folder is removed while the file is being written.
    const fs::path gone = dir / "gone";
    fs::create_directories(gone);
    r = hvtest::RunProcess(
        "/bin/sh",
        {"-c", exportTo(gone / "x.mp4") + " & pid=$!; " + untilPartialIn(gone) +
                   "kill -STOP $pid; rm -rf '" + gone.string() + "'; kill -CONT $pid; wait $pid"},
        bounded);
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("was removed during the export"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(gone));

    // SIGTERM is a cancel like Ctrl+C: the temporary file goes, the status
    // says which signal.
    const fs::path term = dir / "term";
    fs::create_directories(term);
    r = hvtest::RunProcess("/bin/sh",
                           {"-c", exportTo(term / "x.mp4") + " & pid=$!; " + untilPartialIn(term) +
                                      "kill -TERM $pid; wait $pid"},
                           bounded);
    EXPECT_EQ(r.exitCode, 128 + SIGTERM) << r.out << r.err;
    EXPECT_NE(r.err.find("cancelled"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(term));

    // The source is cut off half way. A Matroska file states its length:
    // the export stops with a message naming the cut instead of passing off
    // a shorter file. An MP4 keeps its index at the end: the cut copy does
    // not open at all.
    hv::TestVideoOptions mp4 = clip;
    mp4.path = (dir / "src.mp4").string();
    mp4.frames = 25;
    ASSERT_EQ(hv::MakeTestVideo(mp4), "");
    const fs::path cutOut = dir / "cut";
    fs::create_directories(cutOut);
    for (const std::string& source : {clip.path, mp4.path}) {
        const std::vector<uint8_t> data = ReadBytes(source);
        const std::string bytes(data.begin(), data.end());
        const std::string cut = (dir / ("cut" + fs::path(source).extension().string())).string();
        std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
        r = hvtest::RunProcess(tool,
                               {"export", cut, "--out", (cutOut / "x.mp4").string(), "--mode",
                                "reframe", "--size", "320x176"},
                               bounded);
        EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
        EXPECT_NE(
            r.err.find(source == clip.path ? "is cut off: its pictures end at" : "cannot open"),
            std::string::npos)
            << r.err;
        EXPECT_TRUE(fs::is_empty(cutOut));
    }
}

// Several videos into a folder: one line per file; outputs that exist are
// skipped unless --force.
TEST_F(ExportToolTest, BatchSkipsExistingOutputs) {
    const std::string a = MakeMarkerVideo("batch_a.mp4", {}, 5, false);
    const std::string b = MakeMarkerVideo("batch_b.mp4", {}, 5, false);
    const fs::path outDir = *dir_ / "batch";
    fs::create_directories(outDir);
    hvtest::ProcessResult r = Tool({a, b, "--out-dir", outDir.string(), "--mode", "panorama"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(outDir / "batch_a.panorama.mp4"));
    EXPECT_TRUE(fs::exists(outDir / "batch_b.panorama.mp4"));
    fs::remove(outDir / "batch_b.panorama.mp4");
    r = Tool({a, b, "--out-dir", outDir.string(), "--mode", "panorama"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("batch_a.mp4: skipped"), std::string::npos) << r.out;
    EXPECT_NE(
        r.out.find("batch_b.mp4: " + (outDir / "batch_b.panorama.mp4").string() + ", 5 frames"),
        std::string::npos)
        << r.out;
    r = Tool({a, "--out-dir", outDir.string(), "--mode", "panorama", "--force"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("skipped"), std::string::npos) << r.out;
}
