#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

#include "entries/Entry.h"

// Rows of entries brought in without typing: text pasted from a spreadsheet or read from a
// .csv/.tsv/.txt file, one row a line, the label and the amount in its first two fields. Each row
// passes the checks "Add New" makes (a label, an amount that passes the numeric test, an entry
// that reads back from the stored form as it is); the rows that fail are refused with their line
// and the reason. Pure logic: no window, no file.
namespace EntryImport {

// A row that was not added: the line it starts on (1-based) and why, as a sentence fragment
// ("the amount \"12a\" is not a number").
struct Refusal {
    int line = 0;
    QString reason;
};

struct Result {
    EntryList entries;       // the accepted rows, in order
    QList<Refusal> refused;  // the refused rows, in order
    bool headerSkipped = false;
};

// Reads `text`. The fields of a row are separated by tabs when the text holds a tab outside
// quotes, else by semicolons when it holds one, else by commas. A field that begins with a
// double quote is quoted as in CSV: separators and line breaks inside belong to it, and "" is one
// quote. Lines end in LF, CRLF or CR; a leading byte-order mark is dropped; blank lines are
// skipped. A first row of two fields or more whose second field is no number is a header and is
// skipped when more rows follow. With commas, an unquoted amount that the commas split
// ("House,250,000") is taken whole when it reads as a number so. Fields after the amount are
// ignored. Labels and amounts are kept as they stand.
Result parseText(const QString& text);

// The reason an entry brought in would be refused, or nothing when "Add New" would take it.
std::optional<QString> refusalReason(const Entry& entry);

// The list as text for the clipboard: one entry a line, the label and the amount separated by a
// tab, each line ended by a line feed. A label or amount holding a tab, a line break or a
// leading quote is quoted, so that parseText reads the text back as the same list.
QString copyText(const EntryList& entries);

// The text of a text file's bytes: UTF-16 (little or big endian) or UTF-8 after their byte-order
// mark, else UTF-8. Returns nothing and sets `reason` when the bytes are not such text.
std::optional<QString> decodeText(const QByteArray& bytes, QString* reason);

// The message telling the refused rows of `result`, read from `source` (a quoted file name, or
// "the clipboard"); the empty text when none was refused. It counts them and lists each line and
// reason, the first kMaxListed of them.
inline constexpr int kMaxListed = 20;
QString refusalMessage(const QString& source, const Result& result);

}  // namespace EntryImport
