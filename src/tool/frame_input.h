// The INPUT of hvtool unwrap and hvtool view: a still picture, or one frame
// of a video chosen with --frame N or --time T (the first frame without
// either), loaded into a frame buffer as a video source would deliver it.
#pragma once

#include <cstdint>
#include <string>

#include "video/frame_source.h"

namespace hvtool {

// Which picture of a video to take.
struct FrameChoice {
    enum class By { First, Frame, Time };
    By by = By::First;
    int64_t frame = 0;     // 0-based, By::Frame
    double seconds = 0.0;  // By::Time
};

enum class FrameOption {
    NotMine,  // argv[i] is neither --frame nor --time
    Taken,    // read, with its value; i now points at the value
    Bad,      // a bad or missing value, or both options given: *error says why
};

// Reads "--frame N" (N a whole number, 0 or more) or "--time T" (T seconds,
// a finite decimal, 0 or more) at argv[i] into `choice`.
FrameOption ParseFrameOption(int argc, char** argv, int& i, FrameChoice& choice,
                             std::string* error);

// Loads `path` into `fb` (width x height BGRX pixels, rows bottom-up, zero
// spare row). A picture QImage can read is loaded as a still (and refuses
// --frame / --time); anything else is opened as a video without sound,
// seeked accurately to the chosen picture and copied. --frame N is the N-th
// decoded picture counted from 0 (found by the pictures' own timestamps,
// B-frames and late-starting streams included); --time T the picture shown
// at T. False with a message:
// the video source's fixed text when it cannot open the file ("Caption:
// text", the player's texts, line breaks as "\n"), a frame or time past the
// end of the video, a video damaged before the chosen picture (the stream
// broke on the way to it), or a picture that never came.
bool LoadInputFrame(const std::string& path, const FrameChoice& choice, hv::FrameBuffer& fb,
                    std::string* error);

}  // namespace hvtool
