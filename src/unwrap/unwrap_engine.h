// The player's unwrap engine: per stream, the ring geometry, the unwrap
// table and the panoramas; per frame, the UnwrapFrame job.
//
// Life of a stream: Configure (tables and panoramas zeroed, table invalid,
// the ready panorama all zero) -> the first UnwrapFrame builds the table for
// the current flip mode and copies nothing -> every later UnwrapFrame copies
// the ring into a panorama and publishes it. A flip (SetFlipMode /
// AdvanceFlipMode / InvalidateTable) makes the next job rebuild the table
// and copy nothing that time, so the ready panorama stays the last one
// copied, in the previous mode. Release (or the next Configure) frees them.
//
// Threads:
//  - Configure / Release: the thread that starts and ends a stream. They wait
//    until a running UnwrapFrame has finished and keep the next one out.
//  - UnwrapFrame: any thread; a job that finds the previous one still busy
//    returns at once (the frame is dropped). Only the job touches the table
//    and the fast plan.
//  - SetFlipMode / AdvanceFlipMode / InvalidateTable / CurrentFlipMode /
//    TableValid: any thread (atomic words). A flip that lands while a job is
//    building the table is never lost: the table is valid only for the
//    request it was built for.
//  - SetDemand / RequestWhole: any thread (the player's renderer, a
//    snapshot); the next planar job reads them.
//  - AcquireReady: any thread, typically the renderer once per render; it
//    pins the newest complete panorama (see panorama_buffers.h), so the
//    renderer never reads pixels a job is writing and no job waits for it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "frame/frame_buffer.h"
#include "frame/planar_picture.h"
#include "unwrap/panorama_buffers.h"
#include "unwrap/planar_gather.h"
#include "unwrap/ring_geometry.h"
#include "unwrap/unwrap_table.h"
#include "unwrap/view_region.h"

namespace hv {

class UnwrapEngine {
  public:
    // How the per-frame copy runs. All give the same panorama (tested).
    enum class CopyPath {
        Reference,   // the two-array gather, one pixel after the other
        Fast,        // one precomputed offset per pixel, tiled (the default)
        FastThreads  // Fast, the row bands split over the job and one helper
                     // thread that is joined before the panorama is published
    };

    UnwrapEngine();
    ~UnwrapEngine();
    UnwrapEngine(const UnwrapEngine&) = delete;
    UnwrapEngine& operator=(const UnwrapEngine&) = delete;

    // Allocates the table and three zeroed panoramas for `ring` and clears
    // the table-valid flag. `ring` must come from BuildRingGeometry (or
    // BuildPreviewGeometry); false with a message for a geometry that is not
    // usable (e.g. built for another frame size limit).
    bool Configure(const RingGeometry& ring, std::string* error = nullptr);
    void Release();
    bool Configured() const;
    // The current stream's geometry (a copy; zero when none).
    RingGeometry Geometry() const;

    void SetFlipMode(FlipMode mode);  // 0..3; clears the table-valid flag
    FlipMode AdvanceFlipMode();       // the flip button: next mode, returned
    FlipMode CurrentFlipMode() const;
    void InvalidateTable();
    bool TableValid() const;

    void SetCopyPath(CopyPath path) { copyPath_.store(path); }

    // The per-frame job: `fill` takes the current picture into `fb` (which
    // must be allocated for the stream's frame size; a fill that has no
    // picture leaves it as it was), then the engine unwraps it. `fill` runs
    // only once the job is known to go ahead, so a dropped job costs no copy.
    // Returns true when the panorama may have changed and a render should be
    // requested; false when the job was dropped (busy, no stream, frame
    // buffer of another size, no free panorama).
    bool UnwrapFrame(FrameBuffer& fb, const std::function<void(FrameBuffer&)>& fill);
    // The same job for a picture that is already in `fb`.
    bool UnwrapFrame(const FrameBuffer& fb);
    // The same job straight from a decoder's planes: reads only the samples
    // the table names and converts them (planar_gather.h). The picture must
    // have the stream's frame size (else dropped: false); the first picture
    // of a new plane layout or colour builds its plan in the same job. The
    // caller keeps the picture alive until this returns.
    //
    // `scope` View fills only the part of the panorama the view demands
    // (SetDemand; all of it until a demand is set), Whole fills all of it.
    // A buffer that no whole job of the current table has filled yet is
    // filled whole either way, so the rest of a panorama always holds an
    // older frame of the same table, never zeros or another flip's pixels.
    // Frames from a FrameBuffer are always unwrapped whole.
    enum class Scope { View, Whole };
    bool UnwrapPicture(const PlanarPicture& picture, Scope scope = Scope::View);

    // The part of the panorama the view will read next (PanoramaRegion
    // Whole: all of it, the default of every new stream). A region made for
    // another panorama size counts as Whole.
    void SetDemand(const PanoramaRegion& region);
    PanoramaRegion Demand() const;
    // The next planar job fills the whole panorama, whatever the demand and
    // even when its picture was unwrapped already (a snapshot asks so);
    // WholeRequested tells the frame pump.
    void RequestWhole() { wholeRequested_.store(true); }
    bool WholeRequested() const { return wholeRequested_.load(); }

    // Pins the ready panorama for reading; empty when nothing is configured.
    // Its pixels are exactly what the per-frame copy produced; read the view
    // source through PanoramaView::ViewSource(), which starts at the row that
    // belongs to the mode those pixels were unwrapped in.
    PanoramaView AcquireReady() const { return buffers_.Acquire(); }

    bool Busy() const { return busy_.load(); }
    // Number of table builds so far (each one a frame that copied nothing).
    uint64_t TableBuilds() const { return tableBuilds_.load(); }

  private:
    bool RunJob(const FrameBuffer& fb);
    bool RunPlanarJob(const PlanarPicture& picture, Scope scope);
    // The demand checked against the stream's panorama.
    PanoramaRegion UsableDemand() const;
    // Rebuilds the table for a pending flip request; true when it did (the
    // job then copies nothing).
    bool RebuildTableIfStale();
    void Copy(const uint32_t* frame, uint32_t* panorama);
    int32_t BandSplit() const;  // FastThreads: the helper's first row
    // FastThreads: the helper's first tile band of bands [first, last).
    static int32_t MiddleBand(int32_t first, int32_t last) { return first + (last - first) / 2; }
    void LockOutJobs();         // waits for a running job, then holds the busy flag

    std::atomic<bool> busy_{false};
    std::atomic<FlipMode> flipMode_{0};
    // The table is valid while builtRequest_ == request_; a flip bumps
    // request_. Both only grow (wrapping is harmless: equality is all).
    std::atomic<uint32_t> request_{1};
    std::atomic<uint32_t> builtRequest_{0};
    std::atomic<uint64_t> tableBuilds_{0};
    std::atomic<CopyPath> copyPath_{CopyPath::Fast};
    std::atomic<bool> wholeRequested_{false};
    mutable std::mutex demandMutex_;  // guards demand_
    PanoramaRegion demand_;

    // Owned by whoever holds busy_ (the job, or Configure / Release).
    RingGeometry ring_;
    bool configured_ = false;
    UnwrapTable table_;
    FlipMode tableMode_ = 0;  // the mode table_ was built for
    GatherPlan plan_;
    uint32_t planRequest_ = 0;  // the table request plan_ was built from
    PlanarGatherPlan planarPlan_;
    uint32_t planarRequest_ = 0;  // the table request planarPlan_ was built from

    PanoramaBuffers buffers_;
};

}  // namespace hv
