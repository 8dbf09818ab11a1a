// The frame source build of both programs: the fixed message of each failed
// step, GraphActive, the clean-up and the serialised player build.
#include "video/frame_source_graph.h"

#include <gst/gst.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "video/gst_frame_source.h"
#include "video_test_util.h"

namespace {

using hv::BuildStep;
using hv::FrameSourceProgram;
using hv::MessageKind;
using namespace std::chrono_literals;

const FrameSourceProgram kBoth[] = {FrameSourceProgram::Player, FrameSourceProgram::Setup};

TEST(FrameSourceMessages, FixedTextsAndBoxesOfEveryStep) {
    struct Row {
        BuildStep step;
        MessageKind playerKind;
        const char* player;
        MessageKind setupKind;
        const char* setup;
    };
    const Row rows[] = {
        {BuildStep::SampleGrabber, MessageKind::Monitoring, "IID_ISampleGrabber Error.",
         MessageKind::Monitoring, "IID_ISampleGrabber Error."},
        {BuildStep::AddGrabber, MessageKind::Monitoring, "GraphBuilder AddFilter Error.",
         MessageKind::Error, "Stream Error 004"},
        {BuildStep::SetMediaType, MessageKind::Monitoring, "ISampleGrabber SetMediaType Error.",
         MessageKind::Error, "Stream Error 005"},
        {BuildStep::AddSource, MessageKind::Error, "AddSourceFilte Error", MessageKind::Monitoring,
         "Stream Error 006\r\nInput stream is inaccessible"},
        {BuildStep::ConnectSource, MessageKind::Error, "Unsupported media type!",
         MessageKind::Monitoring, "Stream Error 007"},
        {BuildStep::AddNullRenderer, MessageKind::Error, "AddFilter m_pNullRenderer",
         MessageKind::Monitoring, "Stream Error 008"},
        {BuildStep::ConnectNullRenderer, MessageKind::Error, "Stream Error 010",
         MessageKind::Monitoring, "Stream Error 009"},
        {BuildStep::KeepSamples, MessageKind::Error, "Stream Error 011", MessageKind::Monitoring,
         "Stream Error 010"},
    };
    for (const auto& r : rows) {
        const auto p = hv::MessageForStep(FrameSourceProgram::Player, r.step);
        const auto s = hv::MessageForStep(FrameSourceProgram::Setup, r.step);
        ASSERT_TRUE(p && s) << static_cast<int>(r.step);
        EXPECT_EQ(p->text, r.player);
        EXPECT_EQ(p->kind, r.playerKind);
        EXPECT_EQ(s->text, r.setup);
        EXPECT_EQ(s->kind, r.setupKind);
    }
    const auto fmt = hv::MessageForStep(FrameSourceProgram::Player, BuildStep::ConnectedType);
    ASSERT_TRUE(fmt);
    EXPECT_EQ(fmt->kind, MessageKind::Monitoring);
    EXPECT_EQ(fmt->text,
              "Format of the file is not support.\r\nOr - File can be open by another app.\r\n ");
    EXPECT_FALSE(hv::MessageForStep(FrameSourceProgram::Setup, BuildStep::ConnectedType));
    for (auto program : kBoth) {
        EXPECT_FALSE(hv::MessageForStep(program, BuildStep::CreateGraph));
        EXPECT_FALSE(hv::MessageForStep(program, BuildStep::None));
    }
    EXPECT_STREQ(hv::CaptionOf(MessageKind::Monitoring), "Error Monitoring");
    EXPECT_STREQ(hv::CaptionOf(MessageKind::Error), "Error");
}

struct BuildResult {
    hv::BuildOutcome outcome;
    std::vector<hvtest::MessageRecord> messages;
    bool ran = false;
    int released = 0;
    int32_t activeWhileBuilding = -1;
};

BuildResult Build(FrameSourceProgram program, const std::string& file) {
    BuildResult r;
    hvtest::RecordingSink sink;
    hv::FrameSourceGraphHooks hooks;
    hooks.building = [&] { r.activeWhileBuilding = hv::GraphActive.load(); };
    hooks.running = [&](hv::FrameSource&) { r.ran = true; };
    hooks.released = [&] { ++r.released; };
    // decodebin sometimes swallows a demuxer's error on a truncated file
    // (it arrives while the demuxer is still on trial); such a file then
    // fails when the preroll bound runs out. A short bound keeps this quick.
    hooks.prerollTimeoutMs = 3000;
    r.outcome = hv::BuildFrameSourceGraph(program, file, sink, hooks);
    r.messages = sink.Messages();
    return r;
}

std::string ExpectedText(FrameSourceProgram program, BuildStep step) {
    return hv::MessageForStep(program, step)->text;
}

// Writes an audio-only file (WAV) with GStreamer itself.
std::string MakeAudioOnly() {
    hv::EnsureGstInitialised();
    const std::string path = (hvtest::TempFolder() / "tone.wav").string();
    GstElement* p =
        gst_parse_launch("audiotestsrc num-buffers=20 ! wavenc ! filesink name=out", nullptr);
    if (p == nullptr) return "";
    GstElement* out = gst_bin_get_by_name(GST_BIN(p), "out");
    g_object_set(out, "location", path.c_str(), nullptr);
    gst_object_unref(out);
    gst_element_set_state(p, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(p);
    GstMessage* m = gst_bus_timed_pop_filtered(
        bus, 10 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (m != nullptr) gst_message_unref(m);
    gst_object_unref(bus);
    gst_element_set_state(p, GST_STATE_NULL);
    gst_object_unref(p);
    return path;
}

TEST(FrameSourceGraph, BadFilesShowTheStepsMessageInEachProgram) {
    const std::filesystem::path dir = hvtest::TempFolder();
    const std::string good = hvtest::MakeVideo("good.mp4", 96, 64, 25, 1, 10, true);
    ASSERT_FALSE(good.empty());
    std::ifstream in(good, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::create_directory(dir / "folder.mp4");
    const std::string fifo = (dir / "pipe.mp4").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    struct Case {
        std::string what, path;
        BuildStep step;
    };
    const std::vector<Case> cases = {
        {"missing file", (dir / "missing.mp4").string(), BuildStep::AddSource},
        {"folder", (dir / "folder.mp4").string(), BuildStep::AddSource},
        {"fifo (cannot be read as a file)", fifo, BuildStep::AddSource},
        {"missing, spaces and non-ASCII", (dir / "ein Fülm ñ.mp4").string(), BuildStep::AddSource},
        {"text named .mp4", hvtest::WriteFile("text.mp4", "This is not a video at all.\n"),
         BuildStep::ConnectSource},
        {"truncated mp4", hvtest::WriteFile("cut.mp4", bytes.substr(0, bytes.size() / 2)),
         BuildStep::ConnectSource},
        {"empty file", hvtest::WriteFile("empty.mp4", ""), BuildStep::ConnectSource},
        {"audio only", MakeAudioOnly(), BuildStep::ConnectSource},
    };
    // GStreamer keeps a few descriptors of its own (plugin registry, sound
    // server probes) after its first use: count after one of each kind.
    Build(FrameSourceProgram::Player, good);
    Build(FrameSourceProgram::Player, cases[4].path);
    const int fdsBefore = hvtest::OpenFileCount();
    for (const auto& c : cases) {
        for (auto program : kBoth) {
            SCOPED_TRACE(c.what +
                         (program == FrameSourceProgram::Player ? " / player" : " / setup"));
            const BuildResult r = Build(program, c.path);
            EXPECT_EQ(r.outcome, hv::BuildOutcome::Failed);
            EXPECT_FALSE(r.ran);
            EXPECT_EQ(r.released, 1);
            EXPECT_EQ(r.activeWhileBuilding, 1);
            EXPECT_EQ(hv::GraphActive.load(), 0);
            EXPECT_EQ(hv::CurrentFrameSource(), nullptr);
            ASSERT_EQ(r.messages.size(), 1u);
            const auto expected = hv::MessageForStep(program, c.step);
            EXPECT_EQ(r.messages[0].text, expected->text);
            EXPECT_EQ(r.messages[0].kind, expected->kind);
            EXPECT_EQ(r.messages[0].caption, hv::CaptionOf(expected->kind));
        }
    }
    EXPECT_EQ(hvtest::OpenFileCount(), fdsBefore) << "a failed build leaves no file open";

    if (::geteuid() != 0) {
        const std::string locked = hvtest::WriteFile("locked.mp4", bytes);
        ::chmod(locked.c_str(), 0);
        for (auto program : kBoth) {
            const BuildResult r = Build(program, locked);
            ASSERT_EQ(r.messages.size(), 1u);
            EXPECT_EQ(r.messages[0].text, ExpectedText(program, BuildStep::AddSource));
        }
    } else {
        std::printf(
            "[ NOTE ] running as root: an unreadable file cannot be made with chmod; "
            "the FIFO case covers a path that cannot be read as a file\n");
    }
}

TEST(FrameSourceGraph, GoodFileRunsWithGraphActiveAndReleases) {
    const std::string dir = (hvtest::TempFolder() / "a folder ü").string();
    std::filesystem::create_directories(dir);
    hv::TestVideoOptions clip;
    clip.path = dir + "/видео ring file.mkv";
    clip.width = 96;
    clip.height = 64;
    clip.frames = 10;
    ASSERT_EQ(hv::MakeTestVideo(clip), "");
    for (auto program : kBoth) {
        hvtest::RecordingSink sink;
        int32_t activeInside = -1;
        bool hadSource = false, audio = false;
        hv::VideoFormat format;
        hv::FrameSourceGraphHooks hooks;
        hooks.running = [&](hv::FrameSource& source) {
            activeInside = hv::GraphActive.load();
            hadSource = hv::CurrentFrameSource().get() == &source;
            audio = source.HasAudio();
            format = source.Format();
        };
        EXPECT_EQ(hv::BuildFrameSourceGraph(program, clip.path, sink, hooks),
                  hv::BuildOutcome::Ran);
        EXPECT_TRUE(sink.Messages().empty());
        EXPECT_EQ(activeInside, 1);
        EXPECT_TRUE(hadSource);
        EXPECT_EQ(audio, program == FrameSourceProgram::Player) << "sound only in the player";
        EXPECT_EQ(format.width, 96);
        EXPECT_EQ(format.frameCount, 10);
        EXPECT_EQ(hv::GraphActive.load(), 0);
        EXPECT_EQ(hv::CurrentFrameSource(), nullptr);
    }
}

TEST(FrameSourceGraph, ABuildWhileAGraphIsAliveReturnsAtOnce) {
    hvtest::RecordingSink sink;
    bool touched = false;
    hv::FrameSourceGraphHooks hooks;
    hooks.building = [&] { touched = true; };
    hooks.released = [&] { touched = true; };
    hv::GraphActive.store(1);
    for (auto program : kBoth) {
        EXPECT_EQ(hv::BuildFrameSourceGraph(program, "/nonexistent.mp4", sink, hooks),
                  hv::BuildOutcome::AlreadyActive);
    }
    EXPECT_EQ(hv::GraphActive.load(), 1);
    hv::GraphActive.store(0);
    EXPECT_FALSE(touched);
    EXPECT_TRUE(sink.Messages().empty());
}

// The player admits one build at a time: a second player build waits for the
// first to end, then runs. A setup build meanwhile is refused by GraphActive.
TEST(FrameSourceGraph, PlayerBuildsAreSerialised) {
    const std::string path = hvtest::MakeVideo("serial.mkv", 64, 48, 25, 1, 10, false);
    ASSERT_FALSE(path.empty());
    std::atomic<bool> firstRunning{false}, releaseFirst{false}, firstDone{false};
    std::atomic<bool> secondRanAfterFirst{false}, secondRan{false};

    std::thread first([&] {
        hvtest::RecordingSink sink;
        hv::FrameSourceGraphHooks hooks;
        hooks.running = [&](hv::FrameSource&) {
            firstRunning.store(true);
            while (!releaseFirst.load()) std::this_thread::sleep_for(2ms);
        };
        hooks.released = [&] { firstDone.store(true); };
        hv::BuildFrameSourceGraph(FrameSourceProgram::Player, path, sink, hooks);
    });
    while (!firstRunning.load()) std::this_thread::sleep_for(2ms);

    std::thread second([&] {
        hvtest::RecordingSink sink;
        hv::FrameSourceGraphHooks hooks;
        hooks.running = [&](hv::FrameSource&) {
            secondRan.store(true);
            secondRanAfterFirst.store(firstDone.load());
        };
        hv::BuildFrameSourceGraph(FrameSourceProgram::Player, path, sink, hooks);
    });
    hvtest::RecordingSink setupSink;
    EXPECT_EQ(hv::BuildFrameSourceGraph(FrameSourceProgram::Setup, path, setupSink, {}),
              hv::BuildOutcome::AlreadyActive);
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(secondRan.load()) << "the second player build waits";
    releaseFirst.store(true);
    first.join();
    second.join();
    EXPECT_TRUE(secondRan.load());
    EXPECT_TRUE(secondRanAfterFirst.load());
    EXPECT_EQ(hv::GraphActive.load(), 0);
}

TEST(FrameSourceGraph, ReleaseIsSafeAnyTime) {
    hv::ReleaseFrameSourceGraph();
    hv::ReleaseFrameSourceGraph();
    EXPECT_EQ(hv::CurrentFrameSource(), nullptr);
}

}  // namespace

namespace {

// Paths are used whole, however long (no cut at a fixed buffer size that
// could name another file).
TEST(FrameSourceGraph, LongPathsOpenWhole) {
    std::filesystem::path dir = hvtest::TempFolder();
    for (int i = 0; i < 5; ++i) dir /= std::string(120, static_cast<char>('a' + i));
    std::filesystem::create_directories(dir);
    hv::TestVideoOptions clip;
    clip.path = (dir / "long.mkv").string();
    ASSERT_GT(clip.path.size(), 600u);
    clip.width = 64;
    clip.height = 48;
    clip.frames = 5;
    clip.audio = false;
    ASSERT_EQ(hv::MakeTestVideo(clip), "");
    hvtest::RecordingSink sink;
    hv::FrameSourceGraphHooks hooks;
    int32_t width = 0;
    hooks.running = [&](hv::FrameSource& source) { width = source.Format().width; };
    EXPECT_EQ(hv::BuildFrameSourceGraph(FrameSourceProgram::Setup, clip.path, sink, hooks),
              hv::BuildOutcome::Ran);
    EXPECT_EQ(width, 64);
    EXPECT_TRUE(sink.Messages().empty());
}

}  // namespace
