// The panoramas of one stream and their hand-over from the unwrap job to the
// renderer.
//
// Three buffers of Wp x (Hp + 101) pixels, all zero when allocated (the 101
// spare rows stay zero for good). At any time one of them is "ready": the
// newest complete panorama. The unwrap job fills a buffer that is neither
// ready nor pinned and then publishes it as ready; a reader pins the ready
// buffer for as long as it holds a PanoramaView. So a reader never sees a
// buffer that is being written and the writer never waits for a reader:
// with one reader there is always a free buffer; should several readers pin
// every other buffer, the writer drops its frame.
//
// A buffer may be written in part (a PanoramaRegion, while a view needs only
// that part): the rest then keeps the older frame it held, which a whole
// write with the same table put there. The writer learns from BeginWrite
// which table generation last wrote the slot whole, and writes it whole
// when that is not the current one.
//
// Threads: Allocate / Release on the thread that starts and ends a stream,
// BeginWrite / Publish on the (single) unwrap job at a time, Acquire on any
// thread. The buffer pointer, the ready index, the pins and the
// per-buffer records are guarded by one mutex that is held only for these
// few bookkeeping steps, never while pixels are copied or read.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "unwrap/ring_geometry.h"
#include "unwrap/view_region.h"

namespace hv {

namespace detail {
struct PanoramaSet;
}

// A pinned, read-only panorama. Move-only; unpins when destroyed or Reset().
// Stays valid even if the stream's buffers are re-allocated meanwhile.
class PanoramaView {
  public:
    PanoramaView() = default;
    ~PanoramaView() { Reset(); }
    PanoramaView(PanoramaView&& o) noexcept;
    PanoramaView& operator=(PanoramaView&& o) noexcept;
    PanoramaView(const PanoramaView&) = delete;
    PanoramaView& operator=(const PanoramaView&) = delete;

    explicit operator bool() const { return pixels_ != nullptr; }
    void Reset();

    // Panorama row 0; Wp x (Hp + 101) pixels, row stride 4 * Wp bytes.
    const uint32_t* Pixels() const { return pixels_; }
    // The view source: Ws x Hs pixels (plus the spare rows after it) starting
    // at panorama row ring.ViewSourceRow(Mode()), stride 4 * Ws bytes.
    const uint32_t* ViewSource() const {
        return pixels_ ? pixels_ + int64_t{ring_.ViewSourceRow(mode_)} * ring_.Wp : nullptr;
    }
    int32_t Ws() const { return ring_.Ws(); }
    int32_t Hs() const { return ring_.Hs(); }
    const RingGeometry& Geometry() const { return ring_; }
    // The flip mode whose table produced these pixels (right after a flip the
    // ready panorama is still the previous mode's).
    FlipMode Mode() const { return mode_; }
    // 0 until a frame has been copied, then the number of the copied frame.
    uint64_t Sequence() const { return sequence_; }
    // The part of the panorama that holds the frame of Sequence(); the rest
    // holds older frames of the same table.
    const PanoramaRegion& Region() const { return region_; }
    bool Complete() const { return region_.whole; }

  private:
    friend class PanoramaBuffers;
    std::shared_ptr<detail::PanoramaSet> set_;
    int32_t index_ = -1;
    const uint32_t* pixels_ = nullptr;
    RingGeometry ring_;
    FlipMode mode_ = 0;
    uint64_t sequence_ = 0;
    PanoramaRegion region_;
};

class PanoramaBuffers {
  public:
    static constexpr int32_t kCount = 3;

    PanoramaBuffers();
    ~PanoramaBuffers();

    // Replaces any previous buffers by three zeroed ones for `ring`; views
    // still pinned keep the old buffers alive until they are released.
    // `mode` is reported for the initial (all-zero) ready panorama.
    void Allocate(const RingGeometry& ring, FlipMode mode);
    void Release();
    bool Allocated() const;
    RingGeometry Geometry() const;

    // The writer's side. BeginWrite returns a free buffer to fill (nullptr
    // when there are no buffers or every other one is pinned); the writer
    // then calls Publish, or Abandon to give it back unpublished.
    struct WriteSlot {
        std::shared_ptr<detail::PanoramaSet> set;
        int32_t index = -1;
        uint32_t* pixels = nullptr;
        // The table generation of the slot's last whole write (0: none).
        uint32_t wholeGeneration = 0;
    };
    WriteSlot BeginWrite();
    // `region`: the part the writer filled; `generation`: the table it used
    // (any non-zero number that changes with the table).
    void Publish(WriteSlot& slot, FlipMode mode,
                 const PanoramaRegion& region = PanoramaRegion::Whole(), uint32_t generation = 0);
    void Abandon(WriteSlot& slot);

    // Pins the ready panorama; an empty view when nothing is allocated.
    PanoramaView Acquire() const;

  private:
    mutable std::mutex mu_;  // guards set_ (the pointer)
    std::shared_ptr<detail::PanoramaSet> set_;
};

}  // namespace hv
