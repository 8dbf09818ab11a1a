// Where the settings files live (CamSetup.xml, the player's volume file).
//
// One rule for every program, so that what the setup utility saves is what
// the player and hvtool read: the folder of the executable when this process
// may create files in it (a build tree, a copy unpacked in the home folder),
// else the user's configuration folder $XDG_CONFIG_HOME/halvora360
// (~/.config/halvora360 when XDG_CONFIG_HOME is unset, empty or not
// absolute), as for an installation under /usr/local owned by root.
//
// Plain functions; they read the environment and the file system only.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "config/configuration.h"

namespace hv {

inline constexpr const char* kConfigurationFileName = "CamSetup.xml";
// The folder under the user's configuration folder.
inline constexpr const char* kSettingsFolderName = "halvora360";

// True when `dir` is a folder in which this process may create files (the
// kernel's own test: a read-only mount or an immutable folder is not
// writable even for root).
bool FolderIsWritable(const std::filesystem::path& dir);

// $XDG_CONFIG_HOME/halvora360, or $HOME/.config/halvora360 (the home folder
// from the password database when HOME is unset). Not created here.
std::filesystem::path UserSettingsFolder();

// The rule: `programDir` when `isWritable(programDir)`, else
// UserSettingsFolder(). `isWritable` defaults to FolderIsWritable; tests
// inject their own.
using WritableTest = std::function<bool(const std::filesystem::path&)>;
std::filesystem::path SettingsFolderFor(const std::filesystem::path& programDir,
                                        const WritableTest& isWritable = {});

// SettingsFolderFor(ProgramDirectory()): the running program's folder.
std::filesystem::path SettingsFolder();

// Creates `dir` and its missing parents (mode 0777 & ~umask) when nothing
// exists there, for a save into the user's configuration folder. Failure
// carries the reason.
WriteResult EnsureSettingsFolder(const std::filesystem::path& dir);

}  // namespace hv
