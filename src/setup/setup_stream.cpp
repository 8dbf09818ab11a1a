// The stream side of the main window: opening and stopping a video through
// the preview controller, and showing what the preview hands over. Every
// wake-up of SetupPreview arrives here queued, in the order the worker sent
// it; the window then reads the current values instead of receiving them.
#include <QFileInfo>
#include <QLabel>

#include "playback/preview_pump.h"
#include "setup/detect_command.h"
#include "setup/overlay.h"
#include "setup/picture_view.h"
#include "setup/ring_fitter.h"
#include "setup/setup_main_window.h"
#include "setup/setup_preview.h"
#include "setup/transform_window.h"
#include "ui/pump_step.h"
#include "video/video_info.h"

namespace hv::setup {

void SetupMainWindow::ConnectPreview() {
    connect(preview_.get(), &SetupPreview::streamStateChanged, this,
            &SetupMainWindow::PullStreamState, Qt::QueuedConnection);
    connect(preview_.get(), &SetupPreview::streamOpened, this, &SetupMainWindow::PullFormat,
            Qt::QueuedConnection);
    connect(preview_.get(), &SetupPreview::picturesReady, this, &SetupMainWindow::ShowNewPictures,
            Qt::QueuedConnection);
    connect(preview_.get(), &SetupPreview::streamEnded, this, &SetupMainWindow::ShowStreamEnded,
            Qt::QueuedConnection);
}

PreviewController& SetupMainWindow::Controller() const {
    return preview_->Controller();
}

void SetupMainWindow::OpenChosenVideo(const QString& path) {
    if (detect_ != nullptr) detect_->Cancel();  // its answer would be for the old video
    const std::string name = TrimVideoName(path.toStdString());
    openedSinceLoad_ = false;
    if (name.empty()) {
        Controller().OpenVideo(std::string(), [](int ms) { ui::PumpStep(ms); });
        ClearPictures(true);  // nothing is shown: no old video's strip either
        return;
    }
    // The folder of the chosen file is the last folder from now on.
    const std::string folder = QFileInfo(QString::fromStdString(name)).absolutePath().toStdString();
    record_.Update([&folder](SetupConfigState& s) { s.settings.lastFolder = folder; });
    transform_->RevealPreview();
    ClearPictures();
    Controller().OpenVideo(name, [](int ms) { ui::PumpStep(ms); });
}

void SetupMainWindow::StopPreview() {
    Controller().StopForLoad([](int ms) { ui::PumpStep(ms); });
}

bool SetupMainWindow::StreamShown() const {
    // PlaybackState alone stays 1 after a build that failed; a stream is
    // shown only while the worker holds an opened source.
    return preview_ && Controller().PlaybackState() != 0 && Controller().VideoOpen();
}

std::string SetupMainWindow::VideoInfo() const {
    return Controller().VideoInfoText();
}

void SetupMainWindow::PullTitle() {
    const std::string title = Controller().WindowTitle();
    setWindowTitle(title.empty() ? QString::fromLatin1(kSetupWindowTitle)
                                 : QString::fromStdString(title));
}

void SetupMainWindow::PullStreamState() {
    PullTitle();
    const StreamStatus status = Controller().Status();
    if (status != shownStatus_) ShowStreamStatus(status);
}

void SetupMainWindow::PullFormat() {
    openedSinceLoad_ = true;
    const VideoFormat format = Controller().Format();
    frameSize_->setText(QString::fromStdString(FrameSizeLabel(format)));
    frameRate_->setText(QString::fromStdString(FrameRateLabel(format)));
}

void SetupMainWindow::ShowNewPictures() {
    const SetupPictures shown = preview_->TakePictures();
    if (!shown.doughnut.isNull()) ShowPictures(shown);
}

void SetupMainWindow::ShowStreamEnded() {
    ShowEmptyDoughnut();
    // A build that failed leaves no strip of an earlier video behind.
    if (!openedSinceLoad_) transform_->ShowInitialPicture();
    PullStreamState();
}

void SetupMainWindow::ClearPictures(bool alsoPreview) {
    QMetaObject::invokeMethod(
        this,
        [this, alsoPreview] {
            ShowEmptyDoughnut();
            if (alsoPreview) transform_->ShowInitialPicture();
        },
        Qt::QueuedConnection);
}

void SetupMainWindow::ShowEmptyDoughnut() {
    doughnut_->SetPicture(CaptionedBackground(kDoughnutPictureSize, kDoughnutPictureSize,
                                              QStringLiteral("Main Window")));
}

void SetupMainWindow::ShowPictures(const SetupPictures& pictures) {
    doughnut_->SetPicture(pictures.doughnut);
    transform_->Preview()->SetPicture(pictures.preview);
    if (!pictures.frame.isNull()) fitter_->TakeFrame(pictures.frame);
}

}  // namespace hv::setup
