// The player's own settings beyond CamSetup.xml and the volume file: an INI
// file in the user's configuration folder. A missing or unreadable file, or
// an unknown value, gives the default. GUI thread.
#pragma once

#include <filesystem>

#include "player/view_presenter.h"

namespace hv::player {

// "View resolution": Standard unless the file says "window".
ViewResolution LoadViewResolution(const std::filesystem::path& file);
// Writes it, creating the folder; failures are ignored (the choice then
// lasts for this run only).
void SaveViewResolution(const std::filesystem::path& file, ViewResolution r);

}  // namespace hv::player
