// Nine, forty and a thousand entries, built, saved through the Preview and read back by other
// programs: LibreOffice (through UNO, not our engine) sees every entry as a slice painted in the
// colour its point format names (rgbFore), a colour of its own for the first 46 slices, the
// explosion of the first six, and column A banded like rows 4 to 9 down to the last entry; xlrd
// and Gnumeric open the template and the workbooks.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <iostream>

#include "chart/Template.h"
#include "entries/EntryListModel.h"
#include "preview/Form2.h"
#include "support/BuildFixture.h"
#include "support/Records.h"
#include "support/WorkbookReader.h"
#include "xls/CompoundFile.h"
#include "xls/Record.h"

namespace {

EntryList entries(int first, int last) {
    EntryList list;
    for (int i = first; i <= last; ++i)
        list.append({QString("Asset %1").arg(i), QString::number(i * 1000 + 7 * i)});
    return list;
}

// The fill colour (AREAFORMAT rgbFore, 0xRRGGBB) of each point's own format, in point order.
std::vector<int> pointFills(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    xls::CompoundFile cf =
        xls::CompoundFile::parse(std::vector<uint8_t>(bytes.begin(), bytes.end()), "workbook");
    const auto recs =
        xlstest::parseRecords(cf.streamData(size_t(cf.findInRoot(u"Workbook"))), "workbook");
    std::vector<int> fills;
    for (size_t i = 0; i + 3 < recs.size(); ++i) {
        if (recs[i].type != 0x1006 || xls::get16(&recs[i].data[0]) == 0xFFFF) continue;
        for (size_t k = i + 1; k < recs.size() && recs[k].type != 0x1034; ++k)
            if (recs[k].type == 0x100A) {
                const xls::Bytes& a = recs[k].data;
                fills.push_back(a[0] << 16 | a[1] << 8 | a[2]);
                break;
            }
    }
    return fills;
}

class ManyEntries : public BuildFixture {
  protected:
    // Builds with the list as it stands and saves the workbook through the Preview as `path`.
    void buildAndSave(const QString& path) {
        build();
        ASSERT_TRUE(errorReports(dialogs).isEmpty())
            << errorReports(dialogs).value(0).text.toStdString();
        Form2* preview = form->previewIfLoaded();
        ASSERT_NE(preview, nullptr);
        dialogs.queueSaveName(path);
        preview->PushButton6_Click();
        ASSERT_TRUE(QFile::exists(path)) << path.toStdString();
        preview->PushButton8_Click();  // "< Back" to the list
    }

    QTemporaryDir out;
};

// LibreOffice's reading of each file (see tests/support/read_chart_libreoffice.py); nothing
// when LibreOffice is missing (`skip` says why).
std::optional<QJsonArray> readWithLibreOffice(const QStringList& paths, QString* skip) {
    if (QStandardPaths::findExecutable("soffice").isEmpty()) {
        *skip = "LibreOffice (soffice) is not installed";
        return std::nullopt;
    }
    QProcess p;
    p.start("/usr/bin/python3", QStringList{QString(MORROWLIN_SOURCE_DIR) +
                                            "/tests/support/read_chart_libreoffice.py"} +
                                    paths);
    if (!p.waitForFinished(240000)) {
        p.kill();
        p.waitForFinished();
        ADD_FAILURE() << "LibreOffice did not finish reading the workbooks";
        return std::nullopt;
    }
    if (p.exitCode() == 2) {
        *skip = "LibreOffice cannot be driven: " + QString::fromUtf8(p.readAllStandardError());
        return std::nullopt;
    }
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).array();
}

TEST_F(ManyEntries, SavedWorkbooksReadByLibreOfficeXlrdAndGnumeric) {
    ASSERT_TRUE(out.isValid());
    const QString nine = out.filePath("nine.xls"), forty = out.filePath("forty.xls");
    const QString thousand = out.filePath("thousand.xls");
    const QString xlt = out.filePath("Pie Chart.xlt");
    startWith(entries(1, 9));
    buildAndSave(nine);
    form->entries().appendAll(entries(10, 40));
    for (int i = 0; i < 8; ++i) random.queue(0.0);  // a temporary name other than the first's
    buildAndSave(forty);
    form->entries().appendAll(entries(41, 1000));
    for (int i = 0; i < 8; ++i) random.queue(0.5);  // and other than the second's
    buildAndSave(thousand);
    QFile templateFile(xlt);
    ASSERT_TRUE(templateFile.open(QIODevice::WriteOnly));
    templateFile.write(chart::TemplateBytes());
    templateFile.close();
    const QStringList files = {xlt, nine, forty, thousand};

    // xlrd and Gnumeric open all four; xlrd reads every entry of the workbooks.
    const int written[] = {0, 9, 40, 1000};
    if (haveXlrd()) {
        for (int k = 0; k < files.size(); ++k) {
            QString error;
            const auto book = readWithXlrd(files[k], &error);
            ASSERT_TRUE(book.has_value()) << files[k].toStdString() << ": " << error.toStdString();
            for (int i = 1; i <= written[k]; ++i) {
                EXPECT_EQ(book->cell(2 + i, 0).value.toString(), QString("Asset %1").arg(i));
                EXPECT_DOUBLE_EQ(book->cell(2 + i, 1).value.toDouble(), i * 1000 + 7 * i);
            }
        }
    } else {
        std::cout << "python3-xlrd is not installed: xlrd not tried\n";
    }
    if (!QStandardPaths::findExecutable("ssconvert").isEmpty()) {
        for (const QString& f : files) {
            const QString csv = f + ".csv";
            QProcess p;
            p.start("ssconvert", {f, csv});
            ASSERT_TRUE(p.waitForFinished(120000));
            EXPECT_EQ(p.exitCode(), 0) << f.toStdString() << p.readAllStandardError().toStdString();
            QFile in(csv);
            ASSERT_TRUE(in.open(QIODevice::ReadOnly)) << "Gnumeric wrote no " << csv.toStdString();
            const QString text = QString::fromUtf8(in.readAll());
            const QString last = f == xlt     ? "Car"
                                 : f == nine  ? "Asset 9"
                                 : f == forty ? "Asset 40"
                                              : "Asset 1000";
            EXPECT_TRUE(text.contains(last)) << f.toStdString();
        }
    } else {
        std::cout << "Gnumeric (ssconvert) is not installed: Gnumeric not tried\n";
    }

    QString skip;
    const auto read = readWithLibreOffice(files, &skip);
    if (!read) {
        if (!skip.isEmpty()) GTEST_SKIP() << skip.toStdString();
        return;
    }
    ASSERT_EQ(read->size(), 4);
    const int counts[] = {6, 9, 40, 1000};
    for (int k = 0; k < 4; ++k) {
        const QJsonObject book = (*read)[k].toObject();
        const int count = counts[k];
        SCOPED_TRACE(book["path"].toString().toStdString());
        ASSERT_EQ(book["points"].toInt(), count) << "the series holds every entry";
        const QJsonArray colors = book["colors"].toArray(), offsets = book["offsets"].toArray();
        const QJsonArray values = book["values"].toArray(), fill = book["fillA"].toArray();
        const QJsonArray labels = book["labelsA"].toArray();
        QSet<int> distinct;
        for (const QJsonValue& c : colors) distinct.insert(c.toInt());
        EXPECT_EQ(distinct.size(), std::min(count, 46)) << "the first 46 slices' colours differ";
        const std::vector<int> fills = pointFills(files[k]);
        ASSERT_EQ(fills.size(), size_t(count));
        ASSERT_EQ(colors.size(), count);
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(colors[i].toInt(), fills[size_t(i)]) << "slice " << i + 1 << ": rgbFore";
        ASSERT_EQ(offsets.size(), count);
        ASSERT_EQ(fill.size(), count);
        EXPECT_DOUBLE_EQ(offsets[0].toDouble(), 0.1);
        EXPECT_NE(fill[0].toInt(), fill[1].toInt()) << "rows 4 and 5 are banded";
        for (int i = 0; i < count; ++i) {
            SCOPED_TRACE("row " + std::to_string(4 + i));
            EXPECT_DOUBLE_EQ(offsets[i].toDouble(), offsets[0].toDouble()) << "explosion";
            EXPECT_EQ(fill[i].toInt(), fill[i % 2].toInt()) << "column A's band";
            if (k > 0) {
                EXPECT_EQ(labels[i].toString(), QString("Asset %1").arg(i + 1));
                EXPECT_DOUBLE_EQ(values[i].toDouble(), (i + 1) * 1000 + 7 * (i + 1));
            }
        }
    }
}

}  // namespace
