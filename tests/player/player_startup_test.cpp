// Start-up: window, menus, shortcuts and the layout rule.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>
#include <QTest>
#include <fstream>

#include "player/commands.h"
#include "player/view_presenter.h"
#include "player_test_util.h"
#include "ui/clickable_label.h"

namespace hv::player::test {
namespace {

QStringList MenuTexts(QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

QMenu* SubMenu(QMenu* menu, const QString& title) {
    for (QAction* a : menu->actions())
        if (a->menu() && a->text() == title) return a->menu();
    return nullptr;
}

TEST(PlayerStartup, WindowTitleSizeAndStartPicture) {
    PlayerFixture f;
    MainWindow& w = f.Window();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Halvora 360 Doughnut Player"));
    const int m = MenuHeight(w);
    EXPECT_GT(m, 0);
    EXPECT_EQ(w.size(), QSize(720, 500));
    EXPECT_EQ(w.centralWidget()->size(), QSize(720, 500 - m));
    EXPECT_TRUE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(w.windowIcon().isNull());
    EXPECT_EQ(w.centralWidget()->palette().color(QPalette::Window), QColor(129, 194, 176));
    ASSERT_NE(w.StartPictureWidget(), nullptr);
    EXPECT_FALSE(w.StartPictureWidget()->isEnabled());
    EXPECT_EQ(w.StartPictureWidget()->pos(), QPoint(5, 5));
    EXPECT_EQ(w.findChild<QWidget*>(QStringLiteral("VideoHost")), nullptr);
}

TEST(PlayerStartup, MenusTextsIdsAndChecks) {
    PlayerFixture f;
    MainWindow& w = f.Window();
    QStringList top;
    for (QAction* a : w.menuBar()->actions()) top << a->text();
    EXPECT_EQ(top, (QStringList{"&File", "&Option", "&Help"}));

    QMenu* file = w.menuBar()->actions()[0]->menu();
    EXPECT_EQ(MenuTexts(file),
              (QStringList{"Load Doughnut Movie\tCtrl + L", "Setup Doughnut Movie", "Recent videos",
                           "-", "Save snapshot\tCtrl + P",
                           "Save snapshot at size...\tCtrl + Shift + P", "Export video...", "-",
                           "Player", "-", "Video Stream Info", "-", "Exit\tAlt + F4"}));
    QMenu* player = SubMenu(file, "Player");
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(MenuTexts(player), (QStringList{"Play", "Stop", "-", "Restart"}));
    QMenu* option = w.menuBar()->actions()[1]->menu();
    EXPECT_EQ(MenuTexts(option),
              (QStringList{"360 Mode", "View resolution", "-", "Bilinear filter 2x On",
                           "GrayScale filter", "-", "Repeat the video", "Record view path"}));
    QMenu* mode = SubMenu(option, "360 Mode");
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(MenuTexts(mode), (QStringList{"Draft", "Mixed", "High"}));
    QMenu* resolution = SubMenu(option, "View resolution");
    ASSERT_NE(resolution, nullptr);
    EXPECT_EQ(MenuTexts(resolution), (QStringList{"Standard", "Window"}));
    QMenu* help = w.menuBar()->actions()[2]->menu();
    EXPECT_EQ(MenuTexts(help), (QStringList{"Help\tF1", "-", "About"}));

    const int ids[] = {100, 650, 597, 107, 3100, 3101, 689, 3102,
                       656, 662, 652, 653, 654,  110,  103};
    for (int id : ids) {
        QAction* a = w.Action(id);
        ASSERT_NE(a, nullptr) << id;
        EXPECT_EQ(a->data().toInt(), id);
    }
    EXPECT_EQ(w.Action(100)->text(), "Load Doughnut Movie\tCtrl + L");
    EXPECT_EQ(w.Action(3102)->text(), "Bilinear filter 2x On");

    EXPECT_TRUE(w.Action(654)->isChecked());
    EXPECT_FALSE(w.Action(652)->isChecked());
    EXPECT_FALSE(w.Action(653)->isChecked());
    EXPECT_FALSE(w.Action(3102)->isChecked());
    EXPECT_FALSE(w.Action(656)->isChecked());
    EXPECT_FALSE(w.Action(662)->isChecked());
    EXPECT_EQ(static_cast<int>(w.Presenter().Quality()), 2);

    EXPECT_EQ(w.Action(100)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
    EXPECT_EQ(w.Action(110)->shortcut(), QKeySequence(Qt::Key_F1));
}

TEST(PlayerStartup, SetupItemDependsOnHvconfigBesideThePlayer) {
    PlayerFixture f;
    EXPECT_FALSE(f.Window().Action(kCmdSetup)->isEnabled());
    std::ofstream(f.Folder() / "hvconfig") << "#!/bin/sh\n";
    f.Recreate();
    EXPECT_TRUE(f.Window().Action(kCmdSetup)->isEnabled());
}

TEST(PlayerStartup, CtrlLStartsTheLoadCommand) {
    PlayerFixture f;
    MainWindow& w = f.Window();
    int asked = 0;
    w.SetFileChooser([&](QWidget*, const QString&) {
        ++asked;
        return QString();
    });
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.activateWindow();
    QTest::keyClick(&w, Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(WaitFor([&] { return asked == 1; }, 3000));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Halvora 360 Doughnut Player"));
}

void ExpectLayout(MainWindow& w, int W, int H) {
    SCOPED_TRACE(testing::Message() << "client " << W << "x" << H);
    EXPECT_EQ(w.ViewSize(), QSize(W - 10, H - 60));
    EXPECT_EQ(InClient(w, w.Controls().PositionBar()), QRect(5, H - 53, W - 11, 19));
    const int y0 = H - 28;
    const std::pair<int, int> left[] = {{3900, 0},   {3901, 30},  {3904, 60},  {3902, 90},
                                        {3903, 120}, {3907, 155}, {3908, 185}, {689, 220},
                                        {3100, 250}, {3101, 280}};
    for (const auto& [id, dx] : left)
        EXPECT_EQ(InClient(w, w.Controls().Button(id)).topLeft(), QPoint(5 + dx, y0)) << id;
    const int xr = W - 90;
    EXPECT_EQ(InClient(w, w.Controls().Logo()).topLeft(), QPoint(xr - 305, y0 - 5));
    EXPECT_EQ(InClient(w, w.Controls().Button(691)).topLeft(), QPoint(xr - 96, y0));
    EXPECT_EQ(InClient(w, w.Controls().Button(3102)).topLeft(), QPoint(xr - 64, y0));
    EXPECT_EQ(InClient(w, w.Controls().Button(110)).topLeft(), QPoint(xr - 32, y0));
    EXPECT_EQ(InClient(w, w.Controls().Button(683)).topLeft(), QPoint(xr, y0));
    for (int k = 1; k <= 5; ++k) {
        EXPECT_EQ(InClient(w, w.Controls().LevelBar(k)).topLeft(),
                  QPoint(xr + 25 + 10 * k, y0 + 22 - 4 * k))
            << k;
        EXPECT_EQ(w.Controls().LevelBar(k)->size(), QSize(7, 4 * k - 2)) << k;
    }
    if (w.StartPictureWidget() != nullptr) {
        EXPECT_EQ(w.StartPictureWidget()->size(), QSize(W - 11, H - 63));
    }
}

TEST(PlayerStartup, FirstLayoutAndResize) {
    PlayerFixture f;
    MainWindow& w = f.Window();
    const int m = MenuHeight(w);
    // The design's numbers for a menu bar of height m.
    EXPECT_EQ(w.ViewSize(), QSize(710, 440 - m));
    EXPECT_EQ(InClient(w, w.Controls().PositionBar()).y(), 447 - m);
    EXPECT_EQ(InClient(w, w.Controls().Button(3900)).y(), 472 - m);
    ExpectLayout(w, 720, 500 - m);

    // Control-row buttons keep their picture size.
    EXPECT_EQ(w.Controls().Button(3900)->size(), QSize(26, 24));

    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.resize(1000, 700);
    Pump(50);
    ExpectLayout(w, 1000, 700 - m);
    EXPECT_EQ(InClient(w, w.Controls().Button(3900)).x(),
              5);  // the left group stays at the left edge
    w.resize(720, 500);
    Pump(50);
    ExpectLayout(w, 720, 500 - m);
}

TEST(PlayerStartup, ZeroClientAreaIsClamped) {
    PlayerFixture f;
    MainWindow& w = f.Window();
    w.LayoutMainWindow(QSize(0, 0));
    EXPECT_EQ(w.ViewSize(), QSize(0, 0));
    EXPECT_GE(w.Controls().PositionBar()->width(), 0);
    EXPECT_EQ(w.Controls().PositionBar()->width(), 0);
    EXPECT_EQ(w.StartPictureWidget()->size(), QSize(0, 0));
    w.LayoutMainWindow(QSize(5, 30));
    EXPECT_EQ(w.ViewSize(), QSize(0, 0));
    // Restoring lays out normally again.
    w.LayoutMainWindow();
    EXPECT_EQ(w.ViewSize(), QSize(710, 440 - MenuHeight(w)));
}

TEST(PlayerStartup, ResizeStopsMotion) {
    PlayerFixture f;
    MainWindow& w = f.Window();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.Navigation().PanLeft();
    w.Navigation().ToggleZoomIn();
    ASSERT_TRUE(w.Navigation().Moving());
    w.resize(900, 600);
    Pump(50);
    EXPECT_FALSE(w.Navigation().Moving());
    EXPECT_FALSE(w.Navigation().Drag().zoomIn);
}

}  // namespace
}  // namespace hv::player::test
