// Workbooks as other programs leave them (tests/data/make_unusual_workbooks.py): each is read,
// filled, saved, and the result read back by the engine, by python3-xlrd and by LibreOffice.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "RecordDump.h"
#include "TestFiles.h"
#include "support/Xlrd.h"
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
    // Lines the xlrd reader (--cells) must print for the filled workbook: sheet, row, col, kind and
    // value, each ending in a tab (a number format follows), or a whole note line.
    std::vector<std::string> xlrdLines;
    // Texts the sheet's content.xml must hold once LibreOffice converted the filled workbook.
    std::vector<std::string> odsTexts;
};

const std::string kNote =
    "This note is long enough that its text is stored in CONTINUE records after the TXO record; "
    "every one of these words must survive a save.";

const std::vector<Case>& cases() {
    static const std::vector<Case> kCases = {
        {"book-and-workbook.xls",
         {{0, 1, "250"}},
         {"0\t0\t0\ttext\tcurrent\t", "0\t0\t1\tnumber\t250\t"},
         {">current<", "office:value=\"250\""}},
        {"long-chain.xls",
         {{0, 1, "filled"}, {199, 0, "7"}},
         {"0\t0\t1\ttext\tfilled\t", "0\t199\t0\tnumber\t7\t", "0\t198\t1\ttext\ttext 198\t"},
         {">filled<", ">text 199<", "office:value=\"7\""}},
        {"short-format.xls",
         {{0, 1, "2.5"}},
         {"0\t0\t0\tnumber\t3.14159\t", "0\t0\t1\tnumber\t2.5\t", "0\t1\t0\ttext\tplain\t"},
         {">plain<", "office:value=\"2.5\""}},
        {"notes-nodbcell.xls",
         {{2, 1, "noted"}, {39, 0, "400"}, {40, 0, "after"}},
         {"0\t2\t1\ttext\tnoted\t", "0\t39\t0\tnumber\t400\t", "0\t40\t0\ttext\tafter\t",
          "0\t2\t1\tnote\t" + kNote + " " + kNote + " " + kNote + "\n"},
         {">noted<", ">after<", kNote + " " + kNote + " " + kNote}},
        {"formula-0406.xls",
         {{0, 0, "15"}, {2, 1, "plain"}},
         {"0\t0\t0\tnumber\t15\t", "0\t1\t1\tnumber\t60\t", "0\t2\t1\ttext\tplain\t"},
         {"of:=[.A1]*2", "of:=SUM([.A1:.A3])", ">plain<"}},
        {"odd-strings.xls",
         {{0, 2, "new text"}, {5, 1, "more"}},
         {"0\t0\t1\ttext\trow 1\t", "0\t4\t1\ttext\trow 5\t", "0\t0\t2\ttext\tnew text\t",
          "0\t5\t1\ttext\tmore\t"},
         {">row 1<", ">row 5<", ">new text<", ">more<"}},
        {"split-strings.xls",
         {{0, 1, "Ελλάδα"}, {700, 0, "row 700"}},
         {"0\t11\t0\ttext\tΚαλημέρα κόσμε 11\t", "0\t699\t0\ttext\tΚαλημέρα κόσμε 699\t",
          "0\t0\t1\ttext\tΕλλάδα\t", "0\t700\t0\ttext\trow 700\t"},
         {">Καλημέρα κόσμε 11<", ">Καλημέρα κόσμε 699<", ">Ελλάδα<", ">row 700<"}},
        {"array.xls",
         {{7, 0, "still below"}, {0, 0, "4"}},
         {"0\t7\t0\ttext\tstill below\t", "0\t3\t1\tnumber\t10\t", "0\t5\t2\tnumber\t3000\t"},
         {">still below<", "table:number-matrix-columns-spanned=\"2\""}},
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
    if (!haveXlrd()) GTEST_SKIP() << "python3-xlrd is not installed";
    std::string dir = xlstest::tempDir("other-writers-xlrd");
    fillAll(dir);
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.file);
        std::string out;
        ASSERT_EQ(xlstest::readCellsWithXlrd(filledPath(dir, c), &out), 0) << out;
        out = "\n" + out;
        for (const std::string& line : c.xlrdLines)
            EXPECT_NE(out.find("\n" + line), std::string::npos) << line << "\n" << out;
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
                                dir + "/profile --convert-to ods --outdir ods" + files + " 2>&1",
                            &out),
        0)
        << out;
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.file);
        std::string name = std::string("filled-") + c.file;
        std::string ods = dir + "/ods/" + name.substr(0, name.size() - 4) + ".ods";
        std::string content;
        ASSERT_EQ(xlstest::runCommand("/usr/bin/python3 -c 'import sys,zipfile; "
                                      "sys.stdout.write(zipfile.ZipFile(sys.argv[1])"
                                      ".read(\"content.xml\").decode())' " +
                                          xlstest::shellQuote(ods),
                                      &content),
                  0);
        for (const std::string& text : c.odsTexts)
            EXPECT_NE(content.find(text), std::string::npos) << text;
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

// A BIFF8 workbook stream under the name Excel 5.0/95 gave it ("Book", no "Workbook" beside it)
// is read for what its BOF says, filled, and saved under the name it had.
TEST(OtherWriters, ABiff8StreamNamedBookIsReadAsAWorkbook) {
    auto in = xls::CompoundFile::parse(xlstest::readBytes(xlstest::dataPath("chart.xls")), "in");
    xls::CompoundFile renamed;
    renamed.putStream(u"Book", in.entries()[size_t(in.findInRoot(u"Workbook"))].data);
    xls::Workbook book = xls::Workbook::fromBytes(renamed.serialize(), "book.xls");
    EXPECT_EQ(book.activeSheet().cell(2, 0).text, "Asset Type");
    book.activeSheet().setValue(0, 5, "filled");
    auto saved = xls::CompoundFile::parse(book.toBytes(false), "out");
    EXPECT_GE(saved.findInRoot(u"Book"), 0);
    EXPECT_LT(saved.findInRoot(u"Workbook"), 0);
    xls::Workbook again = xls::Workbook::fromBytes(book.toBytes(false), "again.xls");
    EXPECT_EQ(again.activeSheet().cell(2, 0).text, "Asset Type");
    EXPECT_EQ(again.activeSheet().cell(0, 5).text, "filled");
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

TEST(OtherWriters, CellsOfAnArrayFormulaOrDataTableAreNotAssigned) {
    struct Refusal {
        const char* file;
        int row, col;
        const char* value;
        const char* message;
    };
    const Refusal refusals[] = {
        {"array.xls", 3, 1, "5", "B4 is part of the array formula over B4:C6"},
        {"array.xls", 5, 2, "", "C6 is part of the array formula over B4:C6"},
        {"array.xls", 4, 1, "text", "B5 is part of the array formula over B4:C6"},
        {"table.xls", 3, 2, "5", "C4 is part of the data table over B4:C6"},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.message);
        xls::Bytes original = xlstest::readBytes(xlstest::dataPath(r.file));
        xls::Workbook book = xls::Workbook::fromBytes(original, r.file);
        xls::Bytes unchanged = book.toBytes();
        try {
            book.activeSheet().setValue(r.row, r.col, r.value);
            ADD_FAILURE() << "assigned";
        } catch (const xls::Error& e) {
            EXPECT_EQ(e.kind(), xls::ErrorKind::Unsupported);
            EXPECT_EQ(std::string(e.what()), std::string(r.file) + ": " + r.message);
        }
        EXPECT_EQ(book.toBytes(), unchanged);
        // Next to the range, cells take values as always.
        book.activeSheet().setValue(6, 1, "7");
        book.activeSheet().setValue(3, 3, "7");
        EXPECT_EQ(book.activeSheet().cell(6, 1).number, 7);
        EXPECT_EQ(book.activeSheet().cell(3, 3).number, 7);
    }
}

TEST(OtherWriters, FormulasUnderTheOlderRecordNumberAreCells) {
    xls::Workbook book = xls::Workbook::open(xlstest::dataPath("formula-0406.xls"));
    const xls::Sheet& s = book.activeSheet();
    EXPECT_EQ(s.usedRange(), (xls::CellRange{0, 0, 2, 1}));
    struct Expect {
        int row;
        xls::CellKind cached;
        double number;
        const char* text;
    };
    const Expect formulas[] = {{0, xls::CellKind::Number, 20, ""},
                               {1, xls::CellKind::Number, 60, ""},
                               {2, xls::CellKind::String, 0, "total 30"}};
    for (const Expect& f : formulas) {
        xls::Cell c = s.cell(f.row, 1);
        EXPECT_EQ(c.kind, xls::CellKind::Formula) << f.row;
        EXPECT_EQ(c.cachedKind, f.cached) << f.row;
        EXPECT_EQ(c.number, f.number) << f.row;
        EXPECT_EQ(c.text, f.text) << f.row;
    }
    // A fill replaces the old record; every formula is written under today's number.
    book.activeSheet().setValue(1, 1, "5");
    int current = 0;
    for (const auto& r : xlstest::workbookRecords(book.toBytes(false))) {
        EXPECT_NE(r.type, rt::FormulaBiff4);
        current += r.type == rt::Formula;
    }
    EXPECT_EQ(current, 2);
}

TEST(OtherWriters, ANotesTextStaysWithItsRecordAfterAFill) {
    const uint16_t kTxo = 0x01B6;
    // The TXO record and the CONTINUE records after it, in order.
    auto noteRecords = [&](const xls::Bytes& file) {
        std::vector<xls::Record> out;
        bool inNote = false;
        for (const auto& r : xlstest::workbookRecords(file)) {
            if (r.type == kTxo)
                inNote = true;
            else if (r.type != rt::Continue)
                inNote = false;
            if (inNote) out.push_back(r);
        }
        return out;
    };
    xls::Bytes original = xlstest::readBytes(xlstest::dataPath("notes-nodbcell.xls"));
    auto before = noteRecords(original);
    ASSERT_GE(before.size(), 3u);  // the TXO, its text, its formatting runs
    xls::Workbook book = xls::Workbook::fromBytes(original, "notes-nodbcell.xls");
    EXPECT_EQ(book.activeSheet().cell(39, 1).text, "row 40");
    book.activeSheet().setValue(39, 1, "last row, changed");
    book.activeSheet().setValue(45, 0, "7");
    auto after = noteRecords(book.toBytes(false));
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(after[i].type, before[i].type) << i;
        EXPECT_EQ(after[i].data, before[i].data) << i;
    }
}
