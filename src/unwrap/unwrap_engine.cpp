#include "unwrap/unwrap_engine.h"

#include <algorithm>
#include <chrono>

namespace hv {
namespace {

// Clears the busy flag when the job leaves, whichever way.
class BusyGuard {
  public:
    explicit BusyGuard(std::atomic<bool>& busy) : busy_(busy) {}
    ~BusyGuard() { busy_.store(false); }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

  private:
    std::atomic<bool>& busy_;
};

// What Configure accepts: exactly the geometries the builders can return.
std::string CheckRing(const RingGeometry& r) {
    std::string error = CheckFrameSize(r.frameW, r.frameH);
    if (!error.empty()) return error;
    if (r.Wp <= 0 || r.Hp <= 0 || r.inner < 0 || r.inner >= r.Hp || r.D <= 0)
        return "The ring geometry leaves nothing to unwrap.";
    if (int64_t{r.Wp} * (int64_t{r.Hp} + kPanoramaSpareRows) > kMaxPanoramaPixels)
        return "The panorama is larger than supported.";
    return {};
}

}  // namespace

UnwrapEngine::UnwrapEngine() = default;

UnwrapEngine::~UnwrapEngine() {
    LockOutJobs();
}

void UnwrapEngine::LockOutJobs() {
    while (busy_.exchange(true)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

bool UnwrapEngine::Configure(const RingGeometry& ring, std::string* error) {
    const std::string problem = CheckRing(ring);
    if (!problem.empty()) {
        if (error) *error = problem;
        return false;
    }
    LockOutJobs();
    BusyGuard guard(busy_);
    ring_ = ring;
    table_.Allocate(ring);
    plan_.Clear();
    planarPlan_.Clear();
    buffers_.Allocate(ring, flipMode_.load());
    SetDemand(PanoramaRegion::Whole());
    configured_ = true;
    request_.fetch_add(1);
    return true;
}

void UnwrapEngine::Release() {
    LockOutJobs();
    BusyGuard guard(busy_);
    configured_ = false;
    ring_ = {};
    table_ = {};
    plan_.Clear();
    planarPlan_.Clear();
    buffers_.Release();
    request_.fetch_add(1);
}

bool UnwrapEngine::Configured() const {
    return buffers_.Allocated();
}

RingGeometry UnwrapEngine::Geometry() const {
    return buffers_.Geometry();
}

void UnwrapEngine::SetFlipMode(FlipMode mode) {
    // The mode first, then the request: a job that sees the new request
    // also sees the new mode.
    flipMode_.store((mode >= 0 && mode < kFlipModeCount) ? mode : 0);
    request_.fetch_add(1);
}

FlipMode UnwrapEngine::AdvanceFlipMode() {
    FlipMode m = flipMode_.load();
    while (!flipMode_.compare_exchange_weak(m, NextFlipMode(m))) {
    }
    request_.fetch_add(1);
    return NextFlipMode(m);
}

FlipMode UnwrapEngine::CurrentFlipMode() const {
    return flipMode_.load();
}

void UnwrapEngine::InvalidateTable() {
    request_.fetch_add(1);
}

bool UnwrapEngine::TableValid() const {
    return builtRequest_.load() == request_.load();
}

bool UnwrapEngine::UnwrapFrame(FrameBuffer& fb, const std::function<void(FrameBuffer&)>& fill) {
    if (busy_.exchange(true)) return false;  // the previous job still runs: drop
    BusyGuard guard(busy_);
    if (!fill || !configured_) return false;
    if (fb.width != ring_.frameW || fb.height != ring_.frameH ||
        fb.pixels.size() < size_t(fb.width) * (size_t(fb.height) + 1))
        return false;
    fill(fb);
    return RunJob(fb);
}

bool UnwrapEngine::UnwrapFrame(const FrameBuffer& fb) {
    if (busy_.exchange(true)) return false;
    BusyGuard guard(busy_);
    return RunJob(fb);
}

bool UnwrapEngine::RunJob(const FrameBuffer& fb) {
    if (!configured_) return false;
    if (fb.width != ring_.frameW || fb.height != ring_.frameH ||
        fb.pixels.size() < size_t(fb.width) * (size_t(fb.height) + 1))
        return false;

    if (RebuildTableIfStale()) return true;  // nothing copied; the ready panorama stays
    // The frame gather's plan is built by its first job, so that a stream
    // unwrapped from planes never builds (nor touches the memory of) one.
    const uint32_t built = builtRequest_.load();
    if (planRequest_ != built || plan_.Empty()) {
        plan_.Build(ring_, table_);
        planRequest_ = built;
    }

    PanoramaBuffers::WriteSlot slot = buffers_.BeginWrite();
    if (slot.pixels == nullptr) return false;
    wholeRequested_.store(false);  // this path always fills it whole
    Copy(fb.data(), slot.pixels);
    buffers_.Publish(slot, tableMode_, PanoramaRegion::Whole(), built);
    return true;
}

bool UnwrapEngine::RebuildTableIfStale() {
    const uint32_t request = request_.load();
    if (builtRequest_.load() == request) return false;
    const FlipMode mode = flipMode_.load();
    BuildUnwrapTable(ring_, mode, table_);
    tableMode_ = mode;
    builtRequest_.store(request);
    tableBuilds_.fetch_add(1);
    return true;
}

void UnwrapEngine::SetDemand(const PanoramaRegion& region) {
    std::lock_guard lock(demandMutex_);
    demand_ = region;
}

PanoramaRegion UnwrapEngine::Demand() const {
    std::lock_guard lock(demandMutex_);
    return demand_;
}

PanoramaRegion UnwrapEngine::UsableDemand() const {
    const PanoramaRegion d = Demand();
    const int32_t around = TileColumns(ring_.Wp);
    const bool fits = d.tilesAround == around && d.bandBegin >= 0 && d.bandBegin < d.bandEnd &&
                      d.bandEnd <= TileBands(ring_.Hp) && d.tileBegin >= 0 &&
                      d.tileBegin < around && d.tileCount > 0;
    return d.whole || !fits ? PanoramaRegion::Whole() : d;
}

bool UnwrapEngine::UnwrapPicture(const PlanarPicture& picture, Scope scope) {
    if (busy_.exchange(true)) return false;
    BusyGuard guard(busy_);
    return RunPlanarJob(picture, scope);
}

bool UnwrapEngine::RunPlanarJob(const PlanarPicture& picture, Scope scope) {
    if (!configured_ || !PlanarPictureFits(ring_, picture)) return false;
    if (RebuildTableIfStale()) return true;
    const uint32_t built = builtRequest_.load();
    if (planarRequest_ != built || !planarPlan_.Matches(picture)) {
        planarPlan_.Build(ring_, table_, picture);
        planarRequest_ = built;
    }

    PanoramaBuffers::WriteSlot slot = buffers_.BeginWrite();
    if (slot.pixels == nullptr) return false;
    if (wholeRequested_.exchange(false)) scope = Scope::Whole;
    PanoramaRegion region = scope == Scope::Whole ? PanoramaRegion::Whole() : UsableDemand();
    const CopyPath path = copyPath_.load();
    if (slot.wholeGeneration == 0 || slot.wholeGeneration != built || path == CopyPath::Reference)
        region = PanoramaRegion::Whole();
    uint32_t* panorama = slot.pixels;
    const int32_t bands = TileBands(ring_.Hp);
    const int32_t first = region.whole ? 0 : region.bandBegin;
    const int32_t last = region.whole ? bands : region.bandEnd;
    switch (path) {
        case CopyPath::Reference:
            UnwrapPlanarReference(ring_, table_, picture, panorama);
            break;
        case CopyPath::Fast:
            planarPlan_.Run(picture, panorama, region, first, last);
            break;
        case CopyPath::FastThreads: {
            const int32_t split = MiddleBand(first, last);
            std::thread helper([&] { planarPlan_.Run(picture, panorama, region, split, last); });
            planarPlan_.Run(picture, panorama, region, first, split);
            helper.join();
            break;
        }
    }
    buffers_.Publish(slot, tableMode_, region, built);
    return true;
}

int32_t UnwrapEngine::BandSplit() const {
    // A tile-band boundary near the middle.
    return std::min(ring_.Hp, MiddleBand(0, TileBands(ring_.Hp)) * GatherPlan::kTileRows);
}

void UnwrapEngine::Copy(const uint32_t* frame, uint32_t* panorama) {
    switch (copyPath_.load()) {
        case CopyPath::Reference:
            UnwrapReference(ring_, table_, frame, panorama);
            break;
        case CopyPath::Fast:
            plan_.Run(frame, panorama);
            break;
        case CopyPath::FastThreads: {
            const int32_t split = BandSplit();
            std::thread helper([&] { plan_.Run(frame, panorama, split, ring_.Hp); });
            plan_.Run(frame, panorama, 0, split);
            helper.join();
            break;
        }
    }
}

}  // namespace hv
