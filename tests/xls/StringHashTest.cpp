#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <string_view>

#include "xls/StringHash.h"

namespace {

// The hash's values on a little-endian machine. The shared string index keeps no hash in a file,
// so a change of these values changes no output; the table catches a change that breaks a
// length branch, reads a byte twice or misses one, or misjudges what is ASCII.
struct Row {
    const char* text;
    uint32_t hash;
    bool ascii;
};

std::ostream& operator<<(std::ostream& os, const Row& r) {
    return os << '"' << r.text << "\" (" << std::strlen(r.text) << " bytes)";
}

class SharedStringsHash : public ::testing::TestWithParam<Row> {};

TEST_P(SharedStringsHash, HasItsKnownValue) {
    const Row& row = GetParam();
    uint64_t seen = 0;
    EXPECT_EQ(xls::multiplyFoldHash(row.text, seen), row.hash);
    EXPECT_EQ((seen & xls::kHighBits) == 0, row.ascii);
    EXPECT_EQ(xls::multiplyFoldHash(row.text), row.hash);
}

// The same bytes give the same hash wherever they lie, and no byte past the text is read into
// it.
TEST_P(SharedStringsHash, DependsOnTheBytesAlone) {
    const std::string_view text = GetParam().text;
    for (size_t shift = 0; shift < 8; ++shift) {
        std::string buffer(shift, '\xFF');
        buffer += text;
        buffer += std::string(8, '\xFF');
        uint64_t seen = 0;
        EXPECT_EQ(xls::multiplyFoldHash(std::string_view(buffer).substr(shift, text.size()), seen),
                  GetParam().hash)
            << "at offset " << shift;
        EXPECT_EQ((seen & xls::kHighBits) == 0, GetParam().ascii) << "at offset " << shift;
    }
}

// Every length branch: empty, 1..3 bytes, 4..7, 8..16, past 16 (one and several loop words);
// texts with a byte of the high half in each part of the text.
INSTANTIATE_TEST_SUITE_P(
    Texts, SharedStringsHash,
    ::testing::Values(
        Row{"", 0x3A788D2C, true}, Row{"a", 0xFE20A7B1, true}, Row{"ab", 0x15EB34A0, true},
        Row{"abc", 0xEC76A04B, true}, Row{"abcd", 0x251AD99D, true}, Row{"401k", 0x31465F60, true},
        Row{"Stocks", 0xF1D37D83, true}, Row{"Savings", 0xFF649D55, true},
        Row{"Checking", 0x62429C5A, true}, Row{"Real estate", 0x2EC10B69, true},
        Row{"Retirement fund!", 0x661D5945, true}, Row{"Retirement funds!", 0x78396078, true},
        Row{"Emergency savings account 2026", 0x556F90C1, true},
        Row{"A label long enough to take the loop several times over", 0x1B90AF50, true},
        Row{"\xC3\xA9", 0x9264D9BE, false}, Row{"caf\xC3\xA9", 0xD688F635, false},
        Row{"\xE6\x97\xA5\xE6\x9C\xAC", 0x83DA7FE2, false},
        Row{"\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC", 0xF3A09D20, false},
        Row{"Plus de caf\xC3\xA9 pour tout le bureau, merci", 0x4D137493, false}));

}  // namespace
