#include <gtest/gtest.h>

#include <QStringList>

#include "entries/EntryFile.h"
#include "entries/EntryImport.h"

namespace {

struct ParseCase {
    const char* name;
    QString text;
    EntryList added;
    QStringList refused;  // "line: fragment of the reason"
    bool header;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

class EntryImportParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(EntryImportParse, AddsTheRowsAddNewWouldTake) {
    const ParseCase& c = GetParam();
    const EntryImport::Result result = EntryImport::parseText(c.text);
    EXPECT_EQ(result.entries, c.added);
    EXPECT_EQ(result.headerSkipped, c.header);
    ASSERT_EQ(result.refused.size(), c.refused.size());
    for (qsizetype i = 0; i < c.refused.size(); ++i) {
        const QString line = c.refused[i].section(':', 0, 0);
        const QString why = c.refused[i].section(':', 1);
        EXPECT_EQ(QString::number(result.refused[i].line), line);
        EXPECT_TRUE(result.refused[i].reason.contains(why))
            << result.refused[i].reason.toStdString();
        const QString message = EntryImport::refusalMessage("the clipboard", result);
        EXPECT_TRUE(message.contains(QString("line %1: ").arg(line) + result.refused[i].reason))
            << message.toStdString();
    }
}

const QString S1 = "||SEP1||";

INSTANTIATE_TEST_SUITE_P(
    Table, EntryImportParse,
    ::testing::Values(
        ParseCase{"Tabs",
                  "Car\t7500\nHouse\t250000\n",
                  {{"Car", "7500"}, {"House", "250000"}},
                  {},
                  false},
        ParseCase{"TabsWithHeader", "Asset Type\tAmount\nCar\t7500", {{"Car", "7500"}}, {}, true},
        ParseCase{"SemicolonsCrlfLabelWithComma",
                  "Car, red;7500\r\nHouse;1,250,000\r\n",
                  {{"Car, red", "7500"}, {"House", "1,250,000"}},
                  {},
                  false},
        ParseCase{"CommasQuoted",
                  "\"Car, red\",7500\n\"Say \"\"hi\"\"\",\"5\"\n",
                  {{"Car, red", "7500"}, {"Say \"hi\"", "5"}},
                  {},
                  false},
        ParseCase{"CommasSplitAnAmount",
                  "House,250,000\nCar,7500,old\nBoat,\"1,000\"",
                  {{"House", "250,000"}, {"Car", "7500"}, {"Boat", "1,000"}},
                  {},
                  false},
        ParseCase{"BlankLinesAndLoneCr",
                  "\n\nCar;7500\n  \n;\r\rBonds; 11000 \r",
                  {{"Car", "7500"}, {"Bonds", " 11000 "}},
                  {},
                  false},
        ParseCase{"ByteOrderMark",
                  QString(QChar(0xFEFF)) + "Car,7500\nBoat,5",
                  {{"Car", "7500"}, {"Boat", "5"}},
                  {},
                  false},
        ParseCase{"AmountsTheNumericTestRefuses",
                  "Car\t7500\nBoat\tabc\nBike\t\nPlane\t1,2345\nShip",
                  {{"Car", "7500"}},
                  {"2:the amount \"abc\" is not a number", "3:no amount",
                   "4:the amount \"1,2345\" is not a number", "5:no amount"},
                  false},
        ParseCase{"SeparatorRuleAndEmptyLabel",
                  "Car" + S1 + "x\t5\n\t5\nCar||SEP1\t5\nok\t1",
                  {{"ok", "1"}},
                  {"1:would not read back", "2:asset type is empty", "3:would not read back"},
                  false},
        ParseCase{"QuotedLineBreakKeepsLineNumbers",
                  "\"two\r\nlines\"\t5\nCar\tx",
                  {{"two\nlines", "5"}},
                  {"3:the amount \"x\""},
                  false},
        ParseCase{"TabTextLabelsHoldOtherSeparators",
                  "a;b,c\t5\n\"q\"\"x\"\t6\n\"open\t7",
                  {{"a;b,c", "5"}, {"q\"x", "6"}},
                  {"3:no amount"},
                  false},
        ParseCase{"LoneRowIsNoHeader", "Car;abc", {}, {"1:the amount \"abc\""}, false}));

TEST(EntryImportCopy, ReadsBackAsTheSameList) {
    const EntryList list{{"Savings", "25000"},  {"tab\there", "1"}, {"\"quoted\"", "2"},
                         {"two\nlines", " 3 "}, {"a;b,c", "1,000"}, {"Car", "7500"}};
    const QString text = EntryImport::copyText(list);
    EXPECT_TRUE(text.startsWith("Savings\t25000\n"));
    const EntryImport::Result back = EntryImport::parseText(text);
    EXPECT_EQ(back.entries, list);
    EXPECT_TRUE(back.refused.isEmpty());
}

struct DecodeCase {
    const char* name;
    QByteArray bytes;
    QString text;    // expected text, or
    QString reason;  // a fragment of the reason it is refused
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

class EntryImportDecode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(EntryImportDecode, ReadsUtf8AndUtf16WithItsMark) {
    const DecodeCase& c = GetParam();
    QString reason;
    const std::optional<QString> text = EntryImport::decodeText(c.bytes, &reason);
    if (c.reason.isEmpty()) {
        ASSERT_TRUE(text.has_value()) << reason.toStdString();
        EXPECT_EQ(*text, c.text);
    } else {
        EXPECT_FALSE(text.has_value());
        EXPECT_TRUE(reason.contains(c.reason)) << reason.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, EntryImportDecode,
    ::testing::Values(DecodeCase{"Utf8", "Caf\xC3\xA9\t5", QString::fromUtf8("Caf\xC3\xA9\t5"), {}},
                      DecodeCase{"Utf8Mark",
                                 "\xEF\xBB\xBF"
                                 "a\t1",
                                 "a\t1",
                                 {}},
                      DecodeCase{"Utf16LE",
                                 QByteArray("\xFF\xFE"
                                            "a\0\t\0"
                                            "1\0",
                                            8),
                                 "a\t1",
                                 {}},
                      DecodeCase{"Utf16BE",
                                 QByteArray("\xFE\xFF\0a\0\t\0"
                                            "1",
                                            8),
                                 "a\t1",
                                 {}},
                      DecodeCase{"Latin1IsNotUtf8", "Caf\xE9\t5", {}, "neither UTF-8"},
                      DecodeCase{"OddUtf16",
                                 QByteArray("\xFF\xFE"
                                            "a\0\t",
                                            5),
                                 {},
                                 "UTF-16"},
                      DecodeCase{"Utf16WithoutMark",
                                 QByteArray("a\0\t\0"
                                            "1\0",
                                            6),
                                 {},
                                 "NUL"}));

TEST(EntryFileNumberText, IsTheShortestExactText) {
    for (const double value : {7500.0, 0.1, -12.5, 1e21, 123456789.125, 5e-7}) {
        const QString text = EntryFile::numberText(value);
        EXPECT_EQ(text.toDouble(), value) << text.toStdString();
        EXPECT_LE(text.size(), QString::number(value, 'g', 17).size());
    }
}

}  // namespace
