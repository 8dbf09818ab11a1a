// SetupMainWindow: the setup utility's main window with the doughnut picture,
// the cut-control keypad, the common controls and the menus, and the owner of
// the "Output 360 stream" window. GUI thread only.
//
// It only shows: the preview work runs in SetupPreview on the video worker,
// whose wake-ups arrive here as queued signals; on each the window reads the
// title, the stream status and the format from the preview controller, or
// takes the newest pictures.
//
// The code is split by topic: setup_main_window.cpp (life cycle, window
// events), setup_layout.cpp (controls and their looks), setup_commands.cpp
// (menus, accelerators, commands), setup_stream.cpp (opening, stopping and
// what the stream shows).
#pragma once

#include <QMainWindow>
#include <memory>
#include <string>

#include "playback/preview_host.h"
#include "setup/preview_renderer.h"
#include "setup/setup_state.h"

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
class DetectCommand;
class PictureView;
class RingFitter;
class SetupPreview;
class TransformWindow;

// Milliseconds a pressed picture stays and a click waits before it acts.
inline constexpr int kClickPauseMs = 500;

class SetupMainWindow : public QMainWindow {
    Q_OBJECT
  public:
    // `initial` is the record after the start-up read (LoadStartupConfiguration).
    SetupMainWindow(SetupPaths paths, SetupConfigState initial);
    ~SetupMainWindow() override;

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

    bool StreamShown() const;  // PlaybackState != 0 and a stream is open
    SetupConfigState Record() const { return record_.Copy(); }
    std::string VideoInfo() const;
    TransformWindow* Transform() const { return transform_; }
    PictureView* DoughnutPicture() const { return doughnut_; }
    CutKeypad* Keypad() const { return keypad_; }
    int KeypadClicks() const;  // TICKB plays so far
    int ButtonClicks() const;  // TICK plays so far
    // Fitting by hand: drags, keys, the Geometry dialog, undo (ring_fitter.h).
    RingFitter* Fitter() const { return fitter_; }
    // "Detect circles", the one-click ring fit (detect_command.h).
    DetectCommand* Detector() const { return detect_; }

  protected:
    void closeEvent(QCloseEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

  private:
    // First start: both windows wholly on the screen in use; saved positions
    // that lie off every screen are brought back (window_placement.h).
    void PlaceWindows(const SetupSettings& saved);
    // The size of `w`'s frame around a client area of `client`.
    static QSize FrameSizeOf(QWidget* w, QSize client);

    // setup_layout.cpp
    void BuildControls(const SetupConfigState& initial);
    void ShowStreamStatus(StreamStatus status);

    // setup_commands.cpp
    void BuildMenus();
    void BuildAccelerators();
    void LoadCommand();
    void SaveCommand();
    void RunStopCommand(bool run);
    void ShowVideoInfo();
    bool KeypadCommand(int id);
    void FlipCommand(int id, bool checked);
    void RefreshGeometryLabels();
    void WaitLive(int ms);

    // setup_stream.cpp
    void ConnectPreview();
    // The wake-ups of SetupPreview (queued onto the GUI thread).
    void PullStreamState();  // title and stream status
    void PullTitle();
    void PullFormat();  // frame-size and frame-rate labels
    void ShowNewPictures();
    void ShowStreamEnded();
    // ClearPictures: the doughnut picture back to its empty look, queued
    // behind the pictures the worker has already handed over, so that none
    // of them paints over it. The preview keeps its last picture unless
    // `alsoPreview` (a cancelled open).
    void ClearPictures(bool alsoPreview = false);
    void ShowEmptyDoughnut();
    void ShowPictures(const SetupPictures& pictures);
    PreviewController& Controller() const;

    SetupPaths paths_;
    SetupRecord record_;

    PictureView* doughnut_ = nullptr;
    CutKeypad* keypad_ = nullptr;
    QLabel* values_[6] = {};
    QLabel* frameSize_ = nullptr;
    QLabel* frameRate_ = nullptr;
    QLabel* status_ = nullptr;
    StreamStatus shownStatus_ = StreamStatus::Off;
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
    // False from each open until its stream reports its format: a stream
    // that ends before that was a failed open.
    bool openedSinceLoad_ = false;

    friend class RingFitter;
    RingFitter* fitter_ = nullptr;
    friend class DetectCommand;
    DetectCommand* detect_ = nullptr;

    // Reads record_ on the video worker and reports into sink_: destroyed
    // (in the destructor) before either goes.
    std::unique_ptr<SetupPreview> preview_;
};

}  // namespace hv::setup
