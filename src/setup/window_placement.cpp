#include "setup/window_placement.h"

#include <algorithm>

namespace hv::setup {
namespace {

// The part of a frame's top that must be reachable to drag the window.
constexpr int kTitleStripHeight = 20;
constexpr int kReachableWidth = 100;

int ClampInto(int v, int length, int lo, int span) {
    // A window longer than the screen keeps its start on it.
    if (length >= span) return lo;
    return std::clamp(v, lo, lo + span - length);
}

}  // namespace

bool NoSavedPositions(const SetupSettings& s) {
    return s.mainX == 0 && s.mainY == 0 && s.popupX == 0 && (s.popupY == 0 || s.popupY == 300);
}

WindowPlacement FirstStartPlacement(const QRect& screen, QSize mainFrame, QSize transformFrame) {
    const int mw = mainFrame.width(), mh = mainFrame.height();
    const int tw = transformFrame.width(), th = transformFrame.height();
    if (mh + th <= screen.height()) {
        const int groupW = std::max(mw, tw);
        const int x = screen.x() + std::max(0, (screen.width() - groupW) / 2);
        const int y = screen.y() + (screen.height() - mh - th) / 2;
        return {QPoint(x, y), QPoint(x, y + mh)};
    }
    if (mw + tw <= screen.width()) {
        const int x = screen.x() + (screen.width() - mw - tw) / 2;
        const int y = screen.y() + std::max(0, (screen.height() - std::max(mh, th)) / 2);
        return {QPoint(x, y), QPoint(x + mw, y)};
    }
    const QPoint main(screen.x(), screen.y());
    const QPoint transform(ClampInto(screen.right() + 1 - tw, tw, screen.x(), screen.width()),
                           ClampInto(screen.bottom() + 1 - th, th, screen.y(), screen.height()));
    return {main, transform};
}

QPoint KeepOnScreen(QPoint saved, QSize frame, const QList<QRect>& screens, const QRect& fallback) {
    const QRect strip(saved, QSize(frame.width(), kTitleStripHeight));
    for (const QRect& s : screens) {
        const QRect on = strip.intersected(s);
        if (on.width() >= std::min(kReachableWidth, frame.width()) &&
            on.height() >= kTitleStripHeight)
            return saved;
    }
    return {ClampInto(saved.x(), frame.width(), fallback.x(), fallback.width()),
            ClampInto(saved.y(), frame.height(), fallback.y(), fallback.height())};
}

WindowPlacement PlanWindows(const SetupSettings& saved, QSize mainFrame, QSize transformFrame,
                            const QRect& screenInUse, const QList<QRect>& screens) {
    if (NoSavedPositions(saved)) return FirstStartPlacement(screenInUse, mainFrame, transformFrame);
    const int popupY = saved.popupY == 0 ? 300 : saved.popupY;
    return {KeepOnScreen(QPoint(saved.mainX, saved.mainY), mainFrame, screens, screenInUse),
            KeepOnScreen(QPoint(saved.popupX, popupY), transformFrame, screens, screenInUse)};
}

}  // namespace hv::setup
