#include "ui/clickable_label.h"

#include <QMouseEvent>

namespace hv::ui {

ClickableLabel::ClickableLabel(int id, QWidget* parent) : QLabel(parent), id_(id) {
    setObjectName(QStringLiteral("ctl%1").arg(id));
    setScaledContents(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    flashTimer_.setSingleShot(true);
    connect(&flashTimer_, &QTimer::timeout, this, &ClickableLabel::ShowRest);
}

void ClickableLabel::SetPictures(const QPixmap& normal, const QPixmap& pressed,
                                 const QPixmap& hover) {
    normal_ = normal;
    pressed_ = pressed;
    hover_ = hover;
    ShowRest();
}

void ClickableLabel::SetNormalPicture(const QPixmap& normal) {
    normal_ = normal;
    if (!flashTimer_.isActive()) ShowRest();
}

void ClickableLabel::FlashPressed(int ms) {
    if (!pressed_.isNull()) {
        setPixmap(pressed_);
        repaint();
    }
    flashTimer_.start(ms);
}

void ClickableLabel::SetClickable(bool clickable, const QCursor& cursor) {
    clickable_ = clickable;
    if (clickable)
        setCursor(cursor);
    else
        unsetCursor();
}

void ClickableLabel::ShowRest() {
    if (hovered_ && clickable_ && !hover_.isNull())
        setPixmap(hover_);
    else
        setPixmap(normal_);
}

void ClickableLabel::mousePressEvent(QMouseEvent* e) {
    if (!clickable_ || e->button() != Qt::LeftButton) return QLabel::mousePressEvent(e);
    pressedInside_ = true;
    e->accept();
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* e) {
    if (!clickable_ || e->button() != Qt::LeftButton) return QLabel::mouseReleaseEvent(e);
    const bool inside = rect().contains(e->position().toPoint());
    const bool wasPressed = pressedInside_;
    pressedInside_ = false;
    e->accept();
    if (wasPressed && inside) emit clicked(id_);
}

void ClickableLabel::mouseDoubleClickEvent(QMouseEvent* e) {
    if (!clickable_ || e->button() != Qt::LeftButton) return QLabel::mouseDoubleClickEvent(e);
    // The second press of a double-click counts as a click of its own.
    pressedInside_ = false;
    e->accept();
    emit clicked(id_);
}

void ClickableLabel::enterEvent(QEnterEvent* e) {
    hovered_ = true;
    if (!flashTimer_.isActive()) ShowRest();
    QLabel::enterEvent(e);
}

void ClickableLabel::leaveEvent(QEvent* e) {
    hovered_ = false;
    if (!flashTimer_.isActive()) ShowRest();
    QLabel::leaveEvent(e);
}

}  // namespace hv::ui
