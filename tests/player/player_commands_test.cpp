// Commands of the control row and the menus, without a video and around the
// exit sequence; the volume file; the help window and the About box.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <fstream>

#include "player/commands.h"
#include "player/player_help.h"
#include "player/player_settings.h"
#include "player/process_scan.h"
#include "player/view_presenter.h"
#include "player/volume_file.h"
#include "player_test_util.h"
#include "ui/click_sound.h"
#include "ui/clickable_label.h"
#include "ui/help_window.h"
#include "ui/open_video_dialog.h"

namespace hv::player::test {
namespace {

QImage Pic(const char* name) {
    return QImage(QStringLiteral(":/player/images/%1.png").arg(QLatin1String(name)))
        .convertToFormat(QImage::Format_RGB32);
}

QImage Shown(hv::ui::ClickableLabel* l) {
    return l->CurrentPicture().toImage().convertToFormat(QImage::Format_RGB32);
}

TEST(PlayerCommands, ButtonsFlashTheirPressedPicture) {
    PlayerFixture f;
    MainWindow& w = f.Window();
    const std::pair<int, const char*> buttons[] = {
        {3900, "left"},  {3901, "right"}, {3904, "stop"}, {3902, "up"},
        {3903, "down"},  {3907, "lup"},   {3908, "rup"},  {689, "restart"},
        {3100, "start"}, {3101, "stopp"}, {691, "flip"},  {110, "helpp"}};
    for (const auto& [id, name] : buttons) {
        SCOPED_TRACE(name);
        auto* b = w.Controls().Button(id);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(Shown(b), Pic(name));
        EXPECT_TRUE(b->IsClickable());
        if (id == kCmdHelp) continue;  // opens a modal window; see HelpWindow below
        w.Command(id);
        EXPECT_TRUE(b->IsShowingPressed());
        EXPECT_EQ(Shown(b), Pic((std::string(name) + "2").c_str()));
        EXPECT_TRUE(WaitFor([&] { return !b->IsShowingPressed(); }, 1000));
        EXPECT_EQ(Shown(b), Pic(name));
    }
    // A menu item runs the same handler as its button: "Play" flashes "start2".
    w.Action(kCmdPlay)->trigger();
    EXPECT_TRUE(w.Controls().Button(kCmdPlay)->IsShowingPressed());
    // The hand cursor over the clickable controls, not over the logo strip.
    EXPECT_EQ(w.Controls().Button(3900)->cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(w.Controls().LevelBar(3)->cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(w.Controls().PositionBar()->cursor().shape(), Qt::BitmapCursor);
    EXPECT_NE(w.Controls().Logo()->cursor().shape(), Qt::BitmapCursor);
}

TEST(PlayerCommands, FlipQualityAndFilters) {
    PlayerFixture f;
    MainWindow& w = f.Window();
    const int start = w.Engine().CurrentFlipMode();
    EXPECT_EQ(start, 0);
    for (int expected : {1, 2, 3, 0}) {
        w.Command(kCmdFlip);
        EXPECT_EQ(w.Engine().CurrentFlipMode(), expected);
    }

    w.Command(kCmdDraft);
    EXPECT_EQ(static_cast<int>(w.Presenter().Quality()), 0);
    EXPECT_EQ(w.Presenter().Quality(), hv::QualityMode::Draft);
    EXPECT_TRUE(w.Action(kCmdDraft)->isChecked());
    EXPECT_FALSE(w.Action(kCmdHigh)->isChecked());
    w.Action(kCmdMixed)->trigger();
    EXPECT_EQ(w.Presenter().Quality(), hv::QualityMode::Mixed);
    EXPECT_TRUE(w.Action(kCmdMixed)->isChecked());
    EXPECT_FALSE(w.Action(kCmdDraft)->isChecked());
    // Choosing the checked item again keeps it checked.
    w.Action(kCmdMixed)->trigger();
    EXPECT_TRUE(w.Action(kCmdMixed)->isChecked());

    const int clicks = w.Click().PlayCount();
    w.Command(kCmdSoften);
    EXPECT_TRUE(w.Presenter().Soften());
    EXPECT_TRUE(w.Action(kCmdSoften)->isChecked());
    EXPECT_EQ(Shown(w.Controls().Button(kCmdSoften)), Pic("bill2"));
    w.Action(kCmdSoften)->trigger();
    EXPECT_FALSE(w.Presenter().Soften());
    EXPECT_FALSE(w.Action(kCmdSoften)->isChecked());
    EXPECT_EQ(Shown(w.Controls().Button(kCmdSoften)), Pic("bill"));
    EXPECT_EQ(w.Click().PlayCount(), clicks + 2);

    w.Action(kCmdGrayscale)->trigger();
    EXPECT_TRUE(w.Presenter().Grayscale());
    EXPECT_TRUE(w.Action(kCmdGrayscale)->isChecked());
    w.Command(kCmdGrayscale);
    EXPECT_FALSE(w.Presenter().Grayscale());
    EXPECT_FALSE(w.Action(kCmdGrayscale)->isChecked());

    w.Action(kCmdRepeat)->trigger();
    EXPECT_TRUE(w.Playback().Repeat());
    EXPECT_TRUE(w.Action(kCmdRepeat)->isChecked());
    w.Command(kCmdRepeat);
    EXPECT_FALSE(w.Playback().Repeat());
    EXPECT_FALSE(w.Action(kCmdRepeat)->isChecked());
}

TEST(PlayerCommands, VideoCommandsDoNothingWithoutAVideo) {
    PlayerFixture f;
    MainWindow& w = f.Window();
    const QColor before = w.Controls().LevelBar(1)->palette().color(QPalette::Window);
    w.Command(kCmdSound);
    EXPECT_EQ(Shown(w.Controls().Button(kCmdSound)), Pic("soundon"));
    EXPECT_FALSE(w.Playback().SoundMuted());
    w.Command(kCmdLevel1 + 1);
    Pump(20);
    EXPECT_EQ(w.Playback().VolumeLevel(), 5);
    EXPECT_EQ(w.Controls().LevelBar(1)->palette().color(QPalette::Window), before);
    EXPECT_EQ(before, QColor(81, 255, 176));
    w.Command(kCmdPlay);
    w.Command(kCmdPause);
    w.Command(kCmdRestart);
    w.Command(kCmdVideoInfo);  // empty VideoInfoText: no box
    EXPECT_TRUE(f.boxes.empty());
    EXPECT_EQ(w.Playback().PlaybackState(), 0);
    // Navigation buttons run but their key-downs go nowhere.
    w.Command(kCmdZoomIn);
    EXPECT_FALSE(w.Navigation().Drag().zoomIn);
    // Escape arrives as command 2, which has no entry.
    w.Command(2);
    EXPECT_TRUE(f.boxes.empty());
}

TEST(PlayerCommands, VolumeFileRoundTrip) {
    PlayerFixture f;
    const auto file = f.Folder() / "levels.aud";
    EXPECT_EQ(LoadVolumeLevel(file), 5);  // missing
    ASSERT_TRUE(SaveVolumeLevel(file, 3));
    EXPECT_EQ(std::filesystem::file_size(file), 4u);
    EXPECT_EQ(LoadVolumeLevel(file), 3);
    ASSERT_TRUE(SaveVolumeLevel(file, 0));
    EXPECT_EQ(LoadVolumeLevel(file), 5);  // 0 gives level 5
    ASSERT_TRUE(SaveVolumeLevel(file, -7));
    EXPECT_EQ(LoadVolumeLevel(file), -7);  // other values are used unchanged
    std::ofstream(file, std::ios::binary | std::ios::trunc) << "\x02\x00";
    EXPECT_EQ(LoadVolumeLevel(file), 5);  // too short
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        const char bytes[] = {2, 0, 0, 0, 9, 9};
        out.write(bytes, sizeof bytes);
    }
    EXPECT_EQ(LoadVolumeLevel(file), 2);  // the first four bytes, little-endian

    // The window loads hvplayer.aud beside the program and stores the level at exit.
    const auto aud = f.Folder() / "hvplayer.aud";
    ASSERT_TRUE(SaveVolumeLevel(aud, 0));
    f.Recreate();
    EXPECT_EQ(f.Window().Playback().VolumeLevel(), 5);
    ASSERT_TRUE(SaveVolumeLevel(aud, 2));
    f.Recreate();
    EXPECT_EQ(f.Window().Playback().VolumeLevel(), 2);
    f.Window().Playback().SetStoredVolumeLevel(4);
    f.Window().ShutdownPlayback();
    EXPECT_EQ(LoadVolumeLevel(aud), 4);
}

// Installed where the program folder cannot be written: the settings files
// move to the user's configuration folder, which the first volume save
// creates; hvconfig's files are found by the same rule.
TEST(PlayerCommands, SettingsFollowTheLocationRule) {
    PlayerFixture f;
    const std::filesystem::path program = f.Folder() / "program";
    const std::filesystem::path config = f.Folder() / "config";
    std::filesystem::create_directories(program);
    const std::string keptXdg =
        std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    const std::filesystem::path user = config / "halvora360";

    const PlayerPaths beside = PlayerPaths::ForProgramFolder(program, "hvplayer");
    EXPECT_EQ(beside.configFile, program / "CamSetup.xml");
    EXPECT_EQ(beside.volumeFile, program / "hvplayer.aud");
    EXPECT_EQ(beside.setupProgram, program / "hvconfig");

    const PlayerPaths installed =
        PlayerPaths::ForProgramFolder(program, "hvplayer", [](const auto&) { return false; });
    EXPECT_EQ(installed.configFile, user / "CamSetup.xml");
    EXPECT_EQ(installed.volumeFile, user / "hvplayer.aud");
    EXPECT_EQ(installed.setupProgram, program / "hvconfig") << "hvconfig stays beside the player";
    EXPECT_EQ(installed.configFile,
              hv::SettingsFolderFor(program, [](const auto&) { return false; }) / "CamSetup.xml")
        << "the file hvconfig saves";

    {
        MainWindow w(installed);
        w.Playback().SetStoredVolumeLevel(3);
        w.ShutdownPlayback();
    }
    EXPECT_TRUE(f.boxes.empty());
    EXPECT_EQ(LoadVolumeLevel(user / "hvplayer.aud"), 3) << "the folder is created on save";
    ::setenv("XDG_CONFIG_HOME", keptXdg.c_str(), 1);
}

TEST(PlayerCommands, VolumeSaveFailureIsReported) {
    PlayerFixture f;
    // A folder in the file's place: the level cannot be written.
    std::filesystem::create_directory(f.Folder() / "hvplayer.aud");
    f.Recreate();
    f.Window().ShutdownPlayback();
    ASSERT_EQ(f.boxes.size(), 1u);
    EXPECT_EQ(f.boxes[0].caption, QStringLiteral("Volume"));
    EXPECT_EQ(f.boxes[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(
        f.boxes[0].text.contains(QString::fromStdString((f.Folder() / "hvplayer.aud").string())))
        << f.boxes[0].text.toStdString();
    EXPECT_TRUE(f.boxes[0].text.contains(QStringLiteral("directory"), Qt::CaseInsensitive))
        << "says why: " << f.boxes[0].text.toStdString();
    std::string error;
    EXPECT_FALSE(SaveVolumeLevel(f.Folder() / "hvplayer.aud", 2, &error));
    EXPECT_FALSE(error.empty());
}

// Option > View resolution: Standard at first, the choice kept in the
// settings file across windows; WindowRenderSize keeps a render size the
// renderers can draw for any window, a 1-pixel-wide one included.
TEST(PlayerCommands, ViewResolutionIsRemembered) {
    PlayerFixture f;
    const auto ini = f.Folder() / "hvplayer.ini";
    EXPECT_EQ(LoadViewResolution(ini), ViewResolution::Standard);  // missing
    MainWindow& w = f.Window();
    ASSERT_NE(w.Action(kCmdViewStandard), nullptr);
    EXPECT_EQ(w.Action(kCmdViewStandard)->parentWidget()->property("title").toString(),
              QStringLiteral("View resolution"));
    EXPECT_TRUE(w.Action(kCmdViewStandard)->isChecked());
    EXPECT_FALSE(w.Action(kCmdViewWindow)->isChecked());
    EXPECT_EQ(w.Presenter().Resolution(), ViewResolution::Standard);

    w.Action(kCmdViewWindow)->trigger();
    EXPECT_TRUE(w.Action(kCmdViewWindow)->isChecked());
    EXPECT_FALSE(w.Action(kCmdViewStandard)->isChecked());
    EXPECT_EQ(w.Presenter().Resolution(), ViewResolution::Window);
    EXPECT_EQ(LoadViewResolution(ini), ViewResolution::Window);
    f.Recreate();
    EXPECT_TRUE(f.Window().Action(kCmdViewWindow)->isChecked());
    EXPECT_EQ(f.Window().Presenter().Resolution(), ViewResolution::Window);
    f.Window().Command(kCmdViewStandard);
    f.Recreate();
    EXPECT_EQ(f.Window().Presenter().Resolution(), ViewResolution::Standard);
    std::ofstream(ini, std::ios::trunc) << "[View]\nResolution=sideways\n";
    EXPECT_EQ(LoadViewResolution(ini), ViewResolution::Standard);

    EXPECT_EQ(WindowRenderSize(1920, 1080), QSize(1920, 1080));
    EXPECT_EQ(WindowRenderSize(5000, 3000), QSize(3840, 2160));
    EXPECT_EQ(WindowRenderSize(1, 700), QSize(16, 48));
    EXPECT_EQ(WindowRenderSize(0, 0), QSize(16, 16));
}

TEST(PlayerCommands, ExitAsksAndCancelKeepsThePlayer) {
    PlayerFixture f;
    MainWindow& w = f.Window();
    w.show();
    f.answer = QMessageBox::Cancel;
    EXPECT_FALSE(w.close());
    ASSERT_EQ(f.boxes.size(), 1u);
    EXPECT_EQ(f.boxes[0].caption, "Exit Viewer");
    EXPECT_EQ(f.boxes[0].text, "Are you sure?");
    EXPECT_EQ(f.boxes[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.Playback().AppClosing());

    f.answer = QMessageBox::Ok;
    w.Command(kCmdExit);
    EXPECT_EQ(f.boxes.size(), 2u);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(w.Playback().AppClosing());
    EXPECT_TRUE(w.Presenter().Stopped());
}

TEST(PlayerCommands, SecondExitRequestWhileShuttingDownReturnsAtOnce) {
    PlayerFixture f;
    MainWindow& w = f.Window();
    bool nestedSawFlag = false;
    bool nestedReturnedAtOnce = false;
    size_t boxesDuringShutdown = 0;
    // Runs inside the first ShutdownPlayback's event passes.
    QTimer::singleShot(0, &w, [&] {
        nestedSawFlag = w.ShuttingDown();
        w.ShutdownPlayback();
        // A nested run of the whole sequence would have ended it (flag cleared).
        nestedReturnedAtOnce = w.ShuttingDown();
        EXPECT_FALSE(w.ConfirmExit());  // no question while the sequence runs
        boxesDuringShutdown = f.boxes.size();
    });
    w.ShutdownPlayback();
    EXPECT_TRUE(nestedSawFlag);
    EXPECT_TRUE(nestedReturnedAtOnce);
    EXPECT_EQ(boxesDuringShutdown, 0u);
    EXPECT_FALSE(w.ShuttingDown());
}

TEST(PlayerCommands, HelpWindowTextsAndLegend) {
    PlayerFixture f;
    MainWindow& w = f.Window();
    const int clicks = w.Click().PlayCount();
    bool checked = false;
    QTimer::singleShot(50, &w, [&] {
        auto* help = qobject_cast<hv::ui::HelpWindow*>(QApplication::activeModalWidget());
        ASSERT_NE(help, nullptr);
        checked = true;
        EXPECT_EQ(help->windowTitle(), "Help");
        EXPECT_EQ(help->size(), QSize(710, 400));
        EXPECT_EQ(help->Label(100)->text(), "  Instruction:");
        EXPECT_TRUE(help->Label(100)->font().bold());
        EXPECT_TRUE(help->Label(100)->font().italic());
        const QString text = help->Label(101)->property("productText").toString();
        EXPECT_EQ(text.count('\r'), 6);
        EXPECT_FALSE(text.contains('\n'));
        EXPECT_FALSE(text.endsWith('\r'));
        EXPECT_TRUE(text.contains("        c. High -  high panning quality"));
        EXPECT_TRUE(
            text.contains(" 3. Use \"360 mode\" for choose a video mode of 360 video viewer:"));
        EXPECT_EQ(help->Label(102)->text(), " 360 degree player controls:");
        EXPECT_EQ(help->Label(102)->geometry(), QRect(10, 150, 400, 24));
        EXPECT_EQ(help->Label(200)->text(), " panning LEFT");
        EXPECT_EQ(help->Label(200)->geometry(), QRect(45, 185, 295, 20));
        EXPECT_EQ(help->Label(217)->geometry(), QRect(45, 365, 295, 20));
        EXPECT_EQ(help->Label(219)->text(), " Flip video frame: vertical, horizontal, both");
        EXPECT_EQ(help->Label(219)->geometry(), QRect(380, 335, 295, 20));
        EXPECT_EQ(help->LegendPictures().size(), 13u);
        EXPECT_EQ(help->ExitButton()->text(), "Exit Help");
        EXPECT_EQ(help->ExitButton()->geometry(), QRect(645, 370, 50, 20));
        // Escape does nothing.
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(help, &esc);
        EXPECT_TRUE(help->isVisible());
        help->ExitButton()->click();
    });
    w.Command(kCmdHelp);
    EXPECT_TRUE(checked);
    EXPECT_EQ(w.Click().PlayCount(), clicks + 2);  // the command and "Exit Help"
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(PlayerCommands, AboutBox) {
    PlayerFixture f;
    MainWindow& w = f.Window();
    bool checked = false;
    QTimer::singleShot(50, &w, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        checked = true;
        EXPECT_EQ(box->windowTitle(), "About");
        EXPECT_EQ(box->findChild<QLabel*>("productName")->text(), "Halvora 360 Doughnut Player");
        EXPECT_EQ(box->findChild<QLabel*>("buildLabel")->text(), " Build 007.00");
        box->close();
    });
    w.Command(kCmdAbout);
    EXPECT_TRUE(checked);
}

TEST(PlayerCommands, SetupProgramStartsOnceOnly) {
    PlayerFixture f;
    // A stand-in setup program, named uniquely so that no other process on
    // the machine matches it, which leaves a mark when it runs.
    f.setupName = "hvcfg" + std::to_string(::getpid());
    const auto script = f.Folder() / f.setupName;
    {
        std::ofstream out(script);
        out << "#!/bin/sh\ntouch \"$(dirname \"$0\")/started\"\n";
    }
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    f.Recreate();
    MainWindow& w = f.Window();
    ASSERT_TRUE(w.Action(kCmdSetup)->isEnabled());
    w.Command(kCmdSetup);
    EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(f.Folder() / "started"); }, 5000));
    EXPECT_TRUE(f.boxes.empty());

    // With a process named hvconfig running, only the box appears.
    const auto busy = f.Folder() / "busy";
    std::filesystem::create_directories(busy);
    const std::string upper = "HVCFG" + std::to_string(::getpid());
    std::filesystem::copy_file("/bin/sleep", busy / upper);
    QProcess running;
    running.start(QString::fromStdString((busy / upper).string()), {"20"});
    ASSERT_TRUE(running.waitForStarted());
    EXPECT_TRUE(IsProcessRunning(f.setupName));  // names compare ignoring case
    std::filesystem::remove(f.Folder() / "started");
    w.Command(kCmdSetup);
    ASSERT_EQ(f.boxes.size(), 1u);
    EXPECT_EQ(f.boxes[0].caption, "Info:");
    EXPECT_EQ(f.boxes[0].text, "HVConfig is already running");
    EXPECT_EQ(f.boxes[0].icon, QMessageBox::Warning);
    Pump(300);
    EXPECT_FALSE(std::filesystem::exists(f.Folder() / "started"));
    running.kill();
    running.waitForFinished();
    EXPECT_FALSE(IsProcessRunning("hvconfig-not-there"));
}

TEST(PlayerUi, ClickableLabelClicksAndHover) {
    hv::ui::ClickableLabel label(42);
    QPixmap normal(26, 24), pressed(26, 24), hover(26, 24);
    normal.fill(Qt::red);
    pressed.fill(Qt::blue);
    hover.fill(Qt::green);
    label.SetPictures(normal, pressed, hover);
    label.resize(26, 24);
    int clicked = 0;
    QObject::connect(&label, &hv::ui::ClickableLabel::clicked, [&](int id) {
        EXPECT_EQ(id, 42);
        ++clicked;
    });
    QTest::mouseClick(&label, Qt::LeftButton);
    EXPECT_EQ(clicked, 0);  // not clickable yet
    label.SetClickable(true);
    QTest::mouseClick(&label, Qt::LeftButton);
    EXPECT_EQ(clicked, 1);
    QTest::mouseDClick(&label, Qt::LeftButton);
    EXPECT_GE(clicked, 2);
    QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
    QApplication::sendEvent(&label, &enter);
    EXPECT_EQ(label.CurrentPicture().toImage().pixelColor(1, 1), QColor(Qt::green));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&label, &leave);
    EXPECT_EQ(label.CurrentPicture().toImage().pixelColor(1, 1), QColor(Qt::red));
}

TEST(PlayerUi, OpenDialogFilters) {
    const QStringList filters = hv::ui::VideoNameFilters();
    ASSERT_EQ(filters.size(), 18);
    EXPECT_EQ(filters[0],
              "All video files (*.avi *.asf *.mpg *.mpeg *.mov *.qt *.m2ts *.mts *.m2t *.tod "
              "*.mp4 *.ogg *.webm *.ogv *.wmv *.mkv *.flv *.f4v)");
    EXPECT_EQ(filters[4], "F4V video files (*.F4V) (*.F4V)");
    EXPECT_EQ(filters[8], "MPG video files (*.MPG, *.MPEG) (*.mpg *.mpeg)");
    EXPECT_EQ(filters[17], "WEBM video files (*.WEBM) (*.webm)");
    EXPECT_STREQ(hv::ui::kOpenVideoTitle, "Load doughnut Video");
}

}  // namespace
}  // namespace hv::player::test
