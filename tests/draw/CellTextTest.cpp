// What a cell shows as text, and how "General" shortens a number for a narrow cell.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xls/Workbook.h"
#include "xls/draw/CellText.h"

using xls::draw::CellContent;
using xls::draw::CellText;

namespace {

xls::Cell makeCell(xls::CellKind kind, xls::CellKind cached = xls::CellKind::Empty) {
    xls::Cell cell;
    cell.kind = kind;
    cell.cachedKind = kind == xls::CellKind::Formula ? cached : kind;
    return cell;
}

}  // namespace

TEST(CellTextTest, KindsOfValues) {
    const xls::Workbook book =
        xls::Workbook::open(std::string(MORROWLIN_SOURCE_DIR) + "/resources/Pie Chart.xlt");
    CellText text(book.styles());
    const xls::XfStyle general = book.styles().xf(15);

    struct Case {
        xls::Cell cell;
        bool shown;
        CellContent::Kind kind;
        std::string plain;
    };
    xls::Cell number = makeCell(xls::CellKind::Number);
    number.number = 1234.5;
    xls::Cell string = makeCell(xls::CellKind::String);
    string.text = "Savings";
    xls::Cell emptyString = makeCell(xls::CellKind::String);
    xls::Cell yes = makeCell(xls::CellKind::Boolean);
    yes.boolean = true;
    xls::Cell divZero = makeCell(xls::CellKind::Error);
    divZero.errorCode = 0x07;
    xls::Cell na = makeCell(xls::CellKind::Error);
    na.errorCode = 0x2A;
    xls::Cell formula = makeCell(xls::CellKind::Formula, xls::CellKind::Number);
    formula.number = -2;
    xls::Cell noResult = makeCell(xls::CellKind::Formula, xls::CellKind::Empty);
    const Case cases[] = {
        {number, true, CellContent::Kind::Number, "1234.5"},
        {string, true, CellContent::Kind::Text, "Savings"},
        {emptyString, false, CellContent::Kind::Text, ""},
        {yes, true, CellContent::Kind::Centered, "TRUE"},
        {divZero, true, CellContent::Kind::Centered, "#DIV/0!"},
        {na, true, CellContent::Kind::Centered, "#N/A"},
        {formula, true, CellContent::Kind::Number, "-2"},
        {noResult, false, CellContent::Kind::Text, ""},
        {makeCell(xls::CellKind::Blank), false, CellContent::Kind::Text, ""},
        {makeCell(xls::CellKind::Empty), false, CellContent::Kind::Text, ""},
    };
    for (const Case& c : cases) {
        const auto content = text.content(c.cell, general);
        ASSERT_EQ(content.has_value(), c.shown) << c.plain;
        if (!content) continue;
        EXPECT_EQ(content->kind, c.kind) << c.plain;
        EXPECT_EQ(content->value.plain(), c.plain);
    }
}

// The accounting format of the template's amounts (XF 23 holds it) puts "$" left of a fill.
TEST(CellTextTest, AccountingAmountHasAFill) {
    const xls::Workbook book =
        xls::Workbook::open(std::string(MORROWLIN_SOURCE_DIR) + "/resources/Pie Chart.xlt");
    CellText text(book.styles());
    const xls::Cell amount = book.sheet(0).cell(3, 1);
    const auto content = text.content(amount, book.styles().xf(amount.xf));
    ASSERT_TRUE(content.has_value());
    EXPECT_TRUE(content->value.fill.has_value());
    EXPECT_EQ(content->value.plain(), " $ 25,000 ");
    EXPECT_FALSE(content->general);
}

TEST(CellTextTest, GeneralFallbacksShortenLongestFirst) {
    struct Case {
        double value;
        std::vector<std::string> firstForms;
        std::string last;
        xls::NumberConventions numbers = {};
    };
    const xls::NumberConventions german{",", "."};
    const Case cases[] = {
        {1234.5678, {"1234.5678", "1234.568", "1234.57", "1234.6", "1235", "1.23457E+03"}, "1E+03"},
        {-0.125, {"-0.125", "-0.13", "-0.1", "-1.25E-01", "-1.3E-01"}, "-1E-01"},
        {123456789012.0, {"1.23457E+11", "1.2346E+11", "1.235E+11"}, "1E+11"},
        {0.00001, {"1E-05"}, "1E-05"},
        {0, {"0", "0E+00"}, "0E+00"},
        {9.9999999, {"9.9999999", "10", "1E+01"}, "1E+01"},
        // With the user's decimal separator, and no group separator.
        {1234.5678, {"1234,5678", "1234,568", "1234,57", "1234,6", "1235", "1,23457E+03"}, "1E+03",
         german},
        {-0.125, {"-0,125", "-0,13", "-0,1", "-1,25E-01"}, "-1E-01", german},
    };
    const xls::Styles styles;
    for (const Case& c : cases) {
        const std::vector<std::string> forms =
            CellText(styles, c.numbers).generalFallbacks(c.value);
        ASSERT_GE(forms.size(), c.firstForms.size()) << c.value;
        for (size_t i = 0; i < c.firstForms.size(); ++i)
            EXPECT_EQ(forms[i], c.firstForms[i]) << c.value << " form " << i;
        EXPECT_EQ(forms.back(), c.last) << c.value;
    }
}
