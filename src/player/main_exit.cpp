// The main window's exit sequence and its playback statistics.
#include <QCloseEvent>
#include <QDateTime>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <string>

#include "player/export_dialog.h"
#include "player/main_window.h"
#include "player/view_presenter.h"
#include "player/volume_file.h"
#include "ui/message_box.h"
#include "ui/pump_step.h"

namespace hv::player {

namespace {
const hv::PumpStep kPump = [](int ms) { hv::ui::PumpStep(ms); };
}  // namespace

bool MainWindow::ConfirmExit() {
    // A second exit request while the sequence runs is ignored.
    if (shuttingDown_ || exitConfirmed_) return exitConfirmed_;
    const auto answer = hv::ui::ShowMessageBox(
        this, QMessageBox::Warning, QStringLiteral("Exit Viewer"), QStringLiteral("Are you sure?"),
        QMessageBox::Ok | QMessageBox::Cancel);
    if (answer != QMessageBox::Ok) return false;
    ShutdownPlayback();
    hv::ui::PumpStep(1);
    exitConfirmed_ = true;
    return true;
}

void MainWindow::closeEvent(QCloseEvent* e) {
    if (exitConfirmed_ || ConfirmExit()) {
        e->accept();
        return;
    }
    e->ignore();
}

void MainWindow::ShutdownPlayback() {
    if (shuttingDown_) return;
    shuttingDown_ = true;
    // Closing the player cancels a running export and joins its worker.
    exportDialog_.reset();
    // No fixed pauses: each step waits only for what it needs.
    controller_->StopSource();
    controller_->SetAppClosing();
    hv::ui::PumpStep(1);
    // Let the image on its way to the screen arrive (bounded: the GUI thread
    // is the one that takes it, so this ends within a few passes).
    for (int i = 0; i < 200 && presenter_->PresentRunning(); ++i) hv::ui::PumpStep(10);
    // From here on nothing renders: the view buffer and the view are safe.
    presenter_->Stop();
    std::string volumeError;
    const bool volumeSaved =
        SaveVolumeLevel(paths_.volumeFile, controller_->VolumeLevel(), &volumeError);
    if (videoHost_) {
        presenter_->SetTarget(nullptr);
        videoHost_->hide();
    }
    controller_->RequestPlaybackStop(kExitStopFirstWaitMs, kPump);
    // The worker releases the source on its own; poll for it in short passes.
    controller_->WaitUntilReleased([](int ms) { hv::ui::PumpStep(std::min(ms, 10)); });
    hv::ui::PumpStep(1);
    if (statsTimer_) PrintStats();
    // Reported once the stream is released, so the box's event loop finds
    // nothing left running; worded as the setup utility's failed save.
    if (!volumeSaved) {
        hv::ui::ShowMessageBox(this, QMessageBox::Warning, QStringLiteral("Volume"),
                               QStringLiteral("The volume level could not be saved to\n%1\n\n%2")
                                   .arg(QString::fromStdString(paths_.volumeFile.string()),
                                        QString::fromStdString(volumeError)));
    }
    shuttingDown_ = false;
}

void MainWindow::EnableStats(bool on) {
    if (!on) {
        delete statsTimer_;
        statsTimer_ = nullptr;
        return;
    }
    if (statsTimer_) return;
    statsTimer_ = new QTimer(this);
    statsTimer_->setInterval(5000);
    connect(statsTimer_, &QTimer::timeout, this, &MainWindow::PrintStats);
    statsLastMs_ = QDateTime::currentMSecsSinceEpoch();
    statsLastPresented_ = presenter_->Presented();
    statsTimer_->start();
}

void MainWindow::PrintStats() {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const uint64_t presented = presenter_->Presented();
    const double seconds = std::max<qint64>(now - statsLastMs_, 1) / 1000.0;
    const PlaybackStats s = controller_->Stats();
    std::fprintf(stderr,
                 "hvplayer stats: %.1f presented fps | presented %llu, renders %llu, "
                 "renders dropped %llu, presentations skipped %llu, unwraps %llu, unwraps "
                 "dropped %llu\n",
                 (presented - statsLastPresented_) / seconds,
                 static_cast<unsigned long long>(presented),
                 static_cast<unsigned long long>(presenter_->Renders()),
                 static_cast<unsigned long long>(presenter_->RendersDropped()),
                 static_cast<unsigned long long>(presenter_->PresentationsSkipped()),
                 static_cast<unsigned long long>(s.unwrapStarted),
                 static_cast<unsigned long long>(s.unwrapDropped));
    statsLastPresented_ = presented;
    statsLastMs_ = now;
}

}  // namespace hv::player
