#include "xls/WorkbookModel.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "xls/ChartRefs.h"
#include "xls/Error.h"
#include "xls/FastPaths.h"
#include "xls/Tables.h"

namespace xls {

namespace {

// What a file that is a bare record stream rather than a compound file is, or nothing. Files of
// Excel 2.x to 4.0 are one: the first record is a BOF of their record numbers; a BIFF8 BOF
// there is a workbook stream taken out of its compound file. The BOF gives a worksheet, chart, macro, workspace or globals type.
const char* bareStreamKind(const uint8_t* bytes, size_t length) {
    namespace bof = biff::bof;
    if (length < kRecordHeaderSize + bof::kSize) return nullptr;
    const uint16_t type = get16(bytes + biff::header::kType);
    const uint16_t size = get16(bytes + biff::header::kLength);
    if (size < bof::kSize || size > 16 || length < kRecordHeaderSize + size) return nullptr;
    const uint16_t kind = get16(bytes + kRecordHeaderSize + bof::kKind);
    if (kind != bof::kGlobals && kind != bof::kWorksheet && kind != bof::kChart &&
        kind != bof::kMacroSheet && kind != bof::kWorkspace)
        return nullptr;
    if (type == rt::BofBiff2 || type == rt::BofBiff3 || type == rt::BofBiff4)
        return "an Excel 2.x-4.0 worksheet, which this program does not read";
    if (type == rt::Bof)
        return "a workbook stream without its compound file, which this program does not read";
    return nullptr;
}

// The compound file of `bytes`, after the check for a bare record stream.
CompoundFile compoundFileOf(Bytes&& bytes, const std::string& displayName) {
    if (const char* kind = bareStreamKind(bytes.data(), bytes.size()))
        throw Error(ErrorKind::Unsupported, displayName, kind);
    return CompoundFile::parseForTaking(std::move(bytes), displayName, u"Workbook");
}

}  // namespace

WorkbookModel::WorkbookModel(Bytes&& bytes, std::string name)
    : displayName(std::move(name)), file_(compoundFileOf(std::move(bytes), displayName)) {
    auto isStream = [&](int index) {
        return index >= 0 && file_.entries()[size_t(index)].type == CompoundFile::Type::Stream;
    };
    int stream = file_.findInRoot(u"Workbook");
    if (isStream(stream)) {
        // An Excel 5.0/95 copy kept beside the workbook by dual-format writers: a save changes
        // only the Workbook stream, so the old copy would show stale values to readers that
        // prefer it.
        if (file_.removeStreamFromRoot(u"Book")) stream = file_.findInRoot(u"Workbook");
    } else {
        // The name Excel 5.0/95 gives the stream. Whether it holds a workbook this engine reads
        // is told by its BOF record (split()), not by the name; a save keeps the name.
        stream = file_.findInRoot(u"Book");
        if (!isStream(stream))
            throw Error(ErrorKind::Corrupt, displayName, "not a workbook (no Workbook stream)");
    }
    streamIndex_ = size_t(stream);
    // Everything in it goes to the globals and sheets; a save writes the stream anew.
    size_t at = 0;
    Bytes buffer = file_.takeStream(streamIndex_, &at);
    split(buffer, at);
    for (size_t i = 0; i < sheets.size(); ++i) handles.emplace_back(*this, *sheets[i]);
}

namespace {

// Whether the bytes of `base` from `pos` to `size` are all zero: the padding some writers leave
// after the last record.
bool atPadding(const uint8_t* base, size_t size, size_t pos) {
    return base[pos] == 0 && base[pos + 1 < size ? pos + 1 : pos] == 0 &&
           std::all_of(base + pos, base + size, [](uint8_t b) { return b == 0; });
}

// The end of the part starting at `pos` (a substream from its BOF, with whatever follows it up
// to the next), walked without reading its records; `depth` is left as the substreams stand
// there. A record running past `size` throws StreamFault.
size_t partEnd(const uint8_t* base, size_t size, size_t pos, int& depth) {
    const size_t start = pos;
    depth = 0;
    while (pos < size && !atPadding(base, size, pos)) {
        if (size - pos < kRecordHeaderSize) throw StreamFault{"record header cut off at the end"};
        const uint16_t type = get16(base + pos + biff::header::kType);
        const size_t length = get16(base + pos + biff::header::kLength);
        if (length > size - pos - kRecordHeaderSize)
            throw StreamFault{"record runs past the end of the workbook stream"};
        if (depth == 0 && type == rt::Bof && pos != start) break;
        if (type == rt::Bof) ++depth;
        if (type == rt::Eof && depth > 0) --depth;
        pos += kRecordHeaderSize + length;
    }
    return pos;
}

}  // namespace

// Cuts the workbook stream into parts in one pass over its records, reading each record where
// it stands: the globals get a copy of their bytes, a sheet's cells go straight into its cell
// table, and the records around them are packed at the end of the sheet's part, in the
// stream's own buffer (keepBuffer() then hands that buffer out). Faults are reported as a pass
// over the whole stream and then one check after another would find them: a broken record
// chain first, then the globals, then the sheets.
void WorkbookModel::split(Bytes& buffer, size_t at) {
    const size_t size = buffer.size() - at;
    uint8_t* const base = buffer.data() + at;
    std::vector<std::unique_ptr<SheetModel>> made;
    try {
        made = readParts(base, size);
    } catch (const StreamFault& f) {
        throw Error(ErrorKind::Corrupt, displayName, f.what);
    }
    keepBuffer(made, buffer);
    sheets = std::move(made);
}

std::vector<std::unique_ptr<SheetModel>> WorkbookModel::readParts(uint8_t* base, size_t size) {
    auto corrupt = [&](const char* what) { return Error(ErrorKind::Corrupt, displayName, what); };
    // The globals, and what is wrong with them, kept to be told once the rest is walked.
    int depth = 0;
    const size_t globalsEnd =
        size > 0 && !atPadding(base, size, 0) ? partEnd(base, size, 0, depth) : 0;
    std::exception_ptr fault = readGlobals(base, globalsEnd, depth);
    const size_t count = fault ? 0 : globals.sheets().size();
    std::vector<std::unique_ptr<SheetModel>> made;
    size_t partsAfter = 0;
    bool shortCell = false;
    for (size_t pos = globalsEnd; pos < size && !atPadding(base, size, pos); ++partsAfter) {
        if (partsAfter >= count) {
            const size_t end = partEnd(base, size, pos, depth);
            // Substreams past the last sheet, kept as they are.
            for (RecordWalker r(base, end, pos); !fault && r.more(); r.next())
                trailer_.push_back({r.type(), Bytes(r.data(), r.data() + r.length())});
            pos = end;
            continue;
        }
        uint8_t* bof = base + pos;
        const uint8_t* bofData = bof + kRecordHeaderSize;
        bool worksheet = get16(bof + biff::header::kLength) >= biff::bof::kSize &&
                         get16(bofData + biff::bof::kKind) == biff::bof::kWorksheet &&
                         get16(bofData + biff::bof::kVersion) == biff::bof::kBiff8;
        made.push_back(std::make_unique<SheetModel>(bof, base + size, worksheet));
        shortCell |= made.back()->broken();
        pos = size_t(made.back()->partEnd() - base);
    }
    if (fault) std::rethrow_exception(fault);
    if (partsAfter < count) throw corrupt("the records of a sheet are missing");
    if (shortCell) throw corrupt("a cell record is shorter than its content");
    return made;
}

// The globals' part, `end` bytes from `base`, with `depth` as its walk left the substreams:
// read, or what is wrong with them as an exception to be thrown later. A part that runs to the
// end of the stream is thrown at once.
std::exception_ptr WorkbookModel::readGlobals(const uint8_t* base, size_t end, int depth) {
    if (end == 0 || get16(base + biff::header::kType) != rt::Bof ||
        get16(base + biff::header::kLength) < biff::bof::kSize)
        return std::make_exception_ptr(
            Error(ErrorKind::Corrupt, displayName, "not a workbook (no BOF record)"));
    const uint8_t* bofData = base + kRecordHeaderSize;  // an empty stream may have no buffer
    const uint16_t version = get16(bofData + biff::bof::kVersion);
    if (version == biff::bof::kBiff5)
        return std::make_exception_ptr(Error(ErrorKind::Unsupported, displayName,
                                             "Excel 5.0/95 (BIFF5) workbooks are not supported"));
    if (version != biff::bof::kBiff8 || get16(bofData + biff::bof::kKind) != biff::bof::kGlobals)
        return std::make_exception_ptr(
            Error(ErrorKind::Unsupported, displayName, "not a BIFF8 workbook"));
    if (depth != 0)
        throw Error(ErrorKind::Corrupt, displayName, "the workbook globals have no EOF record");
    try {
        globals.parse(Bytes(base, base + end), displayName);
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

// The sheet with the most kept bytes keeps the stream's buffer (its records where they lie,
// unless the bytes before them are more than the records); the others get copies.
void WorkbookModel::keepBuffer(std::vector<std::unique_ptr<SheetModel>>& made, Bytes& buffer) {
    if (made.empty()) return;
    size_t largest = 0;
    for (size_t i = 0; i < made.size(); ++i)
        if (made[i]->keptSize() > made[largest]->keptSize()) largest = i;
    for (size_t i = 0; i < made.size(); ++i)
        if (i != largest) made[i]->adopt(Bytes(made[i]->keptBegin(), made[i]->partEnd()));
    SheetModel& sheet = *made[largest];
    // Fast path: the buffer itself rather than a copy of the records; the same bytes.
    if (!kFastPaths) {
        sheet.adopt(Bytes(sheet.keptBegin(), sheet.partEnd()));
        return;
    }
    const size_t from = size_t(sheet.keptBegin() - buffer.data()), kept = sheet.keptSize();
    if (from > kept) {
        std::memmove(buffer.data(), buffer.data() + from, kept);
        buffer.resize(kept);
        sheet.adopt(std::move(buffer));
    } else {
        buffer.resize(from + kept);
        sheet.adopt(std::move(buffer), from);
    }
}

// Runs of stored records at least this long are written from where they stand; shorter ones
// are copied into the stream's own bytes.
constexpr size_t kReferAt = 65536;

void WorkbookModel::workbookStream(bool asTemplate, Saved& saved) {
    extendTables(globals, sheets, displayName);
    extendChartReferences(globals, sheets);
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
    // The SST's total of references is counted as the cells are written, and filled in then.
    size_t refsField = SharedStrings::kNoField;
    uint32_t refs = 0;
    globals.write(saved.made.back(), asTemplate, 0, posFields, &refsField);
    for (size_t i = 0; i < sheets.size(); ++i) {
        SheetModel& sheet = *sheets[i];
        Bytes* out = &saved.made.back();
        if (i < posFields.size()) set32(&saved.made[0][posFields[i]], uint32_t(done + out->size()));
        sheet.updateDimensions();
        const uint8_t* raw = sheet.records().bytes();
        const size_t rawSize = sheet.records().byteSize();
        const size_t table = sheet.tableByte();
        out->insert(out->end(), raw, raw + table);
        refs += sheet.writeCells(*out);
        // Fast path: a long run of stored records is written from where it stands, as a span
        // of its own, rather than copied into the stream's bytes; the file is the same.
        if (!kFastPaths || rawSize - table < kReferAt) {
            out->insert(out->end(), raw + table, raw + rawSize);
            continue;
        }
        flush();
        saved.stream.push_back({raw + table, rawSize - table});
        done += rawSize - table;
        saved.made.emplace_back().reserve(size > done ? size - done : 0);
    }
    if (refsField != SharedStrings::kNoField) set32(&saved.made[0][refsField], refs);
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
