// Workbooks as other programs leave them (tests/data/make_unusual_workbooks.py): each is read,
// filled, saved, and the result read back by the engine, by python3-xlrd and by LibreOffice.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "RecordDump.h"
#include "TestFiles.h"
#include "xls/CompoundFile.h"
#include "xls/Workbook.h"

namespace {

namespace rt = xls::rt;

struct Fill {
    int row, col;
    const char* value;
};

struct Case {
    const char* file;
    std::vector<Fill> fills;
    // Lines read_with_xlrd.py must print for the filled workbook (sheet, row, col, kind, value).
    std::vector<std::string> xlrdLines;
    // Text LibreOffice's CSV of the filled workbook must hold.
    std::string csv;
};

const std::vector<Case>& cases() {
    static const std::vector<Case> kCases = {
        {"book-and-workbook.xls",
         {{0, 1, "250"}},
         {"0\t0\t0\ttext\tcurrent", "0\t0\t1\tnumber\t250"},
         "current,250"},
        {"long-chain.xls",
         {{0, 1, "filled"}, {199, 0, "7"}},
         {"0\t0\t1\ttext\tfilled", "0\t199\t0\tnumber\t7", "0\t198\t1\ttext\ttext 198"},
         "7,text 199"},
        {"short-format.xls",
         {{0, 1, "2.5"}},
         {"0\t0\t0\tnumber\t3.14159", "0\t0\t1\tnumber\t2.5", "0\t1\t0\ttext\tplain"},
         "plain"},
    };
    return kCases;
}

std::string filledPath(const std::string& dir, const Case& c) { return dir + "/filled-" + c.file; }

// Fills every case's workbook into `dir`; returns the paths.
std::vector<std::string> fillAll(const std::string& dir) {
    std::vector<std::string> paths;
    for (const Case& c : cases()) {
        xls::Workbook book = xls::Workbook::open(xlstest::dataPath(c.file));
        for (const Fill& f : c.fills) book.activeSheet().setValue(f.row, f.col, f.value);
        paths.push_back(filledPath(dir, c));
        book.saveAs(paths.back());
    }
    return paths;
}

TEST(OtherWriters, FilledWorkbooksReadBackWithTheirValues) {
    std::string dir = xlstest::tempDir("other-writers");
    fillAll(dir);
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.file);
        xls::Workbook again = xls::Workbook::open(filledPath(dir, c));
        for (const Fill& f : c.fills) {
            xls::Cell cell = again.activeSheet().cell(f.row, f.col);
            std::string got = cell.kind == xls::CellKind::String ? cell.text : "";
            if (cell.kind == xls::CellKind::Number) {
                std::ostringstream s;
                s << cell.number;
                got = s.str();
            }
            EXPECT_EQ(got, f.value);
        }
    }
}

TEST(OtherWriters, XlrdReadsEveryFilledWorkbook) {
    if (!xlstest::haveXlrd()) GTEST_SKIP() << "python3-xlrd is not installed";
    std::string dir = xlstest::tempDir("other-writers-xlrd");
    fillAll(dir);
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.file);
        std::string out;
        ASSERT_EQ(xlstest::runCommand("/usr/bin/python3 " +
                                          xlstest::shellQuote(std::string(MORROWLIN_SOURCE_DIR) +
                                                              "/tests/xls/read_with_xlrd.py") +
                                          " " + xlstest::shellQuote(filledPath(dir, c)) + " 2>&1",
                                      &out),
                  0)
            << out;
        for (const std::string& line : c.xlrdLines)
            EXPECT_NE(out.find(line + "\t"), std::string::npos) << line << "\n" << out;
    }
}

TEST(OtherWriters, LibreOfficeConvertsEveryFilledWorkbook) {
    if (!xlstest::haveSoffice()) GTEST_SKIP() << "LibreOffice is not installed";
    std::string dir = xlstest::tempDir("other-writers-soffice");
    std::string files;
    for (const std::string& p : fillAll(dir)) files += " " + xlstest::shellQuote(p);
    std::string out;
    ASSERT_EQ(
        xlstest::runCommand("cd " + xlstest::shellQuote(dir) +
                                " && timeout 100 soffice --headless --norestore"
                                " -env:UserInstallation=file://" +
                                dir + "/profile --convert-to csv --outdir csv" + files + " 2>&1",
                            &out),
        0)
        << out;
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.file);
        std::string name = filledPath("", c).substr(1);
        std::ifstream in(dir + "/csv/" + name.substr(0, name.size() - 4) + ".csv");
        std::stringstream csv;
        csv << in.rdbuf();
        EXPECT_NE(csv.str().find(c.csv), std::string::npos) << csv.str();
    }
}

TEST(OtherWriters, SavingDropsTheStaleExcel95Copy) {
    xls::Bytes original = xlstest::readBytes(xlstest::dataPath("book-and-workbook.xls"));
    ASSERT_GE(xls::CompoundFile::parse(original, "in").findInRoot(u"Book"), 0);
    xls::Workbook book = xls::Workbook::fromBytes(original, "book-and-workbook.xls");
    EXPECT_EQ(book.activeSheet().cell(0, 0).text, "current");
    auto saved = xls::CompoundFile::parse(book.toBytes(false), "out");
    EXPECT_LT(saved.findInRoot(u"Book"), 0);
    EXPECT_GE(saved.findInRoot(u"Workbook"), 0);
    // The other streams stay, each under its own name.
    auto in = xls::CompoundFile::parse(original, "in");
    EXPECT_EQ(saved.entries().size() + 1, in.entries().size());
    for (const auto& e : in.entries()) {
        if (e.type != xls::CompoundFile::Type::Stream || e.name == u"Book" || e.name == u"Workbook")
            continue;
        int i = saved.findInRoot(e.name);
        ASSERT_GE(i, 0);
        EXPECT_EQ(saved.entries()[size_t(i)].data, e.data);
    }
}

TEST(OtherWriters, AStringCutShortInAKeptRecordIsAWarning) {
    xls::Workbook book = xls::Workbook::open(xlstest::dataPath("short-format.xls"));
    ASSERT_EQ(book.warnings().size(), 1u);
    const std::string& w = book.warnings()[0];
    EXPECT_NE(w.find("the FORMAT record of number format 16"), std::string::npos) << w;
    EXPECT_NE(w.find("shorter than its length field"), std::string::npos) << w;
    EXPECT_NE(w.find("\"0.00\""), std::string::npos) << w;
    // The cut format is never reused for a format that reads the same (here the built-in 2).
    xls::Sheet& s = book.activeSheet();
    uint16_t cutId = book.styles().xf(s.cell(0, 0).xf).formatIndex;
    EXPECT_EQ(book.styles().formatString(cutId), "0.00");
    s.setValue(1, 1, "5");
    s.setNumberFormat(1, 1, "0.00");
    EXPECT_NE(book.styles().xf(s.cell(1, 1).xf).formatIndex, cutId);
    // The damaged record itself is written back as it was.
    auto formats = [](const xls::Bytes& file) {
        std::vector<xls::Bytes> out;
        for (const auto& r : xlstest::workbookRecords(file))
            if (r.type == rt::Format) out.push_back(r.data);
        return out;
    };
    auto before = formats(xlstest::readBytes(xlstest::dataPath("short-format.xls")));
    auto after = formats(book.toBytes(false));
    EXPECT_EQ(after, before);  // "0.00" is a built-in format: no FORMAT record is added
}

}  // namespace
