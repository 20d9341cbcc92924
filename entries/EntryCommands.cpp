#include "entries/EntryCommands.h"

#include <QItemSelectionModel>

#include "common/Amounts.h"
#include "common/ErrorTrap.h"
#include "common/Failure.h"
#include "common/Main.h"
#include "entries/EntryCodec.h"
#include "entries/EntryListModel.h"
#include "platform/Dialogs.h"

EntryCommands::EntryCommands(EntryListModel& list, QItemSelectionModel& selection,
                             platform::Dialogs& dialogs)
    : list_(list), selection_(selection), dialogs_(dialogs) {}

QString EntryCommands::separatorMessage() {
    return QString(
               "An asset type and its amount are stored between the separators \"%1\" and "
               "\"%2\", so neither can contain a separator, nor end in a part of one (such as "
               "\"||SEP1\" or \"x||SEP2|\"), which would run into the separator that follows "
               "it: this entry would not read back as typed. Nothing was changed.")
        .arg(EntryCodec::kLabelSeparator, EntryCodec::kEntrySeparator);
}

bool EntryCommands::IsNumeric(const QString& text) { return common::readAmount(text).has_value(); }

int EntryCommands::selectedRow() const {
    const QModelIndexList rows = selection_.selectedRows();
    if (rows.isEmpty())
        throw common::Failure("No entry is selected. Select an entry in the list first.");
    return rows.first().row();
}

// A label is tried with a plain amount before the amount is asked for: whether a label reads
// back does not depend on the amount that follows it.
bool EntryCommands::storable(const Entry& entry) {
    if (EntryCodec::readsBackUnchanged(entry)) return true;
    dialogs_.messageBox(separatorMessage(), platform::kExclamation);
    return false;
}

void EntryCommands::AddNew() {
    common::ErrorTrap trap(dialogs_, "Form1.PushButton2_Click");
    QString label, amount;
    int row = -1;
    trap.step(100, [&] { label = dialogs_.inputBox("Enter Asset Type:", "Input Asset Type", ""); });
    if (trap.test(102, [&] { return label.isEmpty(); })) return;
    if (!storable({label, QString("0")})) return;
    trap.step(104, [&] { amount = dialogs_.inputBox("Enter Amount:", "Input Amount", ""); });
    if (trap.test(106, [&] { return !IsNumeric(amount); })) return;
    if (!storable({label, amount})) return;
    trap.step(108, [&] { row = list_.append(label); });
    trap.step(110, [&] { list_.setAmount(row, amount); });
}

void EntryCommands::DeleteSelected() {
    common::ErrorTrap trap(dialogs_, "Form1.PushButton3_Click");
    if (trap.test(100, [&] { return list_.count() == 0; })) return;
    trap.step(102, [&] {
        list_.remove(selectedRow());
        // No row stays selected, so a second press reports that nothing is selected instead of
        // removing the entry that moved into the removed one's place.
        selection_.clear();
    });
}

void EntryCommands::EditSelected() {
    common::ErrorTrap trap(dialogs_, "Form1.PushButton4_Click");
    if (trap.test(100, [&] { return list_.count() == 0; })) return;
    QString label, amount;
    int row = -1;
    trap.step(102, [&] {
        row = selectedRow();
        label =
            dialogs_.inputBox("Enter New Asset Type:", "Input New Asset Type", list_.at(row).label);
    });
    if (trap.test(104, [&] { return label.isEmpty(); })) return;
    if (!storable({label, QString("0")})) return;
    trap.step(106, [&] {
        amount = dialogs_.inputBox("Enter New Amount:", "Input New Amount", list_.at(row).amount);
    });
    if (trap.test(108, [&] { return !IsNumeric(amount); })) return;
    if (!storable({label, amount})) return;
    trap.step(110, [&] { list_.setLabel(row, label); });
    trap.step(112, [&] { list_.setAmount(row, amount); });
}

void EntryCommands::ClearList() {
    common::ErrorTrap trap(dialogs_, "Form1.PushButton5_Click");
    trap.step(100, [&] { list_.clear(); });
}

void EntryCommands::Help() {
    common::ErrorTrap trap(dialogs_, "Form1.PushButton6_Click");
    trap.step(100, [&] {
        dialogs_.messageBox(
            QString("Questions? Please contact Team Kestrune at ") + common::Main::kContactPage,
            platform::kOkOnly);
    });
}

void EntryCommands::LoadSamples() {
    common::ErrorTrap trap(dialogs_, "Form1.PushButton7_Click");
    trap.step(100, [&] { list_.clear(); });
    int line = 102;
    for (const Entry& sample : EntryCodec::SampleEntries()) {
        int row = -1;
        trap.step(line, [&] { row = list_.append(sample.label); });
        trap.step(line + 2, [&] { list_.setAmount(row, sample.amount); });
        line += 4;
    }
}
