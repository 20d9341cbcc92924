#include <gtest/gtest.h>

#include <QStringList>

#include "entries/EntryHistory.h"
#include "entries/EntryOrder.h"

namespace {

// A change of the list, written as a word: "+L=5" appends, "-0" removes row 0, "=1:L=5" edits
// row 1, "clear", "byAmount", "byType".
EntryList applied(EntryList list, const QString& change) {
    if (change == "clear") return {};
    if (change == "byAmount") return EntryOrder::byAmountLargestFirst(list);
    if (change == "byType") return EntryOrder::byAssetType(list);
    const QString rest = change.mid(1);
    if (change.startsWith('+')) list.append({rest.section('=', 0, 0), rest.section('=', 1)});
    if (change.startsWith('-')) list.removeAt(rest.toInt());
    if (change.startsWith('='))
        list[rest.section(':', 0, 0).toInt()] = {rest.section(':', 1).section('=', 0, 0),
                                                 rest.section('=', 1)};
    return list;
}

struct HistoryCase {
    const char* name;
    QStringList changes;
};

void PrintTo(const HistoryCase& c, std::ostream* os) { *os << c.name; }

class EntryHistorySteps : public ::testing::TestWithParam<HistoryCase> {};

TEST_P(EntryHistorySteps, UndoneToTheStartAndRedoneToTheEnd) {
    const EntryList start{{"Savings", "25000"}, {"car", "7500"}, {"House", "250000"}};
    EntryHistory history;
    EntryList list = start;
    std::vector<EntryList> states{start};
    for (const QString& change : GetParam().changes) {
        const EntryList before = list;
        list = applied(list, change);
        history.record(before, list);
        if (list != before) states.push_back(list);
    }
    const EntryList end = list;
    for (size_t i = states.size() - 1; i > 0; --i) {
        list = *history.undo(list);
        EXPECT_EQ(list, states[i - 1]) << "undo to state " << i - 1;
    }
    EXPECT_FALSE(history.undo(list).has_value());
    for (size_t i = 1; i < states.size(); ++i) list = *history.redo(list);
    EXPECT_EQ(list, end);
    EXPECT_FALSE(history.redo(list).has_value());

    // Half undone, a new change forgets what could be redone.
    for (size_t i = 0; i < states.size() / 2; ++i) list = *history.undo(list);
    const EntryList before = list;
    list = applied(list, "+New=1");
    history.record(before, list);
    EXPECT_FALSE(history.canRedo());
    EXPECT_EQ(*history.undo(list), before);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EntryHistorySteps,
    ::testing::Values(HistoryCase{"Nothing", {}}, HistoryCase{"OneAdd", {"+Car=1"}},
                      HistoryCase{"NoChangeIsNoStep", {"byType", "byType", "=0:House=250000"}},
                      HistoryCase{"Mixed",
                                  {"+Boat=5", "-1", "=0:Cash=1", "byAmount", "clear", "+Car=7500",
                                   "byType", "-0"}},
                      HistoryCase{"ClearTwice", {"clear", "clear", "+a=1", "+b=2", "byAmount"}}));

TEST(EntryHistoryLimit, KeepsAtMostItsStepsOldestForgotten) {
    EntryHistory history;
    EntryList list;
    for (size_t i = 0; i < EntryHistory::kMaxSteps + 5; ++i) {
        const EntryList before = list;
        list.append({"e", QString::number(i)});
        history.record(before, list);
    }
    size_t undone = 0;
    while (const auto previous = history.undo(list)) list = *previous, ++undone;
    EXPECT_EQ(undone, EntryHistory::kMaxSteps);
    EXPECT_EQ(list.size(), 5);
}

TEST(EntryOrderSorts, SortsStablyNumbersFirst) {
    const EntryList list{{"b", "5"}, {"A", "x"}, {"a", "1,000"}, {"B", "5"}, {"c", "-2"}};
    EXPECT_EQ(EntryOrder::byAmountLargestFirst(list),
              (EntryList{{"a", "1,000"}, {"b", "5"}, {"B", "5"}, {"c", "-2"}, {"A", "x"}}));
    EXPECT_EQ(EntryOrder::byAssetType(list),
              (EntryList{{"A", "x"}, {"a", "1,000"}, {"B", "5"}, {"b", "5"}, {"c", "-2"}}));
}

}  // namespace
