// The player's exit sequence while a video plays, end to end on the
// offscreen platform: from the confirmed exit (ShutdownPlayback) until the
// source is released and the view has stopped. About half a second on an
// idle machine; a hang or an unbounded wait shows up here, not in a test.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <filesystem>
#include <memory>
#include <string>

#include "player/main_window.h"
#include "player/view_presenter.h"
#include "ui/pump_step.h"
#include "video/test_video_maker.h"

namespace {

std::filesystem::path Folder() {
    return std::filesystem::temp_directory_path() /
           ("hvplayer-bench-" + std::to_string(::getpid()));
}

// A 3 s doughnut video whose ring is the player's start-up geometry.
std::string Video() {
    static const std::string path = [] {
        std::filesystem::create_directories(Folder());
        hv::TestVideoOptions clip;
        clip.path = (Folder() / "doughnut.mp4").string();
        clip.width = 480;
        clip.height = 360;
        clip.frames = 75;
        return hv::MakeTestVideo(clip).empty() ? clip.path : std::string();
    }();
    return path;
}

void BM_ExitWhilePlaying(benchmark::State& state) {
    const std::string video = Video();
    if (video.empty()) {
        state.SkipWithError("the test video could not be made");
        return;
    }
    for (auto _ : state) {
        auto w = std::make_unique<hv::player::MainWindow>(
            hv::player::PlayerPaths::InFolder(Folder(), "hvplayer"));
        w->OpenFile(QString::fromStdString(video));
        // Playing: a few pictures have reached the view (bounded).
        for (int i = 0; i < 2000 && w->Presenter().Presented() < 4; ++i) hv::ui::PumpStep(10);
        if (w->Presenter().Presented() < 4) {
            state.SkipWithError("the video did not play");
            return;
        }
        QElapsedTimer t;
        t.start();
        w->ShutdownPlayback();
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_ExitWhilePlaying)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("HV_NO_SOUND", "1");
    QApplication app(argc, argv);
    ::benchmark::Initialize(&argc, argv);
    ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(Folder(), ec);
    return 0;
}
