// Low-level access to CamSetup.xml on disk: whole-file read and write with the
// locking and error handling both programs rely on.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "config/configuration.h"

namespace hv {

// Reads at most `limit` bytes of `file`. Opens it read-write, creating it
// empty when missing, else read-only. Returns the empty string when the file
// cannot be opened, is not a regular file, cannot be read, or is exclusively
// locked (flock) by a writer at that moment. Never blocks on FIFOs or devices.
std::string ReadConfigurationBytes(const std::filesystem::path& file, size_t limit);

// Replaces the contents of `file` by `bytes` (created with mode 0666 & ~umask
// when missing) under an exclusive flock, so a concurrent reader sees either
// nothing or the complete file. Failure carries the system's reason text.
WriteResult WriteConfigurationBytes(const std::filesystem::path& file, std::string_view bytes);

}  // namespace hv
