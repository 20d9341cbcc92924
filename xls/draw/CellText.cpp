#include "xls/draw/CellText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "xls/draw/DecimalDigits.h"

namespace xls::draw {

namespace {

CellContent plain(CellContent::Kind kind, std::string text) {
    CellContent content;
    content.kind = kind;
    content.value.left.push_back({xls::draw::FormatPiece::Kind::Text, std::move(text)});
    return content;
}

}  // namespace

const char* CellText::errorText(uint8_t errorCode) {
    switch (errorCode) {
        case 0x00:
            return "#NULL!";
        case 0x07:
            return "#DIV/0!";
        case 0x0F:
            return "#VALUE!";
        case 0x17:
            return "#REF!";
        case 0x1D:
            return "#NAME?";
        case 0x24:
            return "#NUM!";
        case 0x2A:
            return "#N/A";
        default:
            return "#N/A";
    }
}

namespace {

// "1.2300" -> "1.23", "5.000" -> "5", "7." -> "7".
std::string trimZeros(std::string text) {
    if (text.find('.') == std::string::npos) return text;
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

}  // namespace

// Digits are rounded half away from zero, as the spreadsheet rounds (0.125 to two decimals is
// 0.13), not as printf does.
std::vector<std::string> CellText::generalFallbacks(double value) const {
    std::vector<std::string> forms;
    auto add = [&](const std::string& written) {
        if (value != 0 && (written == "0" || written == "-0")) return;
        const std::string form = xls::draw::withDecimalSeparator(written, numbers_.decimal);
        if (forms.empty() || forms.back() != form) forms.push_back(form);
    };
    const std::string sign = value < 0 ? "-" : "";
    const double magnitude = std::fabs(value);
    std::string intPart, fracPart;
    if (magnitude == 0 || (magnitude >= 1e-4 && magnitude < 1e11)) {
        for (int decimals = 9; decimals >= 0; --decimals) {
            xls::draw::DecimalDigits(magnitude).round(decimals, intPart, fracPart);
            add(trimZeros(sign + (intPart.empty() ? "0" : intPart) + "." + fracPart));
        }
    }
    for (int decimals = 5; decimals >= 0; --decimals) {
        xls::draw::DecimalDigits digits(magnitude);
        int exponent = digits.exponent();
        digits.shift(-exponent);
        digits.round(decimals, intPart, fracPart);
        if (intPart.size() > 1) {  // 9.99 rounded up to 10.0: one more in the exponent
            ++exponent;
            digits = xls::draw::DecimalDigits(magnitude);
            digits.shift(-exponent);
            digits.round(decimals, intPart, fracPart);
        }
        char tail[16];
        std::snprintf(tail, sizeof tail, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        add(trimZeros(sign + (intPart.empty() ? "0" : intPart) + "." + fracPart) + tail);
    }
    return forms;
}

const xls::draw::NumberFormat& CellText::numberFormat(uint16_t formatIndex) {
    auto it = formats_.find(formatIndex);
    if (it == formats_.end()) {
        auto format =
            std::make_unique<xls::draw::NumberFormat>(styles_.formatString(formatIndex), numbers_);
        it = formats_.emplace(formatIndex, std::move(format)).first;
    }
    return *it->second;
}

std::optional<CellContent> CellText::content(const xls::Cell& cell, const xls::XfStyle& xf) {
    const xls::CellKind kind = cell.kind == xls::CellKind::Formula ? cell.cachedKind : cell.kind;
    switch (kind) {
        case xls::CellKind::Number: {
            CellContent content;
            content.kind = CellContent::Kind::Number;
            const xls::draw::NumberFormat& format = numberFormat(xf.formatIndex);
            content.value = format.format(cell.number);
            content.general = format.isGeneral();
            content.number = cell.number;
            return content;
        }
        case xls::CellKind::String: {
            if (cell.text.empty()) return std::nullopt;
            CellContent content;
            content.kind = CellContent::Kind::Text;
            content.value = numberFormat(xf.formatIndex).format(cell.text);
            return content;
        }
        case xls::CellKind::Boolean:
            return plain(CellContent::Kind::Centered, cell.boolean ? "TRUE" : "FALSE");
        case xls::CellKind::Error:
            return plain(CellContent::Kind::Centered, errorText(cell.errorCode));
        default:
            return std::nullopt;
    }
}

}  // namespace xls::draw
