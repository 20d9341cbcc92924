// Open, change, save and open again: on any input the engine either works or throws
// xls::Error; it never crashes, reads out of bounds or hangs.
#include <cstdint>
#include <vector>

#include "xls/Workbook.h"

namespace {

// Reads everything the range drawing reads about a cell format.
void touchFormat(const xls::Styles& styles, uint16_t xf) {
    const xls::XfStyle& x = styles.xf(xf);
    (void)styles.font(x.fontIndex).name.size();
    (void)styles.formatString(x.formatIndex).size();
    (void)styles.color(x.fillForeground);
    (void)styles.color(x.top.colorIndex);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        xls::Workbook book =
            xls::Workbook::fromBytes(std::vector<uint8_t>(data, data + size), "fuzz.xls");
        for (int i = 0; i < book.sheetCount(); ++i) {
            xls::Sheet& s = book.sheet(i);
            if (auto used = s.usedRange()) {
                for (int r = used->firstRow; r <= used->lastRow && r < used->firstRow + 50; ++r)
                    for (int c = used->firstCol; c <= used->lastCol && c < used->firstCol + 10; ++c)
                        touchFormat(book.styles(), s.cell(r, c).xf);
            }
            (void)s.mergedRanges();
            (void)s.column(1);
            (void)s.row(3);
        }
        xls::Sheet& s = book.activeSheet();
        if (s.type() == xls::SheetType::Worksheet) {
            s.setValue(3, 0, "");
            s.setValue(3, 1, "");
            s.setValue(9, 0, "Ελλάδα");
            s.setValue(9, 1, "$1,250");
            s.setNumberFormat(9, 1, "$#,##0_);($#,##0)");
        }
        xls::Workbook again = xls::Workbook::fromBytes(book.toBytes(false), "again.xls");
        (void)again.sheetCount();
    } catch (const xls::Error&) {
    }
    return 0;
}
