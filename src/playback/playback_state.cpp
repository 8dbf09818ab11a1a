#include "playback/playback_state.h"

#include <chrono>
#include <thread>

namespace hv {

void SleepStep(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string TrimVideoName(std::string_view name) {
    auto blank = [](char c) { return c == ' ' || c == '\0'; };
    size_t b = 0, e = name.size();
    while (b < e && blank(name[b])) ++b;
    while (e > b && blank(name[e - 1])) --e;
    return std::string(name.substr(b, e - b));
}

}  // namespace hv
