#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace xls {

// The marks a user's number conventions write an amount with (UTF-8): the decimal separator and
// the group (thousands) separator, "." and "," in the C locale, "," and "." in German, "," and a
// narrow no-break space in French.
struct NumberConventions {
    std::string decimal = ".";
    std::string group = ",";

    bool isC() const { return decimal == "." && group == ","; }
};

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

// readNumber() with the user's conventions: the text is read with `numbers`' decimal and group
// separators in the places readNumber() takes "." and ",", and, where that fails, as readNumber()
// reads it, so the C form is still accepted where it cannot mean anything else. A text that reads
// both ways is taken the conventions' way: with German conventions "1.234" is 1234 and "1,5" is
// 1.5, while "12.5" and "1,234.5" (no German number) are 12.5 and 1234.5. A group separator that
// is a space (French, a no-break space or a narrow one) is also taken as any of those three
// spaces, as a keyboard types it, and a right single quotation mark (Swiss) also as "'". In a
// number read with the conventions' group separator the first group does not start with "0"
// ("0.500" is one half in German too). Conventions equal to C's are readNumber().
std::optional<double> readNumber(std::string_view text, const NumberConventions& numbers);

}  // namespace xls
