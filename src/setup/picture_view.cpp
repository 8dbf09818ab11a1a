#include "setup/picture_view.h"

#include <QPainter>

namespace hv::setup {

PictureView::PictureView(QSize size, bool staticEdge, QWidget* parent)
    : QWidget(parent), staticEdge_(staticEdge) {
    setFixedSize(size);
    setAttribute(Qt::WA_OpaquePaintEvent, true);
}

void PictureView::SetPicture(const QImage& picture) {
    picture_ = picture;
    ++pictureCount_;
    update();
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (picture_.isNull())
        p.fillRect(rect(), palette().window());
    else
        p.drawImage(QPoint(0, 0), picture_);
    if (staticEdge_) {
        const QRect r = rect().adjusted(0, 0, -1, -1);
        p.setPen(palette().color(QPalette::Dark));
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
    }
}

}  // namespace hv::setup
