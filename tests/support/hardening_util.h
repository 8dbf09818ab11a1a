// Shared pieces of the hardening tests: process resource figures, test
// videos made once per test program, the soak size, and the means to make
// writes fail although the tests run as root (a file size limit, /dev/full).
#pragma once
#include <sys/resource.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "config/doughnut_geometry.h"

namespace hvhard {

// What a long-running process must not accumulate.
struct ProcessFigures {
    long residentKiB = 0;
    int threads = 0;
    int descriptors = 0;
};
ProcessFigures MeasureProcess();
std::string Describe(const ProcessFigures& f);

// GStreamer's and GLib's thread pools keep a few idle threads for a while
// after a pipeline ends; they are not a leak.
constexpr int kIdlePoolThreads = 4;
// The figures once idle pool threads have had up to 5 s to exit (down to
// `start`'s thread count).
ProcessFigures SettledFigures(const ProcessFigures& start);

// True when HV_SOAK_FULL=1: the soak tests run at their full size.
bool SoakFull();
// `full` under HV_SOAK_FULL=1, else `small`.
int SoakSize(int small, int full);

// A temporary folder removed with everything in it at the end.
class TempFolder {
  public:
    explicit TempFolder(const std::string& tag);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// The ring every test video is drawn with, fitted to any frame size.
inline constexpr hv::DoughnutGeometry kVideoGeometry{115, 35, 390, 380, 35, 0, 0};

// Makes (once per process, cached by name) a test video in a folder that
// lives until the program ends. Empty path and *error set when the maker
// fails. `extension` picks the container.
std::string TestVideo(const std::string& extension, int32_t width, int32_t height, int32_t frames,
                      bool audio, std::string* error);

// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& p);
void WriteFile(const std::filesystem::path& p, const std::string& bytes);

// While alive: files this process writes cannot grow beyond `bytes`, and
// SIGXFSZ is ignored, so such a write fails with EFBIG instead of killing
// the process (a full disk as far as the writer can tell).
class ScopedFileSizeLimit {
  public:
    explicit ScopedFileSizeLimit(rlim_t bytes);
    ~ScopedFileSizeLimit();

  private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

}  // namespace hvhard
