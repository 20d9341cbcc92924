#include "RecordDump.h"

#include "xls/CompoundFile.h"

namespace xlstest {

std::vector<xls::Record> workbookRecords(const xls::Bytes& file) {
    xls::CompoundFile cf = xls::CompoundFile::parse(file, "test");
    int index = cf.findInRoot(u"Workbook");
    if (index < 0) return {};
    return xlstest::parseRecords(cf.entries()[size_t(index)].data, "test");
}

std::vector<ChartRef> chartRefs(const std::vector<xls::Record>& records) {
    std::vector<ChartRef> out;
    for (const auto& r : records) {
        if (r.type != xls::rt::Ai || r.data.size() < 8 || r.data[1] != 2) continue;
        const uint8_t* f = r.data.data() + 8;
        size_t cce = xls::get16(&r.data[6]);
        size_t at = 0;
        if (cce == 11 && (f[0] & 0x1F) == 0x1B)
            at = 3;  // area, 3-D
        else if (cce == 9 && (f[0] & 0x1F) == 0x05)
            at = 1;  // area
        else if (cce == 7 && (f[0] & 0x1F) == 0x1A)
            at = 3;  // cell, 3-D
        else
            continue;
        ChartRef c{r.data[0], xls::get16(f + at), xls::get16(f + at + 2), 0, 0};
        if (cce == 7) {
            c.lastRow = c.firstRow;
            c.firstCol = c.lastCol = xls::get16(f + at + 2) & 0x3FFF;
        } else {
            c.firstCol = xls::get16(f + at + 4) & 0x3FFF;
            c.lastCol = xls::get16(f + at + 6) & 0x3FFF;
        }
        out.push_back(c);
    }
    return out;
}

}  // namespace xlstest
