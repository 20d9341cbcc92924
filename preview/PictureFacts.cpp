#include "preview/PictureFacts.h"

#include <optional>

#include "common/Amounts.h"
#include "xls/Workbook.h"
#include "xls/draw/CellText.h"
#include "xls/draw/SheetLayout.h"

namespace preview {

namespace {

// Column widths play no part in where rows are; any digit width does.
constexpr int kAnyDigitWidth = 7;

std::optional<double> numberIn(const xls::Cell& cell) {
    const xls::CellKind kind = cell.kind == xls::CellKind::Formula ? cell.cachedKind : cell.kind;
    if (kind != xls::CellKind::Number) return std::nullopt;
    return cell.number;
}

// The text a cell shows, without the blanks a number format pads it with ("$250,000").
QString shownText(xls::draw::CellText& text, const xls::Styles& styles, const xls::Cell& cell) {
    const std::optional<xls::draw::CellContent> content = text.content(cell, styles.xf(cell.xf));
    if (!content) return QString();
    std::string shown;
    for (const auto* pieces : {&content->value.left, &content->value.right})
        for (const xls::draw::FormatPiece& piece : *pieces)
            if (piece.kind == xls::draw::FormatPiece::Kind::Text) shown += piece.text;
    return QString::fromStdString(shown).trimmed();
}

// The share written as the user writes numbers, as the amounts are ("12,5 %" in German).
QString share(double value, double total) {
    if (total == 0) return QString("no share of a total of zero");
    return QString("%1 %").arg(common::amountLocale().toString(value / total * 100.0, 'f', 1));
}

}  // namespace

QString columnName(int col) {
    QString name;
    for (int n = col + 1; n > 0; n = (n - 1) / 26) name.prepend(QChar('A' + (n - 1) % 26));
    return name;
}

PictureFacts PictureFacts::read(const xls::Workbook& book, double dpi) {
    PictureFacts facts;
    const xls::Sheet& sheet = book.sheet(book.activeSheetIndex());
    const std::optional<xls::CellRange> used = sheet.usedRange();
    if (!used) return facts;
    facts.shows_ = QString("the cells %1%2:%3%4 of the sheet \"%5\"")
                       .arg(columnName(used->firstCol))
                       .arg(used->firstRow + 1)
                       .arg(columnName(used->lastCol))
                       .arg(used->lastRow + 1)
                       .arg(QString::fromStdString(sheet.name()));
    const xls::draw::SheetLayout layout(sheet, *used, kAnyDigitWidth, dpi);
    // Amounts as the picture shows them: with the user's separators.
    xls::draw::CellText text(book.styles(), common::amountConventions());
    const int labelCol = used->firstCol, amountCol = used->firstCol + 1;

    struct Found {
        int row;
        QString label, amount;
        double value;
    };
    std::vector<Found> entries;
    for (int row = used->firstRow; row <= used->lastRow; ++row) {
        const xls::Cell amount = sheet.cell(row, amountCol);
        const std::optional<double> value = numberIn(amount);
        const QString label = shownText(text, book.styles(), sheet.cell(row, labelCol));
        if (!value || label.isEmpty()) continue;
        entries.push_back({row, label, shownText(text, book.styles(), amount), *value});
    }
    if (entries.empty()) return facts;

    double total = 0;
    bool zeroOrNegative = false;
    for (const Found& e : entries) {
        total += e.value;
        zeroOrNegative = zeroOrNegative || e.value <= 0;
    }
    xls::Cell totalCell = sheet.cell(entries.front().row, amountCol);
    totalCell.kind = totalCell.cachedKind = xls::CellKind::Number;
    totalCell.number = total;
    const QString totalText = shownText(text, book.styles(), totalCell);
    if (zeroOrNegative)
        facts.note_ = QString(
            "Some amounts are zero or negative: spreadsheet programs leave a "
            "zero amount out of the pie and draw a negative amount as a "
            "positive slice.");

    auto rowAt = [&](int row, const QString& said) {
        return Row{layout.rowTop(row), layout.rowTop(row) + layout.rowHeight(row), said};
    };
    const int headingRow = entries.front().row - 1;
    const QString counted =
        entries.size() == 1 ? QString("1 entry") : QString("%1 entries").arg(entries.size());
    if (headingRow >= used->firstRow &&
        !shownText(text, book.styles(), sheet.cell(headingRow, labelCol)).isEmpty())
        facts.rows_.push_back(
            rowAt(headingRow, QString("Total: %1 in %2").arg(totalText, counted)));
    for (const Found& e : entries)
        facts.rows_.push_back(rowAt(
            e.row,
            QString("%1: %2, %3 of %4").arg(e.label, e.amount, share(e.value, total), totalText)));
    return facts;
}

QString PictureFacts::tipAt(double y) const {
    for (const Row& row : rows_)
        if (y >= row.top && y < row.bottom)
            return note_.isEmpty() ? row.facts : row.facts + "\n" + note_;
    return QString();
}

QString PictureFacts::describe() const {
    QString lines;
    for (const Row& row : rows_) lines += row.facts + ".\n";
    if (!note_.isEmpty()) lines += note_ + "\n";
    return lines;
}

}  // namespace preview
