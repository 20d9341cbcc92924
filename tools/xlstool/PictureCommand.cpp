#include "PictureCommand.h"

#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <memory>

#include "xls/Workbook.h"
#include "platform/OutputDevices.h"
#include "xls/draw/ChartFile.h"
#include "xls/draw/ChartPicture.h"
#include "xls/draw/ChartReader.h"
#include "xls/draw/RangePicture.h"

namespace xlstool {

namespace {

// QGuiApplication keeps references to argc and argv for its whole life.
int guiArgc = 1;
char guiName[] = "xlstool";
char* guiArgv[] = {guiName, nullptr};

std::unique_ptr<QGuiApplication> ensureGuiApplication() {
    if (QCoreApplication::instance()) return nullptr;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QGuiApplication>(guiArgc, guiArgv);
}

// The picture of the active sheet's used range, of its first chart (--chart), or of the sheet
// from A1 with its charts over the cells (--sheet); null after a message on `err`.
QImage pictureOf(const xls::Workbook& book, const std::string& file, const std::string& what,
                 std::ostream& err) {
    const int sheetIndex = book.activeSheetIndex();
    if (what == "--chart") {
        const std::vector<xls::draw::ChartObject> charts = xls::draw::readCharts(book, sheetIndex);
        if (charts.empty()) {
            err << "xlstool: the active sheet of " << file << " has no chart\n";
            return {};
        }
        if (!xls::draw::isDrawable(charts.front())) {
            err << "xlstool: the first chart of " << file << " is a " << charts.front().kindName
                << " chart, which is not drawn\n";
            return {};
        }
        return xls::draw::drawChart(book, sheetIndex, 0);
    }
    if (what == "--sheet") {
        std::vector<std::string> leftOut;
        QImage image = xls::draw::drawSheet(book, sheetIndex, {}, &leftOut);
        for (const std::string& kind : leftOut)
            err << "xlstool: " << file << ": a " << kind << " chart is not drawn\n";
        if (image.isNull()) err << "xlstool: the active sheet of " << file << " is empty\n";
        return image;
    }
    const auto used = book.sheet(sheetIndex).usedRange();
    if (!used) {
        err << "xlstool: the active sheet of " << file << " has no cells\n";
        return {};
    }
    return xls::draw::drawRange(book, sheetIndex, *used);
}

}  // namespace

int picture(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const bool known =
        args.size() == 3 || (args.size() == 4 && (args[3] == "--chart" || args[3] == "--sheet"));
    if (!known) {
        err << "usage: xlstool picture FILE OUT.png [--chart | --sheet]\n";
        return 2;
    }
    std::unique_ptr<QGuiApplication> app = ensureGuiApplication();
    const xls::Workbook book = xls::Workbook::open(args[1]);
    const QString target = QString::fromStdString(args[2]);
    if (args.size() == 4 && args[3] == "--chart" && !target.endsWith(".png", Qt::CaseInsensitive)) {
        const QString fault = xls::draw::saveChartPicture(book, book.activeSheetIndex(), 0,
                                                             target, platform::svgDevice);
        if (!fault.isEmpty()) err << "xlstool: " << fault.toStdString() << "\n";
        return fault.isEmpty() ? 0 : 1;
    }
    const QImage image = pictureOf(book, args[1], args.size() == 4 ? args[3] : "", err);
    if (image.isNull()) return 1;
    if (!image.save(QString::fromStdString(args[2]), "PNG")) {
        err << "xlstool: could not write " << args[2] << "\n";
        return 1;
    }
    out << image.width() << "x" << image.height() << "\n";
    return 0;
}

}  // namespace xlstool
