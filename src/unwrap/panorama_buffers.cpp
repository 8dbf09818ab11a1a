#include "unwrap/panorama_buffers.h"

#include <utility>

#include "frame/large_buffer.h"

namespace hv {

namespace detail {
// One stream's buffers. The pixel vectors are sized once and never resized,
// so their data pointers stay valid for the life of the set.
struct PanoramaSet {
    RingGeometry ring;
    std::array<LargeVector<uint32_t>, PanoramaBuffers::kCount> pixels;

    std::mutex mu;  // guards everything below
    int32_t ready = 0;
    int32_t writing = -1;
    std::array<int32_t, PanoramaBuffers::kCount> pins{};
    std::array<FlipMode, PanoramaBuffers::kCount> modes{};
    std::array<uint64_t, PanoramaBuffers::kCount> sequences{};
    std::array<PanoramaRegion, PanoramaBuffers::kCount> regions{};
    // The table generation of each buffer's last whole write (0: none).
    std::array<uint32_t, PanoramaBuffers::kCount> wholeGenerations{};
    uint64_t published = 0;
};
}  // namespace detail

PanoramaView::PanoramaView(PanoramaView&& o) noexcept {
    *this = std::move(o);
}

PanoramaView& PanoramaView::operator=(PanoramaView&& o) noexcept {
    if (this != &o) {
        Reset();
        set_ = std::move(o.set_);
        index_ = std::exchange(o.index_, -1);
        pixels_ = std::exchange(o.pixels_, nullptr);
        ring_ = o.ring_;
        mode_ = o.mode_;
        sequence_ = o.sequence_;
        region_ = o.region_;
    }
    return *this;
}

void PanoramaView::Reset() {
    if (set_) {
        std::lock_guard lock(set_->mu);
        --set_->pins[index_];
    }
    set_.reset();
    index_ = -1;
    pixels_ = nullptr;
}

PanoramaBuffers::PanoramaBuffers() = default;
PanoramaBuffers::~PanoramaBuffers() = default;

void PanoramaBuffers::Allocate(const RingGeometry& ring, FlipMode mode) {
    auto set = std::make_shared<detail::PanoramaSet>();
    set->ring = ring;
    const size_t n = size_t(ring.Wp) * (size_t(ring.Hp) + kPanoramaSpareRows);
    for (auto& p : set->pixels) p.assign(n, 0u);
    set->modes.fill(mode);
    std::lock_guard lock(mu_);
    set_ = std::move(set);
}

void PanoramaBuffers::Release() {
    std::shared_ptr<detail::PanoramaSet> old;
    {
        std::lock_guard lock(mu_);
        old = std::move(set_);
    }
    // `old` frees the pixels here, outside the lock, unless a view holds them.
}

bool PanoramaBuffers::Allocated() const {
    std::lock_guard lock(mu_);
    return set_ != nullptr;
}

RingGeometry PanoramaBuffers::Geometry() const {
    std::lock_guard lock(mu_);
    return set_ ? set_->ring : RingGeometry{};
}

PanoramaBuffers::WriteSlot PanoramaBuffers::BeginWrite() {
    WriteSlot slot;
    {
        std::lock_guard lock(mu_);
        slot.set = set_;
    }
    if (!slot.set) return slot;
    detail::PanoramaSet& s = *slot.set;
    std::lock_guard lock(s.mu);
    if (s.writing >= 0) return {};  // one writer at a time
    for (int32_t i = 0; i < kCount; ++i) {
        if (i != s.ready && s.pins[i] == 0) {
            s.writing = i;
            slot.index = i;
            slot.pixels = s.pixels[i].data();
            slot.wholeGeneration = s.wholeGenerations[i];
            return slot;
        }
    }
    return {};
}

void PanoramaBuffers::Publish(WriteSlot& slot, FlipMode mode, const PanoramaRegion& region,
                              uint32_t generation) {
    if (!slot.set) return;
    detail::PanoramaSet& s = *slot.set;
    {
        std::lock_guard lock(s.mu);
        s.ready = slot.index;
        s.writing = -1;
        s.modes[slot.index] = mode;
        s.sequences[slot.index] = ++s.published;
        s.regions[slot.index] = region;
        if (region.whole) s.wholeGenerations[slot.index] = generation;
    }
    slot = {};
}

void PanoramaBuffers::Abandon(WriteSlot& slot) {
    if (!slot.set) return;
    {
        std::lock_guard lock(slot.set->mu);
        slot.set->writing = -1;
    }
    slot = {};
}

PanoramaView PanoramaBuffers::Acquire() const {
    PanoramaView v;
    std::shared_ptr<detail::PanoramaSet> set;
    {
        std::lock_guard lock(mu_);
        set = set_;
    }
    if (!set) return v;
    std::lock_guard lock(set->mu);
    const int32_t i = set->ready;
    ++set->pins[i];
    v.index_ = i;
    v.pixels_ = set->pixels[i].data();
    v.ring_ = set->ring;
    v.mode_ = set->modes[i];
    v.sequence_ = set->sequences[i];
    v.region_ = set->regions[i];
    v.set_ = set;
    return v;
}

}  // namespace hv
