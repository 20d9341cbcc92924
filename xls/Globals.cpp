#include "xls/Globals.h"

#include <algorithm>
#include <cstring>

#include "xls/Error.h"
#include "xls/FastPaths.h"
#include "xls/Palette.h"

namespace xls {

namespace {

constexpr size_t kMaxXfs = 4050;
// Number formats: ids below kBuiltinFormats are built in, a workbook's own start at
// kFirstOwnFormat, and a FORMAT record's string holds at most kMaxFormatChars characters.
constexpr uint16_t kBuiltinFormats = 50, kFirstOwnFormat = 164;
constexpr size_t kMaxFormatChars = 255;

// Reads the string at `offset` of a record the engine keeps as it is: a string cut short is
// taken as far as it goes, and `warnings` gets a line naming the record, `name()`.
template <class Name>
std::string keptString(const uint8_t* d, size_t size, size_t offset, int cchBytes, Name name,
                       std::vector<std::string>& warnings) {
    // The usual string, all there with 8-bit characters and neither formatting runs nor phonetic
    // data, read where it lies: a character below 0x80 is its own UTF-8, one above takes two.
    // Fast path: the same text as ChunkReader reads below.
    const size_t head = offset + size_t(cchBytes) + 1;
    if (kFastPaths && head <= size) {
        const size_t count = cchBytes == 2 ? get16(d + offset) : d[offset];
        constexpr uint8_t kNotPlain =
            biff::str::kWide | biff::str::kPhonetic | biff::str::kRichText;
        if ((d[head - 1] & kNotPlain) == 0 && count <= size - head) {
            const uint8_t* const chars = d + head;
            const uint8_t* const end = chars + count;
            if (std::all_of(chars, end, [](uint8_t c) { return c < 0x80; }))
                return std::string(reinterpret_cast<const char*>(chars), count);
            std::string text;
            text.reserve(2 * count);
            for (const uint8_t* c = chars; c < end; ++c) {
                if (*c >= 0x80) text += char(0xC0 | (*c >> 6));
                text += char(*c < 0x80 ? *c : 0x80 | (*c & 0x3F));
            }
            return text;
        }
    }
    const Bytes record(d, d + size);
    std::vector<const Bytes*> chunk{&record};
    bool cut = false;
    std::string text = utf16ToUtf8(ChunkReader(chunk, offset).readString(cchBytes, &cut).chars);
    if (cut)
        warnings.push_back(name() + " holds a string shorter than its length field; \"" + text +
                           "\" is what it holds");
    return text;
}

FontStyle parseFont(const uint8_t* d, size_t size, size_t index,
                    std::vector<std::string>& warnings) {
    ByteReader r(d, size);
    FontStyle f;
    f.heightTwips = r.u16();
    uint16_t grbit = r.u16();
    f.italic = grbit & 0x02;
    f.strikeout = grbit & 0x08;
    f.colorIndex = r.u16();
    f.weight = r.u16();
    f.script = uint8_t(r.u16());
    f.underline = Underline(r.u8());
    r.skip(3);
    f.name = keptString(
        d, size, r.pos(), 1, [&] { return "the FONT record " + std::to_string(index); }, warnings);
    return f;
}

XfStyle parseXf(const uint8_t* d, size_t size) {
    if (size < 20) throw OutOfBounds{};
    XfStyle x;
    x.fontIndex = get16(d);
    x.formatIndex = get16(d + 2);
    uint16_t flags = get16(d + 4);
    x.locked = flags & 1;
    x.formulaHidden = flags & 2;
    x.isStyle = flags & 4;
    x.parent = flags >> 4;
    uint8_t align = d[6];
    x.hAlign = HAlign(align & 7);
    x.wrap = align & 8;
    x.vAlign = VAlign(std::min((align >> 4) & 7, 4));
    x.rotation = d[7];
    uint8_t indent = d[8];
    x.indent = indent & 0x0F;
    x.shrinkToFit = indent & 0x10;
    uint32_t b1 = get32(d + 10), b2 = get32(d + 14);
    uint16_t b3 = get16(d + 18);
    x.left = {uint8_t(b1 & 0xF), uint16_t((b1 >> 16) & 0x7F)};
    x.right = {uint8_t((b1 >> 4) & 0xF), uint16_t((b1 >> 23) & 0x7F)};
    x.top = {uint8_t((b1 >> 8) & 0xF), uint16_t(b2 & 0x7F)};
    x.bottom = {uint8_t((b1 >> 12) & 0xF), uint16_t((b2 >> 7) & 0x7F)};
    x.fillPattern = uint8_t(b2 >> 26);
    x.fillForeground = b3 & 0x7F;
    x.fillBackground = (b3 >> 7) & 0x7F;
    return x;
}

}  // namespace

void Globals::parse(Bytes records, const std::string& displayName) {
    records_ = RecordBuffer(std::move(records));
    size_t fonts = 0, xfs = 0, formats = 0;  // records of the style tables, read after this pass
    std::vector<bool> selfBook;              // per SUPBOOK: whether it stands for this workbook
    Bytes xti;                               // the first EXTERNSHEET's data with its CONTINUEs
    try {
        for (RecordWalker r = records_.walk(); r.more(); r.next()) {
            const uint8_t* data = r.data();
            const size_t length = r.length();
            switch (r.type()) {
                case rt::FilePass:
                    throw Error(ErrorKind::Unsupported, displayName,
                                "the workbook is encrypted (password protected)");
                case rt::BoundSheet: {
                    ByteReader r(data, length);
                    r.skip(5);
                    SheetInfo info;
                    info.type = r.u8();
                    info.name = keptString(
                        data, length, 6, 1,
                        [&] {
                            return "the BOUNDSHEET record of sheet " +
                                   std::to_string(sheets_.size() + 1);
                        },
                        warnings_);
                    sheets_.push_back(std::move(info));
                    break;
                }
                case rt::Window1:
                    if (length >= 12) activeSheet_ = get16(data + 10);
                    break;
                case rt::Sst: {
                    // The table keeps copies of the records' data; a save writes it in their place.
                    std::vector<Bytes> group{Bytes(data, data + length)};
                    for (RecordWalker k = r.rest(); k.more() && k.type() == rt::Continue; k.next())
                        group.emplace_back(k.data(), k.data() + k.length());
                    sst_.parse(std::move(group));
                    break;
                }
                case rt::Font:
                    ++fonts;
                    break;
                case rt::Xf:
                    ++xfs;
                    break;
                case rt::Format:
                    ++formats;
                    break;
                case rt::SupBook:
                    selfBook.push_back(length >= 4 && get16(data + 2) == 0x0401);
                    break;
                case rt::ExternSheet:
                    if (!xti.empty()) break;
                    xti.assign(data, data + length);
                    for (RecordWalker k = r.rest(); k.more() && k.type() == rt::Continue; k.next())
                        xti.insert(xti.end(), k.data(), k.data() + k.length());
                    break;
                default:
                    break;
            }
        }
        parseStyles(fonts, xfs, formats);
        parseExternSheets(selfBook, xti);
    } catch (const OutOfBounds&) {
        throw Error(ErrorKind::Corrupt, displayName,
                    "a workbook record is shorter than its content");
    }
    if (sheets_.empty()) throw Error(ErrorKind::Corrupt, displayName, "the workbook has no sheets");
    if (activeSheet_ < 0 || activeSheet_ >= int(sheets_.size())) activeSheet_ = 0;
}

void Globals::parseStyles(size_t fonts, size_t xfs, size_t formats) {
    styles_.palette_ = defaultPalette();
    styles_.fonts_.reserve(fonts);
    // With room for the few formats and XFs that filling a sheet adds (an amount format and the
    // cells' XFs), so that the first of them does not copy the whole table.
    styles_.xfs_.reserve(xfs + 8);
    styles_.formats_.reserve(formats + 2);
    for (RecordWalker r = records_.walk(); r.more(); r.next()) {
        const uint8_t* data = r.data();
        const size_t length = r.length();
        switch (r.type()) {
            case rt::Font:
                styles_.fonts_.push_back(parseFont(data, length, styles_.fonts_.size(), warnings_));
                break;
            case rt::Xf:
                styles_.xfs_.push_back(parseXf(data, length));
                break;
            case rt::Format: {
                ByteReader r(data, length);
                uint16_t id = r.u16();
                size_t before = warnings_.size();
                styles_.formats_.emplace_back(
                    id,
                    keptString(
                        data, length, 2, 2,
                        [&] { return "the FORMAT record of number format " + std::to_string(id); },
                        warnings_));
                if (warnings_.size() != before) cutFormats_.push_back(id);
                break;
            }
            case rt::Palette: {
                ByteReader r(data, length);
                uint16_t colors = r.u16();
                for (uint16_t k = 0; k < colors && k < 56; ++k) {
                    const uint8_t* c = r.take(4);
                    styles_.palette_[k] = {c[0], c[1], c[2]};
                }
                break;
            }
            default:
                break;
        }
    }
}

void Globals::parseExternSheets(const std::vector<bool>& selfBook, const Bytes& xti) {
    if (xti.size() < 2) return;
    ByteReader r(xti);
    uint16_t entries = r.u16();
    for (uint16_t k = 0; k < entries && r.remaining() >= 6; ++k) {
        uint16_t book = r.u16(), first = r.u16(), last = r.u16();
        bool self = book < selfBook.size() && selfBook[book];
        xtiSheet_.push_back(self && first == last ? int(first) : -1);
    }
}

int Globals::sheetOfXti(uint16_t ixti) const {
    return ixti < xtiSheet_.size() ? xtiSheet_[ixti] : -1;
}

size_t Globals::lastIndexOf(uint16_t type) const {
    // One walk from header to header.
    size_t i = 0, last = size_t(-1);
    for (RecordWalker r = records_.walk(); r.more(); r.next(), ++i)
        if (r.type() == type) last = i;
    return last != size_t(-1) ? last : i;
}

void Globals::insertRecord(size_t at, uint16_t type, const Bytes& data) {
    records_.insert(at, type, data.data(), data.size());
}

uint16_t Globals::lookUpFormat(const std::string& format) {
    auto known = formatIds_.find(format);
    uint16_t found = known != formatIds_.end() ? known->second : findOrAddFormatRecord(format);
    if (known == formatIds_.end()) formatIds_.emplace(format, found);
    lastFormat_ = format;
    lastFormatId_ = found;
    return found;
}

uint16_t Globals::findOrAddFormatRecord(const std::string& format) {
    // A format whose string was cut short may mean something else to other readers: never reuse.
    for (const auto& f : styles_.formats_)
        if (f.second == format &&
            std::find(cutFormats_.begin(), cutFormats_.end(), f.first) == cutFormats_.end())
            return f.first;
    for (uint16_t id = 0; id < kBuiltinFormats; ++id)
        if (Styles::builtinFormat(id) == format) return id;
    uint16_t id = kFirstOwnFormat;
    for (const auto& f : styles_.formats_) id = std::max<uint16_t>(id, uint16_t(f.first + 1));
    Bytes data;
    std::string stored;  // the format as the record holds it, in UTF-8
    // Fast path: the same record as the UTF-16 path below makes of 7-bit text.
    if (kFastPaths && format.size() <= kMaxFormatChars &&
        std::all_of(format.begin(), format.end(), [](char c) { return (c & 0x80) == 0; })) {
        // The usual format: 7-bit text, stored as 8-bit characters as it stands.
        data.resize(5 + format.size());
        set16(&data[0], id);
        set16(&data[2], uint16_t(format.size()));
        data[4] = 0;
        std::copy(format.begin(), format.end(), data.begin() + 5);
        stored = format;
    } else {
        std::u16string chars = utf8ToUtf16(format);
        if (chars.size() > kMaxFormatChars) chars.resize(kMaxFormatChars);
        bool wide = std::any_of(chars.begin(), chars.end(), [](char16_t c) { return c > 0xFF; });
        data.reserve(5 + chars.size() * (wide ? 2 : 1));
        put16(data, id);
        put16(data, uint16_t(chars.size()));
        put8(data, wide ? 1 : 0);
        for (char16_t c : chars) wide ? put16(data, c) : put8(data, uint8_t(c));
        stored = utf16ToUtf8(chars);
    }
    const size_t count = records_.size();
    size_t at = lastIndexOf(rt::Format);
    if (at < count) {
        ++at;
    } else {
        at = 0;
        while (at < count && records_.type(at) != rt::Xf) ++at;
        if (at == count && at > 0) --at;  // before EOF
    }
    insertRecord(at, rt::Format, data);
    styles_.formats_.emplace_back(id, std::move(stored));
    return id;
}

uint16_t Globals::lookUpXf(uint16_t baseXf, uint16_t formatId, const std::string& displayName) {
    const uint32_t key = uint32_t(baseXf) << 16 | formatId;
    auto known = xfFor_.find(key);
    if (known != xfFor_.end()) {
        rememberXf(key, known->second);
        return known->second;
    }
    bool inRange = baseXf < styles_.xfs_.size();
    uint16_t found = findOrAddXfRecord(baseXf, formatId, displayName);
    // An XF index past the table stands for a fallback that more XFs would change.
    if (inRange) {
        xfFor_.emplace(key, found);
        rememberXf(key, found);
    }
    return found;
}

void Globals::rememberXf(uint32_t key, uint16_t xf) {
    lastXfKey_[1] = lastXfKey_[0];
    lastXf_[1] = lastXf_[0];
    lastXfKey_[0] = key;
    lastXf_[0] = xf;
}

uint16_t Globals::findOrAddXfRecord(uint16_t baseXf, uint16_t formatId,
                                    const std::string& displayName) {
    // The XF records: their indexes, and where each starts in the records' bytes. One walk from
    // header to header.
    std::vector<size_t> xfRecords, xfAt;
    xfRecords.reserve(styles_.xfs_.size());
    xfAt.reserve(styles_.xfs_.size());
    size_t i = 0;
    for (RecordWalker r = records_.walk(); r.more(); r.next(), ++i)
        if (r.type() == rt::Xf && r.length() >= 20) {
            xfRecords.push_back(i);
            xfAt.push_back(r.offset());
        }
    if (xfRecords.empty())
        throw Error(ErrorKind::Unsupported, displayName, "the workbook has no cell formats");
    if (baseXf >= xfRecords.size()) baseXf = xfRecords.size() > 15 ? 15 : 0;
    const uint8_t* const bytes = records_.bytes();
    const uint8_t* base = bytes + xfAt[baseXf] + kRecordHeaderSize;
    Bytes wanted(base, base + get16(bytes + xfAt[baseXf] + biff::header::kLength));
    uint16_t flags = get16(&wanted[4]);
    if (get16(&wanted[2]) == formatId && !(flags & 4)) return baseXf;
    if (flags & 4) flags = uint16_t((flags & 0x0B) | (baseXf << 4));  // a cell XF on that style
    set16(&wanted[2], formatId);
    set16(&wanted[4], flags);
    wanted[9] |= 0x04;  // the number format is the cell's own, not the style's
    // Most XFs differ from it in their first four bytes (font, number format): those are
    // compared first.
    const uint32_t head = get32(wanted.data());
    for (size_t k = 0; k < xfRecords.size(); ++k) {
        const uint8_t* record = bytes + xfAt[k];
        const uint8_t* data = record + kRecordHeaderSize;
        if (get16(record + biff::header::kLength) == wanted.size() && get32(data) == head &&
            std::memcmp(data, wanted.data(), wanted.size()) == 0)
            return uint16_t(k);
    }
    if (xfRecords.size() >= kMaxXfs)
        throw Error(ErrorKind::Unsupported, displayName, "too many cell formats in the workbook");
    insertRecord(xfRecords.back() + 1, rt::Xf, wanted);
    styles_.xfs_.push_back(parseXf(wanted.data(), wanted.size()));
    return uint16_t(xfRecords.size());
}

size_t Globals::sizeHint() const { return sst_.sizeHint() + records_.byteSize(); }

void Globals::write(Bytes& out, bool asTemplate, uint32_t sstRefs,
                    std::vector<size_t>& sheetPosFields, size_t* sstRefsField) const {
    // The records are copied in runs; a run ends at a record written otherwise or left out.
    const uint8_t* const bytes = records_.bytes();
    size_t copied = 0;  // where the records not yet copied start in bytes
    auto copyTo = [&](size_t end) {
        out.insert(out.end(), bytes + copied, bytes + end);
        copied = end;
    };
    bool sstWritten = false;
    size_t field = SharedStrings::kNoField;
    const size_t count = records_.size();
    for (size_t i = 0; i < count; ++i) {
        switch (records_.type(i)) {
            case rt::Template:
                if (!asTemplate) {
                    copyTo(records_.offset(i));
                    copied = records_.offset(i + 1);
                }
                break;
            case rt::Sst:
                copyTo(records_.offset(i));
                if (!sstWritten) field = sst_.write(out, sstRefs);
                sstWritten = true;
                while (i + 1 < count && records_.type(i + 1) == rt::Continue) ++i;
                copied = records_.offset(i + 1);
                break;
            case rt::ExtSst:  // written with the SST
                copyTo(records_.offset(i));
                copied = records_.offset(i + 1);
                break;
            case rt::BoundSheet:
                sheetPosFields.push_back(out.size() + (records_.offset(i) - copied) + 4);
                break;
            case rt::Eof:
                if (!sstWritten && sst_.size() > 0) {
                    copyTo(records_.offset(i));
                    field = sst_.write(out, sstRefs);
                }
                sstWritten = true;
                break;
            default:
                break;
        }
    }
    copyTo(records_.byteSize());
    if (sstRefsField) *sstRefsField = field;
}

}  // namespace xls
