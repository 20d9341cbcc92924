#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "xls/StyleTypes.h"

namespace xls {

// The workbook-wide formatting tables, read-only: XF records, FONT records, number formats and
// the colour palette. Obtained from Workbook::styles(); stays valid while the workbook lives.
class Styles {
  public:
    size_t xfCount() const { return xfs_.size(); }
    // The XF at `index`; an index past the table gives a default-looking XF.
    const XfStyle& xf(size_t index) const;

    // FONT records are numbered 0, 1, 2, 3, 5, 6, ...: index 4 does not exist. An unknown index
    // gives the default font.
    size_t fontRecordCount() const { return fonts_.size(); }
    const FontStyle& font(size_t fontIndex) const;
    const FontStyle& defaultFont() const;  // font 0

    // The format string for a number format index: built-in ids 0..49 as their standard
    // strings, custom ids from the workbook's FORMAT records; unknown ids give "General".
    std::string formatString(uint16_t formatIndex) const;
    // Custom FORMAT records: (index, format text).
    const std::vector<std::pair<uint16_t, std::string>>& customFormats() const { return formats_; }

    // A palette index as a colour: 0..7 fixed (black, white, red, green, blue, yellow, magenta,
    // cyan), 8..63 from the PALETTE record or the default BIFF8 palette, 0x40 (system window text
    // / foreground) black, 0x41 (system background) white, 0x7FFF (automatic font colour) black,
    // anything else black.
    Rgb color(uint16_t colorIndex) const;
    // Palette entries 8..63 in effect (56 colours).
    const std::vector<Rgb>& palette() const { return palette_; }

    // Built-in number format string for ids 0..49 (empty for ids with no standard string).
    static std::string_view builtinFormat(uint16_t formatIndex);

  private:
    friend class Globals;
    std::vector<XfStyle> xfs_;
    std::vector<FontStyle> fonts_;  // in record order (record 4 is font index 5)
    std::vector<std::pair<uint16_t, std::string>> formats_;
    std::vector<Rgb> palette_;
};

}  // namespace xls
