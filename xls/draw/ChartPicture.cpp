#include "xls/draw/ChartPicture.h"

#include <algorithm>
#include <cmath>

#include "xls/BiffFormat.h"
#include "xls/draw/ChartPainter.h"
#include "xls/draw/ChartReader.h"
#include "xls/draw/FontCache.h"
#include "xls/draw/SheetLayout.h"

namespace xls::draw {

namespace {

constexpr int kLastRow = xls::kLastRow, kLastCol = xls::kLastCol;

// The anchor's corners in pixels over a layout that starts at A1 and reaches its last cell.
QRectF anchorRect(const SheetLayout& layout, const ChartAnchor& a) {
    auto x = [&layout](int col, int offset) {
        return layout.colLeft(col) + std::clamp(offset, 0, 1024) / 1024.0 * layout.colWidth(col);
    };
    auto y = [&layout](int row, int offset) {
        return layout.rowTop(row) + std::clamp(offset, 0, 256) / 256.0 * layout.rowHeight(row);
    };
    const QPointF topLeft(x(a.firstCol, a.firstColX), y(a.firstRow, a.firstRowY));
    const QPointF bottomRight(x(a.lastCol, a.lastColX), y(a.lastRow, a.lastRowY));
    return QRectF(topLeft, bottomRight).normalized();
}

ChartAnchor clamped(ChartAnchor a) {
    a.firstCol = std::min(a.firstCol, kLastCol);
    a.lastCol = std::min(a.lastCol, kLastCol);
    a.firstRow = std::min(a.firstRow, kLastRow);
    a.lastRow = std::min(a.lastRow, kLastRow);
    return a;
}

}  // namespace

bool isDrawable(const ChartObject& chart) { return chart.kind != ChartKind::Other; }

QRectF chartRect(const xls::Workbook& book, int sheetIndex, const ChartObject& chart, double dpi) {
    if (!chart.anchor)
        return QRectF(0, 0, chart.widthPoints * dpi / 72.0, chart.heightPoints * dpi / 72.0);
    const ChartAnchor a = clamped(*chart.anchor);
    FontCache fonts(book.styles(), dpi);
    const xls::CellRange range{0, 0, std::max(a.firstRow, a.lastRow),
                               std::max(a.firstCol, a.lastCol)};
    const SheetLayout layout(book.sheet(sheetIndex), range, fonts.maxDigitWidth(), dpi);
    return anchorRect(layout, a);
}

void paintChart(QPainter& painter, const xls::Workbook& book, const ChartObject& chart,
                const QRectF& area, double dpi) {
    if (!isDrawable(chart)) return;
    FontCache fonts(book.styles(), dpi);
    ChartPainter(chart, fonts, dpi).paint(painter, area);
}

QImage drawChart(const xls::Workbook& book, int sheetIndex, size_t chartIndex,
                 const PictureOptions& options) {
    const std::vector<ChartObject> charts = readCharts(book, sheetIndex);
    if (chartIndex >= charts.size() || !isDrawable(charts[chartIndex])) return {};
    const ChartObject& chart = charts[chartIndex];
    const QRectF place = chartRect(book, sheetIndex, chart, options.dpi);
    const QSize size = pictureSize(QSize(std::max(1, int(std::lround(place.width()))),
                                         std::max(1, int(std::lround(place.height())))),
                                   options);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    paintChart(painter, book, chart, QRectF(QPointF(0, 0), place.size()), options.dpi);
    return image;
}

QImage drawSheet(const xls::Workbook& book, int sheetIndex, const PictureOptions& options,
                 std::vector<std::string>* leftOut) {
    const xls::Sheet& sheet = book.sheet(sheetIndex);
    const std::vector<ChartObject> charts = readCharts(book, sheetIndex);
    std::optional<xls::CellRange> range;
    if (const auto used = sheet.usedRange())
        range = xls::CellRange{0, 0, used->lastRow, used->lastCol};
    for (const ChartObject& chart : charts) {
        if (!isDrawable(chart) && leftOut) leftOut->push_back(chart.kindName);
        if (!chart.anchor) continue;
        const ChartAnchor a = clamped(*chart.anchor);
        if (!range) range = xls::CellRange{0, 0, 0, 0};
        range->lastRow = std::max({range->lastRow, a.firstRow, a.lastRow});
        range->lastCol = std::max({range->lastCol, a.firstCol, a.lastCol});
    }
    if (!range) return {};
    QImage image = drawRange(book, sheetIndex, *range, options);
    FontCache fonts(book.styles(), options.dpi);
    const SheetLayout layout(sheet, *range, fonts.maxDigitWidth(), options.dpi);
    QPainter painter(&image);
    for (const ChartObject& chart : charts) {
        if (!isDrawable(chart) || !chart.anchor) continue;
        ChartPainter(chart, fonts, options.dpi)
            .paint(painter, anchorRect(layout, clamped(*chart.anchor)));
    }
    return image;
}

}  // namespace xls::draw
