// The playback's view of the player: PlaybackHost for the main window and
// the FrameUnwrapper for its unwrap engine. Called from the video worker and
// the unwrap worker; every effect on a widget is queued onto the GUI thread.
#pragma once

#include <functional>

#include "unwrap/unwrap_engine.h"
#include "playback/playback_controller.h"
#include "playback/playback_host.h"

namespace hv::player {

class MainWindow;

class PlayerHost : public PlaybackHost {
  public:
    explicit PlayerHost(MainWindow& window) : window_(window) {}

    MessageSink& Messages() override;
    void SetTitle(const std::string& text) override;
    void ResetTitle() override;
    void StreamOpened(const VideoFormat& format) override;
    void StreamStarted(const RingGeometry& ring, const VideoFormat& format) override;
    void StreamEnded() override;
    void RequestRender() override;
    void SetPositionBar(int32_t position) override;
    void ShowVolumeLevel(int32_t level) override;
    void ShowSoundOn(bool on) override;

  private:
    // Runs fn on the GUI thread: at once when called there, else queued.
    void OnGui(std::function<void()> fn);

    MainWindow& window_;
};

}  // namespace hv::player
