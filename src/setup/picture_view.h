// A graphic control: shows a picture 1:1 from its top-left corner, with an
// optional thin sunken edge drawn over the outermost pixels. GUI thread only.
#pragma once

#include <QImage>
#include <QWidget>

namespace hv::setup {

class PictureView : public QWidget {
    Q_OBJECT
  public:
    PictureView(QSize size, bool staticEdge, QWidget* parent = nullptr);

    void SetPicture(const QImage& picture);
    const QImage& Picture() const { return picture_; }
    // Number of pictures shown so far (a video's frames, plus clears).
    int PictureCount() const { return pictureCount_; }

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    QImage picture_;
    bool staticEdge_;
    int pictureCount_ = 0;
};

}  // namespace hv::setup
