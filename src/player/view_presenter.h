// The player's view pipeline after the unwrap: a render worker that turns the
// ready panorama into the view image (RenderView), runs the motion update of
// each presented frame and hands the image to the GUI thread, and the widget
// that shows it (VideoView, the "VIDEO" window).
//
// Threads:
//  - RequestRender: any thread (the unwrap worker, about every 27 ms). A
//    request that finds the previous render still running is dropped.
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

  signals:
    void imagePresented();

  private:
    struct Session;
    void RenderJob();                                       // render worker
    void Deliver(const QImage& img, const QRect& written);  // GUI thread

    UnwrapEngine& engine_;
    Navigator& navigator_;
    QPointer<VideoView> target_;

    std::mutex sessionMutex_;  // guards session_ (the pointer)
    std::shared_ptr<Session> session_;
    ViewBuffer viewBuffer_;  // render worker only

    std::atomic<int32_t> quality_{static_cast<int32_t>(QualityMode::High)};
    std::atomic<bool> grayscale_{false};
    std::atomic<bool> soften_{false};
    std::atomic<bool> presentRunning_{false};
    std::atomic<bool> stopped_{false};
    std::atomic<uint64_t> renders_{0}, presented_{0}, presentSkipped_{0};
    std::unique_ptr<FrameJobWorker> worker_;
};

}  // namespace hv::player
