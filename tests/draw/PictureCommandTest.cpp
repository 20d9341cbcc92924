// `xlstool picture FILE OUT.png`: the active sheet's used range as drawRange draws it.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include "PictureTestSupport.h"
#include "xls/Workbook.h"
#include "xls/draw/RangePicture.h"

namespace {

struct ToolRun {
    int status;
    QString err;
};

ToolRun xlstool(const QStringList& args) {
    QProcess process;
    process.start(QString(MORROWLIN_BINARY_DIR) + "/xlstool", args);
    process.waitForFinished(60000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

}  // namespace

TEST(PictureCommandTest, WritesTheUsedRangeAsPng) {
    QTemporaryDir dir;
    for (const std::string& workbook :
         {picturetest::templateFile(), picturetest::dataFile("picture.xls")}) {
        const QString out = dir.filePath("out.png");
        const ToolRun run = xlstool({"picture", QString::fromStdString(workbook), out});
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        const xls::Workbook book = xls::Workbook::open(workbook);
        const int active = book.activeSheetIndex();
        const QImage expected = xls::draw::drawRange(book, active, *book.sheet(active).usedRange());
        const QImage written(out);
        ASSERT_FALSE(written.isNull()) << workbook;
        EXPECT_EQ(written.convertToFormat(QImage::Format_RGB32), expected) << workbook;
    }
}

TEST(PictureCommandTest, Failures) {
    QTemporaryDir dir;
    const QString workbook = QString::fromStdString(picturetest::templateFile());
    struct Case {
        QStringList args;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {{"picture", workbook}, 2, "usage"},
        {{"picture", dir.filePath("missing.xls"), dir.filePath("a.png")}, 1, "missing.xls"},
        {{"picture", workbook, dir.filePath("no/such/folder/a.png")}, 1, "could not write"},
    };
    for (const Case& c : cases) {
        const ToolRun run = xlstool(c.args);
        EXPECT_EQ(run.status, c.status) << c.message;
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
    }
}
