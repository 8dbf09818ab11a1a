#include "player/start_picture.h"

#include <QLinearGradient>
#include <QPainter>

namespace hv::player {

StartPicture::StartPicture(const QPixmap& splash, QWidget* parent)
    : QWidget(parent), splash_(splash) {
    setObjectName(QStringLiteral("ctl515"));
    setEnabled(false);  // never reacts to the mouse
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void StartPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient bg(0, 0, 0, height());
    bg.setColorAt(0, QColor(26, 58, 54));
    bg.setColorAt(1, QColor(10, 26, 24));
    p.fillRect(rect(), bg);
    if (splash_.isNull() || width() <= 0 || height() <= 0) return;
    const QSize fit = splash_.size().scaled(size(), Qt::KeepAspectRatio);
    QRect target(QPoint(0, 0), fit);
    target.moveCenter(rect().center());
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p.drawPixmap(target, splash_);
}

}  // namespace hv::player
