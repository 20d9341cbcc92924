#pragma once

#include <optional>
#include <string>
#include <vector>

namespace xls::draw {

// One run of a formatted cell: shown text, or a blank as wide as the text `text` (the "_x" of a
// number format, and the blank a "?" placeholder leaves, as wide as a digit).
struct FormatPiece {
    enum class Kind { Text, Pad };
    Kind kind = Kind::Text;
    std::string text;  // UTF-8

    bool operator==(const FormatPiece& o) const { return kind == o.kind && text == o.text; }
};

// A value as a number format shows it, ready for layout: the pieces left of the fill, the fill
// character repeated to take up the cell's spare width, the pieces right of it. Without a fill
// everything is in `left` and the cell's alignment places it. `colorIndex` is a palette index
// (8 black, 9 white, 10 red, ... as in the workbook's palette) when the format names a colour.
struct FormattedValue {
    std::vector<FormatPiece> left;
    std::optional<std::string> fill;
    std::vector<FormatPiece> right;
    std::optional<int> colorIndex;

    // The text with every pad and the fill shown as one space each.
    std::string plain() const;
};

}  // namespace xls::draw
