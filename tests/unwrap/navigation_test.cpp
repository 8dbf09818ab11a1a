// Navigation: speeds per frame, coasting, zoom and tilt limits.
#include "unwrap/navigation.h"

#include <gtest/gtest.h>

#include "view_test_util.h"

namespace {

struct Nav {
    hv::ViewSetupResult setup;
    hv::Navigator nav;
    Nav(int32_t Ws, int32_t Hs) : setup(hvtest::Init(Ws, Hs)) {
        nav.Reset(setup.start, setup.setup->aspect);
    }
    float Step() {
        const float before = nav.Snapshot().pan;
        nav.AdvanceMotion();
        return nav.Snapshot().pan - before;
    }
};

TEST(Navigation, FirstPresentationTurnsLeft) {
    Nav n(380, 116);
    n.nav.PanLeft();  // sent by the video window when it opens
    // The start's pending stop cancels the first frame's coasting, so the
    // first frame moves by the drag speed 0.03 x 15, later ones by
    // 0.025 x 14.
    n.nav.AdvanceMotion();
    EXPECT_NEAR(n.nav.Snapshot().pan, -90.45, 1e-4);
    EXPECT_EQ(n.nav.Snapshot().tilt, 0);
    n.nav.AdvanceMotion();
    EXPECT_NEAR(n.nav.Snapshot().pan, -90.80, 1e-4) << "keyboard pans keep going";
    n.nav.AdvanceMotion();
    EXPECT_NEAR(n.nav.Snapshot().pan, -91.15, 1e-4);
    n.nav.StopMotion();
    n.nav.AdvanceMotion();
    const float stopped = n.nav.Snapshot().pan;
    n.nav.AdvanceMotion();
    EXPECT_EQ(n.nav.Snapshot().pan, stopped);
}

TEST(Navigation, DragPansAndCoastsToAStop) {
    Nav n(380, 116);
    n.nav.ButtonDown(100, 50);
    n.nav.MouseMove(140, 50, true);
    EXPECT_NEAR(n.Step(), 1.2, 1e-4) << "the click's stop request: 0.03 x 40";
    for (int frame = 0; frame < 3; ++frame) EXPECT_NEAR(n.Step(), 0.975, 1e-4) << frame;
    n.nav.ButtonUp();
    for (int k = 38; k >= 1; --k) EXPECT_NEAR(n.Step(), 0.025 * k, 1e-4) << "inertia " << k;
    EXPECT_EQ(n.Step(), 0.0f) << "coasting ends";
    EXPECT_EQ(n.Step(), 0.0f);
    EXPECT_EQ(n.nav.Snapshot().tilt, 0);
}

TEST(Navigation, ClickStopsCoasting) {
    Nav n(380, 116);
    n.nav.ButtonDown(100, 50);
    n.nav.MouseMove(60, 50, true);
    n.Step();
    EXPECT_NEAR(n.Step(), -0.975, 1e-4);
    n.nav.ButtonUp();
    EXPECT_NEAR(n.Step(), -0.95, 1e-4);
    n.nav.ButtonDown(10, 10);
    EXPECT_EQ(n.Step(), 0.0f);
    EXPECT_EQ(n.nav.Drag().inertia, 0);
    // A move without the button does not start a drag.
    n.nav.ButtonUp();
    n.nav.MouseMove(300, 10, false);
    EXPECT_EQ(n.Step(), 0.0f);
    EXPECT_FALSE(n.nav.Moving());
}

TEST(Navigation, DragVerticalSpeedAndDirections) {
    Nav n(380, 190);  // poles reachable: no edge clamp near the horizon
    n.nav.ButtonDown(100, 100);
    n.nav.MouseMove(100, 110, true);  // downward: larger tilt
    n.nav.AdvanceMotion();
    EXPECT_NEAR(n.nav.Snapshot().tilt, 0.3, 1e-5);
    n.nav.ButtonUp();
    n.nav.PanUp();  // lowers tilt by 0.45 a frame
    n.nav.AdvanceMotion();
    EXPECT_NEAR(n.nav.Snapshot().tilt, 0.3 - 0.45, 1e-5);
    n.nav.PanDown();
    n.nav.AdvanceMotion();
    EXPECT_NEAR(n.nav.Snapshot().tilt, 0.3, 1e-5);
    n.nav.PanRight();
    const float right = n.Step();
    EXPECT_NEAR(right, 0.35, 1e-4);
}

TEST(Navigation, ZoomStopsAtTheLimits) {
    Nav n(380, 116);
    n.nav.ToggleZoomIn();
    float last = n.nav.Snapshot().fov;
    int steps = 0;
    for (; steps < 1000; ++steps) {
        n.nav.AdvanceMotion();
        const float fov = n.nav.Snapshot().fov;
        if (fov == last) break;
        EXPECT_NEAR(last / fov, 1.012, 1e-5);
        last = fov;
    }
    EXPECT_LT(steps, 200);
    EXPECT_LE(last, 24.0f);
    EXPECT_GT(last, 23.72f);
    n.nav.ToggleZoomOut();
    for (steps = 0; steps < 1000; ++steps) {
        n.nav.AdvanceMotion();
        const float fov = n.nav.Snapshot().fov;
        if (fov == last) break;
        last = fov;
    }
    EXPECT_GE(last, n.setup.start.maxFov);
    EXPECT_LT(last, n.setup.start.maxFov * 1.0121f);
}

TEST(Navigation, WheelNotchesToggleZoom) {
    Nav n(380, 116);
    n.nav.Wheel(120);
    EXPECT_TRUE(n.nav.Drag().zoomIn);
    n.nav.Wheel(120);
    EXPECT_FALSE(n.nav.Drag().zoomIn);
    n.nav.Wheel(120);
    n.nav.Wheel(-120);
    EXPECT_FALSE(n.nav.Drag().zoomIn);
    EXPECT_TRUE(n.nav.Drag().zoomOut);
    n.nav.PanLeft();
    n.nav.Wheel(0);
    const hv::DragState d = n.nav.Drag();
    EXPECT_FALSE(d.zoomIn || d.zoomOut || d.moving);
    EXPECT_TRUE(d.stopRequest);
}

TEST(Navigation, TiltLimitsKeepTheViewInsideThePanorama) {
    Nav n(380, 116);  // limits +-54.95, half vertical fov 43.33
    for (int i = 0; i < 200; ++i) {
        n.nav.PanDown();
        n.nav.AdvanceMotion();
    }
    EXPECT_NEAR(n.nav.Snapshot().tilt, 11.62, 0.01);
    EXPECT_NEAR(n.nav.Drag().halfV, 43.33, 0.01);
    for (int i = 0; i < 200; ++i) {
        n.nav.PanUp();
        n.nav.AdvanceMotion();
    }
    EXPECT_NEAR(n.nav.Snapshot().tilt, -11.62, 0.01);
    // Zooming in widens the allowed range; zooming out narrows it again.
    n.nav.StopMotion();
    n.nav.ToggleZoomIn();
    for (int i = 0; i < 200; ++i) n.nav.AdvanceMotion();
    EXPECT_NEAR(n.nav.Snapshot().tilt, -11.62, 0.01) << "zoom alone does not move a legal tilt";
    n.nav.ToggleZoomOut();
    for (int i = 0; i < 200; ++i) n.nav.AdvanceMotion();
    EXPECT_GE(n.nav.Snapshot().tilt, -11.63);

    EXPECT_EQ(hv::ClampTilt(30, 43.33f, -54.95f, 54.95f), 54.95f - 43.33f);
    EXPECT_EQ(hv::ClampTilt(-30, 43.33f, -54.95f, 54.95f), -54.95f + 43.33f);
    EXPECT_EQ(hv::ClampTilt(5, 43.33f, -54.95f, 54.95f), 5.0f);
}

TEST(Navigation, PolesAreReachableWithFullLimits) {
    Nav n(380, 190);
    for (int i = 0; i < 400; ++i) {
        n.nav.PanDown();
        n.nav.AdvanceMotion();
    }
    EXPECT_EQ(n.nav.Snapshot().tilt, 90.0f);
    for (int i = 0; i < 800; ++i) {
        n.nav.PanUp();
        n.nav.AdvanceMotion();
    }
    EXPECT_EQ(n.nav.Snapshot().tilt, -90.0f);
}

TEST(Navigation, PanStaysWithinOneTurn) {
    Nav n(380, 116);
    n.nav.PanLeft();
    for (int i = 0; i < 5000; ++i) {
        n.nav.AdvanceMotion();
        const float pan = n.nav.Snapshot().pan;
        ASSERT_GE(pan, -180.0f);
        ASSERT_LE(pan, 180.0f);
    }
    // A drag far outside the window (negative positions) pans at its real
    // speed, in the real direction.
    n.nav.ButtonDown(20, 20);
    n.nav.MouseMove(-20, 20, true);
    n.Step();
    EXPECT_NEAR(n.Step(), -0.975, 1e-3);
}

}  // namespace
