#pragma once

#include <optional>
#include <string_view>

namespace xls {

// Reads a text the way the program decides whether it is a number: blanks (spaces, tabs) around
// it, an optional sign, digits with optional "," group separators in the usual places (a first
// group of one to three digits, then groups of exactly three), an optional decimal point with
// digits, and an optional exponent ("e" or "E", a sign, digits). With `allowCurrency` a "$" may
// stand before the digits, before or after the sign. The empty text and everything else is not a
// number. Accepts "25000", " 7500 ", "-12.5", "1,250,000", "1e6", ".5"; rejects "", "12a",
// "1,2345", "--1", "1e".
std::optional<double> readNumber(std::string_view text, bool allowCurrency = false);

inline bool isNumericText(std::string_view text) { return readNumber(text).has_value(); }

}  // namespace xls
