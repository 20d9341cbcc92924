#pragma once

#include <QString>
#include <optional>

#include "entries/EntryImport.h"

// Entries read from a file dropped on the list: a .csv, .tsv or .txt file as text (see
// EntryImport::parseText and decodeText), or an .xls/.xlt workbook read by the spreadsheet
// engine, whose active sheet gives a row for every row whose first two used columns hold a text
// and a number (the number written as its shortest exact decimal text, in the user's number
// conventions where the C form would read otherwise).
namespace EntryFile {

// Larger files are refused rather than read: no list of entries comes near it.
inline constexpr qint64 kMaxBytes = 64LL * 1024 * 1024;

struct Read {
    std::optional<QString> failure;  // why the file could not be read; then nothing is added
    EntryImport::Result rows;
};

// Reads the file at `path`; never throws.
Read read(const QString& path);

// The shortest decimal text that reads back as exactly `value` ("7500", "0.1", "1e+21").
QString numberText(double value);

}  // namespace EntryFile
