#include "PictureTestSupport.h"

#include <QDir>
#include <QStringList>
#include <cstdlib>

namespace picturetest {

std::string dataFile(const std::string& name) {
    return std::string(MORROWLIN_SOURCE_DIR) + "/tests/data/" + name;
}

std::string templateFile() {
    return std::string(MORROWLIN_SOURCE_DIR) + "/resources/Pie Chart.xlt";
}

namespace {

std::vector<std::string> filesIn(const std::string& folder, const QStringList& patterns) {
    std::vector<std::string> names;
    for (const QString& name :
         QDir(QString::fromStdString(folder)).entryList(patterns, QDir::Files, QDir::Name))
        names.push_back(name.toStdString());
    return names;
}

}  // namespace

std::vector<std::string> goldenPictures() { return filesIn(dataFile("golden"), {"*.png"}); }

std::vector<std::string> referenceWorkbooks() { return filesIn(dataFile(""), {"*.xls", "*.xlt"}); }

long differingPixels(const QImage& a, const QImage& b, int tolerance) {
    if (a.size() != b.size()) return -1;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    long count = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            const int dr = std::abs(qRed(p[col]) - qRed(q[col]));
            const int dg = std::abs(qGreen(p[col]) - qGreen(q[col]));
            const int db = std::abs(qBlue(p[col]) - qBlue(q[col]));
            if (dr > tolerance || dg > tolerance || db > tolerance) ++count;
        }
    }
    return count;
}

bool isInk(QRgb pixel) { return qGray(pixel) < 110; }

}  // namespace picturetest
