#pragma once

#include <optional>
#include <string>
#include <vector>

namespace xls::draw {

// One element of a parsed number-format section.
struct FormatToken {
    enum class Kind {
        Literal,    // text shown as it is
        Pad,        // "_x": a blank as wide as text
        Fill,       // "*x": text repeated to fill the cell
        IntDigit,   // 0 # ? before the decimal point; ch is the placeholder
        FracDigit,  // 0 # ? after the decimal point
        ExpDigit,   // 0 # ? after E+ / E-
        Point,      // the decimal point
        Exponent,   // E+ or E-: text is "E" or "e", ch is '+' or '-'
        Text,       // @
        General,    // the word General
        Date        // a date or time code; text holds its normalised code
    };
    Kind kind = Kind::Literal;
    std::string text;
    char ch = 0;
};

// A condition such as [>=100].
struct FormatCondition {
    std::string op;  // < > = <= >= <>
    double value = 0;
    bool matches(double v) const;
    bool negativesOnly() const;
};

struct FormatSection {
    std::vector<FormatToken> tokens;
    std::optional<FormatCondition> condition;
    std::optional<int> colorIndex;
    bool thousands = false;  // a comma between integer placeholders
    int scaleCommas = 0;     // commas after the last placeholder: each divides by 1,000
    int percents = 0;        // each % multiplies by 100
    bool hasText = false;    // holds @
    bool isDate = false;     // holds date or time codes
    bool hasAmPm = false;
    int intDigits = 0, fracDigits = 0, expDigits = 0;
    bool hasExponent = false;
    bool hasNumber = false;  // holds any placeholder, General or a date code
};

}  // namespace xls::draw
