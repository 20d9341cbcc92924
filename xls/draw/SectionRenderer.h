#pragma once

#include <string>
#include <string_view>

#include "xls/NumericText.h"
#include "xls/draw/FormatSection.h"
#include "xls/draw/FormattedValue.h"

namespace xls::draw {

// Renders one value through one parsed section into the pieces a cell shows, with the decimal
// and group separators of `numbers` where the code has "." and ",".
class SectionRenderer {
  public:
    SectionRenderer(const FormatSection& section, const xls::NumberConventions& numbers);

    // `value` already without its sign when the section shows none; `minus` puts "-" in front.
    FormattedValue number(double value, bool minus);
    FormattedValue text(std::string_view text);

  private:
    void append(const std::string& text);
    void pad(const std::string& widthOf);
    void fill(const std::string& ch);
    void literalToken(const FormatToken& t);
    void integerPart(const std::string& digits, int placeholders, int& index, char placeholder,
                     bool thousands);
    void digitsOf(double x, int& exponent, std::string& intDigits, std::string& fracDigits) const;
    std::string fractionShown(const std::string& fracDigits) const;
    void date(double serial);
    std::string dateCode(const std::string& code, long day, long seconds, double serial) const;

    const FormatSection& section_;
    const xls::NumberConventions& numbers_;
    FormattedValue out_;
};

}  // namespace xls::draw
