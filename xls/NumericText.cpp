#include "xls/NumericText.h"

#include <charconv>
#include <cstdint>
#include <string>

#include "xls/FastPaths.h"

namespace xls {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The C form's marks: "," between groups, "." before the decimals. Each call gives the length of
// the mark at text[i], 0 where there is none.
struct CMarks {
    static constexpr bool kZeroFirstGroup = true;
    size_t group(std::string_view text, size_t i) const { return text[i] == ',' ? 1 : 0; }
    size_t decimal(std::string_view text, size_t i) const { return text[i] == '.' ? 1 : 0; }
};

// A user's marks. A space group separator also matches the other spaces a keyboard types there,
// a right single quotation mark also "'".
struct LocaleMarks {
    static constexpr bool kZeroFirstGroup = false;
    explicit LocaleMarks(const NumberConventions& numbers) : decimalMark(numbers.decimal) {
        static constexpr std::string_view kSpaces[] = {" ", "\u00A0", "\u202F"};
        groupMarks[0] = numbers.group;
        if (numbers.group == kSpaces[0] || numbers.group == kSpaces[1] ||
            numbers.group == kSpaces[2]) {
            groupMarks[0] = kSpaces[0];
            groupMarks[1] = kSpaces[1];
            groupMarks[2] = kSpaces[2];
        } else if (numbers.group == "\u2019") {
            groupMarks[1] = "'";
        }
    }
    static size_t at(std::string_view text, size_t i, std::string_view mark) {
        return !mark.empty() && text.substr(i, mark.size()) == mark ? mark.size() : 0;
    }
    size_t group(std::string_view text, size_t i) const {
        for (std::string_view mark : groupMarks)
            if (size_t n = at(text, i, mark)) return n;
        return 0;
    }
    size_t decimal(std::string_view text, size_t i) const { return at(text, i, decimalMark); }

    std::string_view decimalMark;
    std::string_view groupMarks[3];
};

// The decimal mark of `marks` and the digits after it at text[i], if there, appended to `plain`
// in the C form; moves `i` past them. Returns the digits' count.
template <typename Marks>
size_t readFraction(std::string_view text, size_t& i, size_t end, const Marks& marks,
                    std::string& plain) {
    size_t digits = 0;
    if (i >= end) return 0;
    if (const size_t mark = marks.decimal(text, i)) {
        plain += '.';
        i += mark;
        for (; i < end && isDigit(text[i]); ++digits) plain += text[i++];
    }
    return digits;
}

// The exponent ("e" or "E", a sign, digits) at text[i], if there, appended to `plain`; moves
// `i` past it. False for an "e" without digits.
inline bool readExponent(std::string_view text, size_t& i, size_t end, std::string& plain) {
    if (i >= end || (text[i] != 'e' && text[i] != 'E')) return true;
    plain += 'e';
    ++i;
    if (i < end && (text[i] == '+' || text[i] == '-')) plain += text[i++];
    size_t digits = 0;
    for (; i < end && isDigit(text[i]); ++digits) plain += text[i++];
    return digits > 0;
}

// readNumber() of text[begin, end), which starts with `lead`, a digit or one of "-+$" or a
// decimal mark, with the group and decimal marks of `marks`. Out of line: a cell's text passes
// readNumber() on every assignment, and its short paths stay short without this one's locals.
template <typename Marks>
[[gnu::noinline]] std::optional<double> readTrimmed(std::string_view text, size_t begin, size_t end,
                                                    char lead, const Marks& marks) {
    // A plain integer of up to 15 digits (most amounts typed): exact in a double, the value
    // from_chars gives it.
    size_t digitsAt = begin + (lead == '-' || lead == '+' ? 1 : 0);
    if (digitsAt < end && end - digitsAt <= 15) {
        uint64_t n = 0;
        size_t k = digitsAt;
        for (; k < end && isDigit(text[k]); ++k) n = n * 10 + uint64_t(text[k] - '0');
        if (k == end) return lead == '-' ? -double(n) : double(n);
    }

    std::string plain;  // the number in the C form without group separators or currency
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

    // Integer part, with groups of three after the first group when a group mark appears.
    size_t groupLength = 0;
    bool grouped = false;
    size_t intDigits = 0;
    const size_t intAt = i;
    while (i < end) {
        if (isDigit(text[i])) {
            plain += text[i++];
            ++groupLength;
            ++intDigits;
            continue;
        }
        const size_t mark = marks.group(text, i);
        if (mark == 0) break;
        if (intDigits == 0) return std::nullopt;
        if (grouped ? groupLength != 3 : groupLength > 3) return std::nullopt;
        if (!Marks::kZeroFirstGroup && !grouped && text[intAt] == '0') return std::nullopt;
        grouped = true;
        groupLength = 0;
        i += mark;
    }
    if (grouped && groupLength != 3) return std::nullopt;

    const size_t fracDigits = readFraction(text, i, end, marks, plain);
    if (intDigits == 0 && fracDigits == 0) return std::nullopt;
    if (!readExponent(text, i, end, plain) || i != end) return std::nullopt;

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
    // Fast path: most amounts typed are up to 15 digits and nothing else, exact in a double,
    // as from_chars reads them below.
    if (kFastPaths && text.size() - 1 < 15) {
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
    // Fast path: the same answer as the lead character's test below.
    const unsigned first = static_cast<unsigned char>(text[0]);
    if (kFastPaths && (first >= 64 || !(kMayStart >> first & 1))) return std::nullopt;

    size_t begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    if (begin == end) return std::nullopt;
    // A number starts with a digit, a sign, a currency sign or a decimal point; a label rarely
    // does, and is turned away here.
    const char lead = text[begin];
    if (!isDigit(lead) && lead != '-' && lead != '+' && lead != '$' && lead != '.')
        return std::nullopt;
    while (isBlank(text[end - 1])) --end;  // stops at `lead` at the latest
    return readTrimmed(text, begin, end, lead, CMarks());
}

std::optional<double> readNumber(std::string_view text, const NumberConventions& numbers) {
    if (numbers.isC()) return readNumber(text);
    size_t begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    if (begin < end) {
        const LocaleMarks marks(numbers);
        const char lead = text[begin];
        if (isDigit(lead) || lead == '-' || lead == '+' || lead == '$' ||
            marks.decimal(text, begin) != 0)
            if (auto value = readTrimmed(text, begin, end, lead, marks)) return value;
    }
    return readNumber(text);
}

}  // namespace xls
