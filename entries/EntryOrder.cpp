#include "entries/EntryOrder.h"

#include <algorithm>
#include <optional>

#include "common/Amounts.h"

namespace EntryOrder {

EntryList byAmountLargestFirst(const EntryList& entries) {
    struct Keyed {
        std::optional<double> value;
        Entry entry;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(entries.size()));
    for (const Entry& e : entries) keyed.push_back({common::readAmount(e.amount), e});
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.value && b.value) return *a.value > *b.value;
        return a.value.has_value() && !b.value.has_value();
    });
    EntryList sorted;
    sorted.reserve(entries.size());
    for (Keyed& k : keyed) sorted.append(std::move(k.entry));
    return sorted;
}

EntryList byAssetType(const EntryList& entries) {
    EntryList sorted = entries;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Entry& a, const Entry& b) {
        const int folded = a.label.compare(b.label, Qt::CaseInsensitive);
        if (folded != 0) return folded < 0;
        return a.label.compare(b.label, Qt::CaseSensitive) < 0;
    });
    return sorted;
}

}  // namespace EntryOrder
