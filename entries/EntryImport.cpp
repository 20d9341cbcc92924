#include "entries/EntryImport.h"

#include <QStringDecoder>
#include <QStringList>

#include "entries/EntryCodec.h"
#include "entries/EntryCommands.h"

namespace EntryImport {

namespace {

constexpr QChar kQuote = u'"';
constexpr int kQuotedChars = 40;  // a value a refusal quotes is cut after this many characters

// One row as the fields split it, with the line it starts on.
struct RawRow {
    int line = 0;
    QStringList fields;
    QList<bool> quoted;  // field i began with a quote

    bool blank() const {
        for (int i = 0; i < fields.size(); ++i)
            if (quoted[i] || !fields[i].trimmed().isEmpty()) return false;
        return true;
    }
};

// Splits `text` into rows and fields at `separator`, CSV quotes honoured.
QList<RawRow> splitRows(const QString& text, QChar separator) {
    QList<RawRow> rows;
    RawRow row;
    row.line = 1;
    QString field;
    bool inQuotes = false, fieldQuoted = false, atFieldStart = true, rowHasContent = false;
    int line = 1;
    auto endField = [&] {
        row.fields.append(field);
        row.quoted.append(fieldQuoted);
        field.clear();
        fieldQuoted = false;
        atFieldStart = true;
    };
    auto endRow = [&] {
        endField();
        rows.append(row);
        row = RawRow();
        row.line = line;
        rowHasContent = false;
    };
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        const bool crlf = c == u'\r' && i + 1 < n && text[i + 1] == u'\n';
        if (inQuotes) {
            if (c == kQuote) {
                if (i + 1 < n && text[i + 1] == kQuote) {
                    field += kQuote;
                    ++i;
                } else {
                    inQuotes = false;
                }
            } else if (crlf) {
                field += u'\n';
                ++i;
                ++line;
            } else {
                if (c == u'\n' || c == u'\r') ++line;
                field += c;
            }
            continue;
        }
        rowHasContent = true;
        if (c == kQuote && atFieldStart) {
            inQuotes = fieldQuoted = true;
            atFieldStart = false;
        } else if (c == separator) {
            endField();
        } else if (c == u'\n' || c == u'\r') {
            if (crlf) ++i;
            ++line;
            endRow();
        } else {
            field += c;
            atFieldStart = false;
        }
    }
    if (rowHasContent || !field.isEmpty() || !row.fields.isEmpty()) endRow();
    return rows;
}

bool anyRowSplits(const QList<RawRow>& rows) {
    for (const RawRow& row : rows)
        if (row.fields.size() > 1) return true;
    return false;
}

// The rows split at the first separator that splits any row: tab, semicolon, comma.
QList<RawRow> splitAtSeparator(const QString& text, QChar* used) {
    for (const QChar separator : {QChar(u'\t'), QChar(u';'), QChar(u',')}) {
        QList<RawRow> rows = splitRows(text, separator);
        if (anyRowSplits(rows) || separator == u',') {
            *used = separator;
            return rows;
        }
    }
    return {};
}

// The amount of a row: its second field, or with commas the longest run of unquoted fields from
// the second on that reads as a number once joined by commas ("250" "000" -> "250,000").
QString amountOf(const RawRow& row, QChar separator) {
    if (row.fields.size() < 2) return QString();
    if (separator == u',' && !row.quoted[1]) {
        for (qsizetype end = row.fields.size(); end > 2; --end) {
            bool plain = true;
            for (qsizetype i = 1; i < end; ++i) plain = plain && !row.quoted[i];
            if (!plain) continue;
            const QString joined = row.fields.mid(1, end - 1).join(separator);
            if (EntryCommands::IsNumeric(joined)) return joined;
        }
    }
    return row.fields[1];
}

QString quoted(const QString& value) {
    QString shown = value;
    shown.replace(u'\r', u' ').replace(u'\n', u' ').replace(u'\t', u' ');
    if (shown.size() > kQuotedChars) shown = shown.left(kQuotedChars) + QChar(0x2026);
    return QString("\"%1\"").arg(shown);
}

QString copyField(const QString& value) {
    const bool needsQuotes = value.contains(u'\t') || value.contains(u'\n') ||
                             value.contains(u'\r') || value.startsWith(kQuote);
    if (!needsQuotes) return value;
    QString inner = value;
    inner.replace(kQuote, QStringLiteral("\"\""));
    return kQuote + inner + kQuote;
}

}  // namespace

std::optional<QString> refusalReason(const Entry& entry) {
    if (entry.label.isEmpty()) return QString("the asset type is empty");
    if (entry.amount.isEmpty()) return QString("it has no amount");
    if (!EntryCommands::IsNumeric(entry.amount))
        return QString("the amount %1 is not a number").arg(quoted(entry.amount));
    if (!EntryCodec::readsBackUnchanged(entry))
        return QString(
                   "it holds (or ends in a part of) \"%1\" or \"%2\" and would not read back "
                   "as it is")
            .arg(EntryCodec::kLabelSeparator, EntryCodec::kEntrySeparator);
    return std::nullopt;
}

Result parseText(const QString& input) {
    QString text = input;
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    QChar separator;
    QList<RawRow> rows = splitAtSeparator(text, &separator);
    rows.removeIf([](const RawRow& row) { return row.blank(); });

    Result result;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const RawRow& row = rows[i];
        const QString amount = amountOf(row, separator);
        if (i == 0 && rows.size() > 1 && row.fields.size() >= 2 &&
            !EntryCommands::IsNumeric(amount)) {
            result.headerSkipped = true;
            continue;
        }
        const Entry entry{row.fields[0], amount};
        if (const std::optional<QString> reason = refusalReason(entry))
            result.refused.append({row.line, *reason});
        else
            result.entries.append(entry);
    }
    return result;
}

QString copyText(const EntryList& entries) {
    QString text;
    for (const Entry& entry : entries)
        text += copyField(entry.label) + u'\t' + copyField(entry.amount) + u'\n';
    return text;
}

std::optional<QString> decodeText(const QByteArray& bytes, QString* reason) {
    QStringDecoder::Encoding encoding = QStringDecoder::Utf8;
    qsizetype skip = 0;
    if (bytes.startsWith("\xFF\xFE")) {
        encoding = QStringDecoder::Utf16LE;
        skip = 2;
    } else if (bytes.startsWith("\xFE\xFF")) {
        encoding = QStringDecoder::Utf16BE;
        skip = 2;
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        skip = 3;
    }
    const QByteArray body = bytes.mid(skip);
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(body);
    const bool utf16 = encoding != QStringDecoder::Utf8;
    if (decoder.hasError() || (utf16 && body.size() % 2 != 0)) {
        *reason = utf16
                      ? QString("its UTF-16 text is damaged")
                      : QString("it is neither UTF-8 text nor UTF-16 text with a byte-order mark");
        return std::nullopt;
    }
    if (text.contains(QChar(0))) {
        *reason = QString("it holds NUL characters, so it is not a text file");
        return std::nullopt;
    }
    return text;
}

QString refusalMessage(const QString& source, const Result& result) {
    const qsizetype refused = result.refused.size();
    if (refused == 0) return QString();
    const qsizetype total = refused + result.entries.size();
    QString message = QString("%1 of the %2 rows read from %3 %4 not added (%5 added):")
                          .arg(refused)
                          .arg(total)
                          .arg(source, refused == 1 ? QString("was") : QString("were"))
                          .arg(result.entries.size() == 0 ? QString("none")
                                                          : QString::number(result.entries.size()));
    for (qsizetype i = 0; i < refused && i < kMaxListed; ++i)
        message +=
            QString("\r\nline %1: %2.").arg(result.refused[i].line).arg(result.refused[i].reason);
    if (refused > kMaxListed) message += QString("\r\n... and %1 more.").arg(refused - kMaxListed);
    return message;
}

}  // namespace EntryImport
