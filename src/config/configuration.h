// CamSetup.xml: the file that carries the doughnut geometry from the setup
// utility (which writes it) to the player (which reads it).
//
// The file is not parsed as XML. The writer prints sixteen fixed lines; a
// reader finds each value by plain text search for its tag and never fails:
// whatever it cannot find is replaced by fixed fallback values.
//
// All functions here are plain, reentrant and touch only the state passed in;
// the caller decides which thread owns that state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "config/doughnut_geometry.h"
#include "config/number_conversion.h"

namespace hv {

// Longest last-folder text the file carries, in bytes.
inline constexpr size_t kLastFolderMax = 260;

// A reader looks at no more than this many bytes of the file; anything beyond
// is treated as absent. A genuine file is about 350 bytes.
inline constexpr size_t kConfigurationReadLimit = 1 << 20;

// What the player holds. The geometry's flipH / flipV are not used by the
// player (they stay 0); its mirroring is `flipMode` 0..3 (none, horizontal,
// vertical, both), set from FLIP_1 + 2 x FLIP_V.
struct PlayerConfigState {
    DoughnutGeometry geometry;
    int32_t flipMode = 0;
    std::string lastFolder;  // OPATH: the folder the open dialog starts in; may be empty
};

// What the setup utility holds: the geometry including both flip flags, and
// its settings (last folder, window positions, seam rotation).
struct SetupConfigState {
    DoughnutGeometry geometry;
    SetupSettings settings;
};

// Start-up defaults, set before looking for the file: geometry 111, 111, 390,
// 380, 36, no flips; the player's last folder is empty, the setup utility's is
// `currentDir` (its working directory); positions and seam rotation 0.
PlayerConfigState PlayerStartupDefaults();
SetupConfigState SetupStartupDefaults(std::string currentDir);

enum class ReadOutcome {
    FromFile,  // every required tag had a value
    Fallback,  // a required tag was missing or empty (or the file unreadable)
};

// Reads `file` into `s`. Never fails. Required tags X1_1 Y1_1 X2_1 Y2_1
// RSIZE_1 FLIP_1 FLIP_V OPATH are taken in that order; the first missing or
// empty one stops the pass and the fallback geometry (115, 35, 390, 380, 35,
// no flips / FlipMode 0) replaces everything taken so far, while the last
// folder (and the setup utility's positions and seam rotation) keep their
// previous values.
//
// The file is opened for reading and writing and created empty when missing
// (so the player's re-read after choosing a video leaves an empty CamSetup.xml
// behind when the folder is writable), else opened read-only. A file that
// cannot be opened, is not a regular file, or is locked by a writer reads as
// empty. Only the first kConfigurationReadLimit bytes are looked at.
//
// Callers that must not create the file test ConfigurationExists() first.
ReadOutcome ReadConfiguration(const std::filesystem::path& file, PlayerConfigState& s);

// As above; after OPATH the setup utility also takes POPUP_X / MAIN_X (0 when
// empty), POPUP_Y / MAIN_Y (300 when empty) and SHIFTERECT (0 when empty).
ReadOutcome ReadConfiguration(const std::filesystem::path& file, SetupConfigState& s);

// The same passes on text already in memory (no file access).
ReadOutcome ApplyConfigurationText(std::string_view text, PlayerConfigState& s);
ReadOutcome ApplyConfigurationText(std::string_view text, SetupConfigState& s);

// The reader's field rule: with every "</" of `text` already turned into "<",
// the text between the first and second occurrence of `<tag>`; everything after
// the first when it occurs once; empty when it does not occur.
std::string_view ExtractField(std::string_view text, std::string_view tag);

// Replaces every "</" by "<" in one left-to-right pass (the result is not
// rescanned), so that each closing tag becomes a copy of its opening tag.
std::string FoldClosingTags(std::string_view text);

// True when something exists at `file` (a plain existence test, as the
// programs do before their start-up read).
bool ConfigurationExists(const std::filesystem::path& file);

struct WriteResult {
    bool ok = true;
    std::string error;  // why the file could not be written, for the user
};

// Writes `s` to `file` (created when missing, truncated otherwise). When the
// cut area's left and width are both 0 the geometry is first reset to the
// start-up defaults (the flips stay); the reset is kept in `s` once the file
// has been written. On failure nothing in `s` changes and the result carries
// the reason, e.g. "Permission denied".
WriteResult WriteConfiguration(const std::filesystem::path& file, SetupConfigState& s);

// The exact bytes WriteConfiguration writes for `s` (including the reset
// above): UTF-8 BOM, sixteen CR LF terminated lines. An empty last folder is
// written as a single space so that the file does not read back as lacking
// OPATH (which would discard the saved geometry).
std::string ConfigurationText(const SetupConfigState& s);

// The last-folder text as the file carries it: cut to kLastFolderMax bytes
// (never in the middle of a UTF-8 sequence), then stripped of spaces at both
// ends.
std::string LastFolderForFile(std::string_view lastFolder);

// Folder of the running executable (from /proc/self/exe); the current
// directory if that cannot be resolved.
std::filesystem::path ProgramDirectory();

// CamSetup.xml in the running program's settings folder (SettingsFolder(),
// settings_location.h): beside the executable when that folder is writable,
// else in the user's configuration folder.
std::filesystem::path ConfigurationPath();

}  // namespace hv
