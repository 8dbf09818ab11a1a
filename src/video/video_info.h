// The stream information text (VideoInfoText) and the number forms it uses.
// Pure functions, no GUI, no GStreamer. Line breaks are "\r\n".
#pragma once

#include <cstdint>
#include <string>

#include "video/frame_source.h"

namespace hv {

inline constexpr const char* kLineBreak = "\r\n";
inline constexpr const char* kPlayerTitle = "Halvora 360 Doughnut Player";
inline constexpr const char* kSetupTitle = "Halvora 360 Doughnut Setup Utility";
inline constexpr const char* kVideoInfoCaption = "Video file information";

// General form: decimal, rounded to 15 significant digits, no trailing zeros
// after the point, no trailing point, no leading blank. 333,667 as a rate
// gives "29.97000002997"; 25.0 gives "25". Not-a-number and infinities print
// as "0".
std::string FormatGeneral(double v);

// Mask form: v rounded (halves to even) to fracDigits decimals, at least
// intDigits digits before the point (zero-padded; a larger integer part
// prints in full) and exactly fracDigits after it. FormatMask(29.97, 2, 2)
// gives "29.97"; FormatMask(5, 2, 2) gives "05.00".
std::string FormatMask(double v, int intDigits, int fracDigits);

// "hh:mm:ss.mmm" from seconds: 3725.5 gives "01:02:05.500", 360000 gives
// "100:00:00.000". A fraction that rounds up to 1000 ms carries into the
// seconds (59.9996 gives "00:01:00.000"). Negative or not-finite input
// counts as 0.
std::string FormatDuration(double seconds);

// Frames per second of a format: 10^7 / average time per frame; 0 when the
// average time per frame is not positive.
double FrameRateOf(const VideoFormat& format);

// The file name of a path: the text after its last "/" (the whole path
// when it has none), extension included.
std::string FileNameOf(const std::string& path);

// "Video file: " + FileNameOf(path) + line break (player, file chosen).
std::string BeginVideoInfo(const std::string& path);

// ResetTitle's text part: the player's caption (the product title); the
// caller also empties VideoInfoText.
inline std::string ResetTitle() {
    return kPlayerTitle;
}

// The player's stream lines, appended when the playback loop starts:
// frame size, frames quantity, FPS, duration and "Doghnut frame: " with the
// panorama size (no line break after the last line).
std::string PlayerStreamLines(const VideoFormat& format, int32_t panoramaWidth,
                              int32_t panoramaHeight);

// The setup utility's stream lines: frame size, frames quantity, FPS and
// "Video Setup: On".
std::string SetupStreamLines(const VideoFormat& format);

// The player's whole VideoInfoText for a file: BeginVideoInfo + the stream
// lines.
std::string VideoInfoText(const std::string& path, const VideoFormat& format, int32_t panoramaWidth,
                          int32_t panoramaHeight);

// The setup utility's labels: frame size "640x480" (general form) and frame
// rate "29.97 FPS" (mask "00.00"; "00.00 FPS" when the rate is unknown).
std::string FrameSizeLabel(const VideoFormat& format);
std::string FrameRateLabel(const VideoFormat& format);

// True when the text is empty once leading and trailing spaces are removed
// ("Video Stream Info" then shows nothing).
bool IsVideoInfoBlank(const std::string& text);

}  // namespace hv
