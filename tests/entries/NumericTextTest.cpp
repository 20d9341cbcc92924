#include <gtest/gtest.h>

#include <QString>
#include <cmath>
#include <optional>

#include "entries/EntryCommands.h"
#include "xls/NumericText.h"
#include "xls/Workbook.h"

namespace {

// Every row is checked three ways: the reading itself, the list's numeric test, and what the
// engine holds after assigning the text to a cell of the template. The three must agree, so an
// amount the list accepts is always written as a number and a refused one never would have been.
struct NumberCase {
    const char* text;
    std::optional<double> value;
};

std::ostream& operator<<(std::ostream& out, const NumberCase& c) {
    return out << "\"" << c.text << "\"";
}

class ReadNumber : public ::testing::TestWithParam<NumberCase> {
  protected:
    static void SetUpTestSuite() {
        book_ = new xls::Workbook(
            xls::Workbook::open(std::string(MORROWLIN_SOURCE_DIR) + "/resources/Pie Chart.xlt"));
    }
    static void TearDownTestSuite() {
        delete book_;
        book_ = nullptr;
    }
    static xls::Workbook* book_;
};

xls::Workbook* ReadNumber::book_ = nullptr;

TEST_P(ReadNumber, TheListAndTheEngineReadTheSame) {
    const NumberCase& c = GetParam();
    const std::optional<double> got = xls::readNumber(c.text);
    ASSERT_EQ(got.has_value(), c.value.has_value());
    if (c.value) {
        EXPECT_DOUBLE_EQ(*got, *c.value);
    }

    EXPECT_EQ(EntryCommands::IsNumeric(QString::fromUtf8(c.text)), c.value.has_value());

    xls::Sheet& sheet = book_->activeSheet();
    sheet.setValue(3, 1, c.text);  // B4, where the first amount goes
    const xls::Cell cell = sheet.cell(3, 1);
    if (c.value) {
        ASSERT_EQ(cell.kind, xls::CellKind::Number) << xls::kindName(cell.kind);
        EXPECT_DOUBLE_EQ(cell.number, *c.value);
    } else if (*c.text != '\0') {
        ASSERT_EQ(cell.kind, xls::CellKind::String) << xls::kindName(cell.kind);
        EXPECT_EQ(cell.text, c.text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadNumber,
    ::testing::Values(NumberCase{"25000", 25000}, NumberCase{" 7500 ", 7500},
                      NumberCase{"\t42\t", 42}, NumberCase{"-12.5", -12.5}, NumberCase{"+3", 3},
                      NumberCase{"1,250,000", 1250000}, NumberCase{"1,000.5", 1000.5},
                      NumberCase{"1e6", 1e6}, NumberCase{"2.5E-3", 0.0025}, NumberCase{".5", 0.5},
                      NumberCase{"5.", 5}, NumberCase{"0", 0}, NumberCase{"-7", -7},
                      NumberCase{"007", 7}, NumberCase{"123456789012345", 123456789012345.0},
                      NumberCase{"9007199254740993", 9007199254740992.0},
                      // A "$" as the amount format shows it, before or after the sign.
                      NumberCase{"$5", 5}, NumberCase{"$25,000", 25000},
                      NumberCase{" $7,500.25 ", 7500.25}, NumberCase{"-$5", -5},
                      NumberCase{"$-5", -5}, NumberCase{"+$1e3", 1000},
                      NumberCase{"", std::nullopt}, NumberCase{"   ", std::nullopt},
                      NumberCase{"12a", std::nullopt}, NumberCase{"a12", std::nullopt},
                      NumberCase{"1,2345", std::nullopt}, NumberCase{"12,34", std::nullopt},
                      NumberCase{"1234,567", std::nullopt}, NumberCase{",123", std::nullopt},
                      NumberCase{"1,234,", std::nullopt}, NumberCase{"--1", std::nullopt},
                      NumberCase{"1e", std::nullopt}, NumberCase{"1e+", std::nullopt},
                      NumberCase{".", std::nullopt}, NumberCase{"-", std::nullopt},
                      NumberCase{"1 000", std::nullopt}, NumberCase{"1.2.3", std::nullopt},
                      NumberCase{"0x10", std::nullopt}, NumberCase{"inf", std::nullopt},
                      NumberCase{"nan", std::nullopt}, NumberCase{"1e400", std::nullopt},
                      NumberCase{"$$5", std::nullopt}, NumberCase{"$", std::nullopt},
                      NumberCase{"$-", std::nullopt}, NumberCase{"5$", std::nullopt},
                      NumberCase{"$ 5", std::nullopt}, NumberCase{"-$-5", std::nullopt},
                      NumberCase{"\xEF\xBC\x95", std::nullopt},  // a full-width digit five
                      NumberCase{"\xC2\xA0"
                                 "5",
                                 std::nullopt}));  // a no-break space before it

}  // namespace
