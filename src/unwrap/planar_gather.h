// The unwrap straight from a decoder's YUV planes. For each panorama pixel
// the table's source position gives one luma sample and its chroma, taken
// as GStreamer's converter takes it for BGRx: I420 uses the chroma sample
// of the 2 x 2 block the pixel lies in, NV12 interpolates it from the two
// nearest chroma rows and columns. Only those samples are read and
// converted, never the whole frame.
//
// Positions follow the BGRx table exactly: table memory row m is picture
// line Hf - 1 - m, and memory row Hf (the frame buffer's spare row) gives
// black with a zero X byte, as the spare row does. Every other pixel gets
// X = 0xff, as videoconvert writes it.
//
// The conversion is the integer arithmetic of GStreamer's own 8-bit YUV to
// RGB conversion (coefficients with 8 fraction bits applied to the sample
// minus 128 spread over 16 bits, luma included, then saturated), so an I420
// panorama is bit-identical to "videoconvert, then gather". It is done by
// look-up in per-colour tables of 256 entries built once per plan, the same
// in every path.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "frame/large_buffer.h"
#include "frame/planar_picture.h"
#include "unwrap/ring_geometry.h"
#include "unwrap/unwrap_table.h"
#include "unwrap/view_region.h"

namespace hv {

// Y'CbCr to BGRX for one colour, by table look-up and integer adds.
class YuvToBgrx {
  public:
    explicit YuvToBgrx(const YuvColour& colour = {});
    uint32_t operator()(uint8_t y, uint8_t u, uint8_t v) const {
        const int32_t l = y_[y];
        const int32_t r = Clamp(l + rv_[v]);
        const int32_t g = Clamp(l + gu_[u] + gv_[v]);
        const int32_t b = Clamp(l + bu_[u]);
        return 0xff000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
    }
    const YuvColour& Colour() const { return colour_; }

    // Converts n (<= kBlock) gathered samples into BGRX pixels, 16 at a
    // time with SSE2; the same arithmetic as operator(), bit for bit.
    static constexpr int32_t kBlock = 64;
    void ConvertBlock(const uint8_t* y, const uint8_t* u, const uint8_t* v, int32_t n,
                      uint32_t* out) const;

  private:
    static int32_t Clamp(int32_t v) { return v < 0 ? 0 : v > 255 ? 255 : v; }
    YuvColour colour_;
    // Each channel's terms, already scaled; y_ carries the 128 added back.
    std::array<int32_t, 256> y_{}, rv_{}, gu_{}, gv_{}, bu_{};
    // The coefficients with 8 fraction bits: luma, V to red, U to blue,
    // U and V to green.
    int16_t yc_ = 0, rv8_ = 0, bu8_ = 0, gu8_ = 0, gv8_ = 0;
};

// The picture can be unwrapped with `ring`: its size is the ring's frame
// size, its strides cover its rows and I420's U and V share a stride.
bool PlanarPictureFits(const RingGeometry& ring, const PlanarPicture& picture);

// The per-pixel reference: panorama[i] = the converted sample of table
// entry i, one pixel after the other. `picture` must fit the ring.
void UnwrapPlanarReference(const RingGeometry& ring, const UnwrapTable& table,
                           const PlanarPicture& picture, uint32_t* panorama);

// The same unwrap laid out for speed: per panorama pixel a luma offset and
// a chroma offset into the planes, tile by tile as GatherPlan stores its
// offsets. Built for one plane layout (layout, size, strides) and colour;
// Run needs a picture that Matches. Gives exactly the reference's panorama.
class PlanarGatherPlan {
  public:
    void Build(const RingGeometry& ring, const UnwrapTable& table, const PlanarPicture& picture);
    void Clear();
    bool Empty() const { return lumaOffsets_.empty(); }
    bool Matches(const PlanarPicture& picture) const;

    // Fills panorama rows [rowBegin, rowEnd) (multiples of
    // GatherPlan::kTileRows, or Hp); two callers may fill disjoint ranges.
    void Run(const PlanarPicture& picture, uint32_t* panorama, int32_t rowBegin,
             int32_t rowEnd) const;
    void Run(const PlanarPicture& picture, uint32_t* panorama) const {
        Run(picture, panorama, 0, Hp_);
    }
    // Fills the tiles of `region` that lie in tile bands [bandBegin,
    // bandEnd); the rest of the panorama is left as it was.
    void Run(const PlanarPicture& picture, uint32_t* panorama, const PanoramaRegion& region,
             int32_t bandBegin, int32_t bandEnd) const;

  private:
    LargeVector<uint32_t> lumaOffsets_;
    LargeVector<uint32_t> chromaOffsets_;
    // NV12 only: the second chroma row's offsets and the odd-column flags.
    LargeVector<uint32_t> chroma2Offsets_;
    LargeVector<uint8_t> between_;
    // Panorama indices whose source is the spare row, ascending; their
    // offsets read sample 0 and the pixel is then overwritten with black.
    std::vector<uint32_t> black_;
    YuvToBgrx convert_;
    PlanarLayout layout_ = PlanarLayout::I420;
    int32_t width_ = 0, height_ = 0;
    int32_t strides_[3] = {0, 0, 0};
    int32_t Wp_ = 0, Hp_ = 0;
};

}  // namespace hv
