// The player's playback of one opened video at a time: the hand-over from
// the open dialog, the VideoWorker thread that builds the frame source, the
// frame pump (RunPlaybackLoop), the transport and sound commands and the
// stop handshake. GUI-free; the player's main window drives it through the
// public methods and reads what it shows (position, volume indicators,
// sound button, caption) through the accessors; the controller only wakes
// it through PlaybackHost (playback_host.h).
//
// Threads:
//  - GUI thread: every public method except the accessors, which any
//    thread may call. Methods that wait take a PumpStep so that the windows
//    stay live (the Qt player passes processEvents plus a sleep).
//  - VideoWorker (one at a time, owned and joined here): builds the source
//    (BuildFrameSourceGraph), runs the hand-over and RunPlaybackLoop, then
//    lets the build release the source.
//  - Unwrap worker (one per playing stream, owned by the loop): woken every
//    loop cycle (27 ms) to run one FrameUnwrapper::UnwrapFrame; a cycle that
//    finds it still busy drops its frame. The loop joins it before the
//    working panorama is released, so no unwrap ever writes freed memory.
//
// Exit: call Shutdown(pumpStep) on the GUI thread before destroying the
// controller (the destructor also stops and joins, but cannot pump, so a
// worker blocked in a message box would wait for the GUI thread).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "config/doughnut_geometry.h"
#include "playback/playback_host.h"
#include "playback/playback_state.h"
#include "playback/playback_worker.h"
#include "unwrap/ring_geometry.h"
#include "unwrap/unwrap_engine.h"
#include "video/frame_source.h"
#include "video/frame_source_graph.h"

namespace hv {

// The unwrap side of the frame pump. EngineUnwrapper adapts the player's
// UnwrapEngine; tests may wrap it (e.g. to make the job slow).
class FrameUnwrapper {
  public:
    virtual ~FrameUnwrapper() = default;
    // A stream starts: (re)allocate the tables and panoramas for `ring` and
    // mark the table invalid. Video worker; no UnwrapFrame runs meanwhile.
    // False, with a message in *error, when the ring cannot be used.
    virtual bool Configure(const RingGeometry& ring, std::string* error) = 0;
    // One UnwrapFrame job: take the current picture into `frame`, unwrap it
    // into the working panorama. True when a render should be requested.
    // Unwrap worker; never two at a time. `frame` belongs to the job: it
    // comes empty (0 x 0) while the stream hands the decoder's planes, and
    // the job sizes it to the stream's format when it needs it.
    virtual bool UnwrapFrame(FrameSource& source, FrameBuffer& frame) = 0;
    // The loop has ended and no UnwrapFrame runs any more: release the
    // working panorama. Video worker.
    virtual void ReleaseWorking() = 0;
};

class EngineUnwrapper final : public FrameUnwrapper {
  public:
    explicit EngineUnwrapper(UnwrapEngine& engine) : engine_(engine) {}
    bool Configure(const RingGeometry& ring, std::string* error) override {
        unwrappedSerial_ = 0;
        return engine_.Configure(ring, error);
    }
    // A picture already copied with the current table is not unwrapped
    // again while the ready panorama holds it where the view looks. The
    // render is still requested, so the view keeps its cadence for motion;
    // the presenter itself skips a render that would repeat the image on
    // screen. A new picture is unwrapped where the view looks
    // (UnwrapEngine::SetDemand); a picture that stays for
    // kRepeatsBeforeWhole cycles (paused, or a stalled stream) is then
    // unwrapped whole, so the view may turn anywhere without more work.
    static constexpr int kRepeatsBeforeWhole = 3;
    bool UnwrapFrame(FrameSource& source, FrameBuffer& frame) override {
        // The serial first: a picture that arrives meanwhile is unwrapped
        // under the older serial, and the next job unwraps it once more.
        const uint64_t serial = source.PictureSerial();
        UnwrapEngine::Scope scope = UnwrapEngine::Scope::View;
        if (serial != 0 && serial == unwrappedSerial_ && engine_.TableValid()) {
            const PanoramaRegion ready = engine_.AcquireReady().Region();
            const bool whole = ++repeats_ >= kRepeatsBeforeWhole || engine_.WholeRequested();
            if (ready.whole || (!whole && ready.Covers(engine_.Demand()))) {
                skipped_.fetch_add(1);
                return true;
            }
            if (whole) scope = UnwrapEngine::Scope::Whole;
        } else {
            repeats_ = 0;
        }
        const uint64_t builds = engine_.TableBuilds();
        const bool ok = Unwrap(source, frame, scope);
        // A job that rebuilt the table copied nothing: the next one copies.
        unwrappedSerial_ = (ok && engine_.TableBuilds() == builds) ? serial : 0;
        return ok;
    }
    void ReleaseWorking() override {
        unwrappedSerial_ = 0;
        engine_.Release();
    }
    // Jobs that found their picture already unwrapped (any thread).
    uint64_t Skipped() const { return skipped_.load(); }

  private:
    bool Unwrap(FrameSource& source, FrameBuffer& frame, UnwrapEngine::Scope scope) {
        // A decoder's planes are unwrapped as they are, held until the job
        // has read them; any other picture is copied into the buffer.
        if (const PlanarPictureRef picture = source.CurrentPicture()) {
            return engine_.UnwrapPicture(*picture, scope);
        }
        // A source that has no picture yet leaves the buffer as it was (all
        // zero when sized here).
        const VideoFormat& format = source.Format();
        if ((frame.width != format.width || frame.height != format.height) &&
            !frame.Allocate(format.width, format.height)) {
            return false;
        }
        return engine_.UnwrapFrame(frame, [&source](FrameBuffer& fb) {
            int32_t size = fb.PictureBytes();
            source.CurrentFrame(fb.data(), &size);
        });
    }

    UnwrapEngine& engine_;
    uint64_t unwrappedSerial_ = 0;  // unwrap worker (Configure/Release: none runs)
    int repeats_ = 0;               // jobs in a row that found unwrappedSerial_
    std::atomic<uint64_t> skipped_{0};
};

inline constexpr int kPlaybackCycleMs = 27;  // RunPlaybackLoop cadence
inline constexpr int kPositionBarEvery = 5;  // loop cycles per position read
inline constexpr int kStopPasses = 21;       // RequestPlaybackStop's bounded wait
inline constexpr int kLoadStopFirstWaitMs = 300;
inline constexpr int kExitStopFirstWaitMs = 50;

// Position bar value: frame count x position / duration to the nearest
// integer; nothing when the duration is not positive (no bar update).
std::optional<int32_t> PositionBarValue(int64_t position, int64_t duration, int32_t frameCount);

// Counters for diagnostics and tests.
struct PlaybackStats {
    uint64_t loopsStarted = 0;   // RunPlaybackLoop entries
    uint64_t cycles = 0;         // loop cycles, all streams
    uint64_t unwrapStarted = 0;  // unwrap jobs started
    uint64_t unwrapDropped = 0;  // cycles that found the unwrap busy
    uint64_t positionReads = 0;  // position reads of the loop
    uint64_t restarts = 0;       // RestartVideo runs (button or repeat)
};

// The position bar value the loop published last, with the number of values
// published so far: a window that sees `serial` change moves its bar to
// `value` (every fifth loop cycle while a stream with a duration plays).
struct PositionBarUpdate {
    uint64_t serial = 0;
    int32_t value = 1;
};

struct PlaybackOptions {
    // Preroll bound of the build (0 keeps the source's default).
    int32_t prerollTimeoutMs = 0;
    // A different source implementation (default: the GStreamer source).
    FrameSourceFactory factory;
};

class PlaybackController {
  public:
    // The player: frames go through its UnwrapEngine, which its video view
    // also reads (AcquireReady).
    PlaybackController(PlaybackHost& host, UnwrapEngine& engine, PlaybackOptions options = {});
    PlaybackController(PlaybackHost& host, FrameUnwrapper& unwrapper, PlaybackOptions options = {});
    ~PlaybackController();

    PlaybackController(const PlaybackController&) = delete;
    PlaybackController& operator=(const PlaybackController&) = delete;

    // ---- GUI thread: opening and stopping ------------------------------

    // The Load command's stop, before the file dialog: stop the source and
    // seek it to 0 (when one is held); when a worker runs,
    // RequestPlaybackStop(300), PumpStep 1, then wait until the source is
    // released (no limit). Without a worker it returns at once.
    void StopForLoad(const PumpStep& pumpStep);

    // The hand-over once the open dialog has returned. `chosenName` is the
    // dialog's result (empty when cancelled); `geometry` is the doughnut
    // geometry the caller has just re-read from CamSetup.xml. Cancelled:
    // PlaybackState = 0, returns false. Otherwise: VideoInfoText =
    // BeginVideoInfo, PlaybackState = 0, CurrentVideoFile = the trimmed
    // name, waits (pumping) until any previous worker has released its
    // source — stopping it first if it still plays — and starts VideoWorker;
    // PlaybackState = 0; returns true. Failures of the build are reported by
    // the build through the host's MessageSink.
    bool OpenVideo(const std::string& chosenName, const DoughnutGeometry& geometry,
                   const PumpStep& pumpStep);

    // The stop handshake: PlaybackState = 1, a first wait of up to twice
    // firstWaitMs, then up to 21 passes of pumpStep(10) + 10 ms,
    // re-asserting the request over a "2" the worker has just written;
    // finally PlaybackState = 0. Every wait ends as soon as PlaybackState
    // is 0 or no worker runs, so without a worker it returns at once.
    // Bounded (about 420 ms plus twice the first wait). The request also
    // stays recorded for the running worker, so it ends even when it missed
    // the handshake.
    void RequestPlaybackStop(int firstWaitMs, const PumpStep& pumpStep);

    // Passes of pumpStep(10) until the worker has released the source and
    // returned (the "wait until GraphActive is 0"); then joins it.
    void WaitUntilReleased(const PumpStep& pumpStep);

    // The exit sequence's part: stop the source, AppClosing = 1,
    // RequestPlaybackStop(50), wait until released. Idempotent. The host's
    // own steps (presentation wait, SaveVolumeLevel, closing the view) go
    // between SetAppClosing() and RequestPlaybackStop() when the caller
    // needs them there; then it calls the pieces itself.
    void Shutdown(const PumpStep& pumpStep);

    // Stops the source (media control Stop) when one is held.
    void StopSource();
    // AppClosing = 1, never cleared: the loop ends at its next cycle.
    void SetAppClosing();

    // ---- GUI thread: transport and sound (each does nothing and returns
    // false unless a video is open: GraphActive 1 and the source held) ----

    // Run; from position 0 first when the last position read equals the
    // duration exactly (the video had ended).
    bool PlayVideo();
    // Pause; the position stays. A user's pause holds: the automatic
    // restart of "Repeat the video" does not run the video again until
    // PlayVideo or RestartVideo.
    bool PauseVideo();
    // Sleep 100 ms, pause, seek to 0 (waiting for the state before and
    // after), run. Also run by the loop for "Repeat the video".
    bool RestartVideo();
    // Only while the loop runs: pause, seek to average time per frame x n,
    // pumpStep(250), run. n is clamped to 0 .. frame count.
    bool SeekToFrame(int32_t n, const PumpStep& pumpStep);
    // Never waits: asks the loop to pause and go to frame n (clamped to 0 ..
    // frame count) at its next cycle. A request not yet taken is replaced
    // by a newer one, so a fast drag ends on its last frame. Position()
    // reports the target at once. The video stays paused (as after
    // PauseVideo). Only while the loop runs.
    bool RequestSeek(int32_t n);
    // True from a user's pause or seek until the next PlayVideo/RestartVideo.
    bool UserPaused() const { return userPaused_.load(); }

    // SetVolumeLevel for a level button: volume and IndicatorLevel for
    // `level` (1..5) and VolumeLevel = level; when muted, also SoundMuted = 0
    // ("soundon"). Levels outside 0..5 change nothing.
    bool SetVolumeLevel(int32_t level);
    // Sound button: MuteSound when sound is on, else UnmuteSound.
    bool ToggleSound();
    // SavedVolume = the source's volume; level 0; SoundMuted = 1
    // ("soundoff").
    bool MuteSound();
    // Volume = SavedVolume; SetVolumeLevel(VolumeLevel); SoundMuted = 0
    // ("soundon").
    bool UnmuteSound();

    // ---- any thread: settings and state -------------------------------

    void SetRepeat(bool on) { repeat_.store(on); }
    bool Repeat() const { return repeat_.load(); }
    // LoadVolumeLevel's result (used unchanged; out-of-range levels then
    // leave volume and indicators as they are when applied).
    void SetStoredVolumeLevel(int32_t level) { volumeLevel_.store(level); }
    int32_t VolumeLevel() const { return volumeLevel_.load(); }
    // The sound button shows "soundoff" while this is true, else "soundon".
    bool SoundMuted() const { return soundMuted_.load(); }
    // The level the five indicators show: the first IndicatorLevel lit
    // (kLevelLitRgb), the others unlit (kLevelUnlitRgb), white text; -1
    // until a level was first applied (the indicators keep their start look).
    int32_t IndicatorLevel() const { return indicatorLevel_.load(); }
    int32_t SavedVolume() const { return savedVolume_.load(); }

    int32_t PlaybackState() const { return state_.load(); }
    bool PlaybackLoopRunning() const { return loopRunning_.load(); }
    bool AppClosing() const { return appClosing_.load(); }
    // GraphActive 1 and the running source held by the controller.
    bool VideoOpen() const;
    // True from OpenVideo until the worker has returned.
    bool WorkerAlive() const { return !worker_.Finished(); }

    // The last position read by the loop or written by a seek (100 ns).
    int64_t Position() const { return position_.load(); }
    PositionBarUpdate PositionBar() const;
    VideoFormat Format() const;
    std::string CurrentVideoFile() const;
    std::string VideoInfoText() const;
    // Why the last stream ended on its own: the text of the GStreamer error
    // that broke it while playing (a file cut off or damaged, a device
    // gone); empty when none did. The loop then ended as after a stop: the
    // view keeps its last picture and PlaybackState() is kPlayerIdle.
    // Cleared by OpenVideo.
    std::string StreamError() const;
    PlaybackStats Stats() const;

  private:
    void VideoWorker(std::string file);
    void HandOver(FrameSource& source);
    void RunPlaybackLoop(FrameSource& source);
    void TakePendingSeek();
    bool ApplyVolumeLevel(int32_t level);
    bool Restart();
    bool StopWanted() const;

    PlaybackHost& host_;
    std::unique_ptr<FrameUnwrapper> ownUnwrapper_;  // set by the engine constructor
    FrameUnwrapper& unwrapper_;
    PlaybackOptions options_;

    PlaybackWorker worker_;
    SourceHandle source_;

    std::atomic<int32_t> state_{kPlayerIdle};
    std::atomic<bool> loopRunning_{false};
    std::atomic<bool> appClosing_{false};
    std::atomic<bool> repeat_{false};
    std::atomic<bool> userPaused_{false};
    std::atomic<int64_t> pendingSeek_{-1};     // 100 ns; -1: none
    std::atomic<uint64_t> seekGeneration_{0};  // RequestSeek calls so far
    std::atomic<int64_t> position_{0};
    std::atomic<int32_t> volumeLevel_{5};
    std::atomic<bool> soundMuted_{false};
    std::atomic<int32_t> indicatorLevel_{-1};
    std::atomic<int32_t> barValue_{1};
    std::atomic<uint64_t> barSerial_{0};
    std::atomic<int32_t> savedVolume_{0};
    std::atomic<bool> shutDown_{false};

    std::atomic<uint64_t> loopsStarted_{0}, cycles_{0}, unwrapStarted_{0}, unwrapDropped_{0},
        positionReads_{0}, restarts_{0};

    // Written by the GUI thread before a worker starts, or by the worker
    // while it runs; read by any thread.
    mutable std::mutex textMutex_;
    std::string currentFile_;
    std::string videoInfo_;
    std::string streamError_;
    VideoFormat format_;
    DoughnutGeometry geometry_;

    // Owned by the worker thread while a stream runs (the hand-over and the
    // unwrap worker, which never run at the same time as each other's
    // writes: the unwrap worker starts after the first picture is taken).
    FrameBuffer frame_;
};

}  // namespace hv
