#pragma once

#include <string>

namespace xls::draw {

// A non-negative number as decimal digits, taken to 15 significant digits as a spreadsheet
// keeps them, and rounded half away from zero (so 2.5 gives 3 and 1.005 gives 1.01).
class DecimalDigits {
  public:
    explicit DecimalDigits(double absValue);

    // Moves the decimal point: the value times 10^shift.
    void shift(int shift) { pointPos_ += shift; }
    // Decimal exponent of the leading digit (12345 gives 4); 0 for zero.
    int exponent() const { return isZero() ? 0 : pointPos_ - 1; }
    bool isZero() const { return digits_.empty(); }

    // Rounds to `fracDigits` decimals: the integer part without leading zeros ("" for zero) and
    // exactly `fracDigits` fraction digits.
    void round(int fracDigits, std::string& intPart, std::string& fracPart) const;

  private:
    std::string digits_;  // significant digits, no leading or trailing zeros
    int pointPos_ = 0;    // digits before the decimal point (may be negative or beyond size)
};

// Excel's "General" for a number: at most 11 characters including a minus sign, switching to
// E notation (1.23457E+11, 1E-05) for very large and very small magnitudes.
std::string generalNumberText(double value);

// `text` as generalNumberText writes it, with `decimal` for its decimal point: "General" writes
// the user's decimal separator ("1,5" and "1,23457E+11" where it is ","), and no group separator.
std::string withDecimalSeparator(std::string text, const std::string& decimal);

}  // namespace xls::draw
