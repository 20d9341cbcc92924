#include "xls/draw/CellText.h"

namespace xlsdraw {

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
        case 0x00: return "#NULL!";
        case 0x07: return "#DIV/0!";
        case 0x0F: return "#VALUE!";
        case 0x17: return "#REF!";
        case 0x1D: return "#NAME?";
        case 0x24: return "#NUM!";
        case 0x2A: return "#N/A";
        default: return "#N/A";
    }
}

const xls::draw::NumberFormat& CellText::numberFormat(uint16_t formatIndex) {
    auto it = formats_.find(formatIndex);
    if (it == formats_.end()) {
        auto format = std::make_unique<xls::draw::NumberFormat>(styles_.formatString(formatIndex));
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
            content.value = numberFormat(xf.formatIndex).format(cell.number);
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

}  // namespace xlsdraw
