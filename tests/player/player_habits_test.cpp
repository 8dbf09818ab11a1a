// The defects a new user met without a video, and the habits of a Linux
// player that need none: the smallest window, the wheel's notches, the
// command line, the quality menu and the open dialog.
#include <gtest/gtest.h>

#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QTest>
#include <QTreeView>
#include <QWheelEvent>

#include "player/command_line.h"
#include "player/commands.h"
#include "player/view_presenter.h"
#include "player_test_util.h"
#include "ui/clickable_label.h"
#include "ui/open_video_dialog.h"

namespace hv::player::test {
namespace {

TEST(PlayerHabits, SmallestWindowKeepsEveryControlVisibleAndClickable) {
    PlayerFixture f;
    MainWindow& w = f.Window();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.resize(200, 150);
    Pump(50);
    QWidget* client = w.centralWidget();
    EXPECT_GE(client->width(), kMinClientWidth);
    EXPECT_GE(client->height(), kMinClientHeight);
    // The widget under each button's centre is the button itself, even in a
    // layout narrower than the window allows.
    for (int width : {client->width(), 640, 560}) {
        w.LayoutMainWindow(QSize(width, client->height()));
        ControlRow& row = w.Controls();
        for (int id :
             {kCmdLeft, kCmdRight, kCmdStopMotion, kCmdUp, kCmdDown, kCmdZoomIn, kCmdZoomOut,
              kCmdRestart, kCmdPlay, kCmdPause, kCmdFlip, kCmdSoften, kCmdHelp, kCmdSound}) {
            QWidget* b = row.Button(id);
            EXPECT_EQ(row.childAt(b->geometry().center()), b) << "button " << id << " at " << width;
        }
    }
    // At the smallest size nothing overlaps and all lies inside the row.
    w.LayoutMainWindow(QSize(kMinClientWidth, kMinClientHeight));
    const QRect logo = w.Controls().Logo()->geometry();
    EXPECT_GT(logo.left(), w.Controls().Button(kCmdPause)->geometry().right());
    EXPECT_LT(logo.right(), w.Controls().Button(kCmdFlip)->geometry().left());
    EXPECT_LE(w.Controls().LevelBar(5)->geometry().right(), kMinClientWidth);
}

TEST(PlayerHabits, WheelTogglesZoomOncePerNotch) {
    Navigator nav;
    VideoView view(nav, {}, nullptr);
    const auto wheel = [&](int delta, Qt::ScrollPhase phase = Qt::NoScrollPhase) {
        QWheelEvent e(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, phase, false);
        QApplication::sendEvent(&view, &e);
    };
    // A touchpad's small steps: nothing until a whole notch has gathered.
    for (int i = 0; i < 3; ++i) wheel(30, Qt::ScrollUpdate);
    EXPECT_FALSE(nav.Drag().zoomIn);
    wheel(30, Qt::ScrollUpdate);
    EXPECT_TRUE(nav.Drag().zoomIn);
    wheel(0, Qt::ScrollEnd);  // the gesture's end is no "stop" message
    EXPECT_TRUE(nav.Drag().zoomIn);
    // A reversal starts afresh; two notches at once toggle twice.
    wheel(-60);
    wheel(-240);
    EXPECT_FALSE(nav.Drag().zoomOut);
    wheel(-60);
    EXPECT_TRUE(nav.Drag().zoomOut);
    wheel(120);
    EXPECT_TRUE(nav.Drag().zoomIn);
}

TEST(PlayerHabits, CommandLineHelpVersionAndUsageErrors) {
    const auto parse = [](QStringList args) {
        args.prepend(QStringLiteral("/usr/bin/hvplayer"));
        return ParseCommandLine(args);
    };
    CommandLine c = parse({QStringLiteral("--help")});
    EXPECT_EQ(c.exitCode, 0);
    EXPECT_TRUE(c.output.startsWith(QStringLiteral("Usage: hvplayer"))) << c.output.toStdString();
    EXPECT_TRUE(c.file.isEmpty());
    c = parse({QStringLiteral("--version")});
    EXPECT_EQ(c.exitCode, 0);
    EXPECT_TRUE(c.output.startsWith(QStringLiteral("hvplayer ")));
    c = parse({QStringLiteral("--frobnicate"), QStringLiteral("a.mp4")});
    EXPECT_GT(c.exitCode, 0);
    EXPECT_TRUE(c.output.contains(QStringLiteral("--frobnicate")));
    EXPECT_GT(parse({QStringLiteral("a.mp4"), QStringLiteral("b.mp4")}).exitCode, 0);
    c = parse({QStringLiteral("--stats"), QStringLiteral("a.mp4")});
    EXPECT_EQ(c.exitCode, -1);
    EXPECT_TRUE(c.stats);
    EXPECT_EQ(c.file, QStringLiteral("a.mp4"));
    c = parse({QStringLiteral("--"), QStringLiteral("-odd name.mp4")});
    EXPECT_EQ(c.exitCode, -1);
    EXPECT_EQ(c.file, QStringLiteral("-odd name.mp4"));
}

TEST(PlayerHabits, QualityIsOneExclusiveChoice) {
    PlayerFixture f;
    MainWindow& w = f.Window();
    QActionGroup* group = w.Action(kCmdDraft)->actionGroup();
    ASSERT_NE(group, nullptr);
    EXPECT_TRUE(group->isExclusive());
    EXPECT_EQ(w.Action(kCmdMixed)->actionGroup(), group);
    EXPECT_EQ(w.Action(kCmdHigh)->actionGroup(), group);
    w.Action(kCmdMixed)->trigger();
    EXPECT_EQ(w.Presenter().Quality(), QualityMode::Mixed);
    EXPECT_EQ(group->checkedAction(), w.Action(kCmdMixed));
}

TEST(PlayerHabits, OpenDialogShowsEachFilterOnceAndWholeColumns) {
    const auto dialog = hv::ui::MakeOpenVideoDialog(nullptr, QString());
    auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    ASSERT_EQ(types->count(), 18);
    EXPECT_EQ(types->itemText(1), QStringLiteral("ASF video files (*.ASF)"));
    for (int i = 0; i < types->count(); ++i)
        EXPECT_FALSE(types->itemText(i).contains(QStringLiteral(") ("))) << i;
    auto* tree = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->header()->sectionResizeMode(0), QHeaderView::Stretch);
    for (int c = 1; c < tree->header()->count(); ++c)
        EXPECT_EQ(tree->header()->sectionResizeMode(c), QHeaderView::ResizeToContents) << c;
}

TEST(PlayerHabits, TransportIsInactiveWithoutAVideo) {
    PlayerFixture f;
    MainWindow& w = f.Window();
    for (int id : {kCmdRestart, kCmdPlay, kCmdPause})
        EXPECT_FALSE(w.Controls().Button(id)->isEnabled()) << id;
    EXPECT_TRUE(w.Controls().Button(kCmdLeft)->isEnabled());
}

}  // namespace
}  // namespace hv::player::test
