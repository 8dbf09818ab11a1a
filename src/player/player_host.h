// The playback's view of the player: PlaybackHost for the main window. Its
// calls arrive on the video worker and the unwrap worker; each becomes a
// queued wake-up of the main window (the window then reads the controller)
// or a render request to the ViewPresenter. Nothing here touches a widget.
#pragma once

#include "playback/playback_host.h"

namespace hv::ui {
class MessageBoxSink;
}

namespace hv::player {

class MainWindow;
class ViewPresenter;

// What the playback woke the main window for (PlaybackHost's calls of the
// same names).
enum class PlaybackWake {
    VideoStarting,
    StreamOpened,
    StreamStarted,
    StreamEnded,
    VideoClosed,
};

class PlayerHost : public PlaybackHost {
  public:
    PlayerHost(MainWindow& window, ViewPresenter& presenter, hv::ui::MessageBoxSink& messages)
        : window_(window), presenter_(presenter), messages_(messages) {}

    MessageSink& Messages() override;
    void VideoStarting() override { Wake(PlaybackWake::VideoStarting); }
    void StreamOpened() override { Wake(PlaybackWake::StreamOpened); }
    void StreamStarted(const RingGeometry& ring) override;
    void StreamEnded() override { Wake(PlaybackWake::StreamEnded); }
    void VideoClosed() override { Wake(PlaybackWake::VideoClosed); }
    void RequestRender() override;

  private:
    // Queues the wake-up onto the window's thread; dropped with the window.
    void Wake(PlaybackWake wake);

    MainWindow& window_;
    ViewPresenter& presenter_;
    hv::ui::MessageBoxSink& messages_;
};

}  // namespace hv::player
