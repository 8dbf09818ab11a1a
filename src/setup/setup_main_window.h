// SetupMainWindow: the setup utility's main window with the doughnut picture,
// the cut-control keypad, the common controls and the menus, and the owner of
// the "Output 360 stream" window. It is also the preview pump's host: the
// pump calls PreviewStep and the other PreviewHost methods on the video
// worker, and every one of them reaches the widgets by a queued call.
//
// Threads:
//  - GUI thread: everything except the PreviewHost methods.
//  - Video worker: the PreviewHost methods. They touch only the record
//    (under its lock), the renderer (worker-only) and atomics, and queue the
//    rest onto the GUI thread.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "setup/preview_renderer.h"
#include "setup/setup_state.h"
#include "playback/playback_host.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;

namespace hv {
class PreviewController;
}
namespace hv::ui {
class ClickSound;
class ClickableLabel;
class MessageBoxSink;
}  // namespace hv::ui

namespace hv::setup {

class CutKeypad;
class PictureView;
class TransformWindow;

// Milliseconds a pressed picture stays and a click waits before it acts.
inline constexpr int kClickPauseMs = 500;

class SetupMainWindow : public QMainWindow, public PreviewHost {
    Q_OBJECT
  public:
    // `initial` is the record after the start-up read (LoadStartupConfiguration).
    SetupMainWindow(SetupPaths paths, SetupConfigState initial);
    ~SetupMainWindow() override;

    // ---- GUI thread --------------------------------------------------
    // A menu item, accelerator or button (command identifier).
    void Command(int id);
    // The Load sequence once a file has been chosen (what the open dialog
    // hands over); empty = cancelled.
    void OpenChosenVideo(const QString& path);
    // "Save Parameters" without the button flash and the stream test:
    // writes CamSetup.xml and reports a failure. True when written.
    bool SaveParameters();
    // "Are you sure?"; on OK stops the preview and ends the window.
    bool ConfirmExit(bool withClick);
    // Stops the preview pump and waits until the stream is released.
    void StopPreview();

    bool StreamShown() const;  // PlaybackState != 0
    SetupConfigState Record() const { return record_.Copy(); }
    std::string VideoInfo() const;
    TransformWindow* Transform() const { return transform_; }
    PictureView* DoughnutPicture() const { return doughnut_; }
    CutKeypad* Keypad() const { return keypad_; }
    int KeypadClicks() const;  // TICKB plays so far
    int ButtonClicks() const;  // TICK plays so far

    // ---- PreviewHost: video worker -------------------------------------
    MessageSink& Messages() override;
    void SetTitle(const std::string& text) override;
    void SetStreamStatus(StreamStatus status) override;
    void StreamOpened(const VideoFormat& format) override;
    void PreviewStep(FrameSource& source, FrameBuffer& frame) override;
    void ClearPictures() override;

  private slots:
    // Runs what the worker posted (GUI thread).
    void DrainWorkerCalls();

  protected:
    void closeEvent(QCloseEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

  private:
    void BuildMenus();
    void BuildControls(const SetupConfigState& initial);
    void LoadCommand();
    void SaveCommand();
    void RunStopCommand(bool run);
    void ShowVideoInfo();
    bool KeypadCommand(int id);
    void FlipCommand(int id, bool checked);
    void RefreshGeometryLabels();
    void ShowStreamStatus(StreamStatus status);
    void ShowPictures(const SetupPictures& pictures);
    void WaitLive(int ms);
    // Queues a call onto the GUI thread (any thread). The call and all it
    // captures pass through the mailbox's lock.
    void PostToGui(std::function<void()> call);

    SetupPaths paths_;
    SetupRecord record_;

    PictureView* doughnut_ = nullptr;
    CutKeypad* keypad_ = nullptr;
    QLabel* values_[6] = {};
    QLabel* frameSize_ = nullptr;
    QLabel* frameRate_ = nullptr;
    QLabel* status_ = nullptr;
    QCheckBox* flipH_ = nullptr;
    QCheckBox* flipV_ = nullptr;
    QSlider* rotation_ = nullptr;
    QPushButton* run_ = nullptr;
    QPushButton* stop_ = nullptr;
    ui::ClickableLabel* load_ = nullptr;
    ui::ClickableLabel* save_ = nullptr;
    TransformWindow* transform_ = nullptr;

    ui::ClickSound* tick_ = nullptr;
    ui::ClickSound* tickB_ = nullptr;
    ui::MessageBoxSink* sink_ = nullptr;  // the build's failure boxes, never blocking the worker

    bool exitConfirmed_ = false;

    // Video worker only.
    PreviewRenderer renderer_;
    std::mutex mailboxMutex_;
    std::vector<std::function<void()>> mailbox_;

    // The newest pair of pictures, written by the worker, taken by the GUI
    // thread; a queued call is pending while presentPending_ is set, so a
    // slow GUI skips frames instead of queueing them.
    std::mutex slotMutex_;
    SetupPictures slot_;
    std::atomic<bool> presentPending_{false};

    // Declared last: destroyed first, so the worker has stopped before the
    // members it uses go away.
    std::unique_ptr<PreviewController> controller_;
};

}  // namespace hv::setup
