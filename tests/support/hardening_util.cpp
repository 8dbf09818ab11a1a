#include "hardening_util.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "video/test_video_maker.h"

namespace hvhard {

namespace {

int CountEntries(const char* dir) {
    int n = 0;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(dir, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++n;
    return n;
}

}  // namespace

ProcessFigures SettledFigures(const ProcessFigures& start) {
    ProcessFigures end = MeasureProcess();
    for (int i = 0; i < 50 && end.threads > start.threads; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        end = MeasureProcess();
    }
    return end;
}

ProcessFigures MeasureProcess() {
    ProcessFigures f;
    std::ifstream in("/proc/self/statm");
    long size = 0, resident = 0;
    in >> size >> resident;
    f.residentKiB = resident * (sysconf(_SC_PAGESIZE) / 1024);
    f.threads = CountEntries("/proc/self/task");
    // The iterator's own descriptor is counted in both measurements alike.
    f.descriptors = CountEntries("/proc/self/fd");
    return f;
}

std::string Describe(const ProcessFigures& f) {
    std::ostringstream s;
    s << "VmRSS " << f.residentKiB << " KiB, " << f.threads << " threads, " << f.descriptors
      << " descriptors";
    return s.str();
}

bool SoakFull() {
    const char* v = std::getenv("HV_SOAK_FULL");
    return v != nullptr && std::string(v) == "1";
}

int SoakSize(int small, int full) {
    return SoakFull() ? full : small;
}

TempFolder::TempFolder(const std::string& tag) {
    path_ = std::filesystem::temp_directory_path() /
            ("hv_hard_" + tag + "_" + std::to_string(getpid()));
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TestVideo(const std::string& extension, int32_t width, int32_t height, int32_t frames,
                      bool audio, std::string* error) {
    static std::mutex mu;
    static std::map<std::string, std::pair<std::string, std::string>> made;
    static TempFolder folder("videos");
    std::lock_guard<std::mutex> lock(mu);
    const std::string name = std::to_string(width) + "x" + std::to_string(height) + "_" +
                             std::to_string(frames) + (audio ? "_a" : "_s") + "." + extension;
    auto it = made.find(name);
    if (it == made.end()) {
        hv::TestVideoOptions clip;
        clip.path = (folder / name).string();
        clip.width = width;
        clip.height = height;
        clip.frames = frames;
        clip.audio = audio;
        clip.geometry = kVideoGeometry;
        const std::string err = hv::MakeTestVideo(clip);
        it = made.emplace(name, std::make_pair(err.empty() ? clip.path : "", err)).first;
    }
    if (error) *error = it->second.second;
    return it->second.first;
}

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

ScopedFileSizeLimit::ScopedFileSizeLimit(rlim_t bytes) {
    oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &old_);
    rlimit r = old_;
    r.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &r);
}

ScopedFileSizeLimit::~ScopedFileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    ::signal(SIGXFSZ, oldHandler_);
}

}  // namespace hvhard
