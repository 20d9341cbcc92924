#include "xls/Styles.h"

namespace xls {

namespace {

const XfStyle kDefaultXf{};
const FontStyle kDefaultFont{};

const char* const kBuiltinFormats[50] = {
    "General",
    "0",
    "0.00",
    "#,##0",
    "#,##0.00",
    "\"$\"#,##0_);(\"$\"#,##0)",
    "\"$\"#,##0_);[Red](\"$\"#,##0)",
    "\"$\"#,##0.00_);(\"$\"#,##0.00)",
    "\"$\"#,##0.00_);[Red](\"$\"#,##0.00)",
    "0%",
    "0.00%",
    "0.00E+00",
    "# ?/?",
    "# ?\?/?\?",
    "m/d/yyyy",
    "d-mmm-yy",
    "d-mmm",
    "mmm-yy",
    "h:mm AM/PM",
    "h:mm:ss AM/PM",
    "h:mm",
    "h:mm:ss",
    "m/d/yyyy h:mm",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "#,##0_);(#,##0)",
    "#,##0_);[Red](#,##0)",
    "#,##0.00_);(#,##0.00)",
    "#,##0.00_);[Red](#,##0.00)",
    "_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)",
    "_(\"$\"* #,##0_);_(\"$\"* (#,##0);_(\"$\"* \"-\"_);_(@_)",
    "_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"??_);_(@_)",
    "_(\"$\"* #,##0.00_);_(\"$\"* (#,##0.00);_(\"$\"* \"-\"??_);_(@_)",
    "mm:ss",
    "[h]:mm:ss",
    "mm:ss.0",
    "##0.0E+0",
    "@"};

}  // namespace

const XfStyle& Styles::xf(size_t index) const {
    return index < xfs_.size() ? xfs_[index] : kDefaultXf;
}

const FontStyle& Styles::font(size_t fontIndex) const {
    if (fontIndex == 4) return defaultFont();
    size_t record = fontIndex > 4 ? fontIndex - 1 : fontIndex;
    return record < fonts_.size() ? fonts_[record] : defaultFont();
}

const FontStyle& Styles::defaultFont() const { return fonts_.empty() ? kDefaultFont : fonts_[0]; }

std::string_view Styles::builtinFormat(uint16_t formatIndex) {
    return formatIndex < 50 ? kBuiltinFormats[formatIndex] : "";
}

std::string Styles::formatString(uint16_t formatIndex) const {
    for (const auto& f : formats_)
        if (f.first == formatIndex) return f.second;
    const std::string_view s = builtinFormat(formatIndex);
    return std::string(s.empty() ? "General" : s);
}

Rgb Styles::color(uint16_t colorIndex) const {
    static const Rgb fixed[8] = {{0, 0, 0},   {255, 255, 255}, {255, 0, 0},   {0, 255, 0},
                                 {0, 0, 255}, {255, 255, 0},   {255, 0, 255}, {0, 255, 255}};
    if (colorIndex < 8) return fixed[colorIndex];
    if (colorIndex < 64 && size_t(colorIndex - 8) < palette_.size())
        return palette_[colorIndex - 8];
    if (colorIndex == 0x41) return {255, 255, 255};
    return {0, 0, 0};
}

}  // namespace xls
