#pragma once

#include <QList>
#include <QString>

// One row of the entry list: a label (an asset type such as "Savings") and an amount kept exactly
// as it was typed or read ("25000", " 7,500 ").
struct Entry {
    QString label;
    QString amount;

    friend bool operator==(const Entry& a, const Entry& b) {
        return a.label == b.label && a.amount == b.amount;
    }
};

using EntryList = QList<Entry>;
