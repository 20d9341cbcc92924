#include "xls/ChartRefs.h"

#include "xls/Globals.h"
#include "xls/SheetModel.h"

namespace xls {

namespace {

// Last row of the unbroken run of engine-written values directly below `lastRow` in `col`.
int lastFilledBelow(const SheetModel& sheet, int lastRow, int col) {
    int row = lastRow;
    while (row + 1 <= 65535 && sheet.written().count(uint32_t(row + 1) << 8 | uint32_t(col))) {
        const CellTable::Entry* e = sheet.cells().find(row + 1, col);
        if (!e || e->records[0].type == rt::Blank || e->records[0].type == rt::MulBlank) break;
        ++row;
    }
    return row;
}

}  // namespace

int extendChartReferences(const Globals& globals,
                          std::vector<std::unique_ptr<SheetModel>>& sheets) {
    int extended = 0;
    for (size_t owner = 0; owner < sheets.size(); ++owner) {
        Record* series = nullptr;
        for (Record& rec : sheets[owner]->records()) {
            if (rec.type == rt::Series && rec.data.size() >= 8) series = &rec;
            if (rec.type != rt::Ai || rec.data.size() < 8) continue;
            Bytes& d = rec.data;
            uint8_t id = d[0];
            size_t cce = get16(&d[6]);
            if ((id != 1 && id != 2) || d[1] != 2 || 8 + cce > d.size() || cce == 0) continue;
            uint8_t ptg = d[8];
            int target = -1;
            size_t area = 0;  // offset of rwFirst
            if ((ptg == 0x3B || ptg == 0x5B || ptg == 0x7B) && cce == 11) {
                target = globals.sheetOfXti(get16(&d[9]));
                area = 11;
            } else if ((ptg == 0x25 || ptg == 0x45 || ptg == 0x65) && cce == 9) {
                target = int(owner);
                area = 9;
            } else {
                continue;
            }
            if (target < 0 || size_t(target) >= sheets.size() || !sheets[target]->isWorksheet())
                continue;
            int firstRow = get16(&d[area]), lastRow = get16(&d[area + 2]);
            int firstCol = get16(&d[area + 4]) & 0x3FFF, lastCol = get16(&d[area + 6]) & 0x3FFF;
            if (firstCol != lastCol || lastRow < firstRow) continue;
            int newLast = lastFilledBelow(*sheets[target], lastRow, firstCol);
            if (newLast == lastRow) continue;
            set16(&d[area + 2], uint16_t(newLast));
            ++extended;
            if (series) {
                size_t countAt = id == 1 ? 6 : 4;  // cValy for values, cValx for categories
                uint16_t count = uint16_t(newLast - firstRow + 1);
                if (get16(&series->data[countAt]) < count) set16(&series->data[countAt], count);
            }
        }
    }
    return extended;
}

}  // namespace xls
