#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "xls/NumericText.h"
#include "xls/draw/FormatSection.h"
#include "xls/draw/FormattedValue.h"

namespace xls::draw {

// A spreadsheet number-format code ("#,##0.00", "0%", "[Red]0;(0)", the accounting format...),
// parsed once and applied to any number of values.
//
// Up to four sections: positive; negative (shown without its minus sign); zero; text. Conditions
// ([>=100]) choose sections in their place; colours ([Red], [Color10]) come back as palette
// indexes. Placeholders 0 # ?, thousands separators and scaling commas, decimals, %, E+/E-,
// "literal" and \x, _x (a blank as wide as x), *x (x repeated to fill the cell), @, General, and
// the common date and time codes (yyyy yy m mm mmm mmmm d dd ddd dddd h hh mm ss AM/PM [h]).
// Rounding is half away from zero on 15 significant digits.
class NumberFormat {
  public:
    // `numbers`: the decimal and group separators shown where the code has "." and "," (a
    // spreadsheet application shows them as the user's regional settings write numbers).
    explicit NumberFormat(std::string_view code, xls::NumberConventions numbers = {});

    const std::string& code() const { return code_; }
    bool isGeneral() const;
    bool isDate() const;

    FormattedValue format(double value) const;
    FormattedValue format(std::string_view text) const;

    // As the cell would read with every pad and the fill as one space.
    std::string formatPlain(double value) const { return format(value).plain(); }
    std::string formatPlain(std::string_view text) const { return format(text).plain(); }

  private:
    int textSection() const;
    int numberSectionCount() const;

    std::string code_;
    xls::NumberConventions numbers_;
    std::vector<FormatSection> sections_;
};

}  // namespace xls::draw
