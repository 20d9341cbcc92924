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

// Cuts the workbook stream into parts (a substream from its BOF, with whatever follows it up
// to the next) in one pass over its records, reading each record where it stands: the globals
// get a copy of their bytes, a sheet's cells go straight into its cell table, and the records
// around them are packed at the end of the sheet's part, in the stream's own buffer. The sheet
// with the most such bytes then keeps that buffer (its records where they lie, unless the bytes
// before them are more than the records); the others get copies. Faults are reported as a pass
// over the whole stream and then one check after another would find them: a broken record chain
// first, then the globals, then the sheets.
void WorkbookModel::split(Bytes& buffer, size_t at) {
    const size_t size = buffer.size() - at;
    uint8_t* const base = buffer.data() + at;
    auto corrupt = [&](const char* what) { return Error(ErrorKind::Corrupt, displayName, what); };
    auto atPadding = [&](size_t pos) {
        return base[pos] == 0 && base[pos + 1 < size ? pos + 1 : pos] == 0 &&
               std::all_of(base + pos, base + size, [](uint8_t b) { return b == 0; });
    };
    // The end of the part starting at `pos`, walked without reading its records; `depth` is
    // left as the substreams stand there.
    int depth = 0;
    auto walk = [&](size_t pos) {
        const size_t start = pos;
        depth = 0;
        while (pos < size && !atPadding(pos)) {
            if (size - pos < 4) throw corrupt("record header cut off at the end");
            uint16_t type = get16(&base[pos]);
            size_t length = get16(&base[pos + 2]);
            if (length > size - pos - 4)
                throw corrupt("record runs past the end of the workbook stream");
            if (depth == 0 && type == rt::Bof && pos != start) break;
            if (type == rt::Bof) ++depth;
            if (type == rt::Eof && depth > 0) --depth;
            pos += 4 + length;
        }
        return pos;
    };
    auto recordsOf = [&](size_t begin, size_t end, std::vector<Record>& out) {
        for (size_t p = begin; p < end; p += 4 + get16(base + p + 2)) {
            out.emplace_back();
            out.back().type = get16(base + p);
            out.back().data.assign(base + p + 4, base + p + 4 + get16(base + p + 2));
        }
    };

    // The globals, and what is wrong with them, kept to be told once the rest is walked.
    std::exception_ptr fault;
    const size_t globalsEnd = size > 0 && !atPadding(0) ? walk(0) : 0;
    if (globalsEnd == 0 || get16(base) != rt::Bof || get16(base + 2) < 4) {
        fault = std::make_exception_ptr(corrupt("not a workbook (no BOF record)"));
    } else if (get16(base + 4) == kBiff5) {
        fault = std::make_exception_ptr(Error(ErrorKind::Unsupported, displayName,
                                              "Excel 5.0/95 (BIFF5) workbooks are not supported"));
    } else if (get16(base + 4) != kBiff8 || get16(base + 6) != kGlobalsType) {
        fault = std::make_exception_ptr(
            Error(ErrorKind::Unsupported, displayName, "not a BIFF8 workbook"));
    } else if (depth != 0) {  // the globals run to the end of the stream
        throw corrupt("the workbook globals have no EOF record");
    } else {
        try {
            globals.parse(Bytes(base, base + globalsEnd), displayName);
        } catch (...) {
            fault = std::current_exception();
        }
    }

    const size_t count = fault ? 0 : globals.sheets().size();
    std::vector<std::unique_ptr<SheetModel>> made;
    size_t partsAfter = 0;
    bool shortCell = false;
    for (size_t pos = globalsEnd; pos < size && !atPadding(pos); ++partsAfter) {
        if (partsAfter >= count) {
            size_t end = walk(pos);
            if (!fault) recordsOf(pos, end, trailer_);  // substreams past the last sheet
            pos = end;
            continue;
        }
        uint8_t* bof = base + pos;
        size_t bofSize = get16(bof + 2);
        bool worksheet =
            bofSize >= 4 && get16(bof + 6) == kWorksheetType && get16(bof + 4) == kBiff8;
        try {
            made.push_back(std::make_unique<SheetModel>(bof, base + size, worksheet));
        } catch (const StreamFault& f) {
            throw corrupt(f.what);
        }
        shortCell |= made.back()->broken();
        pos = size_t(made.back()->partEnd() - base);
    }
    if (fault) std::rethrow_exception(fault);
    if (partsAfter < count) throw corrupt("the records of a sheet are missing");
    if (shortCell) throw corrupt("a cell record is shorter than its content");

    size_t largest = 0;
    for (size_t i = 0; i < made.size(); ++i)
        if (made[i]->keptSize() > made[largest]->keptSize()) largest = i;
    for (size_t i = 0; i < made.size(); ++i)
        if (i != largest) made[i]->adopt(Bytes(made[i]->keptBegin(), made[i]->partEnd()));
    // Fast path: the sheet with the most kept bytes keeps the stream's buffer (its records
    // where they lie, or moved to its front) rather than a copy of them; the same bytes.
    if (!kFastPaths && !made.empty())
        made[largest]->adopt(Bytes(made[largest]->keptBegin(), made[largest]->partEnd()));
    else if (!made.empty()) {
        SheetModel& sheet = *made[largest];
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
    sheets = std::move(made);
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
