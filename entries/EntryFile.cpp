#include "entries/EntryFile.h"

#include <QFile>
#include <QFileInfo>
#include <charconv>

#include "common/Amounts.h"
#include "xls/Error.h"
#include "xls/Workbook.h"

namespace EntryFile {

namespace {

Read failed(const QString& reason) {
    Read read;
    read.failure = reason;
    return read;
}

Read readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return failed(file.errorString());
    if (file.size() > kMaxBytes)
        return failed(QString("it is larger than %1 MB").arg(kMaxBytes / (1024 * 1024)));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return failed(file.errorString());
    QString reason;
    const std::optional<QString> text = EntryImport::decodeText(bytes, &reason);
    if (!text) return failed(reason);
    Read read;
    read.rows = EntryImport::parseText(*text);
    return read;
}

bool isNumber(const xls::Cell& cell) { return cell.kind == xls::CellKind::Number; }
bool isText(const xls::Cell& cell) { return cell.kind == xls::CellKind::String; }

// The number as an amount the list's numeric test reads back as the same number: the C form
// when the user's conventions read it so, else the user's own form ("1.125" is 1125 where "."
// groups digits).
QString amountText(double value) {
    const QString plain = numberText(value);
    if (common::readAmount(plain) == value) return plain;
    QLocale locale = common::amountLocale();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'g', QLocale::FloatingPointShortest);
}

Read readWorkbook(const QString& path) {
    if (QFileInfo(path).size() > kMaxBytes)
        return failed(QString("it is larger than %1 MB").arg(kMaxBytes / (1024 * 1024)));
    try {
        const xls::Workbook book = xls::Workbook::open(QFile::encodeName(path).toStdString());
        const xls::Sheet& sheet = book.sheet(book.activeSheetIndex());
        Read read;
        const std::optional<xls::CellRange> used = sheet.usedRange();
        if (!used) return read;
        for (int row = used->firstRow; row <= used->lastRow; ++row) {
            const xls::Cell label = sheet.cell(row, used->firstCol);
            const xls::Cell amount = sheet.cell(row, used->firstCol + 1);
            if (!isText(label) || !isNumber(amount)) continue;
            const Entry entry{QString::fromStdString(label.text), amountText(amount.number)};
            if (const std::optional<QString> reason = EntryImport::refusalReason(entry))
                read.rows.refused.append({row + 1, *reason});
            else
                read.rows.entries.append(entry);
        }
        return read;
    } catch (const xls::Error& e) {
        return failed(QString::fromUtf8(e.what()));
    } catch (const std::exception& e) {
        return failed(QString::fromUtf8(e.what()));
    }
}

}  // namespace

QString numberText(double value) {
    char buffer[64];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}

Read read(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "csv" || suffix == "tsv" || suffix == "txt") return readText(path);
    if (suffix == "xls" || suffix == "xlt") return readWorkbook(path);
    return failed(QString("only .csv, .tsv, .txt, .xls and .xlt files can be read"));
}

}  // namespace EntryFile
