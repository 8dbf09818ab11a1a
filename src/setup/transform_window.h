// The "Output 360 stream" window: the unwrapped preview strip, 1010 x 280.
// It cannot be closed by the user; it lives as long as the main window that
// owns it, and every move is written to POPUP_X / POPUP_Y in memory.
#pragma once

#include <QWidget>
#include <functional>

#include "setup/picture_view.h"

namespace hv::setup {

class TransformWindow : public QWidget {
    Q_OBJECT
  public:
    // onMoved(x, y) receives the window's new screen position.
    TransformWindow(QWidget* owner, std::function<void(int, int)> onMoved);

    PictureView* Preview() const { return preview_; }
    // The preview picture starts outside the client area (0, -1000) and is
    // moved into view when the first video is chosen.
    void RevealPreview();
    bool PreviewRevealed() const;

    // "Transform Window" on the background.
    void ShowInitialPicture();

  protected:
    void closeEvent(QCloseEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

  private:
    PictureView* preview_;
    std::function<void(int, int)> onMoved_;
};

}  // namespace hv::setup
