#include "tool/unwrap_options.h"

#include <filesystem>
#include <system_error>

#include "unwrap/ring_geometry.h"

namespace hvtool {
namespace {

bool CheckExists(const std::string& file, std::string* error) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        if (error) *error = file + ": no such configuration file";
        return false;
    }
    return true;
}

}  // namespace

bool ParseFlipMode(std::string_view text, hv::FlipMode& mode) {
    if (text.size() != 1 || text[0] < '0' || text[0] > '3') return false;
    mode = text[0] - '0';
    return true;
}

bool ParseQuality(std::string_view text, hv::QualityMode& quality) {
    if (text == "draft") {
        quality = hv::QualityMode::Draft;
    } else if (text == "high") {
        quality = hv::QualityMode::High;
    } else {
        return false;
    }
    return true;
}

bool LoadPlayerState(const std::string& file, hv::PlayerConfigState& state, std::string* error) {
    state = hv::PlayerStartupDefaults();
    if (file.empty()) return true;
    if (!CheckExists(file, error)) return false;
    hv::ReadConfiguration(file, state);
    return true;
}

bool LoadPlayerVideoState(const std::string& file, hv::PlayerConfigState& state,
                          std::string* error) {
    if (!file.empty()) return LoadPlayerState(file, state, error);
    state = hv::PlayerStartupDefaults();
    const std::filesystem::path own = hv::ConfigurationPath();
    // The player's read would create a missing file; the tool only looks.
    if (hv::ConfigurationExists(own))
        hv::ReadConfiguration(own, state);
    else
        hv::ApplyConfigurationText(std::string_view(), state);
    return true;
}

bool LoadSetupState(const std::string& file, hv::SetupConfigState& state, std::string* error) {
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    state = hv::SetupStartupDefaults(ec ? std::string() : cwd.string());
    if (file.empty()) return true;
    if (!CheckExists(file, error)) return false;
    hv::ReadConfiguration(file, state);
    return true;
}

bool UnwrapStill(const hv::FrameBuffer& frame, const hv::DoughnutGeometry& g, hv::FlipMode mode,
                 hv::UnwrapEngine& engine, std::string* error) {
    const hv::RingGeometryResult geometry = hv::BuildRingGeometry(g, frame.width, frame.height);
    if (!geometry.ok) {
        if (error) *error = geometry.error;
        return false;
    }
    engine.SetFlipMode(mode);
    if (!engine.Configure(geometry.ring, error)) return false;
    if (!engine.UnwrapFrame(frame) || !engine.UnwrapFrame(frame)) {
        if (error) *error = "the picture could not be unwrapped";
        return false;
    }
    return true;
}

}  // namespace hvtool
