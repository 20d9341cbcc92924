#include "xls/draw/FormatParser.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

namespace xls::draw {

namespace {

using Kind = FormatToken::Kind;

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool startsWithNoCase(std::string_view text, size_t at, std::string_view word) {
    if (text.size() - at < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        if (lower(text[at + i]) != lower(word[i])) return false;
    }
    return true;
}

// Length in bytes of the UTF-8 character starting at `at`.
size_t charLength(std::string_view text, size_t at) {
    const auto c = static_cast<unsigned char>(text[at]);
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return std::min(n, text.size() - at);
}

std::vector<std::string_view> splitSections(std::string_view code) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    bool quoted = false, bracket = false;
    for (size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (quoted) {
            quoted = c != '"';
        } else if (bracket) {
            bracket = c != ']';
        } else if (c == '"') {
            quoted = true;
        } else if (c == '[') {
            bracket = true;
        } else if (c == '\\' || c == '_' || c == '*') {
            if (i + 1 < code.size()) i += charLength(code, i + 1);
        } else if (c == ';') {
            parts.push_back(code.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(code.substr(start));
    return parts;
}

std::optional<int> colorIndex(std::string_view name) {
    static const char* const names[] = {"black", "white",  "red",     "green",
                                        "blue",  "yellow", "magenta", "cyan"};
    for (int i = 0; i < 8; ++i) {
        if (name.size() == std::string_view(names[i]).size() && startsWithNoCase(name, 0, names[i]))
            return 8 + i;
    }
    if (startsWithNoCase(name, 0, "color") && name.size() > 5) {
        const int n = std::atoi(std::string(name.substr(5)).c_str());
        if (n >= 1 && n <= 56) return n + 7;
    }
    return std::nullopt;
}

class SectionParser {
  public:
    explicit SectionParser(std::string_view text) : text_(text) {}

    FormatSection parse() {
        while (pos_ < text_.size()) step();
        resolveCommas();
        resolveMinutes();
        summarise();
        return std::move(section_);
    }

  private:
    void add(Kind kind, std::string text, char ch = 0) {
        section_.tokens.push_back(FormatToken{kind, std::move(text), ch});
    }
    std::string nextChar() {
        if (pos_ >= text_.size()) return {};
        const size_t n = charLength(text_, pos_);
        std::string s(text_.substr(pos_, n));
        pos_ += n;
        return s;
    }

    void step() {
        const char c = text_[pos_];
        if (c == '"') {
            const size_t end = text_.find('"', pos_ + 1);
            const size_t stop = end == std::string_view::npos ? text_.size() : end;
            add(Kind::Literal, std::string(text_.substr(pos_ + 1, stop - pos_ - 1)));
            pos_ = stop + 1;
        } else if (c == '\\') {
            ++pos_;
            add(Kind::Literal, nextChar());
        } else if (c == '_') {
            ++pos_;
            add(Kind::Pad, nextChar());
        } else if (c == '*') {
            ++pos_;
            add(Kind::Fill, nextChar());
        } else if (c == '[') {
            bracketed();
        } else if (startsWithNoCase(text_, pos_, "general")) {
            add(Kind::General, {});
            pos_ += 7;
        } else if (c == '0' || c == '#' || c == '?') {
            add(exponentSeen_ ? Kind::ExpDigit
                : pointSeen_  ? Kind::FracDigit
                              : Kind::IntDigit,
                {}, c);
            ++pos_;
        } else if (c == '.' && !pointSeen_ && !exponentSeen_ && !dateSeen_) {
            pointSeen_ = true;
            add(Kind::Point, ".");
            ++pos_;
        } else if (c == ',') {
            add(Kind::Literal, ",", ',');  // resolved once the whole section is known
            ++pos_;
        } else if (c == '%') {
            ++section_.percents;
            add(Kind::Literal, "%");
            ++pos_;
        } else if ((c == 'E' || c == 'e') && pos_ + 1 < text_.size() &&
                   (text_[pos_ + 1] == '+' || text_[pos_ + 1] == '-') && !exponentSeen_) {
            exponentSeen_ = true;
            add(Kind::Exponent, std::string(1, c), text_[pos_ + 1]);
            pos_ += 2;
        } else if (c == '@') {
            add(Kind::Text, {});
            ++pos_;
        } else if (startsWithNoCase(text_, pos_, "am/pm")) {
            add(Kind::Date, c == 'a' ? "am/pm" : "AM/PM");
            pos_ += 5;
        } else if (startsWithNoCase(text_, pos_, "a/p")) {
            add(Kind::Date, c == 'a' ? "a/p" : "A/P");
            pos_ += 3;
        } else if (std::string_view("ymdhsYMDHS").find(c) != std::string_view::npos) {
            dateCode();
        } else {
            add(Kind::Literal, nextChar());
        }
    }

    void bracketed() {
        const size_t end = text_.find(']', pos_);
        const size_t stop = end == std::string_view::npos ? text_.size() : end;
        const std::string_view inner = text_.substr(pos_ + 1, stop - pos_ - 1);
        pos_ = stop + 1;
        if (inner.empty()) return;
        if (auto color = colorIndex(inner)) {
            section_.colorIndex = color;
        } else if (inner[0] == '<' || inner[0] == '>' || inner[0] == '=') {
            size_t n = 1;
            if (n < inner.size() && (inner[n] == '=' || (inner[0] == '<' && inner[n] == '>'))) ++n;
            section_.condition =
                FormatCondition{std::string(inner.substr(0, n)),
                                std::strtod(std::string(inner.substr(n)).c_str(), nullptr)};
        } else if (inner[0] == '$') {
            const size_t dash = inner.find('-');
            const std::string_view symbol =
                inner.substr(1, dash == inner.npos ? inner.npos : dash - 1);
            if (!symbol.empty()) add(Kind::Literal, std::string(symbol));
        } else {
            const char c = lower(inner[0]);
            if ((c == 'h' || c == 'm' || c == 's') &&
                std::all_of(inner.begin(), inner.end(), [c](char x) { return lower(x) == c; })) {
                dateSeen_ = true;
                add(Kind::Date, "[" + std::string(1, c) + (inner.size() > 1 ? "2" : "1") + "]");
            }
        }
    }

    void dateCode() {
        const char c = lower(text_[pos_]);
        size_t n = 0;
        while (pos_ + n < text_.size() && lower(text_[pos_ + n]) == c) ++n;
        pos_ += n;
        dateSeen_ = true;
        size_t len = n;
        if (c == 'y') len = n <= 2 ? 2 : 4;
        if (c == 'm') len = std::min<size_t>(n, 5);
        if (c == 'd') len = std::min<size_t>(n, 4);
        if (c == 'h' || c == 's') len = std::min<size_t>(n, 2);
        add(Kind::Date, std::string(len, c));
    }

    // A comma between integer placeholders turns on thousands separators; commas after the
    // last placeholder scale by 1,000 each; any other comma is shown as it is.
    void resolveCommas() {
        auto& t = section_.tokens;
        if (dateSeen_) return;
        for (size_t i = 0; i < t.size();) {
            if (t[i].kind != Kind::Literal || t[i].ch != ',') {
                ++i;
                continue;
            }
            const auto isDigit = [](const FormatToken& x) {
                return x.kind == Kind::IntDigit || x.kind == Kind::FracDigit;
            };
            const bool before = std::any_of(t.begin(), t.begin() + i, isDigit);
            const bool intAfter = std::any_of(t.begin() + i, t.end(), [](const FormatToken& x) {
                return x.kind == Kind::IntDigit;
            });
            const bool digitAfter = std::any_of(t.begin() + i, t.end(), isDigit);
            if (before && intAfter) {
                section_.thousands = true;
            } else if (before && !digitAfter) {
                ++section_.scaleCommas;
            } else {
                t[i].ch = 0;
                ++i;
                continue;
            }
            t.erase(t.begin() + i);
        }
    }

    // "m" and "mm" right after an hour or right before a second are minutes.
    void resolveMinutes() {
        auto& t = section_.tokens;
        for (size_t i = 0; i < t.size(); ++i) {
            if (t[i].kind != Kind::Date || (t[i].text != "m" && t[i].text != "mm")) continue;
            bool minute = false;
            for (size_t j = i; j-- > 0;) {
                if (t[j].kind != Kind::Date) continue;
                minute = t[j].text[0] == 'h' || t[j].text.rfind("[h", 0) == 0;
                break;
            }
            for (size_t j = i + 1; j < t.size() && !minute; ++j) {
                if (t[j].kind != Kind::Date) continue;
                minute = t[j].text[0] == 's';
                break;
            }
            if (minute) t[i].text = t[i].text == "m" ? "n" : "nn";
        }
    }

    void summarise() {
        for (const auto& t : section_.tokens) {
            switch (t.kind) {
                case Kind::IntDigit:
                    ++section_.intDigits;
                    break;
                case Kind::FracDigit:
                    ++section_.fracDigits;
                    break;
                case Kind::ExpDigit:
                    ++section_.expDigits;
                    break;
                case Kind::Exponent:
                    section_.hasExponent = true;
                    break;
                case Kind::Text:
                    section_.hasText = true;
                    break;
                case Kind::Date:
                    section_.isDate = true;
                    if (t.text.find('/') != std::string::npos) section_.hasAmPm = true;
                    break;
                default:
                    break;
            }
            if (t.kind == Kind::IntDigit || t.kind == Kind::FracDigit || t.kind == Kind::General ||
                t.kind == Kind::Date)
                section_.hasNumber = true;
        }
    }

    std::string_view text_;
    size_t pos_ = 0;
    bool pointSeen_ = false, exponentSeen_ = false, dateSeen_ = false;
    FormatSection section_;
};

}  // namespace

bool FormatCondition::matches(double v) const {
    if (op == "<") return v < value;
    if (op == ">") return v > value;
    if (op == "=") return v == value;
    if (op == "<=") return v <= value;
    if (op == ">=") return v >= value;
    if (op == "<>") return v != value;
    return false;
}

bool FormatCondition::negativesOnly() const {
    return (op == "<" && value <= 0) || (op == "<=" && value < 0);
}

std::vector<FormatSection> parseFormatCode(std::string_view code) {
    std::vector<FormatSection> sections;
    for (std::string_view part : splitSections(code)) {
        if (sections.size() == 4) break;
        sections.push_back(SectionParser(part).parse());
    }
    return sections;
}

}  // namespace xls::draw
