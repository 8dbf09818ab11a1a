#include "setup/setup_main_window.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QLayout>
#include <QMoveEvent>
#include <QScreen>
#include <QUrl>

#include "setup/detect_command.h"
#include "setup/ring_fitter.h"
#include "setup/setup_preview.h"
#include "setup/setup_resources.h"
#include "setup/transform_window.h"
#include "setup/window_placement.h"
#include "ui/click_sound.h"
#include "ui/message_box.h"
#include "ui/pump_step.h"

namespace hv::setup {

SetupMainWindow::SetupMainWindow(SetupPaths paths, SetupConfigState initial)
    : QMainWindow(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                               Qt::CustomizeWindowHint),
      paths_(std::move(paths)),
      record_(initial) {
    EnsureSetupResources();
    setWindowTitle(QString::fromLatin1(kSetupWindowTitle));
    setWindowIcon(QIcon(QStringLiteral(":/setup/VIDEO.png")));
    tick_ = new ui::ClickSound(QUrl(QStringLiteral("qrc:/setup/TICK.wav")), this);
    tickB_ = new ui::ClickSound(QUrl(QStringLiteral("qrc:/setup/TICKB.wav")), this);
    sink_ = new ui::MessageBoxSink(this);

    BuildMenus();
    BuildControls(initial);

    // The transform window: 300 stands in for a POPUP_Y never saved.
    record_.Update([](SetupConfigState& s) {
        if (s.settings.popupY == 0) s.settings.popupY = 300;
    });
    transform_ = new TransformWindow(this, [this](int x, int y) {
        record_.Update([x, y](SetupConfigState& s) {
            s.settings.popupX = x;
            s.settings.popupY = y;
        });
    });
    PlaceWindows(initial.settings);

    BuildAccelerators();

    preview_ = std::make_unique<SetupPreview>(record_, *sink_);
    ConnectPreview();
    fitter_ = new RingFitter(*this, initial.geometry);
    detect_ = new DetectCommand(*this);
}

SetupMainWindow::~SetupMainWindow() {
    // Normally the exit sequence has already stopped the worker; a window
    // destroyed otherwise (tests, a session ending) still waits for it here,
    // while it is whole enough to take the wake-ups the wait delivers.
    delete detect_;  // joins its job thread, which posts to it
    detect_ = nullptr;
    if (Controller().WorkerAlive()) Controller().Shutdown([](int ms) { ui::PumpStep(ms); });
    delete fitter_;  // it watches the application's keys and uses preview_
    fitter_ = nullptr;
    preview_->disconnect(this);
    preview_.reset();
    // The transform window reports its moves into record_; it goes before
    // the members do, not with the other children after them.
    delete transform_;
    transform_ = nullptr;
}

QSize SetupMainWindow::FrameSizeOf(QWidget* w, QSize client) {
    // Before the first show the window system has not framed the window
    // yet: assume a usual title bar and border until it has.
    const QMargins assumed(4, 30, 4, 4);
    const QRect frame = w->frameGeometry(), inner = w->geometry();
    const bool framed = frame.size() != inner.size();
    const QMargins m =
        framed ? QMargins(inner.left() - frame.left(), inner.top() - frame.top(),
                          frame.right() - inner.right(), frame.bottom() - inner.bottom())
               : assumed;
    return client.grownBy(m);
}

void SetupMainWindow::PlaceWindows(const SetupSettings& saved) {
    QScreen* inUse = QGuiApplication::screenAt(QCursor::pos());
    if (inUse == nullptr) inUse = QGuiApplication::primaryScreen();
    QList<QRect> screens;
    for (QScreen* s : QGuiApplication::screens()) screens << s->availableGeometry();
    const QRect area = inUse ? inUse->availableGeometry() : QRect(0, 0, 1366, 768);
    if (layout()) layout()->activate();
    const WindowPlacement p =
        PlanWindows(saved, FrameSizeOf(this, sizeHint()),
                    FrameSizeOf(transform_, transform_->size()), area, screens);
    move(p.main);
    transform_->move(p.transform);
}

int SetupMainWindow::KeypadClicks() const {
    return tickB_->PlayCount();
}

int SetupMainWindow::ButtonClicks() const {
    return tick_->PlayCount();
}

void SetupMainWindow::closeEvent(QCloseEvent* e) {
    if (exitConfirmed_ || ConfirmExit(false)) {
        e->accept();
        return;
    }
    e->ignore();
}

void SetupMainWindow::moveEvent(QMoveEvent* e) {
    QMainWindow::moveEvent(e);
    const QPoint p = pos();
    record_.Update([p](SetupConfigState& s) {
        s.settings.mainX = p.x();
        s.settings.mainY = p.y();
    });
}

}  // namespace hv::setup
