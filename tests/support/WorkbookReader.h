#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariant>
#include <optional>

// A workbook as an independent reader (python3-xlrd) sees it: the tests check what the program
// writes against it, never against our own engine alone.
struct ReadCell {
    QString kind;  // "empty", "blank", "string", "number", ...
    QVariant value;
    QString format;
};

struct ChartRef {
    int id = 0;  // 0 series name, 1 values, 2 categories
    int firstRow = 0, lastRow = 0, firstCol = 0, lastCol = 0;  // 0-based
};

struct ReadWorkbook {
    QStringList sheets;
    int active = 0;
    int rowCount = 0;
    QList<ChartRef> chartRefs;
    QMap<QPair<int, int>, ReadCell> cells;  // (row, col), 0-based

    ReadCell cell(int row, int col) const {
        return cells.value({row, col}, ReadCell{"empty", QVariant(), "General"});
    }
};

// True when /usr/bin/python3 with xlrd is there.
bool haveXlrd();

// Reads `path`; on failure returns nothing and puts the reader's message in `error`.
std::optional<ReadWorkbook> readWithXlrd(const QString& path, QString* error = nullptr);
