// What a user waits for in the player, end to end on the offscreen platform
// with a real video: start to the first picture (window construction and
// the open), Ctrl+L to the open dialog while a video plays and with none,
// and the exit (the confirmed sequence plus the window's destruction, which
// the process runs before it ends). Figures, never pass/fail.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <filesystem>
#include <memory>
#include <string>

#include "player/commands.h"
#include "player/main_window.h"
#include "player/view_presenter.h"
#include "ui/pump_step.h"
#include "video/test_video_maker.h"

namespace {

using hv::player::MainWindow;

std::filesystem::path Folder() {
    return std::filesystem::temp_directory_path() /
           ("hvplayer-latency-" + std::to_string(::getpid()));
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

std::unique_ptr<MainWindow> NewWindow() {
    return std::make_unique<MainWindow>(hv::player::PlayerPaths::InFolder(Folder(), "hvplayer"));
}

bool WaitForPictures(MainWindow& w, uint64_t n) {
    for (int i = 0; i < 2000 && w.Presenter().Presented() < n; ++i) hv::ui::PumpStep(5);
    return w.Presenter().Presented() >= n;
}

void BM_StartToFirstPicture(benchmark::State& state) {
    const std::string video = Video();
    if (video.empty()) return state.SkipWithError("the test video could not be made");
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        auto w = NewWindow();
        w->show();
        w->OpenFile(QString::fromStdString(video));
        if (!WaitForPictures(*w, 1)) return state.SkipWithError("no picture");
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
        w->ShutdownPlayback();
    }
}
BENCHMARK(BM_StartToFirstPicture)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// Ctrl+L until the dialog would appear (the chooser is called), the dialog
// then cancelled. range(0): 1 while a video plays, 0 with none.
void BM_LoadToDialog(benchmark::State& state) {
    const std::string video = Video();
    if (video.empty()) return state.SkipWithError("the test video could not be made");
    for (auto _ : state) {
        auto w = NewWindow();
        w->show();
        if (state.range(0) == 1) {
            w->OpenFile(QString::fromStdString(video));
            if (!WaitForPictures(*w, 4)) return state.SkipWithError("the video did not play");
        }
        QElapsedTimer t;
        qint64 ns = -1;
        w->SetFileChooser([&](QWidget*, const QString&) {
            ns = t.nsecsElapsed();
            return QString();
        });
        t.start();
        w->Command(hv::player::kCmdLoad);
        state.SetIterationTime(static_cast<double>(ns) / 1e9);
        w->ShutdownPlayback();
    }
}
BENCHMARK(BM_LoadToDialog)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// The confirmed exit while playing: the sequence and the destruction.
void BM_ExitWhilePlayingToGone(benchmark::State& state) {
    const std::string video = Video();
    if (video.empty()) return state.SkipWithError("the test video could not be made");
    for (auto _ : state) {
        auto w = NewWindow();
        w->show();
        w->OpenFile(QString::fromStdString(video));
        if (!WaitForPictures(*w, 4)) return state.SkipWithError("the video did not play");
        QElapsedTimer t;
        t.start();
        w->ShutdownPlayback();
        w.reset();
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_ExitWhilePlayingToGone)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

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
