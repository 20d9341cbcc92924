#include "xls/WorkbookModel.h"

#include "xls/ChartRefs.h"
#include "xls/Error.h"

namespace xls {

namespace {

constexpr uint16_t kBiff8 = 0x0600, kBiff5 = 0x0500;
constexpr uint16_t kGlobalsType = 0x0005, kWorksheetType = 0x0010;

// Files of Excel 2.x to 4.0 are a bare record stream, not a compound file: the first record is
// a BOF of one of their record numbers (BIFF2 0x0009, BIFF3 0x0209, BIFF4 0x0409) with the
// worksheet, chart, macro or workspace type.
bool isOldExcelFile(const Bytes& bytes) {
    if (bytes.size() < 8) return false;
    uint16_t type = get16(&bytes[0]), size = get16(&bytes[2]);
    if (type != 0x0009 && type != 0x0209 && type != 0x0409) return false;
    if (size < 4 || size > 16 || bytes.size() < 4u + size) return false;
    uint16_t kind = get16(&bytes[6]);
    return kind == 0x0010 || kind == 0x0020 || kind == 0x0040 || kind == 0x0100;
}

}  // namespace

WorkbookModel::WorkbookModel(const Bytes& bytes, std::string name) : displayName(std::move(name)) {
    if (isOldExcelFile(bytes))
        throw Error(ErrorKind::Unsupported, displayName,
                    "an Excel 2.x-4.0 worksheet, which this program does not read");
    file_ = CompoundFile::parse(bytes, displayName);
    int stream = file_.findInRoot(u"Workbook");
    if (stream < 0 || file_.entries()[size_t(stream)].type != CompoundFile::Type::Stream) {
        if (file_.findInRoot(u"Book") >= 0)
            throw Error(ErrorKind::Unsupported, displayName,
                        "Excel 5.0/95 (BIFF5) workbooks are not supported");
        throw Error(ErrorKind::Corrupt, displayName, "not a workbook (no Workbook stream)");
    }
    // An Excel 5.0/95 copy kept beside the workbook by dual-format writers: a save changes only
    // the Workbook stream, so the old copy would show stale values to readers that prefer it.
    if (file_.removeStreamFromRoot(u"Book")) stream = file_.findInRoot(u"Workbook");
    streamIndex_ = size_t(stream);
    split(parseRecords(file_.streamData(streamIndex_), displayName));
    for (size_t i = 0; i < sheets.size(); ++i) handles.emplace_back(*this, *sheets[i]);
}

void WorkbookModel::split(std::vector<Record> records) {
    if (records.empty() || records[0].type != rt::Bof || records[0].data.size() < 4)
        throw Error(ErrorKind::Corrupt, displayName, "not a workbook (no BOF record)");
    uint16_t version = get16(&records[0].data[0]);
    if (version == kBiff5)
        throw Error(ErrorKind::Unsupported, displayName,
                    "Excel 5.0/95 (BIFF5) workbooks are not supported");
    if (version != kBiff8 || get16(&records[0].data[2]) != kGlobalsType)
        throw Error(ErrorKind::Unsupported, displayName, "not a BIFF8 workbook");
    // Cut the stream into substreams, BOF to matching EOF.
    std::vector<std::vector<Record>> parts;
    int depth = 0;
    for (Record& rec : records) {
        if (depth == 0 && (rec.type == rt::Bof || parts.empty())) parts.emplace_back();
        if (rec.type == rt::Bof) ++depth;
        if (rec.type == rt::Eof && depth > 0) --depth;
        parts.back().push_back(std::move(rec));
    }
    if (depth != 0 && parts.size() == 1)
        throw Error(ErrorKind::Corrupt, displayName, "the workbook globals have no EOF record");
    globals.parse(std::move(parts[0]), displayName);
    size_t count = globals.sheets().size();
    if (parts.size() < count + 1)
        throw Error(ErrorKind::Corrupt, displayName, "the records of a sheet are missing");
    try {
        for (size_t i = 1; i <= count; ++i) {
            const Record& bof = parts[i][0];
            bool worksheet = bof.data.size() >= 4 && get16(&bof.data[2]) == kWorksheetType &&
                             get16(&bof.data[0]) == kBiff8;
            sheets.push_back(std::make_unique<SheetModel>(std::move(parts[i]), worksheet));
        }
    } catch (const OutOfBounds&) {
        throw Error(ErrorKind::Corrupt, displayName, "a cell record is shorter than its content");
    }
    for (size_t i = count + 1; i < parts.size(); ++i)
        for (Record& rec : parts[i]) trailer_.push_back(std::move(rec));
}

Bytes WorkbookModel::workbookStream(bool asTemplate) {
    extendChartReferences(globals, sheets);
    uint32_t refs = 0;
    for (const auto& s : sheets) refs += s->cells().sharedStringRefs();
    Bytes out;
    out.reserve(file_.streamData(streamIndex_).size() + 4096);
    std::vector<size_t> posFields;
    globals.write(out, asTemplate, refs, posFields);
    for (size_t i = 0; i < sheets.size(); ++i) {
        if (i < posFields.size()) set32(&out[posFields[i]], uint32_t(out.size()));
        sheets[i]->write(out);
    }
    for (const Record& rec : trailer_) writeRecord(out, rec);
    return out;
}

Bytes WorkbookModel::toBytes(bool asTemplate) {
    file_.streamData(streamIndex_) = workbookStream(asTemplate);
    return file_.serialize();
}

}  // namespace xls
