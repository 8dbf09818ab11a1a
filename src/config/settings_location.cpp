#include "config/settings_location.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace hv {

bool FolderIsWritable(const std::filesystem::path& dir) {
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) return false;
    // access() asks the kernel, which also refuses root on a read-only mount
    // or an immutable folder; permission bits alone would not.
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

std::filesystem::path UserSettingsFolder() {
    // Relative values are invalid by the XDG base directory rules and ignored.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return std::filesystem::path(xdg) / kSettingsFolderName;
    std::string home;
    if (const char* h = std::getenv("HOME"); h != nullptr && h[0] != '\0') {
        home = h;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
        home = pw->pw_dir;
    }
    if (home.empty()) home = "/tmp";
    return std::filesystem::path(home) / ".config" / kSettingsFolderName;
}

std::filesystem::path SettingsFolderFor(const std::filesystem::path& programDir,
                                        const WritableTest& isWritable) {
    const bool writable = isWritable ? isWritable(programDir) : FolderIsWritable(programDir);
    return writable ? programDir : UserSettingsFolder();
}

std::filesystem::path SettingsFolder() {
    return SettingsFolderFor(ProgramDirectory());
}

std::filesystem::path ConfigurationPath() {
    return SettingsFolder() / kConfigurationFileName;
}

WriteResult EnsureSettingsFolder(const std::filesystem::path& dir) {
    // Only a missing folder is made; anything else in its place is left for
    // the write to fail on, with its own reason.
    std::error_code ec;
    if (std::filesystem::exists(dir, ec)) return {};
    std::filesystem::create_directories(dir, ec);
    if (ec) return {false, "Cannot create the folder \"" + dir.string() + "\": " + ec.message()};
    return {};
}

}  // namespace hv
