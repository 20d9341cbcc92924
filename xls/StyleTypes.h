#pragma once

#include <cstdint>
#include <string>

// Plain value types describing how a workbook looks: cell formats (XF), fonts, colours, column
// widths, row heights and cell ranges. All row and column numbers are 0-based.
namespace xls {

// A rectangle of cells, inclusive on both ends.
struct CellRange {
    int firstRow = 0;
    int firstCol = 0;
    int lastRow = 0;
    int lastCol = 0;

    bool contains(int row, int col) const {
        return row >= firstRow && row <= lastRow && col >= firstCol && col <= lastCol;
    }
    bool operator==(const CellRange& o) const {
        return firstRow == o.firstRow && firstCol == o.firstCol && lastRow == o.lastRow &&
               lastCol == o.lastCol;
    }
};

enum class HAlign : uint8_t {
    General = 0,
    Left = 1,
    Center = 2,
    Right = 3,
    Fill = 4,
    Justify = 5,
    CenterAcross = 6,
    Distributed = 7
};
enum class VAlign : uint8_t { Top = 0, Center = 1, Bottom = 2, Justify = 3, Distributed = 4 };

// One cell edge. style: 0 none, 1 thin, 2 medium, 3 dashed, 4 dotted, 5 thick, 6 double,
// 7 hair, 8 medium dashed, 9 dash-dot, 10 medium dash-dot, 11 dash-dot-dot,
// 12 medium dash-dot-dot, 13 slanted dash-dot. colorIndex is a palette index (see Styles::color).
struct Border {
    uint8_t style = 0;
    uint16_t colorIndex = 0x40;
};

// One XF record: a cell (or style) format.
struct XfStyle {
    uint16_t fontIndex = 0;
    uint16_t formatIndex = 0;  // number format index (see Styles::formatString)
    bool isStyle = false;      // a style XF rather than a cell XF
    uint16_t parent = 0;       // parent style XF of a cell XF
    bool locked = true;
    bool formulaHidden = false;
    HAlign hAlign = HAlign::General;
    VAlign vAlign = VAlign::Bottom;
    bool wrap = false;
    bool shrinkToFit = false;
    uint8_t indent = 0;    // indent level (each level is about three characters)
    uint8_t rotation = 0;  // 0..90 degrees counter-clockwise, 91..180 = 90..0 degrees
                           // clockwise (value - 90), 255 = letters stacked top to bottom
    Border left, right, top, bottom;
    uint8_t fillPattern = 0;  // 0 none, 1 solid (foreground colour), 2..18 pattern fills
    uint16_t fillForeground = 0x40;
    uint16_t fillBackground = 0x41;
};

// Underline kinds of FONT records.
enum class Underline : uint8_t {
    None = 0,
    Single = 1,
    Double = 2,
    SingleAccounting = 0x21,
    DoubleAccounting = 0x22
};

// One FONT record.
struct FontStyle {
    std::string name = "Arial";
    uint16_t heightTwips = 200;  // 1/20 point
    uint16_t weight = 400;       // 400 normal, 700 bold
    bool italic = false;
    bool strikeout = false;
    Underline underline = Underline::None;
    uint16_t colorIndex = 0x7FFF;  // palette index; 0x7FFF (and 0x40 / 0x41) = automatic
    uint8_t script = 0;            // 0 normal, 1 superscript, 2 subscript
    bool bold() const { return weight >= 600; }
};

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

// A column's width and visibility. widthChars256 is in 1/256 of the width of the default font's
// "0" character, from COLINFO, else from DEFCOLWIDTH/STANDARDWIDTH.
struct ColumnFormat {
    int widthChars256 = 8 * 256 + 0xA0;
    bool hidden = false;
    bool custom = false;  // described by a COLINFO record
    uint16_t xf = 15;
};

// A row's height and visibility: from its ROW record, else the sheet's DEFAULTROWHEIGHT.
struct RowFormat {
    int heightTwips = 255;
    bool hidden = false;
    bool custom = false;  // described by a ROW record
    bool hasXf = false;   // the row carries a default format for its empty cells
    uint16_t xf = 15;
};

}  // namespace xls
