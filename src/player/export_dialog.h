// File -> "Export video...": the export's settings (mode, size, quality, the
// view path: the current recording, a JSON file or the current view held,
// and the output file) and the export itself, run on a worker thread of the
// dialog's own while the player stays usable. The worker only leaves its
// news (frames done, then the result) behind a lock and wakes the dialog
// with a queued signal that carries nothing; the dialog pulls the news on
// the GUI thread. Cancel (or closing the dialog, or destroying it with the
// player) sets the job's cancel flag, and the destructor joins the worker.
// "Browse..." beside the output and the view path file opens a file chooser
// of the dialog's own (window-modal, one at a time) that fills the field.
// GUI thread only, except the worker.
#pragma once

#include <QDialog>
#include <QFileDialog>
#include <QPointer>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "export/export_job.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace hv::player {

class ExportDialog : public QDialog {
    Q_OBJECT
  public:
    enum PathChoice : int { kPathRecording = 0, kPathFile = 1, kPathCurrentView = 2 };

    // `base`: the video, ring, flip, filters and output the form starts
    // with; `recording` and `currentView` are the paths its choices offer.
    ExportDialog(const ExportSettings& base, ViewPath recording, ViewPath currentView,
                 QWidget* parent);
    ~ExportDialog() override;

    // The form's settings. False with a message when they do not make an
    // export (a view path file that does not read, an empty recording).
    bool Settings(ExportSettings* out, std::string* error) const;
    // Starts the export of the form's settings; false when one runs or the
    // form is not valid (the message is shown in the dialog).
    bool Start();
    void Cancel();
    bool Running() const { return running_; }
    const ExportResult& Result() const { return result_; }
    int64_t FramesDone() const { return done_; }
    int64_t FramesTotal() const { return total_; }

    // The form's fields, for the program's own tests.
    QComboBox* Mode() const { return mode_; }
    QComboBox* PathSource() const { return path_; }
    QLineEdit* PathFile() const { return pathFile_; }
    QLineEdit* Output() const { return output_; }
    QSpinBox* PictureWidth() const { return width_; }
    QSpinBox* PictureHeight() const { return height_; }
    QProgressBar* Progress() const { return progress_; }
    QPushButton* BrowseOutputButton() const { return browseOutput_; }
    QPushButton* BrowsePathFileButton() const { return browsePathFile_; }
    // The file chooser a "Browse..." button opened, while it is open.
    QFileDialog* Chooser() const { return chooser_; }

  signals:
    void finished(bool ok);
    // The worker has news (emitted on the worker, received queued).
    void workerNews(QPrivateSignal);

  protected:
    void reject() override;

  private:
    void OnWorkerNews();
    void BrowseOutput();
    void BrowsePathFile();
    QFileDialog* NewChooser(const QString& title, const QString& filter, const QString& folder);
    QString VideoFolder() const;
    void OnProgress(int64_t frames, int64_t total);
    void OnDone(const ExportResult& result);
    void Join();

    ExportSettings base_;
    ViewPath recording_, currentView_;
    QComboBox* mode_ = nullptr;
    QComboBox* path_ = nullptr;
    QLineEdit* pathFile_ = nullptr;
    QLineEdit* output_ = nullptr;
    QSpinBox* width_ = nullptr;
    QSpinBox* height_ = nullptr;
    QSpinBox* crf_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* browseOutput_ = nullptr;
    QPushButton* browsePathFile_ = nullptr;
    QPointer<QFileDialog> chooser_;

    std::thread worker_;
    std::atomic<bool> cancel_{false};
    // What the worker hands over; written by it, taken by the GUI thread.
    struct WorkerNews {
        int64_t frames = 0, total = 0;
        std::optional<ExportResult> result;  // set once, when the job ended
    };
    std::mutex newsMutex_;
    WorkerNews news_;
    bool running_ = false;
    int64_t done_ = 0, total_ = 0;
    ExportResult result_;
};

}  // namespace hv::player
