#include "xls/WorkbookModel.h"

#include <algorithm>

#include "xls/ChartRefs.h"
#include "xls/Error.h"
#include "xls/Tables.h"

namespace xls {

namespace {

constexpr uint16_t kBiff8 = 0x0600, kBiff5 = 0x0500;
constexpr uint16_t kGlobalsType = 0x0005, kWorksheetType = 0x0010;

// What a file that is a bare record stream rather than a compound file is, or nothing. Files of
// Excel 2.x to 4.0 are one: the first record is a BOF of their record numbers (BIFF2 0x0009,
// BIFF3 0x0209, BIFF4 0x0409); a later BOF (0x0809) there is a workbook stream taken out of
// its compound file. The BOF gives a worksheet, chart, macro, workspace or globals type.
const char* bareStreamKind(const uint8_t* bytes, size_t length) {
    if (length < 8) return nullptr;
    uint16_t type = get16(&bytes[0]), size = get16(&bytes[2]);
    if (size < 4 || size > 16 || length < 4u + size) return nullptr;
    uint16_t kind = get16(&bytes[6]);
    if (kind != 0x0005 && kind != 0x0010 && kind != 0x0020 && kind != 0x0040 && kind != 0x0100)
        return nullptr;
    if (type == 0x0009 || type == 0x0209 || type == 0x0409)
        return "an Excel 2.x-4.0 worksheet, which this program does not read";
    if (type == rt::Bof)
        return "a workbook stream without its compound file, which this program does not read";
    return nullptr;
}

}  // namespace

WorkbookModel::WorkbookModel(Bytes&& bytes, std::string name) : displayName(std::move(name)) {
    if (const char* kind = bareStreamKind(bytes.data(), bytes.size()))
        throw Error(ErrorKind::Unsupported, displayName, kind);
    file_ = CompoundFile::parse(std::move(bytes), displayName);
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
    split(file_.streamData(streamIndex_));
    // Everything in it now lives in the globals and sheets; a save writes the stream anew.
    Bytes().swap(file_.streamData(streamIndex_));
    for (size_t i = 0; i < sheets.size(); ++i) handles.emplace_back(*this, *sheets[i]);
}

// Cuts the workbook stream into substreams, BOF to matching EOF, reading each record where it
// stands: the globals become Records, the cells go straight into the sheets' cell tables, and
// the records around them are kept as bytes (those of the largest sheet in the stream's own
// buffer, which the stream then no longer holds).
void WorkbookModel::split(Bytes& stream) {
    struct Part {
        size_t begin, end;
    };
    std::vector<Part> parts;
    int depth = 0;
    size_t pos = 0;
    const size_t size = stream.size();
    while (pos < size) {
        if (stream[pos] == 0 && stream[pos + 1 < size ? pos + 1 : pos] == 0 &&
            std::all_of(stream.begin() + pos, stream.end(), [](uint8_t b) { return b == 0; }))
            break;  // zero padding after the last record
        if (size - pos < 4)
            throw Error(ErrorKind::Corrupt, displayName, "record header cut off at the end");
        uint16_t type = get16(&stream[pos]);
        size_t length = get16(&stream[pos + 2]);
        if (length > size - pos - 4)
            throw Error(ErrorKind::Corrupt, displayName,
                        "record runs past the end of the workbook stream");
        if (depth == 0 && (type == rt::Bof || parts.empty())) parts.push_back({pos, pos});
        if (type == rt::Bof) ++depth;
        if (type == rt::Eof && depth > 0) --depth;
        pos += 4 + length;
        parts.back().end = pos;
    }
    const uint8_t* base = stream.data();
    if (parts.empty() || get16(base) != rt::Bof || get16(base + 2) < 4)
        throw Error(ErrorKind::Corrupt, displayName, "not a workbook (no BOF record)");
    uint16_t version = get16(base + 4);
    if (version == kBiff5)
        throw Error(ErrorKind::Unsupported, displayName,
                    "Excel 5.0/95 (BIFF5) workbooks are not supported");
    if (version != kBiff8 || get16(base + 6) != kGlobalsType)
        throw Error(ErrorKind::Unsupported, displayName, "not a BIFF8 workbook");
    if (depth != 0 && parts.size() == 1)
        throw Error(ErrorKind::Corrupt, displayName, "the workbook globals have no EOF record");
    auto recordsOf = [&](const Part& part, std::vector<Record>& out) {
        for (size_t p = part.begin; p < part.end; p += 4 + get16(base + p + 2)) {
            out.emplace_back();
            out.back().type = get16(base + p);
            out.back().data.assign(base + p + 4, base + p + 4 + get16(base + p + 2));
        }
    };
    std::vector<Record> globalRecords;
    recordsOf(parts[0], globalRecords);
    globals.parse(std::move(globalRecords), displayName);
    size_t count = globals.sheets().size();
    if (parts.size() < count + 1)
        throw Error(ErrorKind::Corrupt, displayName, "the records of a sheet are missing");
    for (size_t i = count + 1; i < parts.size(); ++i) recordsOf(parts[i], trailer_);
    // The largest sheet keeps its records in the stream's own buffer, so it is made last, once
    // nothing else reads the stream.
    size_t largest = 1;
    for (size_t i = 1; i <= count; ++i)
        if (parts[i].end - parts[i].begin > parts[largest].end - parts[largest].begin) largest = i;
    sheets.resize(count);
    try {
        for (size_t k = 0; k < count; ++k) {
            size_t i = k + 1 == count ? largest : (k + 1 < largest ? k + 1 : k + 2);
            const uint8_t* bof = base + parts[i].begin;
            size_t bofSize = get16(bof + 2);
            bool worksheet =
                bofSize >= 4 && get16(bof + 6) == kWorksheetType && get16(bof + 4) == kBiff8;
            sheets[i - 1] =
                std::make_unique<SheetModel>(base + parts[i].begin, base + parts[i].end, worksheet,
                                             i == largest ? &stream : nullptr);
        }
    } catch (const OutOfBounds&) {
        throw Error(ErrorKind::Corrupt, displayName, "a cell record is shorter than its content");
    }
}

// Runs of stored records at least this long are written from where they stand; shorter ones
// are copied into the stream's own bytes.
constexpr size_t kReferAt = 65536;

void WorkbookModel::workbookStream(bool asTemplate, Saved& saved) {
    extendTables(globals, sheets, displayName);
    extendChartReferences(globals, sheets);
    uint32_t refs = 0;
    for (const auto& s : sheets) refs += s->cells().sharedStringRefs();
    size_t size = globals.sizeHint();
    for (const auto& s : sheets) size += s->sizeHint();
    for (const Record& rec : trailer_) size += 4 + rec.data.size();
    saved.made.emplace_back().reserve(size);
    size_t done = 0;  // stream bytes in the spans so far
    auto flush = [&] {
        const Bytes& last = saved.made.back();
        if (last.size() > 0) saved.stream.push_back({last.data(), last.size()});
        done += last.size();
    };
    std::vector<size_t> posFields;
    globals.write(saved.made.back(), asTemplate, refs, posFields);
    for (size_t i = 0; i < sheets.size(); ++i) {
        SheetModel& sheet = *sheets[i];
        Bytes* out = &saved.made.back();
        if (i < posFields.size()) set32(&saved.made[0][posFields[i]], uint32_t(done + out->size()));
        sheet.updateDimensions();
        const Bytes& raw = sheet.records().bytes();
        const size_t table = sheet.tableByte();
        out->insert(out->end(), raw.begin(), raw.begin() + long(table));
        sheet.writeCells(*out);
        if (raw.size() - table < kReferAt) {
            out->insert(out->end(), raw.begin() + long(table), raw.end());
            continue;
        }
        flush();
        saved.stream.push_back({raw.data() + table, raw.size() - table});
        done += raw.size() - table;
        saved.made.emplace_back().reserve(size > done ? size - done : 0);
    }
    Bytes& out = saved.made.back();
    for (const Record& rec : trailer_) writeRecord(out, rec);
    flush();
}

WorkbookModel::Saved WorkbookModel::save(bool asTemplate) {
    Saved saved;
    workbookStream(asTemplate, saved);
    size_t size = 0;
    for (const Span& s : saved.stream) size += s.size;
    if (size >= 4096) {
        // Large enough for sectors of its own: written from where its bytes stand.
        saved.pieces = file_.serializeAround(streamIndex_, size);
        return saved;
    }
    Bytes& stream = file_.streamData(streamIndex_);
    for (const Span& s : saved.stream) stream.insert(stream.end(), s.data, s.data + s.size);
    saved.pieces.head = file_.serialize();
    saved.stream.clear();
    saved.made.clear();
    Bytes().swap(stream);  // made anew by every save
    return saved;
}

Bytes WorkbookModel::toBytes(bool asTemplate) {
    Saved saved = save(asTemplate);
    Bytes& file = saved.pieces.head;
    for (const Span& s : saved.stream) file.insert(file.end(), s.data, s.data + s.size);
    file.insert(file.end(), saved.pieces.tail.begin(), saved.pieces.tail.end());
    return std::move(file);
}

}  // namespace xls
