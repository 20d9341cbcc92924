#include "xls/draw/RangePicture.h"

#include <algorithm>

#include "xls/draw/RangePainter.h"

namespace xls::draw {

namespace {

QString counted(int count, const char* one, const char* many) {
    return QString("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

}  // namespace

QSize pictureSize(const QSize& full, const PictureOptions& options) {
    const long long maxSide = std::max(1, options.maxSidePixels);
    const long long maxPixels = std::max(1LL, options.maxPixels);
    long long width = std::min<long long>(full.width(), maxSide);
    long long height = std::min<long long>(full.height(), maxSide);
    if (width > 0 && width * height > maxPixels) {
        height = std::max(1LL, maxPixels / width);
        width = std::min(width, maxPixels / height);
    }
    return QSize(static_cast<int>(width), static_cast<int>(height));
}

QString cutNotice(const PictureCut& cut) {
    QString what;
    if (cut.rows > 0) what = counted(cut.rows, "more row", "more rows");
    if (cut.rows > 0 && cut.columns > 0) what += QLatin1String(" and ");
    if (cut.columns > 0) what += counted(cut.columns, "more column", "more columns");
    return QString(QChar(0x2026)) + QLatin1Char(' ') + what + QLatin1String(" not shown");
}

QImage drawRange(const xls::Workbook& book, int sheetIndex, const xls::CellRange& range,
                 const PictureOptions& options, PictureCut* cut) {
    const xls::Sheet& sheet = book.sheet(sheetIndex);
    RangePainter painter(book.styles(), sheet, range, options);
    QImage image = painter.paint();
    if (cut != nullptr) *cut = painter.cut();
    return image;
}

QSize rangePictureSize(const xls::Workbook& book, int sheetIndex, const xls::CellRange& range,
                       const PictureOptions& options) {
    return RangePainter(book.styles(), book.sheet(sheetIndex), range, options).pictureSize();
}

void paintRange(QPainter& painter, const xls::Workbook& book, int sheetIndex,
                const xls::CellRange& range, const PictureOptions& options) {
    RangePainter(book.styles(), book.sheet(sheetIndex), range, options).paintOn(painter);
}

}  // namespace xls::draw
