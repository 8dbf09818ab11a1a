// Navigation driven from two threads at once: input on one, the per-frame
// motion and snapshots on another (run under ThreadSanitizer too).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "unwrap/navigation.h"
#include "unwrap/view_setup.h"

namespace {

TEST(Navigation, InputAndMotionOnTwoThreads) {
    const hv::ViewSetupResult setup = hv::InitViewEngine(380, 116);
    ASSERT_TRUE(setup.ok);
    hv::Navigator nav;
    nav.Reset(setup.start, setup.setup->aspect);
    std::atomic<bool> done{false};
    std::thread presenter([&] {
        while (!done.load()) {
            nav.AdvanceMotion();
            const hv::ViewState v = nav.Snapshot();
            ASSERT_GE(v.tilt, v.minTilt);
            ASSERT_LE(v.tilt, v.maxTilt);
        }
    });
    for (int i = 0; i < 3000; ++i) {
        switch (i % 7) {
            case 0:
                nav.PanLeft();
                break;
            case 1:
                nav.ButtonDown(i % 300, i % 200);
                break;
            case 2:
                nav.MouseMove((i * 7) % 300, (i * 3) % 200, true);
                break;
            case 3:
                nav.ButtonUp();
                break;
            case 4:
                nav.Wheel(i % 2 ? 120 : -120);
                break;
            case 5:
                nav.PanDown();
                break;
            default:
                nav.StopMotion();
                break;
        }
    }
    done = true;
    presenter.join();
}

}  // namespace
