#include <gtest/gtest.h>

#include <functional>

#include "RecordDump.h"
#include "TestFiles.h"
#include "xls/CompoundFile.h"
#include "xls/CompoundFileFormat.h"
#include "xls/Workbook.h"

namespace {

using xls::Bytes;
using xls::ErrorKind;
namespace cfb = xls::cfb;
namespace hdr = xls::cfb::header;

// Where sector `id` of a version 3 file starts, and where the FAT entry of sector `id` lies when
// the FAT is the one sector `fat`.
size_t sectorAt(uint32_t id) { return cfb::kSectorSize3 * (size_t(id) + 1); }
size_t fatEntryAt(uint32_t fat, uint32_t id) { return sectorAt(fat) + cfb::kSectorNumberSize * id; }

// The chart workbook with its Workbook stream replaced by `stream`.
Bytes withStream(const Bytes& stream, const std::u16string& name = u"Workbook") {
    xls::CompoundFile cf;
    cf.putStream(name, stream);
    return cf.serialize();
}

Bytes chartStream() {
    auto cf = xls::CompoundFile::parse(xlstest::readBytes(xlstest::dataPath("chart.xls")), "c");
    return cf.entries()[size_t(cf.findInRoot(u"Workbook"))].data;
}

Bytes chartFile() { return xlstest::readBytes(xlstest::dataPath("chart.xls")); }

// The program's template saved with 200 entries: its chart holds a group of records per point.
Bytes longChartStream() {
    xls::Workbook book =
        xls::Workbook::open(std::string(MORROWLIN_SOURCE_DIR) + "/resources/Pie Chart.xlt");
    for (int i = 0; i < 200; ++i) {
        book.activeSheet().setValue(3 + i, 0, "Entry " + std::to_string(i));
        book.activeSheet().setValue(3 + i, 1, std::to_string(100 + i));
    }
    auto cf = xls::CompoundFile::parse(book.toBytes(), "c");
    return cf.entries()[size_t(cf.findInRoot(u"Workbook"))].data;
}

// Where the `n`-th record of `type` starts (0 for the first), or npos.
size_t nthRecord(const Bytes& stream, uint16_t type, int n) {
    for (size_t pos = 0; pos + 4 <= stream.size(); pos += 4 + xls::get16(&stream[pos + 2]))
        if (xls::get16(&stream[pos]) == type && n-- == 0) return pos;
    return std::string::npos;
}

size_t firstRecord(const Bytes& stream, uint16_t type) { return nthRecord(stream, type, 0); }

struct Damage {
    const char* what;
    std::function<Bytes()> make;
    ErrorKind kind;
    const char* fault;  // part of the message
};

const Damage kDamages[] = {
    {"empty file", [] { return Bytes(); }, ErrorKind::Corrupt, "bad compound file signature"},
    {"text file", [] { return Bytes(600, 'x'); }, ErrorKind::Corrupt,
     "bad compound file signature"},
    {"cut in the header",
     [] {
         Bytes b = chartFile();
         b.resize(300);
         return b;
     },
     ErrorKind::Corrupt, "bad compound file signature"},
    {"truncated to half",
     [] {
         Bytes b = chartFile();
         b.resize(b.size() / 2);
         return b;
     },
     ErrorKind::Corrupt, ""},
    {"FAT sector count past the file",
     [] {
         Bytes b = chartFile();
         xls::set32(&b[hdr::kFatCount], 100000);
         return b;
     },
     ErrorKind::Corrupt, "FAT"},
    {"directory chain loops",
     [] {
         Bytes b = chartFile();
         uint32_t dir = xls::get32(&b[hdr::kFirstDir]);
         uint32_t fat = xls::get32(&b[hdr::kDifat]);
         xls::set32(&b[fatEntryAt(fat, dir)], dir);  // the sector points at itself
         return b;
     },
     ErrorKind::Corrupt, "chain"},
    {"bad sector size",
     [] {
         Bytes b = chartFile();
         xls::set16(&b[hdr::kSectorShift], 20);
         return b;
     },
     ErrorKind::Corrupt, "sector size"},
    {"no Workbook stream", [] { return withStream(chartStream(), u"Other"); }, ErrorKind::Corrupt,
     "no Workbook stream"},
    {"BIFF5 Book stream",
     [] {
         Bytes s = chartStream();
         xls::set16(&s[4], 0x0500);
         return withStream(s, u"Book");
     },
     ErrorKind::Unsupported, "BIFF5"},
    {"BIFF5 BOF",
     [] {
         Bytes s = chartStream();
         xls::set16(&s[4], 0x0500);
         return withStream(s);
     },
     ErrorKind::Unsupported, "BIFF5"},
    {"record longer than the stream",
     [] {
         Bytes s = chartStream();
         s.resize(firstRecord(s, xls::rt::Sst) + 20);
         return withStream(s);
     },
     ErrorKind::Corrupt, "record runs past the end"},
    {"a point's record deep in a long chart longer than the stream",
     [] {
         Bytes s = longChartStream();
         size_t at = nthRecord(s, 0x1006, 150);  // DATAFORMAT of a point among the copies
         if (at == std::string::npos) return Bytes();
         xls::set16(&s[at + 2], 0xFFFF);
         return withStream(s);
     },
     ErrorKind::Corrupt, "record runs past the end of the workbook stream"},
    {"a cell among a long run of cells cut off by the end of the stream",
     [] {
         Bytes s = longChartStream();
         size_t at = nthRecord(s, xls::rt::Number, 150);
         if (at == std::string::npos) return Bytes();
         s.resize(at + 4 + xls::get16(&s[at + 2]) - 2);
         return withStream(s);
     },
     ErrorKind::Corrupt, "record runs past the end of the workbook stream"},
    {"string runs off its record",
     [] {
         Bytes s = chartStream();
         size_t sst = firstRecord(s, xls::rt::Sst);
         xls::set16(&s[sst + 12], 60000);  // first string's length
         return withStream(s);
     },
     ErrorKind::Corrupt, "shorter than its content"},
    {"cell record too short",
     [] {
         Bytes s = chartStream();
         size_t at = firstRecord(s, xls::rt::LabelSst);
         xls::set16(&s[at], xls::rt::Number);  // a 10-byte NUMBER
         return withStream(s);
     },
     ErrorKind::Corrupt, "cell record"},
    {"sheet records missing",
     [] {
         Bytes s = chartStream();
         size_t eof = firstRecord(s, xls::rt::Eof);
         s.resize(eof + 4);
         return withStream(s);
     },
     ErrorKind::Corrupt, "sheet"},
    {"Excel 2.x worksheet", [] { return xlstest::readBytes(xlstest::dataPath("biff2.xls")); },
     ErrorKind::Unsupported, "an Excel 2.x-4.0 worksheet, which this program does not read"},
    {"Excel 3.0 worksheet", [] { return xlstest::readBytes(xlstest::dataPath("biff3.xls")); },
     ErrorKind::Unsupported, "an Excel 2.x-4.0 worksheet, which this program does not read"},
    {"Excel 4.0 worksheet", [] { return xlstest::readBytes(xlstest::dataPath("biff4.xls")); },
     ErrorKind::Unsupported, "an Excel 2.x-4.0 worksheet, which this program does not read"},
    {"a workbook stream outside a compound file", [] { return chartStream(); },
     ErrorKind::Unsupported,
     "a workbook stream without its compound file, which this program does not read"},
    {"a stream's chain shorter than its size",
     [] {
         Bytes b = xlstest::readBytes(xlstest::dataPath("long-chain.xls"));
         uint32_t fat = xls::get32(&b[hdr::kDifat]), dir = xls::get32(&b[hdr::kFirstDir]);
         // The Workbook stream is the directory's second entry; end its chain at its first sector.
         const size_t workbook = sectorAt(dir) + cfb::entry::kBytes;
         uint32_t first = xls::get32(&b[workbook + cfb::entry::kStart]);
         xls::set32(&b[fatEntryAt(fat, first)], cfb::kEndOfChain);
         return b;
     },
     ErrorKind::Corrupt, "longer than its sectors"},
    {"no BOF",
     [] {
         Bytes s = chartStream();
         xls::set16(&s[0], 0x1234);
         return withStream(s);
     },
     ErrorKind::Corrupt, "no BOF"},
    {"empty Workbook stream", [] { return withStream(Bytes()); }, ErrorKind::Corrupt, "no BOF"},
};

TEST(DamagedFiles, EachGivesAClearError) {
    for (const Damage& d : kDamages) {
        SCOPED_TRACE(d.what);
        std::string dir = xlstest::tempDir("damaged");
        std::string path = dir + "/Pie Chart.xlt";
        xlstest::writeBytes(path, d.make());
        try {
            xls::Workbook::open(path);
            ADD_FAILURE() << "opened";
        } catch (const xls::Error& e) {
            EXPECT_EQ(e.kind(), d.kind) << e.what();
            std::string msg = e.what();
            EXPECT_EQ(msg.rfind("Pie Chart.xlt: ", 0), 0u) << msg;
            EXPECT_NE(msg.find(d.fault), std::string::npos) << msg;
        }
    }
}

TEST(DamagedFiles, EncryptedWorkbookIsRefused) {
    try {
        xls::Workbook::open(xlstest::dataPath("encrypted.xls"));
        FAIL() << "opened";
    } catch (const xls::Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Unsupported);
        EXPECT_STREQ(e.what(), "encrypted.xls: the workbook is encrypted (password protected)");
    }
}

TEST(DamagedFiles, MissingFileIsAnIoError) {
    try {
        xls::Workbook::open(xlstest::tempDir("missing") + "/nothing.xls");
        FAIL() << "opened";
    } catch (const xls::Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Io);
        EXPECT_EQ(std::string(e.what()).rfind("nothing.xls: cannot open the file", 0), 0u);
    }
}

TEST(DamagedFiles, FlippedBytesNeverCrash) {
    // Every 97th byte of the chart workbook set to 0xFF in turn: each open either works or
    // throws xls::Error, and a workbook that opens also saves and opens again.
    Bytes original = chartFile();
    int opened = 0;
    for (size_t at = 0; at < original.size(); at += 97) {
        Bytes b = original;
        b[at] = 0xFF;
        try {
            xls::Workbook book = xls::Workbook::fromBytes(b, "flip");
            book.activeSheet().setValue(3, 0, "x");
            xls::Workbook::fromBytes(book.toBytes(), "again");
            ++opened;
        } catch (const xls::Error&) {
        }
    }
    EXPECT_GT(opened, 0);
}

}  // namespace
