// The settings file reader on arbitrary bytes: it never crashes or hangs; what it reads, QSettings
// reads the same; written back and read again it gives the same text and so the same list; and
// every entry of that list that the editing commands would let in reads back unchanged from a
// list around it.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "entries/EntryCodec.h"
#include "platform/IniText.h"

namespace {

void fail(const char* what, const QByteArray& bytes) {
    std::fprintf(stderr, "ini_fuzzer: %s\ninput: %s\n", what,
                 bytes.toPercentEncoding().constData());
    std::abort();
}

// The value QSettings reads from these bytes under group/key, or nothing. Every call uses a
// fresh file name: QSettings keeps the files it has read by name.
std::optional<QString> qsettingsValue(const QByteArray& bytes, const QString& group,
                                      const QString& key) {
    static QTemporaryDir dir;
    static quint64 counter = 0;
    const QString path = dir.filePath(QString("f%1.ini").arg(++counter));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return std::nullopt;
        file.write(bytes);
    }
    std::optional<QString> value;
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.beginGroup(group);
        if (settings.contains(key)) value = settings.value(key).toString();
    }
    QFile::remove(path);
    return value;
}

// The text written with QSettings and read back with it.
std::optional<QString> qsettingsRoundTrip(const QString& group, const QString& key,
                                          const QString& text) {
    static QTemporaryDir dir;
    static quint64 counter = 0;
    const QString path = dir.filePath(QString("w%1.ini").arg(++counter));
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue(group + "/" + key, text);
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray written = file.readAll();
    file.remove();
    return qsettingsValue(written, group, key);
}

// QSettings writes a text with NUL characters in a typed form of its own, in UTF-8, which cannot
// carry half of a surrogate pair.
bool hasLoneSurrogate(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return true;
    }
    return false;
}

EntryList listOf(const QString& text) {
    EntryList list;
    for (const EntryCodec::StoredPiece& piece : EntryCodec::SplitStoredText(text))
        list.append({piece.label, piece.amount.value_or(QString())});
    return list;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto read = platform::IniText::readSingleValueFile(bytes);

    // Values of any text go through the writer too: the input itself, read as UTF-8.
    const QString asText = QString::fromUtf8(bytes);
    if (const auto file = platform::IniText::singleValueFile("Morrowlin", "Assets", asText)) {
        const auto again = platform::IniText::readSingleValueFile(*file);
        if (!again || again->text != asText) fail("a written value does not read back", bytes);
    }
    if (!read) return 0;

    if (const auto theirs = qsettingsValue(bytes, read->group, read->key); theirs != read->text) {
        std::fprintf(stderr, "ours:   %s\ntheirs: %s\n", read->text.toUtf8().toHex(' ').constData(),
                     theirs ? theirs->toUtf8().toHex(' ').constData() : "(none)");
        fail("QSettings reads another value from the file", bytes);
    }

    // Written back as the store writes it: directly, or through QSettings for a text holding a
    // NUL character, which QSettings writes in a typed form of its own.
    const auto file = platform::IniText::singleValueFile(read->group, read->key, read->text);
    std::optional<QString> againText;
    if (file) {
        const auto again = platform::IniText::readSingleValueFile(*file);
        if (!again || again->group != read->group || again->key != read->key)
            fail("the file written back is not read as one value", bytes);
        againText = again->text;
    } else {
        if (!read->text.contains(QChar(u'\0'))) fail("a value read cannot be written back", bytes);
        if (hasLoneSurrogate(read->text)) return 0;
        againText = qsettingsRoundTrip(read->group, read->key, read->text);
    }
    if (againText != read->text) fail("the value written back reads differently", bytes);

    const EntryList list = listOf(read->text);
    if (listOf(*againText) != list) fail("the list written back reads differently", bytes);
    const Entry before{"Savings", "25000"}, after{"Car", "7500"};
    for (const Entry& entry : list) {
        if (!EntryCodec::readsBackUnchanged(entry)) continue;
        const EntryList around = {before, entry, after};
        if (listOf(EntryCodec::EncodeEntries(around)) != around)
            fail("an entry that reads back alone does not in a list", bytes);
    }
    return 0;
}
