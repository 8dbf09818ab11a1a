#include "player/process_scan.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace hv::player {

namespace {
std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool AllDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

// The kernel shows "name (deleted)" for an executable replaced on disk.
std::string WithoutDeletedMark(std::string name) {
    const std::string mark = " (deleted)";
    if (name.size() > mark.size() &&
        name.compare(name.size() - mark.size(), mark.size(), mark) == 0)
        name.resize(name.size() - mark.size());
    return name;
}
}  // namespace

bool IsProcessRunning(const std::string& exeName) {
    namespace fs = std::filesystem;
    const std::string wanted = Lower(exeName);
    // comm holds at most 15 characters of the name.
    const std::string wantedComm = wanted.substr(0, 15);
    std::error_code ec;
    fs::directory_iterator it("/proc", ec);
    if (ec) return false;
    for (const auto& entry : it) {
        const std::string pid = entry.path().filename().string();
        if (!AllDigits(pid)) continue;
        std::error_code linkError;
        const fs::path exe = fs::read_symlink(entry.path() / "exe", linkError);
        if (!linkError) {
            if (Lower(WithoutDeletedMark(exe.filename().string())) == wanted) return true;
            continue;
        }
        std::ifstream comm(entry.path() / "comm");
        std::string name;
        if (comm && std::getline(comm, name) && Lower(name) == wantedComm) return true;
    }
    return false;
}

}  // namespace hv::player
