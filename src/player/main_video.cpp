// Opening a video, the playback's callbacks and the position bar.
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMetaObject>
#include <QSlider>
#include <QThread>

#include "player/commands.h"
#include "player/main_window.h"
#include "player/player_host.h"
#include "ui/click_sound.h"
#include "ui/clickable_label.h"
#include "ui/message_box.h"
#include "ui/pump_step.h"
#include "player/view_presenter.h"
#include "video/video_info.h"
#include "playback/volume_table.h"

namespace hv::player {

namespace {
const hv::PumpStep kPump = [](int ms) { hv::ui::PumpStep(ms); };

QColor Rgb(uint32_t rgb) {
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}
}  // namespace

// ---------------------------------------------------------------- PlayerHost

void PlayerHost::OnGui(std::function<void()> fn) {
    if (QThread::currentThread() == window_.thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(&window_, std::move(fn), Qt::QueuedConnection);
}

MessageSink& PlayerHost::Messages() {
    return *window_.messages_;
}

void PlayerHost::SetTitle(const std::string& text) {
    const QString title = QString::fromStdString(text);
    OnGui([w = &window_, title] { w->setWindowTitle(title); });
}

void PlayerHost::ResetTitle() {
    OnGui([w = &window_] { w->setWindowTitle(QString::fromLatin1(kAppTitle)); });
}

void PlayerHost::StreamOpened(const VideoFormat& format) {
    const int frames = format.frameCount;
    OnGui([w = &window_, frames] { w->OnStreamOpened(frames); });
}

void PlayerHost::StreamStarted(const RingGeometry& ring, const VideoFormat&) {
    std::string error;
    if (!window_.presenter_->StartStream(ring, &error)) {
        window_.messages_->Post(QMessageBox::Information, QStringLiteral("Error Monitoring"),
                                QString::fromStdString(error));
        return;
    }
    OnGui([w = &window_] { w->OnStreamStarted(); });
}

void PlayerHost::StreamEnded() {}

void PlayerHost::RequestRender() {
    window_.presenter_->RequestRender();
}

void PlayerHost::SetPositionBar(int32_t position) {
    OnGui([w = &window_, position] { w->OnPositionBar(position); });
}

void PlayerHost::ShowVolumeLevel(int32_t level) {
    OnGui([w = &window_, level] { w->OnVolumeLevel(level); });
}

void PlayerHost::ShowSoundOn(bool on) {
    OnGui([w = &window_, on] { w->OnSoundOn(on); });
}

// --------------------------------------------------------------- MainWindow

void MainWindow::OnStreamOpened(int frameCount) {
    const QSignalBlocker block(positionBar_);
    positionBar_->setRange(1, std::max(frameCount, 1));
    positionBar_->setPageStep(10);
    positionBar_->setValue(1);
}

void MainWindow::OnPositionBar(int position) {
    // Leave the thumb alone while the user holds it.
    if (positionBar_->isSliderDown()) return;
    const QSignalBlocker block(positionBar_);
    positionBar_->setValue(position);
}

void MainWindow::OnVolumeLevel(int level) {
    if (level < 0 || level > 5) return;  // such a level changes nothing
    for (int k = 1; k <= 5; ++k) {
        QLabel* bar = levelBars_[k - 1];
        QPalette pal = bar->palette();
        pal.setColor(QPalette::Window, Rgb(k <= level ? kLevelLitRgb : kLevelUnlitRgb));
        pal.setColor(QPalette::WindowText, Qt::white);
        bar->setPalette(pal);
        bar->update();
    }
}

void MainWindow::OnSoundOn(bool on) {
    Control(kCmdSound)->SetNormalPicture(
        QPixmap(on ? QStringLiteral(":/player/images/soundon.png")
                   : QStringLiteral(":/player/images/soundoff.png")));
}

void MainWindow::OnPositionBarMoved(int value) {
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

void MainWindow::OnPositionBarAction(int action) {
    if (action == QAbstractSlider::SliderMove || action == QAbstractSlider::SliderNoAction)
        return;  // thumb tracking is handled by OnPositionBarMoved
    seekFrame_ = positionBar_->value();
    if (!controller_->PlaybackLoopRunning()) return;
    controller_->PauseVideo();
}

void MainWindow::OnPositionBarReleased() {
    seekFrame_ = positionBar_->value();
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
