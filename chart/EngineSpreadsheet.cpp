#include "chart/EngineSpreadsheet.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <optional>
#include <vector>

#include "chart/Template.h"
#include "common/Amounts.h"
#include "common/Failure.h"
#include "platform/Twips.h"
#include "xls/Error.h"
#include "xls/Workbook.h"
#include "xls/draw/RangePicture.h"

namespace chart {

static_assert(kChartEntryLimit == xls::kMaxSeriesPoints, "the pie shows what a series holds");

namespace {

std::string localPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

// What the workbooks of one instance share with it.
struct InstanceState {
    bool quit = false;
    bool displayAlerts = true;
};

void checkRunning(const InstanceState& state) {
    if (state.quit)
        throw common::Failure(
            "The spreadsheet engine instance has already quit; its workbooks are "
            "closed.");
}

class EngineWorkbook;

class EngineRange : public SpreadsheetRange {
  public:
    EngineRange(EngineWorkbook& book, const xls::CellRange& range) : book_(book), range_(range) {}
    void CopyPicture() override;
    QImage copiedPicture() const override { return picture_; }
    int firstRow() const override { return range_.firstRow + 1; }
    int firstColumn() const override { return range_.firstCol + 1; }
    int lastRow() const override { return range_.lastRow + 1; }
    int lastColumn() const override { return range_.lastCol + 1; }

  private:
    EngineWorkbook& book_;
    xls::CellRange range_;
    QImage picture_;
};

class EngineSheet : public SpreadsheetSheet {
  public:
    explicit EngineSheet(EngineWorkbook& book) : book_(book) {}
    void setCellValue(int row, int column, const QString& value) override;
    void setCellNumberFormat(int row, int column, const QString& format) override;
    std::unique_ptr<SpreadsheetRange> UsedRange() override;

  private:
    EngineWorkbook& book_;
};

class EngineWorkbook : public SpreadsheetWorkbook {
  public:
    EngineWorkbook(std::shared_ptr<InstanceState> state, xls::Workbook book, QString path)
        : state_(std::move(state)), book_(std::move(book)), path_(std::move(path)), sheet_(*this) {}

    SpreadsheetSheet& ActiveSheet() override {
        live();
        return sheet_;
    }

    void SaveAs(const QString& path) override {
        live();
        try {
            book_->saveAs(localPath(path));
        } catch (const xls::Error& e) {
            throw common::Failure(QString("The spreadsheet engine could not save the workbook as "
                                          "'%1': %2")
                                      .arg(shown(path), QString::fromUtf8(e.what())));
        }
        path_ = path;
    }

    void Close() override {
        live();
        book_.reset();
    }

    bool isOpen() const { return book_.has_value(); }

    xls::Workbook& book() {
        live();
        return *book_;
    }
    const QString& path() const { return path_; }

  private:
    void live() const {
        checkRunning(*state_);
        if (!book_)
            throw common::Failure(
                QString("The workbook '%1' is already closed.").arg(shown(path_)));
    }

    std::shared_ptr<InstanceState> state_;
    std::optional<xls::Workbook> book_;
    QString path_;
    EngineSheet sheet_;
};

void checkCell(int row, int column) {
    if (row < 1 || row > 65536 || column < 1 || column > 256)
        throw common::Failure(
            QString("The cell at row %1, column %2 lies outside the sheet (rows 1 "
                    "to 65536, columns 1 to 256).")
                .arg(row)
                .arg(column));
}

// Applies `change` to the active sheet's cell at (row, column), counted from 1; `doing` names the
// change in the Failure that an engine error becomes.
template <typename Change>
void changeCell(EngineWorkbook& workbook, int row, int column, const char* doing, Change change) {
    checkCell(row, column);
    xls::Workbook& book = workbook.book();
    try {
        change(book.activeSheet(), row - 1, column - 1);
    } catch (const xls::Error& e) {
        throw common::Failure(QString("The spreadsheet engine could not %1 the cell at row %2, "
                                      "column %3: %4")
                                  .arg(doing)
                                  .arg(row)
                                  .arg(column)
                                  .arg(QString::fromUtf8(e.what())));
    }
}

void EngineSheet::setCellValue(int row, int column, const QString& value) {
    changeCell(book_, row, column, "set", [&](xls::Sheet& sheet, int r, int c) {
        sheet.setValue(r, c, value.toStdString(), common::amountConventions());
    });
}

void EngineSheet::setCellNumberFormat(int row, int column, const QString& format) {
    changeCell(book_, row, column, "format", [&](xls::Sheet& sheet, int r, int c) {
        sheet.setNumberFormat(r, c, format.toStdString());
    });
}

std::unique_ptr<SpreadsheetRange> EngineSheet::UsedRange() {
    const xls::Workbook& book = book_.book();
    // An empty sheet's used range is its first cell, as spreadsheet applications report it.
    const std::optional<xls::CellRange> used = book.sheet(book.activeSheetIndex()).usedRange();
    return std::make_unique<EngineRange>(book_, used.value_or(xls::CellRange{}));
}

void EngineRange::CopyPicture() {
    xls::Workbook& book = book_.book();
    QImage picture;
    try {
        xls::draw::PictureOptions options;
        // At the screen's pixel ratio: a picture of 192 dots per inch at a scale factor of 2,
        // shown sharp in the Preview instead of enlarged.
        const double scale = platform::pictureScale();
        options.dpi = platform::logicalDpi() * scale;
        // Numbers with the separators the user writes them with, as the amounts were read.
        options.numbers = common::amountConventions();
        picture = xls::draw::drawRange(book, book.activeSheetIndex(), range_, options);
        picture.setDevicePixelRatio(scale);
    } catch (const xls::Error& e) {
        throw common::Failure(QString("The spreadsheet engine could not draw the cells of '%1': %2")
                                  .arg(shown(book_.path()), QString::fromUtf8(e.what())));
    }
    if (picture.isNull())
        throw common::Failure(
            QString("The spreadsheet engine could not draw the cells of '%1': the "
                    "picture is empty.")
                .arg(shown(book_.path())));
    picture_ = picture;
    // Without a clipboard the picture is still handed over by copiedPicture().
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setImage(picture);
}

class EngineApplication : public SpreadsheetApplication {
  public:
    EngineApplication() : state_(std::make_shared<InstanceState>()) {}

    QString Name() const override { return QStringLiteral("Morrowlin spreadsheet engine"); }

    std::shared_ptr<SpreadsheetWorkbook> OpenWorkbook(const QString& path) override {
        checkRunning(*state_);
        try {
            auto book = std::make_shared<EngineWorkbook>(
                state_, xls::Workbook::open(localPath(path)), path);
            workbooks_.push_back(book);
            return book;
        } catch (const xls::Error& e) {
            throw common::Failure(QString("The spreadsheet engine could not open '%1': %2")
                                      .arg(shown(path), QString::fromUtf8(e.what())));
        }
    }

    int WorkbookCount() const override {
        checkRunning(*state_);
        return int(openWorkbooks().size());
    }

    std::shared_ptr<SpreadsheetWorkbook> Workbook(int position) override {
        checkRunning(*state_);
        const auto open = openWorkbooks();
        if (position < 1 || position > int(open.size()))
            throw common::Failure(QString("There is no workbook number %1: the spreadsheet engine "
                                          "has %2 open.")
                                      .arg(position)
                                      .arg(open.size()));
        return open[size_t(position - 1)];
    }

    void setDisplayAlerts(bool on) override {
        checkRunning(*state_);
        state_->displayAlerts = on;
    }

    void Quit() override {
        checkRunning(*state_);
        state_->quit = true;
        workbooks_.clear();
    }

    ~EngineApplication() override { state_->quit = true; }

  private:
    std::vector<std::shared_ptr<EngineWorkbook>> openWorkbooks() const {
        std::vector<std::shared_ptr<EngineWorkbook>> open;
        for (const auto& book : workbooks_)
            if (book->isOpen()) open.push_back(book);
        return open;
    }

    std::shared_ptr<InstanceState> state_;
    std::vector<std::shared_ptr<EngineWorkbook>> workbooks_;
};

}  // namespace

std::unique_ptr<SpreadsheetApplication> EngineSpreadsheetClass::CreateNew() {
    return std::make_unique<EngineApplication>();
}

std::unique_ptr<SpreadsheetApplication> EngineSpreadsheetClass::GetRunning() {
    throw common::Failure("No spreadsheet application is running.");
}

}  // namespace chart
