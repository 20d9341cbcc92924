#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariant>
#include <optional>

#include "support/Xlrd.h"

// A workbook as an independent reader (python3-xlrd) sees it: the tests check what the program
// writes against it, never against our own engine alone.
struct ReadCell {
    QString kind;  // "empty", "blank", "string", "number", ...
    QVariant value;
    QString format;
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

// Reads `path`; on failure returns nothing and puts the reader's message in `error`.
std::optional<ReadWorkbook> readWithXlrd(const QString& path, QString* error = nullptr);
