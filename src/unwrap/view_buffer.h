// The view image and the view source: the two pictures the renderers work
// between. Both are 32-bit BGRX pixels, rows bottom-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hv {

// The rendered view: Wout x Hout pixels, stride Wout, rows bottom-up, followed
// by spare space that the draft renderer and the soften filter rely on:
// RenderDraft writes the row after the image (memory row Hout) and
// ApplySoften reads that row plus one pixel after it. Prepare reserves two
// spare rows, so a presentation may also read one row and one column past the
// image. Pixels a renderer skips keep what the buffer held before.
class ViewBuffer {
  public:
    // Pixels needed beyond Wout x Hout for the spare row and the soften
    // filter's last neighbour.
    static size_t SparePixels(int32_t Wout) { return static_cast<size_t>(Wout) + 1; }

    // Makes the buffer hold a Wout x Hout view. A change of size clears it
    // (black); the same size keeps the previous picture.
    void Prepare(int32_t Wout, int32_t Hout) {
        if (Wout == width_ && Hout == height_) return;
        width_ = Wout;
        height_ = Hout;
        pixels_.assign(static_cast<size_t>(Wout) * static_cast<size_t>(Hout + 2), 0u);
    }

    uint32_t* data() { return pixels_.data(); }
    const uint32_t* data() const { return pixels_.data(); }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    // Pixels that may be read or written, image and spare space together.
    size_t capacity() const { return pixels_.size(); }

  private:
    int32_t width_ = 0, height_ = 0;
    std::vector<uint32_t> pixels_;
};

// The panorama as the renderers read it: width (Ws) x height (Hs) pixels of
// row stride width, starting at `pixels`; `readableRows` rows may be read.
// The renderers read rows 0 .. ViewSetup::sourceRowsRead - 1 and refuse a
// source that promises fewer. (The draft row table is clamped to 1 .. Hs; for
// every size InitViewEngine accepts its entries stay below Hs, so Hs rows are
// enough, but the check follows the tables, not this remark.)
struct ViewSource {
    const uint32_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t readableRows = 0;

    bool Valid() const {
        return pixels != nullptr && width > 0 && height > 0 && readableRows >= height;
    }
};

}  // namespace hv
