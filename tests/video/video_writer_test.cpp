// The video writer: files read back with the project's own frame source
// (pictures, count, length, orientation) and with GStreamer's discoverer
// (the sound track), and the failures it must report.
#include "video/video_writer.h"

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "video/gst_frame_source.h"
#include "video/test_video_maker.h"
#include "video_test_util.h"

namespace {

// Frame n of a w x h clip as the engine holds it (bottom-up), carrying the
// maker's frame-number code in its top-left corner.
hv::FrameBuffer NumberedFrame(int32_t w, int32_t h, int32_t n) {
    hv::TestVideoOptions clip;
    clip.width = w;
    clip.height = h;
    std::vector<uint32_t> topDown(static_cast<size_t>(w) * h);
    hv::RenderTestFrame(clip, n, topDown.data());
    hv::FrameBuffer fb;
    fb.Allocate(w, h);
    for (int32_t y = 0; y < h; ++y) {
        std::memcpy(fb.data() + static_cast<size_t>(h - 1 - y) * w,
                    topDown.data() + static_cast<size_t>(y) * w, size_t{4} * w);
    }
    return fb;
}

// Writes `frames` numbered frames; returns "" or the first failure.
std::string WriteClip(const hv::VideoWriterSettings& settings, int32_t frames) {
    std::string error;
    auto writer = hv::VideoWriter::Open(settings, &error);
    if (!writer) return error.empty() ? "Open failed without a message" : error;
    for (int32_t n = 0; n < frames; ++n) {
        if (!writer->Write(NumberedFrame(settings.width, settings.height, n), &error)) return error;
    }
    if (!writer->Finish(&error)) return error.empty() ? "Finish failed without a message" : error;
    return "";
}

// Name of the first sound stream's caps as stored ("audio/mpeg", ...); ""
// when the file has none.
std::string StoredSound(const std::string& path) {
    hv::EnsureGstInitialised();
    GstDiscoverer* discoverer = gst_discoverer_new(10 * GST_SECOND, nullptr);
    gchar* uri = gst_filename_to_uri(path.c_str(), nullptr);
    GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri, nullptr);
    g_free(uri);
    std::string name;
    if (info != nullptr) {
        GList* streams = gst_discoverer_info_get_audio_streams(info);
        if (streams != nullptr) {
            GstCaps* caps = gst_discoverer_stream_info_get_caps(
                static_cast<GstDiscovererStreamInfo*>(streams->data));
            if (caps != nullptr) {
                name = gst_structure_get_name(gst_caps_get_structure(caps, 0));
                gst_caps_unref(caps);
            }
        }
        gst_discoverer_stream_info_list_free(streams);
        gst_discoverer_info_unref(info);
    }
    g_object_unref(discoverer);
    return name;
}

TEST(VideoWriter, FrameTimesAreExact) {
    EXPECT_EQ(hv::VideoFrameTimeNs(25, 1, 3), 120'000'000);
    EXPECT_EQ(hv::VideoFrameTimeNs(24000, 1001, 3), 125'125'000);
    EXPECT_EQ(hv::VideoFrameTimeNs(30000, 1001, 300), 10'010'000'000);
    // No drift after a million frames: floor(10^6 * 1001 * 10^9 / 30000).
    EXPECT_EQ(hv::VideoFrameTimeNs(30000, 1001, 1'000'000), 33'366'666'666'666);
}

// 15 frames at 25 fps, at odd sizes: H.264 pads them to even, VP8 keeps
// them. Seeking to a frame shows its own number, read from the top-left
// corner: the file is upright and every frame sits at its time.
TEST(VideoWriter, FramesComeBackUprightCountedAndTimed) {
    struct Case {
        const char* name;
        int32_t w, h, encodedW, encodedH;
    };
    for (const Case& c : {Case{"frames.mkv", 97, 61, 98, 62}, Case{"frames.webm", 97, 61, 97, 61},
                          Case{"frames.mp4", 160, 120, 160, 120}}) {
        SCOPED_TRACE(c.name);
        hv::VideoWriterSettings s;
        s.path = (hvtest::TempFolder() / c.name).string();
        s.width = c.w;
        s.height = c.h;
        ASSERT_EQ(WriteClip(s, 15), "");
        auto source = hv::CreateGstFrameSource();
        hv::FrameSourceOptions options;
        options.withAudio = false;
        ASSERT_EQ(source->Open(s.path, options), hv::BuildStep::None);
        const hv::VideoFormat f = source->Format();
        EXPECT_EQ(f.width, c.encodedW);
        EXPECT_EQ(f.height, c.encodedH);
        EXPECT_EQ(f.avgTimePerFrame, 400'000);
        EXPECT_EQ(f.duration, 6'000'000);
        EXPECT_EQ(f.frameCount, 15);
        EXPECT_EQ(StoredSound(s.path), "") << "no sound asked for";
        ASSERT_TRUE(source->Pause());
        source->WaitForState();
        hv::FrameBuffer fb;
        fb.Allocate(f.width, f.height);
        for (int32_t n : {0, 7, 14}) {
            ASSERT_TRUE(source->Seek(f.avgTimePerFrame * n));
            source->WaitForState();
            int32_t size = fb.PictureBytes();
            ASSERT_TRUE(source->CurrentFrame(fb.data(), &size));
            EXPECT_EQ(hv::ReadFrameNumber(fb.data(), f.width, f.height), n);
        }
        source->Close();
    }
}

// The sound of another file: AAC goes into Matroska and MPEG-TS as stored;
// Vorbis, which MP4 does not take, is encoded again as AAC.
TEST(VideoWriter, SoundFromAFileIsCopiedOrEncodedAgain) {
    const std::string aac = hvtest::MakeVideo("sound.mp4", 64, 48, 25, 1, 25, true);
    const std::string vorbis = hvtest::MakeVideo("sound.mkv", 64, 48, 25, 1, 25, true);
    ASSERT_FALSE(aac.empty());
    ASSERT_FALSE(vorbis.empty());
    ASSERT_EQ(StoredSound(aac), "audio/mpeg");
    ASSERT_EQ(StoredSound(vorbis), "audio/x-vorbis");
    struct Case {
        const char* name;
        const std::string& source;
        const char* expected;
    };
    for (const Case& c :
         {Case{"copied.mkv", aac, "audio/mpeg"}, Case{"copied.ts", aac, "audio/mpeg"},
          Case{"encoded.mp4", vorbis, "audio/mpeg"},
          Case{"copied.webm", vorbis, "audio/x-vorbis"}}) {
        SCOPED_TRACE(c.name);
        hv::VideoWriterSettings s;
        s.path = (hvtest::TempFolder() / c.name).string();
        s.width = 64;
        s.height = 48;
        s.audioSourcePath = c.source;
        ASSERT_EQ(WriteClip(s, 25), "");
        EXPECT_EQ(StoredSound(s.path), c.expected);
    }
}

TEST(VideoWriter, FailuresAreReportedAndLeaveNoFile) {
    hv::VideoWriterSettings s;
    s.width = 64;
    s.height = 48;
    std::string error;

    // A folder that does not exist, and a "folder" that is a file.
    s.path = (hvtest::TempFolder() / "no-such-folder" / "x.mkv").string();
    EXPECT_EQ(hv::VideoWriter::Open(s, &error), nullptr);
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    const std::string file = hvtest::WriteFile("plain-file", "x");
    s.path = file + "/x.mp4";
    error.clear();
    EXPECT_EQ(hv::VideoWriter::Open(s, &error), nullptr);
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;

    // A full disk: the failure comes from the bus while writing or at the
    // end, never a success; the device itself is left alone.
    s.path = "/dev/full";
    s.container = "mkv";
    error = WriteClip(s, 10);
    EXPECT_NE(error, "") << "a full disk was reported as written";
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
    s.container.clear();

    // A frame of the wrong size is refused; a file not finished is removed.
    s.path = (hvtest::TempFolder() / "unfinished.mkv").string();
    {
        auto writer = hv::VideoWriter::Open(s, &error);
        ASSERT_NE(writer, nullptr) << error;
        error.clear();
        EXPECT_FALSE(writer->Write(NumberedFrame(32, 32, 0), &error));
        EXPECT_NE(error, "");
        ASSERT_TRUE(writer->Write(NumberedFrame(64, 48, 0), &error)) << error;
    }
    EXPECT_FALSE(std::filesystem::exists(s.path));

    // A sound file without sound, or no file at all.
    s.path = (hvtest::TempFolder() / "mute.mkv").string();
    s.audioSourcePath = hvtest::MakeVideo("silent.mkv", 64, 48, 25, 1, 5, false);
    error.clear();
    EXPECT_EQ(hv::VideoWriter::Open(s, &error), nullptr);
    EXPECT_NE(error.find("no sound"), std::string::npos) << error;
    s.audioSourcePath = (hvtest::TempFolder() / "missing.mkv").string();
    error.clear();
    EXPECT_EQ(hv::VideoWriter::Open(s, &error), nullptr);
    EXPECT_NE(error, "");
    EXPECT_FALSE(std::filesystem::exists(s.path));
}

}  // namespace
