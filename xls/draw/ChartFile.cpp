#include "xls/draw/ChartFile.h"

#include <QFileInfo>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <vector>

#include "xls/draw/ChartPicture.h"
#include "xls/draw/ChartReader.h"

namespace xls::draw {

namespace {

constexpr double kDpi = 96.0;

QString notWritten(const QString& path) {
    return QStringLiteral("The file %1 could not be written.").arg(QFileInfo(path).fileName());
}

}  // namespace

QString saveChartPicture(const xls::Workbook& book, int sheetIndex, size_t chartIndex,
                         const QString& path, const SvgDeviceMaker& svg) {
    const std::vector<ChartObject> charts = readCharts(book, sheetIndex);
    if (chartIndex >= charts.size()) return QStringLiteral("The sheet has no chart to save.");
    const ChartObject& chart = charts[chartIndex];
    if (!isDrawable(chart))
        return QStringLiteral("The chart is a %1 chart, which is not drawn.")
            .arg(QString::fromStdString(chart.kindName));
    const QString suffix = QFileInfo(path).suffix().toLower();
    const QSizeF size = chartRect(book, sheetIndex, chart, kDpi).size();
    const QRectF area(QPointF(0, 0), size);
    // Written next to the target and renamed over it once complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return notWritten(path);
    if (suffix == "png") {
        const QImage image = drawChart(book, sheetIndex, chartIndex);
        if (!image.save(&file, "PNG")) return notWritten(path);
    } else if (suffix == "svg") {
        const std::unique_ptr<QPaintDevice> device = svg(file, size, int(kDpi), "Chart");
        QPainter painter(device.get());
        paintChart(painter, book, chart, area, kDpi);
    } else if (suffix == "pdf") {
        QPdfWriter pdf(&file);
        pdf.setResolution(int(kDpi));
        pdf.setPageSize(QPageSize(size * 72.0 / kDpi, QPageSize::Point));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter(&pdf);
        paintChart(painter, book, chart, area, kDpi);
    } else {
        file.cancelWriting();
        return QStringLiteral("The file %1 does not end in .png, .svg or .pdf.")
            .arg(QFileInfo(path).fileName());
    }
    if (!file.commit()) return notWritten(path);
    return {};
}

}  // namespace xls::draw
