#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xls/InlineVector.h"

namespace {

// An element of the size and padding of a cell table's entry.
struct Item {
    uint16_t tag;
    uint8_t small;
    uint32_t value;
    bool operator==(const Item& o) const {
        return tag == o.tag && small == o.small && value == o.value;
    }
};

Item item(int v) { return Item{uint16_t(v), uint8_t(v * 3), uint32_t(v * 1000)}; }

using Vector = xls::InlineVector<Item, 2>;

// One step done to the vector and to a std::vector beside it.
struct Step {
    enum Kind { Push, PushRoom, Insert, Erase, CopyOf, MoveOf, AssignFrom } kind;
    size_t at = 0;            // Insert, Erase: position
    std::vector<int> values;  // Push, PushRoom (one), Insert: what goes in
    size_t count = 0;         // Erase: how many
};

struct Case {
    std::string name;
    std::vector<Step> steps;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

void apply(const Step& s, Vector& v, std::vector<Item>& model) {
    std::vector<Item> items;
    for (int x : s.values) items.push_back(item(x));
    switch (s.kind) {
        case Step::Push:
            for (const Item& i : items) v.push_back(i), model.push_back(i);
            break;
        case Step::PushRoom: {
            Item* room = v.pushRoom();
            ASSERT_EQ(room != nullptr, model.size() < v.capacity());
            if (room) *room = items.at(0), model.push_back(items[0]);
            break;
        }
        case Step::Insert: {
            Item* at = v.insert(v.begin() + s.at, items.data(), items.data() + items.size());
            ASSERT_EQ(at - v.begin(), ptrdiff_t(s.at));
            model.insert(model.begin() + ptrdiff_t(s.at), items.begin(), items.end());
            break;
        }
        case Step::Erase: {
            Item* after = v.erase(v.begin() + s.at, v.begin() + s.at + s.count);
            ASSERT_EQ(after - v.begin(), ptrdiff_t(s.at));
            const auto first = model.begin() + ptrdiff_t(s.at);
            model.erase(first, first + ptrdiff_t(s.count));
            break;
        }
        case Step::CopyOf: {
            Vector copy(v);
            v = Vector();  // the original is left empty; the copy carries on
            v = copy;
            ASSERT_EQ(copy.size(), model.size());
            break;
        }
        case Step::MoveOf: {
            Vector moved(std::move(v));
            ASSERT_TRUE(v.empty());
            ASSERT_FALSE(v.onHeap());
            v.push_back(item(99));  // a moved-from vector is usable
            v = std::move(moved);
            break;
        }
        case Step::AssignFrom: {
            Vector other;
            for (int x = 0; x < 5; ++x) other.push_back(item(500 + x));
            other = v;  // a heap vector takes an inline one's elements and the reverse
            v = std::move(other);
            break;
        }
    }
}

class InlineVectorSteps : public testing::TestWithParam<Case> {};

TEST_P(InlineVectorSteps, HoldsWhatAStdVectorHolds) {
    Vector v;
    std::vector<Item> model;
    for (size_t k = 0; k < GetParam().steps.size(); ++k) {
        SCOPED_TRACE("step " + std::to_string(k));
        apply(GetParam().steps[k], v, model);
        if (HasFatalFailure()) return;
        ASSERT_EQ(v.size(), model.size());
        ASSERT_EQ(v.empty(), model.empty());
        for (size_t i = 0; i < model.size(); ++i) ASSERT_EQ(v[i], model[i]) << "element " << i;
        ASSERT_EQ(v.end() - v.begin(), ptrdiff_t(model.size()));
        if (!model.empty()) {
            ASSERT_EQ(v.front(), model.front());
            ASSERT_EQ(v.back(), model.back());
        }
        ASSERT_GE(v.capacity(), v.size());
        ASSERT_EQ(v.onHeap(), v.capacity() > 2) << "elements past the inline ones on the heap";
    }
}

const Case kCases[] = {
    {"InlineOnly", {{Step::Push, 0, {1}}, {Step::PushRoom, 0, {2}}, {Step::PushRoom, 0, {3}}}},
    {"SpillsToTheHeap", {{Step::Push, 0, {1, 2, 3, 4, 5}}, {Step::PushRoom, 0, {6}}}},
    {"InsertsAtEachEnd",
     {{Step::Insert, 0, {5}},
      {Step::Insert, 0, {4}},
      {Step::Insert, 2, {6}},
      {Step::Insert, 0, {1, 2, 3}}}},
    {"InsertsManyPastDoubling",
     {{Step::Push, 0, {1, 2}}, {Step::Insert, 1, {10, 11, 12, 13, 14, 15}}}},
    {"ErasesRanges",
     {{Step::Push, 0, {1, 2, 3, 4, 5, 6}},
      {Step::Erase, 1, {}, 2},
      {Step::Erase, 3, {}, 1},
      {Step::Erase, 0, {}, 0},
      {Step::Erase, 0, {}, 3}}},
    {"CopiesInline", {{Step::Push, 0, {1, 2}}, {Step::CopyOf, 0, {}}, {Step::Push, 0, {3}}}},
    {"CopiesFromTheHeap", {{Step::Push, 0, {1, 2, 3}}, {Step::CopyOf, 0, {}}, {Step::Insert, 1, {7}}}},
    {"CopiesAHeapVectorWithFewElements",
     {{Step::Push, 0, {1, 2, 3}}, {Step::Erase, 0, {}, 2}, {Step::CopyOf, 0, {}}}},
    {"MovesInline", {{Step::Push, 0, {1}}, {Step::MoveOf, 0, {}}, {Step::Push, 0, {2, 3}}}},
    {"MovesFromTheHeap", {{Step::Push, 0, {1, 2, 3, 4}}, {Step::MoveOf, 0, {}}, {Step::Erase, 0, {}, 4}}},
    {"AssignsBothWays",
     {{Step::Push, 0, {1}}, {Step::AssignFrom, 0, {}}, {Step::Push, 0, {2, 3, 4}}, {Step::AssignFrom, 0, {}}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, InlineVectorSteps, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
