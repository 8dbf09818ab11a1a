// Where the setup utility's two windows go on the screen: the main window
// (about 1010 x 700 with its frame) and the "Output 360 stream" window (1010 x
// 280 plus frame). Pure geometry in screen pixels; no widgets.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include "config/doughnut_geometry.h"

namespace hv::setup {

// Top-left corners of the two windows' frames.
struct WindowPlacement {
    QPoint main;
    QPoint transform;
};

// True when `s` holds no window position of a saved file: the start-up
// values (0, and the 300 that stands in for a POPUP_Y never saved).
bool NoSavedPositions(const SetupSettings& s);

// First start on the screen area `screen` (available geometry, without
// panels), for windows whose frames measure `mainFrame` and
// `transformFrame`: stacked, main window above, when both heights fit;
// else side by side when both widths fit; else (a 1366 x 768 screen) the
// main window in the top-left corner and the stream window in the
// bottom-right corner, both wholly on the screen, overlapping only in the
// main window's lower right, away from the controls. Groups that fit are
// centred on the screen.
WindowPlacement FirstStartPlacement(const QRect& screen, QSize mainFrame, QSize transformFrame);

// A saved top-left corner stays when the window's title bar can be reached
// on one of `screens` (a strip of it at least 100 x 20 pixels lies on one);
// otherwise the window is brought back inside `fallback`.
QPoint KeepOnScreen(QPoint saved, QSize frame, const QList<QRect>& screens, const QRect& fallback);

// Both windows: first-start placement on `screenInUse` when nothing was
// saved, else the saved corners (MAIN_X/Y, POPUP_X/Y) kept on screen.
WindowPlacement PlanWindows(const SetupSettings& saved, QSize mainFrame, QSize transformFrame,
                            const QRect& screenInUse, const QList<QRect>& screens);

}  // namespace hv::setup
