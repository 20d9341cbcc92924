#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// The INI file of the settings store holds, in the usual case, one group with one text value.
// Writing and reading that case directly is some twenty times faster than going through
// QSettings (whose writer encodes each character separately), which matters for lists of tens
// of thousands of entries. The bytes are exactly those QSettings writes and reads, so either side
// can read what the other wrote; anything else is left to QSettings. Two exceptions, where
// QSettings' own file would not give the text back: a byte-order mark (U+FEFF) and half of a
// surrogate pair are written as escapes ("\xfeff", "\xd83d"), which both readers read back.
namespace platform::IniText {

// A text value as QSettings' INI writer puts it after "key=": escapes, quotes and UTF-8.
QByteArray escapeValue(const QString& text);

// The whole file for one group with one key ("[Group]\nkey=value\n"). Nothing when the group or
// key would need escaping, or the text holds a NUL character.
std::optional<QByteArray> singleValueFile(const QString& group, const QString& key,
                                          const QString& text);

// Reads a file written as singleValueFile writes it. Nothing when the file holds anything else
// (other keys or groups, comments, a value that QSettings would read as a list, ...).
struct SingleValue {
    QString group;
    QString key;
    QString text;
};
std::optional<SingleValue> readSingleValueFile(QByteArrayView bytes);

}  // namespace platform::IniText
