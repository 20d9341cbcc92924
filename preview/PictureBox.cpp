#include "preview/PictureBox.h"

#include <QPainter>

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);  // a fixed white ground, whatever the theme
    p.setColor(QPalette::WindowText, Qt::black);
    setPalette(p);
}

void PictureBox::setPicture(const QImage& picture) {
    picture_ = picture;
    fitToPicture();
    update();
}

void PictureBox::clearPicture() {
    picture_ = QImage();
    update();
}

void PictureBox::setDrawnImage(const QImage& image) {
    drawn_ = image;
    update();
}

void PictureBox::setAutoSize(bool on) {
    autoSize_ = on;
    fitToPicture();
}

void PictureBox::setBorderWidth(int pixels) {
    border_ = pixels < 0 ? 0 : pixels;
    fitToPicture();
    update();
}

// A picture's size in logical pixels: a picture drawn at a device pixel ratio of 2 has twice as
// many pixels each way as it takes on the screen.
static QSize logicalSize(const QImage& picture) { return picture.deviceIndependentSize().toSize(); }

QSize PictureBox::sizeHint() const {
    if (picture_.isNull()) return QWidget::sizeHint();
    return logicalSize(picture_) + QSize(2 * border_, 2 * border_);
}

// Without a picture an auto-sized box shrinks to its border: an empty picture area.
void PictureBox::fitToPicture() {
    if (!autoSize_) return;
    resize(logicalSize(picture_) + QSize(2 * border_, 2 * border_));
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!picture_.isNull()) painter.drawImage(QPoint(border_, border_), picture_);
    if (!drawn_.isNull()) painter.drawImage(QPoint(border_, border_), drawn_);
    if (border_ > 0) {
        painter.setPen(QPen(palette().color(QPalette::Dark), border_));
        painter.setBrush(Qt::NoBrush);
        const qreal half = border_ / 2.0;
        painter.drawRect(QRectF(half, half, width() - border_, height() - border_));
    }
}
