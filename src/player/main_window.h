// hvplayer's main window: menus, shortcuts, the video area (start picture,
// then the video view), the control row, the command table, opening a video
// and the exit sequence. GUI thread only.
//
// The window pulls, the engine wakes: what the window shows of the playback
// (position bar, volume indicators, sound button, caption) it reads from the
// PlaybackController, on its own timer (every fifth loop cycle's worth,
// 135 ms), right after its own sound commands, and on the playback's
// wake-ups, which PlayerHost queues onto this thread (OnPlaybackWake).
// Pictures reach the view through the ViewPresenter.
//
// Source files: main_window.cpp (construction, layout, wake-ups),
// main_commands.cpp (the command table and its handlers), main_video.cpp
// (opening a video, the position bar's seeks), main_exit.cpp (the exit
// sequence and the statistics).
#pragma once

#include <QMainWindow>
#include <QImage>
#include <QSize>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "config/configuration.h"
#include "config/settings_location.h"
#include "playback/playback_controller.h"
#include "unwrap/navigation.h"
#include "unwrap/unwrap_engine.h"

class QAction;
class QMenu;
class QTimer;

namespace hv::ui {
class ClickSound;
class MessageBoxSink;
}  // namespace hv::ui

namespace hv::player {

class ControlRow;
class ExportDialog;
class PathRecorder;
class RecentFiles;
class PlayerHost;
class StartPicture;
class VideoView;
class ViewPresenter;
enum class PlaybackWake;
enum class ViewResolution : int32_t;

inline constexpr const char* kAppTitle = "Halvora 360 Doughnut Player";
inline constexpr int kClientWidth = 720;
inline constexpr int kClientHeight = 500;
// The smallest client area in which every control of the row is visible
// and none overlaps another (the logo strip ends left of the flip button
// and starts right of the pause button).
inline constexpr int kMinClientWidth = 710;
inline constexpr int kMinClientHeight = 260;
// How often the window reads the playback's position: the loop publishes a
// new one every fifth 27 ms cycle.
inline constexpr int kPlaybackPollMs = kPlaybackCycleMs * kPositionBarEvery;

// Where the player finds its files: hvconfig beside the executable, the
// settings files by the shared location rule.
struct PlayerPaths {
    std::filesystem::path programDir;
    std::filesystem::path configFile;    // CamSetup.xml
    std::filesystem::path volumeFile;    // <program name>.aud
    std::filesystem::path setupProgram;  // hvconfig, beside the player
    // The player's own preferences (View resolution): ForProgramFolder puts
    // them in the user's configuration folder, InFolder in the folder.
    std::filesystem::path settingsFile;
    // The paths of the running executable.
    static PlayerPaths ForRunningProgram();
    // A player in `dir`: the settings files by the shared location rule
    // (beside it when `dir` is writable, else the user's configuration
    // folder; settings_location.h), hvconfig beside it.
    static PlayerPaths ForProgramFolder(const std::filesystem::path& dir, const std::string& name,
                                        const WritableTest& isWritable = {});
    // Everything inside `dir` with program name `name` (tests).
    static PlayerPaths InFolder(const std::filesystem::path& dir, const std::string& name);
};

// Chooses the video to open: (owner, start folder) -> path, "" when cancelled.
using FileChooser = std::function<QString(QWidget*, const QString&)>;
// Chooses where to save: (owner, suggested path) -> path, "" when cancelled.
using SaveChooser = std::function<QString(QWidget*, const QString&)>;
// Asks for a picture size, `proposed` first; empty when cancelled.
using SizeChooser = std::function<QSize(QWidget*, QSize proposed)>;

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(const PlayerPaths& paths, PlaybackOptions playbackOptions = {});
    ~MainWindow() override;

    // Runs the command with this id, exactly as its menu item, shortcut or
    // button does. Unknown ids (e.g. 2, Escape) do nothing.
    void Command(int id);

    // The Load command with a file chosen beforehand (command line): the
    // same stop, configuration re-read and hand-over as the dialog path.
    void OpenFile(const QString& path);

    // Places the video area, position bar and control row for the client
    // area's size (any size, 0 x 0 included).
    void LayoutMainWindow();
    void LayoutMainWindow(QSize client, bool stopMotion = true);

    void SetQualityMode(int mode);
    // Option > View resolution: renders at the new resolution from the next
    // frame and remembers it in the settings file.
    void SetViewResolution(ViewResolution r);

    // The exit sequence; returns at once when it is already running.
    void ShutdownPlayback();

    // The close box / Alt+F4 / "Exit" question. True when the user chose OK
    // (the sequence has run and the window may close).
    bool ConfirmExit();

    void SetFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }
    // The save dialog of "Save snapshot" (default: the platform's).
    void SetSnapshotChooser(SaveChooser chooser) { snapshotChooser_ = std::move(chooser); }
    // The size question of "Save snapshot at size...".
    void SetSnapshotSizeChooser(SizeChooser chooser) { snapshotSizeChooser_ = std::move(chooser); }

    // File -> Save snapshot without its dialog: the current view, rendered
    // from the newest panorama at `size` (empty: the view resolution in
    // use), saved as PNG. False with a message box when nothing was saved.
    bool SaveSnapshot(const QString& file, QSize size = QSize());
    // The name the dialog offers: "<video stem>-00m12.345s.png" in the
    // folder last saved to, else the video's folder.
    QString SuggestedSnapshotPath() const;

    // Option -> Record view path: while on, the view is sampled on the
    // window's playback timer against the video time; turning it off offers
    // to save the path as JSON through this dialog (default: the platform's).
    void SetPathChooser(SaveChooser chooser) { pathChooser_ = std::move(chooser); }
    PathRecorder& Recorder() { return *recorder_; }
    // Samples the current view into a running recording (the timer does it).
    void SampleViewPath();
    // Writes the recorded path as JSON; false with a message box.
    bool SaveViewPath(const QString& file);

    // File -> Export video...: opens (or raises) the export dialog for the
    // open video; null when no video is open. Destroying the window cancels
    // a running export and joins it.
    ExportDialog* OpenExportDialog();
    ExportDialog* ExportWindow() const { return exportDialog_.get(); }
    // Prints presented frames per second to stderr every few seconds.
    void EnableStats(bool on);

    // A wake-up of the playback, delivered by PlayerHost as a queued event.
    void OnPlaybackWake(PlaybackWake wake);

    // ---- the parts, for the program's own tests (the client area is
    // centralWidget(), the video view's host the child "VideoHost") ----
    ControlRow& Controls() { return *controls_; }
    QAction* Action(int id) const;
    PlaybackController& Playback() { return *controller_; }
    ViewPresenter& Presenter() { return *presenter_; }
    Navigator& Navigation() { return navigator_; }
    UnwrapEngine& Engine() { return engine_; }
    hv::ui::ClickSound& Click() { return *click_; }
    QWidget* StartPictureWidget() const;  // null once the video view replaced it
    VideoView* View() const { return view_; }
    QSize ViewSize() const { return viewSize_; }
    const PlayerConfigState& Config() const { return config_; }
    int SeekFrame() const { return seekFrame_; }
    bool ShuttingDown() const { return shuttingDown_; }

    // Full screen (F11, a double-click on the view; Escape leaves it). The
    // control row hides there and comes back at the bottom edge.
    void SetFullScreen(bool on);
    bool ControlsRevealed() const { return controlsRevealed_; }
    // Where File -> Recent videos is kept (empty: in memory only, the
    // default; the program passes RecentFiles::DefaultLocation()).
    void SetRecentFilesLocation(const std::filesystem::path& file);
    RecentFiles& Recent() { return *recent_; }
    // A recent video chosen: opened, or removed with a message when gone.
    void OpenRecent(const QString& path);
    // Space: Play when the user paused (or sought), else Pause.
    void TogglePlayPause();

  protected:
    void closeEvent(QCloseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void BuildMenus();
    void SetViewResolution(ViewResolution r, bool remember);
    void BuildCommands();
    // Full screen, Space, Home and drops (full_screen.cpp).
    void BuildPlayerKeys();
    // The full-screen layout without the row; false when the normal one
    // applies.
    bool FullScreenLayout(int W, int H);
    void PointerMovedInClient(const QPoint& pos);
    void WireControlRow();
    QAction* AddMenuCommand(QMenu* menu, const QString& text, int id, bool checkable = false);

    // Shows what changed in the playback's position, volume indicators and
    // sound button since the last read.
    void ReadPlayback();
    void ShowStreamStarted();
    // No video: the start picture instead of the view, the product title,
    // an empty position bar and inactive transport buttons.
    void ShowNoVideo();
    void SetTransportActive(bool on);
    // Notices an open that failed (the worker ended before its stream
    // started) and a stream broken while playing.
    void CheckOpenOutcome();

    // Handlers of the command table (main_commands.cpp).
    void Navigate(void (Navigator::*move)());
    void Transport(bool (PlaybackController::*command)());
    void Sound(const std::function<bool(PlaybackController&)>& command);
    void ToggleSoften();
    void ToggleGrayscale();
    void ToggleRepeat();
    void ShowVideoInfo();
    void StartSetupProgram();
    // The view shown now, rendered at `size`, is offered for saving; with
    // `askSize` the size is asked first.
    void SaveSnapshotCommand(bool askSize);
    QImage RenderSnapshotNow(QSize size, QString* message);
    bool WriteSnapshot(const QString& file, const QImage& image, QString message);
    void ToggleRecordPath();

    // Opening a video and the position bar (main_video.cpp).
    void LoadCommand(const QString* preset);
    void OpenVideo(const QString* preset);
    void OnPositionDragged(int frame);
    void OnPositionStepped(int frame);
    void OnPositionReleased(int frame);

    void PrintStats();

    PlayerPaths paths_;
    PlayerConfigState config_;
    QString lastChosenFolder_;
    FileChooser chooser_;
    SaveChooser snapshotChooser_;
    SizeChooser snapshotSizeChooser_;
    QSize lastSnapshotSize_;
    SaveChooser pathChooser_;
    std::unique_ptr<PathRecorder> recorder_;
    std::unique_ptr<ExportDialog> exportDialog_;
    QString snapshotFolder_;  // where the last snapshot went
    // id -> handler: menus, accelerators and buttons all run commands here.
    std::map<int, std::function<void()>> commands_;

    // Engine side. Declared before the controller, which uses them until it
    // is destroyed.
    UnwrapEngine engine_;
    Navigator navigator_;
    std::unique_ptr<hv::EngineUnwrapper> unwrapper_;
    ViewPresenter* presenter_ = nullptr;          // child QObject
    hv::ui::MessageBoxSink* messages_ = nullptr;  // child QObject
    std::unique_ptr<PlayerHost> host_;
    std::unique_ptr<PlaybackController> controller_;

    // Widgets.
    QWidget* client_ = nullptr;
    StartPicture* startPicture_ = nullptr;
    QWidget* videoHost_ = nullptr;
    VideoView* view_ = nullptr;
    ControlRow* controls_ = nullptr;
    std::map<int, QAction*> actions_;
    hv::ui::ClickSound* click_ = nullptr;
    QCursor handCursor_;
    QTimer* pollTimer_ = nullptr;
    QTimer* statsTimer_ = nullptr;

    // What the control row shows of the playback, as last read.
    uint64_t shownBarSerial_ = 0;
    int shownLevel_ = -1;
    bool shownMuted_ = false;

    QSize viewSize_{600, 400};
    int seekFrame_ = 0;
    // An open was handed to the playback and its stream has not started:
    // when the worker ends first, the open failed.
    bool awaitingStream_ = false;
    bool controlsRevealed_ = false;
    std::unique_ptr<RecentFiles> recent_;
    QMenu* recentMenu_ = nullptr;
    QString shownStreamError_;
    bool fileDialogOpen_ = false;
    bool loadBusy_ = false;
    bool shuttingDown_ = false;
    bool exitConfirmed_ = false;
    uint64_t statsLastPresented_ = 0;
    qint64 statsLastMs_ = 0;
};

}  // namespace hv::player
