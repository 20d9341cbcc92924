#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "xls/NumericText.h"

namespace {

struct NumberCase {
    const char* text;
    bool currency;
    std::optional<double> value;
};

class ReadNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ReadNumber, ReadsOrRejects) {
    const NumberCase& c = GetParam();
    const std::optional<double> got = xls::readNumber(c.text, c.currency);
    ASSERT_EQ(got.has_value(), c.value.has_value()) << "\"" << c.text << "\"";
    if (c.value) {
        EXPECT_DOUBLE_EQ(*got, *c.value) << "\"" << c.text << "\"";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadNumber,
    ::testing::Values(
        NumberCase{"25000", false, 25000}, NumberCase{" 7500 ", false, 7500},
        NumberCase{"\t42\t", false, 42}, NumberCase{"-12.5", false, -12.5},
        NumberCase{"+3", false, 3}, NumberCase{"1,250,000", false, 1250000},
        NumberCase{"1,000.5", false, 1000.5}, NumberCase{"1e6", false, 1e6},
        NumberCase{"2.5E-3", false, 0.0025}, NumberCase{".5", false, 0.5},
        NumberCase{"5.", false, 5}, NumberCase{"0", false, 0}, NumberCase{"", false, std::nullopt},
        NumberCase{"   ", false, std::nullopt}, NumberCase{"12a", false, std::nullopt},
        NumberCase{"a12", false, std::nullopt}, NumberCase{"1,2345", false, std::nullopt},
        NumberCase{"12,34", false, std::nullopt}, NumberCase{"1234,567", false, std::nullopt},
        NumberCase{",123", false, std::nullopt}, NumberCase{"1,234,", false, std::nullopt},
        NumberCase{"--1", false, std::nullopt}, NumberCase{"1e", false, std::nullopt},
        NumberCase{"1e+", false, std::nullopt}, NumberCase{".", false, std::nullopt},
        NumberCase{"-", false, std::nullopt}, NumberCase{"1 000", false, std::nullopt},
        NumberCase{"1.2.3", false, std::nullopt}, NumberCase{"0x10", false, std::nullopt},
        NumberCase{"inf", false, std::nullopt}, NumberCase{"nan", false, std::nullopt},
        NumberCase{"1e400", false, std::nullopt}, NumberCase{"$25,000", false, std::nullopt},
        NumberCase{"$25,000", true, 25000}, NumberCase{"-$5", true, -5},
        NumberCase{"$-5", true, -5}, NumberCase{"$$5", true, std::nullopt},
        NumberCase{"$", true, std::nullopt}));

}  // namespace
