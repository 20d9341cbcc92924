#pragma once

#include <string_view>
#include <vector>

#include "xls/draw/FormatSection.h"

namespace xls::draw {

// Splits a number-format code into its sections (at most four are used) and each section into
// tokens. Lenient: what it does not understand is kept as literal text; it never fails.
std::vector<FormatSection> parseFormatCode(std::string_view code);

}  // namespace xls::draw
