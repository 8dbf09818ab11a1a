#include "player/view_presenter.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "unwrap/view_region.h"
#include "unwrap/view_setup.h"

namespace hv::player {

// ---------------------------------------------------------------- VideoView

VideoView::VideoView(Navigator& navigator, std::function<bool()> appClosing, QWidget* parent)
    : QWidget(parent), navigator_(navigator), appClosing_(std::move(appClosing)) {
    setObjectName(QStringLiteral("VIDEO"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::SizeAllCursor);
}

void VideoView::ShowImage(const QImage& bottomUp, const QRect& written) {
    image_ = bottomUp;
    written_ = written.isNull() ? bottomUp.rect() : (written & bottomUp.rect());
    update();
}

void VideoView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    if (image_.isNull()) {
        p.fillRect(r, Qt::black);
        return;
    }
    ++paints_;
    // The rows are bottom-up: flip while stretching over the whole area.
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p.translate(0, r.height());
    p.scale(1, -1);
    p.drawImage(QRect(0, 0, r.width(), r.height()), image_, written_);
}

void VideoView::KeyDown(int qtKey) {
    if (appClosing_ && appClosing_()) return;
    switch (qtKey) {
        case Qt::Key_Left:
            navigator_.PanLeft();
            break;
        case Qt::Key_Right:
            navigator_.PanRight();
            break;
        case Qt::Key_Up:
            navigator_.PanUp();
            break;
        case Qt::Key_Down:
            navigator_.PanDown();
            break;
        case Qt::Key_Shift:
            navigator_.ToggleZoomIn();
            break;
        case Qt::Key_Control:
            navigator_.ToggleZoomOut();
            break;
        default:
            break;
    }
}

void VideoView::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Shift:
        case Qt::Key_Control:
            KeyDown(e->key());
            e->accept();
            return;
        default:
            QWidget::keyPressEvent(e);
    }
}

void VideoView::mousePressEvent(QMouseEvent* e) {
    if (appClosing_ && appClosing_()) return;
    if (e->button() != Qt::LeftButton) return;
    setFocus(Qt::MouseFocusReason);
    const QPoint pos = e->position().toPoint();
    navigator_.ButtonDown(pos.x(), pos.y());
}

void VideoView::mouseMoveEvent(QMouseEvent* e) {
    if (appClosing_ && appClosing_()) return;
    const QPoint pos = e->position().toPoint();
    const bool leftOnly = e->buttons() == Qt::LeftButton &&
                          (e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) == 0;
    // Signed positions: a drag that leaves the window keeps its direction.
    navigator_.MouseMove(pos.x(), pos.y(), leftOnly);
}

void VideoView::mouseReleaseEvent(QMouseEvent* e) {
    if (appClosing_ && appClosing_()) return;
    if (e->button() == Qt::LeftButton) navigator_.ButtonUp();
}

void VideoView::mouseDoubleClickEvent(QMouseEvent* e) {
    if (appClosing_ && appClosing_()) return;
    if (e->button() == Qt::LeftButton) emit doubleClicked();
}

void VideoView::wheelEvent(QWheelEvent* e) {
    if (appClosing_ && appClosing_()) return;
    e->accept();
    const int delta = e->angleDelta().y();
    if (delta == 0) {
        // A wheel message without movement stops the motion; the empty
        // begin and end events of a touchpad gesture are not such messages.
        if (e->phase() == Qt::NoScrollPhase) navigator_.Wheel(0);
        return;
    }
    // Touchpads and free-spinning wheels send many small deltas: one toggle
    // per notch (120 units) in one direction; a reversal starts afresh.
    if ((delta > 0) != (wheelRemainder_ > 0)) wheelRemainder_ = 0;
    wheelRemainder_ += delta;
    while (std::abs(wheelRemainder_) >= kWheelNotch) {
        const int notch = wheelRemainder_ > 0 ? kWheelNotch : -kWheelNotch;
        navigator_.Wheel(notch);
        wheelRemainder_ -= notch;
    }
}

// ------------------------------------------------------------ ViewPresenter

QSize WindowRenderSize(int w, int h) {
    constexpr int kMin = 16;
    const int width = std::clamp(w, kMin, static_cast<int>(kMaxViewWidth));
    const int height = std::clamp(h, kMin, std::min(static_cast<int>(kMaxViewHeight), 3 * width));
    return {width, height};
}

int32_t WindowRenderThreads() {
    return static_cast<int32_t>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
}

struct ViewPresenter::Session {
    std::shared_ptr<const ViewSetup> setup;
    ViewRenderer renderer;
    explicit Session(std::shared_ptr<const ViewSetup> s) : setup(s), renderer(std::move(s)) {}
};

ViewPresenter::ViewPresenter(UnwrapEngine& engine, Navigator& navigator, QObject* parent)
    : QObject(parent), engine_(engine), navigator_(navigator) {
    worker_ = std::make_unique<FrameJobWorker>([this] { RenderJob(); });
}

ViewPresenter::~ViewPresenter() {
    Stop();
}

bool ViewPresenter::StartStream(const RingGeometry& ring, std::string* error) {
    ViewSetupResult r = InitViewEngine(ring.Ws(), ring.Hs());
    if (!r.ok) {
        if (error) *error = r.error;
        return false;
    }
    navigator_.Reset(r.start, r.setup->aspect);
    navigator_.PanLeft();  // the view starts turning left
    auto session = std::make_shared<Session>(r.setup);
    stream_.fetch_add(1);
    std::lock_guard<std::mutex> lock(sessionMutex_);
    session_ = std::move(session);
    return true;
}

void ViewPresenter::RequestRender() {
    if (stopped_.load()) return;
    worker_->Trigger();
}

void ViewPresenter::SetTarget(VideoView* view) {
    if (target_) target_->removeEventFilter(this);
    target_ = view;
    forceRender_.store(true);
    if (!view) return;
    view->installEventFilter(this);
    const qreal ratio = view->devicePixelRatioF();
    SetWindowPixels(qRound(view->width() * ratio), qRound(view->height() * ratio));
}

bool ViewPresenter::eventFilter(QObject* watched, QEvent* e) {
    // A hidden widget's resizes are delivered when it is shown; Show catches
    // a size set before the filter was installed as well.
    if ((e->type() == QEvent::Resize || e->type() == QEvent::Show) && watched == target_) {
        const qreal ratio = target_->devicePixelRatioF();
        const QSize size = target_->size();
        SetWindowPixels(qRound(size.width() * ratio), qRound(size.height() * ratio));
    }
    return QObject::eventFilter(watched, e);
}

void ViewPresenter::SetWindowPixels(int w, int h) {
    const auto packed = (static_cast<uint64_t>(static_cast<uint32_t>(std::max(w, 0))) << 32) |
                        static_cast<uint32_t>(std::max(h, 0));
    windowPixels_.store(packed);
    forceRender_.store(true);  // the widget may not have repainted the stretched image
}

QSize ViewPresenter::WindowPixels() const {
    const uint64_t packed = windowPixels_.load();
    return {static_cast<int>(packed >> 32), static_cast<int>(packed & 0xFFFFFFFFu)};
}

ViewRenderer* ViewPresenter::WindowRenderer(const Session& session) {
    const QSize window = WindowPixels();
    if (window.width() <= 0 || window.height() <= 0) return nullptr;
    const QSize size = WindowRenderSize(window.width(), window.height());
    if (windowRenderer_ && windowFor_ == session.setup &&
        windowRenderer_->setup().Wout == size.width() &&
        windowRenderer_->setup().Hout == size.height()) {
        return windowRenderer_.get();
    }
    windowRenderer_.reset();
    windowFor_.reset();
    const ViewSetupResult r =
        InitViewEngine(session.setup->Ws, session.setup->Hs, size.width(), size.height());
    if (!r.ok) return nullptr;
    windowRenderer_ = std::make_unique<ViewRenderer>(r.setup);
    windowRenderer_->SetThreads(WindowRenderThreads());
    windowFor_ = session.setup;
    return windowRenderer_.get();
}

void ViewPresenter::Stop() {
    if (stopped_.exchange(true)) return;
    worker_->Stop();
    std::lock_guard<std::mutex> lock(sessionMutex_);
    session_.reset();
}

namespace {

bool SameView(const ViewState& a, const ViewState& b) {
    return a.pan == b.pan && a.tilt == b.tilt && a.fov == b.fov && a.minFov == b.minFov &&
           a.maxFov == b.maxFov && a.maxTilt == b.maxTilt && a.minTilt == b.minTilt;
}

bool SameDrag(const DragState& a, const DragState& b) {
    return a.pointerX == b.pointerX && a.pointerY == b.pointerY && a.anchorX == b.anchorX &&
           a.anchorY == b.anchorY && a.moving == b.moving && a.zoomIn == b.zoomIn &&
           a.zoomOut == b.zoomOut && a.stopRequest == b.stopRequest && a.inertia == b.inertia &&
           a.pendingPan == b.pendingPan && a.pendingTilt == b.pendingTilt &&
           a.lastFov == b.lastFov && a.halfV == b.halfV && a.keyStep == b.keyStep;
}

}  // namespace

bool ViewPresenter::SameKey(const RenderKey& a, const RenderKey& b) {
    return a.stream == b.stream && a.pixels == b.pixels && a.sequence == b.sequence &&
           a.mode == b.mode && a.renderer == b.renderer && a.width == b.width &&
           a.height == b.height && a.options.quality == b.options.quality &&
           a.options.grayscale == b.options.grayscale && a.options.soften == b.options.soften &&
           SameView(a.view, b.view) && SameDrag(a.drag, b.drag);
}

void ViewPresenter::RenderJob() {
    if (stopped_.load()) return;
    std::shared_ptr<Session> session;
    {
        std::lock_guard<std::mutex> lock(sessionMutex_);
        session = session_;
    }
    if (!session) return;
    // The Standard setup decides which panoramas fit; the Window renderer's
    // setup has the same source size.
    ViewRenderer* renderer = &session->renderer;
    if (Resolution() == ViewResolution::Window) {
        if (ViewRenderer* window = WindowRenderer(*session)) renderer = window;
    }
    const ViewSetup& setup = renderer->setup();

    PanoramaView panorama = engine_.AcquireReady();
    if (!panorama || panorama.Ws() != setup.Ws || panorama.Hs() != setup.Hs) return;
    const RingGeometry& ring = panorama.Geometry();
    ViewSource src;
    src.pixels = panorama.ViewSource();
    src.width = panorama.Ws();
    src.height = panorama.Hs();
    src.readableRows = ring.Hp + kPanoramaSpareRows - ring.ViewSourceRow(panorama.Mode());

    RenderOptions options;
    options.quality = Quality();
    options.grayscale = Grayscale();
    options.soften = Soften();

    // The drag state is read first: every input and Reset changes it, so a
    // view read after it can only be newer than the key says, never older.
    RenderKey key;
    key.stream = stream_.load();
    key.pixels = panorama.Pixels();
    key.sequence = panorama.Sequence();
    key.mode = panorama.Mode();
    key.renderer = renderer;
    key.width = setup.Wout;
    key.height = setup.Hout;
    key.options = options;
    key.drag = navigator_.Drag();
    key.view = navigator_.Snapshot();
    // A view at rest whose image is on screen: rendering again would show the
    // same pixels, and its motion update would change nothing.
    if (atRest_ && !forceRender_.load() && SameKey(key, lastKey_)) {
        unchanged_.fetch_add(1);
        return;
    }

    // The next frames are unwrapped where this view and its motion will
    // look: the whole panorama costs more than the render at 4K.
    const FlipMode mode = panorama.Mode();
    if (demandStream_ != key.stream) demandFrom_ = key.view;
    engine_.SetDemand(ViewDemand(setup, demandFrom_, key.view, ring, mode));
    demandFrom_ = key.view;
    demandStream_ = key.stream;
    // A view that jumped past the part this panorama holds (the view reset
    // to another direction) would show older frames there: the next unwrap,
    // a cycle away, fills it and asks for a render. Only once in a row, so that a
    // view always moves on.
    if (!panorama.Complete() && !waitedForUnwrap_ &&
        !panorama.Region().Covers(ViewRegion(setup, key.view, ring, mode, 0))) {
        waitedForUnwrap_ = true;
        return;
    }
    waitedForUnwrap_ = false;

    viewBuffer_.Prepare(setup.Wout, setup.Hout);
    const bool ok = renderer->Render(src, key.view, key.drag.moving, options, viewBuffer_);
    panorama.Reset();
    if (!ok) return;
    renders_.fetch_add(1);

    // PresentView: one motion update per presented frame; none while the
    // previous image is still on its way to the screen.
    if (presentRunning_.exchange(true)) {
        presentSkipped_.fetch_add(1);
        atRest_ = false;  // this image never reaches the screen
        return;
    }
    forceRender_.store(false);
    navigator_.AdvanceMotion();
    {
        // The key as the next render will see it, unless something changes.
        const RenderKey before = key;
        key.drag = navigator_.Drag();
        key.view = navigator_.Snapshot();
        atRest_ = SameView(before.view, key.view) && SameDrag(before.drag, key.drag);
        lastKey_ = key;
    }
    QImage image(setup.Wout, setup.Hout, QImage::Format_RGB32);
    const size_t rowBytes = static_cast<size_t>(setup.Wout) * 4;
    const auto* srcRows = reinterpret_cast<const uchar*>(viewBuffer_.data());
    for (int y = 0; y < setup.Hout; ++y)
        std::memcpy(image.scanLine(y), srcRows + rowBytes * static_cast<size_t>(y), rowBytes);
    // The High renderer leaves memory row 0 (the bottom edge) and the last
    // column unwritten, and the soften filter blends the column before it
    // with that one: those are not shown.
    QRect written = image.rect();
    if (options.quality == QualityMode::High) {
        const int right = options.soften ? 2 : 1;
        written = QRect(0, 1, std::max(setup.Wout - right, 1), std::max(setup.Hout - 1, 1));
    }
    QMetaObject::invokeMethod(
        this, [this, image, written] { Deliver(image, written); }, Qt::QueuedConnection);
}

void ViewPresenter::Deliver(const QImage& img, const QRect& written) {
    if (target_ && !stopped_.load()) {
        target_->ShowImage(img, written);
        presented_.fetch_add(1);
        emit imagePresented();
    } else {
        forceRender_.store(true);
    }
    presentRunning_.store(false);
}

}  // namespace hv::player
