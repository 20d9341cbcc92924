#include "support/Records.h"

#include <algorithm>
#include <stdexcept>

#include "xls/BiffFormat.h"

namespace xlstest {

std::vector<xls::Record> parseRecords(const xls::Bytes& stream, const std::string& displayName) {
    std::vector<xls::Record> records;
    size_t pos = 0;
    while (pos < stream.size()) {
        if (std::all_of(stream.begin() + long(pos), stream.end(), [](uint8_t b) { return b == 0; }))
            break;
        if (stream.size() - pos < xls::kRecordHeaderSize)
            throw std::runtime_error(displayName + ": record header cut off at the end");
        const uint8_t* header = &stream[pos];
        const size_t size = xls::get16(header + xls::biff::header::kLength);
        pos += xls::kRecordHeaderSize;
        if (size > stream.size() - pos)
            throw std::runtime_error(displayName +
                                     ": record runs past the end of the workbook stream");
        xls::Record r;
        r.type = xls::get16(header + xls::biff::header::kType);
        r.data.assign(stream.begin() + long(pos), stream.begin() + long(pos + size));
        records.push_back(std::move(r));
        pos += size;
    }
    return records;
}

}  // namespace xlstest
