// Frames spread over a whole video, for whatever looks at a video as a whole
// rather than at one picture (ring detection in hvtool detect and hvconfig).
// Opens its own frame source, so it never disturbs a preview or a player
// showing the same file.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "frame/frame_buffer.h"

namespace hv {

// Frame numbers spread evenly over a video of `frameCount` frames, the
// middle of each of `count` equal parts; every frame when the video has
// fewer; frame 0 alone when the length is unknown.
std::vector<int64_t> SpreadFrames(int64_t frameCount, int32_t count);

// Opens the video once (without sound) and seeks accurately to each of
// SpreadFrames(its frame count, count), appending the pictures to `out`
// (bottom-up BGRX frame buffers). A picture that does not come within a few
// seconds is skipped. False with a message when the file cannot be opened
// or no picture came.
//
// `cancel` (optional) is polled between pictures and while waiting for one:
// once it is raised the function closes the source and returns false with an
// empty `error` soon after. `progress` (optional) gets the share of pictures
// done, 0..1, on the calling thread; it must not block.
bool LoadSpreadVideoFrames(const std::string& path, int32_t count, std::vector<FrameBuffer>& out,
                           std::string& error, const std::atomic<bool>* cancel = nullptr,
                           const std::function<void(double)>& progress = {});

}  // namespace hv
