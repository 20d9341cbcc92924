#include "xls/draw/NumberFormat.h"

#include <cmath>
#include <utility>

#include "xls/draw/DecimalDigits.h"
#include "xls/draw/FormatParser.h"
#include "xls/draw/SectionRenderer.h"

namespace xls::draw {

namespace {

FormattedValue plainText(std::string text) {
    FormattedValue out;
    if (!text.empty()) out.left.push_back(FormatPiece{FormatPiece::Kind::Text, std::move(text)});
    return out;
}

}  // namespace

std::string FormattedValue::plain() const {
    std::string text;
    auto add = [&text](const std::vector<FormatPiece>& pieces) {
        for (const auto& p : pieces) text += p.kind == FormatPiece::Kind::Text ? p.text : " ";
    };
    add(left);
    if (fill) text += " ";
    add(right);
    return text;
}

NumberFormat::NumberFormat(std::string_view code, xls::NumberConventions numbers)
    : code_(code), numbers_(std::move(numbers)) {
    if (!code.empty()) sections_ = parseFormatCode(code);
}

bool NumberFormat::isGeneral() const {
    return sections_.empty() || (sections_.size() == 1 && sections_[0].tokens.size() == 1 &&
                                 sections_[0].tokens[0].kind == FormatToken::Kind::General);
}

bool NumberFormat::isDate() const { return !sections_.empty() && sections_[0].isDate; }

// The section that shows text: the fourth, or a last one that holds @ and no number.
int NumberFormat::textSection() const {
    const int n = static_cast<int>(sections_.size());
    if (n == 4) return 3;
    if (n > 0 && sections_[n - 1].hasText && !sections_[n - 1].hasNumber) return n - 1;
    return -1;
}

int NumberFormat::numberSectionCount() const {
    const int text = textSection();
    return text >= 0 ? text : static_cast<int>(sections_.size());
}

FormattedValue NumberFormat::format(double value) const {
    const int n = numberSectionCount();
    if (n == 0 || std::isnan(value) || std::isinf(value)) {
        return plainText(std::isfinite(value)
                             ? withDecimalSeparator(generalNumberText(value), numbers_.decimal)
                             : "#NUM!");
    }
    const FormatSection& first = sections_[0];
    int index = 0;
    if (n >= 2) {
        const FormatCondition firstCondition =
            first.condition ? *first.condition : FormatCondition{n == 2 ? ">=" : ">", 0};
        if (firstCondition.matches(value)) {
            index = 0;
        } else if (n == 2) {
            index = 1;
        } else {
            const auto& second = sections_[1].condition;
            index = (second ? *second : FormatCondition{"<", 0}).matches(value) ? 1 : 2;
        }
    }
    const FormatSection& chosen = sections_[index];
    // The negative section writes its own sign; so does a section whose condition admits only
    // negative numbers.
    const bool negativeSection = index == 1 && !chosen.condition && (n >= 3 || !first.condition);
    const bool ownSign = negativeSection || (chosen.condition && chosen.condition->negativesOnly());
    const bool minus = value < 0 && !ownSign;
    if (chosen.tokens.empty()) {
        FormattedValue empty;
        empty.colorIndex = chosen.colorIndex;
        return empty;
    }
    return SectionRenderer(chosen, numbers_).number(value, minus);
}

FormattedValue NumberFormat::format(std::string_view text) const {
    const int index = textSection();
    if (index < 0) return plainText(std::string(text));  // no text section: shown as it is
    return SectionRenderer(sections_[index], numbers_).text(text);
}

}  // namespace xls::draw
