// Where the two windows go: at first start both wholly on the screen in use,
// down to 1366 x 768; saved positions that lie off every screen come back.
#include <gtest/gtest.h>

#include "setup/setup_main_window.h"
#include "setup/transform_window.h"
#include "setup/window_placement.h"
#include "setup_test_util.h"

namespace hv::setup {
namespace {

// The frames of the real windows, with a usual title bar and border.
struct Frames {
    QSize main, transform;
};
Frames RealFrames() {
    test::TempFolder dir;
    SetupMainWindow w(SetupPaths::ForFolder(dir.path()), SetupStartupDefaults(""));
    const QMargins frame(4, 30, 4, 4);
    return {w.sizeHint().grownBy(frame), w.Transform()->size().grownBy(frame)};
}

QRect At(QPoint p, QSize s) {
    return QRect(p, s);
}

TEST(SetupPlacement, FirstStartKeepsBothWindowsOnTheScreen) {
    const Frames f = RealFrames();
    ASSERT_GT(f.main.height() + f.transform.height(), 768) << "the case the rule is for";

    struct Case {
        QRect screen;
        bool overlapAllowed;
    };
    const Case cases[] = {
        {QRect(0, 0, 1366, 768), true},       // the smallest screen: no room for both
        {QRect(0, 27, 1366, 741), true},      // with a panel on top
        {QRect(0, 0, 1920, 1080), false},     // stacked
        {QRect(0, 0, 2560, 800), false},      // side by side
        {QRect(1920, 0, 1280, 1024), false},  // a second screen to the right
    };
    for (const Case& c : cases) {
        const WindowPlacement p = FirstStartPlacement(c.screen, f.main, f.transform);
        const QRect main = At(p.main, f.main), transform = At(p.transform, f.transform);
        EXPECT_TRUE(c.screen.contains(main)) << c.screen.width() << "x" << c.screen.height();
        EXPECT_TRUE(c.screen.contains(transform)) << c.screen.width() << "x" << c.screen.height();
        if (!c.overlapAllowed) {
            EXPECT_FALSE(main.intersects(transform))
                << c.screen.width() << "x" << c.screen.height();
        } else {
            // The stream window leaves the main window's menu, keypad and
            // common controls (the upper 300 pixels of its client) free.
            EXPECT_GE(transform.top(), main.top() + 30 + 300) << c.screen.height();
        }
    }
}

TEST(SetupPlacement, SavedPositionsStayUnlessOffEveryScreen) {
    const QSize frame(1018, 700);
    const QList<QRect> screens = {QRect(0, 0, 1366, 768), QRect(1366, 0, 1920, 1080)};
    const QRect inUse = screens[0];
    EXPECT_EQ(KeepOnScreen(QPoint(-8, 20), frame, screens, inUse), QPoint(-8, 20));
    EXPECT_EQ(KeepOnScreen(QPoint(2000, 300), frame, screens, inUse), QPoint(2000, 300))
        << "on the second screen";
    // A screen since unplugged, or a title bar above the top.
    EXPECT_TRUE(inUse.contains(
        At(KeepOnScreen(QPoint(4000, 100), frame, screens, inUse), QSize(frame.width(), 20))));
    EXPECT_EQ(KeepOnScreen(QPoint(100, -200), frame, screens, inUse).y(), 0);
    EXPECT_EQ(KeepOnScreen(QPoint(-1000, 50), frame, screens, inUse).x(), 0);

    SetupSettings none;
    EXPECT_TRUE(NoSavedPositions(none));
    none.popupY = 300;
    EXPECT_TRUE(NoSavedPositions(none)) << "300 stands in for a POPUP_Y never saved";
    SetupSettings saved;
    saved.mainX = 5000;
    saved.mainY = 40;
    saved.popupX = 10;
    saved.popupY = 500;
    const WindowPlacement p = PlanWindows(saved, frame, QSize(1018, 314), inUse, screens);
    EXPECT_TRUE(inUse.contains(At(p.main, QSize(frame.width(), 20))));
    EXPECT_EQ(p.transform, QPoint(10, 500));
}

}  // namespace
}  // namespace hv::setup
