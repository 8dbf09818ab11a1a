// Pieces the hvtool commands that unwrap share: reading the WxH and
// --config / --flip options, and unwrapping a still picture as the player
// would unwrap a video frame.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/configuration.h"
#include "tool/number_options.h"
#include "unwrap/render_view.h"
#include "unwrap/unwrap_engine.h"
#include "video/frame_source.h"

namespace hvtool {

// "0".."3" -> the flip mode; false otherwise.
bool ParseFlipMode(std::string_view text, hv::FlipMode& mode);

// "draft" or "high" -> the view quality; false otherwise.
bool ParseQuality(std::string_view text, hv::QualityMode& quality);

// The player's state: its start-up defaults, then FILE when one is given.
// A FILE that does not exist is an error (nothing is created).
bool LoadPlayerState(const std::string& file, hv::PlayerConfigState& state, std::string* error);

// What the player uses for a video it opens: FILE as above when given, else
// the player's own CamSetup.xml found by the settings location rule (the
// player lies in this program's folder), read again as the player does on
// opening a video: the fallback geometry when it is missing or empty.
// Nothing is created.
bool LoadPlayerVideoState(const std::string& file, hv::PlayerConfigState& state,
                          std::string* error);
// The setup utility's state likewise (its last folder is the working folder).
bool LoadSetupState(const std::string& file, hv::SetupConfigState& state, std::string* error);

// Configures `engine` for the picture in `frame` with the player's geometry
// `g` and flip mode `mode`, and unwraps it (the first job builds the table,
// the second copies). Afterwards engine.AcquireReady() holds the panorama.
bool UnwrapStill(const hv::FrameBuffer& frame, const hv::DoughnutGeometry& g, hv::FlipMode mode,
                 hv::UnwrapEngine& engine, std::string* error);

}  // namespace hvtool
