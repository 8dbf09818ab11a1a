#include "player/volume_file.h"

#include <array>
#include <cerrno>
#include <fstream>
#include <system_error>

#include "config/settings_location.h"

namespace hv::player {

int32_t LoadVolumeLevel(const std::filesystem::path& file) {
    int32_t level = 5;
    std::ifstream in(file, std::ios::binary);
    std::array<unsigned char, 4> b{};
    if (in && in.read(reinterpret_cast<char*>(b.data()), 4) && in.gcount() == 4) {
        const uint32_t u = uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) |
                           (uint32_t{b[3]} << 24);
        level = static_cast<int32_t>(u);
    }
    return level == 0 ? 5 : level;
}

bool SaveVolumeLevel(const std::filesystem::path& file, int32_t level, std::string* error) {
    const WriteResult folder = EnsureSettingsFolder(file.parent_path());
    if (!folder.ok) {
        if (error) *error = folder.error;
        return false;
    }
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    // The stream does not keep errno; taken right after the failing call.
    auto fail = [&] {
        if (error)
            *error = "Cannot write \"" + file.string() +
                     "\": " + std::error_code(errno, std::generic_category()).message();
        return false;
    };
    if (!out) return fail();
    const auto u = static_cast<uint32_t>(level);
    const std::array<char, 4> b{static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF),
                                static_cast<char>((u >> 16) & 0xFF),
                                static_cast<char>((u >> 24) & 0xFF)};
    out.write(b.data(), 4);
    out.close();
    if (!out) return fail();
    return true;
}

}  // namespace hv::player
