// Workbooks written by the engine, read back by other programs: python3-xlrd and LibreOffice.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "TestFiles.h"
#include "support/Xlrd.h"
#include "xls/Workbook.h"

namespace {

const std::string kAccounting = "_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)";

struct Entry {
    std::string label, amount;
};
const std::vector<Entry> kEntries = {
    {"Savings", "25000"}, {"401k", "$55,000"}, {"Αποταμίευση", "15000"},
    {"Дом", "250000"},    {"株式", "11000"},   {"Car", "7500"},
    {"Boat", "1,200"},    {"Art", "300.5"},    {"Gold", "-40"}};

// The chart template filled as the program fills it, saved as .xls.
std::string writeFilled(const std::string& dir) {
    xls::Workbook book = xls::Workbook::open(xlstest::dataPath("chart.xlt"));
    xls::Sheet& s = book.activeSheet();
    for (int row = 3; row <= 8; ++row) {
        s.setValue(row, 0, "");
        s.setValue(row, 1, "");
    }
    for (size_t i = 0; i < kEntries.size(); ++i) {
        s.setValue(3 + int(i), 0, kEntries[i].label);
        s.setValue(3 + int(i), 1, kEntries[i].amount);
        s.setNumberFormat(3 + int(i), 1, kAccounting);
    }
    std::string path = dir + "/tkvane12345678.xls";
    book.saveAs(path);
    return path;
}

// More strings than one record holds, on every sheet of a three-sheet workbook.
std::string writeStrings(const std::string& dir) {
    xls::Workbook book = xls::Workbook::open(xlstest::dataPath("sheets.xls"));
    for (int sh = 0; sh < 3; ++sh)
        for (int i = 0; i < 600; ++i)
            book.sheet(sh).setValue(i + 1, 1, "Строка номер " + std::to_string(i) + " 日本");
    std::string path = dir + "/strings-out.xls";
    book.saveAs(path);
    return path;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::string xlrdDump(const std::string& path) {
    std::string out;
    int status = xlstest::readCellsWithXlrd(path, &out);
    EXPECT_EQ(status, 0) << out;
    return out;
}

TEST(Xlrd, ReadsTheFilledChartWorkbook) {
    if (!haveXlrd()) GTEST_SKIP() << "python3-xlrd is not installed";
    std::string path = writeFilled(xlstest::tempDir("xlrd-filled"));
    auto got = lines(xlrdDump(path));
    std::vector<std::string> expected = {"0\t2\t0\ttext\tAsset Type\tGeneral",
                                         "0\t2\t1\ttext\tAmount\tGeneral"};
    const char* numbers[] = {"25000", "55000", "15000", "250000", "11000",
                             "7500",  "1200",  "300.5", "-40"};
    for (size_t i = 0; i < kEntries.size(); ++i) {
        std::string row = std::to_string(3 + i);
        expected.push_back("0\t" + row + "\t0\ttext\t" + kEntries[i].label + "\tGeneral");
        expected.push_back("0\t" + row + "\t1\tnumber\t" + numbers[i] + "\t" + kAccounting);
    }
    // B17 and B19 stay formatted blanks (xlrd reports blanks only with formatting_info).
    for (const std::string& line : got)
        if (line.find("\tblank\t") == std::string::npos)
            continue;
        else
            EXPECT_TRUE(line.rfind("0\t16\t1\t", 0) == 0 || line.rfind("0\t18\t1\t", 0) == 0)
                << line;
    std::vector<std::string> values;
    for (const std::string& line : got)
        if (line.find("\tblank\t") == std::string::npos) values.push_back(line);
    EXPECT_EQ(values, expected);
}

TEST(Xlrd, ReadsManyStringsOnEverySheet) {
    if (!haveXlrd()) GTEST_SKIP() << "python3-xlrd is not installed";
    auto got = lines(xlrdDump(writeStrings(xlstest::tempDir("xlrd-strings"))));
    ASSERT_EQ(got.size(), 3u * 601u);
    EXPECT_EQ(got[1], "0\t1\t1\ttext\tСтрока номер 0 日本\tGeneral");
    EXPECT_EQ(got.back(), "2\t600\t1\ttext\tСтрока номер 599 日本\tGeneral");
}

// Converts `files` (names in `dir`, separated by spaces) with a headless LibreOffice that keeps its
// profile in `dir`, into `dir`/`outDir`; returns the exit status, with the output in `out`.
int sofficeConvert(const std::string& dir, const std::string& convertTo, const std::string& outDir,
                   const std::string& files, std::string* out) {
    return xlstest::runCommand("cd " + xlstest::shellQuote(dir) +
                                   " && timeout 100 soffice --headless --norestore"
                                   " -env:UserInstallation=file://" +
                                   dir + "/profile --convert-to " + xlstest::shellQuote(convertTo) +
                                   " --outdir " + xlstest::shellQuote(outDir) + " " + files +
                                   " 2>&1",
                               out);
}

TEST(LibreOffice, ConvertsEveryWrittenWorkbook) {
    if (!xlstest::haveSoffice()) GTEST_SKIP() << "LibreOffice is not installed";
    std::string dir = xlstest::tempDir("soffice");
    std::string filled = writeFilled(dir);
    std::string strings = writeStrings(dir);
    xls::Workbook kinds = xls::Workbook::open(xlstest::dataPath("kinds.xls"));
    kinds.activeSheet().setValue(0, 3, "split");
    kinds.activeSheet().setValue(2, 2, "7");
    kinds.saveAs(dir + "/kinds-out.xls");
    std::string out;
    EXPECT_EQ(sofficeConvert(dir, "csv:Text - txt - csv (StarCalc):44,34,76", "csv",
                             "tkvane12345678.xls strings-out.xls kinds-out.xls", &out),
              0)
        << out;
    auto read = [&](const std::string& name) {
        std::ifstream in(dir + "/csv/" + name);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    };
    std::string csv = read("tkvane12345678.csv");
    EXPECT_NE(csv.find("Asset Type,Amount"), std::string::npos) << csv;
    EXPECT_NE(csv.find("Дом"), std::string::npos) << csv;
    EXPECT_NE(csv.find("Gold"), std::string::npos) << csv;
    EXPECT_NE(read("strings-out.csv").find("Строка номер 599 日本"), std::string::npos);
    std::string kindsCsv = read("kinds-out.csv");
    EXPECT_EQ(kindsCsv.rfind("42,10,20,split,40,50", 0), 0u) << kindsCsv;
}

std::string odsPart(const std::string& ods, const std::string& part) {
    std::string text;
    EXPECT_EQ(xlstest::runCommand("python3 -c 'import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                                  "print(z.read(sys.argv[2]).decode())' " +
                                      xlstest::shellQuote(ods) + " " + xlstest::shellQuote(part),
                                  &text),
              0);
    return text;
}

TEST(LibreOffice, SeesTheExtendedChartAndTheSharedFormulas) {
    if (!xlstest::haveSoffice()) GTEST_SKIP() << "LibreOffice is not installed";
    std::string dir = xlstest::tempDir("soffice-ods");
    writeFilled(dir);
    xls::Workbook formulas = xls::Workbook::open(xlstest::dataPath("formulas.xls"));
    formulas.activeSheet().setValue(0, 1, "7");  // the host of B1:B10's shared formula
    formulas.saveAs(dir + "/formulas-out.xls");
    std::string out;
    ASSERT_EQ(sofficeConvert(dir, "ods", "ods", "tkvane12345678.xls formulas-out.xls", &out), 0)
        << out;
    std::string chart = odsPart(dir + "/ods/tkvane12345678.ods", "Object 1/content.xml");
    // Nine entries: rows 4 to 12.
    EXPECT_NE(chart.find("chart:values-cell-range-address=\"Assets.B4:Assets.B12\""),
              std::string::npos);
    EXPECT_NE(chart.find("table:cell-range-address=\"Assets.A4:Assets.A12\""), std::string::npos);
    std::string sheet = odsPart(dir + "/ods/formulas-out.ods", "content.xml");
    for (int row = 2; row <= 10; ++row) {
        std::string formula = "table:formula=\"of:=[.A" + std::to_string(row) + "]*2\"";
        EXPECT_NE(sheet.find(formula), std::string::npos) << formula;
    }
    EXPECT_EQ(sheet.find("table:formula=\"of:=[.A1]*2\""), std::string::npos);
}

}  // namespace
