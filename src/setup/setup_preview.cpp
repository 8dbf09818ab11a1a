#include "setup/setup_preview.h"

#include "ui/pump_step.h"

namespace hv::setup {

SetupPreview::SetupPreview(const SetupRecord& record, MessageSink& messages)
    : record_(record),
      messages_(messages),
      controller_(std::make_unique<PreviewController>(*this)) {}

SetupPreview::~SetupPreview() {
    // A window destroyed without the exit sequence (tests, a session ending)
    // still waits for the worker here, keeping the GUI thread's events live.
    if (controller_->WorkerAlive()) controller_->Shutdown([](int ms) { ui::PumpStep(ms); });
    controller_.reset();
}

SetupPictures SetupPreview::TakePictures() {
    presentPending_.store(false);
    std::lock_guard<std::mutex> lock(slotMutex_);
    SetupPictures shown = std::move(slot_);
    slot_ = SetupPictures();
    return shown;
}

void SetupPreview::StreamOpened() {
    renderer_.Reset();  // a new frame size: the next step recomputes everything
    emit streamOpened();
}

void SetupPreview::PreviewStep(FrameSource& source, FrameBuffer& frame) {
    int32_t size = frame.PictureBytes();
    source.CurrentFrame(frame.data(), &size);
    // One copy of the geometry for both pictures of this frame.
    SetupPictures pictures = renderer_.Render(record_.Snapshot(), frame);
    if (wantFrame_.load() && frame.width > 0 && frame.height > 0 &&
        frame.pixels.size() >= static_cast<size_t>(frame.width) * frame.height) {
        // Bottom-up rows: the mirrored copy is top-down and owns its pixels.
        const QImage bottomUp(reinterpret_cast<const uchar*>(frame.data()), frame.width,
                              frame.height, frame.width * 4, QImage::Format_RGB32);
        pictures.frame = bottomUp.mirrored(false, true);
    }
    {
        std::lock_guard<std::mutex> lock(slotMutex_);
        slot_ = std::move(pictures);
    }
    // At most one hand-over waits in the GUI queue; it shows the newest pair.
    if (presentPending_.exchange(true)) return;
    emit picturesReady();
}

}  // namespace hv::setup
