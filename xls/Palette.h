#pragma once

#include <vector>

#include "xls/StyleTypes.h"

namespace xls {

// The default BIFF8 colour palette, entries 8..63, used when a workbook has no PALETTE record.
std::vector<Rgb> defaultPalette();

}  // namespace xls
