// The state words of an opened video: the stop handshake of both programs
// and the small helpers the open sequences share. Plain C++.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace hv {

// Player PlaybackState. The worker's "starting" and a stop request are the
// same value 1: a request that arrives before the graph runs is overwritten
// by the build's 2 and repeated by RequestPlaybackStop's passes.
enum PlayerPlaybackState : int32_t {
    kPlayerIdle = 0,
    kPlayerStopRequested = 1,  // also: worker starting
    kPlayerPlaying = 2,
};

// Setup utility PlaybackState: 0 -> 1 when the worker starts -> 2 when the
// graph runs -> 1 when the preview pump starts -> 0 on a stop request.
enum SetupPlaybackState : int32_t {
    kSetupStop = 0,
    kSetupPumping = 1,  // also: worker starting
    kSetupStarted = 2,
};

// One pass of a wait on the GUI thread: handle pending window events, or
// sleep `ms` milliseconds when there are none. The Qt programs pass
// processEvents plus a short sleep; tests pass a plain sleep.
using PumpStep = std::function<void(int ms)>;

// A PumpStep that only sleeps (worker threads, tests).
void SleepStep(int ms);

// The chosen file name with spaces and NUL characters removed at both ends
// (CurrentVideoFile). Empty when the dialog was cancelled.
std::string TrimVideoName(std::string_view name);

}  // namespace hv
