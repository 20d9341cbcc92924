#include <gtest/gtest.h>

#include <map>

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

TEST(CompoundFile, SiblingOrderIsLengthThenUpperCase) {
    EXPECT_TRUE(CompoundFile::nameLess(u"Zz", u"aaa"));
    EXPECT_TRUE(CompoundFile::nameLess(u"abc", u"ABD"));
    EXPECT_FALSE(CompoundFile::nameLess(u"ABC", u"abc"));
    EXPECT_FALSE(CompoundFile::nameLess(u"abc", u"ABC"));
}

}  // namespace
