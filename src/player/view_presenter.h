// The player's view pipeline after the unwrap: a render worker that turns the
// ready panorama into the view image (RenderView), runs the motion update of
// each presented frame and hands the image to the GUI thread, and the widget
// that shows it (VideoView, the "VIDEO" window).
//
// Threads:
//  - RequestRender: any thread (the unwrap worker, about every 27 ms). A
//    request that finds the previous render still running is dropped. A
//    render that would repeat the last presented image (same panorama, same
//    view, settings and size, no motion running) is skipped.
//  - The render job runs on the presenter's own worker thread. It alone
//    touches the ViewBuffer and the renderer. A presentation that finds the
//    previous image not yet taken by the GUI thread is skipped (presentBusy),
//    and so is its motion update.
//  - StartStream: the video worker, when a stream's loop starts.
//  - Everything else, and the widget: GUI thread. Images reach the widget by
//    queued calls on the presenter, which lives as long as the main window,
//    so a queued image never meets a freed widget.
// Stop() joins the worker; afterwards nothing renders and the ViewBuffer may
// be freed.
#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "playback/playback_frame_worker.h"
#include "unwrap/navigation.h"
#include "unwrap/render_view.h"
#include "unwrap/ring_geometry.h"
#include "unwrap/unwrap_engine.h"
#include "unwrap/view_buffer.h"

namespace hv::player {

// "View resolution": the view size the engine derives from the panorama
// (Standard, at most 600 x 400, stretched over the video view) or the video
// view's own pixel size (Window).
enum class ViewResolution : int32_t { Standard = 0, Window = 1 };

// The size the Window resolution renders for a video view of w x h device
// pixels: that size, kept within 16 .. 3840 x 16 .. 2160 and at most three
// times as tall as wide (a taller view's rays would leave the renderers'
// fixed-point range at wide fields of view); the image is stretched over any
// difference.
QSize WindowRenderSize(int w, int h);

// Threads a Window-resolution render splits its rows over: the machine's
// cores, at most 8.
int32_t WindowRenderThreads();

// The "VIDEO" window: shows the newest view image stretched smoothly over its
// whole area and turns keys, mouse and wheel into navigation. Inert once
// appClosing() is true. GUI thread only.
class VideoView : public QWidget {
    Q_OBJECT
  public:
    VideoView(Navigator& navigator, std::function<bool()> appClosing, QWidget* parent);

    // A bottom-up view image (Format_RGB32), as rendered; only its
    // `written` part (memory coordinates; null: all of it) is shown,
    // stretched over the whole area.
    void ShowImage(const QImage& bottomUp, const QRect& written = QRect());
    const QImage& Image() const { return image_; }
    const QRect& WrittenPart() const { return written_; }
    uint64_t Paints() const { return paints_; }

    // The navigation of a key (arrows pan, Shift and Ctrl toggle the zoom).
    void KeyDown(int qtKey);

  signals:
    // A left double-click (the window toggles full screen).
    void doubleClicked();

  protected:
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

  private:
    Navigator& navigator_;
    std::function<bool()> appClosing_;
    QImage image_;
    QRect written_;
    uint64_t paints_ = 0;
    static constexpr int kWheelNotch = 120;
    int wheelRemainder_ = 0;  // wheel units not yet a whole notch, signed
};

class ViewPresenter : public QObject {
    Q_OBJECT
  public:
    ViewPresenter(UnwrapEngine& engine, Navigator& navigator, QObject* parent = nullptr);
    ~ViewPresenter() override;

    // Video worker: set up the view for a stream's view source (InitViewEngine
    // with Ws = Wp, Hs = Hp - inner), reset the navigation and start it
    // turning left. False with a message when no view can be made.
    bool StartStream(const RingGeometry& ring, std::string* error);

    // Any thread: queue one render; dropped while a render runs.
    void RequestRender();

    // Any thread: the settings the next render reads.
    void SetQuality(QualityMode q) { quality_.store(static_cast<int32_t>(q)); }
    QualityMode Quality() const { return static_cast<QualityMode>(quality_.load()); }
    void SetGrayscale(bool on) { grayscale_.store(on); }
    bool Grayscale() const { return grayscale_.load(); }
    void SetSoften(bool on) { soften_.store(on); }
    bool Soften() const { return soften_.load(); }
    // The next render uses the new resolution; the Window size follows the
    // target's resizes (device pixels), also from the next render on.
    void SetViewResolution(ViewResolution r) { resolution_.store(static_cast<int32_t>(r)); }
    ViewResolution Resolution() const { return static_cast<ViewResolution>(resolution_.load()); }
    // Any thread: the video view's size in device pixels (0 x 0: unknown,
    // the Window resolution then renders the Standard size).
    void SetWindowPixels(int w, int h);
    QSize WindowPixels() const;

    // GUI thread: where images go (null: they are dropped).
    void SetTarget(VideoView* view);
    VideoView* Target() const { return target_; }

    // Set from the start of a presentation until the GUI thread has taken
    // its image (or dropped it). Any thread.
    bool PresentRunning() const { return presentRunning_.load(); }

    // GUI thread: no further renders; joins the worker. Idempotent.
    void Stop();
    bool Stopped() const { return stopped_.load(); }

    uint64_t Renders() const { return renders_.load(); }
    uint64_t Presented() const { return presented_.load(); }
    uint64_t RendersDropped() const { return worker_ ? worker_->Dropped() : 0; }
    uint64_t PresentationsSkipped() const { return presentSkipped_.load(); }
    // Render requests that found nothing changed since the last presented
    // image and rendered nothing.
    uint64_t RendersUnchanged() const { return unchanged_.load(); }

  signals:
    void imagePresented();

  protected:
    // Follows the target's resizes.
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    struct Session;
    // Everything a rendered image depends on. The view and drag states are
    // those after the presentation's motion update.
    struct RenderKey {
        uint64_t stream = 0;
        const void* pixels = nullptr;
        uint64_t sequence = 0;
        FlipMode mode = 0;
        const ViewRenderer* renderer = nullptr;
        int32_t width = 0, height = 0;
        RenderOptions options;
        ViewState view;
        DragState drag;
    };
    static bool SameKey(const RenderKey& a, const RenderKey& b);
    // Render worker: the renderer of the Window resolution for the session,
    // rebuilt when the window size changes; null when the window size is
    // unknown or no view of that size can be made.
    ViewRenderer* WindowRenderer(const Session& session);
    void RenderJob();                                       // render worker
    void Deliver(const QImage& img, const QRect& written);  // GUI thread

    UnwrapEngine& engine_;
    Navigator& navigator_;
    QPointer<VideoView> target_;

    std::mutex sessionMutex_;  // guards session_ (the pointer)
    std::shared_ptr<Session> session_;
    ViewBuffer viewBuffer_;  // render worker only
    // Render worker only: the Window renderer and the Standard setup it was
    // built for (held, so a new session is never mistaken for it).
    std::unique_ptr<ViewRenderer> windowRenderer_;
    std::shared_ptr<const ViewSetup> windowFor_;
    // Render worker only: the last presented image's key, and whether its
    // motion update left the view as it was (the view is at rest).
    RenderKey lastKey_;
    bool atRest_ = false;
    // Render worker only: the view of the last render and its stream, from
    // which the next render's demand on the unwrap extrapolates the motion.
    ViewState demandFrom_;
    uint64_t demandStream_ = 0;
    bool waitedForUnwrap_ = false;  // the last render waited for the view's part
    // Set when the last image may not have reached the screen (new target,
    // dropped delivery): the next request renders whatever the key says.
    std::atomic<bool> forceRender_{true};
    std::atomic<uint64_t> stream_{0};  // StartStream calls so far

    std::atomic<int32_t> quality_{static_cast<int32_t>(QualityMode::High)};
    std::atomic<bool> grayscale_{false};
    std::atomic<bool> soften_{false};
    std::atomic<int32_t> resolution_{static_cast<int32_t>(ViewResolution::Standard)};
    std::atomic<uint64_t> windowPixels_{0};  // width << 32 | height
    std::atomic<bool> presentRunning_{false};
    std::atomic<bool> stopped_{false};
    std::atomic<uint64_t> renders_{0}, presented_{0}, presentSkipped_{0}, unchanged_{0};
    std::unique_ptr<FrameJobWorker> worker_;
};

}  // namespace hv::player
