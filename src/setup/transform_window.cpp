#include "setup/transform_window.h"

#include <QCloseEvent>
#include <QIcon>
#include <QMoveEvent>

#include "setup/overlay.h"
#include "setup/setup_state.h"

namespace hv::setup {

TransformWindow::TransformWindow(QWidget* owner, std::function<void(int, int)> onMoved)
    : QWidget(owner, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      onMoved_(std::move(onMoved)) {
    setWindowTitle(QString::fromLatin1(kTransformWindowTitle));
    setWindowIcon(QIcon(QStringLiteral(":/setup/VIDEO.png")));
    setFixedSize(kPreviewPictureWidth, kPreviewPictureHeight);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    // The main window's exit decides when the program ends, not this one.
    setAttribute(Qt::WA_QuitOnClose, false);

    preview_ = new PictureView(QSize(kPreviewPictureWidth, kPreviewPictureHeight), false, this);
    preview_->setObjectName(QStringLiteral("ctl100"));
    preview_->move(0, -1000);
    ShowInitialPicture();
}

void TransformWindow::ShowInitialPicture() {
    preview_->SetPicture(CaptionedBackground(kPreviewPictureWidth, kPreviewPictureHeight,
                                             QStringLiteral("Transform Window")));
}

void TransformWindow::RevealPreview() {
    preview_->move(0, 0);
}

bool TransformWindow::PreviewRevealed() const {
    return preview_->pos() == QPoint(0, 0);
}

void TransformWindow::closeEvent(QCloseEvent* e) {
    // The close box and Alt+F4 are swallowed. The owner closes this window by
    // deleting it.
    e->ignore();
}

void TransformWindow::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    if (onMoved_) onMoved_(pos().x(), pos().y());
}

}  // namespace hv::setup
