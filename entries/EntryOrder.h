#pragma once

#include "entries/Entry.h"

// The two orders the list can be sorted in. Both are stable: entries that compare equal keep
// their order, so sorting twice changes nothing the second time.
namespace EntryOrder {

// Largest amount first, by the amount's numeric reading (common::readAmount, as the list's numeric
// test reads it); amounts that are no number (a stored
// list is read unchecked) come last.
EntryList byAmountLargestFirst(const EntryList& entries);

// By asset type, A to Z without regard to letter case; labels equal so are ordered by case
// ("car" after "Car").
EntryList byAssetType(const EntryList& entries);

}  // namespace EntryOrder
