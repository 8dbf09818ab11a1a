// File -> "Save snapshot": the current view rendered afresh from the newest
// panorama (not a grab of the screen), as a top-down opaque picture, and
// the file name it is offered under.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <string>

#include "unwrap/navigation.h"
#include "unwrap/render_view.h"
#include "unwrap/unwrap_engine.h"

namespace hv::player {

// Renders `view` of the engine's newest panorama at `size` (empty: the size
// the view engine derives for that panorama, the Standard resolution) with
// the still renderer of `options.quality`, exactly as `hvtool view` renders
// the same frame and view. Any thread; the renderer is its own, so the
// player's render worker is neither used nor waited for. A null image with
// a message when there is no panorama or the view cannot be rendered.
QImage RenderSnapshot(const UnwrapEngine& engine, const ViewState& view,
                      const RenderOptions& options, QSize size, std::string* error);

// File -> "Save snapshot at size...": asks for the picture's width and height
// (`proposed` first, at most the view engine's 3840 x 2160); an empty size
// when the user cancels.
QSize AskSnapshotSize(QWidget* owner, QSize proposed);

// "<video stem>-00m12.345s.png": the video's name without its extension and
// the time of `position` (100 ns units) in minutes and seconds.
QString SnapshotFileName(const QString& videoFile, int64_t position);

}  // namespace hv::player
