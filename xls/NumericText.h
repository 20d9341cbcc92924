#pragma once

#include <optional>
#include <string_view>

namespace xls {

// Reads a text the way the program decides whether it is a number, both when an amount is typed
// into the list and when the engine assigns it to a cell, so an amount the list accepts is held
// as a number and every other amount is refused: blanks (spaces, tabs) around it, an optional
// sign, an optional "$" before the digits (before or after the sign), digits with optional ","
// group separators in the usual places (a first group of one to three digits, then groups of
// exactly three), an optional decimal point with digits, and an optional exponent ("e" or "E", a
// sign, digits). The empty text and everything else is not a number. Accepts "25000", " 7500 ",
// "-12.5", "1,250,000", "$5,000", "-$5", "1e6", ".5"; rejects "", "12a", "1,2345", "--1", "1e",
// "$$5".
std::optional<double> readNumber(std::string_view text);

}  // namespace xls
