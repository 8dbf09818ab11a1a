// The start picture (control 515): SPLASH, shown in the video area until the
// first stream's view replaces it. Keeps the picture's proportions, centred
// on the splash's own dark backdrop, whatever the area's size.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace hv::player {

class StartPicture : public QWidget {
    Q_OBJECT
  public:
    StartPicture(const QPixmap& splash, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    QPixmap splash_;
};

}  // namespace hv::player
