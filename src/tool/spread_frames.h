// Frames spread over a whole video, for the commands that look at a video
// as a whole rather than at one picture (hvtool detect).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/frame_buffer.h"

namespace hvtool {

// Frame numbers spread evenly over a video of `frameCount` frames, the
// middle of each of `count` equal parts; every frame when the video has
// fewer; frame 0 alone when the length is unknown.
std::vector<int64_t> SpreadFrames(int64_t frameCount, int32_t count);

// Opens the video once (without sound) and seeks accurately to each of
// SpreadFrames(its frame count, count), appending the pictures to `out`
// (bottom-up BGRX frame buffers). A picture that does not come within a few
// seconds is skipped. False with a message when the file cannot be opened
// or no picture came.
bool LoadSpreadVideoFrames(const std::string& path, int32_t count,
                           std::vector<hv::FrameBuffer>& out, std::string& error);

}  // namespace hvtool
