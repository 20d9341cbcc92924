#include <gtest/gtest.h>

#include "TestFiles.h"
#include "xls/CompoundFile.h"
#include "xls/Error.h"

namespace {

using xls::Bytes;
using xls::CompoundFile;

Bytes pattern(size_t size, uint8_t seed) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = uint8_t(seed + i * 7 + (i >> 9));
    return b;
}

// Stream sizes around every boundary of the format: empty, mini sectors, the 4,096-byte
// cutoff, whole and partial sectors, and a stream large enough to need DIFAT sectors.
TEST(CompoundFile, WrittenStreamsReadBackStreamForStream) {
    const size_t sizes[] = {0, 1, 63, 64, 65, 4095, 4096, 4097, 512 * 9, 100000};
    CompoundFile cf;
    for (size_t i = 0; i < std::size(sizes); ++i)
        cf.putStream(u"s" + std::u16string(i, u'x'), pattern(sizes[i], uint8_t(i)));
    Bytes file = cf.serialize();
    EXPECT_EQ(file.size() % 512, 0u);
    CompoundFile back = CompoundFile::parse(file, "t.bin");
    for (size_t i = 0; i < std::size(sizes); ++i) {
        int index = back.findInRoot(u"s" + std::u16string(i, u'x'));
        ASSERT_GE(index, 0) << sizes[i];
        EXPECT_EQ(back.entries()[size_t(index)].data, pattern(sizes[i], uint8_t(i))) << sizes[i];
    }
}

TEST(CompoundFile, LargeFileUsesDifatAndReadsBack) {
    // 109 FAT sectors cover 109 * 128 sectors (about 7 MB); more needs DIFAT sectors.
    CompoundFile cf;
    Bytes big = pattern(8 * 1024 * 1024, 3);
    cf.putStream(u"Big", big);
    Bytes file = cf.serialize();
    EXPECT_NE(xls::get32(&file[68]), 0xFFFFFFFEu);  // first DIFAT sector
    EXPECT_GE(xls::get32(&file[72]), 1u);           // DIFAT sector count
    CompoundFile back = CompoundFile::parse(file, "big.bin");
    EXPECT_EQ(back.entries()[size_t(back.findInRoot(u"Big"))].data, big);
}

TEST(CompoundFile, KeepsNamesClsidsAndStorages) {
    for (const char* name : {"chart.xls", "kinds.xls", "strings.xls", "sheets.xls"}) {
        Bytes original = xlstest::readBytes(xlstest::dataPath(name));
        CompoundFile a = CompoundFile::parse(original, name);
        CompoundFile b = CompoundFile::parse(a.serialize(), name);
        ASSERT_EQ(a.entries().size(), b.entries().size()) << name;
        for (size_t i = 0; i < a.entries().size(); ++i) {
            EXPECT_EQ(a.entries()[i].name, b.entries()[i].name) << name;
            EXPECT_EQ(a.entries()[i].type, b.entries()[i].type) << name;
            EXPECT_EQ(a.entries()[i].clsid, b.entries()[i].clsid) << name;
            EXPECT_EQ(a.entries()[i].times, b.entries()[i].times) << name;
            EXPECT_EQ(a.entries()[i].data, b.entries()[i].data) << name;
            EXPECT_EQ(a.entries()[i].children, b.entries()[i].children) << name;
        }
        EXPECT_GE(a.findInRoot(u"\x05SummaryInformation"), 0) << name;
    }
}

TEST(CompoundFile, SiblingOrderIsLengthThenUpperCase) {
    EXPECT_TRUE(CompoundFile::nameLess(u"Zz", u"aaa"));
    EXPECT_TRUE(CompoundFile::nameLess(u"abc", u"ABD"));
    EXPECT_FALSE(CompoundFile::nameLess(u"ABC", u"abc"));
    EXPECT_FALSE(CompoundFile::nameLess(u"abc", u"ABC"));
}

}  // namespace
