#include "PictureCommand.h"

#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <memory>

#include "xls/Workbook.h"
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

}  // namespace

int picture(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 3) {
        err << "usage: xlstool picture FILE OUT.png\n";
        return 2;
    }
    std::unique_ptr<QGuiApplication> app = ensureGuiApplication();
    const xls::Workbook book = xls::Workbook::open(args[1]);
    const int sheetIndex = book.activeSheetIndex();
    const auto used = book.sheet(sheetIndex).usedRange();
    if (!used) {
        err << "xlstool: the active sheet of " << args[1] << " has no cells\n";
        return 1;
    }
    const QImage image = xlsdraw::drawRange(book, sheetIndex, *used);
    if (image.isNull() || !image.save(QString::fromStdString(args[2]), "PNG")) {
        err << "xlstool: could not write " << args[2] << "\n";
        return 1;
    }
    out << image.width() << "x" << image.height() << "\n";
    return 0;
}

}  // namespace xlstool
