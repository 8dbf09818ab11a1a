// Opening a video and the position bar's seeks.
#include <QFileInfo>

#include "player/main_window.h"
#include "ui/click_sound.h"
#include "ui/pump_step.h"
#include "video/video_info.h"

namespace hv::player {

namespace {
const hv::PumpStep kPump = [](int ms) { hv::ui::PumpStep(ms); };
}  // namespace

void MainWindow::OnPositionDragged(int value) {
    seekFrame_ = value;
    if (!controller_->PlaybackLoopRunning()) return;
    // A seek pumps events, so further thumb moves arrive while it runs: they
    // only record the newest frame, which the running seek then goes to.
    pendingSeek_ = value;
    if (seeking_) return;
    seeking_ = true;
    while (pendingSeek_ >= 0) {
        const int n = pendingSeek_;
        pendingSeek_ = -1;
        controller_->SeekToFrame(n, kPump);
    }
    seeking_ = false;
}

void MainWindow::OnPositionStepped(int frame) {
    seekFrame_ = frame;
    if (!controller_->PlaybackLoopRunning()) return;
    controller_->PauseVideo();
}

void MainWindow::OnPositionReleased(int frame) {
    seekFrame_ = frame;
    if (!controller_->PlaybackLoopRunning()) return;
    pendingSeek_ = -1;
    controller_->PauseVideo();
}

void MainWindow::LoadCommand(const QString* preset) {
    click_->Play();
    if (loadBusy_ || shuttingDown_) return;
    loadBusy_ = true;
    controller_->StopForLoad(kPump);
    OpenVideo(preset);
    loadBusy_ = false;
}

void MainWindow::OpenFile(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    LoadCommand(&absolute);
}

void MainWindow::OpenVideo(const QString* preset) {
    if (fileDialogOpen_) return;
    fileDialogOpen_ = true;
    setWindowTitle(QString::fromLatin1(kAppTitle));

    // The dialog opens in the configuration's last folder; without one, in
    // the folder of the file chosen last (the current folder at first).
    QString folder = QString::fromStdString(config_.lastFolder);
    if (folder.trimmed().isEmpty()) folder = lastChosenFolder_;
    const QString chosen = preset ? *preset : chooser_(this, folder);
    fileDialogOpen_ = false;
    update();

    const std::string name = hv::TrimVideoName(chosen.toStdString());
    if (name.empty()) {
        controller_->OpenVideo(std::string(), config_.geometry, kPump);
        return;
    }
    lastChosenFolder_ = QFileInfo(QString::fromStdString(name)).absolutePath();
    // Re-read the geometry: hvconfig may have saved a new one meanwhile.
    ReadConfiguration(paths_.configFile, config_);
    engine_.SetFlipMode(config_.flipMode);
    controller_->OpenVideo(name, config_.geometry, kPump);
}

}  // namespace hv::player
