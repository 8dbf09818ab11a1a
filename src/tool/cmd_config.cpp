// hvtool config FILE [--player|--setup]: what a program would hold after its
// start-up read of FILE, as name=value lines.
// hvtool config (no FILE): which settings files the programs use, found by
// the settings location rule for the folder this tool lies in (the programs
// lie beside it).
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "config/configuration.h"
#include "config/settings_location.h"
#include "tool/commands.h"

namespace hvtool {
namespace {

void Print(const char* name, int32_t value) {
    std::printf("%s=%d\n", name, value);
}

// The folder is printed byte for byte as held (it may contain any byte).
void PrintText(const char* name, const std::string& value) {
    std::printf("%s=", name);
    std::fwrite(value.data(), 1, value.size(), stdout);
    std::printf("\n");
}

void PrintGeometry(const hv::DoughnutGeometry& g) {
    Print("X1_1", g.left);
    Print("Y1_1", g.top);
    Print("X2_1", g.width);
    Print("Y2_1", g.height);
    Print("RSIZE_1", g.innerRadius);
}

// "file": every required tag was read; "fallback": the reader substituted its
// fallback geometry; "defaults": no file, the start-up defaults stay.
const char* SourceName(bool exists, hv::ReadOutcome outcome) {
    if (!exists) return "defaults";
    return outcome == hv::ReadOutcome::FromFile ? "file" : "fallback";
}

int Usage() {
    std::fprintf(stderr, "usage: hvtool config [FILE [--player|--setup]]\n");
    return 2;
}

// Each file on its own line, then whether it is there: "player=PATH", and
// "player.exists=0|1" (the volume file likewise).
int PrintLocations() {
    const std::filesystem::path programDir = hv::ProgramDirectory();
    const std::filesystem::path folder = hv::SettingsFolderFor(programDir);
    const std::filesystem::path config = folder / hv::kConfigurationFileName;
    const std::filesystem::path volume = folder / "hvplayer.aud";
    std::printf("program_folder=%s\n", programDir.c_str());
    std::printf("program_folder_writable=%d\n", hv::FolderIsWritable(programDir) ? 1 : 0);
    std::printf("settings_folder=%s\n", folder.c_str());
    const std::pair<const char*, const std::filesystem::path*> files[] = {
        {"player", &config}, {"setup", &config}, {"volume", &volume}};
    for (const auto& [name, path] : files) {
        std::printf("%s=%s\n", name, path->c_str());
        std::printf("%s.exists=%d\n", name, hv::ConfigurationExists(*path) ? 1 : 0);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int RunConfig(int argc, char** argv) {
    std::string file;
    bool setup = false;
    int programFlags = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--player" || arg == "--setup") {
            setup = arg == "--setup";
            ++programFlags;
        } else if (arg == "-h" || arg == "--help") {
            std::printf(
                "usage: hvtool config [FILE [--player|--setup]]\n"
                "  without FILE: the settings files the programs use\n");
            return 0;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "hvtool config: unknown option '%s'\n", argv[i]);
            return Usage();
        } else if (file.empty()) {
            file = std::string(arg);
        } else {
            std::fprintf(stderr, "hvtool config: more than one FILE given\n");
            return Usage();
        }
    }
    if (file.empty()) {
        if (programFlags == 0) return PrintLocations();
        std::fprintf(stderr, "hvtool config: no FILE given\n");
        return Usage();
    }
    if (programFlags > 1) {
        std::fprintf(stderr, "hvtool config: give at most one of --player and --setup\n");
        return Usage();
    }

    // Like the programs at start-up: read only when the file is there, so
    // this command never creates it.
    const std::filesystem::path path(file);
    const bool exists = hv::ConfigurationExists(path);
    hv::ReadOutcome outcome = hv::ReadOutcome::FromFile;
    if (setup) {
        std::error_code ec;
        const std::filesystem::path cwd = std::filesystem::current_path(ec);
        hv::SetupConfigState s = hv::SetupStartupDefaults(ec ? std::string() : cwd.string());
        if (exists) outcome = hv::ReadConfiguration(path, s);
        std::printf("program=setup\nsource=%s\n", SourceName(exists, outcome));
        PrintGeometry(s.geometry);
        Print("FLIP_1", s.geometry.flipH);
        Print("FLIP_V", s.geometry.flipV);
        PrintText("OPATH", s.settings.lastFolder);
        Print("POPUP_X", s.settings.popupX);
        Print("POPUP_Y", s.settings.popupY);
        Print("MAIN_X", s.settings.mainX);
        Print("MAIN_Y", s.settings.mainY);
        Print("SHIFTERECT", s.settings.shiftRect);
    } else {
        hv::PlayerConfigState s = hv::PlayerStartupDefaults();
        if (exists) outcome = hv::ReadConfiguration(path, s);
        std::printf("program=player\nsource=%s\n", SourceName(exists, outcome));
        PrintGeometry(s.geometry);
        Print("FlipMode", s.flipMode);
        PrintText("OPATH", s.lastFolder);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace hvtool
