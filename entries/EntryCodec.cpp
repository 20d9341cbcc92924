#include "entries/EntryCodec.h"

namespace EntryCodec {

const EntryList& SampleEntries() {
    static const EntryList samples = {
        {"Savings", "25000"}, {"401k", "55000"},  {"Stocks", "15000"},
        {"House", "250000"},  {"Bonds", "11000"}, {"Car", "7500"},
    };
    return samples;
}

QString DefaultStoredText() {
    QString text = EncodeEntries(SampleEntries());
    text.chop(kEntrySeparator.size());
    return text;
}

QString EncodeEntries(const EntryList& entries) {
    qsizetype length = 0;
    for (const Entry& e : entries)
        length +=
            e.label.size() + e.amount.size() + kLabelSeparator.size() + kEntrySeparator.size();
    QString text;
    text.reserve(length);
    for (const Entry& e : entries) {
        text += e.label;
        text += kLabelSeparator;
        text += e.amount;
        text += kEntrySeparator;
    }
    return text;
}

QList<StoredPiece> SplitStoredText(const QString& text) {
    QList<StoredPiece> pieces;
    if (text.isEmpty()) return pieces;
    const QStringView all(text);
    qsizetype start = 0;
    while (start <= all.size()) {
        qsizetype end = all.indexOf(kEntrySeparator, start);
        if (end < 0) end = all.size();
        const QStringView piece = all.mid(start, end - start);
        if (!piece.isEmpty()) {
            const qsizetype first = piece.indexOf(kLabelSeparator);
            if (first < 0) {
                pieces.append({piece.toString(), std::nullopt});
            } else {
                const qsizetype amountStart = first + kLabelSeparator.size();
                qsizetype second = piece.indexOf(kLabelSeparator, amountStart);
                if (second < 0) second = piece.size();
                pieces.append({piece.left(first).toString(),
                               piece.mid(amountStart, second - amountStart).toString()});
            }
        }
        start = end + kEntrySeparator.size();
    }
    return pieces;
}

bool readsBackUnchanged(const Entry& entry) {
    // Splitting finds each entry's "||SEP2||" from the entry's own start, and no match can
    // start inside one entry and end in the next, so an entry that reads back alone reads back
    // the same in any list.
    const QList<StoredPiece> pieces = SplitStoredText(EncodeEntries({entry}));
    return pieces.size() == 1 && pieces.front().label == entry.label &&
           pieces.front().amount == entry.amount;
}

}  // namespace EntryCodec
