// A decoded picture in the decoder's own 8-bit 4:2:0 layout, handed from the
// video layer to the unwrap without converting the whole frame. Plain C++:
// the video layer maps the picture and fills this record; the unwrap reads
// the planes of the samples it needs and converts only those.
#pragma once

#include <cstdint>
#include <memory>

namespace hv {

enum class PlanarLayout : uint8_t {
    I420,  // Y plane, then U and V planes at half width and half height
    NV12,  // Y plane, then one plane of interleaved U, V pairs
};

// How Y'CbCr maps to R'G'B': the matrix's luma weights of red and blue
// (BT.601: 0.299 / 0.114, BT.709: 0.2126 / 0.0722) and the code range
// (limited: Y 16..235 and chroma 16..240; full: 0..255 both).
struct YuvColour {
    double kr = 0.299;
    double kb = 0.114;
    bool fullRange = false;

    bool operator==(const YuvColour&) const = default;
};

inline constexpr YuvColour kBt601Limited{0.299, 0.114, false};
inline constexpr YuvColour kBt709Limited{0.2126, 0.0722, false};

// Rows top-down. planes[0] is luma; planes[1] is U (I420) or the UV pairs
// (NV12); planes[2] is V (I420, same stride as U) or unused. The planes stay
// readable for as long as the record lives.
struct PlanarPicture {
    PlanarLayout layout = PlanarLayout::I420;
    int32_t width = 0;
    int32_t height = 0;
    const uint8_t* planes[3] = {nullptr, nullptr, nullptr};
    int32_t strides[3] = {0, 0, 0};
    YuvColour colour;
};

// Shared, read-only hold on a mapped picture: the owner's deleter unmaps and
// releases the decoded buffer once, when the last holder lets go.
using PlanarPictureRef = std::shared_ptr<const PlanarPicture>;

// Width and height of the chroma planes of a width x height picture.
inline int32_t ChromaWidth(int32_t width) {
    return (width + 1) / 2;
}
inline int32_t ChromaHeight(int32_t height) {
    return (height + 1) / 2;
}

}  // namespace hv
