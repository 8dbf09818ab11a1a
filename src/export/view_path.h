// View paths: the view (pan, tilt, field of view) as a function of time,
// given by keyframes and interpolated between them.
//
// The JSON form, read strictly:
//   {"version": 1, "keyframes": [{"t": 0.0, "pan": -90, "tilt": 0, "fov": 100,
//                                 "ease": "smooth"}, ...]}
// t in seconds from the start of the export, strictly increasing; pan any
// finite angle (kept within -180 .. 180), tilt -90 .. 90, fov 1 .. 150
// (horizontal, degrees); ease "smooth" (the default) or "linear" shapes the
// way from this keyframe to the next. Pan takes the shorter way round.
//
// Angles are the player's: pan grows to the right, positive tilt looks
// down (the arrow key that looks up lowers it).
//
// The ffmpeg form: a sendcmd file for the v360 filter, one entry per frame
// ("T v360 yaw Y, v360 pitch P, v360 v_fov V;"), so that other tools can
// follow the same path over an equirectangular export: yaw is pan, pitch is
// minus tilt (v360 looks up for a positive pitch). v360's v_fov is
// vertical: the conversion needs the aspect (height / width) of the output
// picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hv {

enum class ViewEase { Smooth, Linear };

struct ViewKeyframe {
    double t = 0;  // seconds
    float pan = -90;
    float tilt = 0;
    float fov = 100;
    ViewEase ease = ViewEase::Smooth;
};

// Pan, tilt and fov of one moment.
struct ViewAngles {
    float pan = 0, tilt = 0, fov = 0;
};

class ViewPath {
  public:
    ViewPath() = default;
    // Keyframes as given; Valid() tells whether they form a path.
    explicit ViewPath(std::vector<ViewKeyframe> keys) : keys_(std::move(keys)) {}

    // A path needs at least one keyframe, strictly increasing finite times,
    // and angles in range; false with a message otherwise.
    bool Validate(std::string* error) const;

    // The view at time t (seconds): the first keyframe before it, the last
    // after it, eased in between. Pan comes out within -180 .. 180.
    ViewAngles At(double t) const;

    const std::vector<ViewKeyframe>& keyframes() const { return keys_; }

  private:
    std::vector<ViewKeyframe> keys_;
};

// Reads the JSON form. Rejects with a message: syntax errors (with the
// byte offset), nesting deeper than the format has, numbers that are not
// finite or beyond 1e9, unknown or duplicated keys, a version other than 1,
// an empty keyframe list, times out of order or repeated, angles out of range.
bool ParseViewPathJson(const std::string& text, ViewPath* path, std::string* error);
std::string ViewPathToJson(const ViewPath& path);

// Writes the ffmpeg sendcmd form: one entry per frame from 0 up to (not
// including) durationSeconds at fps, each with yaw, pitch and v_fov for a
// picture of the given aspect (height / width).
std::string ViewPathToSendCmd(const ViewPath& path, double durationSeconds, double fps,
                              double aspect);
// Reads a sendcmd file whose entries set v360 yaw / pitch / v_fov (h_fov is
// taken too) with constant values: every entry becomes a linear keyframe,
// values not set carry over from the entry before (the first entry falls
// back to pan 0, tilt 0, fov 100). Other filters' commands are ignored;
// expressions ([expr]) and unreadable entries are refused with a message.
// A v_fov that converts to just outside 1 .. 150 (by less than 0.01: the
// rounding of its decimals) is taken as that limit.
bool ParseSendCmd(const std::string& text, double aspect, ViewPath* path, std::string* error);

// An angle brought into -180 .. 180.
float WrapDegrees(double degrees);

}  // namespace hv
