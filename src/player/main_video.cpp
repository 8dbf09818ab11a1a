// Opening a video and the position bar's seeks.
#include <QFileInfo>

#include "player/commands.h"
#include "player/control_row.h"
#include "player/main_window.h"
#include "player/start_picture.h"
#include "player/view_presenter.h"
#include "ui/click_sound.h"
#include "ui/clickable_label.h"
#include "ui/pump_step.h"
#include "video/video_info.h"

namespace hv::player {

namespace {
const hv::PumpStep kPump = [](int ms) { hv::ui::PumpStep(ms); };
}  // namespace

void MainWindow::OnPositionDragged(int value) {
    seekFrame_ = value;
    // The loop takes the newest frame at its next cycle; the GUI thread
    // never waits for a seek, and moves faster than the loop replace each
    // other.
    controller_->RequestSeek(value);
}

void MainWindow::OnPositionStepped(int frame) {
    seekFrame_ = frame;
    if (!controller_->PlaybackLoopRunning()) return;
    controller_->PauseVideo();
}

void MainWindow::OnPositionReleased(int frame) {
    seekFrame_ = frame;
    // Always the frame of the release, even when the last move's request
    // was already taken: the video stays paused there.
    controller_->RequestSeek(frame);
}

void MainWindow::LoadCommand(const QString* preset) {
    // A file chosen beforehand (command line, a drop) was not a click.
    if (!preset) click_->Play();
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
        ShowNoVideo();
        return;
    }
    lastChosenFolder_ = QFileInfo(QString::fromStdString(name)).absolutePath();
    // Re-read the geometry: hvconfig may have saved a new one meanwhile.
    ReadConfiguration(paths_.configFile, config_);
    engine_.SetFlipMode(config_.flipMode);
    awaitingStream_ = controller_->OpenVideo(name, config_.geometry, kPump);
}

void MainWindow::SetTransportActive(bool on) {
    for (int id : {kCmdRestart, kCmdPlay, kCmdPause}) controls_->Button(id)->setEnabled(on);
}

void MainWindow::CheckOpenOutcome() {
    if (controller_->WorkerAlive() || controller_->VideoOpen()) return;
    if (awaitingStream_) {
        // The worker ended before its stream started: the open failed (its
        // message box came from the build).
        awaitingStream_ = false;
        ShowNoVideo();
        return;
    }
    // A stream broken while playing: the view keeps its last picture and
    // the title says why, without a box in the way.
    const QString error = QString::fromStdString(controller_->StreamError());
    if (!error.isEmpty() && error != shownStreamError_) {
        shownStreamError_ = error;
        setWindowTitle(QStringLiteral("%1 - %2").arg(QString::fromLatin1(kAppTitle), error));
    }
}

void MainWindow::ShowNoVideo() {
    setWindowTitle(QString::fromLatin1(kAppTitle));
    SetTransportActive(false);
    controls_->ShowFrameCount(1);
    shownStreamError_.clear();
    if (videoHost_) {
        presenter_->SetTarget(nullptr);
        delete videoHost_;
        videoHost_ = nullptr;
        view_ = nullptr;
    }
    if (!startPicture_) {
        startPicture_ =
            new StartPicture(QPixmap(QStringLiteral(":/player/images/SPLASH.png")), client_);
        startPicture_->move(5, 5);
        startPicture_->show();
    }
    LayoutMainWindow(client_->size(), false);
}

}  // namespace hv::player
