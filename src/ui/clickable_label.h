// A picture that acts as a button: the image controls of the control rows of
// both programs. Shows a normal picture, optionally a hover picture while the
// pointer is over it and a pressed picture for a moment after a click, and
// emits clicked(id) for a click or a double-click. GUI thread only.
#pragma once

#include <QCursor>
#include <QLabel>
#include <QPixmap>
#include <QTimer>

namespace hv::ui {

class ClickableLabel : public QLabel {
    Q_OBJECT
  public:
    explicit ClickableLabel(int id, QWidget* parent = nullptr);

    int Id() const { return id_; }

    // normal is shown at rest; hover (optional) while the pointer is over the
    // label; pressed (optional) during FlashPressed. The label keeps its size.
    void SetPictures(const QPixmap& normal, const QPixmap& pressed = {}, const QPixmap& hover = {});
    // Replaces the rest picture (e.g. "bill2" while a filter is on) and shows it.
    void SetNormalPicture(const QPixmap& normal);
    const QPixmap& NormalPicture() const { return normal_; }
    const QPixmap& PressedPicture() const { return pressed_; }

    // Shows the pressed picture for ms milliseconds, then the rest picture.
    // Does not block: the window keeps painting while the button is down.
    void FlashPressed(int ms = 200);
    bool IsShowingPressed() const { return flashTimer_.isActive(); }

    // A clickable label shows the given cursor under the pointer and emits
    // clicked; a non-clickable one ignores the mouse.
    void SetClickable(bool clickable, const QCursor& cursor = QCursor(Qt::PointingHandCursor));
    bool IsClickable() const { return clickable_; }

    // What the label shows now (normal, hover or pressed picture).
    QPixmap CurrentPicture() const { return pixmap(); }

  signals:
    void clicked(int id);

  protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

  private:
    void ShowRest();

    int id_;
    bool clickable_ = false;
    bool hovered_ = false;
    bool pressedInside_ = false;
    QPixmap normal_, pressed_, hover_;
    QTimer flashTimer_;
};

}  // namespace hv::ui
