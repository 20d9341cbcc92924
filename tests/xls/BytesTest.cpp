#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "xls/Bytes.h"
#include "xls/Record.h"

namespace {

using xls::Bytes;

TEST(LittleEndian, WritesExactBytes) {
    Bytes out;
    xls::put8(out, 0xAB);
    xls::put16(out, 0x1234);
    xls::put32(out, 0xDEADBEEF);
    xls::putDouble(out, 1.0);
    Bytes expected = {0xAB, 0x34, 0x12, 0xEF, 0xBE, 0xAD, 0xDE, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F};
    EXPECT_EQ(out, expected);
}

TEST(LittleEndian, ReadsBackWhatWasWritten) {
    struct Case {
        uint16_t a;
        uint32_t b;
        double d;
    };
    for (Case c : {Case{0, 0, 0.0}, Case{0xFFFF, 0xFFFFFFFF, -2.5}, Case{0x0102, 0x01020304, 25000},
                   Case{0x8000, 0x80000000, 1e-300}}) {
        Bytes out;
        xls::put16(out, c.a);
        xls::put32(out, c.b);
        xls::putDouble(out, c.d);
        xls::ByteReader r(out);
        EXPECT_EQ(r.u16(), c.a);
        EXPECT_EQ(r.u32(), c.b);
        EXPECT_EQ(r.f64(), c.d);
        EXPECT_EQ(r.remaining(), 0u);
    }
}

TEST(LittleEndian, ReadPastTheEndThrows) {
    Bytes three = {1, 2, 3};
    xls::ByteReader r(three);
    EXPECT_EQ(r.u16(), 0x0201);
    EXPECT_THROW(r.u16(), xls::OutOfBounds);
    EXPECT_EQ(r.u8(), 3);
    EXPECT_THROW(r.u8(), xls::OutOfBounds);
    xls::ByteReader big(three);
    EXPECT_THROW(big.skip(size_t(-1)), xls::OutOfBounds);
}

TEST(Utf16, ConvertsBothWays) {
    struct Case {
        std::string utf8;
        std::u16string utf16;
    };
    const Case cases[] = {
        {"", u""},
        {"Savings", u"Savings"},
        {"Καλημέρα", u"Καλημέρα"},
        {"日本語", u"日本語"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},  // outside the basic plane: a surrogate pair
    };
    for (const Case& c : cases) {
        EXPECT_EQ(xls::utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(xls::utf16ToUtf8(c.utf16), c.utf8) << c.utf8;
    }
}

TEST(Utf16, BadInputBecomesReplacementCharacter) {
    EXPECT_EQ(xls::utf8ToUtf16("a\xFF"
                               "b"),
              u"a\uFFFDb");
    EXPECT_EQ(xls::utf8ToUtf16("\xE6\x97"), u"\uFFFD\uFFFD");  // cut-off sequence
    EXPECT_EQ(xls::utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

}  // namespace

// The index of record starts that a RecordBuffer makes as it is asked, after insertions at every
// place, with the index made to no record, to some, or to the end first: every start, type and
// the count must be what a new list over the same bytes finds.
TEST(RecordBuffer, InsertionsKeepTheIndexTrue) {
    xls::Bytes bytes;
    for (uint16_t k = 0; k < 12; ++k) {
        const xls::Bytes data(size_t(k * 3 % 7), uint8_t(k));
        xls::writeRecord(bytes, uint16_t(0x100 + k), data.data(), data.size());
    }
    auto same = [](const xls::RecordBuffer& list, const std::string& what) {
        const xls::RecordBuffer fresh(xls::Bytes(list.bytes(), list.bytes() + list.byteSize()));
        ASSERT_EQ(list.size(), fresh.size()) << what;
        for (size_t i = 0; i <= fresh.size(); ++i) {
            EXPECT_EQ(list.offset(i), fresh.offset(i)) << what << ", record " << i;
            if (i < fresh.size()) {
                EXPECT_EQ(list.type(i), fresh.type(i)) << what << ", record " << i;
            }
        }
    };
    const uint8_t extra[] = {1, 2, 3, 4, 5};
    for (size_t indexed : {size_t(0), size_t(3), size_t(12)})
        for (size_t at = 0; at <= 12; ++at) {
            const std::string what =
                "indexed to " + std::to_string(indexed) + ", at " + std::to_string(at);
            xls::RecordBuffer one(bytes);
            if (indexed) one.offset(indexed);
            one.insert(at, 0x200, extra, sizeof extra);
            same(one, "one record, " + what);
            xls::RecordBuffer several(bytes);
            if (indexed) several.offset(indexed);
            const std::vector<xls::RecordBuffer::Gap> gaps = {{at, 9},
                                                              {std::min<size_t>(at + 2, 12), 4}};
            several.insert(gaps, [&](size_t k, xls::Bytes& out) {
                xls::writeRecord(out, uint16_t(0x300 + k), extra, gaps[k].size - 4);
            });
            same(several, "several records, " + what);
        }
}
