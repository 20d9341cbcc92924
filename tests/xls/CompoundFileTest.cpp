#include <gtest/gtest.h>

#include <map>

#include "TestFiles.h"
#include "xls/CompoundFile.h"
#include "xls/CompoundFileFormat.h"
#include "xls/Error.h"

namespace {

using xls::Bytes;
using xls::CompoundFile;
namespace cfb = xls::cfb;
namespace hdr = xls::cfb::header;
namespace ent = xls::cfb::entry;

Bytes pattern(size_t size, uint8_t seed) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = uint8_t(seed + i * 7 + (i >> 9));
    return b;
}

// Stream sizes around every boundary of the format: empty, mini sectors, the 4,096-byte
// cutoff, whole and partial sectors, and a stream large enough to need DIFAT sectors. Written
// whole, or around a stream the caller holds (each large size in turn); read from borrowed
// bytes, or from bytes the reader may take over for its largest stream.
TEST(CompoundFile, WrittenStreamsReadBackStreamForStream) {
    const size_t sizes[] = {0, 1, 63, 64, 65, 4095, 4096, 4097, 512 * 9, 100000};
    auto name = [](size_t i) { return u"s" + std::u16string(i, u'x'); };
    CompoundFile cf;
    for (size_t i = 0; i < std::size(sizes); ++i)
        cf.putStream(name(i), pattern(sizes[i], uint8_t(i)));
    std::vector<std::pair<std::string, Bytes>> files{{"whole", cf.serialize()}};
    for (size_t i = 0; i < std::size(sizes); ++i) {
        if (sizes[i] < cfb::kMiniStreamCutoff) continue;
        size_t index = size_t(cf.findInRoot(name(i)));
        CompoundFile apart = cf;
        Bytes held = apart.entries()[index].data;
        apart.streamData(index).clear();
        CompoundFile::Pieces pieces = apart.serializeAround(index, held.size());
        Bytes file = pieces.head;
        file.insert(file.end(), held.begin(), held.end());
        file.insert(file.end(), pieces.tail.begin(), pieces.tail.end());
        files.emplace_back("around " + std::to_string(sizes[i]), file);
    }
    // Read borrowed, taken over (the largest stream gets the buffer), or for taking out each
    // stream in turn: the stream taken reads whole from where takeStream() says, and every
    // other stream, larger or not, keeps its own bytes, also when the file is written again.
    for (const auto& [how, file] : files)
        for (int taken = -2; taken < int(std::size(sizes)); ++taken) {
            SCOPED_TRACE(how + (taken == -2   ? ", borrowed"
                                : taken == -1 ? ", taken over"
                                              : ", for taking " + std::to_string(sizes[taken])));
            EXPECT_EQ(file.size() % cfb::kSectorSize3, 0u);
            Bytes copy = file;
            CompoundFile back =
                taken == -2   ? CompoundFile::parse(file, "t.bin")
                : taken == -1 ? CompoundFile::parse(std::move(copy), "t.bin")
                              : CompoundFile::parseForTaking(std::move(copy), "t.bin", name(taken));
            if (taken >= 0) {
                const size_t index = size_t(back.findInRoot(name(taken)));
                size_t at = 0;
                Bytes out = back.takeStream(index, &at);
                EXPECT_EQ(Bytes(out.begin() + std::ptrdiff_t(at), out.end()),
                          pattern(sizes[taken], uint8_t(taken)));
                for (size_t i = 0; i < std::size(sizes); ++i) {
                    if (int(i) == taken) continue;
                    EXPECT_EQ(back.entries()[size_t(back.findInRoot(name(i)))].data,
                              pattern(sizes[i], uint8_t(i)))
                        << "before writing, " << sizes[i];
                }
                if (sizes[taken] < cfb::kMiniStreamCutoff) continue;
                // Written as a save does: around the taken stream, which the caller holds.
                CompoundFile::Pieces pieces = back.serializeAround(index, sizes[taken]);
                Bytes again = pieces.head;
                again.insert(again.end(), out.begin() + std::ptrdiff_t(at), out.end());
                again.insert(again.end(), pieces.tail.begin(), pieces.tail.end());
                back = CompoundFile::parse(again, "again.bin");
            }
            for (size_t i = 0; i < std::size(sizes); ++i) {
                int index = back.findInRoot(name(i));
                ASSERT_GE(index, 0) << sizes[i];
                EXPECT_EQ(back.entries()[size_t(index)].data, pattern(sizes[i], uint8_t(i)))
                    << sizes[i];
            }
        }
}

// Some writers leave a stream's sector chain longer than its size: the chain is read as far as
// the size needs, whatever its tail holds (here: a sector past the mini stream, and a sector
// number past the end of the file).
TEST(CompoundFile, ChainsLongerThanTheirStreamAreReadUpToTheSize) {
    CompoundFile cf;
    cf.putStream(u"Big", pattern(5000, 1));
    cf.putStream(u"Small", pattern(100, 2));  // mini sectors 0 and 1
    Bytes file = cf.serialize();
    const size_t sector = cfb::kSectorSize3, perSector = sector / cfb::kSectorNumberSize;
    auto sectorAt = [&](uint32_t id) { return &file[sector * (size_t(id) + 1)]; };
    auto fatEntry = [&](uint32_t id) {
        const uint32_t fatSector = xls::get32(&file[hdr::kDifat + 4 * (id / perSector)]);
        return sectorAt(fatSector) + 4 * (id % perSector);
    };
    const uint8_t* dir = sectorAt(xls::get32(&file[hdr::kFirstDir]));
    uint32_t bigStart = 0;
    for (size_t i = 0; i < 4; ++i) {
        const uint8_t* e = dir + ent::kBytes * i;
        if (xls::get16(e + ent::kName) == u'B') bigStart = xls::get32(e + ent::kStart);
    }
    uint32_t last = bigStart + 9;  // 5,000 bytes: ten contiguous sectors
    ASSERT_EQ(xls::get32(fatEntry(last)), cfb::kEndOfChain);
    xls::set32(fatEntry(last), 0x00FFFFF0);
    uint8_t* miniFat = sectorAt(xls::get32(&file[hdr::kFirstMiniFat]));
    ASSERT_EQ(xls::get32(miniFat + 4), cfb::kEndOfChain);
    xls::set32(miniFat + 4, 40);
    CompoundFile back = CompoundFile::parse(file, "long.bin");
    EXPECT_EQ(back.entries()[size_t(back.findInRoot(u"Big"))].data, pattern(5000, 1));
    EXPECT_EQ(back.entries()[size_t(back.findInRoot(u"Small"))].data, pattern(100, 2));
}

TEST(CompoundFile, LargeFileUsesDifatAndReadsBack) {
    // 109 FAT sectors cover 109 * 128 sectors (about 7 MB); more needs DIFAT sectors.
    CompoundFile cf;
    Bytes big = pattern(8 * 1024 * 1024, 3);
    cf.putStream(u"Big", big);
    Bytes file = cf.serialize();
    EXPECT_NE(xls::get32(&file[hdr::kFirstDifat]), cfb::kEndOfChain);
    EXPECT_GE(xls::get32(&file[hdr::kDifatCount]), 1u);
    CompoundFile back = CompoundFile::parse(file, "big.bin");
    EXPECT_EQ(back.entries()[size_t(back.findInRoot(u"Big"))].data, big);
}

// Entries by path ("Root Entry/\x05SummaryInformation"), whatever order they were read in.
std::map<std::u16string, const CompoundFile::Entry*> byPath(const CompoundFile& cf) {
    std::map<std::u16string, const CompoundFile::Entry*> out;
    std::vector<std::pair<size_t, std::u16string>> todo{{0, u""}};
    while (!todo.empty()) {
        auto [index, prefix] = todo.back();
        todo.pop_back();
        const auto& e = cf.entries()[index];
        std::u16string path = prefix + u"/" + e.name;
        out[path] = &e;
        for (size_t child : e.children) todo.emplace_back(child, path);
    }
    return out;
}

TEST(CompoundFile, KeepsNamesClsidsAndStorages) {
    for (const char* name : {"chart.xls", "kinds.xls", "strings.xls", "sheets.xls"}) {
        SCOPED_TRACE(name);
        Bytes original = xlstest::readBytes(xlstest::dataPath(name));
        CompoundFile a = CompoundFile::parse(original, name);
        CompoundFile b = CompoundFile::parse(a.serialize(), name);
        auto before = byPath(a), after = byPath(b);
        ASSERT_EQ(before.size(), a.entries().size());
        ASSERT_EQ(before.size(), after.size());
        for (const auto& [path, e] : before) {
            ASSERT_TRUE(after.count(path));
            const auto* f = after[path];
            EXPECT_EQ(e->type, f->type);
            EXPECT_EQ(e->clsid, f->clsid);
            EXPECT_EQ(e->stateBits, f->stateBits);
            EXPECT_EQ(e->times, f->times);
            EXPECT_EQ(e->data, f->data);
            EXPECT_EQ(e->children.size(), f->children.size());
        }
        EXPECT_GE(a.findInRoot(u"\x05SummaryInformation"), 0);
    }
}

// A version 4 file (4,096-byte sectors) written by hand: header, one FAT sector, one directory
// sector, and one stream of 5,000 bytes in two sectors.
Bytes version4File(const Bytes& stream) {
    const size_t sector = size_t(1) << cfb::kSectorShift4;
    Bytes f(sector * 5, 0);
    std::copy(cfb::kSignature, cfb::kSignature + cfb::kSignatureSize, f.begin());
    xls::set16(&f[hdr::kMinorVersion], cfb::kMinorVersion);
    xls::set16(&f[hdr::kMajorVersion], cfb::kVersion4);
    xls::set16(&f[hdr::kByteOrder], cfb::kByteOrderMark);
    xls::set16(&f[hdr::kSectorShift], cfb::kSectorShift4);
    xls::set16(&f[hdr::kMiniSectorShift], cfb::kMiniSectorShift);
    xls::set32(&f[hdr::kDirCount], 1);
    xls::set32(&f[hdr::kFatCount], 1);
    xls::set32(&f[hdr::kFirstDir], 1);
    xls::set32(&f[hdr::kMiniStreamCutoff], cfb::kMiniStreamCutoff);
    xls::set32(&f[hdr::kFirstMiniFat], cfb::kEndOfChain);
    xls::set32(&f[hdr::kFirstDifat], cfb::kEndOfChain);
    xls::set32(&f[hdr::kDifat], 0);  // FAT in sector 0
    for (size_t i = 1; i < hdr::kDifatEntries; ++i)
        xls::set32(&f[hdr::kDifat + 4 * i], cfb::kFreeSector);
    uint8_t* fat = &f[sector * 1];
    for (size_t i = 0; i < sector / 4; ++i) xls::set32(fat + 4 * i, cfb::kFreeSector);
    xls::set32(fat + 0, cfb::kFatSector);   // sector 0: FAT
    xls::set32(fat + 4, cfb::kEndOfChain);  // sector 1: directory
    xls::set32(fat + 8, 3);                 // sectors 2, 3: the stream
    xls::set32(fat + 12, cfb::kEndOfChain);
    uint8_t* dir = &f[sector * 2];
    auto entry = [&](size_t i, const std::u16string& name, CompoundFile::Type type, uint32_t child,
                     uint32_t start, uint32_t size) {
        uint8_t* e = dir + ent::kBytes * i;
        for (size_t k = 0; k < name.size(); ++k) xls::set16(e + ent::kName + 2 * k, name[k]);
        xls::set16(e + ent::kNameLength, uint16_t(2 * (name.size() + 1)));
        e[ent::kType] = uint8_t(type);
        e[ent::kColour] = ent::kBlack;
        xls::set32(e + ent::kLeft, cfb::kNoStream);
        xls::set32(e + ent::kRight, cfb::kNoStream);
        xls::set32(e + ent::kChild, child);
        xls::set32(e + ent::kStart, start);
        xls::set32(e + ent::kSize, size);
    };
    entry(0, u"Root Entry", CompoundFile::Type::Root, 1, cfb::kEndOfChain, 0);
    entry(1, u"Workbook", CompoundFile::Type::Stream, cfb::kNoStream, 2, uint32_t(stream.size()));
    for (size_t i = 2; i < sector / ent::kBytes; ++i) {
        uint8_t* e = dir + ent::kBytes * i;
        xls::set32(e + ent::kLeft, cfb::kNoStream);
        xls::set32(e + ent::kRight, cfb::kNoStream);
        xls::set32(e + ent::kChild, cfb::kNoStream);
    }
    std::copy(stream.begin(), stream.end(), f.begin() + long(sector * 3));
    return f;
}

TEST(CompoundFile, ReadsVersion4AndWritesVersion3) {
    Bytes stream = pattern(5000, 9);
    CompoundFile v4 = CompoundFile::parse(version4File(stream), "v4.xls");
    int index = v4.findInRoot(u"Workbook");
    ASSERT_GE(index, 0);
    EXPECT_EQ(v4.entries()[size_t(index)].data, stream);
    Bytes v3 = v4.serialize();
    EXPECT_EQ(xls::get16(&v3[hdr::kMajorVersion]), cfb::kVersion3);
    CompoundFile back = CompoundFile::parse(v3, "v3.xls");
    EXPECT_EQ(back.entries()[size_t(back.findInRoot(u"Workbook"))].data, stream);
}

TEST(CompoundFile, SiblingOrderIsLengthThenUpperCase) {
    EXPECT_TRUE(CompoundFile::nameLess(u"Zz", u"aaa"));
    EXPECT_TRUE(CompoundFile::nameLess(u"abc", u"ABD"));
    EXPECT_FALSE(CompoundFile::nameLess(u"ABC", u"abc"));
    EXPECT_FALSE(CompoundFile::nameLess(u"abc", u"ABC"));
}

}  // namespace
