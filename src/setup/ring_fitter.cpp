#include "setup/ring_fitter.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QSlider>
#include <QSpinBox>
#include <QUndoStack>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>

#include "config/typed_number.h"
#include "playback/preview_pump.h"
#include "setup/picture_view.h"
#include "setup/setup_main_window.h"
#include "setup/setup_preview.h"
#include "setup/transform_window.h"

namespace hv::setup {

// One change of the five fitted values. The first redo() (on push) writes
// what is already in the record; later ones write it back.
class GeometryChange : public QUndoCommand {
  public:
    GeometryChange(RingFitter& fitter, const DoughnutGeometry& before,
                   const DoughnutGeometry& after, const QString& text)
        : QUndoCommand(text), fitter_(fitter), before_(before), after_(after) {}
    void undo() override { fitter_.Apply(before_); }
    void redo() override { fitter_.Apply(after_); }

  private:
    RingFitter& fitter_;
    DoughnutGeometry before_, after_;
};

// The magnifier: a square over the doughnut picture showing the frame at
// full resolution (twice that for frames narrower than 1200 pixels) around
// a point, with the ring's circles where the unwrap samples them.
class FitMagnifier : public QWidget {
  public:
    static constexpr int kSide = 200;

    explicit FitMagnifier(QWidget* picture) : QWidget(picture) {
        setObjectName(QStringLiteral("fitMagnifier"));
        setFixedSize(kSide, kSide);
        setAttribute(Qt::WA_TransparentForMouseEvents, true);
        hide();
    }

    void SetFrame(const QImage& frame) {
        frame_ = frame;
        update();
    }
    const QImage& Frame() const { return frame_; }

    // `focus` in frame pixels (continuous, top-down); `ring` the geometry's
    // ring for the frame (no circles when !ringOk).
    void Show(QPointF focus, const RingGeometry& ring, bool ringOk, QPoint pointer) {
        focus_ = focus;
        ring_ = ring;
        ringOk_ = ringOk;
        // Beside the pointer, never under it, inside the picture.
        const QWidget* pic = parentWidget();
        int x = pointer.x() + 24, y = pointer.y() - kSide - 24;
        if (x + kSide > pic->width()) x = pointer.x() - 24 - kSide;
        if (y < 0) y = pointer.y() + 24;
        if (y + kSide > pic->height()) y = pic->height() - kSide;
        move(std::max(0, x), std::max(0, y));
        show();
        raise();
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        if (!frame_.isNull() && ring_.frameW == frame_.width() && ring_.frameH == frame_.height()) {
            const double z = frame_.width() >= 1200 ? 1.0 : 2.0;
            p.save();
            p.translate(kSide / 2.0, kSide / 2.0);
            p.scale(z, z);
            p.translate(-focus_.x(), -focus_.y());
            const double half = kSide / (2 * z) + 2;
            const QRect src = QRectF(focus_.x() - half, focus_.y() - half, 2 * half, 2 * half)
                                  .toAlignedRect()
                                  .intersected(frame_.rect());
            if (!src.isEmpty()) p.drawImage(src.topLeft(), frame_, src);
            if (ringOk_) {
                p.setRenderHint(QPainter::Antialiasing, true);
                p.setBrush(Qt::NoBrush);
                const QPointF c(ring_.cx + 0.5, ring_.cy + 0.5);
                QPen red(QColor(255, 0, 0), 1.5);
                red.setCosmetic(true);
                p.setPen(red);
                p.drawEllipse(c, ring_.D / 2.0, ring_.D / 2.0);
                QPen yellow(QColor(255, 255, 0), 1.5);
                yellow.setCosmetic(true);
                p.setPen(yellow);
                p.drawEllipse(c, double(ring_.inner), double(ring_.inner));
            }
            p.restore();
        } else {
            p.setPen(Qt::white);
            p.drawText(rect(), Qt::AlignCenter, QStringLiteral("waiting for a frame"));
        }
        // Cross hair at the pointer's frame point and a frame round it.
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QColor(255, 255, 255, 160));
        p.drawLine(kSide / 2 - 6, kSide / 2, kSide / 2 + 6, kSide / 2);
        p.drawLine(kSide / 2, kSide / 2 - 6, kSide / 2, kSide / 2 + 6);
        p.setPen(Qt::white);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }

  private:
    QImage frame_;
    QPointF focus_;
    RingGeometry ring_;
    bool ringOk_ = false;
};

namespace {

// A field of the Geometry dialog: its typed text is judged by the plain
// ReadTypedNumber, so what the field takes is the same with every Qt
// version and locale (and fuzzed without widgets).
class GeometryBox : public QSpinBox {
  public:
    using QSpinBox::QSpinBox;

  protected:
    QValidator::State validate(QString& input, int& /*pos*/) const override {
        switch (ReadTypedNumber(input.toStdString(), minimum(), maximum()).state) {
            case TypedState::Acceptable:
                return QValidator::Acceptable;
            case TypedState::Intermediate:
                return QValidator::Intermediate;
            case TypedState::Invalid:
                break;
        }
        return QValidator::Invalid;
    }
    int valueFromText(const QString& text) const override {
        const TypedNumber n = ReadTypedNumber(text.toStdString(), minimum(), maximum());
        return n.state == TypedState::Acceptable ? n.value : value();
    }
};

Qt::CursorShape CursorFor(FitHandle h) {
    switch (h) {
        case FitHandle::Move:
            return Qt::SizeAllCursor;
        case FitHandle::Outer:
            return Qt::SizeFDiagCursor;
        case FitHandle::Inner:
            return Qt::SizeBDiagCursor;
        case FitHandle::None:
            break;
    }
    return Qt::ArrowCursor;
}

QString TextFor(FitHandle h) {
    switch (h) {
        case FitHandle::Move:
            return QStringLiteral("Move the cut area");
        case FitHandle::Outer:
            return QStringLiteral("Resize the external circle");
        case FitHandle::Inner:
            return QStringLiteral("Resize the internal circle");
        case FitHandle::None:
            break;
    }
    return QString();
}

}  // namespace

RingFitter::RingFitter(SetupMainWindow& window, const DoughnutGeometry& saved)
    : QObject(&window), w_(window), undo_(new QUndoStack(this)), saved_(saved) {
    PictureView* picture = w_.doughnut_;
    picture->setMouseTracking(true);
    picture->installEventFilter(this);
    magnifier_ = new FitMagnifier(picture);
    // The arrow keys fit the ring; the seam slider is turned with the mouse.
    w_.rotation_->setFocusPolicy(Qt::NoFocus);
    qApp->installEventFilter(this);
    BuildMenu();
}

RingFitter::~RingFitter() {
    qApp->removeEventFilter(this);
    w_.preview_->WantFrame(false);
}

void RingFitter::BuildMenu() {
    QMenuBar* bar = w_.menuBar();
    auto* edit = new QMenu(QStringLiteral("&Edit"), bar);
    // Before "Help", the last menu.
    const QList<QAction*> menus = bar->actions();
    bar->insertMenu(menus.isEmpty() ? nullptr : menus.last(), edit);

    auto add = [this, edit](const QString& text, QKeySequence key, auto slot) {
        QAction* a = edit->addAction(text);
        if (!key.isEmpty()) {
            a->setShortcut(key);
            // Works from the preview window too.
            a->setShortcutContext(Qt::ApplicationShortcut);
        }
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QAction* undo =
        add(QStringLiteral("Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z), [this] { Undo(); });
    QAction* redo = add(QStringLiteral("Redo"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                        [this] { Redo(); });
    undo->setObjectName(QStringLiteral("fitUndo"));
    redo->setObjectName(QStringLiteral("fitRedo"));
    undo->setEnabled(false);
    redo->setEnabled(false);
    connect(undo_, &QUndoStack::canUndoChanged, undo, &QAction::setEnabled);
    connect(undo_, &QUndoStack::canRedoChanged, redo, &QAction::setEnabled);
    edit->addSeparator();
    add(QStringLiteral("Revert to Saved"), QKeySequence(), [this] {
        RevertToSaved();
    })->setObjectName(QStringLiteral("fitRevert"));
    add(QStringLiteral("Geometry..."), QKeySequence(Qt::CTRL | Qt::Key_G), [this] {
        OpenGeometryDialog();
    })->setObjectName(QStringLiteral("fitGeometry"));
}

DoughnutGeometry RingFitter::Current() const {
    return w_.record_.Snapshot().geometry;
}

OverlayLayout RingFitter::CurrentLayout() const {
    if (!w_.StreamShown()) return {};
    const VideoFormat f = w_.Controller().Format();
    return ComputeOverlay(Current(), f.width, f.height);
}

FitHandle RingFitter::HandleAt(QPointF p) const {
    return HitTest(CurrentLayout(), p);
}

void RingFitter::Apply(const DoughnutGeometry& g) {
    w_.record_.Update([&g](SetupConfigState& s) { s.geometry = WithFittedValues(s.geometry, g); });
    w_.RefreshGeometryLabels();
}

void RingFitter::Edit(const DoughnutGeometry& after, const QString& text) {
    const DoughnutGeometry before = Current();
    if (SameFittedValues(before, after)) return;
    undo_->push(new GeometryChange(*this, before, after, text));
}

void RingFitter::Recorded(const DoughnutGeometry& before, const DoughnutGeometry& after,
                          const QString& text) {
    if (SameFittedValues(before, after)) return;
    undo_->push(new GeometryChange(*this, before, after, text));
}

void RingFitter::Undo() {
    if (dragHandle_ == FitHandle::None) undo_->undo();
}

void RingFitter::Redo() {
    if (dragHandle_ == FitHandle::None) undo_->redo();
}

void RingFitter::RevertToSaved() {
    Edit(saved_, QStringLiteral("Revert to saved"));
}

void RingFitter::TakeFrame(const QImage& frame) {
    magnifier_->SetFrame(frame);
}

bool RingFitter::MagnifierShown() const {
    return magnifier_->isVisible();
}

QSize RingFitter::MagnifierFrameSize() const {
    return magnifier_->Frame().size();
}

void RingFitter::ShowMagnifier(QPointF at) {
    w_.preview_->WantFrame(true);
    const VideoFormat f = w_.Controller().Format();
    const OverlayLayout o = CurrentLayout();
    if (o.h <= 0) return;
    const QPointF focus(at.x() / o.sx, (at.y() - o.t) / o.sy);
    const RingGeometryResult r = BuildRingGeometry(Current(), f.width, f.height);
    RingGeometry ring = r.ring;
    if (!r.ok) ring = o.frameRing;  // the outer circle, when the inner one is refused
    ring.frameW = f.width;
    ring.frameH = f.height;
    magnifier_->Show(focus, ring, r.ok || o.ring, at.toPoint());
}

void RingFitter::HideMagnifier() {
    w_.preview_->WantFrame(false);
    magnifier_->hide();
}

bool RingFitter::eventFilter(QObject* watched, QEvent* e) {
    if (watched == w_.doughnut_) {
        switch (e->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseMove:
            case QEvent::MouseButtonRelease:
            case QEvent::Wheel:
            case QEvent::Leave:
                if (PictureMouse(e)) return true;
                break;
            default:
                break;
        }
    }
    if (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) return Key(watched, e);
    return false;
}

bool RingFitter::PictureMouse(QEvent* e) {
    PictureView* picture = w_.doughnut_;
    if (e->type() == QEvent::Leave) {
        if (dragHandle_ == FitHandle::None && !spaceHeld_) HideMagnifier();
        return false;
    }
    if (e->type() == QEvent::Wheel) {
        auto* we = static_cast<QWheelEvent*>(e);
        const OverlayLayout o = CurrentLayout();
        const int notches = we->angleDelta().y() / 120;
        if (!o.ring || notches == 0 || dragHandle_ != FitHandle::None) return true;
        const int factor = (we->modifiers() & Qt::ShiftModifier) ? 5 : 1;
        const QPointF p = we->position();
        const double k = o.sy > 0 ? o.sx / o.sy : 1.0;
        const double r = std::hypot(p.x() - o.centre.x(), (p.y() - o.centre.y()) * k);
        // The inner circle when the pointer is on it or inside it.
        if (r <= o.innerRadius + kEdgeGrip && HitTest(o, p) != FitHandle::Outer)
            Edit(ResizeInner(Current(), notches * factor),
                 QStringLiteral("Resize the internal circle"));
        else
            Edit(ResizeOuter(Current(), notches * factor),
                 QStringLiteral("Resize the external circle"));
        return true;
    }
    auto* me = static_cast<QMouseEvent*>(e);
    const QPointF p = me->position();
    if (e->type() == QEvent::MouseButtonPress) {
        if (me->button() != Qt::LeftButton) return false;
        const OverlayLayout o = CurrentLayout();
        const FitHandle h = HitTest(o, p);
        if (h == FitHandle::None) return false;
        dragHandle_ = h;
        dragFrom_ = p;
        dragStart_ = Current();
        dragLayout_ = o;
        ShowMagnifier(p);
        return true;
    }
    if (e->type() == QEvent::MouseMove) {
        if (dragHandle_ == FitHandle::None) {
            picture->setCursor(CursorFor(HandleAt(p)));
            if (spaceHeld_) ShowMagnifier(p);
            return false;
        }
        // Live, without an undo step: the release records the whole drag.
        Apply(DragGeometry(dragStart_, dragLayout_, dragHandle_, dragFrom_, p));
        ShowMagnifier(p);
        return true;
    }
    if (e->type() == QEvent::MouseButtonRelease) {
        if (dragHandle_ == FitHandle::None || me->button() != Qt::LeftButton) return false;
        const FitHandle h = dragHandle_;
        Apply(DragGeometry(dragStart_, dragLayout_, h, dragFrom_, p));
        dragHandle_ = FitHandle::None;
        Recorded(dragStart_, Current(), TextFor(h));
        if (!spaceHeld_) HideMagnifier();
        picture->setCursor(CursorFor(HandleAt(p)));
        return true;
    }
    return false;
}

bool RingFitter::Key(QObject* watched, QEvent* e) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr) return false;  // the window-level copy of the event
    QWidget* top = widget->window();
    if (top != &w_ && top != w_.transform_) return false;
    if (QApplication::activeModalWidget() != nullptr ||
        QApplication::activePopupWidget() != nullptr)
        return false;
    auto* ke = static_cast<QKeyEvent*>(e);
    const Qt::KeyboardModifiers mods = ke->modifiers();
    if (mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    const int factor = (mods & Qt::ShiftModifier) ? 5 : 1;

    if (ke->key() == Qt::Key_Space) {
        const QPoint at = w_.doughnut_->mapFromGlobal(QCursor::pos());
        if (!w_.doughnut_->rect().contains(at) || !w_.StreamShown()) return false;
        if (e->type() == QEvent::KeyPress) {
            spaceHeld_ = true;
            ShowMagnifier(at);
        } else if (!ke->isAutoRepeat()) {
            spaceHeld_ = false;
            if (dragHandle_ == FitHandle::None) HideMagnifier();
        }
        return true;
    }

    DoughnutGeometry (*step)(DoughnutGeometry, int) = nullptr;
    int amount = 0, dx = 0, dy = 0;
    QString text;
    switch (ke->key()) {
        case Qt::Key_Left:
            dx = -2;
            break;
        case Qt::Key_Right:
            dx = 2;
            break;
        case Qt::Key_Up:
            dy = -2;
            break;
        case Qt::Key_Down:
            dy = 2;
            break;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            step = ResizeOuter;
            amount = 1;
            break;
        case Qt::Key_Minus:
        case Qt::Key_Underscore:
            step = ResizeOuter;
            amount = -1;
            break;
        case Qt::Key_BracketRight:
        case Qt::Key_BraceRight:
            step = ResizeInner;
            amount = 1;
            break;
        case Qt::Key_BracketLeft:
        case Qt::Key_BraceLeft:
            step = ResizeInner;
            amount = -1;
            break;
        default:
            return false;
    }
    if (e->type() == QEvent::KeyRelease) return true;
    // As the keypad: nothing to fit before a video is shown.
    if (!w_.StreamShown() || dragHandle_ != FitHandle::None) return true;
    if (step != nullptr) {
        Edit(step(Current(), amount * factor), step == ResizeOuter
                                                   ? QStringLiteral("Resize the external circle")
                                                   : QStringLiteral("Resize the internal circle"));
    } else {
        Edit(MoveCut(Current(), dx * factor, dy * factor), QStringLiteral("Move the cut area"));
    }
    return true;
}

QDialog* RingFitter::OpenGeometryDialog() {
    auto* dialog = new QDialog(&w_);
    dialog->setObjectName(QStringLiteral("fitGeometryDialog"));
    dialog->setWindowTitle(QStringLiteral("Geometry"));
    dialog->setAttribute(Qt::WA_DeleteOnClose, true);
    auto* form = new QFormLayout;
    const DoughnutGeometry before = Current();
    const DoughnutGeometry shown = ClampForFitting(before);

    struct Field {
        const char* name;
        const char* label;
        int32_t DoughnutGeometry::*value;
        int32_t lo, hi;
    };
    const Field fields[] = {
        {"fitLeft", "X-pos (left)", &DoughnutGeometry::left, kFitPositionMin, kFitPositionMax},
        {"fitTop", "Y-pos (top)", &DoughnutGeometry::top, kFitPositionMin, kFitPositionMax},
        {"fitWidth", "X-size (width)", &DoughnutGeometry::width, kFitSizeMin, kFitSizeMax},
        {"fitHeight", "Y-size (height, outer diameter)", &DoughnutGeometry::height, kFitSizeMin,
         kFitSizeMax},
        {"fitInner", "Inner radius", &DoughnutGeometry::innerRadius, kFitInnerMin, kFitInnerMax},
    };
    auto* problem = new QLabel(dialog);
    problem->setObjectName(QStringLiteral("fitProblem"));
    problem->setWordWrap(true);
    QPalette pal = problem->palette();
    pal.setColor(QPalette::WindowText, QColor(170, 0, 0));
    problem->setPalette(pal);

    auto boxes = std::make_shared<std::vector<std::pair<QSpinBox*, int32_t DoughnutGeometry::*>>>();
    auto check = [this, problem] {
        const VideoFormat f = w_.Controller().Format();
        QString text;
        if (w_.StreamShown() && f.width > 0 && f.height > 0) {
            const RingGeometryResult r = BuildRingGeometry(Current(), f.width, f.height);
            if (!r.ok)
                text = QStringLiteral("This ring cannot be unwrapped: %1")
                           .arg(QString::fromStdString(r.error));
        }
        problem->setText(text);
    };
    for (const Field& f : fields) {
        auto* box = new GeometryBox(dialog);
        box->setObjectName(QString::fromLatin1(f.name));
        box->setRange(f.lo, f.hi);
        box->setValue(shown.*(f.value));
        box->setKeyboardTracking(true);
        box->setToolTip(QStringLiteral("A whole number from %1 to %2").arg(f.lo).arg(f.hi));
        form->addRow(QString::fromLatin1(f.label), box);
        boxes->push_back({box, f.value});
    }
    for (auto& [box, member] : *boxes) {
        connect(box, &QSpinBox::valueChanged, dialog, [this, boxes, check] {
            DoughnutGeometry g = Current();
            for (auto& [b, m] : *boxes) g.*m = b->value();
            Apply(g);
            check();
        });
    }
    auto* hint =
        new QLabel(QStringLiteral("Units of the 600 x 600 setup square. Changes show at once; "
                                  "Cancel puts the values back."),
                   dialog);
    hint->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    auto* column = new QVBoxLayout(dialog);
    column->addWidget(hint);
    column->addLayout(form);
    column->addWidget(problem);
    column->addWidget(buttons);
    connect(dialog, &QDialog::finished, this, [this, before](int result) {
        if (result == QDialog::Accepted) {
            Recorded(before, Current(), QStringLiteral("Geometry"));
        } else {
            Apply(before);
        }
    });
    check();
    dialog->open();
    return dialog;
}

}  // namespace hv::setup
