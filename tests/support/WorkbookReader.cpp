#include "support/WorkbookReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

std::optional<ReadWorkbook> readWithXlrd(const QString& path, QString* error) {
    QProcess p;
    p.start(kXlrdPython, {QString::fromStdString(xlrdReaderScript()), path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        if (error) *error = QString::fromUtf8(p.readAllStandardError());
        return std::nullopt;
    }
    const QJsonObject root = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    ReadWorkbook book;
    for (const QJsonValue& s : root["sheets"].toArray()) book.sheets << s.toString();
    book.active = root["active"].toInt();
    book.rowCount = root["nrows"].toInt();
    for (const QJsonValue& v : root["cells"].toArray()) {
        const QJsonObject c = v.toObject();
        book.cells.insert(
            {c["row"].toInt(), c["col"].toInt()},
            ReadCell{c["kind"].toString(), c["value"].toVariant(), c["format"].toString()});
    }
    for (const QJsonValue& v : root["chartRefs"].toArray()) {
        const QJsonObject r = v.toObject();
        const QJsonArray rows = r["rows"].toArray(), cols = r["cols"].toArray();
        book.chartRefs << ChartRef{r["id"].toInt(), rows[0].toInt(), rows[1].toInt(),
                                   cols[0].toInt(), cols[1].toInt()};
    }
    return book;
}
