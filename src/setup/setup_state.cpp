#include "setup/setup_state.h"

#include <system_error>

namespace hv::setup {

bool IsKeypadCommand(int id) {
    switch (id) {
        case kKeyLeft:
        case kKeyRight:
        case kKeyUp:
        case kKeyDown:
        case kKeyReset:
        case kKeyGrowOuter:
        case kKeyShrinkOuter:
        case kKeyGrowInner:
        case kKeyShrinkInner:
            return true;
        default:
            return false;
    }
}

bool ApplyKeypadStep(int id, DoughnutGeometry& g) {
    // The steps wrap rather than overflow: nobody clicks two billion times,
    // but signed overflow must not be possible at all.
    auto add = [](int32_t& v, int32_t delta) {
        v = static_cast<int32_t>(static_cast<uint32_t>(v) + static_cast<uint32_t>(delta));
    };
    switch (id) {
        case kKeyGrowOuter:  // keeps the centre: edges out by 2, diameters up by 4
            add(g.left, -2);
            add(g.top, -2);
            add(g.width, 4);
            add(g.height, 4);
            return true;
        case kKeyShrinkOuter:
            add(g.left, 2);
            add(g.top, 2);
            add(g.width, -4);
            add(g.height, -4);
            return true;
        case kKeyUp:
            add(g.top, -2);
            return true;
        case kKeyDown:
            add(g.top, 2);
            return true;
        case kKeyLeft:
            add(g.left, -2);
            return true;
        case kKeyRight:
            add(g.left, 2);
            return true;
        case kKeyGrowInner:
            add(g.innerRadius, 1);
            return true;
        case kKeyShrinkInner:
            add(g.innerRadius, -1);
            return true;
        case kKeyReset: {
            const DoughnutGeometry defaults;  // 111, 111, 390, 380, 36
            g.left = defaults.left;
            g.top = defaults.top;
            g.width = defaults.width;
            g.height = defaults.height;
            g.innerRadius = defaults.innerRadius;
            return true;
        }
        default:
            return false;
    }
}

GeometryLabels GeometryLabelTexts(const DoughnutGeometry& g) {
    const int64_t zoomL = static_cast<int64_t>(g.width) - g.left;
    return {std::to_string(g.left),  std::to_string(g.top),    std::to_string(zoomL),
            std::to_string(g.width), std::to_string(g.height), std::to_string(g.innerRadius)};
}

GeometrySnapshot SetupRecord::Snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return {state_.geometry, state_.settings.shiftRect};
}

SetupConfigState SetupRecord::Copy() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

SetupPaths SetupPaths::ForFolder(const std::filesystem::path& folder) {
    return {folder, folder / kConfigFileName};
}

SetupPaths SetupPaths::ForProgramFolder(const std::filesystem::path& programDir,
                                        const WritableTest& isWritable) {
    return {programDir, SettingsFolderFor(programDir, isWritable) / kConfigurationFileName};
}

SetupPaths SetupPaths::OfRunningProgram() {
    return ForProgramFolder(ProgramDirectory());
}

SetupConfigState LoadStartupConfiguration(const SetupPaths& paths) {
    std::error_code ec;
    const auto log = paths.programDir / kStaleLogName;
    if (std::filesystem::is_regular_file(log, ec)) std::filesystem::remove(log, ec);

    std::string cwd = std::filesystem::current_path(ec).string();
    SetupConfigState state = SetupStartupDefaults(cwd);
    if (ConfigurationExists(paths.configFile)) ReadConfiguration(paths.configFile, state);
    return state;
}

}  // namespace hv::setup
