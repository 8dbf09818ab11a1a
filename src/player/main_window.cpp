// Construction and layout of the main window, and the playback's wake-ups.
#include "player/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLayout>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <algorithm>

#include "player/commands.h"
#include "player/control_row.h"
#include "player/export_dialog.h"
#include "player/path_recorder.h"
#include "player/player_host.h"
#include "player/player_settings.h"
#include "player/recent_files.h"
#include "player/snapshot.h"
#include "player/start_picture.h"
#include "player/view_presenter.h"
#include "player/volume_file.h"
#include "ui/click_sound.h"
#include "ui/message_box.h"
#include "ui/open_video_dialog.h"

namespace hv::player {

namespace {
const QColor kWindowColour(129, 194, 176);

QPixmap Picture(const QString& name) {
    return QPixmap(QStringLiteral(":/player/images/%1.png").arg(name));
}
}  // namespace

PlayerPaths PlayerPaths::ForRunningProgram() {
    std::filesystem::path exe;
    std::error_code ec;
    exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::string name = ec ? std::string("hvplayer") : exe.stem().string();
    return ForProgramFolder(ProgramDirectory(), name);
}

PlayerPaths PlayerPaths::ForProgramFolder(const std::filesystem::path& dir, const std::string& name,
                                          const WritableTest& isWritable) {
    PlayerPaths p = InFolder(dir, name);
    const std::filesystem::path settings = SettingsFolderFor(dir, isWritable);
    p.configFile = settings / kConfigurationFileName;
    p.volumeFile = settings / (name + ".aud");
    // Preferences (View resolution, recent videos) always live in the
    // user's configuration folder.
    p.settingsFile = UserSettingsFolder() / (name + ".ini");
    return p;
}

PlayerPaths PlayerPaths::InFolder(const std::filesystem::path& dir, const std::string& name) {
    PlayerPaths p;
    p.programDir = dir;
    p.configFile = dir / "CamSetup.xml";
    p.volumeFile = dir / (name + ".aud");
    p.setupProgram = dir / "hvconfig";
    p.settingsFile = dir / (name + ".ini");
    return p;
}

MainWindow::MainWindow(const PlayerPaths& paths, PlaybackOptions playbackOptions)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      paths_(paths) {
    setObjectName(QStringLiteral("MainWindow"));
    handCursor_ = QCursor(Picture(QStringLiteral("AUTOR")), 9, 1);

    // The start-up geometry, then CamSetup.xml when there is one.
    config_ = PlayerStartupDefaults();
    if (ConfigurationExists(paths_.configFile)) ReadConfiguration(paths_.configFile, config_);
    engine_.SetFlipMode(config_.flipMode);

    chooser_ = [](QWidget* owner, const QString& folder) {
        return hv::ui::ShowOpenVideoDialog(owner, folder);
    };
    recorder_ = std::make_unique<PathRecorder>();
    pathChooser_ = [](QWidget* owner, const QString& suggested) {
        return QFileDialog::getSaveFileName(owner, QStringLiteral("Save view path"), suggested,
                                            QStringLiteral("View paths (*.json)"));
    };
    snapshotSizeChooser_ = [](QWidget* owner, QSize proposed) {
        return AskSnapshotSize(owner, proposed);
    };
    snapshotChooser_ = [](QWidget* owner, const QString& suggested) {
        return QFileDialog::getSaveFileName(owner, QStringLiteral("Save snapshot"), suggested,
                                            QStringLiteral("PNG pictures (*.png)"));
    };
    click_ = new hv::ui::ClickSound(QUrl(QStringLiteral("qrc:/player/sounds/TICK.wav")), this);
    messages_ = new hv::ui::MessageBoxSink(this);
    presenter_ = new ViewPresenter(engine_, navigator_, this);
    unwrapper_ = std::make_unique<EngineUnwrapper>(engine_);
    host_ = std::make_unique<PlayerHost>(*this, *presenter_, *messages_);
    controller_ =
        std::make_unique<PlaybackController>(*host_, *unwrapper_, std::move(playbackOptions));

    setWindowTitle(QString::fromLatin1(kAppTitle));
    QIcon icon;
    icon.addPixmap(Picture(QStringLiteral("VIDEO")));
    icon.addPixmap(Picture(QStringLiteral("VIDEO256")));
    setWindowIcon(icon);

    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    QPalette pal = client_->palette();
    pal.setColor(QPalette::Window, kWindowColour);
    pal.setColor(QPalette::WindowText, Qt::black);
    client_->setPalette(pal);
    client_->setAutoFillBackground(true);
    client_->installEventFilter(this);
    client_->setMinimumSize(kMinClientWidth, kMinClientHeight);
    setCentralWidget(client_);

    recent_ = std::make_unique<RecentFiles>();
    BuildCommands();
    BuildMenus();
    BuildPlayerKeys();
    if (!std::filesystem::exists(paths_.setupProgram)) Action(kCmdSetup)->setEnabled(false);
    startPicture_ = new StartPicture(Picture(QStringLiteral("SPLASH")), client_);
    startPicture_->setGeometry(5, 5, 600, 432);
    SetQualityMode(static_cast<int>(QualityMode::High));
    SetViewResolution(LoadViewResolution(paths_.settingsFile), false);
    controls_ = new ControlRow(handCursor_, client_);
    WireControlRow();
    SetTransportActive(false);
    controller_->SetStoredVolumeLevel(LoadVolumeLevel(paths_.volumeFile));

    pollTimer_ = new QTimer(this);
    pollTimer_->setInterval(kPlaybackPollMs);
    connect(pollTimer_, &QTimer::timeout, this, [this] {
        ReadPlayback();
        CheckOpenOutcome();
        SampleViewPath();
    });
    pollTimer_->start();

    // The menu bar takes its height from the 720 x 500 client area.
    resize(kClientWidth, kClientHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    if (layout()) layout()->activate();
    LayoutMainWindow();
}

MainWindow::~MainWindow() {
    // A running export is cancelled and joined first.
    exportDialog_.reset();
    // Nothing may render into the view or call back into this window once
    // its members start to go: stop the render worker, then the playback.
    presenter_->Stop();
    presenter_->SetTarget(nullptr);
    // The view refers to the navigator and the controller: it goes first.
    delete videoHost_;
    videoHost_ = nullptr;
    view_ = nullptr;
    controller_->Shutdown([](int ms) { hv::SleepStep(ms); });
    controller_.reset();
}

QAction* MainWindow::AddMenuCommand(QMenu* menu, const QString& text, int id, bool checkable) {
    QAction* a = menu->addAction(text);
    a->setData(id);
    a->setCheckable(checkable);
    connect(a, &QAction::triggered, this, [this, id] { Command(id); });
    actions_[id] = a;
    return a;
}

QAction* MainWindow::Action(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::BuildMenus() {
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    QMenu* player = new QMenu(QStringLiteral("Player"), this);
    QMenu* option = bar->addMenu(QStringLiteral("&Option"));
    QMenu* mode = new QMenu(QStringLiteral("360 Mode"), this);
    QMenu* help = bar->addMenu(QStringLiteral("&Help"));

    QAction* load = AddMenuCommand(file, QStringLiteral("Load Doughnut Movie\tCtrl + L"), kCmdLoad);
    load->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    AddMenuCommand(file, QStringLiteral("Setup Doughnut Movie"), kCmdSetup);
    recentMenu_ = file->addMenu(QStringLiteral("Recent videos"));
    recentMenu_->setObjectName(QStringLiteral("RecentVideos"));
    connect(recentMenu_, &QMenu::aboutToShow, this, [this] {
        recentMenu_->clear();
        for (const QString& path : recent_->Files()) {
            QAction* a = recentMenu_->addAction(path);
            connect(a, &QAction::triggered, this, [this, path] { OpenRecent(path); });
        }
        if (recent_->Files().isEmpty())
            recentMenu_->addAction(QStringLiteral("(none)"))->setEnabled(false);
    });
    file->addSeparator();
    QAction* snapshot =
        AddMenuCommand(file, QStringLiteral("Save snapshot\tCtrl + P"), kCmdSaveSnapshot);
    snapshot->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    QAction* snapshotAtSize = AddMenuCommand(
        file, QStringLiteral("Save snapshot at size...\tCtrl + Shift + P"), kCmdSaveSnapshotAtSize);
    snapshotAtSize->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    AddMenuCommand(file, QStringLiteral("Export video..."), kCmdExportVideo);
    file->addSeparator();
    file->addMenu(player);
    file->addSeparator();
    AddMenuCommand(file, QStringLiteral("Video Stream Info"), kCmdVideoInfo);
    file->addSeparator();
    AddMenuCommand(file, QStringLiteral("Exit\tAlt + F4"), kCmdExit);

    AddMenuCommand(player, QStringLiteral("Play"), kCmdPlay);
    AddMenuCommand(player, QStringLiteral("Stop"), kCmdPause);
    player->addSeparator();
    AddMenuCommand(player, QStringLiteral("Restart"), kCmdRestart);

    option->addMenu(mode);
    option->addSeparator();
    AddMenuCommand(option, QStringLiteral("Bilinear filter 2x On"), kCmdSoften, true);
    AddMenuCommand(option, QStringLiteral("GrayScale filter"), kCmdGrayscale, true);
    option->addSeparator();
    AddMenuCommand(option, QStringLiteral("Repeat the video"), kCmdRepeat, true);
    AddMenuCommand(option, QStringLiteral("Record view path"), kCmdRecordPath, true);

    QMenu* resolution = new QMenu(QStringLiteral("View resolution"), this);
    option->insertMenu(option->actions().at(1), resolution);
    AddMenuCommand(resolution, QStringLiteral("Standard"), kCmdViewStandard, true);
    AddMenuCommand(resolution, QStringLiteral("Window"), kCmdViewWindow, true);

    // One exclusive choice, shown as such (radio items).
    auto* quality = new QActionGroup(this);
    quality->setExclusive(true);
    quality->addAction(AddMenuCommand(mode, QStringLiteral("Draft"), kCmdDraft, true));
    quality->addAction(AddMenuCommand(mode, QStringLiteral("Mixed"), kCmdMixed, true));
    quality->addAction(AddMenuCommand(mode, QStringLiteral("High"), kCmdHigh, true));

    QAction* helpItem = AddMenuCommand(help, QStringLiteral("Help\tF1"), kCmdHelp);
    helpItem->setShortcut(QKeySequence(Qt::Key_F1));
    help->addSeparator();
    AddMenuCommand(help, QStringLiteral("About"), kCmdAbout);
}

void MainWindow::WireControlRow() {
    connect(controls_, &ControlRow::commandClicked, this, &MainWindow::Command);
    connect(controls_, &ControlRow::positionDragged, this, &MainWindow::OnPositionDragged);
    connect(controls_, &ControlRow::positionStepped, this, &MainWindow::OnPositionStepped);
    connect(controls_, &ControlRow::positionReleased, this, &MainWindow::OnPositionReleased);
}

QWidget* MainWindow::StartPictureWidget() const {
    return startPicture_;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
    if (watched == client_ && e->type() == QEvent::Resize) LayoutMainWindow();
    if (e->type() == QEvent::MouseMove && isFullScreen()) {
        if (auto* w = qobject_cast<QWidget*>(watched)) {
            const auto* me = static_cast<QMouseEvent*>(e);
            PointerMovedInClient(w->mapTo(client_, me->position().toPoint()));
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

void MainWindow::LayoutMainWindow() {
    LayoutMainWindow(client_->size());
}

void MainWindow::LayoutMainWindow(QSize client, bool stopMotion) {
    // A resize stops any pan or zoom in progress.
    if (stopMotion) navigator_.StopMotion();
    // A minimised window reports a 0 x 0 client area: sizes are clamped at 0
    // instead of going negative.
    const int W = std::max(client.width(), 0);
    const int H = std::max(client.height(), 0);
    const auto clamp0 = [](int v) { return std::max(v, 0); };
    if (FullScreenLayout(W, H)) return;

    if (videoHost_) videoHost_->setGeometry(0, 0, W, clamp0(H - 55));
    if (startPicture_) startPicture_->resize(clamp0(W - 11), clamp0(H - 63));
    viewSize_ = QSize(clamp0(W - 10), clamp0(H - 60));
    if (view_) view_->setGeometry(5, 3, viewSize_.width(), viewSize_.height());

    // The row starts with the position bar, just under the view.
    controls_->setGeometry(0, viewSize_.height() + 7, W, ControlRow::kHeight);
    controls_->Layout(W, viewSize_.width());

    if (videoHost_) videoHost_->update();
    if (view_) view_->setFocus(Qt::OtherFocusReason);
}

void MainWindow::SetQualityMode(int mode) {
    if (mode < 0 || mode > 2) return;
    for (int id : {kCmdDraft, kCmdMixed, kCmdHigh}) Action(id)->setChecked(false);
    Action(kCmdDraft + mode)->setChecked(true);
    presenter_->SetQuality(static_cast<hv::QualityMode>(mode));
}

void MainWindow::SetViewResolution(ViewResolution r) {
    SetViewResolution(r, true);
}

void MainWindow::SetViewResolution(ViewResolution r, bool remember) {
    Action(kCmdViewStandard)->setChecked(r == ViewResolution::Standard);
    Action(kCmdViewWindow)->setChecked(r == ViewResolution::Window);
    presenter_->SetViewResolution(r);
    if (remember) SaveViewResolution(paths_.settingsFile, r);
}

// ------------------------------------------------------------ the playback

void MainWindow::OnPlaybackWake(PlaybackWake wake) {
    switch (wake) {
        case PlaybackWake::VideoStarting:
            setWindowTitle(QString::fromStdString(controller_->CurrentVideoFile()));
            break;
        case PlaybackWake::StreamOpened:
            controls_->ShowFrameCount(controller_->Format().frameCount);
            ReadPlayback();  // the stored volume level was applied
            break;
        case PlaybackWake::StreamStarted:
            ShowStreamStarted();
            break;
        case PlaybackWake::StreamEnded:
            ReadPlayback();  // the loop's last position
            break;
        case PlaybackWake::VideoClosed:
            setWindowTitle(QString::fromLatin1(kAppTitle));
            SetTransportActive(false);
            CheckOpenOutcome();
            break;
    }
}

void MainWindow::ReadPlayback() {
    const PositionBarUpdate bar = controller_->PositionBar();
    if (bar.serial != shownBarSerial_) {
        shownBarSerial_ = bar.serial;
        controls_->ShowPosition(bar.value);
    }
    const int level = controller_->IndicatorLevel();
    if (level != shownLevel_) {
        shownLevel_ = level;
        controls_->ShowVolumeLevel(level);
    }
    const bool muted = controller_->SoundMuted();
    if (muted != shownMuted_) {
        shownMuted_ = muted;
        controls_->ShowSoundOn(!muted);
    }
}

void MainWindow::SetRecentFilesLocation(const std::filesystem::path& file) {
    recent_ = std::make_unique<RecentFiles>(file);
}

void MainWindow::OpenRecent(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        recent_->Remove(path);
        hv::ui::ShowMessageBox(this, QMessageBox::Warning, QStringLiteral("Recent videos"),
                               QStringLiteral("%1\n\nThis video no longer exists; it was removed "
                                              "from the list.")
                                   .arg(path));
        return;
    }
    OpenFile(path);
}

void MainWindow::ShowStreamStarted() {
    awaitingStream_ = false;
    recent_->Add(QString::fromStdString(controller_->CurrentVideoFile()));
    SetTransportActive(true);
    // The view replaces the start picture for good.
    delete startPicture_;
    startPicture_ = nullptr;
    if (!videoHost_) {
        videoHost_ = new QWidget(client_);
        videoHost_->setObjectName(QStringLiteral("VideoHost"));
        QPalette pal = videoHost_->palette();
        pal.setColor(QPalette::Window, kWindowColour);
        videoHost_->setPalette(pal);
        videoHost_->setAutoFillBackground(true);
        view_ = new VideoView(
            navigator_, [this] { return controller_->AppClosing(); }, videoHost_);
        view_->installEventFilter(this);  // the pointer at the full-screen edge
        connect(view_, &VideoView::doubleClicked, this, [this] { SetFullScreen(!isFullScreen()); });
        presenter_->SetTarget(view_);
        videoHost_->lower();
        videoHost_->show();
        view_->show();
    }
    // Not a resize: the new view keeps turning left as it started.
    LayoutMainWindow(client_->size(), false);
}

}  // namespace hv::player
