#include <gtest/gtest.h>

#include "TestFiles.h"
#include "xls/Workbook.h"

namespace {

std::string tool() { return std::string(MORROWLIN_BINARY_DIR) + "/xlstool"; }

TEST(XlsTool, DumpListsSheetsAndCells) {
    std::string out;
    int status = xlstest::runCommand(
        tool() + " dump " + xlstest::shellQuote(xlstest::dataPath("chart.xlt")), &out);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out.rfind("sheet 1 \"Assets\" (active) used A3:B19\n", 0), 0u) << out;
    EXPECT_NE(out.find("\nA4 string \"Savings\" format \"General\"\n"), std::string::npos);
    EXPECT_NE(out.find("\nB9 number 7500 format"), std::string::npos);
    EXPECT_NE(out.find("\nB17 blank format"), std::string::npos);
}

TEST(XlsTool, FillAssignsValuesAndFormatsLikeTheProgram) {
    std::string dir = xlstest::tempDir("tool");
    std::string out = dir + "/out.xls";
    int status = xlstest::runCommand(
        tool() + " fill " + xlstest::shellQuote(xlstest::dataPath("chart.xlt")) + " " + out +
        " A4=Boat B4='$1,250' A5= B5= A12=x=y --format B12='0.0' 2>&1");
    ASSERT_EQ(status, 0);
    xls::Workbook book = xls::Workbook::open(out);
    const xls::Sheet& s = book.activeSheet();
    EXPECT_EQ(s.cell(3, 0).text, "Boat");
    EXPECT_EQ(s.cell(3, 1).number, 1250);
    EXPECT_EQ(s.cell(4, 0).kind, xls::CellKind::Empty);
    EXPECT_EQ(s.cell(4, 1).kind, xls::CellKind::Blank);  // keeps its accounting format
    EXPECT_EQ(s.cell(11, 0).text, "x=y");                // split at the first "="
    EXPECT_EQ(book.styles().formatString(book.styles().xf(s.cell(11, 1).xf).formatIndex), "0.0");
}

TEST(XlsTool, UnreadableFileFailsWithTheMessage) {
    std::string dir = xlstest::tempDir("toolbad");
    xlstest::writeBytes(dir + "/bad.xls", xls::Bytes(1000, 7));
    std::string out;
    int status = xlstest::runCommand(tool() + " dump " + dir + "/bad.xls 2>&1", &out);
    EXPECT_NE(status, 0);
    EXPECT_EQ(out, "xlstool: bad.xls: not a workbook (bad compound file signature)\n");
}

}  // namespace
