#include "xls/Sheet.h"

#include <cstring>

#include "xls/BiffFormat.h"
#include "xls/Error.h"
#include "xls/FastPaths.h"
#include "xls/NumericText.h"
#include "xls/WorkbookModel.h"

namespace xls {

namespace {

std::string address(int row, int col) {
    std::string letters;
    for (int c = col + 1; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), char('A' + (c - 1) % 26));
    return letters + std::to_string(row + 1);
}

}  // namespace

std::string Sheet::name() const {
    for (size_t i = 0; i < book_->sheets.size(); ++i)
        if (book_->sheets[i].get() == model_) return book_->globals.sheets()[i].name;
    return {};
}

SheetType Sheet::type() const {
    for (size_t i = 0; i < book_->sheets.size(); ++i) {
        if (book_->sheets[i].get() != model_) continue;
        switch (book_->globals.sheets()[i].type) {
            case 0:
                return model_->isWorksheet() ? SheetType::Worksheet : SheetType::Other;
            case 1:
                return SheetType::Macro;
            case 2:
                return SheetType::Chart;
            default:
                return SheetType::Other;
        }
    }
    return SheetType::Other;
}

[[noreturn]] static void refuseCell(const WorkbookModel& book, int row, int col) {
    if (row < 0 || row > kLastRow || col < 0 || col > kLastCol)
        throw Error(ErrorKind::Unsupported, book.displayName,
                    "cell row " + std::to_string(row + 1) + ", column " + std::to_string(col + 1) +
                        " is outside the sheet");
    throw Error(ErrorKind::Unsupported, book.displayName, "the sheet is not a worksheet");
}

// Every cell call passes here: the test inline, the message out of the way.
static inline void checkCell(const WorkbookModel& book, const SheetModel& model, int row, int col,
                             bool needWorksheet) {
    if (unsigned(row) > kLastRow || unsigned(col) > kLastCol ||
        (needWorksheet && !model.isWorksheet()))
        refuseCell(book, row, col);
}

void Sheet::setValue(int row, int col, const std::string& utf8Text,
                     const NumberConventions& numbers) {
    checkCell(*book_, *model_, row, col, true);
    CellTable& cells = model_->cells();
    // As a spreadsheet application does: part of an array formula or data table cannot change.
    if (auto shared = cells.sharedRangeAt(row, col))
        throw Error(ErrorKind::Unsupported, book_->displayName,
                    address(row, col) + " is part of the " +
                        (shared->table ? "data table" : "array formula") + " over " +
                        address(shared->range.firstRow, shared->range.firstCol) + ":" +
                        address(shared->range.lastRow, shared->range.lastCol));
    const CellTable::Spot spot = cells.spot(row, col);
    const CellTable::StoredCell* existing = spot.cell;
    // The format the cell keeps: its own, else the one its row or column gives.
    const uint16_t xf =
        existing ? cells.xfOf(*existing, col) : model_->defaultXf(spot.rowRecord, col);
    uint8_t data[14];
    set16(data, uint16_t(row));
    set16(data + 2, uint16_t(col));
    set16(data + 4, xf);
    if (utf8Text.empty()) {
        if (!existing) return;
        if (xf == model_->defaultXf(spot.rowRecord, col))
            cells.erase(row, col);
        else
            cells.put(row, col, rt::Blank, data, 6);
        return;
    }
    if (auto number = readNumber(utf8Text, numbers)) {
        uint64_t bits;
        std::memcpy(&bits, &*number, 8);
        set32(data + 6, uint32_t(bits));
        set32(data + 10, uint32_t(bits >> 32));
        // Fast path: putNew() is put() where there is nothing to remove.
        if (existing || !kFastPaths)
            cells.put(existing, row, col, rt::Number, data, 14, /*written=*/true);
        else
            cells.putNew(spot, row, col, rt::Number, data, 14, /*written=*/true);
    } else {
        set32(data + 6, book_->globals.strings().findOrAdd(utf8Text));
        if (existing || !kFastPaths)
            cells.put(existing, row, col, rt::LabelSst, data, 10, /*written=*/true);
        else
            cells.putNew(spot, row, col, rt::LabelSst, data, 10, /*written=*/true);
    }
}

void Sheet::setNumberFormat(int row, int col, const std::string& formatUtf8) {
    checkCell(*book_, *model_, row, col, true);
    CellTable& cells = model_->cells();
    const CellTable::StoredCell* existing = cells.find(row, col);
    uint16_t xf = existing ? cells.xfOf(*existing, col) : model_->defaultXf(row, col);
    uint16_t formatId = book_->globals.findOrAddFormat(formatUtf8);
    uint16_t newXf = book_->globals.findOrAddXf(xf, formatId, book_->displayName);
    if (newXf != xf || !existing) cells.setXf(existing, row, col, newXf);
}

Cell Sheet::cell(int row, int col) const {
    checkCell(*book_, *model_, row, col, false);
    if (!model_->isWorksheet()) return {};
    try {
        return model_->cells().read(row, col, book_->globals.strings());
    } catch (const OutOfBounds&) {
        throw Error(ErrorKind::Corrupt, book_->displayName,
                    "the text of cell " + address(row, col) + " runs past its record");
    }
}

std::optional<CellRange> Sheet::usedRange() const {
    if (!model_->isWorksheet()) return std::nullopt;
    return model_->cells().usedRange();
}

ColumnFormat Sheet::column(int col) const { return model_->column(col); }
RowFormat Sheet::row(int row) const { return model_->row(row); }
int Sheet::defaultRowHeightTwips() const { return model_->defaultRowHeight(); }
int Sheet::defaultColumnWidthChars256() const { return model_->defaultColumnWidth(); }
std::vector<CellRange> Sheet::mergedRanges() const { return model_->mergedRanges(); }
bool Sheet::showGridlines() const { return model_->showGridlines(); }

std::string Sheet::checkInvariants() const { return model_->cells().checkInvariants(); }

}  // namespace xls
