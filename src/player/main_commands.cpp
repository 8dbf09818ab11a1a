// The main window's commands and its exit sequence.
#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "player/commands.h"
#include "player/main_window.h"
#include "player/player_help.h"
#include "player/process_scan.h"
#include "ui/click_sound.h"
#include "ui/clickable_label.h"
#include "ui/message_box.h"
#include "ui/pump_step.h"
#include "player/view_presenter.h"
#include "player/volume_file.h"
#include "video/video_info.h"

namespace hv::player {

namespace {
const hv::PumpStep kPump = [](int ms) { hv::ui::PumpStep(ms); };

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
}  // namespace

bool MainWindow::SoftenOn() const {
    return presenter_->Soften();
}
bool MainWindow::GrayscaleOn() const {
    return presenter_->Grayscale();
}
bool MainWindow::RepeatOn() const {
    return controller_->Repeat();
}

void MainWindow::ShowPressed(int id) {
    if (auto* b = Control(id)) b->FlashPressed(200);
}

void MainWindow::SendKeyToView(int qtKey) {
    // Without a video window the key-down goes nowhere.
    if (view_) view_->KeyDown(qtKey);
}

void MainWindow::Command(int id) {
    switch (id) {
        case kCmdLoad:
            LoadCommand(nullptr);
            break;
        case kCmdRepeat:
            ToggleRepeat();
            break;
        case kCmdFlip:
            ShowPressed(kCmdFlip);
            engine_.AdvanceFlipMode();
            break;
        case kCmdDraft:
        case kCmdMixed:
        case kCmdHigh:
            SetQualityMode(id - kCmdDraft);
            break;
        case kCmdLeft:
            ShowPressed(id);
            SendKeyToView(Qt::Key_Left);
            break;
        case kCmdRight:
            ShowPressed(id);
            SendKeyToView(Qt::Key_Right);
            break;
        case kCmdUp:
            ShowPressed(id);
            SendKeyToView(Qt::Key_Up);
            break;
        case kCmdDown:
            ShowPressed(id);
            SendKeyToView(Qt::Key_Down);
            break;
        case kCmdStopMotion:
            navigator_.StopMotion();
            ShowPressed(id);
            break;
        case kCmdZoomIn:
            ShowPressed(id);
            SendKeyToView(Qt::Key_Shift);
            break;
        case kCmdZoomOut:
            ShowPressed(id);
            SendKeyToView(Qt::Key_Control);
            break;
        case kCmdRestart:
            ShowPressed(id);
            if (controller_->VideoOpen()) controller_->RestartVideo();
            break;
        case kCmdPause:
            ShowPressed(id);
            if (controller_->VideoOpen()) controller_->PauseVideo();
            break;
        case kCmdPlay:
            ShowPressed(id);
            if (controller_->VideoOpen()) controller_->PlayVideo();
            break;
        case kCmdSound:
            if (controller_->VideoOpen()) controller_->ToggleSound();
            break;
        case kCmdLevel1:
        case kCmdLevel1 + 1:
        case kCmdLevel1 + 2:
        case kCmdLevel1 + 3:
        case kCmdLevel5:
            if (controller_->VideoOpen()) controller_->SetVolumeLevel(id - kCmdLevel1 + 1);
            break;
        case kCmdVideoInfo:
            ShowVideoInfo();
            break;
        case kCmdExit:
            click_->Play();
            if (ConfirmExit()) close();
            break;
        case kCmdSetup:
            StartSetupProgram();
            break;
        case kCmdHelp:
            ShowPressed(id);
            click_->Play();
            ShowHelp();
            break;
        case kCmdAbout:
            click_->Play();
            ShowAbout();
            break;
        case kCmdSoften:
            ToggleSoften();
            break;
        case kCmdGrayscale:
            ToggleGrayscale();
            break;
        default:
            break;  // e.g. 2 (Escape): no entry
    }
}

void MainWindow::ToggleRepeat() {
    const bool on = !controller_->Repeat();
    controller_->SetRepeat(on);
    Action(kCmdRepeat)->setChecked(on);
}

void MainWindow::ToggleSoften() {
    click_->Play();
    const bool on = !presenter_->Soften();
    presenter_->SetSoften(on);
    Action(kCmdSoften)->setChecked(on);
    Control(kCmdSoften)
        ->SetNormalPicture(QPixmap(on ? QStringLiteral(":/player/images/bill2.png")
                                      : QStringLiteral(":/player/images/bill.png")));
}

void MainWindow::ToggleGrayscale() {
    click_->Play();
    const bool on = !presenter_->Grayscale();
    presenter_->SetGrayscale(on);
    Action(kCmdGrayscale)->setChecked(on);
}

void MainWindow::ShowVideoInfo() {
    const std::string text = controller_->VideoInfoText();
    if (hv::IsVideoInfoBlank(text)) return;
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    hv::ui::ShowMessageBox(this, QMessageBox::Information, QString::fromLatin1(kVideoInfoCaption),
                           shown);
}

void MainWindow::StartSetupProgram() {
    if (controller_->VideoOpen()) controller_->PauseVideo();
    click_->Play();
    if (IsProcessRunning(paths_.setupProgram.filename().string())) {
        hv::ui::ShowMessageBox(this, QMessageBox::Warning, QStringLiteral("Info:"),
                               QStringLiteral("HVConfig is already running"));
        return;
    }
    // Started on its own; the player neither waits for it nor watches it.
    QProcess::startDetached(QString::fromStdString(paths_.setupProgram.string()), {},
                            QString::fromStdString(paths_.programDir.string()));
}

void MainWindow::ShowHelp() {
    hv::ui::RunHelpWindow(this, PlayerHelpLayout(), [this] { click_->Play(); });
}

void MainWindow::ShowAbout() {
    RunAboutBox(this);
}

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
    controller_->StopSource();
    Sleep(10);
    controller_->SetAppClosing();
    hv::ui::PumpStep(50);
    Sleep(50);
    // Let the image on its way to the screen arrive (bounded: the GUI thread
    // is the one that takes it, so this ends within a few passes).
    for (int i = 0; i < 200 && presenter_->PresentRunning(); ++i) hv::ui::PumpStep(10);
    // From here on nothing renders: the view buffer and the view are safe.
    presenter_->Stop();
    SaveVolumeLevel(paths_.volumeFile, controller_->VolumeLevel());
    Sleep(50);
    if (videoHost_) {
        presenter_->SetTarget(nullptr);
        videoHost_->hide();
    }
    controller_->RequestPlaybackStop(kExitStopFirstWaitMs, kPump);
    // The worker releases the source on its own; poll for it in short passes.
    controller_->WaitUntilReleased([](int ms) { hv::ui::PumpStep(std::min(ms, 10)); });
    hv::ui::PumpStep(1);
    Sleep(50);
    if (statsTimer_) PrintStats();
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
