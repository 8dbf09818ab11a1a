// The habits of a Linux video player on the main window: full screen (F11,
// a double-click on the view, Escape to leave) with the control row shown
// only while the pointer is at the bottom edge, Space for play/pause, Home
// for restart, and a video file dropped from a file manager.
#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenuBar>
#include <QMimeData>
#include <QTimer>

#include "player/commands.h"
#include "player/control_row.h"
#include "player/main_window.h"
#include "player/start_picture.h"
#include "player/view_presenter.h"

namespace hv::player {

namespace {
// How near the bottom edge the pointer brings the control row back.
constexpr int kRevealEdgePx = 6;

// The one local file a drag carries, or "" (several files, a folder, a web
// address).
QString DroppedFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1) return {};
    const QUrl url = mime->urls().first();
    if (!url.isLocalFile()) return {};
    const QString path = url.toLocalFile();
    return QFileInfo(path).isFile() ? path : QString();
}
}  // namespace

void MainWindow::BuildPlayerKeys() {
    // Window-wide keys without a menu item of their own.
    const auto key = [this](const QKeySequence& seq, std::function<void()> run) {
        auto* a = new QAction(this);
        a->setShortcut(seq);
        a->setShortcutContext(Qt::WindowShortcut);
        connect(a, &QAction::triggered, this, std::move(run));
        addAction(a);
        return a;
    };
    key(QKeySequence(Qt::Key_F11), [this] { SetFullScreen(!isFullScreen()); });
    key(QKeySequence(Qt::Key_Escape), [this] {
        if (isFullScreen()) SetFullScreen(false);
    });
    key(QKeySequence(Qt::Key_Space), [this] { TogglePlayPause(); });
    key(QKeySequence(Qt::Key_Home), [this] { Command(kCmdRestart); });
    setAcceptDrops(true);
}

void MainWindow::TogglePlayPause() {
    if (!controller_->VideoOpen()) return;
    Command(controller_->UserPaused() ? kCmdPlay : kCmdPause);
}

void MainWindow::SetFullScreen(bool on) {
    if (on == isFullScreen()) return;
    controlsRevealed_ = false;
    menuBar()->setVisible(!on);
    if (on) {
        showFullScreen();
    } else {
        showNormal();
    }
    LayoutMainWindow();
}

bool MainWindow::FullScreenLayout(int W, int H) {
    const bool hideRow = isFullScreen() && !controlsRevealed_;
    controls_->setVisible(!hideRow);
    if (!hideRow) return false;
    // The picture takes the whole screen; the row waits at the bottom edge.
    if (videoHost_) videoHost_->setGeometry(0, 0, W, H);
    if (startPicture_) startPicture_->setGeometry(0, 0, W, H);
    viewSize_ = QSize(W, H);
    if (view_) view_->setGeometry(0, 0, W, H);
    if (videoHost_) videoHost_->update();
    if (view_) view_->setFocus(Qt::OtherFocusReason);
    return true;
}

void MainWindow::PointerMovedInClient(const QPoint& pos) {
    if (!isFullScreen()) return;
    const int H = client_->height();
    // Shown at the bottom edge; hidden again once the pointer leaves the row.
    const bool reveal =
        controlsRevealed_ ? pos.y() >= H - ControlRow::kHeight - 20 : pos.y() >= H - kRevealEdgePx;
    if (reveal == controlsRevealed_) return;
    controlsRevealed_ = reveal;
    LayoutMainWindow(client_->size(), false);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e) {
    if (!DroppedFile(e->mimeData()).isEmpty()) e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* e) {
    const QString file = DroppedFile(e->mimeData());
    if (file.isEmpty()) return;
    e->acceptProposedAction();
    // After the drop has returned to the file manager: the open waits for
    // the old video to stop.
    QTimer::singleShot(0, this, [this, file] { OpenFile(file); });
}

}  // namespace hv::player
