#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "xls/Cell.h"
#include "xls/Styles.h"
#include "xls/draw/FormattedValue.h"
#include "xls/draw/NumberFormat.h"

namespace xls::draw {

// What a cell shows as text: its value through its number format, and the kind of value, which
// decides the "General" alignment (numbers right, text left, logical values and errors centred)
// and whether a value that does not fit shows "###" (numbers) or runs on (text).
struct CellContent {
    enum class Kind { Number, Text, Centered };
    Kind kind = Kind::Text;
    xls::draw::FormattedValue value;
    bool general = false;  // a number shown by the "General" format
    double number = 0;     // the number, for a General number that must be shortened
};

// Formats cell values, keeping each number format parsed once.
class CellText {
  public:
    // `numbers`: the separators the number formats show (see NumberFormat).
    explicit CellText(const xls::Styles& styles, xls::NumberConventions numbers = {})
        : styles_(styles), numbers_(std::move(numbers)) {}

    const xls::NumberConventions& numbers() const { return numbers_; }

    // Nothing for a cell without a value (empty, blank, or a formula without a cached result).
    std::optional<CellContent> content(const xls::Cell& cell, const xls::XfStyle& xf);

    static const char* errorText(uint8_t errorCode);

    // Shorter ways "General" shows a number in a narrow cell, longest first: fewer decimals,
    // then E notation ("1.2E+09"), with the conventions' decimal separator. The caller takes the
    // first that fits.
    std::vector<std::string> generalFallbacks(double value) const;

  private:
    const xls::draw::NumberFormat& numberFormat(uint16_t formatIndex);

    const xls::Styles& styles_;
    xls::NumberConventions numbers_;
    std::unordered_map<uint16_t, std::unique_ptr<xls::draw::NumberFormat>> formats_;
};

}  // namespace xls::draw
