#include "player/export_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

namespace hv::player {

ExportDialog::ExportDialog(const ExportSettings& base, ViewPath recording, ViewPath currentView,
                           QWidget* parent)
    : QDialog(parent),
      base_(base),
      recording_(std::move(recording)),
      currentView_(std::move(currentView)) {
    setWindowTitle(QStringLiteral("Export video"));
    auto* form = new QFormLayout;
    mode_ = new QComboBox(this);
    mode_->addItems(
        {QStringLiteral("Reframe"), QStringLiteral("Panorama"), QStringLiteral("Equirectangular")});
    form->addRow(QStringLiteral("Mode"), mode_);
    width_ = new QSpinBox(this);
    width_->setRange(16, 8192);
    width_->setValue(base.width);
    height_ = new QSpinBox(this);
    height_->setRange(16, 8192);
    height_->setValue(base.height);
    auto* size = new QHBoxLayout;
    size->addWidget(width_);
    size->addWidget(new QLabel(QStringLiteral("x"), this));
    size->addWidget(height_);
    form->addRow(QStringLiteral("Size"), size);
    crf_ = new QSpinBox(this);
    crf_->setRange(0, 51);
    crf_->setValue(base.crf);
    crf_->setToolTip(QStringLiteral("Constant quality: lower is better and larger"));
    form->addRow(QStringLiteral("Quality"), crf_);
    path_ = new QComboBox(this);
    path_->addItems({QStringLiteral("Current recording"), QStringLiteral("View path file"),
                     QStringLiteral("Current view")});
    path_->setCurrentIndex(recording_.keyframes().empty() ? kPathCurrentView : kPathRecording);
    form->addRow(QStringLiteral("View path"), path_);
    pathFile_ = new QLineEdit(this);
    browsePathFile_ = new QPushButton(QStringLiteral("Browse..."), this);
    connect(browsePathFile_, &QPushButton::clicked, this, [this] { BrowsePathFile(); });
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(pathFile_);
    pathRow->addWidget(browsePathFile_);
    form->addRow(QStringLiteral("Path file"), pathRow);
    output_ = new QLineEdit(QString::fromStdString(base.output), this);
    browseOutput_ = new QPushButton(QStringLiteral("Browse..."), this);
    connect(browseOutput_, &QPushButton::clicked, this, [this] { BrowseOutput(); });
    auto* outputRow = new QHBoxLayout;
    outputRow->addWidget(output_);
    outputRow->addWidget(browseOutput_);
    form->addRow(QStringLiteral("Output file"), outputRow);

    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1);
    progress_->setValue(0);
    status_ = new QLabel(this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    start_ = buttons->addButton(QStringLiteral("Export"), QDialogButtonBox::AcceptRole);
    connect(start_, &QPushButton::clicked, this, [this] { Start(); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { reject(); });
    connect(this, &ExportDialog::workerNews, this, &ExportDialog::OnWorkerNews,
            Qt::QueuedConnection);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(progress_);
    layout->addWidget(status_);
    layout->addWidget(buttons);
}

ExportDialog::~ExportDialog() {
    cancel_.store(true);
    Join();
}

bool ExportDialog::Settings(ExportSettings* out, std::string* error) const {
    ExportSettings s = base_;
    s.mode = static_cast<ExportMode>(mode_->currentIndex());
    s.width = width_->value();
    s.height = height_->value();
    s.crf = crf_->value();
    s.output = output_->text().toStdString();
    if (s.output.empty()) {
        if (error) *error = "choose an output file";
        return false;
    }
    switch (path_->currentIndex()) {
        case kPathRecording:
            if (recording_.keyframes().empty()) {
                if (error) *error = "there is no recorded view path";
                return false;
            }
            s.path = recording_;
            break;
        case kPathFile: {
            QFile file(pathFile_->text());
            if (!file.open(QIODevice::ReadOnly)) {
                if (error) *error = pathFile_->text().toStdString() + ": cannot read the view path";
                return false;
            }
            // A .json path as the player records it; any other file as an
            // ffmpeg sendcmd file, as hvtool export reads them.
            const std::string text = file.readAll().toStdString();
            const bool ok =
                pathFile_->text().endsWith(QStringLiteral(".json"), Qt::CaseInsensitive)
                    ? ParseViewPathJson(text, &s.path, error)
                    : ParseSendCmd(text, static_cast<double>(s.height) / s.width, &s.path, error);
            if (!ok) return false;
            break;
        }
        default:
            s.path = currentView_;
    }
    *out = std::move(s);
    return true;
}

bool ExportDialog::Start() {
    if (running_) return false;
    ExportSettings settings;
    std::string error;
    if (!Settings(&settings, &error)) {
        status_->setText(QString::fromStdString(error));
        return false;
    }
    Join();  // a finished job's thread
    cancel_.store(false);
    running_ = true;
    done_ = total_ = 0;
    result_ = ExportResult();
    progress_->setRange(0, 1);
    progress_->setValue(0);
    status_->setText(QStringLiteral("Exporting..."));
    start_->setEnabled(false);
    {
        const std::lock_guard<std::mutex> lock(newsMutex_);
        news_ = WorkerNews();
    }
    // The worker touches nothing of the dialog but the news and the cancel
    // flag; the destructor joins it while the dialog is still whole.
    worker_ = std::thread([this, settings = std::move(settings)] {
        ExportHooks hooks;
        hooks.cancel = &cancel_;
        hooks.progress = [this](const ExportProgress& p) {
            {
                const std::lock_guard<std::mutex> lock(newsMutex_);
                news_.frames = p.frames;
                news_.total = p.total;
            }
            emit workerNews(QPrivateSignal());
        };
        ExportResult r = RunExport(settings, hooks);
        {
            const std::lock_guard<std::mutex> lock(newsMutex_);
            news_.result = std::move(r);
        }
        emit workerNews(QPrivateSignal());
    });
    return true;
}

QString ExportDialog::VideoFolder() const {
    return QFileInfo(QString::fromStdString(base_.input)).absolutePath();
}

QFileDialog* ExportDialog::NewChooser(const QString& title, const QString& filter,
                                      const QString& folder) {
    if (chooser_) chooser_->reject();  // one chooser at a time
    auto* chooser = new QFileDialog(this, title, folder);
    chooser->setOption(QFileDialog::DontUseNativeDialog, true);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setNameFilter(filter);
    chooser_ = chooser;
    return chooser;
}

// Proposes "<video>-<mode>.mp4" in the folder of the output chosen so far
// (at first the video's).
void ExportDialog::BrowseOutput() {
    static const char* const kSuffix[] = {"-reframe.mp4", "-panorama.mp4", "-equirect.mp4"};
    const int mode = std::clamp(mode_->currentIndex(), 0, 2);
    const QString current = output_->text();
    const QString folder = current.isEmpty() ? VideoFolder() : QFileInfo(current).absolutePath();
    const QString name = QFileInfo(QString::fromStdString(base_.input)).completeBaseName() +
                         QString::fromLatin1(kSuffix[mode]);
    QFileDialog* chooser =
        NewChooser(QStringLiteral("Export video to"), QStringLiteral("MP4 video (*.mp4)"), folder);
    chooser->setAcceptMode(QFileDialog::AcceptSave);
    chooser->setDefaultSuffix(QStringLiteral("mp4"));
    chooser->selectFile(QDir(folder).filePath(name));
    connect(chooser, &QFileDialog::fileSelected, this,
            [this](const QString& file) { output_->setText(file); });
    chooser->open();
}

// Choosing a file also chooses it as the view path.
void ExportDialog::BrowsePathFile() {
    const QString current = pathFile_->text();
    const QString folder = current.isEmpty() ? VideoFolder() : QFileInfo(current).absolutePath();
    QFileDialog* chooser = NewChooser(QStringLiteral("View path file"),
                                      QStringLiteral("View path (*.json *.cmd *.txt)"), folder);
    chooser->setAcceptMode(QFileDialog::AcceptOpen);
    chooser->setFileMode(QFileDialog::ExistingFile);
    connect(chooser, &QFileDialog::fileSelected, this, [this](const QString& file) {
        pathFile_->setText(file);
        path_->setCurrentIndex(kPathFile);
    });
    chooser->open();
}

void ExportDialog::Cancel() {
    cancel_.store(true);
}

void ExportDialog::reject() {
    // Closing the dialog cancels a running export; it closes once it ended.
    if (running_) {
        Cancel();
        status_->setText(QStringLiteral("Cancelling..."));
        return;
    }
    QDialog::reject();
}

// Wake-ups pile up while the GUI thread is busy: each takes the latest news,
// and those after the result (or after the job ended) find nothing to do.
void ExportDialog::OnWorkerNews() {
    if (!running_) return;
    WorkerNews news;
    {
        const std::lock_guard<std::mutex> lock(newsMutex_);
        news.frames = news_.frames;
        news.total = news_.total;
        news.result = std::move(news_.result);
        news_.result.reset();
    }
    if (news.result) {
        OnDone(*news.result);
    } else {
        OnProgress(news.frames, news.total);
    }
}

void ExportDialog::OnProgress(int64_t frames, int64_t total) {
    done_ = frames;
    total_ = total;
    if (total > 0) {
        progress_->setRange(0, static_cast<int>(total));
        progress_->setValue(static_cast<int>(std::min(frames, total)));
    } else {
        progress_->setRange(0, 0);  // busy
    }
}

void ExportDialog::OnDone(const ExportResult& result) {
    Join();
    running_ = false;
    result_ = result;
    start_->setEnabled(true);
    if (result.ok) {
        done_ = result.frames;
        progress_->setRange(0, static_cast<int>(std::max<int64_t>(result.frames, 1)));
        progress_->setValue(progress_->maximum());
        status_->setText(QStringLiteral("Done: %1 frames").arg(result.frames));
    } else {
        status_->setText(result.cancelled ? QStringLiteral("Cancelled")
                                          : QString::fromStdString(result.error));
    }
    emit finished(result.ok);
}

void ExportDialog::Join() {
    if (worker_.joinable()) worker_.join();
}

}  // namespace hv::player
