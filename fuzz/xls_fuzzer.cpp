// Open, read, fill, save and open again: on any input the engine either works or throws
// xls::Error; it never crashes, reads out of bounds or hangs. A workbook that opened and was
// filled must save, open again and read back the values it was given: anything else aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
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

struct Fill {
    int row, col;
    std::string text;
    bool number;
    double value;
};

// Sets `f` as the program does; a refusal (a cell inside an array formula) leaves it out.
bool apply(xls::Sheet& s, const Fill& f) {
    try {
        s.setValue(f.row, f.col, f.text);
        return true;
    } catch (const xls::Error&) {
        return false;
    }
}

void expectFill(const xls::Sheet& s, const Fill& f) {
    xls::Cell c = s.cell(f.row, f.col);
    bool ok = f.text.empty() ? (c.kind == xls::CellKind::Empty || c.kind == xls::CellKind::Blank)
              : f.number     ? (c.kind == xls::CellKind::Number && c.number == f.value)
                             : (c.kind == xls::CellKind::String && c.text == f.text);
    if (!ok) std::abort();  // a filled value did not survive the save
}

// Every fill that no later fill overwrote reads back from `s`.
void expectFills(const xls::Sheet& s, const std::vector<Fill>& fills) {
    for (size_t i = 0; i < fills.size(); ++i) {
        bool overwritten = false;
        for (size_t k = i + 1; k < fills.size(); ++k)
            overwritten |= fills[k].row == fills[i].row && fills[k].col == fills[i].col;
        if (!overwritten) expectFill(s, fills[i]);
    }
}

// Every sheet's cell table keeps its invariants: a broken one aborts, described.
void expectSoundCellTables(const xls::Workbook& book) {
    for (int i = 0; i < book.sheetCount(); ++i) {
        const std::string fault = book.sheet(i).checkInvariants();
        if (fault.empty()) continue;
        std::fprintf(stderr, "sheet %d: %s\n", i, fault.c_str());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<Fill> fills;
    int active = 0;
    std::vector<uint8_t> saved;
    try {
        xls::Workbook book =
            xls::Workbook::fromBytes(std::vector<uint8_t>(data, data + size), "fuzz.xls");
        expectSoundCellTables(book);
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
        (void)book.warnings();
        xls::Sheet& s = book.activeSheet();
        active = book.activeSheetIndex();
        if (s.type() == xls::SheetType::Worksheet) {
            // Inside the used range (splitting runs, replacing formulas) and below it.
            auto used = s.usedRange();
            int r0 = used ? used->firstRow : 3, c0 = used ? used->firstCol : 0;
            int below = used ? std::min(used->lastRow + 1, 65535) : 9;
            const Fill wanted[] = {
                {r0, c0, "", false, 0},
                {r0, std::min(c0 + 1, 255), "Ελλάδα", false, 0},
                {used ? (used->firstRow + used->lastRow) / 2 : 4, c0, "$1,250", true, 1250},
                {below, 0, "Savings", false, 0},
                {below, 1, "25000", true, 25000},
            };
            for (const Fill& f : wanted)
                if (apply(s, f)) fills.push_back(f);
            s.setNumberFormat(below, 1, "$#,##0_);($#,##0)");
            expectFills(s, fills);
            expectSoundCellTables(book);
        }
        saved = book.toBytes(false);
        expectSoundCellTables(book);
    } catch (const xls::Error&) {
        return 0;
    }
    // What the engine wrote, it must read again.
    try {
        xls::Workbook again = xls::Workbook::fromBytes(saved, "again.xls");
        if (again.activeSheetIndex() != active) std::abort();
        expectSoundCellTables(again);
        expectFills(again.activeSheet(), fills);
    } catch (const xls::Error&) {
        std::abort();
    }
    return 0;
}
