// The player's one-number volume file (hvplayer.aud in the settings folder):
// exactly 4 bytes, VolumeLevel as a signed 32-bit little-endian integer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace hv::player {

// The level stored in `file`: 5 when the file is missing, shorter than 4
// bytes or holds 0; any other stored value is returned unchanged.
int32_t LoadVolumeLevel(const std::filesystem::path& file);

// Writes `level` as the file's only 4 bytes (created or truncated), first
// creating the file's folder when it is missing (the user's configuration
// folder on a first save). False when the file cannot be written; `error`,
// when given, then says why, for the user.
bool SaveVolumeLevel(const std::filesystem::path& file, int32_t level,
                     std::string* error = nullptr);

}  // namespace hv::player
