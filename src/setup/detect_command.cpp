#include "setup/detect_command.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>
#include <utility>

#include "detect/ring_config.h"
#include "detect/ring_detect.h"
#include "playback/preview_pump.h"
#include "setup/ring_fitter.h"
#include "setup/ring_fitting.h"
#include "setup/setup_main_window.h"
#include "setup/setup_preview.h"
#include "video/spread_frames.h"

namespace hv::setup {

// What the job thread and the GUI thread share. The thread reads `path` and
// `cancel` and sets `done` as its last act; everything else is the GUI
// thread's.
struct DetectCommand::Job {
    std::string path;
    int32_t frameW = 0, frameH = 0;  // the shown stream's size when the job started
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};

    // What the job's thread has to tell, taken by the GUI thread.
    std::mutex mu;
    int percent = -1;  // -1: nothing new
    const char* stage = "";
    std::optional<RingDetection> result;
    std::string readError;
};

namespace {

// Reading the frames takes most of the time; the detection the rest.
constexpr double kReadShare = 0.6;
// How long the outcome stays on screen.
constexpr int kFoundNoteMs = 6000;
constexpr int kNotFoundNoteMs = 12000;

int Percent(double fraction) {
    return static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * 100));
}

// Why a ring was not taken, in the user's words, from the engine's
// confidence figures (the same thresholds the engine judges by).
QString WhyNotTaken(const RingDetection& d) {
    const RingConfidence& c = d.confidence;
    if (d.hasGuess && c.outerInsideFrame > 0 && c.outerInsideFrame < 0.35) {
        return QStringLiteral(
                   "the ring is cut by the frame edge (only %1% of the outer circle "
                   "lies inside the picture)")
            .arg(Percent(c.outerInsideFrame));
    }
    if (!d.hasGuess || d.message.rfind("no ring", 0) == 0 || c.outerAgreement < 0.7 ||
        c.edgeContrast < 5) {
        return QStringLiteral(
            "no ring was found (nothing circular stands out from a dark "
            "surround)");
    }
    if (d.innerRadius <= 0) return QStringLiteral("no inner circle was found");
    if (c.concentricityPx > std::max(2.5, 0.01 * d.outerRadius)) {
        return QStringLiteral("the circles are not concentric (their centres lie %1 pixels apart)")
            .arg(c.concentricityPx, 0, 'f', 1);
    }
    return QString::fromStdString(d.message);
}

}  // namespace

DetectCommand::DetectCommand(SetupMainWindow& window) : QObject(&window), w_(window) {
    setObjectName(QStringLiteral("detectCommand"));

    action_ = new QAction(QStringLiteral("Detect Circles"), this);
    action_->setObjectName(QStringLiteral("detectCircles"));
    action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    // Works from the preview window too, as the other fitting commands do.
    action_->setShortcutContext(Qt::ApplicationShortcut);
    connect(action_, &QAction::triggered, this, &DetectCommand::Start);
    connect(this, &DetectCommand::jobNews, this, &DetectCommand::OnJobNews,
            Qt::QueuedConnection);
    // In the fitter's Edit menu, after its items.
    for (QAction* a : w_.menuBar()->actions()) {
        if (a->menu() != nullptr && a->text() == QStringLiteral("&Edit")) {
            a->menu()->addSeparator();
            a->menu()->addAction(action_);
            break;
        }
    }
    if (action_->associatedObjects().isEmpty()) w_.addAction(action_);

    QWidget* client = w_.centralWidget();
    // To the right of the keypad's value labels, inside "Cut controls".
    button_ = new QPushButton(QStringLiteral("Detect circles"), client);
    button_->setObjectName(QStringLiteral("detectButton"));
    button_->setGeometry(898, 48, 100, 22);
    button_->setToolTip(QStringLiteral("Fit the circles to the ring automatically (Ctrl+D)"));
    button_->setFocusPolicy(Qt::NoFocus);
    connect(button_, &QPushButton::clicked, this, &DetectCommand::Start);

    note_ = new QLabel(client);
    note_->setObjectName(QStringLiteral("detectNote"));
    note_->setGeometry(610, 274, 395, 34);
    note_->setWordWrap(true);
    note_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    note_->setStyleSheet(QStringLiteral(
        "QLabel { background-color: rgb(255, 255, 225); color: black; border: 1px solid "
        "rgb(65,98,80); padding: 1px 4px; }"));
    note_->hide();

    SetupPreview* preview = w_.preview_.get();
    connect(preview, &SetupPreview::streamStateChanged, this, &DetectCommand::RefreshEnabled,
            Qt::QueuedConnection);
    connect(preview, &SetupPreview::streamOpened, this, &DetectCommand::RefreshEnabled,
            Qt::QueuedConnection);
    connect(preview, &SetupPreview::streamEnded, this, &DetectCommand::RefreshEnabled,
            Qt::QueuedConnection);
    RefreshEnabled();
}

DetectCommand::~DetectCommand() {
    CloseProgress();
    for (auto& [job, thread] : threads_) job->cancel.store(true);
    for (auto& [job, thread] : threads_) thread.join();
}

void DetectCommand::RefreshEnabled() {
    const bool on =
        current_ == nullptr && w_.StreamShown() && w_.Controller().Status() == StreamStatus::On;
    action_->setEnabled(on);
    button_->setEnabled(on);
}

void DetectCommand::Start() {
    RefreshEnabled();
    if (!action_->isEnabled()) return;
    JoinEnded();
    const VideoFormat format = w_.Controller().Format();
    auto job = std::make_shared<Job>();
    job->path = w_.Controller().CurrentVideoFile();
    job->frameW = format.width;
    job->frameH = format.height;
    if (job->path.empty()) return;
    current_ = job;
    lastApplied_ = false;
    RefreshEnabled();

    progress_ = new QProgressDialog(QStringLiteral("Reading frames..."), QStringLiteral("Cancel"),
                                    0, 100, &w_);
    progress_->setObjectName(QStringLiteral("detectProgress"));
    progress_->setWindowTitle(QStringLiteral("Detect circles"));
    // Not modal: a Load or closing the window cancels the job instead.
    progress_->setWindowModality(Qt::NonModal);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setMinimumDuration(0);
    progress_->setValue(0);
    connect(progress_, &QProgressDialog::canceled, this, [this] {
        if (current_ == nullptr) return;
        Show(QStringLiteral("Detect circles: cancelled. The geometry is unchanged."), false);
        Cancel();
    });
    progress_->show();

    // The job leaves its news in the Job, under its mutex, and wakes this
    // object with a queued signal; the destructor joins the thread, so the
    // object outlives every signal.
    threads_.emplace_back(
        job, std::thread([this, job] {
            auto post = [this, job, last = -1](double fraction, const char* stage) mutable {
                const int p = Percent(fraction);
                if (p == last) return;
                last = p;
                {
                    const std::lock_guard<std::mutex> lock(job->mu);
                    job->percent = p;
                    job->stage = stage;
                }
                emit jobNews(QPrivateSignal());
            };
            std::vector<FrameBuffer> frames;
            std::string error;
            RingDetection result;
            result.status = RingDetectStatus::Cancelled;
            const bool read = LoadSpreadVideoFrames(
                job->path, kDetectDefaultFrames, frames, error, &job->cancel,
                [&post](double f) { post(f * kReadShare, "Reading frames..."); });
            if (read) {
                RingDetectControl control;
                control.cancel = &job->cancel;
                control.progress = [&post](double f, const char* stage) {
                    (void)stage;
                    post(kReadShare + f * (1 - kReadShare), "Looking for the ring...");
                };
                result = DetectRing(frames, control);
            }
            frames.clear();
            {
                const std::lock_guard<std::mutex> lock(job->mu);
                job->result = result;
                job->readError = error;
            }
            emit jobNews(QPrivateSignal());
            job->done.store(true);
        }));
}

void DetectCommand::Cancel() {
    if (current_ == nullptr) return;
    current_->cancel.store(true);
    current_.reset();
    CloseProgress();
    RefreshEnabled();
    emit finished();
}

// Wake-ups pile up while the GUI thread is busy: each takes the current
// job's latest news; a cancelled or superseded job's news is never read.
void DetectCommand::OnJobNews() {
    const std::shared_ptr<Job> job = current_;
    if (job == nullptr) return;
    int percent = -1;
    QString stage;
    std::optional<RingDetection> result;
    QString readError;
    {
        const std::lock_guard<std::mutex> lock(job->mu);
        percent = std::exchange(job->percent, -1);
        stage = QString::fromLatin1(job->stage);
        result = std::move(job->result);
        job->result.reset();
        readError = QString::fromStdString(job->readError);
    }
    if (result) {
        JobDone(job, *result, readError);
    } else if (percent >= 0) {
        JobProgress(job, percent, stage);
    }
}

void DetectCommand::JobProgress(const std::shared_ptr<Job>& job, int percent,
                                const QString& stage) {
    if (job != current_ || progress_ == nullptr) return;
    progress_->setLabelText(stage);
    progress_->setValue(percent);
}

void DetectCommand::JobDone(const std::shared_ptr<Job>& job, const RingDetection& d,
                            const QString& readError) {
    if (job != current_) return;  // cancelled, or superseded by another video
    current_.reset();
    CloseProgress();
    JoinEnded();
    RefreshEnabled();

    const VideoFormat format = w_.Controller().Format();
    const bool sameStream = w_.StreamShown() && w_.Controller().CurrentVideoFile() == job->path &&
                            format.width == job->frameW && format.height == job->frameH;
    if (!sameStream) {
        // The video changed under the job: its answer belongs to another picture.
        emit finished();
        return;
    }
    if (!readError.isEmpty() || d.status == RingDetectStatus::Error) {
        Show(QStringLiteral("Detect circles failed: %1. The geometry is unchanged.")
                 .arg(readError.isEmpty() ? QString::fromStdString(d.message) : readError),
             false);
        emit finished();
        return;
    }
    if (d.status == RingDetectStatus::Cancelled) {
        emit finished();
        return;
    }
    if (d.status != RingDetectStatus::Found || !d.confidence.good) {
        Show(QStringLiteral("Detect circles: %1 (confidence %2%). The geometry is unchanged.")
                 .arg(WhyNotTaken(d))
                 .arg(Percent(d.confidence.score)),
             false);
        emit finished();
        return;
    }

    const DoughnutGeometry before = w_.record_.Snapshot().geometry;
    const RingValues values =
        RingToGeometry(d.cx, d.cy, d.outerRadius, d.innerRadius, d.frameW, d.frameH, before);
    if (!values.ok) {
        Show(QStringLiteral("Detect circles: the ring found cannot be set (%1). The geometry is "
                            "unchanged.")
                 .arg(QString::fromStdString(values.error)),
             false);
        emit finished();
        return;
    }
    // One locked update, one undo step; flips and the seam stay as they are.
    w_.record_.Update([&values](SetupConfigState& s) {
        s.geometry = WithFittedValues(s.geometry, values.geometry);
    });
    w_.fitter_->Recorded(before, w_.record_.Snapshot().geometry, QStringLiteral("Detect circles"));
    w_.RefreshGeometryLabels();
    Show(QStringLiteral("Detect circles: ring found, confidence %1%. Ctrl+Z undoes it.")
             .arg(Percent(d.confidence.score)),
         true);
    emit finished();
}

void DetectCommand::Show(const QString& text, bool applied) {
    lastMessage_ = text;
    lastApplied_ = applied;
    note_->setText(text);
    note_->show();
    note_->raise();
    const int serial = ++noteSerial_;
    QTimer::singleShot(applied ? kFoundNoteMs : kNotFoundNoteMs, note_, [this, serial] {
        if (serial == noteSerial_) note_->hide();
    });
}

void DetectCommand::CloseProgress() {
    if (progress_ == nullptr) return;
    QProgressDialog* p = progress_;
    progress_ = nullptr;
    p->disconnect(this);
    p->hide();
    p->deleteLater();
}

void DetectCommand::JoinEnded() {
    for (auto it = threads_.begin(); it != threads_.end();) {
        if (it->first->done.load() && it->first != current_) {
            it->second.join();
            it = threads_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace hv::setup
