// The menus, the accelerators and what every command does.
#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenuBar>
#include <QShortcut>

#include "playback/preview_pump.h"
#include "setup/detect_command.h"
#include "setup/ring_fitter.h"
#include "setup/setup_help_window.h"
#include "setup/setup_main_window.h"
#include "setup/transform_window.h"
#include "ui/click_sound.h"
#include "ui/clickable_label.h"
#include "ui/message_box.h"
#include "ui/open_video_dialog.h"
#include "ui/pump_step.h"
#include "video/frame_source_graph.h"
#include "video/video_info.h"

namespace hv::setup {

void SetupMainWindow::BuildMenus() {
    auto item = [this](QMenu* m, const char* text, int id) {
        QAction* a = m->addAction(QString::fromLatin1(text));
        a->setData(id);
        connect(a, &QAction::triggered, this, [this, id] { Command(id); });
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    item(file, "Load Doughnut Movie\tCtrl + L", kCmdLoad);
    item(file, "Save Parameters\tCtrl + S", kCmdSave);
    file->addSeparator();
    item(file, "Video Stream Info", kCmdVideoInfo);
    file->addSeparator();
    item(file, "Exit\tAlt + F4", kCmdExit);
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    item(help, "Help\tF1", kCmdHelp);
    help->addSeparator();
    item(help, "About", kCmdAbout);
}

void SetupMainWindow::BuildAccelerators() {
    // Independent of the menu texts ("Ctrl + L" is display text). They work
    // from the preview window too; a modal window still blocks them.
    auto accel = [this](const QKeySequence& key, int id) {
        auto* s = new QShortcut(key, this);
        s->setContext(Qt::ApplicationShortcut);
        connect(s, &QShortcut::activated, this, [this, id] { Command(id); });
    };
    accel(QKeySequence(Qt::CTRL | Qt::Key_L), kCmdLoad);
    accel(QKeySequence(Qt::CTRL | Qt::Key_S), kCmdSave);
    accel(QKeySequence(Qt::Key_F1), kCmdHelp);
}

// ---- commands -------------------------------------------------------------

void SetupMainWindow::Command(int id) {
    if (IsKeypadCommand(id)) {
        if (KeypadCommand(id)) RefreshGeometryLabels();
        return;
    }
    switch (id) {
        case kCmdLoad:
            LoadCommand();
            break;
        case kCmdSave:
            if (!StreamShown()) return;  // ignored without a stream: no refresh either
            SaveCommand();
            break;
        case kCmdVideoInfo:
            ShowVideoInfo();
            break;
        case kCmdExit:
            ConfirmExit(true);
            return;
        case kCmdHelp:
            SetupHelpWindow(this, [this] { tick_->Play(); });
            break;
        case kCmdAbout: {
            SetupAboutWindow about(this);
            about.exec();
            break;
        }
        case kCmdRun:
        case kCmdStop:
            RunStopCommand(id == kCmdRun);
            break;
        case kCmdFlipH:
        case kCmdFlipV: {
            QCheckBox* box = id == kCmdFlipH ? flipH_ : flipV_;
            box->toggle();
            FlipCommand(id, box->isChecked());
            break;
        }
        default:
            break;
    }
    RefreshGeometryLabels();
}

bool SetupMainWindow::KeypadCommand(int id) {
    if (!StreamShown()) return false;  // silently ignored before a video
    tickB_->Play();
    // One step is one locked update: the worker copies all of it or none.
    const DoughnutGeometry before = record_.Snapshot().geometry;
    record_.Update([id](SetupConfigState& s) { return ApplyKeypadStep(id, s.geometry); });
    fitter_->Recorded(before, record_.Snapshot().geometry, QStringLiteral("Keypad step"));
    return true;
}

void SetupMainWindow::FlipCommand(int id, bool checked) {
    const int32_t v = checked ? 1 : 0;
    record_.Update([id, v](SetupConfigState& s) {
        (id == kCmdFlipH ? s.geometry.flipH : s.geometry.flipV) = v;
    });
}

void SetupMainWindow::RefreshGeometryLabels() {
    const GeometryLabels t = GeometryLabelTexts(record_.Snapshot().geometry);
    const std::string* texts[] = {&t.left, &t.top, &t.zoomL, &t.width, &t.height, &t.inner};
    for (int i = 0; i < 6; ++i) values_[i]->setText(QString::fromStdString(*texts[i]));
}

void SetupMainWindow::WaitLive(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) ui::PumpStep(std::min<int>(10, ms - int(timer.elapsed()) + 1));
}

void SetupMainWindow::LoadCommand() {
    load_->FlashPressed(kClickPauseMs);
    tick_->Play();
    WaitLive(kClickPauseMs);
    StopPreview();
    if (!Controller().BeginFileDialog()) return;
    Controller().ResetTitle();
    PullTitle();
    frameSize_->clear();
    Controller().ClearVideoInfo();
    const QString folder = QString::fromStdString(record_.Copy().settings.lastFolder);
    const QString chosen = ui::ShowOpenVideoDialog(this, folder);
    Controller().EndFileDialog();
    ui::PumpStep(50);
    ClearPictures();
    OpenChosenVideo(chosen);
}

void SetupMainWindow::SaveCommand() {
    save_->FlashPressed(kClickPauseMs);
    tick_->Play();
    WaitLive(kClickPauseMs);
    SaveParameters();
    WaitLive(100);
}

bool SetupMainWindow::SaveParameters() {
    // Written from a copy: the file write happens outside the record's lock.
    SetupConfigState copy = record_.Copy();
    // The user's configuration folder may not exist yet.
    WriteResult result = EnsureSettingsFolder(paths_.configFile.parent_path());
    if (result.ok) result = WriteConfiguration(paths_.configFile, copy);
    if (result.ok) {
        // The writer may have put the start-up geometry back (left and width 0).
        record_.Update([&copy](SetupConfigState& s) { s.geometry = copy.geometry; });
        fitter_->MarkSaved(copy.geometry);
        return true;
    }
    ui::ShowMessageBox(this, QMessageBox::Warning, QStringLiteral("Save Parameters"),
                       QStringLiteral("The parameters could not be saved to\n%1\n\n%2\n\n"
                                      "The values stay in the program; save again once the "
                                      "folder can be written.")
                           .arg(QString::fromStdString(paths_.configFile.string()),
                                QString::fromStdString(result.error)));
    return false;
}

void SetupMainWindow::RunStopCommand(bool run) {
    tick_->Play();
    WaitLive(kClickPauseMs);
    if (GraphActive.load() != 1) return;
    if (run)
        Controller().RunVideo();
    else
        Controller().PauseVideo();
}

void SetupMainWindow::ShowVideoInfo() {
    const std::string text = VideoInfo();
    if (IsVideoInfoBlank(text)) return;
    ui::ShowMessageBox(
        this, QMessageBox::Information, QString::fromLatin1(kVideoInfoCaption),
        QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

bool SetupMainWindow::ConfirmExit(bool withClick) {
    if (withClick) tick_->Play();
    const auto answer =
        ui::ShowMessageBox(this, QMessageBox::Warning, QStringLiteral("Exit IDE"),
                           QStringLiteral("Are you sure?"), QMessageBox::Ok | QMessageBox::Cancel);
    if (answer != QMessageBox::Ok) return false;
    if (detect_ != nullptr) detect_->Cancel();
    // Nothing to wait for when no video was ever opened.
    if (Controller().WorkerAlive()) Controller().Shutdown([](int ms) { ui::PumpStep(ms); });
    ui::PumpStep(0);
    exitConfirmed_ = true;
    transform_->hide();
    close();
    return true;
}

}  // namespace hv::setup
