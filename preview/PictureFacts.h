#pragma once

#include <QString>
#include <vector>

namespace xls {
class Workbook;
}

namespace preview {

// What the Preview's picture of a sheet says, row by row, for its tooltips and its accessible
// text: the table's entries (rows whose first used column holds a value and whose second a
// number), each with its amount as the sheet shows it and its share of the total, and the
// heading row above them with the total and the number of entries. Rows are located in the
// picture's own pixels (the range drawn at `dpi`, unscaled).
class PictureFacts {
  public:
    PictureFacts() = default;
    // The used range of the workbook's active sheet. Throws xls::Error.
    static PictureFacts read(const xls::Workbook& book, double dpi);

    bool empty() const { return rows_.empty(); }
    // The tip for the picture's pixel row `y`: the entry or heading row there, or the empty text
    // over any other row.
    QString tipAt(double y) const;
    // Every row's facts, heading first, one line each.
    QString describe() const;
    // What the picture shows: "the cells A3:B19 of the sheet \"Assets\"".
    const QString& shows() const { return shows_; }

  private:
    struct Row {
        int top = 0, bottom = 0;  // pixel rows [top, bottom)
        QString facts;
    };
    std::vector<Row> rows_;
    QString note_;  // said with every tip when some amounts are zero or negative
    QString shows_;
};

// "A", "Z", "AA", ... for the 0-based column.
QString columnName(int col);

}  // namespace preview
