// Fill patterns and border lines as pixels.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "xls/draw/BorderLines.h"
#include "xls/draw/FillPatterns.h"

using xls::draw::drawBorderLine;
using xls::draw::fillBrush;
using xls::draw::patternBit;

// Foreground pixels per 4x4 tile: the grey shades carry their share in their names.
TEST(FillPatternsTest, ShareOfForegroundPixels) {
    struct Case {
        int pattern, foreground;
        const char* name;
    };
    const Case cases[] = {{0, 0, "none"},
                          {1, 16, "solid"},
                          {2, 8, "50% grey"},
                          {3, 12, "75% grey"},
                          {4, 4, "25% grey"},
                          {5, 8, "dark horizontal"},
                          {6, 8, "dark vertical"},
                          {7, 8, "dark down diagonal"},
                          {8, 8, "dark up diagonal"},
                          {11, 4, "thin horizontal"},
                          {12, 4, "thin vertical"},
                          {13, 4, "thin down diagonal"},
                          {14, 4, "thin up diagonal"},
                          {15, 7, "thin grid"},
                          {17, 2, "12.5% grey"},
                          {18, 1, "6.25% grey"}};
    for (const Case& c : cases) {
        int count = 0;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) count += patternBit(c.pattern, x, y);
        EXPECT_EQ(count, c.foreground) << c.name;
    }
}

TEST(FillPatternsTest, BrushPaintsForegroundOverBackground) {
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.fillRect(image.rect(), fillBrush(11, QColor(255, 0, 0), QColor(0, 0, 255)));
    painter.end();
    EXPECT_EQ(image.pixel(3, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(3, 1), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(3, 4), qRgb(255, 0, 0));
    EXPECT_EQ(fillBrush(0, Qt::red, Qt::blue).style(), Qt::NoBrush);
    EXPECT_EQ(fillBrush(1, Qt::red, Qt::blue).color(), QColor(Qt::red));
}

// A 20-pixel horizontal border of each style on row 10: painted rows and pixels.
TEST(BorderLinesTest, StylesAsPixels) {
    struct Case {
        int style;
        std::vector<int> rows;  // rows with paint
        int pixelsPerRow;
        const char* name;
    };
    const Case cases[] = {
        {0, {}, 0, "none"},          {1, {10}, 20, "thin"},
        {2, {10, 11}, 20, "medium"}, {5, {9, 10, 11}, 20, "thick"},
        {4, {10}, 10, "dotted"},     {7, {10}, 10, "hair"},
        {3, {10}, 15, "dashed"},     {6, {9, 11}, -1, "double"},
    };
    for (const Case& c : cases) {
        QImage image(40, 20, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        drawBorderLine(painter, c.style, Qt::black, false, 10, 10, 29);
        painter.end();
        std::vector<int> rows;
        for (int y = 0; y < image.height(); ++y) {
            int count = 0;
            for (int x = 0; x < image.width(); ++x) count += image.pixel(x, y) == qRgb(0, 0, 0);
            if (count == 0) continue;
            rows.push_back(y);
            if (c.pixelsPerRow >= 0) {
                EXPECT_EQ(count, c.pixelsPerRow) << c.name << " row " << y;
            }
        }
        EXPECT_EQ(rows, c.rows) << c.name;
    }
}
