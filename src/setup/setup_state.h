// The setup utility's program-wide record: the doughnut geometry and the
// settings that travel with it in CamSetup.xml, the command identifiers and
// the cut-control keypad steps. No widgets here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>

#include "config/configuration.h"
#include "config/settings_location.h"

namespace hv::setup {

// Command identifiers: a menu item, its accelerator and its button share one.
enum CommandId : int {
    kCmdLoad = 100,
    kCmdSave = 102,
    kCmdAbout = 103,
    kCmdExit = 107,
    kCmdHelp = 110,
    kCmdVideoInfo = 597,
    kCmdStop = 654,
    kCmdRun = 655,
    kCmdFlipH = 805,
    kCmdFlipV = 806,
    // The cut-control keypad.
    kKeyLeft = 3900,
    kKeyRight = 3901,
    kKeyUp = 3902,
    kKeyDown = 3903,
    kKeyReset = 3904,
    kKeyGrowOuter = 3907,
    kKeyShrinkOuter = 3908,
    kKeyGrowInner = 3917,
    kKeyShrinkInner = 3918,
};

inline constexpr const char* kSetupWindowTitle = "Halvora 360 Doughnut Setup Utility";
inline constexpr const char* kTransformWindowTitle = "Output 360 stream";
inline constexpr const char* kVersionText = " Build 007.00";
inline constexpr const char* kConfigFileName = "CamSetup.xml";
// Deleted beside the executable at start-up when present.
inline constexpr const char* kStaleLogName = "pp.log";

// Frame size assumed for drawing before a video is open.
inline constexpr int32_t kAssumedFrameWidth = 400;
inline constexpr int32_t kAssumedFrameHeight = 300;

bool IsKeypadCommand(int id);

// Applies one keypad step to g. There are no bounds: values may become
// negative or leave the 600 x 600 square (the preview mapping clamps where it
// reads the frame). "Reset" restores the start-up defaults of the geometry and
// leaves the flips alone. Returns false (and changes nothing) for other ids.
bool ApplyKeypadStep(int id, DoughnutGeometry& g);

// The six value labels: 300 left, 301 top, 302 width - left (under " ZoomL"),
// 310 width, 311 height, 322 inner radius (under " ZoomM").
struct GeometryLabels {
    std::string left, top, zoomL, width, height, inner;
};
GeometryLabels GeometryLabelTexts(const DoughnutGeometry& g);

// The geometry and seam rotation as the preview step sees them for one frame.
struct GeometrySnapshot {
    DoughnutGeometry geometry;
    int32_t shiftRect = 0;

    bool operator==(const GeometrySnapshot&) const = default;
};

// The configuration record shared by the GUI thread (the only writer) and the
// preview worker (which copies the geometry once per frame). Every access
// goes through the lock, held only for the copy or for the few assignments
// of one command, so the worker never sees half a keypad step.
class SetupRecord {
  public:
    explicit SetupRecord(SetupConfigState initial) : state_(std::move(initial)) {}

    // Any thread.
    GeometrySnapshot Snapshot() const;
    SetupConfigState Copy() const;

    // GUI thread. f(SetupConfigState&) runs under the lock; it must not call
    // out of this record.
    template <class F>
    auto Update(F&& f) {
        std::lock_guard<std::mutex> lock(mutex_);
        return f(state_);
    }

  private:
    mutable std::mutex mutex_;
    SetupConfigState state_;
};

// Where the program keeps its files; tests point it at a temporary folder.
struct SetupPaths {
    std::filesystem::path programDir;  // folder of the executable (pp.log)
    std::filesystem::path configFile;  // CamSetup.xml in the settings folder

    // Everything in `folder`.
    static SetupPaths ForFolder(const std::filesystem::path& folder);
    // The shared location rule applied to a program in `programDir`: the
    // file beside it when the folder is writable, else in the user's
    // configuration folder (settings_location.h).
    static SetupPaths ForProgramFolder(const std::filesystem::path& programDir,
                                       const WritableTest& isWritable = {});
    static SetupPaths OfRunningProgram();
};

// Start-up steps 1 to 6: deletes pp.log in the program folder, takes the
// current directory as the last folder, sets the start-up defaults and reads
// CamSetup.xml when it exists (a missing file leaves the defaults; nothing is
// created).
SetupConfigState LoadStartupConfiguration(const SetupPaths& paths);

}  // namespace hv::setup
