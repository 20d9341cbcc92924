#pragma once

#include <QPainter>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <cstdint>

namespace xls::draw {

// Text turned in its cell (an XF's rotation): 1..90 degrees counter-clockwise, 91..180 for 1..90
// degrees clockwise, 255 for letters stacked top to bottom.
struct RotatedText {
    QString text;
    double degrees = 0;  // counter-clockwise; 0 with `stacked`
    bool stacked = false;
    QRectF bounds;     // the turned text's bounding box, placed in the cell
    double width = 0;  // unturned text width and line height
    double lineHeight = 0;
    double ascent = 0;

    static constexpr uint8_t kStacked = 255;  // the rotation of stacked letters
    static double degreesFor(uint8_t rotation);
    // The bounding box of a `width` x `height` text turned by `degrees`.
    static QSizeF turnedSize(double width, double height, double degrees);

    // Draws into `bounds` with the painter's font; `advance` gives a character's width.
    template <typename Advance>
    void paint(QPainter& painter, Advance advance) const;
};

template <typename Advance>
void RotatedText::paint(QPainter& painter, Advance advance) const {
    if (stacked) {
        double y = bounds.top() + ascent;
        for (const QChar ch : text) {
            painter.drawText(QPointF(bounds.center().x() - advance(ch) / 2.0, y), QString(ch));
            y += lineHeight;
        }
        return;
    }
    painter.save();
    painter.translate(bounds.center());
    painter.rotate(-degrees);  // Qt turns clockwise
    painter.drawText(QPointF(-width / 2.0, -lineHeight / 2.0 + ascent), text);
    painter.restore();
}

}  // namespace xls::draw
