// The main window's command table and its handlers.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <chrono>
#include <thread>

#include "player/commands.h"
#include "player/control_row.h"
#include "player/export_dialog.h"
#include "player/main_window.h"
#include "player/path_recorder.h"
#include "player/player_help.h"
#include "player/process_scan.h"
#include "player/snapshot.h"
#include "player/view_presenter.h"
#include "ui/click_sound.h"
#include "ui/message_box.h"
#include "video/video_info.h"

namespace hv::player {

void MainWindow::BuildCommands() {
    // A handler that also flashes the button of its id.
    const auto pressed = [this](int id, std::function<void()> run) {
        commands_[id] = [this, id, run = std::move(run)] {
            controls_->ShowPressed(id);
            run();
        };
    };
    using N = Navigator;
    using P = PlaybackController;

    commands_[kCmdLoad] = [this] { LoadCommand(nullptr); };
    commands_[kCmdSetup] = [this] { StartSetupProgram(); };
    commands_[kCmdVideoInfo] = [this] { ShowVideoInfo(); };
    commands_[kCmdSaveSnapshot] = [this] { SaveSnapshotCommand(false); };
    commands_[kCmdSaveSnapshotAtSize] = [this] { SaveSnapshotCommand(true); };
    commands_[kCmdRecordPath] = [this] { ToggleRecordPath(); };
    commands_[kCmdExportVideo] = [this] { OpenExportDialog(); };
    commands_[kCmdExit] = [this] {
        click_->Play();
        if (ConfirmExit()) close();
    };
    commands_[kCmdAbout] = [this] {
        click_->Play();
        RunAboutBox(this);
    };
    pressed(kCmdHelp, [this] {
        click_->Play();
        hv::ui::RunHelpWindow(this, PlayerHelpLayout(), [this] { click_->Play(); });
    });

    for (int id : {kCmdDraft, kCmdMixed, kCmdHigh})
        commands_[id] = [this, id] { SetQualityMode(id - kCmdDraft); };
    commands_[kCmdViewStandard] = [this] { SetViewResolution(ViewResolution::Standard); };
    commands_[kCmdViewWindow] = [this] { SetViewResolution(ViewResolution::Window); };
    commands_[kCmdSoften] = [this] { ToggleSoften(); };
    commands_[kCmdGrayscale] = [this] { ToggleGrayscale(); };
    commands_[kCmdRepeat] = [this] { ToggleRepeat(); };
    pressed(kCmdFlip, [this] { engine_.AdvanceFlipMode(); });

    // The navigation buttons do what the view's keys do: arrows pan, Shift
    // and Ctrl toggle the continuous zoom.
    pressed(kCmdLeft, [this] { Navigate(&N::PanLeft); });
    pressed(kCmdRight, [this] { Navigate(&N::PanRight); });
    pressed(kCmdUp, [this] { Navigate(&N::PanUp); });
    pressed(kCmdDown, [this] { Navigate(&N::PanDown); });
    pressed(kCmdZoomIn, [this] { Navigate(&N::ToggleZoomIn); });
    pressed(kCmdZoomOut, [this] { Navigate(&N::ToggleZoomOut); });
    commands_[kCmdStopMotion] = [this] {
        navigator_.StopMotion();
        controls_->ShowPressed(kCmdStopMotion);
    };

    pressed(kCmdRestart, [this] { Transport(&P::RestartVideo); });
    pressed(kCmdPause, [this] { Transport(&P::PauseVideo); });
    pressed(kCmdPlay, [this] { Transport(&P::PlayVideo); });

    commands_[kCmdSound] = [this] { Sound([](P& c) { return c.ToggleSound(); }); };
    for (int level = 1; level <= 5; ++level) {
        commands_[kCmdLevel1 + level - 1] = [this, level] {
            Sound([level](P& c) { return c.SetVolumeLevel(level); });
        };
    }
}

void MainWindow::Command(int id) {
    auto it = commands_.find(id);
    if (it != commands_.end()) it->second();  // e.g. 2 (Escape) has no entry
}

void MainWindow::Navigate(void (Navigator::*move)()) {
    // Without a video window, or once the exit has begun, the move goes
    // nowhere, as the key would.
    if (!view_ || controller_->AppClosing()) return;
    (navigator_.*move)();
}

void MainWindow::Transport(bool (PlaybackController::*command)()) {
    if (controller_->VideoOpen()) (controller_.get()->*command)();
}

void MainWindow::Sound(const std::function<bool(PlaybackController&)>& command) {
    if (!controller_->VideoOpen()) return;
    command(*controller_);
    ReadPlayback();  // the indicators and the button follow the command at once
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
    controls_->ShowSoftenOn(on);
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

QString MainWindow::SuggestedSnapshotPath() const {
    const QString video = QString::fromStdString(controller_->CurrentVideoFile());
    const QString name = SnapshotFileName(video, controller_->Position());
    QString folder = snapshotFolder_;
    if (folder.isEmpty() && !video.isEmpty()) folder = QFileInfo(video).absolutePath();
    return folder.isEmpty() ? name : QDir(folder).filePath(name);
}

QImage MainWindow::RenderSnapshotNow(QSize size, QString* message) {
    if (size.isEmpty() && presenter_->Resolution() == ViewResolution::Window) {
        const QSize window = presenter_->WindowPixels();
        if (!window.isEmpty()) size = WindowRenderSize(window.width(), window.height());
    }
    RenderOptions options;
    options.quality = presenter_->Quality();
    options.grayscale = presenter_->Grayscale();
    options.soften = presenter_->Soften();
    // While a video plays, each panorama is unwrapped only where the view
    // looks; a snapshot (of another size, say) may look further. The frame
    // pump fills the next panorama whole on request, within a cycle or two;
    // it never waits for this thread, so a short wait here is safe.
    if (!engine_.AcquireReady().Complete()) {
        engine_.RequestWhole();
        for (int waited = 0; waited < 300 && !engine_.AcquireReady().Complete(); waited += 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::string error;
    QImage image = RenderSnapshot(engine_, navigator_.Snapshot(), options, size, &error);
    *message = QString::fromStdString(error);
    return image;
}

bool MainWindow::WriteSnapshot(const QString& file, const QImage& image, QString message) {
    if (!image.isNull() && message.isEmpty() && !image.save(file, "PNG"))
        message = QStringLiteral("%1: cannot write the PNG file").arg(file);
    if (image.isNull() || !message.isEmpty()) {
        hv::ui::ShowMessageBox(this, QMessageBox::Warning, QStringLiteral("Save snapshot"),
                               message);
        return false;
    }
    snapshotFolder_ = QFileInfo(file).absolutePath();
    return true;
}

bool MainWindow::SaveSnapshot(const QString& file, QSize size) {
    QString message;
    const QImage image = RenderSnapshotNow(size, &message);
    return WriteSnapshot(file, image, message);
}

void MainWindow::SaveSnapshotCommand(bool askSize) {
    if (!view_ || controller_->AppClosing() || fileDialogOpen_) return;
    QSize size;
    if (askSize) {
        QSize proposed = lastSnapshotSize_;
        if (proposed.isEmpty()) proposed = presenter_->WindowPixels();
        fileDialogOpen_ = true;
        size = snapshotSizeChooser_(this, proposed);
        fileDialogOpen_ = false;
        if (size.isEmpty() || !view_ || controller_->AppClosing()) return;
        lastSnapshotSize_ = size;
    }
    // The picture and the time in its name are those shown now, whatever
    // plays on while the dialog is open.
    const QString suggested = SuggestedSnapshotPath();
    QString message;
    const QImage image = RenderSnapshotNow(size, &message);
    if (image.isNull()) {
        WriteSnapshot(QString(), image, message);
        return;
    }
    fileDialogOpen_ = true;
    const QString file = snapshotChooser_(this, suggested);
    fileDialogOpen_ = false;
    if (!file.isEmpty()) WriteSnapshot(file, image, QString());
}

void MainWindow::SampleViewPath() {
    if (!recorder_->Recording() || !view_) return;
    recorder_->Sample(static_cast<double>(controller_->Position()) / 1e7, navigator_.Snapshot());
}

bool MainWindow::SaveViewPath(const QString& file) {
    const std::string json = ViewPathToJson(recorder_->Path());
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(json.data(), static_cast<qint64>(json.size())) !=
            static_cast<qint64>(json.size()) ||
        !out.flush()) {
        hv::ui::ShowMessageBox(this, QMessageBox::Warning, QStringLiteral("Record view path"),
                               QStringLiteral("%1: cannot write the view path").arg(file));
        return false;
    }
    return true;
}

void MainWindow::ToggleRecordPath() {
    if (!recorder_->Recording()) {
        recorder_->Start();
        SampleViewPath();  // the view the recording starts from
        Action(kCmdRecordPath)->setChecked(true);
        return;
    }
    SampleViewPath();
    recorder_->Stop();
    Action(kCmdRecordPath)->setChecked(false);
    if (recorder_->Keyframes().empty() || fileDialogOpen_) return;
    const QString video = QString::fromStdString(controller_->CurrentVideoFile());
    QString suggested = QStringLiteral("view-path.json");
    if (!video.isEmpty()) {
        const QFileInfo info(video);
        suggested = QDir(snapshotFolder_.isEmpty() ? info.absolutePath() : snapshotFolder_)
                        .filePath(info.completeBaseName() + QStringLiteral("-path.json"));
    }
    fileDialogOpen_ = true;
    const QString file = pathChooser_(this, suggested);
    fileDialogOpen_ = false;
    if (!file.isEmpty()) SaveViewPath(file);
}

ExportDialog* MainWindow::OpenExportDialog() {
    const std::string video = controller_->CurrentVideoFile();
    if (video.empty() || controller_->AppClosing()) return nullptr;
    if (!exportDialog_ || !exportDialog_->Running()) {
        ExportSettings base;
        base.input = video;
        base.geometry = config_.geometry;
        base.flip = engine_.CurrentFlipMode();
        base.render.quality = presenter_->Quality();
        base.render.soften = presenter_->Soften();
        base.render.grayscale = presenter_->Grayscale();
        const QFileInfo info(QString::fromStdString(video));
        base.output = QDir(info.absolutePath())
                          .filePath(info.completeBaseName() + QStringLiteral("-export.mp4"))
                          .toStdString();
        const ViewState now = navigator_.Snapshot();
        ViewKeyframe held;
        held.pan = WrapDegrees(now.pan);
        held.tilt = now.tilt;
        held.fov = now.fov;
        exportDialog_ =
            std::make_unique<ExportDialog>(base, recorder_->Path(), ViewPath({held}), this);
    }
    exportDialog_->show();
    exportDialog_->raise();
    return exportDialog_.get();
}

}  // namespace hv::player
