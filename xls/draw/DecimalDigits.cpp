#include "xls/draw/DecimalDigits.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace xls::draw {

DecimalDigits::DecimalDigits(double absValue) {
    if (!(absValue > 0) || !std::isfinite(absValue)) return;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", absValue);  // d.dddddddddddddde±XX
    std::string mantissa;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9') mantissa += *p;
    }
    const int exp = *p == 'e' ? std::atoi(p + 1) : 0;
    while (!mantissa.empty() && mantissa.back() == '0') mantissa.pop_back();
    digits_ = mantissa;
    pointPos_ = exp + 1;
}

void DecimalDigits::round(int fracDigits, std::string& intPart, std::string& fracPart) const {
    std::string kept;
    int point = pointPos_;
    const int keep = pointPos_ + fracDigits;  // significant digits that survive
    if (!digits_.empty() && keep >= 0) {
        if (keep >= static_cast<int>(digits_.size())) {
            kept = digits_;
        } else {
            kept = digits_.substr(0, keep);
            if (digits_[keep] >= '5') {
                int i = keep - 1;
                while (i >= 0 && kept[i] == '9') kept[i--] = '0';
                if (i >= 0) {
                    ++kept[i];
                } else {
                    kept.insert(kept.begin(), '1');
                    ++point;
                }
            }
        }
    }
    while (!kept.empty() && kept.back() == '0') kept.pop_back();
    if (kept.empty()) point = 0;

    intPart.clear();
    fracPart.clear();
    for (int i = 0; i < point; ++i) intPart += i < static_cast<int>(kept.size()) ? kept[i] : '0';
    for (int i = 0; i < fracDigits; ++i) {
        const int at = point + i;
        fracPart += at >= 0 && at < static_cast<int>(kept.size()) ? kept[at] : '0';
    }
}

namespace {

std::string joinDecimal(const std::string& intPart, const std::string& fracPart) {
    std::string frac = fracPart;
    while (!frac.empty() && frac.back() == '0') frac.pop_back();
    std::string text = intPart.empty() ? "0" : intPart;
    if (!frac.empty()) text += "." + frac;
    return text;
}

std::string scientific(double ax, size_t room) {
    std::string text;
    for (int decimals = 5; decimals >= 0; --decimals) {
        DecimalDigits d(ax);
        int exp = d.exponent();
        d.shift(-exp);
        std::string i, f;
        d.round(decimals, i, f);
        if (i.size() > 1) {  // 9.999995 rounded up to 10
            ++exp;
            DecimalDigits again(ax);
            again.shift(-exp);
            again.round(decimals, i, f);
        }
        char expText[16];
        std::snprintf(expText, sizeof expText, "E%c%02d", exp < 0 ? '-' : '+', std::abs(exp));
        text = joinDecimal(i, f) + expText;
        if (text.size() <= room) break;
    }
    return text;
}

}  // namespace

std::string withDecimalSeparator(std::string text, const std::string& decimal) {
    if (decimal == ".") return text;
    const size_t point = text.find('.');
    if (point != std::string::npos) text.replace(point, 1, decimal);
    return text;
}

std::string generalNumberText(double value) {
    if (std::isnan(value)) return "#NUM!";
    const bool negative = value < 0;
    const double ax = std::fabs(value);
    const std::string sign = negative ? "-" : "";
    const size_t room = 11 - sign.size();
    DecimalDigits digits(ax);
    if (digits.isZero()) return "0";
    const int exp = digits.exponent();
    if (exp >= -5 + 1 && exp < 11) {
        for (int decimals = 10; decimals >= 0; --decimals) {
            std::string i, f;
            digits.round(decimals, i, f);
            const std::string text = joinDecimal(i, f);
            if (text.size() <= room && text != "0") return sign + text;
            if (decimals == 0 && i.size() > room) break;
        }
    }
    return sign + scientific(ax, room);
}

}  // namespace xls::draw
