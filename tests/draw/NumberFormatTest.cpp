#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "xls/draw/NumberFormat.h"

namespace xls::draw {
namespace {

const char* const kAccounting = "_($* #,##0_);_($* (#,##0);_($* \"-\"??_);_(@_)";
// The same format as LibreOffice stores it: escaped, with a locale tag.
const char* const kAccountingStored =
    "[$-409]_(\\$* #,##0_);_(\\$* \\(#,##0\\);_(\\$* \\-??_);_(@_)";

struct Row {
    const char* code;
    std::variant<double, const char*> value;
    const char* shown;  // pads and the fill as one space each
};

std::ostream& operator<<(std::ostream& os, const Row& r) {
    os << "format '" << r.code << "' on ";
    if (std::holds_alternative<double>(r.value)) {
        os << std::get<double>(r.value);
    } else {
        os << '"' << std::get<const char*>(r.value) << '"';
    }
    return os;
}

class NumberFormatTable : public ::testing::TestWithParam<Row> {};

TEST_P(NumberFormatTable, ShowsValue) {
    const Row& row = GetParam();
    const NumberFormat format(row.code);
    const std::string shown =
        std::holds_alternative<double>(row.value)
            ? format.formatPlain(std::get<double>(row.value))
            : format.formatPlain(std::string(std::get<const char*>(row.value)));
    EXPECT_EQ(shown, row.shown);
}

const Row kRows[] = {
    // The amount format of the chart's table.
    {kAccounting, 25000.0, " $ 25,000 "},
    {kAccounting, 250000.0, " $ 250,000 "},
    {kAccounting, 0.0, " $ -   "},
    {kAccounting, -1500.0, " $ (1,500)"},
    {kAccounting, "Cash", " Cash "},
    {kAccountingStored, 25000.0, " $ 25,000 "},
    {kAccountingStored, 0.0, " $ -   "},
    {kAccountingStored, -1500.0, " $ (1,500)"},
    // General: up to 11 characters, then E notation.
    {"General", 0.0, "0"},
    {"General", 25000.0, "25000"},
    {"General", -7500.0, "-7500"},
    {"General", 1.5, "1.5"},
    {"General", 0.1 + 0.2, "0.3"},
    {"General", 1234567.891, "1234567.891"},
    {"General", 3.14159265358979, "3.141592654"},
    {"General", -0.123456789012, "-0.12345679"},
    {"General", 99999999999.0, "99999999999"},
    {"General", 123456789012.0, "1.23457E+11"},
    {"General", 1e20, "1E+20"},
    {"General", 0.0001234, "0.0001234"},
    {"General", 0.00001, "1E-05"},
    {"General", 1.23456789e-10, "1.23457E-10"},
    {"", 42.0, "42"},
    {"General", "text", "text"},
    {"General\" units\"", 3.0, "3 units"},
    // Percentages.
    {"0%", 0.25, "25%"},
    {"0.0%", 0.1234, "12.3%"},
    {"0%", -0.5, "-50%"},
    // Scientific.
    {"0.00E+00", 12345.0, "1.23E+04"},
    {"0.00E+00", 0.000123, "1.23E-04"},
    {"0.00E-00", 12345.0, "1.23E04"},
    {"0.00E+00", 0.0, "0.00E+00"},
    {"0.00E+00", 9.999, "1.00E+01"},
    {"##0.0E+0", 12345.0, "12.3E+3"},
    // Conditions.
    {"[>=100]\"big\";\"small\"", 150.0, "big"},
    {"[>=100]\"big\";\"small\"", 5.0, "small"},
    {"[<=9999999]###-####;(###) ###-####", 5551234.0, "555-1234"},
    {"[<=9999999]###-####;(###) ###-####", 8005551234.0, "(800) 555-1234"},
    {"[>=1000000]0.0,,\"M\";[>=1000]0.0,\"K\";0", 2500000.0, "2.5M"},
    {"[>=1000000]0.0,,\"M\";[>=1000]0.0,\"K\";0", 1500.0, "1.5K"},
    {"[>=1000000]0.0,,\"M\";[>=1000]0.0,\"K\";0", -20.0, "-20"},
    // Literals and escapes.
    {"0 \"kg\"", 12.0, "12 kg"},
    {"\\$0.00", 3.5, "$3.50"},
    {"\"Total: \"0", 7.0, "Total: 7"},
    {"0.0 \"m\xC2\xB2\"", 2.0, "2.0 m\xC2\xB2"},
    {"000-00-0000", 123456789.0, "123-45-6789"},
    {"[$\xE2\x82\xAC-407] #,##0.00", 1234.5, "\xE2\x82\xAC 1,234.50"},
    // Rounding: half away from zero, on the decimal value.
    {"0", 0.5, "1"},
    {"0", 2.5, "3"},
    {"0", -2.5, "-3"},
    {"0.00", 1.005, "1.01"},
    {"0.0", 0.05, "0.1"},
    {"#,##0", 999.5, "1,000"},
    {"0.0", 1.45, "1.5"},
    {"0.00", 0.995, "1.00"},
    {"0", 9.5, "10"},
    {"0.0E+0", 9.96, "1.0E+1"},
    {"0", 1e20, "100000000000000000000"},
    // Negative and zero sections write their own signs.
    {"0;(0)", -42.0, "(42)"},
    {"0.00;0.00", -1.5, "1.50"},
    {"0;-0;\"zero\"", 0.0, "zero"},
    {"0;0;", 0.0, ""},
    // Text sections.
    {"@", "hello", "hello"},
    {"\"Name: \"@", "Ann", "Name: Ann"},
    {"0;0;0;\"<\"@\">\"", "x", "<x>"},
    {"0.00", "abc", "abc"},
    // Placeholders, thousands and scaling.
    {"#,##0", 1234567.0, "1,234,567"},
    {"#,##0", 0.4, "0"},
    {"#,##0,", 1234567.0, "1,235"},
    {"0.0,,", 1234567.0, "1.2"},
    {"#,##0.00", 0.5, "0.50"},
    {"0,000", 5.0, "0,005"},
    {"#", 0.0, ""},
    {"#.##", 1.5, "1.5"},
    {"0.??", 1.5, "1.5 "},
    {"???.0", 5.0, "  5.0"},
    {"00000", 42.0, "00042"},
    {".00", 0.5, ".50"},
    {".00", 1.5, "1.50"},
    {"0", 12345678.0, "12345678"},
    // Fill.
    {"*-0", 5.0, " 5"},
    {"0*x", 5.0, "5 "},
    // Codes a spreadsheet would refuse still show something sensible.
    {"\"abc", 1.0, "abc"},
    {"0_", 5.0, "5 "},
    {"0.0.0", 1.5, "1.5.0"},
    {";;;", 5.0, ""},
    // Dates and times.
    {"yyyy-mm-dd", 45000.0, "2023-03-15"},
    {"d mmmm yyyy", 1.0, "1 January 1900"},
    {"mmm d, yyyy", 60.0, "Feb 29, 1900"},
    {"dddd", 45000.0, "Wednesday"},
    {"m/d/yy", 45000.0, "3/15/23"},
    {"h:mm AM/PM", 0.75, "6:00 PM"},
    {"hh:mm:ss", 0.5 + 5.0 / 86400.0, "12:00:05"},
    {"[h]:mm", 1.5, "36:00"},
};

INSTANTIATE_TEST_SUITE_P(Formats, NumberFormatTable, ::testing::ValuesIn(kRows));

// "General" writes the user's decimal separator, alone or as a section of a format, and no
// group separator; E notation too.
TEST(NumberFormatConventions, GeneralWritesTheUsersDecimalSeparator) {
    const xls::NumberConventions german{",", "."}, swiss{".", "\u2019"}, french{",", "\u202F"};
    const struct {
        const char* code;
        double value;
        xls::NumberConventions numbers;
        const char* shown;
    } cases[] = {
        {"General", 12.5, german, "12,5"},
        {"General", -1234567.25, german, "-1234567,25"},
        {"General", 123456789012.0, german, "1,23457E+11"},
        {"General", 25000, german, "25000"},
        {"", 0.5, french, "0,5"},
        {"General", 1234.5, swiss, "1234.5"},
        {"\"x\" General", 2.75, german, "x 2,75"},
        {"0.0;-General", -3.25, german, "-3,25"},
        {"#,##0.0", 1234.5, german, "1.234,5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NumberFormat(c.code, c.numbers).formatPlain(c.value), c.shown)
            << c.code << " on " << c.value;
}

using Kind = FormatPiece::Kind;
FormatPiece text(const char* t) { return {Kind::Text, t}; }
FormatPiece pad(const char* t) { return {Kind::Pad, t}; }

struct LayoutRow {
    double value;
    std::vector<FormatPiece> left;
    std::vector<FormatPiece> right;
};

TEST(NumberFormatLayout, AccountingPutsDollarLeftAndNumberRight) {
    const NumberFormat format(kAccounting);
    const LayoutRow rows[] = {
        {25000, {pad("("), text("$")}, {text("25,000"), pad(")")}},
        {-1500, {pad("("), text("$")}, {text("(1,500)")}},
        {0, {pad("("), text("$")}, {text("-"), pad("0"), pad("0"), pad(")")}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        const FormattedValue shown = format.format(row.value);
        ASSERT_TRUE(shown.fill.has_value());
        EXPECT_EQ(*shown.fill, " ");
        EXPECT_EQ(shown.left, row.left);
        EXPECT_EQ(shown.right, row.right);
        EXPECT_FALSE(shown.colorIndex.has_value());
    }
    const FormattedValue label = format.format(std::string("Car"));
    EXPECT_FALSE(label.fill.has_value());
    EXPECT_EQ(label.left, (std::vector<FormatPiece>{pad("("), text("Car"), pad(")")}));
}

TEST(NumberFormatLayout, FillSplitsAtTheFirstFillOnly) {
    const FormattedValue shown = NumberFormat("\"a\"*.0*-\"b\"").format(7.0);
    ASSERT_TRUE(shown.fill.has_value());
    EXPECT_EQ(*shown.fill, ".");
    EXPECT_EQ(shown.left, std::vector<FormatPiece>{text("a")});
    EXPECT_EQ(shown.right, std::vector<FormatPiece>{text("7b")});
}

TEST(NumberFormatLayout, ColoursComeFromTheChosenSection) {
    struct ColourRow {
        const char* code;
        double value;
        int colour;  // -1: none
    };
    const ColourRow rows[] = {
        {"[Red]0", 5, 10},
        {"[Blue]0", 5, 12},
        {"[color10]0", 5, 17},
        {"0;[Red]0", 5, -1},
        {"0;[Red]0", -5, 10},
        {"[Green]0;[Red]0;[Blue]0", 0, 12},
        {"[Black]0", 1, 8},
        {"[WHITE]0", 1, 9},
        {"[Color57]0", 1, -1},
        {"[Cyan][>10]0;[Magenta]0", 11, 15},
        {"[Cyan][>10]0;[Magenta]0", 9, 14},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.code) + " " + std::to_string(row.value));
        const FormattedValue shown = NumberFormat(row.code).format(row.value);
        EXPECT_EQ(shown.colorIndex.value_or(-1), row.colour);
    }
}

TEST(NumberFormatLayout, QuestionMarksLeaveDigitWideBlanks) {
    const FormattedValue shown = NumberFormat("?0.0?").format(3.5);
    EXPECT_EQ(shown.left, (std::vector<FormatPiece>{pad("0"), text("3.5"), pad("0")}));
}

TEST(NumberFormatKinds, GeneralAndDateAreRecognised) {
    EXPECT_TRUE(NumberFormat("General").isGeneral());
    EXPECT_TRUE(NumberFormat("").isGeneral());
    EXPECT_FALSE(NumberFormat("0.00").isGeneral());
    EXPECT_TRUE(NumberFormat("d/m/yyyy").isDate());
    EXPECT_FALSE(NumberFormat(kAccounting).isDate());
    EXPECT_EQ(NumberFormat(kAccounting).code(), kAccounting);
}

}  // namespace
}  // namespace xls::draw
