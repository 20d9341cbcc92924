#include <gtest/gtest.h>

#include "entries/EntryCodec.h"

namespace {

const QString S1 = "||SEP1||";
const QString S2 = "||SEP2||";

struct SplitCase {
    const char* name;
    QString stored;
    // Expected rows; an amount of "<none>" marks a piece without "||SEP1||".
    QList<std::pair<QString, QString>> rows;
};

class SplitStoredText : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitStoredText, GivesTheRowsInOrder) {
    const SplitCase& c = GetParam();
    const QList<EntryCodec::StoredPiece> pieces = EntryCodec::SplitStoredText(c.stored);
    ASSERT_EQ(pieces.size(), c.rows.size());
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        EXPECT_EQ(pieces[i].label, c.rows[i].first) << "row " << i;
        if (c.rows[i].second == "<none>")
            EXPECT_FALSE(pieces[i].amount.has_value()) << "row " << i;
        else
            EXPECT_EQ(pieces[i].amount.value_or("<none>"), c.rows[i].second) << "row " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Edges, SplitStoredText,
    ::testing::Values(
        SplitCase{"Empty", "", {}},
        SplitCase{"TerminatedEntry", "Car" + S1 + "7500" + S2, {{"Car", "7500"}}},
        SplitCase{"UnterminatedEntry", "Car" + S1 + "7500", {{"Car", "7500"}}},
        SplitCase{"OnlySeparators", S2 + S2, {}},
        SplitCase{"NoLabelSeparator", "Car", {{"Car", "<none>"}}},
        SplitCase{"ThirdPartIgnored", "Car" + S1 + "7500" + S1 + "11000" + S2, {{"Car", "7500"}}},
        SplitCase{"EmptyLabel", S1 + "7500" + S2, {{"", "7500"}}},
        SplitCase{"EmptyAmount", "Car" + S1 + S2, {{"Car", ""}}},
        SplitCase{"LabelHoldingEntrySeparator",
                  "Car" + S2 + "Bonds" + S1 + "7500" + S2,
                  {{"Car", "<none>"}, {"Bonds", "7500"}}},
        SplitCase{"BlanksAndGroupsKept", " Car " + S1 + " 1,250 " + S2, {{" Car ", " 1,250 "}}},
        SplitCase{"CaseMatters", "Car||sep1||7500", {{"Car||sep1||7500", "<none>"}}},
        SplitCase{"EmptyPiecesBetween",
                  "A" + S1 + "1" + S2 + S2 + "B" + S1 + "2",
                  {{"A", "1"}, {"B", "2"}}},
        SplitCase{"Unicode",
                  QString::fromUtf8("Épargne ☂") + S1 + "5" + S2,
                  {{QString::fromUtf8("Épargne ☂"), "5"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EntryCodec, EncodesEveryEntryTerminated) {
    EXPECT_EQ(EntryCodec::EncodeEntries({}), QString(""));
    EXPECT_EQ(EntryCodec::EncodeEntries({{"Savings", "25000"}, {"401k", "55000"}}),
              "Savings" + S1 + "25000" + S2 + "401k" + S1 + "55000" + S2);
    EXPECT_EQ(EntryCodec::EncodeEntries({{"Car" + S2 + "Bonds", "7500"}}),
              "Car" + S2 + "Bonds" + S1 + "7500" + S2);
}

TEST(EntryCodec, DefaultTextIsTheSamplesWithoutFinalSeparator) {
    const QString expected = "Savings" + S1 + "25000" + S2 + "401k" + S1 + "55000" + S2 + "Stocks" +
                             S1 + "15000" + S2 + "House" + S1 + "250000" + S2 + "Bonds" + S1 +
                             "11000" + S2 + "Car" + S1 + "7500";
    EXPECT_EQ(EntryCodec::DefaultStoredText(), expected);
    const auto pieces = EntryCodec::SplitStoredText(expected);
    ASSERT_EQ(pieces.size(), 6);
    EXPECT_EQ(pieces[5].label, "Car");
    EXPECT_EQ(pieces[5].amount.value_or("?"), "7500");
}

TEST(EntryCodec, RoundTripsListsWithoutSeparators) {
    EntryList list;
    for (int i = 0; i < 40000; ++i)
        list.append({QString("Asset %1 \u00e9").arg(i), QString::number(i * 7) + " "});
    const auto pieces = EntryCodec::SplitStoredText(EntryCodec::EncodeEntries(list));
    ASSERT_EQ(pieces.size(), list.size());
    for (qsizetype i = 0; i < list.size(); ++i) {
        ASSERT_EQ(pieces[i].label, list[i].label);
        ASSERT_EQ(pieces[i].amount.value_or("?"), list[i].amount);
    }
}

// Labels and amounts that meet a separator: each is either refused or comes back exactly, in a
// list between other entries. The rule is checked against the round trip itself.
QStringList trickyTexts() {
    QStringList texts = {"|", "||", "|||", "x|", "x||", "|x", "||x", "Car", "", " "};
    for (const QString& sep : {S1, S2}) {
        for (qsizetype n = 1; n <= sep.size(); ++n) {
            const QString prefix = sep.left(n), suffix = sep.right(n);
            texts << prefix << suffix << "Car" + prefix << suffix + "Car"
                  << "Car" + suffix << prefix + "Car"
                  << "x" + prefix + "|";
        }
    }
    texts << "Car" + S1 + "x"
          << "Car" + S2 + "Bonds"
          << "a||sep1||b"
          << "||SEP3||";
    texts.removeDuplicates();
    return texts;
}

TEST(EntryCodec, AnEntryIsAcceptedExactlyWhenItReadsBackInAList) {
    int refused = 0, accepted = 0;
    const QStringList texts = trickyTexts();
    for (const QString& text : texts) {
        for (const Entry& entry : {Entry{text, "7500"}, Entry{"Car", text}}) {
            const EntryList list = {{"Savings", "25000"}, entry, {"Car", "7500"}};
            EntryList back;
            for (const auto& piece : EntryCodec::SplitStoredText(EntryCodec::EncodeEntries(list)))
                back.append({piece.label, piece.amount.value_or("<none>")});
            const bool ok = EntryCodec::readsBackUnchanged(entry);
            EXPECT_EQ(ok, back == list) << "label \"" << entry.label.toStdString()
                                        << "\", amount \"" << entry.amount.toStdString() << "\"";
            (ok ? accepted : refused)++;
        }
    }
    EXPECT_GT(accepted, 20);
    EXPECT_GT(refused, 10);
    // The labels that came back changed before, and ones that only look dangerous.
    for (const char* label : {"Car||SEP1", "Bonds||SEP2|", "x||SEP1|", "Car||SEP2", "x||SEP1||"})
        EXPECT_FALSE(EntryCodec::readsBackUnchanged({label, "7500"})) << label;
    for (const char* label : {"|", "||", "x|", "x||", "|x", "SEP1||x", "a||sep1||b"})
        EXPECT_TRUE(EntryCodec::readsBackUnchanged({label, "7500"})) << label;
    EXPECT_FALSE(EntryCodec::readsBackUnchanged({"Car", "SEP2||5"}));
}

}  // namespace
