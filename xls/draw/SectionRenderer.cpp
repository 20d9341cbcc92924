#include "xls/draw/SectionRenderer.h"

#include <cmath>
#include <cstdio>

#include "xls/draw/DecimalDigits.h"

namespace xls::draw {

namespace {

using Kind = FormatToken::Kind;

const char* const kMonths[] = {"January",   "February", "March",    "April",
                               "May",       "June",     "July",     "August",
                               "September", "October",  "November", "December"};
const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                             "Thursday", "Friday", "Saturday"};

// Civil date of a serial day number in the 1900 date system, with its phantom 29 February 1900.
void civilDate(long serial, int& y, int& m, int& d) {
    if (serial == 60) {
        y = 1900, m = 2, d = 29;
        return;
    }
    // Days since 1970-01-01: serial 25569 is that day; before the phantom day there is one less.
    long z = serial - 25569 + (serial < 60 ? 1 : 0);
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

std::string twoDigits(long v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%02ld", v);
    return buf;
}

}  // namespace

SectionRenderer::SectionRenderer(const FormatSection& section,
                                 const xls::NumberConventions& numbers)
    : section_(section), numbers_(numbers) {
    out_.colorIndex = section.colorIndex;
}

void SectionRenderer::append(const std::string& text) {
    if (text.empty()) return;
    auto& pieces = out_.fill ? out_.right : out_.left;
    if (!pieces.empty() && pieces.back().kind == FormatPiece::Kind::Text) {
        pieces.back().text += text;
    } else {
        pieces.push_back(FormatPiece{FormatPiece::Kind::Text, text});
    }
}

void SectionRenderer::pad(const std::string& widthOf) {
    auto& pieces = out_.fill ? out_.right : out_.left;
    pieces.push_back(FormatPiece{FormatPiece::Kind::Pad, widthOf});
}

void SectionRenderer::fill(const std::string& ch) {
    if (!out_.fill) out_.fill = ch;  // a cell has one fill; later ones are ignored
}

void SectionRenderer::literalToken(const FormatToken& t) {
    switch (t.kind) {
        case Kind::Literal:
            append(t.text);
            break;
        case Kind::Pad:
            pad(t.text);
            break;
        case Kind::Fill:
            fill(t.text);
            break;
        default:
            break;
    }
}

// Emits one integer placeholder. Digits are right-aligned to the placeholders; digits beyond
// the placeholders come out at the first one.
void SectionRenderer::integerPart(const std::string& digits, int placeholders, int& index,
                                  char placeholder, bool thousands) {
    const int n = static_cast<int>(digits.size());
    const int position = placeholders - 1 - index;  // counted from the right
    auto separatorAfter = [&](int pos) {
        if (thousands && pos > 0 && pos % 3 == 0) append(numbers_.group);
    };
    if (index == 0) {
        for (int pos = n - 1; pos >= placeholders; --pos) {
            append(std::string(1, digits[n - 1 - pos]));
            separatorAfter(pos);
        }
    }
    ++index;
    if (position < n) {
        append(std::string(1, digits[n - 1 - position]));
        separatorAfter(position);
    } else if (placeholder == '0') {
        append("0");
        separatorAfter(position);
    } else if (placeholder == '?') {
        pad("0");
    }
}

// The digits of `x` for the section's placeholders: rounded to its fraction digits, and with
// an exponent section, scaled by a power of ten that is a multiple of its integer digits (one
// integer digit: the usual scientific form).
void SectionRenderer::digitsOf(double x, int& exponent, std::string& intDigits,
                               std::string& fracDigits) const {
    DecimalDigits digits(x);
    exponent = 0;
    if (!section_.hasExponent || digits.isZero()) {
        digits.round(section_.fracDigits, intDigits, fracDigits);
        return;
    }
    const int step = std::max(1, section_.intDigits);
    auto place = [&](int exp) {
        DecimalDigits m(x);
        m.shift(-exp);
        m.round(section_.fracDigits, intDigits, fracDigits);
    };
    const int e = digits.exponent();
    exponent = static_cast<int>(std::floor(static_cast<double>(e) / step)) * step;
    if (step == 1) exponent = e;
    place(exponent);
    if (static_cast<int>(intDigits.size()) > (step == 1 ? 1 : step)) {
        exponent += step;
        place(exponent);
    }
}

// Fraction digits as shown: trailing zeros under # vanish ('\0'), under ? become digit-wide
// blanks (' ').
std::string SectionRenderer::fractionShown(const std::string& fracDigits) const {
    std::string shown = fracDigits;
    std::vector<char> placeholders;
    for (const auto& t : section_.tokens) {
        if (t.kind == Kind::FracDigit) placeholders.push_back(t.ch);
    }
    for (int i = static_cast<int>(shown.size()) - 1; i >= 0; --i) {
        if (shown[i] != '0' || placeholders[i] == '0') break;
        shown[i] = placeholders[i] == '#' ? '\0' : ' ';
    }
    return shown;
}

FormattedValue SectionRenderer::number(double value, bool minus) {
    if (section_.isDate) {
        date(value);
        return out_;
    }
    double x = std::fabs(value);
    for (int i = 0; i < section_.percents; ++i) x *= 100;
    for (int i = 0; i < section_.scaleCommas; ++i) x /= 1000;

    int exponent = 0;
    std::string intDigits, fracDigits;
    digitsOf(x, exponent, intDigits, fracDigits);
    const std::string fracShown = fractionShown(fracDigits);
    char expText[16];
    std::snprintf(expText, sizeof expText, "%d", std::abs(exponent));
    const std::string expDigits = expText;

    if (minus) append("-");
    int intIndex = 0, fracIndex = 0, expIndex = 0;
    const bool noIntPlaceholders = section_.intDigits == 0;
    for (const auto& t : section_.tokens) {
        switch (t.kind) {
            case Kind::IntDigit:
                integerPart(intDigits, section_.intDigits, intIndex, t.ch, section_.thousands);
                break;
            case Kind::Point:
                if (noIntPlaceholders) append(intDigits);
                append(numbers_.decimal);
                break;
            case Kind::FracDigit: {
                const char c = fracShown[fracIndex++];
                if (c == ' ') {
                    pad("0");
                } else if (c != '\0') {
                    append(std::string(1, c));
                }
                break;
            }
            case Kind::Exponent:
                append(t.text);
                if (exponent < 0) {
                    append("-");
                } else if (t.ch == '+') {
                    append("+");
                }
                break;
            case Kind::ExpDigit:
                integerPart(expDigits == "0" ? std::string() : expDigits, section_.expDigits,
                            expIndex, t.ch, false);
                break;
            case Kind::General: {
                // The sign counts against General's width: render signed, show without it.
                const std::string general =
                    withDecimalSeparator(generalNumberText(minus ? -x : x), numbers_.decimal);
                append(minus && general[0] == '-' ? general.substr(1) : general);
                break;
            }
            default:
                literalToken(t);
                break;
        }
    }
    return out_;
}

FormattedValue SectionRenderer::text(std::string_view text) {
    for (const auto& t : section_.tokens) {
        if (t.kind == Kind::Text) {
            append(std::string(text));
        } else {
            literalToken(t);
        }
    }
    return out_;
}

void SectionRenderer::date(double serial) {
    if (!(serial >= 0) || serial >= 2958466.0) {
        fill("#");  // a date the calendar cannot show fills the cell with #
        return;
    }
    long day = static_cast<long>(std::floor(serial));
    long seconds = std::lround((serial - day) * 86400.0);
    if (seconds >= 86400) {
        ++day;
        seconds -= 86400;
    }
    for (const auto& t : section_.tokens) {
        if (t.kind == Kind::Date) {
            append(dateCode(t.text, day, seconds, serial));
        } else {
            literalToken(t);
        }
    }
}

std::string SectionRenderer::dateCode(const std::string& code, long day, long seconds,
                                      double serial) const {
    int y = 1900, m = 1, d = 0;
    if (day > 0) civilDate(day, y, m, d);
    const long hour = seconds / 3600, minute = seconds / 60 % 60, second = seconds % 60;
    long hour12 = hour % 12;
    if (hour12 == 0) hour12 = 12;
    const long shownHour = section_.hasAmPm ? hour12 : hour;
    if (code == "yyyy") return std::to_string(y);
    if (code == "yy") return twoDigits(y % 100);
    if (code == "m") return std::to_string(m);
    if (code == "mm") return twoDigits(m);
    if (code == "mmm") return std::string(kMonths[m - 1]).substr(0, 3);
    if (code == "mmmm") return kMonths[m - 1];
    if (code == "mmmmm") return std::string(kMonths[m - 1]).substr(0, 1);
    if (code == "d") return std::to_string(d);
    if (code == "dd") return twoDigits(d);
    if (code == "ddd" || code == "dddd") {
        const std::string name = kDays[(day + 6) % 7];
        return code == "ddd" ? name.substr(0, 3) : name;
    }
    if (code == "h") return std::to_string(shownHour);
    if (code == "hh") return twoDigits(shownHour);
    if (code == "n") return std::to_string(minute);
    if (code == "nn") return twoDigits(minute);
    if (code == "s") return std::to_string(second);
    if (code == "ss") return twoDigits(second);
    if (code == "AM/PM") return hour < 12 ? "AM" : "PM";
    if (code == "am/pm") return hour < 12 ? "am" : "pm";
    if (code == "A/P") return hour < 12 ? "A" : "P";
    if (code == "a/p") return hour < 12 ? "a" : "p";
    const long totalSeconds = std::lround(serial * 86400.0);
    if (code == "[h1]" || code == "[h2]") return std::to_string(totalSeconds / 3600);
    if (code == "[m1]" || code == "[m2]") return std::to_string(totalSeconds / 60);
    if (code == "[s1]" || code == "[s2]") return std::to_string(totalSeconds);
    return code;
}

}  // namespace xls::draw
