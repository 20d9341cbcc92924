#include "platform/IniText.h"

#include <QStringDecoder>

namespace platform::IniText {

namespace {

bool isHexDigit(char16_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Group and key names that QSettings writes unchanged.
bool isPlainName(const QString& name) {
    if (name.isEmpty()) return false;
    for (QChar c : name) {
        const char16_t u = c.unicode();
        const bool ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                        (u >= '0' && u <= '9') || u == '_' || u == '-' || u == '.';
        if (!ok) return false;
    }
    return true;
}

uint hexValue(char16_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

void appendHex(QString& out, char16_t c) {
    out += QStringLiteral("\\x");
    out += QString::number(c, 16);
}

// Half of a surrogate pair without its other half.
bool isLoneSurrogate(const QString& text, qsizetype i) {
    const QChar c = text[i];
    if (c.isHighSurrogate()) return i + 1 == text.size() || !text[i + 1].isLowSurrogate();
    if (c.isLowSurrogate()) return i == 0 || !text[i - 1].isHighSurrogate();
    return false;
}

}  // namespace

QByteArray escapeValue(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 8 + 2);
    bool needsQuotes = false;
    bool escapeNextIfDigit = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar qc = text[i];
        const char16_t c = qc.unicode();
        if (c == ';' || c == ',' || c == '=') needsQuotes = true;
        if (escapeNextIfDigit && isHexDigit(c)) {
            appendHex(out, c);
            continue;
        }
        escapeNextIfDigit = false;
        switch (c) {
            case u'\0':
                out += QStringLiteral("\\0");
                escapeNextIfDigit = true;
                break;
            case u'\a':
                out += QStringLiteral("\\a");
                break;
            case u'\b':
                out += QStringLiteral("\\b");
                break;
            case u'\f':
                out += QStringLiteral("\\f");
                break;
            case u'\n':
                out += QStringLiteral("\\n");
                break;
            case u'\r':
                out += QStringLiteral("\\r");
                break;
            case u'\t':
                out += QStringLiteral("\\t");
                break;
            case u'\v':
                out += QStringLiteral("\\v");
                break;
            case u'"':
            case u'\\':
                out += QChar(u'\\');
                out += qc;
                break;
            default:
                // QSettings drops a byte-order mark where it starts decoding a piece of a
                // value, and UTF-8 cannot carry half of a surrogate pair: the text would not
                // come back. Written as escapes, both readers read them back.
                if (c <= 0x1F || c == 0xFEFF || isLoneSurrogate(text, i)) {
                    appendHex(out, c);
                    escapeNextIfDigit = true;
                } else {
                    out += qc;
                }
        }
    }
    if (needsQuotes || (!out.isEmpty() && (out.front() == ' ' || out.back() == ' '))) {
        out.prepend(QChar(u'"'));
        out += QChar(u'"');
    }
    return out.toUtf8();
}

std::optional<QByteArray> singleValueFile(const QString& group, const QString& key,
                                          const QString& text) {
    if (!isPlainName(group) || !isPlainName(key)) return std::nullopt;
    // QSettings writes a text holding NUL characters in a typed form of its own.
    if (text.contains(QChar(u'\0'))) return std::nullopt;
    QByteArray file;
    // QSettings marks a text that starts with "@" by doubling it, so it is not read as a typed
    // value.
    const QByteArray value = escapeValue(text.startsWith(QChar(u'@')) ? QChar(u'@') + text : text);
    file.reserve(value.size() + group.size() + key.size() + 8);
    file += '[';
    file += group.toLatin1();
    file += "]\n";
    file += key.toLatin1();
    file += '=';
    file += value;
    file += '\n';
    return file;
}

namespace {

// Reads the value part of "key=value" as QSettings reads a single text. Nothing for what this
// reader does not handle (lists, comments, octal escapes, stray quotes).
std::optional<QString> unescapeValue(QStringView v) {
    // QSettings trims spaces and tabs (and only those) around an unquoted value; the writer
    // quotes a value with a space at its ends and escapes tabs, so a written value never starts
    // or ends with one outside quotes. Other blanks, such as U+00A0, are kept by both.
    const auto trimmed = [](QChar c) { return c == u' ' || c == u'\t'; };
    if (!v.isEmpty() && (trimmed(v.front()) || trimmed(v.back()))) return std::nullopt;
    bool quoted = false;
    if (v.size() >= 2 && v.front() == u'"' && v.back() == u'"') {
        quoted = true;
        v = v.mid(1, v.size() - 2);
    }
    QString out;
    out.reserve(v.size());
    for (qsizetype i = 0; i < v.size(); ++i) {
        const char16_t c = v[i].unicode();
        if (c == u'"') return std::nullopt;
        if (!quoted && (c == u';' || c == u',' || c == u'=')) return std::nullopt;
        if (c != u'\\') {
            out += v[i];
            continue;
        }
        if (++i >= v.size()) return std::nullopt;
        const char16_t e = v[i].unicode();
        switch (e) {
            case u'a':
                out += QChar(u'\a');
                break;
            case u'b':
                out += QChar(u'\b');
                break;
            case u'f':
                out += QChar(u'\f');
                break;
            case u'n':
                out += QChar(u'\n');
                break;
            case u'r':
                out += QChar(u'\r');
                break;
            case u't':
                out += QChar(u'\t');
                break;
            case u'v':
                out += QChar(u'\v');
                break;
            case u'"':
            case u'\\':
                out += QChar(e);
                break;
            case u'0':
                // The writer puts "\0" only for a NUL and escapes a digit after it.
                if (i + 1 < v.size() && v[i + 1].unicode() >= '0' && v[i + 1].unicode() <= '7')
                    return std::nullopt;
                out += QChar(u'\0');
                break;
            case u'x': {
                uint value = 0;
                qsizetype digits = 0;
                while (i + 1 < v.size() && isHexDigit(v[i + 1].unicode()) && digits < 4) {
                    value = value * 16 + hexValue(v[i + 1].unicode());
                    ++i;
                    ++digits;
                }
                if (digits == 0) return std::nullopt;
                // QSettings reads on past four digits; the writer never writes more than two.
                if (i + 1 < v.size() && isHexDigit(v[i + 1].unicode())) return std::nullopt;
                out += QChar(char16_t(value));
                break;
            }
            default:
                return std::nullopt;
        }
    }
    return out;
}

}  // namespace

std::optional<SingleValue> readSingleValueFile(QByteArrayView bytes) {
    // Exactly two lines, as the writer (ours or QSettings') writes them.
    const qsizetype firstEnd = bytes.indexOf('\n');
    if (firstEnd < 0 || bytes.back() != '\n') return std::nullopt;
    // A header line alone has no second line to read.
    if (firstEnd + 1 == bytes.size()) return std::nullopt;
    const QByteArrayView header = bytes.first(firstEnd);
    const QByteArrayView line = bytes.sliced(firstEnd + 1, bytes.size() - firstEnd - 2);
    if (line.contains('\n') || line.contains('\r') || header.contains('\r')) return std::nullopt;
    if (header.size() < 3 || header.front() != '[' || header.back() != ']') return std::nullopt;
    const qsizetype equals = line.indexOf('=');
    if (equals <= 0) return std::nullopt;

    SingleValue result;
    result.group = QString::fromLatin1(header.sliced(1, header.size() - 2));
    result.key = QString::fromLatin1(line.first(equals));
    if (!isPlainName(result.group) || !isPlainName(result.key)) return std::nullopt;
    if (result.group.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0)
        return std::nullopt;
    // QSettings decodes a value that is not UTF-8 piece by piece around its escapes, so its
    // replacement characters fall elsewhere; such a file is left to it.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    const QString value = decoder.decode(line.sliced(equals + 1));
    if (decoder.hasError()) return std::nullopt;
    // The writer escapes every byte-order mark; a raw one is left to QSettings, which drops some.
    if (value.contains(QChar(0xFEFF))) return std::nullopt;
    std::optional<QString> text = unescapeValue(value);
    if (!text) return std::nullopt;
    if (text->startsWith(QChar(u'@'))) {
        if (!text->startsWith(QLatin1String("@@"))) return std::nullopt;  // a typed value
        text->remove(0, 1);
    }
    result.text = std::move(*text);
    return result;
}

}  // namespace platform::IniText
