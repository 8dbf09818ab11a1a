// Construction and layout of the main window.
#include "player/main_window.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <algorithm>

#include "player/commands.h"
#include "player/player_host.h"
#include "player/start_picture.h"
#include "ui/click_sound.h"
#include "ui/clickable_label.h"
#include "ui/message_box.h"
#include "ui/open_video_dialog.h"
#include "player/view_presenter.h"
#include "player/volume_file.h"

namespace hv::player {

namespace {
const QColor kWindowColour(129, 194, 176);
const QColor kLevelLit(81, 255, 176);

QPixmap Picture(const QString& name) {
    return QPixmap(QStringLiteral(":/player/images/%1.png").arg(name));
}
}  // namespace

PlayerPaths PlayerPaths::ForRunningProgram() {
    std::filesystem::path exe;
    std::error_code ec;
    exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::string name = ec ? std::string("hvplayer") : exe.stem().string();
    return InFolder(ProgramDirectory(), name);
}

PlayerPaths PlayerPaths::InFolder(const std::filesystem::path& dir, const std::string& name) {
    PlayerPaths p;
    p.programDir = dir;
    p.configFile = dir / "CamSetup.xml";
    p.volumeFile = dir / (name + ".aud");
    p.setupProgram = dir / "hvconfig";
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
    click_ = new hv::ui::ClickSound(QUrl(QStringLiteral("qrc:/player/sounds/TICK.wav")), this);
    messages_ = new hv::ui::MessageBoxSink(this);
    presenter_ = new ViewPresenter(engine_, navigator_, this);
    unwrapper_ = std::make_unique<EngineUnwrapper>(engine_);
    host_ = std::make_unique<PlayerHost>(*this);
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
    setCentralWidget(client_);

    BuildMenus();
    if (!std::filesystem::exists(paths_.setupProgram)) Action(kCmdSetup)->setEnabled(false);
    BuildVideoArea();
    SetQualityMode(qualityMode_);
    BuildControlRow();
    controller_->SetStoredVolumeLevel(LoadVolumeLevel(paths_.volumeFile));

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

QAction* MainWindow::AddCommand(QMenu* menu, const QString& text, int id, bool checkable) {
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

    QAction* load = AddCommand(file, QStringLiteral("Load Doughnut Movie\tCtrl + L"), kCmdLoad);
    load->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    AddCommand(file, QStringLiteral("Setup Doughnut Movie"), kCmdSetup);
    file->addSeparator();
    file->addMenu(player);
    file->addSeparator();
    AddCommand(file, QStringLiteral("Video Stream Info"), kCmdVideoInfo);
    file->addSeparator();
    AddCommand(file, QStringLiteral("Exit\tAlt + F4"), kCmdExit);

    AddCommand(player, QStringLiteral("Play"), kCmdPlay);
    AddCommand(player, QStringLiteral("Stop"), kCmdPause);
    player->addSeparator();
    AddCommand(player, QStringLiteral("Restart"), kCmdRestart);

    option->addMenu(mode);
    option->addSeparator();
    AddCommand(option, QStringLiteral("Bilinear filter 2x On"), kCmdSoften, true);
    AddCommand(option, QStringLiteral("GrayScale filter"), kCmdGrayscale, true);
    option->addSeparator();
    AddCommand(option, QStringLiteral("Repeat the video"), kCmdRepeat, true);

    AddCommand(mode, QStringLiteral("Draft"), kCmdDraft, true);
    AddCommand(mode, QStringLiteral("Mixed"), kCmdMixed, true);
    AddCommand(mode, QStringLiteral("High"), kCmdHigh, true);

    QAction* helpItem = AddCommand(help, QStringLiteral("Help\tF1"), kCmdHelp);
    helpItem->setShortcut(QKeySequence(Qt::Key_F1));
    help->addSeparator();
    AddCommand(help, QStringLiteral("About"), kCmdAbout);
}

void MainWindow::BuildVideoArea() {
    startPicture_ = new StartPicture(Picture(QStringLiteral("SPLASH")), client_);
    startPicture_->setGeometry(5, 5, 600, 432);
}

hv::ui::ClickableLabel* MainWindow::AddButton(int id, const QString& picture, bool withPressed) {
    auto* b = new hv::ui::ClickableLabel(id, client_);
    b->SetPictures(Picture(picture), withPressed ? Picture(picture + "2") : QPixmap());
    b->resize(26, 24);
    b->SetClickable(true, handCursor_);
    connect(b, &hv::ui::ClickableLabel::clicked, this, [this](int cmd) { Command(cmd); });
    controls_[id] = b;
    return b;
}

void MainWindow::BuildControlRow() {
    positionBar_ = new QSlider(Qt::Horizontal, client_);
    positionBar_->setObjectName(QStringLiteral("ctl680"));
    positionBar_->resize(375, 19);
    positionBar_->setRange(1, 1);
    positionBar_->setPageStep(10);
    positionBar_->setValue(1);
    positionBar_->setCursor(handCursor_);
    positionBar_->setFocusPolicy(Qt::NoFocus);
    positionBar_->setStyleSheet(QStringLiteral(
        "QSlider { background: rgb(97,162,112); border: 1px solid rgb(60,110,80); }"
        "QSlider::groove:horizontal { height: 4px; margin: 0 6px; background: rgb(40,80,60);"
        " border-radius: 2px; }"
        "QSlider::sub-page:horizontal { background: rgb(0,0,255); margin: 0 0 0 6px;"
        " border-radius: 2px; }"
        "QSlider::handle:horizontal { width: 10px; margin: -6px 0; border-radius: 3px;"
        " background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #ffffff, stop:1 #b2dace);"
        " border: 1px solid rgb(46,92,82); }"));
    connect(positionBar_, &QSlider::sliderMoved, this, &MainWindow::OnPositionBarMoved);
    connect(positionBar_, &QSlider::actionTriggered, this, &MainWindow::OnPositionBarAction);
    connect(positionBar_, &QSlider::sliderReleased, this, &MainWindow::OnPositionBarReleased);

    AddButton(kCmdLeft, QStringLiteral("left"));
    AddButton(kCmdRight, QStringLiteral("right"));
    AddButton(kCmdStopMotion, QStringLiteral("stop"));
    AddButton(kCmdUp, QStringLiteral("up"));
    AddButton(kCmdDown, QStringLiteral("down"));
    AddButton(kCmdZoomIn, QStringLiteral("lup"));
    AddButton(kCmdZoomOut, QStringLiteral("rup"));
    AddButton(kCmdRestart, QStringLiteral("restart"));
    AddButton(kCmdPlay, QStringLiteral("start"));
    AddButton(kCmdPause, QStringLiteral("stopp"));
    AddButton(kCmdFlip, QStringLiteral("flip"));
    AddButton(kCmdSoften, QStringLiteral("bill"), false);
    AddButton(kCmdHelp, QStringLiteral("helpp"));
    AddButton(kCmdSound, QStringLiteral("soundon"), false);

    auto* logo = new QLabel(client_);
    logo->setObjectName(QStringLiteral("ctl700"));
    logo->setPixmap(Picture(QStringLiteral("AC")));
    logo->resize(205, 30);
    logo_ = logo;

    for (int k = 1; k <= 5; ++k) {
        auto* bar = new hv::ui::ClickableLabel(kCmdLevel1 + k - 1, client_);
        bar->resize(7, 4 * k - 2);
        bar->SetClickable(true, handCursor_);
        QPalette pal = bar->palette();
        pal.setColor(QPalette::Window, kLevelLit);
        pal.setColor(QPalette::WindowText, Qt::black);
        bar->setPalette(pal);
        bar->setAutoFillBackground(true);
        connect(bar, &hv::ui::ClickableLabel::clicked, this, [this](int cmd) { Command(cmd); });
        levelBars_[k - 1] = bar;
    }
}

hv::ui::ClickableLabel* MainWindow::Control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

QLabel* MainWindow::LevelBar(int k) const {
    return (k >= 1 && k <= 5) ? levelBars_[k - 1] : nullptr;
}

QWidget* MainWindow::StartPictureWidget() const {
    return startPicture_;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
    if (watched == client_ && e->type() == QEvent::Resize) LayoutMainWindow();
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

    if (videoHost_) videoHost_->setGeometry(0, 0, W, clamp0(H - 55));
    if (startPictureFlag_ && startPicture_) startPicture_->resize(clamp0(W - 11), clamp0(H - 63));
    viewSize_ = QSize(clamp0(W - 10), clamp0(H - 60));
    if (view_) view_->setGeometry(5, 3, viewSize_.width(), viewSize_.height());

    positionBar_->setGeometry(5, viewSize_.height() + 7, clamp0(viewSize_.width() - 1), 19);

    const int y0 = viewSize_.height() + 32;
    const std::pair<int, int> left[] = {
        {kCmdLeft, 0},   {kCmdRight, 30},   {kCmdStopMotion, 60}, {kCmdUp, 90},
        {kCmdDown, 120}, {kCmdZoomIn, 155}, {kCmdZoomOut, 185},   {kCmdRestart, 220},
        {kCmdPlay, 250}, {kCmdPause, 280}};
    for (const auto& [id, dx] : left) Control(id)->move(5 + dx, y0);

    const int xr = W - 90;
    logo_->move(xr - 305, y0 - 5);
    Control(kCmdFlip)->move(xr - 96, y0);
    Control(kCmdSoften)->move(xr - 64, y0);
    Control(kCmdHelp)->move(xr - 32, y0);
    Control(kCmdSound)->move(xr, y0);
    for (int k = 1; k <= 5; ++k) levelBars_[k - 1]->move(xr + 25 + 10 * k, y0 + 22 - 4 * k);

    if (videoHost_) videoHost_->update();
    if (view_) view_->setFocus(Qt::OtherFocusReason);
}

void MainWindow::SetQualityMode(int mode) {
    if (mode < 0 || mode > 2) return;
    for (int id : {kCmdDraft, kCmdMixed, kCmdHigh}) Action(id)->setChecked(false);
    Action(kCmdDraft + mode)->setChecked(true);
    qualityMode_ = mode;
    presenter_->SetQuality(static_cast<hv::QualityMode>(mode));
}

void MainWindow::OnStreamStarted() {
    // The view replaces the start picture for good.
    if (startPicture_) {
        delete startPicture_;
        startPicture_ = nullptr;
    }
    startPictureFlag_ = false;
    if (!videoHost_) {
        videoHost_ = new QWidget(client_);
        videoHost_->setObjectName(QStringLiteral("VideoHost"));
        QPalette pal = videoHost_->palette();
        pal.setColor(QPalette::Window, kWindowColour);
        videoHost_->setPalette(pal);
        videoHost_->setAutoFillBackground(true);
        view_ = new VideoView(
            navigator_, [this] { return controller_->AppClosing(); }, videoHost_);
        presenter_->SetTarget(view_);
        videoHost_->lower();
        videoHost_->show();
        view_->show();
    }
    // Not a resize: the new view keeps turning left as it started.
    LayoutMainWindow(client_->size(), false);
}

}  // namespace hv::player
