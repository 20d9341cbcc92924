#include "preview/ChartActions.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <exception>

#include "common/Amounts.h"
#include "platform/Dialogs.h"
#include "platform/OutputDevices.h"
#include "platform/Twips.h"
#include "preview/Form2.h"
#include "preview/PictureBox.h"
#include "preview/PicturePath.h"
#include "xls/Workbook.h"
#include "xls/draw/ChartFile.h"
#include "xls/draw/ChartPicture.h"

namespace preview {

namespace {

const QString kSaveTitle = QStringLiteral("Save Chart Picture As");
const QString kSaveFilter =
    QStringLiteral("PNG Picture (*.png);;SVG Drawing (*.svg);;PDF Document (*.pdf)");

}  // namespace

ChartActions::ChartActions(Form2& form, platform::Dialogs& dialogs)
    : QObject(&form), form_(form), dialogs_(dialogs) {
    const struct {
        const char* name;
        const char* text;
        void (ChartActions::*run)();
    } commands[] = {
        {"ShowSheetWithChart", "Show Sheet With Chart", &ChartActions::showSheetWithChart},
        {"ShowUsedRange", "Show Used Range", &ChartActions::showUsedRange},
        {"SaveChartPictureAs", "Save Chart Picture As...", &ChartActions::saveChartPictureAs},
    };
    for (const auto& c : commands) {
        auto* action = new QAction(QString::fromLatin1(c.text), &form_);
        action->setObjectName(QString::fromLatin1(c.name));
        connect(action, &QAction::triggered, this, c.run);
        actions_.append(action);
    }
}

// The hidden box holds the unscaled picture once the window has set up its viewport; before,
// the image box holds it.
QImage ChartActions::shownPicture() const {
    const auto* unscaled = form_.findChild<PictureBox*>("Zoom_Ori");
    if (!form_.firstActivatePending() && unscaled && !unscaled->picture().isNull())
        return unscaled->picture();
    const auto* image = form_.findChild<PictureBox*>("Picture1");
    return image ? image->picture() : QImage();
}

bool ChartActions::showingSheet() const {
    return sheetKey_ != 0 && shownPicture().cacheKey() == sheetKey_;
}

void ChartActions::showSheetWithChart() {
    if (showingSheet()) return;
    QImage sheet;
    try {
        const xls::Workbook book = xls::Workbook::open(form_.mExcelFile.toStdString());
        // At the screen's pixel ratio and tagged with it, as the used range's picture is.
        const double scale = platform::pictureScale();
        xls::draw::PictureOptions options;
        options.dpi = platform::logicalDpi() * scale;
        options.numbers = common::amountConventions();  // as the user writes numbers
        sheet = xls::draw::drawSheet(book, book.activeSheetIndex(), options);
        sheet.setDevicePixelRatio(scale);
    } catch (const std::exception& e) {
        tell(QString("The sheet could not be drawn: %1").arg(QString::fromUtf8(e.what())));
        return;
    }
    if (sheet.isNull()) {
        tell("The sheet could not be drawn: it has no cells and no chart.");
        return;
    }
    usedRange_ = shownPicture();
    form_.loadPicture(sheet);
    sheetKey_ = shownPicture().cacheKey();
}

void ChartActions::showUsedRange() {
    if (!showingSheet()) return;  // a new build's picture is the used range already
    form_.loadPicture(usedRange_);
    usedRange_ = QImage();
    sheetKey_ = 0;
}

void ChartActions::saveChartPictureAs() {
    const QString path = askPicturePath(dialogs_, kSaveTitle, kSaveFilter);
    if (path.isEmpty()) return;
    QString fault;
    try {
        const xls::Workbook book = xls::Workbook::open(form_.mExcelFile.toStdString());
        fault = xls::draw::saveChartPicture(book, book.activeSheetIndex(), 0, path,
                                                 platform::svgDevice);
    } catch (const std::exception& e) {
        fault = QString::fromUtf8(e.what());
    }
    if (!fault.isEmpty()) tell(fault + " The chart picture was not saved.");
}

void ChartActions::tell(const QString& text) {
    dialogs_.messageBox(text, platform::kOkOnly | platform::kExclamation);
}

}  // namespace preview
