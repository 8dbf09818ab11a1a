#include "player/player_host.h"

#include <QMessageBox>
#include <QMetaObject>
#include <string>

#include "player/main_window.h"
#include "player/view_presenter.h"
#include "ui/message_box.h"

namespace hv::player {

MessageSink& PlayerHost::Messages() {
    return messages_;
}

void PlayerHost::Wake(PlaybackWake wake) {
    MainWindow* w = &window_;
    QMetaObject::invokeMethod(
        w, [w, wake] { w->OnPlaybackWake(wake); }, Qt::QueuedConnection);
}

void PlayerHost::StreamStarted(const RingGeometry& ring) {
    // The view renderer is set up here, on the video worker, before the loop
    // requests its first render; only the widgets wait for the GUI thread.
    std::string error;
    if (!presenter_.StartStream(ring, &error)) {
        messages_.Post(QMessageBox::Information, QStringLiteral("Error Monitoring"),
                       QString::fromStdString(error));
        return;
    }
    Wake(PlaybackWake::StreamStarted);
}

void PlayerHost::RequestRender() {
    presenter_.RequestRender();
}

}  // namespace hv::player
