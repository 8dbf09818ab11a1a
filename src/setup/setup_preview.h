// SetupPreview: the setup utility's preview host. It owns the preview
// controller, does PreviewStep's work (take the picture, unwrap the preview,
// draw the overlay) on the video worker, and wakes the main window, which
// reads what it shows from here and from the controller. No widgets.
//
// Threads:
//  - GUI thread: construction, destruction, Controller(), TakePictures().
//  - Video worker: the PreviewHost methods. They touch only the record
//    (Snapshot, under its lock), the renderer (worker only), the picture slot
//    (under slotMutex_) and atomics, and emit the signals below.
//
// The signals are wake-ups without data, emitted on the video worker after
// the controller has stored what they announce; connect them with
// Qt::QueuedConnection so that they arrive on the GUI thread in the order the
// worker emitted them.
#pragma once

#include <QObject>
#include <atomic>
#include <memory>
#include <mutex>

#include "playback/preview_host.h"
#include "playback/preview_pump.h"
#include "setup/preview_renderer.h"
#include "setup/setup_state.h"

namespace hv::setup {

class SetupPreview : public QObject, public PreviewHost {
    Q_OBJECT
  public:
    // `record` and `messages` must outlive this object. Create on the GUI
    // thread.
    SetupPreview(const SetupRecord& record, MessageSink& messages);
    // Waits for a worker still running (the exit sequence normally has
    // stopped it already).
    ~SetupPreview() override;

    PreviewController& Controller() { return *controller_; }
    const PreviewController& Controller() const { return *controller_; }

    // The newest pair of pictures since the last call, null images when the
    // worker has handed over none. A slow GUI thread skips frames instead of
    // queueing them: at most one picturesReady waits in its queue.
    SetupPictures TakePictures();

    // While set, each pumped frame also hands over a full-size copy of the
    // frame (SetupPictures::frame). A copy costs a frame's bytes, so the
    // fitting magnifier asks only while it is shown. Any thread.
    void WantFrame(bool want) { wantFrame_.store(want); }

  signals:
    void streamStateChanged();  // title or stream status changed
    void streamOpened();        // Format() holds the running stream's format
    void picturesReady();       // TakePictures() has a new pair
    void streamEnded();         // released; Status() is Off

  private:
    // ---- PreviewHost: video worker -------------------------------------
    MessageSink& Messages() override { return messages_; }
    void StreamStateChanged() override { emit streamStateChanged(); }
    void StreamOpened() override;
    void PreviewStep(FrameSource& source, FrameBuffer& frame) override;
    void StreamEnded() override { emit streamEnded(); }

    const SetupRecord& record_;
    MessageSink& messages_;

    PreviewRenderer renderer_;  // video worker only

    // The newest pair of pictures, written by the worker, taken by the GUI
    // thread; a picturesReady is pending while presentPending_ is set.
    std::mutex slotMutex_;
    SetupPictures slot_;
    std::atomic<bool> presentPending_{false};
    std::atomic<bool> wantFrame_{false};

    // Declared last: destroyed first, so the worker has stopped before the
    // members it uses go away.
    std::unique_ptr<PreviewController> controller_;
};

}  // namespace hv::setup
