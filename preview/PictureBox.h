#pragma once

#include <QImage>
#include <QWidget>

// A picture box: shows a picture at its top-left corner on its background colour. With auto-size
// on, the box takes the picture's size plus its border (only the border when it has no picture).
// Its persistent drawing surface (the "drawn" image) is what a redraw paints into; it is shown over
// the background when set.
class PictureBox : public QWidget {
    Q_OBJECT
  public:
    explicit PictureBox(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }
    void clearPicture();

    void setDrawnImage(const QImage& image);
    const QImage& drawnImage() const { return drawn_; }

    void setAutoSize(bool on);
    bool autoSize() const { return autoSize_; }

    // Border width in pixels on every side (0: none, 1: a flat line).
    void setBorderWidth(int pixels);
    int borderWidth() const { return border_; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void fitToPicture();

    QImage picture_;
    QImage drawn_;
    bool autoSize_ = false;
    int border_ = 0;
};
