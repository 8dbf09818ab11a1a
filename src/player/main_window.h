// hvplayer's main window: menus, shortcuts, the video area (start picture,
// then the video view), the position bar and the control row, every command,
// opening a video and the exit sequence. GUI thread only; the playback and
// the unwrap run on their own threads and reach the window through
// PlayerHost (queued calls) and ViewPresenter.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QSize>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "config/configuration.h"
#include "unwrap/navigation.h"
#include "unwrap/unwrap_engine.h"
#include "playback/playback_controller.h"

class QAction;
class QLabel;
class QMenu;
class QSlider;
class QTimer;

namespace hv::ui {
class ClickableLabel;
class ClickSound;
class MessageBoxSink;
}  // namespace hv::ui

namespace hv::player {

class PlayerHost;
class StartPicture;
class VideoView;
class ViewPresenter;

inline constexpr const char* kAppTitle = "Halvora 360 Doughnut Player";
inline constexpr int kClientWidth = 720;
inline constexpr int kClientHeight = 500;

// Where the player finds its files: all beside the executable.
struct PlayerPaths {
    std::filesystem::path programDir;
    std::filesystem::path configFile;    // CamSetup.xml
    std::filesystem::path volumeFile;    // <program name>.aud
    std::filesystem::path setupProgram;  // hvconfig
    // The paths of the running executable.
    static PlayerPaths ForRunningProgram();
    // The same layout inside `dir` with program name `name` (tests).
    static PlayerPaths InFolder(const std::filesystem::path& dir, const std::string& name);
};

// Chooses the video to open: (owner, start folder) -> path, "" when cancelled.
using FileChooser = std::function<QString(QWidget*, const QString&)>;

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

    // The exit sequence; returns at once when it is already running.
    void ShutdownPlayback();

    // The close box / Alt+F4 / "Exit" question. True when the user chose OK
    // (the sequence has run and the window may close).
    bool ConfirmExit();

    void SetFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }
    // Prints presented frames per second to stderr every few seconds.
    void EnableStats(bool on);

    // ---- state, for the program's own tests ----
    QSize ViewSize() const { return viewSize_; }
    QWidget* Client() const { return client_; }
    QSlider* PositionBar() const { return positionBar_; }
    hv::ui::ClickableLabel* Control(int id) const;
    QLabel* LevelBar(int k) const;  // k = 1..5
    QWidget* LogoStrip() const { return logo_; }
    QAction* Action(int id) const;
    QWidget* StartPictureWidget() const;
    bool StartPictureShown() const { return startPictureFlag_; }
    QWidget* VideoHostWidget() const { return videoHost_; }
    VideoView* View() const { return view_; }
    PlaybackController& Playback() { return *controller_; }
    ViewPresenter& Presenter() { return *presenter_; }
    UnwrapEngine& Engine() { return engine_; }
    Navigator& Navigation() { return navigator_; }
    hv::ui::ClickSound& Click() { return *click_; }
    int QualityMode() const { return qualityMode_; }
    bool SoftenOn() const;
    bool GrayscaleOn() const;
    bool RepeatOn() const;
    int FlipMode() const { return engine_.CurrentFlipMode(); }
    int SeekFrame() const { return seekFrame_; }
    bool ShuttingDown() const { return shuttingDown_; }
    const PlayerPaths& Paths() const { return paths_; }
    const PlayerConfigState& Config() const { return config_; }

  protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    friend class PlayerHost;

    void BuildMenus();
    void BuildControlRow();
    void BuildVideoArea();
    QAction* AddCommand(QMenu* menu, const QString& text, int id, bool checkable = false);
    hv::ui::ClickableLabel* AddButton(int id, const QString& picture, bool withPressed = true);

    void ShowPressed(int id);
    void SendKeyToView(int qtKey);
    void LoadCommand(const QString* preset);
    void OpenVideo(const QString* preset);
    void ToggleSoften();
    void ToggleGrayscale();
    void ToggleRepeat();
    void ShowVideoInfo();
    void StartSetupProgram();
    void ShowAbout();
    void ShowHelp();
    void OnPositionBarMoved(int value);
    void OnPositionBarAction(int action);
    void OnPositionBarReleased();

    // PlayerHost's effects, on the GUI thread.
    void OnStreamStarted();
    void OnStreamOpened(int frameCount);
    void OnPositionBar(int position);
    void OnVolumeLevel(int level);
    void OnSoundOn(bool on);
    void PrintStats();

    PlayerPaths paths_;
    PlayerConfigState config_;
    QString lastChosenFolder_;
    FileChooser chooser_;

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
    QSlider* positionBar_ = nullptr;
    QWidget* logo_ = nullptr;
    std::map<int, hv::ui::ClickableLabel*> controls_;
    QLabel* levelBars_[5] = {};
    std::map<int, QAction*> actions_;
    hv::ui::ClickSound* click_ = nullptr;
    QCursor handCursor_;
    QTimer* statsTimer_ = nullptr;

    QSize viewSize_{600, 400};
    bool startPictureFlag_ = true;
    int qualityMode_ = 2;
    int seekFrame_ = 0;
    bool seeking_ = false;
    int pendingSeek_ = -1;
    bool fileDialogOpen_ = false;
    bool loadBusy_ = false;
    bool shuttingDown_ = false;
    bool exitConfirmed_ = false;
    uint64_t statsLastPresented_ = 0;
    qint64 statsLastMs_ = 0;
};

}  // namespace hv::player
