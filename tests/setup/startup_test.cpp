// Start-up: the configuration read, the placement of both windows, the
// controls' initial state, and window moves that stay in memory until Save.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSlider>
#include <QTimer>

#include "setup/cut_keypad.h"
#include "setup/picture_view.h"
#include "setup/setup_main_window.h"
#include "setup/transform_window.h"
#include "setup/window_placement.h"
#include "setup_test_util.h"

namespace hv::setup {
namespace {

using test::ReadAll;
using test::TempFolder;
using test::WriteAll;

QString LabelText(QWidget* w, int id) {
    auto* l = w->findChild<QLabel*>(QStringLiteral("ctl%1").arg(id));
    return l ? l->text() : QStringLiteral("<missing>");
}

TEST(SetupStartup, WithoutConfigurationUsesDefaultsAndFirstStartPlacement) {
    TempFolder dir;
    WriteAll(dir.path() / "pp.log", "stale");
    const SetupPaths paths = SetupPaths::ForFolder(dir.path());
    const SetupConfigState state = LoadStartupConfiguration(paths);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "pp.log")) << "pp.log is deleted";
    EXPECT_FALSE(std::filesystem::exists(paths.configFile)) << "start-up creates no file";
    EXPECT_EQ(state.settings.lastFolder, std::filesystem::current_path().string());

    SetupMainWindow w(paths, state);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Halvora 360 Doughnut Setup Utility"));
    // No saved positions: both windows placed on the screen in use
    // (window_placement.h; placement_test.cpp checks the arrangements).
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const WindowPlacement planned =
        FirstStartPlacement(screen, w.sizeHint().grownBy(QMargins(4, 30, 4, 4)), QSize(1018, 314));
    EXPECT_EQ(w.pos(), planned.main);
    EXPECT_EQ(w.Transform()->pos(), planned.transform);
    EXPECT_EQ(w.Transform()->windowTitle(), QStringLiteral("Output 360 stream"));
    EXPECT_EQ(w.Transform()->size(), QSize(1010, 280));
    EXPECT_EQ(w.centralWidget()->size(), QSize(1010, 649));
    const SetupConfigState r = w.Record();
    EXPECT_EQ(r.settings.popupY, 300) << "a missing POPUP_Y becomes 300";
    EXPECT_EQ(r.geometry.left, 111);
    EXPECT_EQ(r.geometry.innerRadius, 36);

    // Controls at their places, labels empty until the first command.
    QWidget* c = w.centralWidget();
    EXPECT_EQ(w.DoughnutPicture()->geometry(), QRect(5, 5, 600, 600));
    EXPECT_EQ(w.Keypad()->Key(kKeyGrowOuter)->mapTo(c, QPoint(0, 0)), QPoint(620, 26));
    EXPECT_EQ(w.Keypad()->Key(kKeyShrinkInner)->mapTo(c, QPoint(0, 0)), QPoint(664, 68));
    EXPECT_EQ(w.Keypad()->Key(kKeyReset)->toolTip(), QStringLiteral(" Reset "));
    EXPECT_EQ(w.Keypad()->Key(kKeyGrowOuter)->toolTip(),
              QStringLiteral(" Increase the size of External circle "));
    for (int id : {300, 301, 302, 310, 311, 322, 304, 305})
        EXPECT_TRUE(LabelText(c, id).isEmpty()) << id;
    EXPECT_EQ(LabelText(c, 652), QStringLiteral("Stream OFF"));
    EXPECT_EQ(LabelText(c, 701), QStringLiteral(" Build 007.00"));
    EXPECT_EQ(LabelText(c, 202), QStringLiteral(" ZoomL"));
    auto* slider = c->findChild<QSlider*>(QStringLiteral("ctl680"));
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->value(), 1) << "SHIFTERECT 0 shows at 1";
    EXPECT_EQ(slider->geometry(), QRect(5, 607, 600, 19));
    EXPECT_EQ(w.Record().settings.shiftRect, 0) << "and stays 0 until moved";
    slider->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(w.Record().settings.shiftRect, 200);
    slider->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(w.Record().settings.shiftRect, 1);

    // Before a video the preview picture lies outside the transform window.
    EXPECT_FALSE(w.Transform()->PreviewRevealed());

    // The design's File and Help menus, and the fitting's Edit menu between
    // (with the one-click fit last).
    QStringList items, fitting;
    for (QAction* menu : w.menuBar()->actions())
        for (QAction* a : menu->menu()->actions())
            if (!a->isSeparator()) (menu->text() == "&Edit" ? fitting : items) << a->text();
    EXPECT_EQ(items, QStringList({"Load Doughnut Movie\tCtrl + L", "Save Parameters\tCtrl + S",
                                  "Video Stream Info", "Exit\tAlt + F4", "Help\tF1", "About"}));
    EXPECT_EQ(fitting,
              QStringList({"Undo", "Redo", "Revert to Saved", "Geometry...", "Detect Circles"}));
}

TEST(SetupStartup, ConfigurationPlacesWindowsAndSetsControls) {
    TempFolder dir;
    const SetupPaths paths = SetupPaths::ForFolder(dir.path());
    SetupConfigState saved = SetupStartupDefaults("/videos");
    saved.geometry = {100, 90, 400, 390, 40, 1, 0};
    saved.settings.mainX = 120;
    saved.settings.mainY = 80;
    saved.settings.popupX = 50;
    saved.settings.popupY = 0;
    saved.settings.shiftRect = 37;
    ASSERT_TRUE(WriteConfiguration(paths.configFile, saved).ok);
    const std::string bytes = ReadAll(paths.configFile);

    SetupMainWindow w(paths, LoadStartupConfiguration(paths));
    EXPECT_EQ(w.pos(), QPoint(120, 80));
    EXPECT_EQ(w.Transform()->pos(), QPoint(50, 300));
    QWidget* c = w.centralWidget();
    EXPECT_TRUE(c->findChild<QCheckBox*>(QStringLiteral("ctl805"))->isChecked());
    EXPECT_FALSE(c->findChild<QCheckBox*>(QStringLiteral("ctl806"))->isChecked());
    EXPECT_EQ(c->findChild<QSlider*>(QStringLiteral("ctl680"))->value(), 37);
    EXPECT_EQ(w.Record().geometry.left, 100);
    EXPECT_EQ(w.Record().settings.lastFolder, "/videos");

    // Moving either window changes the record, never the file.
    w.show();
    w.Transform()->show();
    w.move(300, 200);
    w.Transform()->move(40, 500);
    test::WaitFor([&] { return w.Record().settings.popupY == 500; }, 2000);
    EXPECT_EQ(w.Record().settings.mainX, 300);
    EXPECT_EQ(w.Record().settings.mainY, 200);
    EXPECT_EQ(w.Record().settings.popupX, 40);
    EXPECT_EQ(w.Record().settings.popupY, 500);
    EXPECT_EQ(ReadAll(paths.configFile), bytes);

    // Saving writes the new positions.
    ASSERT_TRUE(w.SaveParameters());
    SetupConfigState back = SetupStartupDefaults("");
    ReadConfiguration(paths.configFile, back);
    EXPECT_EQ(back.settings.mainX, 300);
    EXPECT_EQ(back.settings.popupY, 500);
}

TEST(SetupStartup, TransformWindowCannotBeClosedAndFlipsWorkWithoutStream) {
    TempFolder dir;
    const SetupPaths paths = SetupPaths::ForFolder(dir.path());
    SetupMainWindow w(paths, LoadStartupConfiguration(paths));
    w.show();
    w.Transform()->show();
    EXPECT_FALSE(w.Transform()->close());
    EXPECT_TRUE(w.Transform()->isVisible());

    // The flip boxes work without a stream and refresh the labels.
    auto* flipV = w.centralWidget()->findChild<QCheckBox*>(QStringLiteral("ctl806"));
    flipV->click();
    EXPECT_EQ(w.Record().geometry.flipV, 1);
    EXPECT_EQ(LabelText(w.centralWidget(), 310), QStringLiteral("390"));
    flipV->click();
    EXPECT_EQ(w.Record().geometry.flipV, 0);

    // The keypad is silent and inert without a stream.
    for (int id : {kKeyGrowOuter, kKeyReset, kKeyShrinkInner}) w.Keypad()->Key(id)->click();
    EXPECT_EQ(w.KeypadClicks(), 0);
    EXPECT_EQ(w.Record().geometry.innerRadius, 36);
    EXPECT_EQ(LabelText(w.centralWidget(), 322), QStringLiteral("36"));  // from the flip's refresh

    test::BoxRecorder boxes(QMessageBox::Cancel);
    w.Command(kCmdVideoInfo);
    EXPECT_TRUE(boxes.boxes.empty()) << "no stream information before a video";
    w.Command(kCmdSave);
    EXPECT_FALSE(std::filesystem::exists(paths.configFile)) << "Save needs a stream";

    // Closing asks first, without a click; Cancel keeps the program.
    const int clicks = w.ButtonClicks();
    w.close();
    EXPECT_EQ(w.ButtonClicks(), clicks);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, QStringLiteral("Exit IDE"));
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Are you sure?"));
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(w.isVisible());
}

// Runs `command` while a timer inspects and then closes the modal window it opens.
QString ModalTitleDuring(SetupMainWindow& w, int command, QSize* size, QString* label101) {
    QString title;
    QTimer::singleShot(300, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        title = modal->windowTitle();
        *size = modal->size();
        if (auto* l = modal->findChild<QLabel*>(QStringLiteral("ctl101"))) *label101 = l->text();
        modal->close();
    });
    w.Command(command);
    return title;
}

TEST(SetupStartup, HelpAndAboutAreModalWindows) {
    TempFolder dir;
    const SetupPaths paths = SetupPaths::ForFolder(dir.path());
    SetupMainWindow w(paths, LoadStartupConfiguration(paths));
    w.show();
    QSize size;
    QString text;
    EXPECT_EQ(ModalTitleDuring(w, kCmdHelp, &size, &text), QStringLiteral("Help"));
    EXPECT_EQ(size, QSize(690, 330));
    EXPECT_TRUE(text.contains(QStringLiteral("Load any format of doughnut video.")));
    EXPECT_EQ(ModalTitleDuring(w, kCmdAbout, &size, &text), QStringLiteral("About"));
    EXPECT_EQ(size, QSize(210, 210));
    EXPECT_EQ(w.ButtonClicks(), 0) << "help and about play no click";
    EXPECT_EQ(LabelText(w.centralWidget(), 300), QStringLiteral("111")) << "labels refreshed";
}

TEST(SetupStartup, ExitConfirmedEndsWindowWithoutSaving) {
    TempFolder dir;
    const SetupPaths paths = SetupPaths::ForFolder(dir.path());
    SetupMainWindow w(paths, LoadStartupConfiguration(paths));
    w.show();
    test::BoxRecorder boxes(QMessageBox::Ok);
    w.Command(kCmdExit);
    EXPECT_EQ(w.ButtonClicks(), 1) << "the Exit item clicks first";
    EXPECT_EQ(boxes.boxes.size(), 1u);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(std::filesystem::exists(paths.configFile));
}

}  // namespace
}  // namespace hv::setup
