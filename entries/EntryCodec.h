#pragma once

#include <QString>
#include <optional>

#include "entries/Entry.h"

// The stored form of the entry list: for every entry its label, "||SEP1||", its amount and
// "||SEP2||", joined with nothing between them. Nothing is escaped, so some labels cannot be
// stored faithfully (readsBackUnchanged); the editing commands refuse them.
namespace EntryCodec {

inline const QString kLabelSeparator = QStringLiteral("||SEP1||");
inline const QString kEntrySeparator = QStringLiteral("||SEP2||");

// Where the list is stored: application, section, key.
inline const QString kApplication = QStringLiteral("Kestrune");
inline const QString kSection = QStringLiteral("Morrowlin");
inline const QString kKey = QStringLiteral("Assets");

// The six sample entries, in order.
const EntryList& SampleEntries();

// The text read when nothing is stored: the sample entries without the final "||SEP2||".
QString DefaultStoredText();

QString EncodeEntries(const EntryList& entries);

// One non-empty piece of a stored text: the text before its first "||SEP1||" as the label, and
// the text between the first and second "||SEP1||" as the amount, or nothing when the piece holds
// no "||SEP1||".
struct StoredPiece {
    QString label;
    std::optional<QString> amount;
};
QList<StoredPiece> SplitStoredText(const QString& text);

// True when the entry, stored and read back, comes back exactly as it is, wherever it stands in
// a list. Nothing is escaped, so a label that holds a separator fails, and so does one whose end
// runs into the "||SEP1||" that follows it ("Car||SEP1", "x||SEP2|"), or an amount whose start
// or end runs into the separator beside it.
bool readsBackUnchanged(const Entry& entry);

}  // namespace EntryCodec
