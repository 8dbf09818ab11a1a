// DetectCommand: "Detect circles", the one-click ring fit of the setup
// utility. A button beside the keypad, an item of the Edit menu and Ctrl+D.
//
// It reads frames spread over the open video with a frame source of its own
// (never the preview's), runs the ring detection on them and, when the ring
// was found with good confidence, sets the five geometry values as one undo
// step; the flips and the seam stay the user's. A low-confidence answer
// leaves the geometry as it is and says why. Enabled only while a stream is
// shown.
//
// Threads: everything here runs on the GUI thread except the job itself,
// which runs on a std::thread of its own and reports only through queued
// calls onto this object. The job's cancel flag is shared with it; a new
// video, a window closing or the progress dialog's Cancel raises it, and a
// result from a job that is no longer the current one is dropped. The
// destructor raises the flag and joins every job thread, so no queued call
// can be posted to a destroyed object (a cancelled job ends within a few
// milliseconds: the frame reader and the detection poll the flag).
#pragma once

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QAction;
class QLabel;
class QPushButton;

namespace hv {
struct RingDetection;
}

namespace hv::setup {

class SetupMainWindow;

class DetectCommand : public QObject {
    Q_OBJECT
  public:
    // Adds the button, the menu item and the shortcut to `window`. Create it
    // after the window's fitter (it needs the Edit menu and the undo stack).
    explicit DetectCommand(SetupMainWindow& window);
    ~DetectCommand() override;

    // The command: starts a job on the open video. Nothing without a
    // stream or while a job runs.
    void Start();
    // Raises the running job's cancel flag and forgets it: its result will
    // be dropped. Nothing when no job runs.
    void Cancel();

    bool Running() const { return current_ != nullptr; }
    QAction* Action() const { return action_; }
    QPushButton* Button() const { return button_; }
    // The last outcome as shown to the user ("" before the first).
    QString LastMessage() const { return lastMessage_; }
    // True when the last finished job changed the geometry.
    bool LastApplied() const { return lastApplied_; }
    // The progress dialog of the running job (null when none runs).
    QProgressDialog* Progress() const { return progress_; }

    // Enables the button and the menu item when a stream is shown and no
    // job runs.
    void RefreshEnabled();

  signals:
    // A job has ended (found, low confidence, error or cancelled).
    void finished();
    // The job's thread has news (emitted on that thread, received queued).
    void jobNews(QPrivateSignal);

  private:
    struct Job;

    void OnJobNews();
    void JobProgress(const std::shared_ptr<Job>& job, int percent, const QString& stage);
    void JobDone(const std::shared_ptr<Job>& job, const RingDetection& result,
                 const QString& readError);

    void Show(const QString& text, bool applied);
    void CloseProgress();
    void JoinEnded();

    SetupMainWindow& w_;
    QAction* action_ = nullptr;
    QPushButton* button_ = nullptr;
    QLabel* note_ = nullptr;
    QPointer<QProgressDialog> progress_;

    std::shared_ptr<Job> current_;
    // Every job thread started and not yet joined, the current one included.
    std::vector<std::pair<std::shared_ptr<Job>, std::thread>> threads_;

    QString lastMessage_;
    bool lastApplied_ = false;
    int noteSerial_ = 0;
};

}  // namespace hv::setup
