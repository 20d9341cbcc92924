#include "xls/NumericText.h"

#include <charconv>
#include <cstdint>
#include <string>

namespace xls {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// readNumber() of text[begin, end), which starts with `lead`, a digit or one of "-+$.". Out of
// line: a cell's text passes readNumber() on every assignment, and its short paths stay short
// without this one's locals.
[[gnu::noinline]] std::optional<double> readTrimmed(std::string_view text, size_t begin, size_t end,
                                                    char lead) {
    // A plain integer of up to 15 digits (most amounts typed): exact in a double, the value
    // from_chars gives it.
    size_t digitsAt = begin + (lead == '-' || lead == '+' ? 1 : 0);
    if (digitsAt < end && end - digitsAt <= 15) {
        uint64_t n = 0;
        size_t k = digitsAt;
        for (; k < end && isDigit(text[k]); ++k) n = n * 10 + uint64_t(text[k] - '0');
        if (k == end) return lead == '-' ? -double(n) : double(n);
    }

    std::string plain;  // the number without group separators or currency, for from_chars
    plain.reserve(end - begin);
    size_t i = begin;
    bool currency = false;
    auto takeCurrency = [&] {
        if (!currency && i < end && text[i] == '$') {
            currency = true;
            ++i;
        }
    };
    takeCurrency();
    if (i < end && (text[i] == '+' || text[i] == '-')) plain += text[i++];
    takeCurrency();

    // Integer part, with groups of three after the first group when a comma appears.
    size_t groupLength = 0;
    bool grouped = false;
    size_t intDigits = 0;
    while (i < end && (isDigit(text[i]) || text[i] == ',')) {
        if (text[i] == ',') {
            if (intDigits == 0) return std::nullopt;
            if (grouped ? groupLength != 3 : groupLength > 3) return std::nullopt;
            grouped = true;
            groupLength = 0;
        } else {
            plain += text[i];
            ++groupLength;
            ++intDigits;
        }
        ++i;
    }
    if (grouped && groupLength != 3) return std::nullopt;

    size_t fracDigits = 0;
    if (i < end && text[i] == '.') {
        plain += '.';
        ++i;
        while (i < end && isDigit(text[i])) {
            plain += text[i++];
            ++fracDigits;
        }
    }
    if (intDigits == 0 && fracDigits == 0) return std::nullopt;

    if (i < end && (text[i] == 'e' || text[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < end && (text[i] == '+' || text[i] == '-')) plain += text[i++];
        size_t expDigits = 0;
        while (i < end && isDigit(text[i])) {
            plain += text[i++];
            ++expDigits;
        }
        if (expDigits == 0) return std::nullopt;
    }
    if (i != end) return std::nullopt;

    // from_chars reads the C locale's form whatever the process locale, and rejects a leading "+".
    const char* first = plain.data();
    const char* last = plain.data() + plain.size();
    if (*first == '+') ++first;
    double value = 0;
    const auto [stop, ec] = std::from_chars(first, last, value);
    if (stop != last) return std::nullopt;
    // A magnitude a double cannot hold (1e400, 1e-400) is not taken as a number.
    if (ec != std::errc()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<double> readNumber(std::string_view text) {
    // Most amounts typed: up to 15 digits and nothing else, exact in a double. One pass.
    if (text.size() - 1 < 15) {
        uint64_t n = 0;
        size_t k = 0;
        for (; k < text.size(); ++k) {
            const unsigned digit = unsigned(static_cast<unsigned char>(text[k])) - '0';
            if (digit > 9) break;
            n = n * 10 + digit;
        }
        if (k == text.size()) return double(int64_t(n));  // below 10^15
    }

    // A label mostly starts with a character no number starts with, nor a blank: turned away
    // at once. Those that may start one (blanks, digits, signs, "$", ".") all lie below 64.
    constexpr uint64_t kMayStart = 1ull << '\t' | 1ull << ' ' | 1ull << '$' | 1ull << '+' |
                                   1ull << '-' | 1ull << '.' | 0x3FFull << '0';
    if (text.empty()) return std::nullopt;
    const unsigned first = static_cast<unsigned char>(text[0]);
    if (first >= 64 || !(kMayStart >> first & 1)) return std::nullopt;

    size_t begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    if (begin == end) return std::nullopt;
    // A number starts with a digit, a sign, a currency sign or a decimal point; a label rarely
    // does, and is turned away here.
    const char lead = text[begin];
    if (!isDigit(lead) && lead != '-' && lead != '+' && lead != '$' && lead != '.')
        return std::nullopt;
    while (isBlank(text[end - 1])) --end;  // stops at `lead` at the latest
    return readTrimmed(text, begin, end, lead);
}

}  // namespace xls
