// Still pictures for hvtool: a PNG or JPEG file into a frame buffer, and a
// bottom-up BGRX image (a frame, a panorama, a view) out to a PNG file.
// QtGui's QImage does the file formats; no QGuiApplication is needed.
#pragma once

#include <cstdint>
#include <string>

#include "video/frame_source.h"

namespace hvtool {

// Loads `path` (PNG, JPEG or anything QImage reads) into `fb` as a frame:
// width x height BGRX pixels, rows bottom-up, plus the zero spare row.
// False with a message (unreadable file, size beyond the engine's frame
// limits) and `fb` untouched.
bool LoadPictureAsFrame(const std::string& path, hv::FrameBuffer& fb, std::string* error);

// Saves `height` rows of `width` BGRX pixels, stored bottom-up with
// `strideBytes` bytes per row, as a top-down PNG (the picture as shown).
// False with a message when the file cannot be written.
bool SaveBottomUpAsPng(const std::string& path, const uint32_t* pixels, int32_t width,
                       int32_t height, int32_t strideBytes, std::string* error);

}  // namespace hvtool
